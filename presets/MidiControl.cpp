// MIDI control of the lever: the modulation wheel moves it, the sustain pedal
// throws it to either end. Only control changes on the receive channel count.
#include "plugin/RotaryEffect.h"

#include <algorithm>

namespace zel {

namespace {

constexpr int kLeverIndex = 2;
constexpr int kMidiOff = 0;
constexpr int kMidiOmni = 17;
constexpr uint8_t kControlChange = 0xB0;
constexpr uint8_t kModulationWheel = 1;
constexpr uint8_t kSustainPedal = 64;
constexpr float kPerStep = 0.007874016f; // 1 / 127
constexpr float kPedalDown = 0.5f;

struct ControlChange {
    uint8_t controller;
    float value; // 0..1
};

bool acceptsChannel(int setting, uint8_t status) {
    if (setting == kMidiOff) return false;
    if (setting == kMidiOmni) return true;
    return (status & 0x0F) == setting - 1;
}

// The control change a MIDI event carries on the receive channel, if any. Hosts
// fill byteSize differently (some leave out the type and size fields), so every
// event of the MIDI type counts whatever it says; only the MIDI bytes, inside the
// MIDI event's own layout, are read.
bool controlChangeOf(const vst::VstEvent* event, int channelSetting, ControlChange& change) {
    if (event == nullptr || event->type != vst::kVstMidiType) return false;
    const auto* midi = reinterpret_cast<const vst::VstMidiEvent*>(event);
    const auto status = static_cast<uint8_t>(midi->midiData[0]);
    if (!acceptsChannel(channelSetting, status)) return false;
    if ((status & 0xF0) != kControlChange) return false;
    const auto data2 = static_cast<uint8_t>(midi->midiData[2] & 0x7F);
    change.controller = static_cast<uint8_t>(midi->midiData[1] & 0x7F);
    change.value = std::clamp(static_cast<float>(data2) * kPerStep, 0.0f, 1.0f);
    return true;
}

} // namespace

int32_t RotaryEffect::processEvents(vst::VstEvents* events) {
    if (events == nullptr) return -1;
    const int32_t count = std::max<int32_t>(events->numEvents, 0);
    for (int32_t i = 0; i < count; ++i) {
        ControlChange change{};
        if (!controlChangeOf(events->events[i], applier.midiChannel(), change)) continue;
        if (change.controller == kModulationWheel) {
            engine->amp.modulationActivity = 1.0f;
            setParameterAutomated(kLeverIndex, change.value);
        } else if (change.controller == kSustainPedal) {
            // The host hears the lever where it was, then at the end it is thrown to.
            const bool down = change.value >= kPedalDown;
            pedalState = down ? 1.0 : 0.0;
            setParameterAutomated(kLeverIndex, getParameter(kLeverIndex));
            setParameterAutomated(kLeverIndex, down ? 1.0f : 0.0f);
        }
    }
    return 1;
}

} // namespace zel
