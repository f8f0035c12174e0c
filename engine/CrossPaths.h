// Geometry of the cross paths: how long the drum's sound takes to reach the horn
// microphones (and the horn's the drum microphone) and how loud it arrives, from
// the microphone positions the units report. The horn microphones sit 0.77 m
// above the drum microphone.
#pragma once

#include "engine/AttenuationTable.h"
#include "engine/CabinetRays.h"

#include <array>

namespace zel {

struct CrossPathSettings {
    // Delays d1..d5 (internal-rate samples) and gains g1..g5, index 0 = path 1.
    std::array<double, 5> delay{};
    std::array<double, 5> gain{};
};

struct CrossPathGeometry {
    MicPoint drumMic;  // from the drum main unit
    MicPoint hornMic1; // from horn unit 0
    double hornRadius; // the horn cross unit's AM radius, R
    double internalRate;
};

inline constexpr double kMicHeightDifference = 0.77;                   // m
inline constexpr double kSecondsPerMetreOfAir = 0.0029386699579770194; // 1 / 340.29 m/s

// The ten targets; attenuations are the cross units' distance tables.
CrossPathSettings computeCrossPaths(const CrossPathGeometry& g,
                                    const AttenuationTable& drumCrossAttenuation,
                                    const AttenuationTable& hornCrossAttenuation);

} // namespace zel
