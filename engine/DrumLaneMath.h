// The drum's ray maths eight rays to an AVX2 register, in single precision: the
// lobe point from the edges' distances and the read of each lane's four
// neighbours (stored in double, rounded to single as they are read); the lobe's
// sine and the Catmull-Rom sum are the horn's (float_rays). The same steps as
// the one-ray code (lobePoint, interp_detail::catmullRom), with each multiply
// fused into the add after it. Single precision carries 24 bits: the values
// agree with the one-ray code to a few parts in 10^7 (the drum's ray tests give
// the bounds), far below what the ear or the renders' comparison can tell.
#pragma once

#include "engine/FloatRayMath.h"
#include "engine/RayLobe.h"

#include <cstdint>
#include <immintrin.h>

namespace zel::drum_lanes {

// lobePoint for eight lanes, from the retarded angle's distances to the rising
// edge's end (rise = theta - halfWidth) and to the falling edge's start (fall =
// theta - (1 - halfWidth)), taken in double and rounded once: the edges' phases
// keep their relative precision however narrow the lobe. lambda: the
// displacement, mu: the signed phase.
[[gnu::target("avx2,fma"), gnu::always_inline]] inline void
lobePoints(__m256 rise, __m256 fall, __m256 sign, __m256 edgeScale, __m256 middleScale,
           __m256& lambdaOut, __m256& muOut) noexcept {
    const __m256 zero = _mm256_setzero_ps();
    const __m256 pi = _mm256_set1_ps(static_cast<float>(kPi));
    const __m256 rising = _mm256_cmp_ps(rise, zero, _CMP_LE_OQ);
    const __m256 falling = _mm256_cmp_ps(fall, zero, _CMP_GE_OQ);
    const __m256 muRising = _mm256_mul_ps(rise, edgeScale);
    const __m256 muFalling = _mm256_mul_ps(fall, edgeScale);
    const __m256 muMiddle = _mm256_mul_ps(rise, middleScale);
    const __m256 mu =
        _mm256_blendv_ps(_mm256_blendv_ps(muMiddle, muFalling, falling), muRising, rising);
    const __m256 sine = float_rays::lobeSine(mu);
    const __m256 muSigned = _mm256_mul_ps(mu, sign);
    lambdaOut =
        _mm256_xor_ps(_mm256_mul_ps(sine, sign), _mm256_and_ps(falling, _mm256_set1_ps(-0.0f)));
    muOut = _mm256_blendv_ps(muSigned, _mm256_sub_ps(muSigned, pi), falling);
}

// Lane n of eight indices that are never negative (masked ring positions, table
// entries): unsigned, they widen to an address for free.
template <int N>
[[gnu::target("avx2,fma"), gnu::always_inline]] inline uint32_t indexLane(__m256i k) noexcept {
    static_assert(N >= 0 && N < 8);
    return static_cast<uint32_t>(_mm256_extract_epi32(k, N));
}

// base[k + 0..3] for one lane, rounded to single precision.
[[gnu::target("avx2,fma"), gnu::always_inline]] inline __m128 fourAt(const double* base,
                                                                     uint32_t k) noexcept {
    return _mm256_cvtpd_ps(_mm256_loadu_pd(base + k));
}

// base[k + 0..3] for each lane's k (at least 0), as four registers: the first,
// second, third and fourth neighbour of every lane (one load per lane, rounded
// to single precision, transposed).
[[gnu::target("avx2,fma"), gnu::always_inline]] inline void
neighbours(const double* base, __m256i k, __m256& p0, __m256& p1, __m256& p2, __m256& p3) noexcept {
    // Lanes n and n + 4 share a register: a 4 x 4 transpose in each half.
    const __m256 r0 = _mm256_insertf128_ps(_mm256_castps128_ps256(fourAt(base, indexLane<0>(k))),
                                           fourAt(base, indexLane<4>(k)), 1);
    const __m256 r1 = _mm256_insertf128_ps(_mm256_castps128_ps256(fourAt(base, indexLane<1>(k))),
                                           fourAt(base, indexLane<5>(k)), 1);
    const __m256 r2 = _mm256_insertf128_ps(_mm256_castps128_ps256(fourAt(base, indexLane<2>(k))),
                                           fourAt(base, indexLane<6>(k)), 1);
    const __m256 r3 = _mm256_insertf128_ps(_mm256_castps128_ps256(fourAt(base, indexLane<3>(k))),
                                           fourAt(base, indexLane<7>(k)), 1);
    const __m256 t0 = _mm256_unpacklo_ps(r0, r1); // a0 b0 a1 b1
    const __m256 t1 = _mm256_unpackhi_ps(r0, r1); // a2 b2 a3 b3
    const __m256 t2 = _mm256_unpacklo_ps(r2, r3); // c0 d0 c1 d1
    const __m256 t3 = _mm256_unpackhi_ps(r2, r3); // c2 d2 c3 d3
    p0 = _mm256_shuffle_ps(t0, t2, 0x44);
    p1 = _mm256_shuffle_ps(t0, t2, 0xEE);
    p2 = _mm256_shuffle_ps(t1, t3, 0x44);
    p3 = _mm256_shuffle_ps(t1, t3, 0xEE);
}

// Eight single-precision values widened to double, stored at out[0..8).
[[gnu::target("avx2,fma"), gnu::always_inline]] inline void storeWide(double* out,
                                                                      __m256 v) noexcept {
    _mm256_store_pd(out, _mm256_cvtps_pd(_mm256_castps256_ps128(v)));
    _mm256_store_pd(out + 4, _mm256_cvtps_pd(_mm256_extractf128_ps(v, 1)));
}

} // namespace zel::drum_lanes
