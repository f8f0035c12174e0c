// One ray of a rotating unit as the per-sample code follows it: its geometry (set
// on a rebuild), the parts of its delay and attenuation that do not move with the
// mouth (set with the rate), and the ray's filter states.
#pragma once

#include "engine/AttenuationTable.h"
#include "engine/CabinetRays.h"
#include "engine/OnePole.h"
#include "engine/RayLobe.h"
#include "engine/SourceHistory.h"

#include <algorithm>
#include <cmath>

namespace zel {

// How much louder the room sounds at this microphone than the rotating source's
// average: the inverse of the attenuation at the direct ray's mean mouth
// position, softened by `power` (1 for none).
inline double roomFactorOf(const AttenuationTable& table, const RayPath& direct, double radius,
                           double power) {
    constexpr double kMeanOffset = 0.6366; // 2 / pi
    constexpr double kMeanOffsetPerLobe = 2.546;
    constexpr double kMinLookup = 1e-30;
    const double meanOffset =
        (kMeanOffset - kMeanOffsetPerLobe * direct.lobe) * direct.sign * radius;
    const double lookup = std::max(table.at(direct.distance - meanOffset), kMinLookup);
    return std::pow(1.0 / lookup, power);
}

struct RayTrack {
    RayPath path;
    LobeShape lobe;
    double retardSamples = 0; // travel time of the ray
    double pathSamples = 0;   // the delay without the mouth's displacement
    double tablePos = 0;      // attenuation-table position without displacement

    double reflected = 0; // reflection low-pass state
    double split = 0;     // splitter's low part (drum)
    double lowPass = 0;   // one-pole directivity state (cross units)
    double coef = 0;      // its coefficient, gliding toward coefTarget
    double coefTarget = 0;

    void place(const RayPath& p, const AttenuationTable& table) {
        path = p;
        lobe = LobeShape::of(p.lobe);
        tablePos = table.position(p.distance);
    }
    // measuredFrom: the distance the delays are counted from (a cross unit's
    // microphone distance, 0 otherwise).
    void setRate(double samplesPerMetre, double measuredFrom) {
        retardSamples = path.distance * samplesPerMetre;
        pathSamples = (path.distance - measuredFrom) * samplesPerMetre;
    }
    void clear() { reflected = split = lowPass = coef = coefTarget = 0; }

    // The mouth as this ray sees it now, from the angle it had when the sound that
    // arrives now left it.
    LobePoint lobeNow(const SourceHistory& history) const {
        const double theta =
            fractionOf(history.angleBefore(retardSamples) - path.angle * path.sign);
        return lobePoint(theta, lobe, path.sign);
    }
    // The reflection low-pass of this ray's order.
    double reflect(double value, double pole) {
        reflected = poleToward(reflected, value, pole);
        return reflected;
    }
    // The cross units' one-pole directivity: the coefficient glides, then filters.
    double directivityLowPass(double sigma, double glide) {
        coef = smoothToward(coef, coefTarget, glide);
        lowPass = poleToward(lowPass, sigma, coef);
        return lowPass;
    }
};

} // namespace zel
