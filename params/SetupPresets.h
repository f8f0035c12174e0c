// The microphone setups chosen by "Setup" (positions 0..5): the values the Setup
// rebuild gives eight tuning parameters, in the order it applies them, the
// microphone make-up gain and the placement of the horn's motor noise.
#pragma once

#include <array>
#include <cstdint>

namespace zel {

struct SetupPreset {
    static constexpr int kParameterCount = 8;
    // Indices in the order they are applied: "Bypass Speakers (Amp Only)", "Horn
    // Mic1 Angle", "Horn Mic2 Angle", "Horn Mic2 Distance", "Horn Mic2 Gain",
    // "Horn Gain", "Horn Mic1 Panorama", "Horn Mic2 Panorama".
    static constexpr std::array<int16_t, kParameterCount> kIndices{118, 38, 40, 41, 43, 37, 39, 42};

    std::array<float, kParameterCount> values;
    double micMakeupGain;
    double mechPan; // a: near sin(a pi/2), far sin((1 - a) pi/2)
};

// The motor-noise placement when the position names no setup.
inline constexpr double kNoSetupMechPan = 1.0;

inline constexpr std::array<SetupPreset, 6> kSetupPresets{{
    // AmpOnly
    {{1.0f, 0.0f, 0.5f, 0.5f, 0.5f, 0.5f, 0.0f, 1.0f}, 1.0, 0.8},
    // FrontSide
    {{0.0f, 0.19f, 0.52f, 0.2575f, 0.55f, 0.5f, 0.0f, 1.0f}, 1.0, 0.8},
    // FrontDiagonal
    {{0.0f, 0.35f, 0.64f, 0.3275f, 0.5f, 0.5f, 0.0f, 1.0f}, 1.25892541179, 0.8},
    // FrontRear
    {{0.0f, 0.02f, 0.52f, 0.74f, 0.5f, 0.5f, 0.0f, 1.0f}, 1.25892541179, 0.8},
    // OppositeDiagonal
    {{0.0f, 0.18f, 0.71f, 0.5f, 0.5f, 0.5f, 0.0f, 1.0f}, 1.0, 0.8},
    // Mono
    {{0.0f, 0.5f, 0.71f, 0.5f, 0.0f, 0.5f, 0.5f, 0.5f}, 1.99526231497, 0.8},
}};

} // namespace zel
