// The MIDI events vortan hands a plug-in before one block, laid out as the
// variable-length VstEvents list of the standard.
#pragma once

#include "plugin/VstAbi.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zel::vortan {

class MidiEventList {
public:
    void clear() { midi.clear(); }
    bool empty() const { return midi.empty(); }
    size_t size() const { return midi.size(); }

    // A control change: channel 1..16, controller and value 0..127.
    void addController(int32_t deltaFrames, int channel, int controller, int value);

    // The list as the plug-in reads it; valid until the next change of the list.
    vst::VstEvents* events();

private:
    std::vector<vst::VstMidiEvent> midi;
    // Pointer-sized slots: numEvents (padded), reserved, then one pointer per event,
    // which is exactly the VstEvents layout.
    std::vector<void*> storage;
};

} // namespace zel::vortan
