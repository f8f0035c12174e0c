#include "engine/FadeMachine.h"

#include "engine/OnePole.h"

namespace zel {

void FadeMachine::setRate(double hostRate) noexcept {
    c20_ = smoothingCoefSingle(kFadeSeconds, hostRate);
}

void FadeMachine::fadeOut() noexcept {
    target_ = 1.0;
    state_ = kFadingOut;
}

void FadeMachine::fadeBack() noexcept {
    target_ = 0.0;
    state_ = kFadingBack;
}

void FadeMachine::step() noexcept {
    if (state_ != kNormal) level_ = smoothToward(level_, target_, c20_);
}

void FadeMachine::endBlock() noexcept {
    if (state_ == kFadingOut && level_ > kDryThreshold) {
        state_ = kRebuilding;
        level_ = 1.0;
    } else if (state_ == kFadingBack && level_ < kWetThreshold) {
        state_ = kNormal;
        level_ = 0.0;
    }
}

} // namespace zel
