// A drum unit's rays up to their directivity filters, four rays to an AVX2
// register: for each ray where it sees the mouth (the retarded angle and the
// lobe), the input delayed by the ray's Doppler delay and the distance
// attenuation. Every step runs on whole registers, the reads of the angle, input
// and attenuation neighbours too (each lane's four neighbours in one load,
// transposed into place), so a ray costs a fraction of what its one-ray code
// costs.
//
// Each value takes the same operations in the same order as the one-ray code
// (RayTrack::lobeNow, SourceHistory::inputBefore, AttenuationTable::atPosition,
// and RayBatch, which runs them two rays to an SSE2 register), except that each
// multiply is fused into the add after it, as RayBatch's four-ray path does: the
// results agree to a few units in the last place. Only processors with AVX2 run
// it (cpuHasAvx2); the units fall back on the one-ray code and RayBatch
// elsewhere. Lanes beyond a unit's rays run copies of a real ray, so they never
// produce values that slow the arithmetic down. Audio-thread object.
#pragma once

#include "engine/AttenuationTable.h"
#include "engine/Interpolation.h"
#include "engine/RayLobe.h"
#include "engine/RayTrack.h"
#include "engine/SourceHistory.h"
#include "engine/WideRayMath.h"

#include <cmath>
#include <cstdint>
#include <immintrin.h>
#include <limits>

