// The fade that covers every structural change: the output glides to a low-passed
// dry signal, the engine rebuilds one task per block while dry, and the output
// glides back. States: 0 normal, 1 fading to dry, 2 dry and rebuilding, 3 fading
// back. Audio-thread object.
#pragma once

#include <cstdint>

namespace zel {

class FadeMachine {
public:
    enum State : int32_t { kNormal = 0, kFadingOut = 1, kRebuilding = 2, kFadingBack = 3 };

    // Leaving state 1 above this level (-0.275 dB short of dry), state 3 below it
    // (-30 dB).
    static constexpr double kDryThreshold = 0.96837722339;
    static constexpr double kWetThreshold = 0.0316227766;
    static constexpr float kFadeSeconds = 0.02f;

    // c20 for the host rate.
    void setRate(double hostRate) noexcept;
    // Starts or continues a fade to dry.
    void fadeOut() noexcept;
    // Starts the fade back to the processed signal.
    void fadeBack() noexcept;
    // Per frame, before the engine's frame: moves the level toward the target.
    void step() noexcept;
    // After the frames of a block: 1 -> 2 when nearly dry, 3 -> 0 when nearly wet.
    void endBlock() noexcept;

    State state() const noexcept { return state_; }
    double level() const noexcept { return level_; }
    double target() const noexcept { return target_; }
    double coefficient() const noexcept { return c20_; }

private:
    State state_ = kNormal;
    double level_ = 0.0;
    double target_ = 0.0;
    double c20_ = 0.0;
};

} // namespace zel
