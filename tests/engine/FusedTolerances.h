// How far the four-ray code (RayBatch's AVX2 path, the drum's ray lanes) may
// stray from the single-ray code: it fuses its multiplies into the adds after
// them, rounded once instead of twice. Shared by the ray tests.
#pragma once

#include "engine/SourceHistory.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace zel {

// How far the four-ray path may stray from the single-ray code, from the fused
// steps (eps: one ulp of 1).
struct FusedTolerances {
    static constexpr double kEps = std::numeric_limits<double>::epsilon();
    // The lobe's sine series (|x| <= pi / 2): eight fused steps, each skipping
    // half an ulp of a value below 1; the displacement is the sine.
    static constexpr double kLambda = 4 * kEps;
    // Catmull-Rom of values within [-m, m]: four fused steps on values below
    // 6 m, and a slope below 25 m, times the position's error.
    static constexpr double kCubicSteps = 4 * 6 * kEps;
    static constexpr double kCubicSlope = 25.0;

    // The delayed input (samples within [-1, 1]): the delay carries lambda's
    // error times the Doppler scale and its own fused rounding (half an ulp);
    // the ring position taken from it rounds to the ulp of the ring's length.
    static double input(double fmSamples, double delay) {
        const double position = std::fabs(fmSamples) * kLambda + 0.5 * kEps * std::fabs(delay) +
                                kEps * SourceHistory::kLength;
        return kCubicSteps + kCubicSlope * position;
    }
    // The attenuation (entries within [-m, m]) at table position `at`.
    static double attenuation(double m, double radius, double stepsPerMetre, double at) {
        const double position =
            std::fabs(radius * stepsPerMetre) * kLambda + 0.5 * kEps * std::fabs(at);
        return m * (kCubicSteps + kCubicSlope * position);
    }
};

// Whether the four-ray value `got` agrees with the single-ray `want`: the same
// bits (infinities, the table's ends), both not a number, or within tolerance.
inline bool fusedAgrees(double got, double want, double tolerance) {
    if (std::memcmp(&got, &want, sizeof got) == 0) return true;
    if (std::isnan(got) && std::isnan(want)) return true;
    return std::fabs(got - want) <= tolerance;
}

} // namespace zel
