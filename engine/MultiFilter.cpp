#include "engine/MultiFilter.h"
#include "engine/MultiFilterWide.h"

#include "engine/CpuFeatures.h"
#include "engine/OnePole.h"

#include <bit>
#include <cmath>
#include <cstring>
#include <immintrin.h>

namespace zel {

MultiFilter::MultiFilter() noexcept : wide_(cpuHasAvx2()) {
    for (double& inv : satInverse_) inv = 1.0 / BiquadFilter::kDefaultSatScale;
    for (int i = 0; i < kSections; ++i) roundFloatRows(i);
}

void MultiFilter::roundFloatRows(int i) noexcept {
    const double values[kFloatRows] = {b0_[i], b1_[i], b2_[i],      a1_[i],
                                       a2_[i], 0.0,    satBias_[i], satInverse_[i]};
    for (int k = 0; k < kFloatRows; ++k) floatRows_[k][i] = static_cast<float>(values[k]);
    floatRows_[5][i] = std::bit_cast<float>(satOn_[i] ? int32_t{-1} : int32_t{0});
}

namespace {

// The sum of the squares of the impulse response of 1 / (1 + a1 z^-1 + a2
// z^-2), in closed form; infinite where a pole is on or outside the unit circle.
double recursionPowerGain(double a1, double a2) noexcept {
    const double spread = (1.0 + a2) * (1.0 + a2) - a1 * a1;
    if (!(std::fabs(a2) < 1.0) || !(spread > 0.0)) return HUGE_VAL;
    return (1.0 + a2) / ((1.0 - a2) * spread);
}

} // namespace

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
    roundoffGain_[i] = recursionPowerGain(t.a1, t.a2);
    roundoffSum_ = 0.0;
    for (double g : roundoffGain_) roundoffSum_ += g;
    roundFloatRows(i);
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

namespace {

template <typename T, size_t N> bool sameBits(const T (&a)[N], const T (&b)[N]) noexcept {
    return std::memcmp(a, b, sizeof(a)) == 0;
}

} // namespace

// Bits, not values: 0 and -0 (or two NaNs) may lead the arithmetic apart.
bool MultiFilter::sameAs(const MultiFilter& other) const noexcept {
    return wide_ == other.wide_ && saturates_ == other.saturates_ && sameBits(b0_, other.b0_) &&
           sameBits(b1_, other.b1_) && sameBits(b2_, other.b2_) && sameBits(a1_, other.a1_) &&
           sameBits(a2_, other.a2_) && sameBits(satOn_, other.satOn_) &&
           sameBits(satInverse_, other.satInverse_) && sameBits(satBias_, other.satBias_) &&
           sameBits(node1_, other.node1_) && sameBits(node2_, other.node2_);
}

double MultiFilter::saturatedOutput(int i, double in, double share) const noexcept {
    double y = denormalGuard(b0_[i] * in + share, kCascadeGuard);
    if (satOn_[i]) {
        y = y / (std::fabs(y + satBias_[i]) * satInverse_[i] + 1.0);
        y = denormalGuard(y, kCascadeGuard);
    }
    return y;
}

// One sample of a cascade. Section i's history share, b1 x1 + b2 x2 - a1 y1 - a2
// y2, takes its x history from node i and its y history from node i + 1; the
// shares do not wait for the input and are computed two (SSE2) or four (AVX2)
// sections to a register, so the chain from section to section is one multiply
// and one add (and the guard) long. Two cascades without saturation can also run
// their chains side by side, one in each half of a register. Every lane of the
// SSE2 kernels computes exactly what the scalar formulas compute, operation for
// operation; the AVX2 kernels fuse each multiply into the add that follows it
// (rounded once instead of twice), the same way in every AVX2 kernel, so the
// section-to-section chain is one fused step (and the guard) long.
struct MultiFilter::Kernel {
    // ---- SSE2 ----

    [[gnu::always_inline]] static inline __m128d
    shares2(const MultiFilter& m, int i, __m128d x1, __m128d x2, __m128d y1, __m128d y2) noexcept {
        const __m128d bx = _mm_add_pd(_mm_mul_pd(_mm_load_pd(m.b1_ + i), x1),
                                      _mm_mul_pd(_mm_load_pd(m.b2_ + i), x2));
        return _mm_sub_pd(_mm_sub_pd(bx, _mm_mul_pd(_mm_load_pd(m.a1_ + i), y1)),
                          _mm_mul_pd(_mm_load_pd(m.a2_ + i), y2));
    }

    // The node history read for the shares, and the shares themselves.
    struct Narrow {
        __m128d n1lo, n1hi; // nodes 0..3 one sample back
        double last1;       // node 4 one sample back
        __m128d sLo, sHi;   // the shares of sections 0, 1 and 2, 3
    };

