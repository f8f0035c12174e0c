// The engine's own fixed filter sections: the bass-reflex and drum-input filters,
// the room return tone, and the horn tone arrays that colour the horn before its
// units (twelve sections for the horn microphones, eight for the cross path).
#pragma once

#include "engine/BiquadFilter.h"

#include <array>
#include <cstdint>

namespace zel::enginefilters {

struct SectionSetting {
    int32_t type;
    double hz;
    double q;
    double db;
    bool enabled;
};

// Bias of the saturation inside the recursion, for the sections that carry one.
inline constexpr double kSaturationBias = 1.0 / 32.0;

inline constexpr SectionSetting kDrumShelf = {kBiquadLowShelf, 250, 0.5, 6, true};
inline constexpr SectionSetting kBrResonator = {kBiquadBandPass, 70, 9, 0, true};
inline constexpr SectionSetting kHornMicHighPass = {kBiquadHighPass, 20, 0.5, 0, true};
inline constexpr SectionSetting kColorPeak = {kBiquadPeaking, 1500, 0.5, 0, true};
inline constexpr SectionSetting kColorShelf = {kBiquadLowShelf, 350, 0.6, 0, true};
inline constexpr SectionSetting kReconstructionLowPass = {kBiquadLowPass, 22050, 0.707, 0, true};

// Amp tone sections: centre, Q (boost / cut) where fixed.
inline constexpr SectionSetting kPresence = {kBiquadPeaking, 2000, 1.0, 0, true};
inline constexpr SectionSetting kLoMid = {kBiquadPeaking, 500, 1.0, 0, true};
inline constexpr SectionSetting kTopShelf = {kBiquadPeaking, 4500, 0.35, 0, true};
inline constexpr SectionSetting kBottom = {kBiquadPeaking, 80, 1.0, 0, true};

// The reconstruction low-pass sits this far above the internal rate: host rate / 2205.
inline constexpr double kReconstructionOffsetDivisor = 2205.0;

// Horn tone array: cascades T1 (0-3), T2 (4-7), T3 (8-11). Section 10 saturates
// by the "Horn Filter Saturation" amount.
inline constexpr std::array<SectionSetting, 12> kHornTone = {{
    {kBiquadPeaking, 5500, 5, -18, true},
    {kBiquadPeaking, 4550, 5, -17, true},
    {kBiquadPeaking, 5000, 0.88, 12, true},
    {kBiquadPeaking, 6500, 1.6, 10, true},
    {kBiquadPeaking, 782, 5, -4.5, true},
    {kBiquadPeaking, 1050, 5, -3.8, true},
    {kBiquadPeaking, 7330, 20, -12, true},
    {kBiquadPeaking, 6670, 20, -10, true},
    {kBiquadPeaking, 8580, 20, -15, true},
    {kBiquadPeaking, 2400, 1.3, -3, true},
    {kBiquadLowPass, 2000, 1, 0, true},
    {kBiquadHighPass, 2000, 0.7, 0, true},
}};
inline constexpr std::array<int, 1> kHornToneSaturated = {10};

// Horn cross tone array: cascades X1 (0-3), X2 (4-7); the second half is
// disabled, but section 7 still saturates inside X2. Sections 2 and 7 saturate.
inline constexpr std::array<SectionSetting, 8> kHornCrossTone = {{
    {kBiquadPeaking, 2940, 11, -10, true},
    {kBiquadPeaking, 3360, 10, -9, true},
    {kBiquadHighPass, 180, 0.35, -12, true},
    {kBiquadPeaking, 1150, 11, -9, true},
    {kBiquadPeaking, 2940, 11, -11, false},
    {kBiquadPeaking, 3360, 10, -9, false},
    {kBiquadHighPass, 100, 0.35, -12, false},
    {kBiquadPeaking, 1150, 11, -9, false},
}};
inline constexpr std::array<int, 2> kHornCrossToneSaturated = {2, 7};

} // namespace zel::enginefilters
