// The host side of the stress tests: a callback that answers like a DAW from
// any thread and records nothing, the speaker arrangements it offers, and MIDI
// event lists laid out as hosts lay them out, without heap.
#pragma once

#include "plugin/VstAbi.h"

#include <array>
#include <atomic>
#include <cstdint>

namespace zel::test {

// How many channels the host has connected on each side (pin answers).
inline std::atomic<int32_t> stressInputs{2};
inline std::atomic<int32_t> stressOutputs{2};

inline void setStressPins(int32_t inputs, int32_t outputs) {
    stressInputs = inputs;
    stressOutputs = outputs;
}

// Version 2.4; pin 1 connected on a stereo side (0 means connected); every
// other request answered 0, as a host that ignores it would.
inline intptr_t stressHostCallback(vst::AEffect*, int32_t opcode, int32_t index, intptr_t value,
                                   void*, float) {
    switch (opcode) {
    case vst::audioMasterVersion:
        return 2400;
    case vst::audioMasterPinConnected: {
        const int32_t channels = value == 0 ? stressInputs.load() : stressOutputs.load();
        return index < channels ? 0 : 1;
    }
    default:
        return 0;
    }
}

inline vst::VstSpeakerArrangement speakerArrangementOf(int32_t channels) {
    vst::VstSpeakerArrangement arrangement{};
    arrangement.type = channels == 1 ? vst::kSpeakerArrMono : vst::kSpeakerArrStereo;
    arrangement.numChannels = channels;
    return arrangement;
}

// Up to kCapacity events in one list: the count, the reserved field, then one
// pointer per event.
class MidiBatch {
public:
    static constexpr int kCapacity = 8;

    void clear() { count = 0; }
    void add(int status, int data1, int data2, int32_t byteSize) {
        if (count == kCapacity) return;
        vst::VstMidiEvent& e = events[count] = vst::VstMidiEvent{};
        e.type = vst::kVstMidiType;
        e.byteSize = byteSize;
        e.midiData[0] = static_cast<char>(status);
        e.midiData[1] = static_cast<char>(data1);
        e.midiData[2] = static_cast<char>(data2);
        ++count;
    }
    // An event of another type with the same size, which must be passed over.
    void addSysEx() {
        add(0xB0, 1, 127, sizeof(vst::VstMidiEvent));
        if (count > 0) events[count - 1].type = vst::kVstSysExType;
    }
    vst::VstEvents* list() {
        layout.numEvents = count;
        for (int i = 0; i < count; ++i)
            layout.events[i] = reinterpret_cast<vst::VstEvent*>(&events[i]);
        return reinterpret_cast<vst::VstEvents*>(&layout);
    }

private:
    struct Layout {
        int32_t numEvents = 0;
        intptr_t reserved = 0;
        std::array<vst::VstEvent*, kCapacity> events{};
    };
    std::array<vst::VstMidiEvent, kCapacity> events{};
    Layout layout;
    int count = 0;
};

} // namespace zel::test
