#include "engine/Rotor.h"

#include "engine/OnePole.h"

#include <cmath>
#include <limits>

namespace zel {

namespace {

constexpr double kNotSet = std::numeric_limits<double>::infinity();

double acceptedUnitRate(double rate) {
    return rate >= Rotor::kMinUnitRate ? rate : Rotor::kMinUnitRate; // also NaN
}

// Brings an angle that a single correction left outside [0, 1) back inside.
double wrapTurns(double a) {
    a -= std::floor(a);
    return a < 1.0 ? a : 0.0;
}

} // namespace

Rotor::Rotor(RotorDirection direction, double unitRate) noexcept
    : direction_(direction), accelTime_(kNotSet), decelTime_(kNotSet),
      unitRate_(acceptedUnitRate(unitRate)) {}

double Rotor::keepFor(double seconds, double rate) noexcept {
    if (!(seconds > 0.0)) return 0.0; // zero time: the speed jumps
    return std::exp(-1.0 / (seconds * rate * kTenToNinety));
}

void Rotor::setTargetRaw(double hz) noexcept {
    targetSpeedHz_.store(hz);
    targetSpeed_.store(hz / unitRate_.load());
}

void Rotor::setTarget(double hz) noexcept {
    setTargetRaw(hz);
}

void Rotor::setSlowSpeed(double hz) noexcept {
    slowSpeed_.store(hz);
    const auto st = state();
    if (st == RotorState::Slow) {
        setTargetRaw(hz);
    } else if (st == RotorState::Between) {
        setTargetRaw(hz + (fastSpeed_.load() - hz) * leverBlend_.load());
    }
}

void Rotor::setFastSpeed(double hz) noexcept {
    fastSpeed_.store(hz);
    const auto st = state();
    if (st == RotorState::Fast) {
        setTargetRaw(hz);
    } else if (st == RotorState::Between) {
        const double slow = slowSpeed_.load();
        setTargetRaw(slow + (hz - slow) * leverBlend_.load());
    }
}

void Rotor::setLever(double x) noexcept {
    leverInput_.store(x);
    if (stopInput_.load() >= 0.5) return;
    if (x == 1.0) {
        state_.store(static_cast<int32_t>(RotorState::Slow));
        setTargetRaw(slowSpeed_.load());
    } else if (x == 0.0) {
        state_.store(static_cast<int32_t>(RotorState::Fast));
        setTargetRaw(fastSpeed_.load());
    } else {
        const double blend = 1.0 - x;
        const double slow = slowSpeed_.load();
        state_.store(static_cast<int32_t>(RotorState::Between));
        leverBlend_.store(blend);
        setTargetRaw(slow + (fastSpeed_.load() - slow) * blend);
    }
}

void Rotor::setStop(double x) noexcept {
    stopInput_.store(x);
    if (x >= 0.5) {
        state_.store(static_cast<int32_t>(RotorState::Stopped));
        setTargetRaw(0.0);
    } else {
        setLever(leverInput_.load());
    }
}

void Rotor::setAccelTime(double seconds) noexcept {
    accelTime_.store(seconds);
    accelKeep_.store(keepFor(seconds, unitRate_.load()));
}

void Rotor::setDecelTime(double seconds) noexcept {
    decelTime_.store(seconds);
    decelKeep_.store(keepFor(seconds, unitRate_.load()));
}

void Rotor::setFlip(double v) noexcept {
    flipOffset_.store(v >= 0.0 ? 0.0 : 0.5);
}

void Rotor::setUnitRate(double rate, int factor) noexcept {
    const double r = acceptedUnitRate(rate);
    unitRate_.store(r);
    factor_ = factor < 1 ? 1 : (factor > 16 ? 16 : factor);
    directivityMask_ = static_cast<unsigned>(16 / factor_ - 1);
    rotorAngle_ = 0.0;
    const double target = targetSpeedHz_.load() / r;
    targetSpeed_.store(target);
    speed_ = target;
    accelKeep_.store(keepFor(accelTime_.load(), r));
    decelKeep_.store(keepFor(decelTime_.load(), r));
}

double Rotor::wrapAngle(double a) noexcept {
    return wrapTurns(a);
}

} // namespace zel