    [[gnu::always_inline]] static inline Narrow narrow(const MultiFilter& m) noexcept {
        Narrow h;
        h.n1lo = _mm_load_pd(m.node1_);
        h.n1hi = _mm_load_pd(m.node1_ + 2);
        h.last1 = m.node1_[kSections];
        h.sLo = shares2(m, 0, h.n1lo, _mm_load_pd(m.node2_), _mm_loadu_pd(m.node1_ + 1),
                        _mm_loadu_pd(m.node2_ + 1));
        h.sHi = shares2(m, 2, h.n1hi, _mm_load_pd(m.node2_ + 2), _mm_loadu_pd(m.node1_ + 3),
                        _mm_loadu_pd(m.node2_ + 3));
        return h;
    }

    // Node values of this sample: 0, 1 in lo, 2, 3 in hi, 4 in last.
    [[gnu::always_inline]] static inline void moveOn(MultiFilter& m, const Narrow& h, __m128d lo,
                                                     __m128d hi, double last) noexcept {
        _mm_store_pd(m.node2_, h.n1lo);
        _mm_store_pd(m.node2_ + 2, h.n1hi);
        m.node2_[kSections] = h.last1;
        _mm_store_pd(m.node1_, lo);
        _mm_store_pd(m.node1_ + 2, hi);
        m.node1_[kSections] = last;
    }

    static double high(__m128d v) noexcept { return _mm_cvtsd_f64(_mm_unpackhi_pd(v, v)); }

    [[gnu::always_inline]] static inline double section(const MultiFilter& m, int i, double in,
                                                        double share, bool saturating) noexcept {
        if (saturating) return m.saturatedOutput(i, in, share);
        return denormalGuard(m.b0_[i] * in + share, kCascadeGuard);
    }

    template <bool Saturating>
    [[gnu::always_inline]] static inline double stepNarrow(MultiFilter& m, double x) noexcept {
        const Narrow h = narrow(m);
        const double in = denormalGuard(x, kCascadeGuard);
        const double y0 = section(m, 0, in, _mm_cvtsd_f64(h.sLo), Saturating);
        const double y1 = section(m, 1, y0, high(h.sLo), Saturating);
        const double y2 = section(m, 2, y1, _mm_cvtsd_f64(h.sHi), Saturating);
        const double y3 = section(m, 3, y2, high(h.sHi), Saturating);
        moveOn(m, h, _mm_set_pd(y0, in), _mm_set_pd(y2, y1), y3);
        return y3;
    }

    [[gnu::always_inline]] static inline double stepAnyNarrow(MultiFilter& m, double x) noexcept {
        return m.saturates_ ? stepNarrow<true>(m, x) : stepNarrow<false>(m, x);
    }

    [[gnu::always_inline]] static inline __m128d guard2(__m128d v) noexcept {
        const __m128d g = _mm_set1_pd(kCascadeGuard);
        return _mm_sub_pd(_mm_add_pd(v, g), g);
    }

    // Section i of both cascades at once: a in the low half, b in the high half.
    [[gnu::always_inline]] static inline __m128d sectionPair(__m128d b0, __m128d in,
                                                             __m128d share) noexcept {
        return guard2(_mm_add_pd(_mm_mul_pd(b0, in), share));
    }

    [[gnu::always_inline]] static inline void stepPairNarrow(MultiFilter& a, MultiFilter& b,
                                                             __m128d& x) noexcept {
        const Narrow ha = narrow(a), hb = narrow(b);
        const __m128d b0aLo = _mm_load_pd(a.b0_), b0aHi = _mm_load_pd(a.b0_ + 2);
        const __m128d b0bLo = _mm_load_pd(b.b0_), b0bHi = _mm_load_pd(b.b0_ + 2);
        const __m128d in = guard2(x);
        const __m128d y0 =
            sectionPair(_mm_unpacklo_pd(b0aLo, b0bLo), in, _mm_unpacklo_pd(ha.sLo, hb.sLo));
        const __m128d y1 =
            sectionPair(_mm_unpackhi_pd(b0aLo, b0bLo), y0, _mm_unpackhi_pd(ha.sLo, hb.sLo));
        const __m128d y2 =
            sectionPair(_mm_unpacklo_pd(b0aHi, b0bHi), y1, _mm_unpacklo_pd(ha.sHi, hb.sHi));
        const __m128d y3 =
            sectionPair(_mm_unpackhi_pd(b0aHi, b0bHi), y2, _mm_unpackhi_pd(ha.sHi, hb.sHi));
        moveOn(a, ha, _mm_unpacklo_pd(in, y0), _mm_unpacklo_pd(y1, y2), _mm_cvtsd_f64(y3));
        moveOn(b, hb, _mm_unpackhi_pd(in, y0), _mm_unpackhi_pd(y1, y2), high(y3));
        x = y3;
    }

    // ---- AVX2 ----

    // sectionPair with the multiply fused.
    [[gnu::always_inline, gnu::target("avx2,fma")]] static inline __m128d
    sectionPairWide(__m128d b0, __m128d in, __m128d share) noexcept {
        return guard2(_mm_fmadd_pd(b0, in, share));
    }

    template <bool Saturating>
    [[gnu::always_inline, gnu::target("avx2,fma")]] static inline double
    stepWide(MultiFilter& m, double x) noexcept {
        return WideStep::step<Saturating>(m, x);
    }

