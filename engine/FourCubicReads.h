// Catmull-Rom reads of a 32-bit sample table at four positions at once: each
// position is placed and split as readCubicF places and splits it, the four
// neighbours are fetched one by one, and the four curves are evaluated side by
// side in one SSE register with readCubicF's operations in its order (no fused
// steps), so every read equals readCubicF's to the bit.
#pragma once

#include "engine/Interpolation.h"

#include <immintrin.h>

namespace zel {

// Where a read falls: the entry before the position (wrapped) and the remainder.
struct CubicPlace {
    int before;
    float fraction;
};

// readCubicF's placement of a position in a table of `length` entries.
[[nodiscard]] inline CubicPlace placeCubic(int length, double position) noexcept {
    const double len = static_cast<double>(length);
    if (position < 0.0) position += len;
    if (!(position >= 0.0 && position < len)) position = interp_detail::wrapInto(position, len);
    const int whole = static_cast<int>(position);
    return {whole == 0 ? length - 1 : whole - 1, static_cast<float>(position - whole)};
}

// readCubicF's curves at four fractions t through four neighbour sets, in its
// operations and order: c1 = 0.5 (p2 - p0); c2 = p0 - 2.5 p1 + 2 p2 - 0.5 p3
// (left to right); c3 = 0.5 (p3 - p0) + 1.5 (p1 - p2); Horner's rule in t.
[[gnu::always_inline]] inline __m128 catmullRom4(__m128 t, __m128 p0, __m128 p1, __m128 p2,
                                                 __m128 p3) noexcept {
    const __m128 half = _mm_set1_ps(0.5f);
    const __m128 c1 = _mm_mul_ps(half, _mm_sub_ps(p2, p0));
    const __m128 c2 = _mm_sub_ps(_mm_add_ps(_mm_sub_ps(p0, _mm_mul_ps(_mm_set1_ps(2.5f), p1)),
                                            _mm_mul_ps(_mm_set1_ps(2.0f), p2)),
                                 _mm_mul_ps(half, p3));
    const __m128 c3 = _mm_add_ps(_mm_mul_ps(half, _mm_sub_ps(p3, p0)),
                                 _mm_mul_ps(_mm_set1_ps(1.5f), _mm_sub_ps(p1, p2)));
    return _mm_add_ps(
        _mm_mul_ps(_mm_add_ps(_mm_mul_ps(_mm_add_ps(_mm_mul_ps(c3, t), c2), t), c1), t), p1);
}

// out[k] = readCubicF(table, length, position[k]) for k = 0..3.
inline void readCubicF4(const float* table, int length, const double* position,
                        float* out) noexcept {
    const CubicPlace a = placeCubic(length, position[0]);
    const CubicPlace b = placeCubic(length, position[1]);
    const CubicPlace c = placeCubic(length, position[2]);
    const CubicPlace d = placeCubic(length, position[3]);
    const float* pa = table + a.before;
    const float* pb = table + b.before;
    const float* pc = table + c.before;
    const float* pd = table + d.before;
    const __m128 p0 = _mm_setr_ps(pa[0], pb[0], pc[0], pd[0]);
    const __m128 p1 = _mm_setr_ps(pa[1], pb[1], pc[1], pd[1]);
    const __m128 p2 = _mm_setr_ps(pa[2], pb[2], pc[2], pd[2]);
    const __m128 p3 = _mm_setr_ps(pa[3], pb[3], pc[3], pd[3]);
    const __m128 t = _mm_setr_ps(a.fraction, b.fraction, c.fraction, d.fraction);
    _mm_storeu_ps(out, catmullRom4(t, p0, p1, p2, p3));
}

// readCubicF4 with the four positions placed side by side and the neighbours
// read a row per position: a negative position moves up by the length as placeCubic moves it;
// the four then lie in [0, length) (else placeCubic's slow path places them, one
// by one), where truncation gives the whole part and the remainder rounds to
// single precision as placeCubic rounds it, so every read equals readCubicF's to
// the bit.
[[gnu::target("avx2"), gnu::always_inline]] inline void
readCubicF4Avx2(const float* table, int length, const double* position, float* out) noexcept {
    const __m256d len = _mm256_set1_pd(static_cast<double>(length));
    const __m256d zero = _mm256_setzero_pd();
    __m256d p = _mm256_loadu_pd(position);
    p = _mm256_blendv_pd(p, _mm256_add_pd(p, len), _mm256_cmp_pd(p, zero, _CMP_LT_OQ));
    const __m256d inside =
        _mm256_and_pd(_mm256_cmp_pd(p, zero, _CMP_GE_OQ), _mm256_cmp_pd(p, len, _CMP_LT_OQ));
    if (_mm256_movemask_pd(inside) != 0xF) {
        readCubicF4(table, length, position, out);
        return;
    }
    const __m128i whole = _mm256_cvttpd_epi32(p);
    const __m128i before =
        _mm_blendv_epi8(_mm_sub_epi32(whole, _mm_set1_epi32(1)), _mm_set1_epi32(length - 1),
                        _mm_cmpeq_epi32(whole, _mm_setzero_si128()));
    const __m128 t = _mm256_cvtpd_ps(_mm256_sub_pd(p, _mm256_cvtepi32_pd(whole)));
    // Each read's four neighbours lie in a row (the table's guard entries
    // follow its end): one load per read, turned into the neighbours' lanes,
    // costs less than four gathers.
    const __m128 a = _mm_loadu_ps(table + _mm_cvtsi128_si32(before));
    const __m128 b = _mm_loadu_ps(table + _mm_extract_epi32(before, 1));
    const __m128 c = _mm_loadu_ps(table + _mm_extract_epi32(before, 2));
    const __m128 d = _mm_loadu_ps(table + _mm_extract_epi32(before, 3));
    const __m128 ab01 = _mm_unpacklo_ps(a, b); // a0 b0 a1 b1
    const __m128 ab23 = _mm_unpackhi_ps(a, b); // a2 b2 a3 b3
    const __m128 cd01 = _mm_unpacklo_ps(c, d);
    const __m128 cd23 = _mm_unpackhi_ps(c, d);
    _mm_storeu_ps(out, catmullRom4(t, _mm_movelh_ps(ab01, cd01), _mm_movehl_ps(cd01, ab01),
                                   _mm_movelh_ps(ab23, cd23), _mm_movehl_ps(cd23, ab23)));
}

} // namespace zel
