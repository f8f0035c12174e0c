#include "engine/MultiFilter.h"

#include "engine/OnePole.h"

#include <cmath>

namespace zel {

MultiFilter::MultiFilter() noexcept {
    for (double& inv : satInverse_) inv = 1.0 / BiquadFilter::kDefaultSatScale;
}

void MultiFilter::copySection(int i, const BiquadFilter& s) noexcept {
    const BiquadCoefficients& t = s.target();
    coef_[i] = Section{t.b0, t.b1, t.b2, t.a1, t.a2};
    satOn_[i] = s.saturationOn() ? 1 : 0;
    satInverse_[i] = s.saturationInverse();
    satBias_[i] = s.saturationBias();
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
    x_ = 0.0;
    for (SectionState& s : state_) s = SectionState{};
}

double MultiFilter::runSection(int i, double in) noexcept {
    const Section& c = coef_[i];
    SectionState& s = state_[i];
    // The history's share does not wait for the input, so the cascade's chain from
    // section to section is one multiply and one add (and the guard) long.
    const double history = c.b1 * s.x1 + c.b2 * s.x2 - c.a1 * s.y1 - c.a2 * s.y2;
    double y = denormalGuard(c.b0 * in + history, kCascadeGuard);
    if (satOn_[i]) {
        y = y / (std::fabs(y + satBias_[i]) * satInverse_[i] + 1.0);
        y = denormalGuard(y, kCascadeGuard);
    }
    // Each section's history depends only on its own input and output, so it can
    // shift as soon as its output is known.
    s.y = y;
    s.x2 = s.x1;
    s.x1 = in;
    s.y2 = s.y1;
    s.y1 = y;
    return y;
}

double MultiFilter::process(double x) noexcept {
    double in = denormalGuard(x, kCascadeGuard);
    x_ = in;
    for (int i = 0; i < kSections; ++i) in = runSection(i, in);
    return in;
}

void MultiFilter::processPair(MultiFilter& a, double& xa, MultiFilter& b, double& xb) noexcept {
    double inA = denormalGuard(xa, kCascadeGuard);
    double inB = denormalGuard(xb, kCascadeGuard);
    a.x_ = inA;
    b.x_ = inB;
    // Section by section in turn: the two chains are independent, so the processor
    // runs them side by side.
    for (int i = 0; i < kSections; ++i) {
        inA = a.runSection(i, inA);
        inB = b.runSection(i, inB);
    }
    xa = inA;
    xb = inB;
}

} // namespace zel
