// The 32-tap low-pass that decimates the amp's output to the internal rate and
// interpolates the simulation's output back: one causal table per decimation
// factor, tap 0 applied to the newest sample. DC gains 0.984453 (factor 2),
// 0.977072 (factor 4) and 0.956461 (factor 8).
#pragma once

#include <array>

namespace zel::decimator {

inline constexpr int kTaps = 32;
using Table = std::array<float, kTaps>;

inline constexpr Table kFactor2 = {
    0.158475f,     0.40413f,      0.443081f,     0.152981f,     -0.138959f,   -0.121906f,
    0.0513532f,    0.079842f,     -0.0183899f,   -0.0484369f,   0.00519993f,  0.0271777f,
    -0.000376335f, -0.0139331f,   -0.000840721f, 0.00644502f,   0.000574515f, -0.00254359f,
    -0.000110664f, 0.000932312f,  -3.09126e-05f, -0.000298399f, 3.72791e-05f, 7.58576e-05f,
    -1.72934e-05f, -1.26725e-05f, 4.25923e-06f,  7.40794e-07f,  -2.7764e-07f, -1.35601e-08f,
    5.31743e-09f,  0.0f,
};

inline constexpr Table kFactor4 = {
    0.036091f,     0.0916252f,    0.163579f,     0.22262f,     0.239687f,    0.20201f,
    0.122257f,     0.032206f,     -0.0348609f,   -0.0612234f,  -0.0508321f,  -0.0224731f,
    0.00354496f,   0.015995f,     0.0150811f,    0.00752067f,  0.000276066f, -0.00302326f,
    -0.00276721f,  -0.0011328f,   0.000122287f,  0.000488325f, 0.00031006f,  6.15313e-05f,
    -4.58112e-05f, -4.00507e-05f, -1.01356e-05f, 2.38828e-06f, 1.93493e-06f, 2.79321e-07f,
    1.16744e-08f,  0.0f,
};

inline constexpr Table kFactor8 = {
    0.0117192f,   0.0237387f,   0.0423774f,   0.0645571f,    0.087148f,     0.106343f,
    0.118617f,    0.121654f,    0.114934f,    0.0998112f,    0.0790931f,    0.0562882f,
    0.0347736f,   0.0170903f,   0.00451541f,  -0.00298064f,  -0.00626659f,  -0.00655697f,
    -0.00522021f, -0.00337762f, -0.00174128f, -0.000619019f, -2.27406e-05f, 0.000189417f,
    0.000192548f, 0.000123327f, 5.73022e-05f, 1.88409e-05f,  3.83681e-06f,  3.42788e-07f,
    1.05304e-08f, 0.0f,
};

// The table for a factor of 2, 4 or 8; null for any other factor.
inline constexpr const Table* tableFor(int factor) {
    switch (factor) {
    case 2:
        return &kFactor2;
    case 4:
        return &kFactor4;
    case 8:
        return &kFactor8;
    default:
        return nullptr;
    }
}

} // namespace zel::decimator
