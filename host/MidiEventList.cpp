#include "host/MidiEventList.h"

#include <cstddef>
#include <cstring>

namespace zel::vortan {

static_assert(offsetof(vst::VstEvents, numEvents) == 0);
static_assert(offsetof(vst::VstEvents, reserved) == sizeof(void*));
static_assert(offsetof(vst::VstEvents, events) == 2 * sizeof(void*));

constexpr uint8_t kControlChange = 0xB0;

void MidiEventList::addController(int32_t deltaFrames, int channel, int controller, int value) {
    vst::VstMidiEvent event{};
    event.type = vst::kVstMidiType;
    event.byteSize = sizeof(vst::VstMidiEvent);
    event.deltaFrames = deltaFrames;
    event.midiData[0] = static_cast<char>(kControlChange | ((channel - 1) & 0x0F));
    event.midiData[1] = static_cast<char>(controller & 0x7F);
    event.midiData[2] = static_cast<char>(value & 0x7F);
    midi.push_back(event);
}

vst::VstEvents* MidiEventList::events() {
    storage.assign(2 + midi.size(), nullptr);
    const int32_t count = static_cast<int32_t>(midi.size());
    std::memcpy(&storage[0], &count, sizeof count);
    for (size_t i = 0; i < midi.size(); ++i) {
        storage[2 + i] = &midi[i];
    }
    return reinterpret_cast<vst::VstEvents*>(storage.data());
}

} // namespace zel::vortan
