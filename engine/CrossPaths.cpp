#include "engine/CrossPaths.h"

#include <cmath>

namespace zel {

namespace {
constexpr double kHeightSquared = kMicHeightDifference * kMicHeightDifference; // 0.5929
} // namespace

CrossPathSettings computeCrossPaths(const CrossPathGeometry& g, const AttenuationTable& drumCross,
                                    const AttenuationTable& hornCross) {
    const double samplesPerMetre = g.internalRate * kSecondsPerMetreOfAir;
    const double xd = g.drumMic.x, yd = g.drumMic.y;
    const double xh = g.hornMic1.x, yh = g.hornMic1.y;
    const double R = g.hornRadius;
    CrossPathSettings s;

    // The bass-reflex port into the drum microphone (path 4).
    const double a = std::sqrt(xd * xd + yd * yd);
    s.delay[3] = a * samplesPerMetre;
    s.gain[3] = drumCross.at(a);

    // The horn into the drum microphone (path 3).
    const double f = std::sqrt((yd - R) * (yd - R) + xd * xd + kHeightSquared);
    s.gain[2] = hornCross.at(f);
    s.delay[2] = (f - kMicHeightDifference) * samplesPerMetre;

    // The horn's leak into its own microphone from the cross direction (path 5).
    const double l = std::sqrt((yh - R) * (yh - R) + xh * xh + kHeightSquared);
    s.gain[4] = hornCross.at(l);
    s.delay[4] = (l - kMicHeightDifference) * samplesPerMetre;

    // The drum and the bass-reflex port into the horn microphones (paths 1, 2).
    const double o = std::sqrt(xh * xh + yh * yh + kHeightSquared);
    s.gain[0] = s.gain[1] = drumCross.at(o);
    s.delay[1] = o * samplesPerMetre;
    s.delay[0] = (o - kMicHeightDifference) * samplesPerMetre;
    return s;
}

} // namespace zel
