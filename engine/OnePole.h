// One-pole conventions shared by every engine file: smoothing coefficients,
// poles from a frequency or a decay rate, the smoothing step and the denormal
// guard.
#pragma once

#include <cmath>

#if defined(__FAST_MATH__)
#error "The engine relies on exact IEEE arithmetic (denormal guard); build without -ffast-math"
#endif

namespace zel {

inline constexpr double kPi = 3.14159265358979323846;
inline constexpr double kTwoPi = 2.0 * kPi;

// Guard constants: the engine's smoothing and mixing sums, the cascade, and the
// recursion inside a gliding section.
inline constexpr double kEngineGuard = 1e-12;
inline constexpr double kCascadeGuard = 1e-17;
inline constexpr double kRecursionGuard = 1e-30;

// Adds and subtracts a tiny constant so that a value far below the guard becomes
// exactly zero instead of lingering as a slow denormal. Without -ffast-math the
// compiler may not fold (x + g) - g into x, because the two differ in IEEE
// arithmetic.
[[nodiscard]] inline double denormalGuard(double x, double guard = kEngineGuard) noexcept {
    const double raised = x + guard;
    return raised - guard;
}

// k = 1 - exp(-1 / (T * rate)): the per-sample step that moves a value toward its
// target with time constant T seconds.
[[nodiscard]] inline double smoothingCoef(double seconds, double rate) noexcept {
    return 1.0 - std::exp(-1.0 / (seconds * rate));
}

// The same with the time constant given as a single-precision value (the engine's
// 30 ms, 100 ms, 20 ms and 500 ms constants are taken as floats).
[[nodiscard]] inline double smoothingCoefSingle(float seconds, double rate) noexcept {
    return smoothingCoef(static_cast<double>(seconds), rate);
}

// p = exp(-2 pi f / rate): the pole of a one-pole low-pass with corner f.
[[nodiscard]] inline double poleFromFrequency(double hz, double rate) noexcept {
    return std::exp(-kTwoPi * hz / rate);
}

// p = 0.005^(f / rate): the response falls to 0.005 after rate / f samples.
[[nodiscard]] inline double poleFromDecay(double hz, double rate) noexcept {
    return std::pow(0.005, hz / rate);
}

// v + (target - v) * k, guarded.
[[nodiscard]] inline double smoothToward(double value, double target, double k) noexcept {
    return denormalGuard(value + (target - value) * k);
}

// target + p * (v - target), guarded: the one-pole low-pass written with its pole.
[[nodiscard]] inline double poleToward(double value, double target, double pole) noexcept {
    return denormalGuard(target + pole * (value - target));
}

} // namespace zel
