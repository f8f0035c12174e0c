// What the horn and drum unit tests share: the rate, a rotor speed and a tone that
// both repeat after one revolution, the plain cabinet the units start from, and
// the helpers that measure and vary them.
#pragma once

#include "engine/CabinetUnit.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <numbers>
#include <random>
#include <utility>
#include <vector>

namespace zel::test {

inline constexpr double kRate = 44100;
inline constexpr double kPi = std::numbers::pi;
inline constexpr double kSpeedOfSound = 340.29;
// One revolution in 6480 samples (6.8056 rev/s, about the fast speed), and an input
// of exactly 30 cycles per revolution (216 samples per cycle, 204 Hz), so rotor
// and input repeat after a revolution.
inline constexpr int kRevolution = 6480;
inline constexpr double kSpeedHz = kRate / kRevolution;
inline constexpr int kCycle = 216;
inline constexpr double kToneHz = kRate / kCycle;

// The settings the unit tests vary from one plain cabinet to the next.
struct PlainCabinet {
    double fmRadius = 0.18;
    double attenuation = 1;
    double attenuationDistance = 1;
};

// The plain cabinet: microphone straight in front, AM radius 0.18 m, no
// reflections, decay exponent 0.5, static low-pass at 5 kHz. The unit's own
// settings (microphone distance, ray levels) are the caller's.
inline void setPlainCabinet(CabinetUnit& u, const PlainCabinet& c = {}) {
    u.setMicAngle(0);
    u.setFmRadius(c.fmRadius);
    u.setAmRadius(0.18);
    u.setReflectionCoeff(0);
    u.setAttenuation(c.attenuation);
    u.setAttenuationDistance(c.attenuationDistance);
    u.setAttDecayExp(0.5);
    u.setStaticFilterCutoff(5000);
}

// Rebuilds the unit and sets its rate: the rotor jumps to its target speed.
inline void startRotor(CabinetUnit& u, double speedHz, double rate, int factor) {
    u.setTarget(speedHz);
    u.rebuild();
    u.setUnitRate(rate, factor);
}

inline double peakAbs(const std::vector<double>& y, std::size_t from = 0) {
    double m = 0;
    for (std::size_t i = from; i < y.size(); ++i) m = std::max(m, std::abs(y[i]));
    return m;
}

// Index of the first nonzero output after an impulse (-1 within 4000 samples).
template <typename Unit> int firstSound(Unit& u) {
    for (int i = 0; i < 4000; ++i)
        if (u.process(i == 0 ? 1.0 : 0.0) != 0.0) return i;
    return -1;
}

// Random settings for the robustness tests: mostly the ends of each range, where
// the geometry is most extreme.
class RangePicker {
public:
    explicit RangePicker(std::mt19937& rng) : rng_(rng) {}
    double operator()(double lo, double hi) {
        const int corner = std::uniform_int_distribution<int>(0, 3)(rng_);
        if (corner == 0) return lo;
        if (corner == 1) return hi;
        return std::uniform_real_distribution<double>(lo, hi)(rng_);
    }

private:
    std::mt19937& rng_;
};

// Unit rates and decimation factors the robustness tests cycle through.
inline constexpr std::pair<double, int> kRobustnessRates[] = {{11025, 2}, {22050, 2}, {44100, 1},
                                                              {49999, 1}, {24000, 4}, {12000, 8}};

} // namespace zel::test
