// A drum unit's rays up to their directivity filters on AVX2: the main unit's
// eight lanes in one register of single precision, the cross unit's four in
// one of double (single precision would only fill half a register there): for each ray where it
// sees the mouth (the retarded angle and the lobe), the input delayed by the ray's Doppler delay
// and the distance attenuation. Every step runs on whole registers, the reads of the angle, input
// and attenuation neighbours too (each lane's four neighbours in one load, transposed into place),
// so a ray costs a fraction of what its one-ray code costs.
//
// Each value takes the same steps as the one-ray code (RayTrack::lobeNow,
// SourceHistory::inputBefore, AttenuationTable::atPosition, and RayBatch, which
// runs them two rays to an SSE2 register), with each multiply fused into the
// add after it (WideRayMath for four lanes of double: the results agree to a few
// units in the last place). For eight lanes, what needs more than single
// precision stays in double: the retarded angle up to its distances from the
// lobe's edges, and the delayed read's whole ring position (a ray's path in
// whole samples, counted in integers; single precision carries only the
// fraction and the Doppler part, which stay within a few dozen samples). The
// rest (the lobe, the Catmull-Rom sums, the attenuation) runs in single
// precision with fused multiplies (DrumLaneMath): the values agree with the
// one-ray code to a few parts in 10^7. Only processors with AVX2 run it
// (cpuHasAvx2); the units fall back on the one-ray code and RayBatch
// elsewhere. Lanes beyond a unit's rays run copies of a real ray, so they never
// produce values that slow the arithmetic down. Audio-thread object.
#pragma once

