// The parts of a rebuild that go through the parameter path: the microphone
// setup of the "Setup" position and the amplitude clip of a full reset.
#include "params/ParameterApplier.h"

#include "params/SetupPresets.h"
#include "plugin/AudioEffect.h"

#include <cmath>
#include <numbers>

namespace zel {

namespace {

constexpr int kHornDistanceIndex = 21;
constexpr int kAmplitudeClipIndex = 119;

} // namespace

void ParameterApplier::applySetupPreset(int position) {
    double mechPan = kNoSetupMechPan;
    if (position >= 0 && position < static_cast<int>(kSetupPresets.size())) {
        const SetupPreset& preset = kSetupPresets[static_cast<std::size_t>(position)];
        for (int i = 0; i < SetupPreset::kParameterCount; ++i) {
            const auto k = static_cast<std::size_t>(i);
            effect.setParameterAutomated(SetupPreset::kIndices[k], preset.values[k]);
        }
        engine.targets.micMakeupGain = preset.micMakeupGain;
        mechPan = preset.mechPan;
    }
    constexpr double kHalfPi = std::numbers::pi / 2.0;
    engine.targets.mechPanNear = std::sin(mechPan * kHalfPi);
    engine.targets.mechPanFar = std::sin((1.0 - mechPan) * kHalfPi);
}

void ParameterApplier::applyAmplitudeClip() {
    effect.setParameter(kAmplitudeClipIndex, amplitudeClipFor(values.getFloat(kHornDistanceIndex)));
}

} // namespace zel