namespace zel {

template <int N> class DrumRayLanes {
public:
    static_assert(N % 4 == 0, "rays go four to a register");
    static constexpr int kLanes = N;

    // A ray's geometry and rate terms, taken again whenever they change.
    void load(int lane, const RayTrack& ray) {
        retard_[lane] = ray.retardSamples;
        angleOffset_[lane] = ray.path.angle * ray.path.sign;
        sign_[lane] = ray.path.sign;
        halfWidth_[lane] = ray.lobe.halfWidth;
        edgeScale_[lane] = ray.lobe.edgeScale;
        middleScale_[lane] = ray.lobe.middleScale;
        pathSamples_[lane] = ray.pathSamples;
        tablePos_[lane] = ray.tablePos;
        lead_[lane] = kTwoRadii;
    }
    // A lane that reads the input at a fixed delay (the static ray): it sees no
    // mouth (displacement 0, so the delay is `pathSamples` exactly, with or
    // without a lead) and no attenuation is taken from it.
    void loadFixed(int lane, double pathSamples) {
        retard_[lane] = pathSamples;
        angleOffset_[lane] = 0.0;
        sign_[lane] = 0.0;
        const LobeShape shape;
        halfWidth_[lane] = shape.halfWidth;
        edgeScale_[lane] = shape.edgeScale;
        middleScale_[lane] = shape.middleScale;
        pathSamples_[lane] = pathSamples;
        tablePos_[lane] = kFixedTablePos; // read but not used
        lead_[lane] = 0.0;
    }

    // How the delay follows the displacement lambda (clamped at `closest`, which
    // is -infinity for no clamp): lambda fmSamples + path, or with a lead
    // (a cross unit, whose delays count from the microphone: two radii for the
    // rays, none for a fixed lane) (lambda + lead) fmSamples + path.
    struct Shape {
        double closest = -std::numeric_limits<double>::infinity();
        bool lead = false;
    };

    // Where a run puts its values (lane i at [i]).
    struct Out {
        double* lambda;
        double* mu;
        double* input;
        double* attenuation;
    };
    // This sample's values of the first `lanes` lanes (rounded up to a whole
    // register). fmSamples: the mouth's Doppler radius in samples; radius
    // (metres) and tableStepsPerMetre turn a displacement into attenuation-table
    // steps.
    [[gnu::target("avx2,fma")]] void run(const SourceHistory& history,
                                         const AttenuationTable& table, double fmSamples,
                                         double radius, double tableStepsPerMetre,
                                         const Shape& shape, int lanes = N) noexcept {
        runInto(history, table, fmSamples, radius, tableStepsPerMetre, shape, lanes,
                {lambda_, mu_, input_, attenuation_});
    }

    // The same with the values put at `out` (a unit's run of samples keeps every
    // sample's values).
    [[gnu::target("avx2,fma"), gnu::always_inline]] inline void
    runInto(const SourceHistory& history, const AttenuationTable& table, double fmSamples,
            double radius, double tableStepsPerMetre, const Shape& shape, int lanes,
            const Out& out) const noexcept {
        const Constants c(history.writeIndex(), fmSamples, radius, tableStepsPerMetre,
                          shape.closest);
        for (int i = 0; i < lanes && i < N; i += 4)
            runFour<true>(i, history, table, c, shape.lead, out);
    }

    // The values every register of a run shares: all but the write index
    // (w) stay for a whole run of samples.
    struct Constants {
        __m256d w, length, fm, radius, steps, closest, zero;
        __m128i mask;
        [[gnu::target("avx2,fma")]] Constants(int writeIndex, double fmSamples, double radiusMetres,
                                              double tableStepsPerMetre,
                                              double closestLambda) noexcept
            : w(_mm256_set1_pd(static_cast<double>(writeIndex))),
              length(_mm256_set1_pd(SourceHistory::kLength)), fm(_mm256_set1_pd(fmSamples)),
              radius(_mm256_set1_pd(radiusMetres)), steps(_mm256_set1_pd(tableStepsPerMetre)),
              closest(_mm256_set1_pd(closestLambda)), zero(_mm256_setzero_pd()),
              mask(_mm_set1_epi32(SourceHistory::kMask)) {}
        [[gnu::target("avx2,fma"), gnu::always_inline]] inline void
        setWriteIndex(int writeIndex) noexcept {
            w = _mm256_set1_pd(static_cast<double>(writeIndex));
        }
    };

    // runInto with the shape, the lanes and the constants (c, made once for
    // the run from the closest displacement and runInto's other values) fixed
    // for a whole run: Lanes lanes (whole registers), Clamp false for no clamp
    // (closest -infinity: the max against it gives the displacement back, bit
    // for bit, NaN too, so it is left out), Lead for a lead.
    template <int Lanes, bool Clamp, bool Lead>
    [[gnu::target("avx2,fma"), gnu::always_inline]] inline void
    runShaped(const SourceHistory& history, const AttenuationTable& table, Constants& c,
              const Out& out) const noexcept {
        static_assert(Lanes % 4 == 0 && Lanes <= N);
        c.setWriteIndex(history.writeIndex());
        for (int i = 0; i < Lanes; i += 4) runFour<Clamp>(i, history, table, c, Lead, out);
    }

    // Results of the last run, per lane.
    double lambda(int i) const { return lambda_[i]; } // displacement
    double mu(int i) const { return mu_[i]; }         // lobe phase, radians
    double input(int i) const { return input_[i]; }
    double attenuation(int i) const { return attenuation_[i]; } // before the room factor
    const double* inputs() const { return input_; }
    const double* lambdas() const { return lambda_; }
    const double* mus() const { return mu_; }
    const double* attenuations() const { return attenuation_; }

private:
    template <bool Clamp>
    [[gnu::target("avx2,fma"), gnu::always_inline]] inline void
    runFour(int i, const SourceHistory& history, const AttenuationTable& table, const Constants& c,
            bool withLead, const Out& out) const noexcept {
        // The retarded angle relative to the ray, in [0, 1).
        const __m128i at = _mm_and_si128(
            _mm256_cvttpd_epi32(_mm256_add_pd(_mm256_sub_pd(c.w, load(retard_ + i)), c.length)),
            c.mask);
        const __m256d theta =
            fractions(_mm256_sub_pd(pick(history.angles(), at), load(angleOffset_ + i)));

        __m256d lambda, mu;
        lobes(i, theta, lambda, mu);
        if (Clamp) lambda = _mm256_max_pd(c.closest, lambda);
        const __m256d lead = withLead ? _mm256_add_pd(lambda, load(lead_ + i)) : lambda;
        const __m256d delay = _mm256_fmadd_pd(lead, c.fm, load(pathSamples_ + i));
        const __m256d tableAt =
            _mm256_fmadd_pd(_mm256_mul_pd(lambda, c.radius), c.steps, load(tablePos_ + i));
        _mm256_store_pd(out.lambda + i, lambda);
        _mm256_store_pd(out.mu + i, mu);

        // The input delayed: readCubic's position, neighbours and fraction.
        __m256d position = _mm256_sub_pd(c.w, delay);
        position = _mm256_blendv_pd(position, _mm256_add_pd(position, c.length),
                                    _mm256_cmp_pd(position, c.zero, _CMP_LT_OQ));
        const __m256d inside = _mm256_and_pd(_mm256_cmp_pd(position, c.zero, _CMP_GE_OQ),
                                             _mm256_cmp_pd(position, c.length, _CMP_LT_OQ));
        if (_mm256_movemask_pd(inside) != 0xF)
            position = wide_rays::wrapped(position, SourceHistory::kLength);
        const __m128i whole = _mm256_cvttpd_epi32(position);
        const __m128i k =
            _mm_and_si128(_mm_add_epi32(whole, _mm_set1_epi32(SourceHistory::kLength - 1)), c.mask);
        const __m256d t = _mm256_sub_pd(position, _mm256_cvtepi32_pd(whole));
        // Each lane's four neighbours lie side by side (the history keeps a copy
        // past its end): one load per lane, turned into one register per
        // neighbour.
        __m256d p0, p1, p2, p3;
        wide_rays::neighbours(history.inputs(), k, p0, p1, p2, p3);
        _mm256_store_pd(out.input + i, wide_rays::catmullRom(t, p0, p1, p2, p3));

        _mm256_store_pd(out.attenuation + i, lookup(table, tableAt));
    }

    // fractionOf: x - floor(x) is its value for every x (also out of the int
    // range and NaN; only a zero's sign may differ, which the lobe does not see).
    [[gnu::target("avx2,fma"), gnu::always_inline]] static inline __m256d
    fractions(__m256d x) noexcept {
        return _mm256_sub_pd(x, _mm256_floor_pd(x));
    }

    // lobePoint for four lanes.
    [[gnu::target("avx2,fma"), gnu::always_inline]] inline void
    lobes(int i, __m256d theta, __m256d& lambdaOut, __m256d& muOut) const noexcept {
        wide_rays::lobePoints(theta, load(halfWidth_ + i), load(sign_ + i), load(edgeScale_ + i),
                              load(middleScale_ + i), lambdaOut, muOut);
    }

    // lookupCubic for four positions. Inside the table (an entry on either side
    // of the two around the position) the neighbours lie side by side; near or
    // beyond either end the lanes go one at a time (beyond an end lookupCubic
    // gives the end entry).
    [[gnu::target("avx2,fma"), gnu::always_inline]] static inline __m256d
    lookup(const AttenuationTable& table, __m256d position) noexcept {
        constexpr int kLast = cabinet::kAttenuationLast;
        const __m256d inside =
            _mm256_and_pd(_mm256_cmp_pd(position, _mm256_set1_pd(1.0), _CMP_GE_OQ),
                          _mm256_cmp_pd(position, _mm256_set1_pd(kLast - 1), _CMP_LT_OQ));
        if (_mm256_movemask_pd(inside) != 0xF) return lookupNearEnds(table, position);
        const __m128i k = _mm256_cvttpd_epi32(position);
        const __m256d t = _mm256_sub_pd(position, _mm256_cvtepi32_pd(k));
        __m256d p0, p1, p2, p3;
        wide_rays::neighbours(table.values().data(), _mm_sub_epi32(k, _mm_set1_epi32(1)), p0, p1,
                              p2, p3);
        return wide_rays::catmullRom(t, p0, p1, p2, p3);
    }
    [[gnu::target("avx2,fma"), gnu::noinline]] static __m256d
    lookupNearEnds(const AttenuationTable& table, __m256d position) noexcept {
        alignas(32) double v[4];
        _mm256_store_pd(v, position);
        for (double& x : v) x = table.atPosition(x);
        return _mm256_load_pd(v);
    }

    // base[index] for each lane. The indices are masked into the history, never
    // negative: read unsigned, they need no sign extension.
    [[gnu::target("avx2,fma"), gnu::always_inline]] static inline __m256d
    pick(const double* base, __m128i index) noexcept {
        const uint32_t i0 = static_cast<uint32_t>(_mm_cvtsi128_si32(index));
        const uint32_t i1 = static_cast<uint32_t>(_mm_extract_epi32(index, 1));
        const uint32_t i2 = static_cast<uint32_t>(_mm_extract_epi32(index, 2));
        const uint32_t i3 = static_cast<uint32_t>(_mm_extract_epi32(index, 3));
        const __m128d lo = _mm_loadh_pd(_mm_load_sd(base + i0), base + i1);
        const __m128d hi = _mm_loadh_pd(_mm_load_sd(base + i2), base + i3);
        return _mm256_insertf128_pd(_mm256_castpd128_pd256(lo), hi, 1);
    }

    [[gnu::target("avx2,fma"), gnu::always_inline]] static inline __m256d
    load(const double* p) noexcept {
        return _mm256_load_pd(p);
    }

    static constexpr double kTwoRadii = 2.0; // a cross unit's lead
    // Inside the attenuation table, so a fixed lane never sends a run to the
    // one-lane-at-a-time lookup.
    static constexpr double kFixedTablePos = 1.0;

    // Per lane, from the geometry and the rate.
    alignas(32) double retard_[N]{};
    alignas(32) double angleOffset_[N]{};
    alignas(32) double sign_[N]{};
    alignas(32) double halfWidth_[N]{};
    alignas(32) double edgeScale_[N]{};
    alignas(32) double middleScale_[N]{};
    alignas(32) double pathSamples_[N]{};
    alignas(32) double tablePos_[N]{};
    alignas(32) double lead_[N]{};
    // Per sample.
    alignas(32) double lambda_[N]{};
    alignas(32) double mu_[N]{};
    alignas(32) double input_[N]{};
    alignas(32) double attenuation_[N]{};
};

} // namespace zel