    [[gnu::always_inline, gnu::target("avx2,fma")]] static inline double
    stepAnyWide(MultiFilter& m, double x) noexcept {
        return m.saturates_ ? stepWide<true>(m, x) : stepWide<false>(m, x);
    }

    [[gnu::always_inline, gnu::target("avx2,fma")]] static inline void
    stepPairWide(MultiFilter& a, MultiFilter& b, __m128d& x) noexcept {
        const WideStep::History ha = WideStep::history(a), hb = WideStep::history(b);
        // Section by section, a's value in the low half and b's in the high half:
        // even sections from the interleaved low lanes, odd ones from the high.
        const __m256d sEven = _mm256_unpacklo_pd(ha.s, hb.s); // 0, 2
        const __m256d sOdd = _mm256_unpackhi_pd(ha.s, hb.s);  // 1, 3
        const __m256d b0a = _mm256_loadu_pd(a.b0_), b0b = _mm256_loadu_pd(b.b0_);
        const __m256d b0Even = _mm256_unpacklo_pd(b0a, b0b);
        const __m256d b0Odd = _mm256_unpackhi_pd(b0a, b0b);
        const __m128d in = guard2(x);
        const __m128d y0 =
            sectionPairWide(_mm256_castpd256_pd128(b0Even), in, _mm256_castpd256_pd128(sEven));
        const __m128d y1 =
            sectionPairWide(_mm256_castpd256_pd128(b0Odd), y0, _mm256_castpd256_pd128(sOdd));
        const __m128d y2 =
            sectionPairWide(_mm256_extractf128_pd(b0Even, 1), y1, _mm256_extractf128_pd(sEven, 1));
        const __m128d y3 =
            sectionPairWide(_mm256_extractf128_pd(b0Odd, 1), y2, _mm256_extractf128_pd(sOdd, 1));
        // Back to one cascade per register: (in, y1) and (y0, y2) interleaved.
        const __m256d p = _mm256_set_m128d(y1, in);
        const __m256d q = _mm256_set_m128d(y2, y0);
        WideStep::moveOn(a, ha, _mm256_unpacklo_pd(p, q), _mm_cvtsd_f64(y3));
        WideStep::moveOn(b, hb, _mm256_unpackhi_pd(p, q), high(y3));
        x = y3;
    }
};

double MultiFilter::chainNarrow(MultiFilter* cascades, int count, double x) noexcept {
    for (int c = 0; c < count; ++c) x = Kernel::stepAnyNarrow(cascades[c], x);
    return x;
}

double MultiFilter::chainWide(MultiFilter* cascades, int count, double x) noexcept {
    for (int c = 0; c < count; ++c) x = Kernel::stepAnyWide(cascades[c], x);
    return x;
}

// Cascade pairs without saturation run side by side in one register; the others
// one by one (the two chains are independent, so the processor still runs them
// side by side).
void MultiFilter::chainPairNarrow(MultiFilter* a, double& xa, MultiFilter* b, double& xb,
                                  int count) noexcept {
    __m128d x = _mm_set_pd(xb, xa);
    for (int c = 0; c < count; ++c) {
        if (a[c].saturates_ || b[c].saturates_) {
            const double ya = Kernel::stepAnyNarrow(a[c], _mm_cvtsd_f64(x));
            const double yb = Kernel::stepAnyNarrow(b[c], Kernel::high(x));
            x = _mm_set_pd(yb, ya);
        } else {
            Kernel::stepPairNarrow(a[c], b[c], x);
        }
    }
    xa = _mm_cvtsd_f64(x);
    xb = Kernel::high(x);
}

void MultiFilter::chainPairWide(MultiFilter* a, double& xa, MultiFilter* b, double& xb,
                                int count) noexcept {
    __m128d x = _mm_set_pd(xb, xa);
    for (int c = 0; c < count; ++c) {
        if (a[c].saturates_ || b[c].saturates_) {
            const double ya = Kernel::stepAnyWide(a[c], _mm_cvtsd_f64(x));
            const double yb = Kernel::stepAnyWide(b[c], Kernel::high(x));
            x = _mm_set_pd(yb, ya);
        } else {
            Kernel::stepPairWide(a[c], b[c], x);
        }
    }
    xa = _mm_cvtsd_f64(x);
    xb = Kernel::high(x);
}

double MultiFilter::process(double x) noexcept {
    return processChain(this, 1, x);
}

void MultiFilter::processPair(MultiFilter& a, double& xa, MultiFilter& b, double& xb) noexcept {
    processChainPair(&a, xa, &b, xb, 1);
}

double MultiFilter::processChain(MultiFilter* cascades, int count, double x) noexcept {
    if (count <= 0) return x;
    return cascades[0].wide_ ? chainWide(cascades, count, x) : chainNarrow(cascades, count, x);
}

void MultiFilter::processChainPair(MultiFilter* a, double& xa, MultiFilter* b, double& xb,
                                   int count) noexcept {
    if (count <= 0) return;
    if (a[0].wide_)
        chainPairWide(a, xa, b, xb, count);
    else
        chainPairNarrow(a, xa, b, xb, count);
}

} // namespace zel
