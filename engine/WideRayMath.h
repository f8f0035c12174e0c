// The ray maths four rays to an AVX2 register, shared by the horn's ray batch
// and the drum's ray lanes: the lobe point, the Catmull-Rom sum, the read of
// each lane's four neighbours and the wrap of positions outside the history.
// Each takes the same operations in the same order as the one-ray code
// (lobePoint, interp_detail::catmullRom, readCubic's wrap), except that a
// multiply followed by an add is one fused step (rounded once, not twice): the
// values agree with the one-ray code to a few units in the last place, and the
// chains from the phase to the value are half as long.
#pragma once

#include "engine/Interpolation.h"
#include "engine/OnePole.h"
#include "engine/RayLobe.h"

#include <cstdint>
#include <immintrin.h>

namespace zel::wide_rays {

// lobePoint for four lanes: each stretch's phase for every lane, each lane's
// stretch picked by a mask. lambda: the displacement, mu: the signed phase.
[[gnu::target("avx2,fma"), gnu::always_inline]] inline void
lobePoints(__m256d theta, __m256d halfWidth, __m256d sign, __m256d edgeScale, __m256d middleScale,
           __m256d& lambdaOut, __m256d& muOut) noexcept {
    const __m256d one = _mm256_set1_pd(1.0);
    const __m256d pi = _mm256_set1_pd(kPi);
    const __m256d rising = _mm256_cmp_pd(theta, halfWidth, _CMP_LE_OQ);
    const __m256d falling = _mm256_cmp_pd(theta, _mm256_sub_pd(one, halfWidth), _CMP_GE_OQ);
    const __m256d muRising = _mm256_mul_pd(_mm256_sub_pd(theta, halfWidth), edgeScale);
    const __m256d muFalling =
        _mm256_mul_pd(_mm256_sub_pd(theta, _mm256_sub_pd(one, halfWidth)), edgeScale);
    const __m256d muMiddle = _mm256_mul_pd(_mm256_sub_pd(theta, halfWidth), middleScale);
    const __m256d mu =
        _mm256_blendv_pd(_mm256_blendv_pd(muMiddle, muFalling, falling), muRising, rising);
    const __m256d folded = _mm256_blendv_pd(mu, _mm256_sub_pd(pi, mu),
                                            _mm256_cmp_pd(mu, _mm256_set1_pd(kPi / 2), _CMP_GT_OQ));
    // lobeSineFolded.
    const __m256d x2 = _mm256_mul_pd(folded, folded);
    __m256d series = _mm256_set1_pd(kLobeSineSeries[7]);
    for (int n = 6; n >= 0; --n)
        series = _mm256_fmadd_pd(series, x2, _mm256_set1_pd(kLobeSineSeries[n]));
    const __m256d sine = _mm256_fmadd_pd(_mm256_mul_pd(folded, x2), series, folded);
    const __m256d muSigned = _mm256_mul_pd(mu, sign);
    lambdaOut =
        _mm256_xor_pd(_mm256_mul_pd(sine, sign), _mm256_and_pd(falling, _mm256_set1_pd(-0.0)));
    muOut = _mm256_blendv_pd(muSigned, _mm256_sub_pd(muSigned, pi), falling);
}

// interp_detail::catmullRom, four lanes.
[[gnu::target("avx2,fma"), gnu::always_inline]] inline __m256d
catmullRom(__m256d t, __m256d p0, __m256d p1, __m256d p2, __m256d p3) noexcept {
    const __m256d half = _mm256_set1_pd(0.5);
    const __m256d c1 = _mm256_mul_pd(half, _mm256_sub_pd(p2, p0));
    // The products by 2 and by 0.5 are exact: fused or not, they round alike.
    const __m256d c2 = _mm256_fnmadd_pd(
        half, p3,
        _mm256_fmadd_pd(_mm256_set1_pd(2.0), p2, _mm256_fnmadd_pd(_mm256_set1_pd(2.5), p1, p0)));
    const __m256d c3 = _mm256_fmadd_pd(half, _mm256_sub_pd(p3, p0),
                                       _mm256_mul_pd(_mm256_set1_pd(1.5), _mm256_sub_pd(p1, p2)));
    const __m256d r = _mm256_fmadd_pd(c3, t, c2);
    return _mm256_fmadd_pd(_mm256_fmadd_pd(r, t, c1), t, p1);
}

// Lane n of four indices that are never negative (ring positions, table
// entries). Unsigned, they widen to an address for free (a signed one takes a
// sign extension per lane).
[[gnu::target("avx2,fma"), gnu::always_inline]] inline uint32_t indexLane(__m128i k,
                                                                          int n) noexcept {
    switch (n) {
    case 0:
        return static_cast<uint32_t>(_mm_cvtsi128_si32(k));
    case 1:
        return static_cast<uint32_t>(_mm_extract_epi32(k, 1));
    case 2:
        return static_cast<uint32_t>(_mm_extract_epi32(k, 2));
    default:
        return static_cast<uint32_t>(_mm_extract_epi32(k, 3));
    }
}

// base[k + 0..3] for each lane's k (at least 0), as four registers: the first,
// second, third and fourth neighbour of every lane (one load per lane,
// transposed).
[[gnu::target("avx2,fma"), gnu::always_inline]] inline void neighbours(const double* base,
                                                                       __m128i k, __m256d& p0,
                                                                       __m256d& p1, __m256d& p2,
                                                                       __m256d& p3) noexcept {
    const __m256d r0 = _mm256_loadu_pd(base + indexLane(k, 0));
    const __m256d r1 = _mm256_loadu_pd(base + indexLane(k, 1));
    const __m256d r2 = _mm256_loadu_pd(base + indexLane(k, 2));
    const __m256d r3 = _mm256_loadu_pd(base + indexLane(k, 3));
    const __m256d t0 = _mm256_unpacklo_pd(r0, r1); // a0 b0 a2 b2
    const __m256d t1 = _mm256_unpackhi_pd(r0, r1); // a1 b1 a3 b3
    const __m256d t2 = _mm256_unpacklo_pd(r2, r3);
    const __m256d t3 = _mm256_unpackhi_pd(r2, r3);
    p0 = _mm256_permute2f128_pd(t0, t2, 0x20);
    p1 = _mm256_permute2f128_pd(t1, t3, 0x20);
    p2 = _mm256_permute2f128_pd(t0, t2, 0x31);
    p3 = _mm256_permute2f128_pd(t1, t3, 0x31);
}

// Positions the quick checks reject (far negative, beyond the end, not a number)
// brought into [0, length) as readCubic does.
[[gnu::target("avx2,fma"), gnu::noinline, gnu::cold]] inline __m256d
wrapped(__m256d position, double length) noexcept {
    alignas(32) double p[4];
    _mm256_store_pd(p, position);
    for (double& v : p)
        if (!(v >= 0.0 && v < length)) v = interp_detail::wrapInto(v, length);
    return _mm256_load_pd(p);
}

} // namespace zel::wide_rays
