// A directivity filter's target coefficients over one turn of the mouth. The
// filter's settings come from a table of a few steps per turn, interpolated
// linearly within a step; the coefficients those settings give are computed at
// the unit rate for many points per step when the rate changes, and a
// directivity update reads them back with linear interpolation. An update then
// costs a few multiplies instead of the sines, cosines and powers of the
// coefficient formulas, and the coefficients stay within a few millionths of the
// formulas' (the error of a linear reading falls with the square of the spacing).
#pragma once

#include "engine/BiquadFilter.h"
#include "engine/RayLobe.h"
#include "engine/WidePaths.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <immintrin.h>

namespace zel {

class DirectivityTable {
public:
    static constexpr int kPointsPerStep = 32;
    static constexpr int kMaxSteps = 36;
    static constexpr int kMaxPoints = kMaxSteps * kPointsPerStep;

    // setting(filter, index, weight) gives a section of `type` at `rate` its
    // settings `weight` of the way from entry index to entry index + 1 of the
    // settings table. Steps beyond kMaxSteps are not kept.
    template <typename Setting> void build(int steps, double rate, int32_t type, Setting setting) {
        begin(steps, rate, type);
        extend(kMaxPoints + 1, setting);
    }

    // The same in parts: begin forgets the table and takes its layout, each extend
    // computes up to `budget` more points (the same setting every time) and
    // returns how many it computed. The table is whole once complete() holds.
    void begin(int steps, double rate, int32_t type) {
        steps_ = std::clamp(steps, 1, kMaxSteps);
        points_ = steps_ * kPointsPerStep;
        rate_ = rate;
        type_ = type;
        built_ = 0;
    }
    template <typename Setting> int extend(int budget, Setting setting) {
        const int count = std::min(points_ + 1 - built_, std::max(budget, 0));
        const int end = built_ + count;
        if (count <= 0) return 0;
        // One section for every point: each setting recomputes its target once.
        BiquadFilter f(rate_, type_);
        f.setDesignOnly(true);
        f.setEnabled(true);
        for (int k = built_; k < end; ++k) {
            const int index = std::min(k / kPointsPerStep, steps_ - 1);
            const double weight = static_cast<double>(k - index * kPointsPerStep) / kPointsPerStep;
            setting(f, index, weight);
            coef_[k] = f.target();
        }
        built_ = end;
        return count;
    }
    bool complete() const { return built_ > points_; }
    double rate() const { return rate_; }

    // The coefficients at `turn` (0..1) of the settings table.
    BiquadCoefficients at(double turn) const {
        const double pos = turn * points_;
        const int k = std::clamp(static_cast<int>(pos), 0, points_ - 1);
        const double t = pos - k;
        const double w = t > 1.0 ? 1.0 : (t >= 0.0 ? t : 0.0); // also NaN
        const BiquadCoefficients& p = coef_[k];
        const BiquadCoefficients& q = coef_[k + 1];
        return {p.a0 + (q.a0 - p.a0) * w, p.a1 + (q.a1 - p.a1) * w, p.a2 + (q.a2 - p.a2) * w,
                p.b0 + (q.b0 - p.b0) * w, p.b1 + (q.b1 - p.b1) * w, p.b2 + (q.b2 - p.b2) * w};
    }

    // Coefficient lanes: each of the five kept coefficients (a0 is 1) lane by
    // lane.
    struct Lanes {
        double* b0;
        double* b1;
        double* b2;
        double* a1;
        double* a2;
    };
    // at(turns[i]) into lane i of out for i < count, the same values; four lanes
    // to a register where the processor has AVX2.
    void at(const double* turns, int count, const Lanes& out) const {
        int i = 0;
        if (useWidePaths()) i = atWide(turns, count, out);
        for (; i < count; ++i) {
            const BiquadCoefficients c = at(turns[i]);
            out.b0[i] = c.b0;
            out.b1[i] = c.b1;
            out.b2[i] = c.b2;
            out.a1[i] = c.a1;
            out.a2[i] = c.a2;
        }
    }

    // Where rays whose mouths stand at angles mu read the table: turns[i] =
    // 1 - facingTurn(mu[i]) for i < count, the same values, four at a time where
    // the processor has AVX2.
    static void facingTurns(const double* mu, int count, double* turns) {
        int i = 0;
        if (useWidePaths()) i = facingTurnsWide(mu, count, turns);
        for (; i < count; ++i) turns[i] = 1.0 - facingTurn(mu[i]);
    }

private:
    // facingTurns for the whole groups of four among count; returns the lanes
    // done. fractionOf(x) is x - floor(x) bit for bit (its short way finds floor
    // exactly), so the rounding instruction's floor stands in for it.
    [[gnu::target("avx2")]] static int facingTurnsWide(const double* mu, int count, double* turns) {
        const __m256d twoPi = _mm256_set1_pd(kTwoPi);
        const __m256d quarter = _mm256_set1_pd(0.25);
        const __m256d one = _mm256_set1_pd(1.0);
        int i = 0;
        for (; i + 4 <= count; i += 4) {
            const __m256d x = _mm256_add_pd(_mm256_div_pd(_mm256_loadu_pd(mu + i), twoPi), quarter);
            const __m256d fraction = _mm256_sub_pd(x, _mm256_floor_pd(x));
            _mm256_storeu_pd(turns + i, _mm256_sub_pd(one, fraction));
        }
        return i;
    }

