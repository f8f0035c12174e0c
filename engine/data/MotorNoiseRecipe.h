// What the synthesized motor-noise tables are made of. Every tone is snapped to a
// whole number of cycles over its table's used length, and every noise band is
// crossfaded from its end into its start, so each table loops without a click.
#pragma once

#include <cstdint>

namespace zel::motor_noise {

struct Partial {
    double hz;
    double level;
    double phase; // turns
};

// A resonant noise band: white noise through a band-pass section.
struct NoiseBand {
    double hz;
    double q;
    double level;
};

// A motor running on its own: mains hum with its harmonics, a bearing whine
// that wobbles slowly, and the rush of its fan.
struct MotorLoopRecipe {
    uint64_t seed;
    Partial hum[5];
    Partial whine[2];
    double wobbleHz;
    double wobbleDepth;
    NoiseBand rush;
    double peak;
};

// A rotor at speed: the air whoosh swelling once per revolution, a tick each time
// the rotor passes the same point, and the motor underneath.
struct RotorRecipe {
    uint64_t seed;
    NoiseBand whoosh;
    double swellPhase; // turns of the revolution where the whoosh is loudest
    double swellFloor; // whoosh level between swells, relative to the peak
    double tickPhase;  // turns of the revolution where the tick sits
    double tickHz;
    double tickDecaySeconds;
    double tickLevel;
    double tickOvertone; // level of the tick's inharmonic overtone (2.76 x tickHz)
    int tickLength;      // samples rendered per tick
    Partial hum[3];
    double peak;
};

// The switch clunk: a low thump, a bright click, a quick rise and a fade to zero.
struct ClunkRecipe {
    uint64_t seed;
    Partial thump[2];
    double thumpDecaySeconds;
    NoiseBand click;
    double clickDecaySeconds;
    int riseSamples;
    int fadeSamples;
    double peak;
};

inline constexpr int kCrossfadeSamples = 2048;
inline constexpr int kSineTableSize = 16384;
inline constexpr double kTickOvertoneRatio = 2.76;
inline constexpr int kNoiseWarmUp = 4096; // samples that settle a noise band's filter

inline constexpr MotorLoopRecipe kHornLoopA = {
    0x9E3779B97F4A7C15ull,
    {{50.0, 0.45, 0.00},
     {100.0, 1.00, 0.13},
     {150.0, 0.22, 0.41},
     {200.0, 0.30, 0.77},
     {300.0, 0.12, 0.29}},
    {{1240.0, 0.16, 0.05}, {2480.0, 0.05, 0.62}},
    0.69,
    0.35,
    {1800.0, 0.9, 0.55},
    0.18,
};

inline constexpr MotorLoopRecipe kHornLoopB = {
    0xD1B54A32D192ED03ull,
    {{50.0, 0.40, 0.31},
     {100.0, 1.00, 0.58},
     {150.0, 0.25, 0.07},
     {200.0, 0.26, 0.44},
     {300.0, 0.10, 0.90}},
    {{1315.0, 0.14, 0.21}, {2630.0, 0.04, 0.83}},
    0.83,
    0.30,
    {2100.0, 0.8, 0.50},
    0.18,
};

inline constexpr MotorLoopRecipe kDrumLoop = {
    0x94D049BB133111EBull,
    {{50.0, 0.70, 0.10},
     {100.0, 1.00, 0.35},
     {150.0, 0.35, 0.52},
     {200.0, 0.20, 0.18},
     {250.0, 0.10, 0.66}},
    {{610.0, 0.12, 0.40}, {1220.0, 0.04, 0.12}},
    0.41,
    0.40,
    {420.0, 0.7, 0.65},
    0.2,
};

inline constexpr MotorLoopRecipe kDrumLoopSecond = {
    0xBF58476D1CE4E5B9ull,
    {{50.0, 0.60, 0.47},
     {100.0, 1.00, 0.02},
     {150.0, 0.30, 0.71},
     {200.0, 0.24, 0.36},
     {250.0, 0.08, 0.95}},
    {{655.0, 0.10, 0.58}, {1310.0, 0.03, 0.27}},
    0.37,
    0.45,
    {380.0, 0.7, 0.70},
    0.2,
};

inline constexpr RotorRecipe kHornRotor = {
    0x2545F4914F6CDD1Dull,
    {2600.0, 0.8, 1.0},
    0.62,
    0.25,
    0.37,
    3400.0,
    0.0018,
    0.7,
    0.5,
    640,
    {{100.0, 0.18, 0.20}, {200.0, 0.08, 0.55}, {1240.0, 0.05, 0.10}},
    0.25,
};

inline constexpr RotorRecipe kDrumRotor = {
    0x6A09E667F3BCC909ull,
    {450.0, 0.6, 1.0},
    0.55,
    0.35,
    0.29,
    950.0,
    0.004,
    0.6,
    0.4,
    1400,
    {{100.0, 0.22, 0.60}, {150.0, 0.08, 0.15}, {610.0, 0.05, 0.33}},
    0.25,
};

inline constexpr ClunkRecipe kTransitionClunk = {
    0xBB67AE8584CAA73Bull,
    {{95.0, 1.0, 0.0}, {210.0, 0.45, 0.0}},
    0.03,
    {1800.0, 1.2, 0.8},
    0.004,
    24,
    600,
    0.3,
};

} // namespace zel::motor_noise
