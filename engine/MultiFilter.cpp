#include "engine/MultiFilter.h"

#include "engine/CpuFeatures.h"
#include "engine/OnePole.h"

#include <cmath>
#include <cstring>

namespace zel {

namespace {

using Vec2 = double __attribute__((vector_size(16)));
using Vec4 = double __attribute__((vector_size(32)));

} // namespace

MultiFilter::MultiFilter() noexcept {
    for (double& inv : satInverse_) inv = 1.0 / BiquadFilter::kDefaultSatScale;
}

void MultiFilter::copySection(int i, const BiquadFilter& s) noexcept {
    const BiquadCoefficients& t = s.target();
    coef_[i] = Section{t.b0, t.b1, t.b2, t.a1, t.a2};
    b0_[i] = t.b0;
    b1_[i] = t.b1;
    b2_[i] = t.b2;
    a1_[i] = t.a1;
    a2_[i] = t.a2;
    satOn_[i] = s.saturationOn() ? 1 : 0;
    satInverse_[i] = s.saturationInverse();
    satBias_[i] = s.saturationBias();
    saturates_ = false;
    for (int32_t on : satOn_) saturates_ = saturates_ || on != 0;
}

void MultiFilter::copyFrom(const BiquadFilter& s1, const BiquadFilter& s2, const BiquadFilter& s3,
                           const BiquadFilter& s4) noexcept {
    copySection(0, s1);
    copySection(1, s2);
    copySection(2, s3);
    copySection(3, s4);
}

void MultiFilter::copyFrom(const BiquadFilter* sections) noexcept {
    for (int i = 0; i < kSections; ++i) copySection(i, sections[i]);
}

void MultiFilter::clearState() noexcept {
    for (double& v : node1_) v = 0.0;
    for (double& v : node2_) v = 0.0;
}

double MultiFilter::saturatedOutput(int i, double in, double share) const noexcept {
    double y = denormalGuard(b0_[i] * in + share, kCascadeGuard);
    if (satOn_[i]) {
        y = y / (std::fabs(y + satBias_[i]) * satInverse_[i] + 1.0);
        y = denormalGuard(y, kCascadeGuard);
    }
    return y;
}

// One sample through the four sections, W sections' history shares to a
// register (the shares do not wait for the input, so the chain from section to
// section is one multiply and one add, and the guard, long). Vectors are read and
// written with memcpy: no helper takes or returns one, so the wide path never
// crosses a call boundary compiled without AVX.
template <typename Vec, bool Saturating>
[[gnu::always_inline]] inline double MultiFilter::step(double x) noexcept {
    constexpr int W = sizeof(Vec) / sizeof(double);
    constexpr size_t kBytes = sizeof(Vec);
    // Section i: b1 x1 + b2 x2 - a1 y1 - a2 y2, its x history that of node i, its
    // y history that of node i + 1.
    double share[kSections];
    Vec old1[kSections / W];
    for (int k = 0; k < kSections / W; ++k) {
        const int i = k * W;
        Vec b1, b2, a1, a2, x2, y1, y2;
        std::memcpy(&b1, &b1_[i], kBytes);
        std::memcpy(&b2, &b2_[i], kBytes);
        std::memcpy(&a1, &a1_[i], kBytes);
        std::memcpy(&a2, &a2_[i], kBytes);
        std::memcpy(&old1[k], &node1_[i], kBytes);
        std::memcpy(&x2, &node2_[i], kBytes);
        std::memcpy(&y1, &node1_[i + 1], kBytes);
        std::memcpy(&y2, &node2_[i + 1], kBytes);
        const Vec s = b1 * old1[k] + b2 * x2 - a1 * y1 - a2 * y2;
        std::memcpy(&share[i], &s, kBytes);
    }
    const double last1 = node1_[kSections];

    double node[kNodes];
    node[0] = denormalGuard(x, kCascadeGuard);
    for (int i = 0; i < kSections; ++i) {
        if constexpr (Saturating)
            node[i + 1] = saturatedOutput(i, node[i], share[i]);
        else
            node[i + 1] = denormalGuard(b0_[i] * node[i] + share[i], kCascadeGuard);
    }

    // Every node's history moves on.
    for (int k = 0; k < kSections / W; ++k) std::memcpy(&node2_[k * W], &old1[k], kBytes);
    node2_[kSections] = last1;
    for (int i = 0; i < kNodes; ++i) node1_[i] = node[i];
    return node[kSections];
}

template <typename Vec>
[[gnu::always_inline]] inline double MultiFilter::stepAny(double x) noexcept {
    return saturates_ ? step<Vec, true>(x) : step<Vec, false>(x);
}

double MultiFilter::chainNarrow(MultiFilter* cascades, int count, double x) noexcept {
    for (int c = 0; c < count; ++c) x = cascades[c].stepAny<Vec2>(x);
    return x;
}

double MultiFilter::chainWide(MultiFilter* cascades, int count, double x) noexcept {
    for (int c = 0; c < count; ++c) x = cascades[c].stepAny<Vec4>(x);
    return x;
}

// The two chains are independent, so the processor runs them side by side.
void MultiFilter::chainPairNarrow(MultiFilter* a, double& xa, MultiFilter* b, double& xb,
                                  int count) noexcept {
    double ya = xa, yb = xb;
    for (int c = 0; c < count; ++c) {
        ya = a[c].stepAny<Vec2>(ya);
        yb = b[c].stepAny<Vec2>(yb);
    }
    xa = ya;
    xb = yb;
}

void MultiFilter::chainPairWide(MultiFilter* a, double& xa, MultiFilter* b, double& xb,
                                int count) noexcept {
    double ya = xa, yb = xb;
    for (int c = 0; c < count; ++c) {
        ya = a[c].stepAny<Vec4>(ya);
        yb = b[c].stepAny<Vec4>(yb);
    }
    xa = ya;
    xb = yb;
}

double MultiFilter::process(double x) noexcept {
    return processChain(this, 1, x);
}

void MultiFilter::processPair(MultiFilter& a, double& xa, MultiFilter& b, double& xb) noexcept {
    processChainPair(&a, xa, &b, xb, 1);
}

double MultiFilter::processChain(MultiFilter* cascades, int count, double x) noexcept {
    return cpuHasAvx2() ? chainWide(cascades, count, x) : chainNarrow(cascades, count, x);
}

void MultiFilter::processChainPair(MultiFilter* a, double& xa, MultiFilter* b, double& xb,
                                   int count) noexcept {
    if (cpuHasAvx2())
        chainPairWide(a, xa, b, xb, count);
    else
        chainPairNarrow(a, xa, b, xb, count);
}

} // namespace zel