    // The lookup of at(turn), four turns at a time, for the whole groups of four
    // among count; returns the lanes done. Each lane's two points are read whole
    // (plain loads: gathers cost far more) and interpolated there, with the same
    // operations per coefficient; the lanes' rows are then turned into
    // coefficient lanes.
    [[gnu::target("avx2")]] int atWide(const double* turns, int count, const Lanes& out) const {
        static_assert(sizeof(BiquadCoefficients) == 6 * sizeof(double));
        constexpr int kStride = 6; // doubles per point
        const double* base = &coef_[0].a0;
        const __m256d zero = _mm256_setzero_pd();
        const __m256d one = _mm256_set1_pd(1.0);
        int i = 0;
        for (; i + 4 <= count; i += 4) {
            const __m256d pos = _mm256_mul_pd(_mm256_loadu_pd(turns + i), _mm256_set1_pd(points_));
            // std::clamp(int(pos), 0, points - 1); a position out of the integer
            // range (or not a number) converts to the lowest integer, as alone.
            const __m128i k =
                _mm_min_epi32(_mm_max_epi32(_mm256_cvttpd_epi32(pos), _mm_setzero_si128()),
                              _mm_set1_epi32(points_ - 1));
            const __m256d t = _mm256_sub_pd(pos, _mm256_cvtepi32_pd(k));
            // t > 1 ? 1 : (t >= 0 ? t : 0), also for NaN.
            __m256d w = _mm256_blendv_pd(zero, t, _mm256_cmp_pd(t, zero, _CMP_GE_OQ));
            w = _mm256_blendv_pd(w, one, _mm256_cmp_pd(t, one, _CMP_GT_OQ));
            // k is at least 0: unsigned, it widens to an address for free.
            const double* p0 = base + kStride * static_cast<uint32_t>(_mm_cvtsi128_si32(k));
            const double* p1 = base + kStride * static_cast<uint32_t>(_mm_extract_epi32(k, 1));
            const double* p2 = base + kStride * static_cast<uint32_t>(_mm_extract_epi32(k, 2));
            const double* p3 = base + kStride * static_cast<uint32_t>(_mm_extract_epi32(k, 3));
            // a1, a2, b0 and b1 of each lane, then lane by lane.
            const __m256d r0 = lerpRow(p0, _mm256_permute4x64_pd(w, 0x00));
            const __m256d r1 = lerpRow(p1, _mm256_permute4x64_pd(w, 0x55));
            const __m256d r2 = lerpRow(p2, _mm256_permute4x64_pd(w, 0xaa));
            const __m256d r3 = lerpRow(p3, _mm256_permute4x64_pd(w, 0xff));
            const __m256d low01 = _mm256_unpacklo_pd(r0, r1);  // a1 a1 b0 b0
            const __m256d high01 = _mm256_unpackhi_pd(r0, r1); // a2 a2 b1 b1
            const __m256d low23 = _mm256_unpacklo_pd(r2, r3);
            const __m256d high23 = _mm256_unpackhi_pd(r2, r3);
            _mm256_storeu_pd(out.a1 + i, _mm256_permute2f128_pd(low01, low23, 0x20));
            _mm256_storeu_pd(out.a2 + i, _mm256_permute2f128_pd(high01, high23, 0x20));
            _mm256_storeu_pd(out.b0 + i, _mm256_permute2f128_pd(low01, low23, 0x31));
            _mm256_storeu_pd(out.b1 + i, _mm256_permute2f128_pd(high01, high23, 0x31));
            // b2, the row's last, lane by lane from the start.
            constexpr int kB2 = 5;
            const __m256d p = _mm256_setr_pd(p0[kB2], p1[kB2], p2[kB2], p3[kB2]);
            const __m256d q = _mm256_setr_pd(p0[kB2 + kStride], p1[kB2 + kStride],
                                             p2[kB2 + kStride], p3[kB2 + kStride]);
            _mm256_storeu_pd(out.b2 + i, _mm256_add_pd(p, _mm256_mul_pd(_mm256_sub_pd(q, p), w)));
        }
        return i;
    }

    // a1, a2, b0 and b1 of the point at `row` and the next, interpolated by w.
    [[gnu::target("avx2"), gnu::always_inline]] static inline __m256d lerpRow(const double* row,
                                                                              __m256d w) {
        constexpr int kStride = 6;
        constexpr int kA1 = 1;
        const __m256d p = _mm256_loadu_pd(row + kA1);
        const __m256d q = _mm256_loadu_pd(row + kA1 + kStride);
        return _mm256_add_pd(p, _mm256_mul_pd(_mm256_sub_pd(q, p), w));
    }

    std::array<BiquadCoefficients, kMaxPoints + 1> coef_{};
    int steps_ = 1;
    int points_ = 1;
    int built_ = 0;
    double rate_ = BiquadFilter::kDefaultRate;
    int32_t type_ = kBiquadIdentity;
};

} // namespace zel
