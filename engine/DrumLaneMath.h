// The drum's ray maths eight rays to an AVX2 register, in single precision: the
// lobe point from the edges' distances; the lobe's sine, the Catmull-Rom sum
// and the reads of each lane's four neighbours (from the history's and the
// attenuation table's copies in single precision) are the horn's (float_rays). The same steps as
// the one-ray code (lobePoint, interp_detail::catmullRom), with each multiply
// fused into the add after it. Single precision carries 24 bits: the values
// agree with the one-ray code to a few parts in 10^7 (the drum's ray tests give
// the bounds), far below what the ear or the renders' comparison can tell.
#pragma once

#include "engine/FloatRayMath.h"
#include "engine/RayLobe.h"

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

// Eight single-precision values widened to double, stored at out[0..8).
[[gnu::target("avx2,fma"), gnu::always_inline]] inline void storeWide(double* out,
                                                                      __m256 v) noexcept {
    _mm256_store_pd(out, _mm256_cvtps_pd(_mm256_castps256_ps128(v)));
    _mm256_store_pd(out + 4, _mm256_cvtps_pd(_mm256_extractf128_ps(v, 1)));
}

} // namespace zel::drum_lanes
