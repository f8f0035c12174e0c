// The cabinet as the rotating horn and drum see it: wall distances from the rotor
// axis, the speed of sound, and the layout of the image sources in the walls.
#pragma once

#include <array>

namespace zel::cabinet {

// Distances from a rotor axis to the walls, in metres.
inline constexpr double kFrontBackWall = 0.235;
inline constexpr double kWideSideWall = 0.43;
inline constexpr double kNarrowSideWall = 0.24;

inline constexpr double kSpeedOfSound = 340.29;                   // m/s
inline constexpr double kSecondsPerMetre = 0.0029386699579770194; // 1 / kSpeedOfSound

// A cross unit listens from a fixed 0.77 m (the vertical distance between the horn
// and the drum microphones).
inline constexpr double kCrossMicDistance = 0.77;

// The horn's back-to-side rays lose 6 dB through an open back.
inline constexpr double kOpenBackFactor = 0.50118723362;

// The AM radius stays inside the cabinet and short of the first attenuation entry.
inline constexpr double kMinAmRadius = 0.001;
inline constexpr double kMaxAmRadius = 0.29;

// Distance attenuation table: 512 entries, one per centimetre, starting at
// kAttenuationStart - AM radius metres from the rotor axis.
inline constexpr int kAttenuationEntries = 512;
inline constexpr int kAttenuationLast = kAttenuationEntries - 1;
inline constexpr double kAttenuationStep = 0.01;
inline constexpr double kAttenuationStart = 0.3;
inline constexpr double kAttenuationReference = 3.3333333333333335; // 1 / 0.3 m

// One image source of the rotating mouth: its position as multiples of the (signed)
// wall distances, x = side1 * W1 + side2 * W2 and y = frontBack * W0, with the
// mirror flag (+1 or -1, a reflection in a side wall flips the sense of rotation)
// and the sign (+1 or -1, a reflection in the front or back wall turns the lobe).
struct ImageSource {
    double side1;
    double side2;
    double frontBack;
    double mirror;
    double sign;
};

} // namespace zel::cabinet
