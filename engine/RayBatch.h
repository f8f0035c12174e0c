// A rotating unit's rays up to their directivity sections, all rays at once: for
// each ray where it sees the mouth (the retarded angle and the lobe), the input
// delayed by the ray's Doppler delay and the distance attenuation. The values
// live ray by ray in arrays. The reads gather their four neighbours per ray one
// ray at a time; the lobe sines, the delays and the Catmull-Rom sums are plain
// loops over the arrays, which the compiler turns into vector code (two rays to
// a register with SSE2). Every value takes the same operations in the same order
// as a single ray's code (RayTrack::lobeNow, SourceHistory::inputBefore,
// AttenuationTable::atPosition), so the results are the same to the bit.
// Audio-thread object.
#pragma once

#include "engine/AttenuationTable.h"
#include "engine/RayLobe.h"
#include "engine/RayTrack.h"
#include "engine/SourceHistory.h"

#include <algorithm>
#include <emmintrin.h>

namespace zel {

template <int N> class RayBatch {
public:
    static_assert(N % 2 == 0, "rays go two to a register");

    // A ray's geometry and rate terms, taken again whenever they change.
    void load(int i, const RayTrack& ray) {
        retard_[i] = ray.retardSamples;
        angleOffset_[i] = ray.path.angle * ray.path.sign;
        sign_[i] = ray.path.sign;
        halfWidth_[i] = ray.lobe.halfWidth;
        edgeScale_[i] = ray.lobe.edgeScale;
        middleScale_[i] = ray.lobe.middleScale;
        pathSamples_[i] = ray.pathSamples;
        tablePos_[i] = ray.tablePos;
    }

    // This sample's values of every ray. fmSamples: the mouth's Doppler radius in
    // samples; radius (metres) and tableStepsPerMetre turn a displacement into
    // attenuation-table steps; closest: the least displacement the delays and
    // attenuations follow (the drum's mouth comes no closer), -infinity for none.
    void run(const SourceHistory& history, const AttenuationTable& table, double fmSamples,
             double radius, double tableStepsPerMetre, double closest) {
        retardedAngles(history);
        lobes();
        for (int i = 0; i < N; ++i) {
            lambda_[i] = std::max(lambda_[i], closest);
            delay_[i] = lambda_[i] * fmSamples + pathSamples_[i];
            tableAt_[i] = tablePos_[i] + lambda_[i] * radius * tableStepsPerMetre;
        }
        gatherInput(history);
        gatherAttenuation(table);
        for (int i = 0; i < N; ++i) {
            input_[i] = interp_detail::catmullRom(inT_[i], in0_[i], in1_[i], in2_[i], in3_[i]);
            attenuation_[i] =
                interp_detail::catmullRom(atT_[i], at0_[i], at1_[i], at2_[i], at3_[i]);
        }
    }

    // Results of the last run, per ray.
    double lambda(int i) const { return lambda_[i]; } // displacement, at least closest
    double mu(int i) const { return mu_[i]; }         // lobe phase, radians
    double input(int i) const { return input_[i]; }
    double attenuation(int i) const { return attenuation_[i]; } // before the room factor

private:
    // theta: each ray's retarded angle relative to the ray, in [0, 1).
    void retardedAngles(const SourceHistory& history) {
        const double* angles = history.angles();
        const double w = history.writeIndex();
        for (int i = 0; i < N; ++i) {
            const int at =
                static_cast<int>(w - retard_[i] + SourceHistory::kLength) & SourceHistory::kMask;
            theta_[i] = fractionOf(angles[at] - angleOffset_[i]);
        }
    }

    // lobePoint for every ray, two rays to an SSE2 register: each stretch's
    // phase is computed for both rays and each ray's stretch picked by a mask.
    // (Written out because the compiler keeps such a loop scalar: it will not
    // compute the stretches the branches leave out.)
    void lobes() {
        const __m128d one = _mm_set1_pd(1.0);
        const __m128d pi = _mm_set1_pd(kPi);
        const __m128d halfPi = _mm_set1_pd(kPi / 2);
        const __m128d negative = _mm_set1_pd(-0.0);
        for (int i = 0; i < N; i += 2) {
            const __m128d theta = _mm_load_pd(theta_ + i);
            const __m128d hw = _mm_load_pd(halfWidth_ + i);
            const __m128d sign = _mm_load_pd(sign_ + i);
            const __m128d edge = _mm_load_pd(edgeScale_ + i);
            // The two edge stretches never overlap: the half-width is at most a
            // quarter turn.
            const __m128d rising = _mm_cmple_pd(theta, hw);
            const __m128d falling = _mm_cmpge_pd(theta, _mm_sub_pd(one, hw));
            const __m128d muRising = _mm_mul_pd(_mm_sub_pd(theta, hw), edge);
            const __m128d muFalling = _mm_mul_pd(_mm_sub_pd(theta, _mm_sub_pd(one, hw)), edge);
            const __m128d muMiddle =
                _mm_mul_pd(_mm_sub_pd(theta, hw), _mm_load_pd(middleScale_ + i));
            const __m128d mu = select(rising, muRising, select(falling, muFalling, muMiddle));
            const __m128d x = select(_mm_cmpgt_pd(mu, halfPi), _mm_sub_pd(pi, mu), mu);
            const __m128d lambda = _mm_mul_pd(lobeSineSeries(x), sign);
            const __m128d muSigned = _mm_mul_pd(mu, sign);
            _mm_store_pd(lambda_ + i, _mm_xor_pd(lambda, _mm_and_pd(falling, negative)));
            _mm_store_pd(mu_ + i, select(falling, _mm_sub_pd(muSigned, pi), muSigned));
        }
    }

    // a where mask is set, b elsewhere.
    static __m128d select(__m128d mask, __m128d a, __m128d b) {
        return _mm_or_pd(_mm_and_pd(mask, a), _mm_andnot_pd(mask, b));
    }

    // lobeSineFolded, two values at once, with the same operations in the same
    // order.
    static __m128d lobeSineSeries(__m128d x) {
        const __m128d x2 = _mm_mul_pd(x, x);
        __m128d sum = _mm_set1_pd(kLobeSineSeries[7]);
        for (int n = 6; n >= 0; --n)
            sum = _mm_add_pd(_mm_mul_pd(sum, x2), _mm_set1_pd(kLobeSineSeries[n]));
        return _mm_add_pd(x, _mm_mul_pd(_mm_mul_pd(x, x2), sum));
    }

    // readCubic's neighbours and fraction for each ray's delayed input.
    void gatherInput(const SourceHistory& history) {
        const double* buffer = history.inputs();
        constexpr int kLength = SourceHistory::kLength;
        const double len = kLength;
        const double w = history.writeIndex();
        for (int i = 0; i < N; ++i) {
            double position = w - delay_[i];
            if (position < 0.0) position += len;
            if (!(position >= 0.0 && position < len))
                position = interp_detail::wrapInto(position, len);
            const int whole = static_cast<int>(position);
            // whole lies in [0, kLength): the ring index needs no signed remainder.
            const int k = (kLength + whole - 1) & SourceHistory::kMask;
            inT_[i] = position - whole;
            in0_[i] = buffer[k];
            in1_[i] = buffer[k + 1];
            in2_[i] = buffer[k + 2];
            in3_[i] = buffer[k + 3];
        }
    }

    // lookupCubic's neighbours and fraction for each ray's attenuation. Beyond
    // either end all four neighbours are the end entry and the fraction is 0,
    // which makes the Catmull-Rom sum that entry exactly.
    void gatherAttenuation(const AttenuationTable& table) {
        const double* values = table.values().data();
        constexpr int kLast = cabinet::kAttenuationLast;
        for (int i = 0; i < N; ++i) {
            const double position = tableAt_[i];
            if (!(position > 0.0) || position >= static_cast<double>(kLast)) {
                const double end =
                    position >= static_cast<double>(kLast) ? values[kLast] : values[0];
                atT_[i] = 0.0;
                at0_[i] = at1_[i] = at2_[i] = at3_[i] = end;
                continue;
            }
            const int k = static_cast<int>(position);
            atT_[i] = position - k;
            at0_[i] = values[std::max(k - 1, 0)];
            at1_[i] = values[k];
            at2_[i] = values[std::min(k + 1, kLast)];
            at3_[i] = k + 2 <= kLast ? values[k + 2] : values[k + 1];
        }
    }

    // Per ray, from the geometry and the rate.
    alignas(32) double retard_[N]{};
    alignas(32) double angleOffset_[N]{};
    alignas(32) double sign_[N]{};
    alignas(32) double halfWidth_[N]{};
    alignas(32) double edgeScale_[N]{};
    alignas(32) double middleScale_[N]{};
    alignas(32) double pathSamples_[N]{};
    alignas(32) double tablePos_[N]{};
    // Per sample.
    alignas(32) double theta_[N]{};
    alignas(32) double lambda_[N]{};
    alignas(32) double mu_[N]{};
    alignas(32) double delay_[N]{};
    alignas(32) double tableAt_[N]{};
    alignas(32) double inT_[N]{}, in0_[N]{}, in1_[N]{}, in2_[N]{}, in3_[N]{};
    alignas(32) double atT_[N]{}, at0_[N]{}, at1_[N]{}, at2_[N]{}, at3_[N]{};
    alignas(32) double input_[N]{};
    alignas(32) double attenuation_[N]{};
};

} // namespace zel
