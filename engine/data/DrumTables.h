// Constant tables of the bass drum: its input filter, its directivity by angle and
// the image sources of its rays.
#pragma once

#include "engine/data/CabinetGeometry.h"
#include "engine/data/HornTables.h"
#include "engine/data/MirroredTable.h"

#include <array>

namespace zel::drum {

using horn::EqSection;

// Input filter, run as one saturating cascade (bias 1/32).
inline constexpr double kInputSaturationBias = 0.03125;
inline constexpr std::array<EqSection, 4> kInputEq = {{
    {8, 1170, 0.93, 0, true}, // low-pass
    {4, 252, 0.71, 7, true},  // peaking
    {1, 90, 1, 0, true},      // high-pass
    {3, 200, 0.35, 3, true},  // low shelf
}};

// Directivity in 20-degree steps, step 0 with the opening facing the microphone.
inline constexpr int kLobeSteps = 18;
inline constexpr std::array<double, 10> kLowPassHzHalf = {1600, 1300, 1200, 1050, 1000,
                                                          950,  900,  900,  900,  900};
inline constexpr std::array<double, 10> kLowPassQHalf = {1.2,  0.85, 0.7,  0.65, 0.55,
                                                         0.42, 0.37, 0.34, 0.32, 0.31};
inline constexpr std::array<double, 10> kCrossHzHalf = {2000, 1760, 1600, 1600, 1600,
                                                        1700, 1700, 1700, 1850, 1800};

// Steps 10 to 18 mirror steps 8 down to 0.
inline constexpr std::array<double, 19> kLowPassHz = mirroredTurn(kLowPassHzHalf);
inline constexpr std::array<double, 19> kLowPassQ = mirroredTurn(kLowPassQHalf);
inline constexpr std::array<double, 19> kCrossHz = mirroredTurn(kCrossHzHalf);

inline constexpr int kRayLowPass = 8;

// The opening's displacement toward a ray never goes below this (main unit).
inline constexpr double kClosestApproach = -0.7;

// Image sources of the drum opening. Here W1 is the side wall toward positive x
// and W2 the one toward negative x.
using cabinet::ImageSource;
inline constexpr int kImageRays = 6;
inline constexpr std::array<ImageSource, kImageRays> kImages = {{
    {0, 0, 0, +1, +1},  // 0 direct
    {2, 0, 0, -1, +1},  // 1 side toward positive x
    {0, -2, 0, -1, +1}, // 2 side toward negative x
    {0, 0, 2, +1, -1},  // 3 back wall
    {2, 0, 2, -1, -1},  // 4 back wall and positive side
    {0, -2, 2, -1, -1}, // 5 back wall and negative side
}};

// The cross unit follows the direct, the two side and the back-wall rays.
inline constexpr std::array<int, 4> kCrossRays = {0, 1, 2, 3};

inline constexpr double kDefaultSplitterHz = 200;

} // namespace zel::drum
