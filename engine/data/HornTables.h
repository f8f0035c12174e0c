// Constant tables of the horn: its resonance EQ, its directivity by angle, and the
// image sources of its thirteen rays.
#pragma once

#include "engine/data/CabinetGeometry.h"
#include "engine/data/MirroredTable.h"

#include <array>

namespace zel::horn {

// One filter section of a fixed EQ.
struct EqSection {
    int type; // BiquadFilter response type
    double hz;
    double q;
    double db;
    bool enabled;
};

// Peaking-section settings at one directivity step.
struct PeakSetting {
    double hz;
    double q;
    double db;
};

inline constexpr int kPeaking = 4;

// The horn body's resonances, as heard at a horn microphone: 28 peaking sections.
inline constexpr std::array<EqSection, 28> kStaticEq = {{
    {kPeaking, 6690, 1.3, -5, true}, {kPeaking, 1150, 12, -7, true},
    {kPeaking, 775, 20, -11, true},  {kPeaking, 5950, 30, -25, true},
    {kPeaking, 3540, 40, -15, true}, {kPeaking, 390, 40, -15, true},
    {kPeaking, 1180, 40, -12, true}, {kPeaking, 850, 40, -12, true},
    {kPeaking, 1740, 40, -8, true},  {kPeaking, 2800, 30, -15, true},
    {kPeaking, 2020, 40, -19, true}, {kPeaking, 2690, 40, -13, true},
    {kPeaking, 3880, 40, -20, true}, {kPeaking, 794, 40, -8, true},
    {kPeaking, 1590, 40, 8, true},   {kPeaking, 1020, 1.41, -6, true},
    {kPeaking, 4800, 40, -16, true}, {kPeaking, 2940, 40, -24, true},
    {kPeaking, 3320, 40, -13, true}, {kPeaking, 3430, 1.41, -7.6, true},
    {kPeaking, 4110, 40, -15, true}, {kPeaking, 4000, 40, -12, true},
    {kPeaking, 1030, 8, -6, true},   {kPeaking, 2670, 5, 7, true},
    {kPeaking, 3150, 30, -14, true}, {kPeaking, 2580, 40, -17, true},
    {kPeaking, 5140, 10, -12, true}, {kPeaking, 2330, 30, -10, true},
}};

// The horn as heard at the drum microphone: eight sections, the last three off.
inline constexpr std::array<EqSection, 8> kCrossEq = {{
    {kPeaking, 780, 5, -12, true},
    {kPeaking, 384, 10, 12, true},
    {kPeaking, 3860, 10, 12, true},
    {kPeaking, 4500, 10, 20, true},
    {kPeaking, 5770, 5, 15, true},
    {kPeaking, 780, 5, 12, false},
    {kPeaking, 384, 10, 12, false},
    {kPeaking, 3860, 10, 12, false},
}};

// Directivity section A (peaking) in 10-degree steps, step 0 pointing at the ray.
inline constexpr int kLobeASteps = 36;
inline constexpr std::array<PeakSetting, 19> kLobeAHalf = {{
    {2200, 1.4, 7},    {2170, 1.32, 5},   {2050, 1.15, -3}, {2000, 1.2, -8},   {2000, 1.3, -12},
    {1930, 1.6, -15},  {1850, 2, -18},    {1780, 3.6, -22}, {1730, 5.9, -28},  {1670, 3.2, -24},
    {1620, 1.37, -18}, {1480, 1.22, -16}, {1360, 1, -14.5}, {1320, 0.9, -14},  {1300, 0.8, -14.2},
    {1500, 1, -15},    {1630, 1.28, -16}, {1680, 1.9, -17}, {1700, 2.35, -19},
}};
inline constexpr std::array<PeakSetting, kLobeASteps + 1> kLobeA = mirroredTurn(kLobeAHalf);

// Directivity section B (high shelf) in 20-degree steps.
inline constexpr int kLobeBSteps = 18;
inline constexpr int kHighShelf = 7;
inline constexpr double kLobeBHz = 6000;
inline constexpr double kLobeBQ = 0.7;
inline constexpr std::array<double, kLobeBSteps + 1> kLobeBDb = {
    6, 2, -7, -9, -12, -10, -9, -8, -6, -2, -6, -8, -9, -10, -12, -9, -7, 2, 6};

// The cross unit's one-pole low-pass cutoff in 20-degree steps (Hz).
inline constexpr int kCrossLobeSteps = 18;
inline constexpr std::array<double, kCrossLobeSteps + 1> kCrossLobeHz = {
    1100, 750, 700, 650, 600, 550, 600, 760, 850, 1000,
    760,  600, 600, 550, 600, 650, 700, 750, 1100};

// Image sources of the horn mouth. W1 is the first side wall (toward negative x),
// W2 the second (toward positive x), W0 the front or back wall.
using cabinet::ImageSource;
inline constexpr int kImageRays = 12;
inline constexpr int kFixedRays = 8;
inline constexpr std::array<ImageSource, kFixedRays> kFixedImages = {{
    {0, 0, 0, +1, +1},   // 0 direct
    {0, 0, 2, +1, -1},   // 1 back wall
    {0, 2, 2, -1, -1},   // 2 back and second side
    {-2, 0, 2, -1, -1},  // 3 back and first side
    {2, 2, 2, +1, -1},   // 4 back and both sides, from the first
    {-2, -2, 2, +1, -1}, // 5 back and both sides, from the second
    {0, 2, 0, -1, +1},   // 6 second side
    {-2, 0, 0, -1, +1},  // 7 first side
}};

// Rays 8 to 11 depend on the region of the microphone (backRegion 0, 1 or 2).
inline constexpr std::array<std::array<ImageSource, 4>, 3> kRegionImages = {{
    {{{0, 6, 0, -1, -1}, {2, 4, 6, -1, -1}, {4, 6, 0, -1, -1}, {4, 6, 10, -1, -1}}},
    {{{0, 0, 6, +1, -1}, {2, 4, 6, -1, -1}, {-4, -2, 6, +1, -1}, {0, 0, 10, +1, -1}}},
    {{{-6, 0, 0, -1, +1}, {-4, -2, 6, -1, -1}, {-4, -2, 0, -1, +1}, {-6, -4, 10, -1, -1}}},
}};

// The rays the cross unit follows: direct, back wall and the two sides.
inline constexpr std::array<int, 4> kCrossRays = {0, 1, 6, 7};

// Z-axis taps: floor and ceiling reflections, path differences in metres.
inline constexpr double kFloorTapMetres = 0.07;
inline constexpr double kCeilingTapMetres = 0.135;

// Output gain against the microphone distance.
inline constexpr double kOutputTrim = 0.97723722095; // -0.2 dB

// Reflection low-pass: the first pole at 20 kHz, the others an octave step lower each.
inline constexpr double kReflectionTopHz = 20000;
inline constexpr int kReflectionPoles = 5;

} // namespace zel::horn