#include "engine/AttenuationTable.h"
#include "engine/DrumLaneMath.h"
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
    static_assert(N % 8 == 0, "rays go eight to a register of single precision");
    static constexpr int kLanes = N;

    // A ray's geometry and rate terms, taken again whenever they change.
    void load(int lane, const RayTrack& ray) {
        retard_[lane] = ray.retardSamples;
        angleOffset_[lane] = ray.path.angle * ray.path.sign;
        loadLobe(lane, ray.lobe, ray.path.sign);
        pathSamples_[lane] = ray.pathSamples;
        tablePos_[lane] = ray.tablePos;
        tablePosF_[lane] = static_cast<float>(ray.tablePos);
        lead_[lane] = kTwoRadii;
    }
    // A lane that reads the input at a fixed delay (the static ray): it sees no
    // mouth (displacement 0, so the delay is `pathSamples` exactly, with or
    // without a lead) and no attenuation is taken from it.
    void loadFixed(int lane, double pathSamples) {
        retard_[lane] = pathSamples;
        angleOffset_[lane] = 0.0;
        loadLobe(lane, LobeShape{}, 0.0);
        pathSamples_[lane] = pathSamples;
        tablePos_[lane] = kFixedTablePos; // read but not used
        tablePosF_[lane] = static_cast<float>(kFixedTablePos);
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

    // The values every register of a run shares: all but the write index
    // stay for a whole run of samples. Made from the lanes as loaded, the
    // shape and runInto's other values.
    struct Constants {
        // The write index (as a double for the retarded angle, as integers for
        // the delayed read) and the ring's length and mask.
        __m256d w, length;
        __m128i mask;
        __m256i wInt, maskInt;
        // Four lanes of double: the Doppler scale, the radius, the table steps
        // per metre, the clamp and zero.
        __m256d fmWide, radius, steps, closestWide, zero;
        // Eight lanes of single precision: the Doppler scale, the
        // displacement's scale in table steps, the clamp.
        __m256 fm, tableScale, closest;
        // Per register of lanes: each lane's delay without the displacement
        // (path and lead) as its whole samples plus one and the fraction left.
        __m256i wholePlusOne[N / 8];
        __m256 fraction[N / 8];
        [[gnu::target("avx2,fma")]] Constants(const DrumRayLanes& lanes, int writeIndex,
                                              double fmSamples, double radiusMetres,
                                              double tableStepsPerMetre,
                                              const Shape& shape) noexcept
            : w(_mm256_set1_pd(static_cast<double>(writeIndex))),
              length(_mm256_set1_pd(SourceHistory::kLength)),
              mask(_mm_set1_epi32(SourceHistory::kMask)), wInt(_mm256_set1_epi32(writeIndex)),
              maskInt(_mm256_set1_epi32(SourceHistory::kMask)), fmWide(_mm256_set1_pd(fmSamples)),
              radius(_mm256_set1_pd(radiusMetres)), steps(_mm256_set1_pd(tableStepsPerMetre)),
              closestWide(_mm256_set1_pd(shape.closest)), zero(_mm256_setzero_pd()),
              fm(_mm256_set1_ps(static_cast<float>(fmSamples))),
              tableScale(_mm256_set1_ps(static_cast<float>(radiusMetres * tableStepsPerMetre))),
              closest(_mm256_set1_ps(static_cast<float>(shape.closest))) {
            alignas(32) int32_t whole[N];
            alignas(32) float fraction8[N];
            for (int i = 0; i < N; ++i) {
                // Far beyond the ring (or not a number) the read's place does
                // not matter, only that it stays inside: the masks see to that.
                double delay =
                    lanes.pathSamples_[i] + (shape.lead ? lanes.lead_[i] * fmSamples : 0.0);
                if (!(std::fabs(delay) < kFarDelay)) delay = 0.0;
                const double floor = std::floor(delay);
                whole[i] = static_cast<int32_t>(floor) + 1;
                fraction8[i] = static_cast<float>(delay - floor);
            }
            for (int r = 0; r < N / 8; ++r) {
                wholePlusOne[r] =
                    _mm256_load_si256(reinterpret_cast<const __m256i*>(whole + 8 * r));
                fraction[r] = _mm256_load_ps(fraction8 + 8 * r);
            }
        }
        [[gnu::target("avx2,fma"), gnu::always_inline]] inline void
        setWriteIndex(int writeIndex) noexcept {
            w = _mm256_set1_pd(static_cast<double>(writeIndex));
            wInt = _mm256_set1_epi32(writeIndex);
        }
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
        const Constants c(*this, history.writeIndex(), fmSamples, radius, tableStepsPerMetre,
                          shape);
        if (lanes <= 4) {
            runFour<true>(0, history, table, c, shape.lead, out);
            return;
        }
        for (int i = 0; i < lanes && i < N; i += 8) runEight<true>(i, history, table, c, out);
    }

    // runInto with the shape, the lanes and the constants (c, made once for
    // the run with the same shape) fixed for a whole run: Lanes lanes (four, or
    // whole registers of eight), Clamp false for no clamp (closest -infinity:
    // the max against it gives the displacement back, bit for bit, NaN too, so
    // it is left out), Lead for a lead.
    template <int Lanes, bool Clamp, bool Lead>
    [[gnu::target("avx2,fma"), gnu::always_inline]] inline void
    runShaped(const SourceHistory& history, const AttenuationTable& table, Constants& c,
              const Out& out) const noexcept {
        static_assert((Lanes == 4 || Lanes % 8 == 0) && Lanes <= N);
        c.setWriteIndex(history.writeIndex());
        if constexpr (Lanes == 4)
            runFour<Clamp>(0, history, table, c, Lead, out);
        else
            for (int i = 0; i < Lanes; i += 8) runEight<Clamp>(i, history, table, c, out);
    }

    // runShaped in three passes over a run of samples, each pass's work on a
    // sample a shorter chain of steps, so the processor overlaps more samples
    // of it. angleShaped takes the sample's retarded angles (the angles written
    // up to writeIndex, inputs not needed) and keeps them at `reads`;
    // placeShaped takes the lobes from them and keeps where the delayed reads
    // and attenuation lookups go; readShaped takes those, the inputs written up
    // to the same write index. The values are runShaped's, to the bit. `odd` is
    // set where a read's place did not come the usual way (a displacement that
    // is not a number, a place beyond the ring's ends): readsStayBehind's
    // promise does not hold for it.
    union SampleReads;
    template <int Lanes>
    [[gnu::target("avx2,fma"), gnu::always_inline]] inline void
    angleShaped(const SourceHistory& history, Constants& c, int writeIndex,
                SampleReads& reads) const noexcept {
        static_assert((Lanes == 4 || Lanes % 8 == 0) && Lanes <= N);
        c.setWriteIndex(writeIndex);
        if constexpr (Lanes == 4)
            reads.four.theta = thetaFour(0, history, c);
        else
            for (int i = 0; i < Lanes; i += 8)
                edgeDistances(i, history, c, reads.eight[i / 8].rise, reads.eight[i / 8].fall);
    }
    template <int Lanes, bool Clamp, bool Lead>
    [[gnu::target("avx2,fma"), gnu::always_inline]] inline void
    placeShaped(Constants& c, int writeIndex, const Out& out, SampleReads& reads,
                bool& odd) const noexcept {
        static_assert((Lanes == 4 || Lanes % 8 == 0) && Lanes <= N);
        c.setWriteIndex(writeIndex);
        if constexpr (Lanes == 4) {
            placeFour<Clamp>(0, reads.four.theta, c, Lead, out, reads.four, odd);
        } else {
            for (int i = 0; i < Lanes; i += 8) {
                EightReads& r = reads.eight[i / 8];
                placeEight<Clamp>(i, r.rise, r.fall, c, out, r, odd);
            }
        }
    }
    // Whether the first `lanes` lanes' delayed reads (their four neighbours)
    // lie at least kBehind samples before the write index and inside the ring,
    // whatever the mouth's displacement (at most a radius either way; a fixed
    // lane has none), for the Doppler radius fmSamples and the shape's lead.
    // Where they do, a run may write its inputs before it reads any
    // (placeShaped's odd places aside): no read looks at a sample written after
    // its own. A fixed lane at a whole number of samples (a cross unit's static
    // ray, measured from the microphone: none) reads at its place exactly; the
    // two neighbours past it weigh nothing (its fraction is exactly zero), so
    // it may be that close.
    bool readsStayBehind(double fmSamples, const Shape& shape, int lanes) const noexcept {
        const double swing = std::fabs(fmSamples) * kDisplacementBound;
        for (int i = 0; i < lanes && i < N; ++i) {
            const double delay = pathSamples_[i] + (shape.lead ? lead_[i] * fmSamples : 0.0);
            const bool fixed = sign_[i] == 0.0; // no displacement: no swing
            const double reach = fixed ? 0.0 : swing;
            const bool whole = fixed && delay >= 0.0 && delay == std::floor(delay);
            if (!((whole || delay - reach >= kBehind) &&
                  delay + reach <= SourceHistory::kLength - kBehind))
                return false;
        }
        return true;
    }
    // readsStayBehind's margin: readCubic's neighbours reach two samples past
    // the delayed place's floor, and single precision's rounding of the place
    // moves it by far less than the rest.
    static constexpr double kBehind = 4.0;
    template <int Lanes>
    [[gnu::target("avx2,fma"), gnu::always_inline]] static inline void
    readShaped(const SourceHistory& history, const AttenuationTable& table,
               const SampleReads& reads, const Out& out) noexcept {
        static_assert((Lanes == 4 || Lanes % 8 == 0) && Lanes <= N);
        if constexpr (Lanes == 4)
            readFour(0, history, table, reads.four, out);
        else
            for (int i = 0; i < Lanes; i += 8)
                readEight(i, history, table, reads.eight[i / 8], out);
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
    void loadLobe(int lane, const LobeShape& shape, double sign) {
        halfWidth_[lane] = shape.halfWidth;
        fallStart_[lane] = 1 - shape.halfWidth;
        sign_[lane] = sign;
        edgeScale_[lane] = shape.edgeScale;
        middleScale_[lane] = shape.middleScale;
        signF_[lane] = static_cast<float>(sign);
        edgeScaleF_[lane] = static_cast<float>(shape.edgeScale);
        middleScaleF_[lane] = static_cast<float>(shape.middleScale);
    }

    // Four lanes of double.
    template <bool Clamp>
    [[gnu::target("avx2,fma"), gnu::always_inline]] inline void
    runFour(int i, const SourceHistory& history, const AttenuationTable& table, const Constants& c,
            bool withLead, const Out& out) const noexcept {
        FourReads reads;
        bool wrapped = false;
        placeFour<Clamp>(i, thetaFour(i, history, c), c, withLead, out, reads, wrapped);
        readFour(i, history, table, reads, out);
    }

    // runFour's values between its steps (a run's passes keep them).
    struct FourReads {
        __m256d theta;      // the retarded angle relative to the ray
        __m256d t, tableAt; // the delayed read's fraction, the table's position
        __m128i k;          // the delayed read's first neighbour
    };
    // The first step: the retarded angle relative to the ray, in [0, 1).
    [[gnu::target("avx2,fma"), gnu::always_inline]] inline __m256d
    thetaFour(int i, const SourceHistory& history, const Constants& c) const noexcept {
        const __m128i at = _mm_and_si128(
            _mm256_cvttpd_epi32(_mm256_add_pd(_mm256_sub_pd(c.w, load(retard_ + i)), c.length)),
            c.mask);
        return fractions(_mm256_sub_pd(pick(history.angles(), at), load(angleOffset_ + i)));
    }
    // The second: from the angle to the delayed read's place and the
    // attenuation table's position.
    template <bool Clamp>
    [[gnu::target("avx2,fma"), gnu::always_inline]] inline void
    placeFour(int i, __m256d theta, const Constants& c, bool withLead, const Out& out,
              FourReads& reads, bool& wrapped) const noexcept {
        __m256d lambda, mu;
        lobes(i, theta, lambda, mu);
        if (Clamp) lambda = _mm256_max_pd(c.closestWide, lambda);
        const __m256d lead = withLead ? _mm256_add_pd(lambda, load(lead_ + i)) : lambda;
        const __m256d delay = _mm256_fmadd_pd(lead, c.fmWide, load(pathSamples_ + i));
        reads.tableAt =
            _mm256_fmadd_pd(_mm256_mul_pd(lambda, c.radius), c.steps, load(tablePos_ + i));
        _mm256_store_pd(out.lambda + i, lambda);
        _mm256_store_pd(out.mu + i, mu);

        // The input delayed: readCubic's position, neighbours and fraction.
        __m256d position = _mm256_sub_pd(c.w, delay);
        position = _mm256_blendv_pd(position, _mm256_add_pd(position, c.length),
                                    _mm256_cmp_pd(position, c.zero, _CMP_LT_OQ));
        const __m256d inside = _mm256_and_pd(_mm256_cmp_pd(position, c.zero, _CMP_GE_OQ),
                                             _mm256_cmp_pd(position, c.length, _CMP_LT_OQ));
        if (_mm256_movemask_pd(inside) != 0xF) [[unlikely]] {
            wrapped = true;
            position = wide_rays::wrapped(position, SourceHistory::kLength);
        }
        const __m128i whole = _mm256_cvttpd_epi32(position);
        reads.k =
            _mm_and_si128(_mm_add_epi32(whole, _mm_set1_epi32(SourceHistory::kLength - 1)), c.mask);
        reads.t = _mm256_sub_pd(position, _mm256_cvtepi32_pd(whole));
    }

    // The second half: the delayed input and the attenuation.
    [[gnu::target("avx2,fma"), gnu::always_inline]] static inline void
    readFour(int i, const SourceHistory& history, const AttenuationTable& table,
             const FourReads& reads, const Out& out) noexcept {
        // Each lane's four neighbours lie side by side (the history keeps a copy
        // past its end): one load per lane, turned into one register per
        // neighbour.
        __m256d p0, p1, p2, p3;
        wide_rays::neighbours(history.inputs(), reads.k, p0, p1, p2, p3);
        _mm256_store_pd(out.input + i, wide_rays::catmullRom(reads.t, p0, p1, p2, p3));

        _mm256_store_pd(out.attenuation + i, lookupWide(table, reads.tableAt));
    }

    // lobePoint for four lanes.
    [[gnu::target("avx2,fma"), gnu::always_inline]] inline void
    lobes(int i, __m256d theta, __m256d& lambdaOut, __m256d& muOut) const noexcept {
        wide_rays::lobePoints(theta, load(halfWidth_ + i), load(sign_ + i), load(edgeScale_ + i),
                              load(middleScale_ + i), lambdaOut, muOut);
    }

    // lookupCubic for four positions of double. Inside the table (an entry on either side
    // of the two around the position) the neighbours lie side by side; near or
    // beyond either end the lanes go one at a time (beyond an end lookupCubic
    // gives the end entry).
    [[gnu::target("avx2,fma"), gnu::always_inline]] static inline __m256d
    lookupWide(const AttenuationTable& table, __m256d position) noexcept {
        constexpr int kLast = cabinet::kAttenuationLast;
        const __m256d inside =
            _mm256_and_pd(_mm256_cmp_pd(position, _mm256_set1_pd(1.0), _CMP_GE_OQ),
                          _mm256_cmp_pd(position, _mm256_set1_pd(kLast - 1), _CMP_LT_OQ));
        if (_mm256_movemask_pd(inside) != 0xF) return lookupNearEndsWide(table, position);
        const __m128i k = _mm256_cvttpd_epi32(position);
        const __m256d t = _mm256_sub_pd(position, _mm256_cvtepi32_pd(k));
        __m256d p0, p1, p2, p3;
        wide_rays::neighbours(table.values().data(), _mm_sub_epi32(k, _mm_set1_epi32(1)), p0, p1,
                              p2, p3);
        return wide_rays::catmullRom(t, p0, p1, p2, p3);
    }
    [[gnu::target("avx2,fma"), gnu::noinline]] static __m256d
    lookupNearEndsWide(const AttenuationTable& table, __m256d position) noexcept {
        alignas(32) double v[4];
        _mm256_store_pd(v, position);
        for (double& x : v) x = table.atPosition(x);
        return _mm256_load_pd(v);
    }

    // Eight lanes of single precision.
    template <bool Clamp>
    [[gnu::target("avx2,fma"), gnu::always_inline]] inline void
    runEight(int i, const SourceHistory& history, const AttenuationTable& table, const Constants& c,
             const Out& out) const noexcept {
        EightReads reads;
        bool lost = false;
        edgeDistances(i, history, c, reads.rise, reads.fall);
        placeEight<Clamp>(i, reads.rise, reads.fall, c, out, reads, lost);
        readEight(i, history, table, reads, out);
    }

    // runEight's values between its steps (a run's passes keep them). The
    // first step is edgeDistances.
    struct EightReads {
        __m256 rise, fall; // the retarded angle's distances to the edges
        __m256 t, tableAt; // the delayed read's fraction, the table's position
        __m256i k;         // the delayed read's first neighbour
    };
    // The second: from the edges' distances to the delayed read's place and
    // the attenuation table's position.
    template <bool Clamp>
    [[gnu::target("avx2,fma"), gnu::always_inline]] inline void
    placeEight(int i, __m256 rise, __m256 fall, const Constants& c, const Out& out,
               EightReads& reads, bool& lost) const noexcept {
        __m256 lambda, mu;
        drum_lanes::lobePoints(rise, fall, loadF(signF_ + i), loadF(edgeScaleF_ + i),
                               loadF(middleScaleF_ + i), lambda, mu);
        if (Clamp) lambda = _mm256_max_ps(c.closest, lambda);
        reads.tableAt = _mm256_fmadd_ps(lambda, c.tableScale, loadF(tablePosF_ + i));
        drum_lanes::storeWide(out.lambda + i, lambda);
        drum_lanes::storeWide(out.mu + i, mu);

        // The input delayed: the ring position w - delay is (w - whole) + back,
        // back = -(lambda fm + fraction) within a few dozen samples of zero;
        // readCubic's neighbours start a sample before its floor.
        const int r = i / 8;
        const __m256 back = _mm256_fnmsub_ps(lambda, c.fm, c.fraction[r]);
        const __m256 backFloor = _mm256_floor_ps(back);
        __m256 t = _mm256_sub_ps(back, backFloor);
        __m256i k = _mm256_and_si256(_mm256_add_epi32(_mm256_sub_epi32(c.wInt, c.wholePlusOne[r]),
                                                      _mm256_cvtps_epi32(backFloor)),
                                     c.maskInt);
        // A displacement that is not a number (from an angle that was not one)
        // reads where readCubic puts any such position: at ring position 0.
        const __m256 notNumber = _mm256_cmp_ps(back, back, _CMP_UNORD_Q);
        if (_mm256_movemask_ps(notNumber) != 0) [[unlikely]] {
            lost = true;
            t = _mm256_andnot_ps(notNumber, t);
            k = _mm256_blendv_epi8(k, c.maskInt, _mm256_castps_si256(notNumber));
        }
        reads.t = t;
        reads.k = k;
    }

    // The second half: the delayed input and the attenuation.
    [[gnu::target("avx2,fma"), gnu::always_inline]] static inline void
    readEight(int i, const SourceHistory& history, const AttenuationTable& table,
              const EightReads& reads, const Out& out) noexcept {
        // Each lane's four neighbours lie side by side in the history's copy in
        // single precision (it keeps a copy past its end): one load per lane,
        // turned into one register per neighbour.
        __m256 p0, p1, p2, p3;
        float_rays::neighbours(history.inputsSingle(), reads.k, p0, p1, p2, p3);
        drum_lanes::storeWide(out.input + i, float_rays::catmullRom(reads.t, p0, p1, p2, p3));

        drum_lanes::storeWide(out.attenuation + i, lookup(table, reads.tableAt));
    }

    // For eight lanes, the retarded angle relative to the ray (theta in [0, 1),
    // in double) as its distances to the rising edge's end and the falling
    // edge's start, rounded to single precision.
    [[gnu::target("avx2,fma"), gnu::always_inline]] inline void
    edgeDistances(int i, const SourceHistory& history, const Constants& c, __m256& rise,
                  __m256& fall) const noexcept {
        __m128 riseHalf[2], fallHalf[2];
        for (int h = 0; h < 2; ++h) {
            const int at = i + 4 * h;
            const __m128i index =
                _mm_and_si128(_mm256_cvttpd_epi32(_mm256_add_pd(
                                  _mm256_sub_pd(c.w, _mm256_load_pd(retard_ + at)), c.length)),
                              c.mask);
            const __m256d theta = fractions(
                _mm256_sub_pd(pick(history.angles(), index), _mm256_load_pd(angleOffset_ + at)));
            riseHalf[h] = _mm256_cvtpd_ps(_mm256_sub_pd(theta, _mm256_load_pd(halfWidth_ + at)));
            fallHalf[h] = _mm256_cvtpd_ps(_mm256_sub_pd(theta, _mm256_load_pd(fallStart_ + at)));
        }
        rise = _mm256_insertf128_ps(_mm256_castps128_ps256(riseHalf[0]), riseHalf[1], 1);
        fall = _mm256_insertf128_ps(_mm256_castps128_ps256(fallHalf[0]), fallHalf[1], 1);
    }

    // fractionOf: x - floor(x) is its value for every x (also out of the int
    // range and NaN; only a zero's sign may differ, which the lobe does not see).
    [[gnu::target("avx2,fma"), gnu::always_inline]] static inline __m256d
    fractions(__m256d x) noexcept {
        return _mm256_sub_pd(x, _mm256_floor_pd(x));
    }

    // lookupCubic for eight positions. Inside the table (an entry on either side
    // of the two around the position) the neighbours lie side by side; near or
    // beyond either end the lanes go one at a time (beyond an end lookupCubic
    // gives the end entry).
    [[gnu::target("avx2,fma"), gnu::always_inline]] static inline __m256
    lookup(const AttenuationTable& table, __m256 position) noexcept {
        constexpr int kLast = cabinet::kAttenuationLast;
        const __m256 inside =
            _mm256_and_ps(_mm256_cmp_ps(position, _mm256_set1_ps(1.0f), _CMP_GE_OQ),
                          _mm256_cmp_ps(position, _mm256_set1_ps(kLast - 1), _CMP_LT_OQ));
        if (_mm256_movemask_ps(inside) != 0xFF) return lookupNearEnds(table, position);
        const __m256i k = _mm256_cvttps_epi32(position);
        const __m256 t = _mm256_sub_ps(position, _mm256_cvtepi32_ps(k));
        // Entries k - 1 to k + 2, from the table's copy in single precision.
        __m256 p0, p1, p2, p3;
        float_rays::neighbours(table.clampedNeighboursSingle(), k, p0, p1, p2, p3);
        return float_rays::catmullRom(t, p0, p1, p2, p3);
    }
    [[gnu::target("avx2,fma"), gnu::noinline]] static __m256
    lookupNearEnds(const AttenuationTable& table, __m256 position) noexcept {
        alignas(32) float v[8];
        _mm256_store_ps(v, position);
        for (float& x : v) x = static_cast<float>(table.atPosition(x));
        return _mm256_load_ps(v);
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
    [[gnu::target("avx2,fma"), gnu::always_inline]] static inline __m256
    loadF(const float* p) noexcept {
        return _mm256_load_ps(p);
    }

    static constexpr double kTwoRadii = 2.0; // a cross unit's lead
    // A displacement is the lobe's sine (times a sign), at most 1 in size; in
    // single precision it may come out a few units in the last place above.
    static constexpr double kDisplacementBound = 1.0 + 1e-3;
    // Inside the attenuation table, so a fixed lane never sends a run to the
    // one-lane-at-a-time lookup.
    static constexpr double kFixedTablePos = 1.0;
    // Delays beyond this many samples (far past the ring) read from anywhere in it.
    static constexpr double kFarDelay = 1e9;

    // Per lane, from the geometry and the rate; in single precision (F) what
    // eight lanes take so.
    alignas(32) double retard_[N]{};
    alignas(32) double angleOffset_[N]{};
    alignas(32) double sign_[N]{};
    alignas(32) double halfWidth_[N]{};
    alignas(32) double fallStart_[N]{}; // 1 - halfWidth
    alignas(32) double edgeScale_[N]{};
    alignas(32) double middleScale_[N]{};
    alignas(32) double pathSamples_[N]{};
    alignas(32) double tablePos_[N]{};
    alignas(32) double lead_[N]{};
    alignas(32) float signF_[N]{};
    alignas(32) float edgeScaleF_[N]{};
    alignas(32) float middleScaleF_[N]{};
    alignas(32) float tablePosF_[N]{};
    // Per sample.
    alignas(32) double lambda_[N]{};
    alignas(32) double mu_[N]{};
    alignas(32) double input_[N]{};
    alignas(32) double attenuation_[N]{};

public:
    // A sample's values between angleShaped, placeShaped and readShaped: a
    // run of four lanes takes the one, of whole registers the other.
    union SampleReads {
        FourReads four;
        EightReads eight[N / 8];
    };
};

} // namespace zel
