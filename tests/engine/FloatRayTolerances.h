// How far the ray batch's wide path, which computes in float (RayBatch,
// float_rays), may stray from the single-ray code in double: each bound is
// float's unit roundoff u = 2^-24 (half its step 2^-23) times what the steps
// of that value add up to. Shared by the ray tests.
#pragma once

#include <cmath>
#include <limits>

namespace zel {

struct FloatRayTolerances {
    static constexpr double kUnit = std::numeric_limits<float>::epsilon() / 2; // 2^-24
    static constexpr double kPi = 3.141592653589793;

    // The lobe's phase (radians). The retarded angle arrives exact in double
    // as c, its distance from the nearest turn (|c| <= 1/2), and rounds to
    // float (u |c|). On an edge stretch (|c| <= hw) the difference c -+ hw
    // rounds the half-width (u hw) and itself (u 2 hw): at most 4 u hw, which
    // the edge scale pi / (2 hw) turns into 2 pi u; the scale's and the
    // product's rounding add u |mu| each (|mu| <= pi / 2): 3 pi u. In the
    // middle, theta = c + 1 and theta - hw round at values below 1 (u each)
    // besides c's and hw's rounding (u / 2, u / 4): 2.75 u, times the middle
    // scale (below 2 pi), and again the scale's and the product's rounding on
    // |mu| <= pi: 7.5 pi u. The falling edge's mu - pi adds float's pi (u pi
    // off) and its rounding (u pi): 5 pi u there.
    static constexpr double kMu = 7.5 * kPi * kUnit;
    // The displacement, the sine of the folded phase: the phase's error (the
    // sine's slope is at most 1), the fold's pi - mu (float's pi, u pi, and
    // the rounding, u pi / 2); the series in float: x x^2 rounds on a value
    // below (pi / 2)^3 (3.9 u), which the sum (below 1/6) scales to 0.65 u,
    // the coefficients' rounding adds u times the series' terms past x (below
    // 0.73 u), and the last step rounds the sine (u): below 3 u. The terms
    // past x^13 that float's series leaves out stay below 7e-10 (0.012 u). A
    // least displacement in float is u off at most.
    static constexpr double kLambda = kMu + 1.5 * kPi * kUnit + 3 * kUnit;
    // The Catmull-Rom sum of values within [-m, m] in float: four fused steps
    // on values below 6 m (as FusedTolerances reckons them, at float's step),
    // and the neighbours rounded to float (u m each; the weights' magnitudes
    // add up to at most 1.25). Its slope stays below 25 m.
    static constexpr double kCubicSteps =
        4 * 6 * std::numeric_limits<float>::epsilon() + 1.25 * kUnit;
    static constexpr double kCubicSlope = 25.0;

    // The delayed input (samples within [-1, 1]) of a ray with displacement
    // lambda, the mouth offset, the Doppler radius fm (samples) and the delay
    // without the path's whole samples, d = (lambda + offset) fm + the path's
    // fraction: the position carries lambda's error times fm, lambda + offset
    // rounds (u |lambda + offset|), fm rounds (u |fm| |lambda + offset|), the
    // path's fraction rounds (u), the fused delay rounds (u |d|) and the
    // fraction t = ceil(d) - d may round once more (u).
    static double input(double lambda, double offset, double fm, double delay) {
        const double lead = std::fabs(lambda + offset);
        const double position =
            std::fabs(fm) * (kLambda + 2 * kUnit * lead) + kUnit * (std::fabs(delay) + 2);
        return kCubicSteps + kCubicSlope * position;
    }
    // The attenuation (entries within [-m, m], neighbours at most `step`
    // apart) at table position `at` = tablePos + lambda scale (scale = radius *
    // steps per metre): lambda's error times the scale, the scale's rounding
    // (u |lambda scale|), the table position's (u |tablePos|) and the fused
    // step's (u |at|), times the sum's slope. Written with the differences d of
    // neighbours, the sum's coefficients are c1 = (d0 + d1) / 2, c2 = -d0 +
    // 1.5 d1 - 0.5 d2 and c3 = (d0 + d2) / 2 - d1, so its slope c1 + 2 c2 t +
    // 3 c3 t^2 stays below 13 step (a smooth table's is far below 25 m).
    // Beyond the ends (infinite or not a number: an end entry) only the
    // entry's rounding.
    static double attenuation(double m, double step, double lambda, double scale, double tablePos,
                              double at) {
        if (!std::isfinite(at)) return m * kUnit;
        const double position = std::fabs(scale) * (kLambda + kUnit * std::fabs(lambda)) +
                                kUnit * (std::fabs(tablePos) + std::fabs(at));
        return m * kCubicSteps + 13 * step * position;
    }
};

// Whether two phases agree within tolerance as angles: a phase on the border
// of two lobe stretches may come out a whole turn apart (pi on one side, -pi
// on the other), which is the same direction.
inline bool phasesAgree(double got, double want, double tolerance) {
    constexpr double kTurn = 2 * FloatRayTolerances::kPi;
    return std::fabs(std::remainder(got - want, kTurn)) <= tolerance;
}

} // namespace zel
