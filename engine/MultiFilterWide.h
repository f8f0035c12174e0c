// One sample of a cascade with four sections' history shares to an AVX2
// register, for MultiFilter's wide kernels and for callers that step a cascade
// inside their own AVX2 loops (MultiFilter::processWide): inline there, so the
// cascade's recursion overlaps the caller's work and the caller's constants stay
// in registers. Each multiply is fused into the add after it, the same way in
// every AVX2 kernel, so all of them give the same values.
#pragma once

#include "engine/MultiFilter.h"
#include "engine/OnePole.h"

#include <cmath>
#include <immintrin.h>

namespace zel {

struct MultiFilter::WideStep {
    struct History {
        __m256d n1;   // nodes 0..3 one sample back
        double last1; // node 4 one sample back
        __m256d s;    // the shares of sections 0..3
    };

    [[gnu::always_inline, gnu::target("avx2,fma")]] static inline History
    history(const MultiFilter& m) noexcept {
        History h;
        h.n1 = _mm256_loadu_pd(m.node1_);
        h.last1 = m.node1_[kSections];
        const __m256d x2 = _mm256_loadu_pd(m.node2_);
        const __m256d y1 = _mm256_loadu_pd(m.node1_ + 1);
        const __m256d y2 = _mm256_loadu_pd(m.node2_ + 1);
        const __m256d bx = _mm256_fmadd_pd(_mm256_loadu_pd(m.b1_), h.n1,
                                           _mm256_mul_pd(_mm256_loadu_pd(m.b2_), x2));
        h.s = _mm256_fnmadd_pd(_mm256_loadu_pd(m.a2_), y2,
                               _mm256_fnmadd_pd(_mm256_loadu_pd(m.a1_), y1, bx));
        return h;
    }

    // a b + c, rounded once (one instruction where FMA is on).
    [[gnu::always_inline, gnu::target("avx2,fma")]] static inline double fused(double a, double b,
                                                                               double c) noexcept {
        return std::fma(a, b, c);
    }

    // Section i's output for input `in` and its history share, saturated where
    // the section saturates, with the multiplies fused.
    [[gnu::always_inline, gnu::target("avx2,fma")]] static inline double
    section(const MultiFilter& m, int i, double in, double share, bool saturating) noexcept {
        double y = denormalGuard(fused(m.b0_[i], in, share), kCascadeGuard);
        if (saturating && m.satOn_[i]) {
            y = y / fused(std::fabs(y + m.satBias_[i]), m.satInverse_[i], 1.0);
            y = denormalGuard(y, kCascadeGuard);
        }
        return y;
    }

    [[gnu::always_inline, gnu::target("avx2,fma")]] static inline void
    moveOn(MultiFilter& m, const History& h, __m256d nodes, double last) noexcept {
        _mm256_storeu_pd(m.node2_, h.n1);
        m.node2_[kSections] = h.last1;
        _mm256_storeu_pd(m.node1_, nodes);
        m.node1_[kSections] = last;
    }

    template <bool Saturating>
    [[gnu::always_inline, gnu::target("avx2,fma")]] static inline double step(MultiFilter& m,
                                                                              double x) noexcept {
        const History h = history(m);
        const __m128d sLo = _mm256_castpd256_pd128(h.s);
        const __m128d sHi = _mm256_extractf128_pd(h.s, 1);
        const double in = denormalGuard(x, kCascadeGuard);
        const double y0 = section(m, 0, in, _mm_cvtsd_f64(sLo), Saturating);
        const double y1 = section(m, 1, y0, _mm_cvtsd_f64(_mm_unpackhi_pd(sLo, sLo)), Saturating);
        const double y2 = section(m, 2, y1, _mm_cvtsd_f64(sHi), Saturating);
        const double y3 = section(m, 3, y2, _mm_cvtsd_f64(_mm_unpackhi_pd(sHi, sHi)), Saturating);
        moveOn(m, h, _mm256_set_pd(y2, y1, y0, in), y3);
        return y3;
    }
};

template <bool Saturating> inline double MultiFilter::processWide(double x) noexcept {
    return WideStep::step<Saturating>(*this, x);
}

} // namespace zel
