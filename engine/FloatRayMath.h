// The ray maths in single precision, eight rays to an AVX2 register (or four to
// its lower half): the lobe point, the Catmull-Rom sum and the read of each
// ray's four neighbours from a float copy of a table. Each takes the steps of
// the double-precision code (lobePoint, interp_detail::catmullRom) with a
// multiply and the add after it fused, as wide_rays does, in float: the values
// agree with the double code to float's relative step (2^-24) times the few
// steps each takes. Float halves the rays' registers; what float could not
// carry stays out of here: the retarded angle (a fraction of a turn that a
// narrow lobe magnifies) arrives as its signed distance from the nearest whole
// turn, which float keeps to its relative step however close to the ray the
// mouth is, and the ring position arrives split into whole samples and a
// fraction (see RayBatch).
#pragma once

#include "engine/OnePole.h"
#include "engine/RayLobe.h"
#include "engine/WideRayMath.h"

#include <cstdint>
#include <immintrin.h>

namespace zel::float_rays {

using wide_rays::indexLane;

// A vector of W floats and its W int32 lanes: eight to an AVX2 register, four
// to its lower half (a group of four rays costs no more than four lanes).
template <int W> struct Lanes;
template <> struct Lanes<8> {
    using V = __m256;
    using I = __m256i;
};
template <> struct Lanes<4> {
    using V = __m128;
    using I = __m128i;
};

// ---- the few steps whose instruction the vector's width picks ----

template <typename V> V splat(float x) noexcept;
template <>
[[gnu::target("avx2,fma"), gnu::always_inline]] inline __m256 splat<__m256>(float x) noexcept {
    return _mm256_set1_ps(x);
}
template <>
[[gnu::target("avx2,fma"), gnu::always_inline]] inline __m128 splat<__m128>(float x) noexcept {
    return _mm_set1_ps(x);
}
template <typename I> I splatInt(int x) noexcept;
template <>
[[gnu::target("avx2,fma"), gnu::always_inline]] inline __m256i splatInt<__m256i>(int x) noexcept {
    return _mm256_set1_epi32(x);
}
template <>
[[gnu::target("avx2,fma"), gnu::always_inline]] inline __m128i splatInt<__m128i>(int x) noexcept {
    return _mm_set1_epi32(x);
}

[[gnu::target("avx2,fma"), gnu::always_inline]] inline __m256 load(const float* p,
                                                                   __m256) noexcept {
    return _mm256_loadu_ps(p);
}
[[gnu::target("avx2,fma"), gnu::always_inline]] inline __m128 load(const float* p,
                                                                   __m128) noexcept {
    return _mm_loadu_ps(p);
}
[[gnu::target("avx2,fma"), gnu::always_inline]] inline void store(float* p, __m256 v) noexcept {
    _mm256_storeu_ps(p, v);
}
[[gnu::target("avx2,fma"), gnu::always_inline]] inline void store(float* p, __m128 v) noexcept {
    _mm_storeu_ps(p, v);
}
[[gnu::target("avx2,fma"), gnu::always_inline]] inline __m256i loadInt(const int32_t* p,
                                                                       __m256i) noexcept {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}
[[gnu::target("avx2,fma"), gnu::always_inline]] inline __m128i loadInt(const int32_t* p,
                                                                       __m128i) noexcept {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

[[gnu::target("avx2,fma"), gnu::always_inline]] inline __m256 fmadd(__m256 a, __m256 b,
                                                                    __m256 c) noexcept {
    return _mm256_fmadd_ps(a, b, c);
}
[[gnu::target("avx2,fma"), gnu::always_inline]] inline __m128 fmadd(__m128 a, __m128 b,
                                                                    __m128 c) noexcept {
    return _mm_fmadd_ps(a, b, c);
}
// c - a b, rounded once.
[[gnu::target("avx2,fma"), gnu::always_inline]] inline __m256 fnmadd(__m256 a, __m256 b,
                                                                     __m256 c) noexcept {
    return _mm256_fnmadd_ps(a, b, c);
}
[[gnu::target("avx2,fma"), gnu::always_inline]] inline __m128 fnmadd(__m128 a, __m128 b,
                                                                     __m128 c) noexcept {
    return _mm_fnmadd_ps(a, b, c);
}

// The instructions' own max and min: b where either is not a number.
[[gnu::target("avx2,fma"), gnu::always_inline]] inline __m256 maxOf(__m256 a, __m256 b) noexcept {
    return _mm256_max_ps(a, b);
}
[[gnu::target("avx2,fma"), gnu::always_inline]] inline __m128 maxOf(__m128 a, __m128 b) noexcept {
    return _mm_max_ps(a, b);
}
[[gnu::target("avx2,fma"), gnu::always_inline]] inline __m256 minOf(__m256 a, __m256 b) noexcept {
    return _mm256_min_ps(a, b);
}
[[gnu::target("avx2,fma"), gnu::always_inline]] inline __m128 minOf(__m128 a, __m128 b) noexcept {
    return _mm_min_ps(a, b);
}

template <int P>
[[gnu::target("avx2,fma"), gnu::always_inline]] inline __m256 cmp(__m256 a, __m256 b) noexcept {
    return _mm256_cmp_ps(a, b, P);
}
template <int P>
[[gnu::target("avx2,fma"), gnu::always_inline]] inline __m128 cmp(__m128 a, __m128 b) noexcept {
    return _mm_cmp_ps(a, b, P);
}
// b where mask is set, a elsewhere.
[[gnu::target("avx2,fma"), gnu::always_inline]] inline __m256 blend(__m256 a, __m256 b,
                                                                    __m256 mask) noexcept {
    return _mm256_blendv_ps(a, b, mask);
}
[[gnu::target("avx2,fma"), gnu::always_inline]] inline __m128 blend(__m128 a, __m128 b,
                                                                    __m128 mask) noexcept {
    return _mm_blendv_ps(a, b, mask);
}
[[gnu::target("avx2,fma"), gnu::always_inline]] inline __m256 andOf(__m256 a, __m256 b) noexcept {
    return _mm256_and_ps(a, b);
}
[[gnu::target("avx2,fma"), gnu::always_inline]] inline __m128 andOf(__m128 a, __m128 b) noexcept {
    return _mm_and_ps(a, b);
}
// b where a is clear.
[[gnu::target("avx2,fma"), gnu::always_inline]] inline __m256 andNot(__m256 a, __m256 b) noexcept {
    return _mm256_andnot_ps(a, b);
}
[[gnu::target("avx2,fma"), gnu::always_inline]] inline __m128 andNot(__m128 a, __m128 b) noexcept {
    return _mm_andnot_ps(a, b);
}
[[gnu::target("avx2,fma"), gnu::always_inline]] inline __m256 xorOf(__m256 a, __m256 b) noexcept {
    return _mm256_xor_ps(a, b);
}
[[gnu::target("avx2,fma"), gnu::always_inline]] inline __m128 xorOf(__m128 a, __m128 b) noexcept {
    return _mm_xor_ps(a, b);
}
[[gnu::target("avx2,fma"), gnu::always_inline]] inline int signs(__m256 mask) noexcept {
    return _mm256_movemask_ps(mask);
}
[[gnu::target("avx2,fma"), gnu::always_inline]] inline int signs(__m128 mask) noexcept {
    return _mm_movemask_ps(mask);
}

[[gnu::target("avx2,fma"), gnu::always_inline]] inline __m256 ceilOf(__m256 x) noexcept {
    return _mm256_ceil_ps(x);
}
[[gnu::target("avx2,fma"), gnu::always_inline]] inline __m128 ceilOf(__m128 x) noexcept {
    return _mm_ceil_ps(x);
}
// Truncated toward zero (values within the int range).
[[gnu::target("avx2,fma"), gnu::always_inline]] inline __m256i truncated(__m256 x) noexcept {
    return _mm256_cvttps_epi32(x);
}
[[gnu::target("avx2,fma"), gnu::always_inline]] inline __m128i truncated(__m128 x) noexcept {
    return _mm_cvttps_epi32(x);
}
[[gnu::target("avx2,fma"), gnu::always_inline]] inline __m256 toFloat(__m256i x) noexcept {
    return _mm256_cvtepi32_ps(x);
}
[[gnu::target("avx2,fma"), gnu::always_inline]] inline __m128 toFloat(__m128i x) noexcept {
    return _mm_cvtepi32_ps(x);
}
[[gnu::target("avx2,fma"), gnu::always_inline]] inline __m256i subInt(__m256i a,
                                                                      __m256i b) noexcept {
    return _mm256_sub_epi32(a, b);
}
[[gnu::target("avx2,fma"), gnu::always_inline]] inline __m128i subInt(__m128i a,
                                                                      __m128i b) noexcept {
    return _mm_sub_epi32(a, b);
}
[[gnu::target("avx2,fma"), gnu::always_inline]] inline __m256i andInt(__m256i a,
                                                                      __m256i b) noexcept {
    return _mm256_and_si256(a, b);
}
[[gnu::target("avx2,fma"), gnu::always_inline]] inline __m128i andInt(__m128i a,
                                                                      __m128i b) noexcept {
    return _mm_and_si128(a, b);
}

// The lower half of eight lanes (four lanes: the register itself).
template <typename V> V lower(__m256 x) noexcept;
template <>
[[gnu::target("avx2,fma"), gnu::always_inline]] inline __m256 lower<__m256>(__m256 x) noexcept {
    return x;
}
template <>
[[gnu::target("avx2,fma"), gnu::always_inline]] inline __m128 lower<__m128>(__m256 x) noexcept {
    return _mm256_castps256_ps128(x);
}

// base[k + 0..3] for each lane's k (at least 0), as four registers: the first,
// second, third and fourth neighbour of every lane (one 128-bit load per lane,
// transposed).
[[gnu::target("avx2,fma"), gnu::always_inline]] inline void
neighbours(const float* base, __m128i k, __m128& p0, __m128& p1, __m128& p2, __m128& p3) noexcept {
    const __m128 a = _mm_loadu_ps(base + indexLane(k, 0));
    const __m128 b = _mm_loadu_ps(base + indexLane(k, 1));
    const __m128 c = _mm_loadu_ps(base + indexLane(k, 2));
    const __m128 d = _mm_loadu_ps(base + indexLane(k, 3));
    const __m128 ab01 = _mm_unpacklo_ps(a, b); // a0 b0 a1 b1
    const __m128 ab23 = _mm_unpackhi_ps(a, b); // a2 b2 a3 b3
    const __m128 cd01 = _mm_unpacklo_ps(c, d);
    const __m128 cd23 = _mm_unpackhi_ps(c, d);
    p0 = _mm_movelh_ps(ab01, cd01);
    p1 = _mm_movehl_ps(cd01, ab01);
    p2 = _mm_movelh_ps(ab23, cd23);
    p3 = _mm_movehl_ps(cd23, ab23);
}
// Lane n's four neighbours in the lower half, lane n + 4's in the upper.
[[gnu::target("avx2,fma"), gnu::always_inline]] inline __m256
neighbourRow(const float* base, __m128i lo, __m128i hi, int n) noexcept {
    return _mm256_insertf128_ps(_mm256_castps128_ps256(_mm_loadu_ps(base + indexLane(lo, n))),
                                _mm_loadu_ps(base + indexLane(hi, n)), 1);
}
[[gnu::target("avx2,fma"), gnu::always_inline]] inline void
neighbours(const float* base, __m256i k, __m256& p0, __m256& p1, __m256& p2, __m256& p3) noexcept {
    // Lanes n and n + 4 share a row: the transpose then stays within each half.
    const __m128i lo = _mm256_castsi256_si128(k);
    const __m128i hi = _mm256_extracti128_si256(k, 1);
    const __m256 a = neighbourRow(base, lo, hi, 0);
    const __m256 b = neighbourRow(base, lo, hi, 1);
    const __m256 c = neighbourRow(base, lo, hi, 2);
    const __m256 d = neighbourRow(base, lo, hi, 3);
    const __m256 ab01 = _mm256_unpacklo_ps(a, b);
    const __m256 ab23 = _mm256_unpackhi_ps(a, b);
    const __m256 cd01 = _mm256_unpacklo_ps(c, d);
    const __m256 cd23 = _mm256_unpackhi_ps(c, d);
    p0 = _mm256_shuffle_ps(ab01, cd01, 0x44);
    p1 = _mm256_shuffle_ps(ab01, cd01, 0xEE);
    p2 = _mm256_shuffle_ps(ab23, cd23, 0x44);
    p3 = _mm256_shuffle_ps(ab23, cd23, 0xEE);
}

// ---- the maths, the same at either width ----

// The sine's series as lobeSineFolded sums it, to the 13th power: the terms
// past it stay below (pi / 2)^15 / 15! < 7e-10, far under float's step.
inline constexpr int kFloatSineTerms = 6;

// lobeSineFolded of a lobe phase mu in [0, pi]: folded into [0, pi / 2], then
// the series.
template <typename V>
[[gnu::target("avx2,fma"), gnu::always_inline]] inline V lobeSine(V mu) noexcept {
    const V pi = splat<V>(static_cast<float>(kPi));
    const V folded = blend(mu, pi - mu, cmp<_CMP_GT_OQ>(mu, splat<V>(static_cast<float>(kPi / 2))));
    const V x2 = folded * folded;
    V series = splat<V>(static_cast<float>(kLobeSineSeries[kFloatSineTerms - 1]));
    for (int n = kFloatSineTerms - 2; n >= 0; --n)
        series = fmadd(series, x2, splat<V>(static_cast<float>(kLobeSineSeries[n])));
    return fmadd(folded * x2, series, folded);
}

// lobePoint for each lane. c: the retarded angle relative to the ray as its
// signed distance from the nearest whole turn, in [-1/2, 1/2] (theta is c, or
// c + 1 below zero): the edge stretches' phases (theta - hw on the rising
// edge, theta - (1 - hw) = c + hw on the falling one) are then differences of
// small values, which float keeps to its relative step even where a narrow
// lobe's edge scale magnifies them. lambda: the displacement, mu: the signed
// phase.
template <typename V>
[[gnu::target("avx2,fma"), gnu::always_inline]] inline void
lobePoints(V c, V halfWidth, V sign, V edgeScale, V middleScale, V& lambdaOut, V& muOut) noexcept {
    const V zero{};
    const V negative = splat<V>(-0.0f);
    const V pi = splat<V>(static_cast<float>(kPi));
    // theta is c itself (the rising edge or the middle's first half), or c + 1.
    // The edges: theta <= hw (0 <= c <= hw) and theta >= 1 - hw (-hw <= c < 0).
    const V ahead = cmp<_CMP_GE_OQ>(c, zero);
    const V edge = cmp<_CMP_LE_OQ>(andNot(negative, c), halfWidth);
    const V falling = andNot(ahead, edge);
    // c - hw rising, c - (-hw) falling.
    const V muEdge = (c - xorOf(halfWidth, andNot(ahead, negative))) * edgeScale;
    const V theta = c + andNot(ahead, splat<V>(1.0f));
    const V muMiddle = (theta - halfWidth) * middleScale;
    const V mu = blend(muMiddle, muEdge, edge);
    const V sine = lobeSine(mu);
    const V muSigned = mu * sign;
    lambdaOut = xorOf(sine * sign, andOf(falling, negative));
    muOut = blend(muSigned, muSigned - pi, falling);
}

// interp_detail::catmullRom for each lane, fused as wide_rays::catmullRom.
template <typename V>
[[gnu::target("avx2,fma"), gnu::always_inline]] inline V catmullRom(V t, V p0, V p1, V p2,
                                                                    V p3) noexcept {
    const V half = splat<V>(0.5f);
    const V c1 = half * (p2 - p0);
    // The products by 2 and by 0.5 are exact: fused or not, they round alike.
    const V c2 = fnmadd(half, p3, fmadd(splat<V>(2.0f), p2, fnmadd(splat<V>(2.5f), p1, p0)));
    const V c3 = fmadd(half, p3 - p0, splat<V>(1.5f) * (p1 - p2));
    const V r = fmadd(c3, t, c2);
    return fmadd(fmadd(r, t, c1), t, p1);
}

} // namespace zel::float_rays
