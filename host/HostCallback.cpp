#include "host/HostCallback.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace zel::vortan {

namespace {

struct CapabilityAnswer {
    std::string_view capability;
    intptr_t answer;
};

// What vortan does for a plug-in: it sends MIDI events and transport
// information and starts and stops processing; it shows an editor in a window
// of the size asked for at opening but cannot resize it, has no file selector
// and takes no events back.
constexpr std::array kHostCapabilities = {
    CapabilityAnswer{"sendVstEvents", 1},
    CapabilityAnswer{"sendVstMidiEvent", 1},
    CapabilityAnswer{"sendVstTimeInfo", 1},
    CapabilityAnswer{"startStopProcess", 1},
    CapabilityAnswer{"receiveVstEvents", 0},
    CapabilityAnswer{"receiveVstMidiEvent", 0},
    CapabilityAnswer{"reportConnectionChanges", 0},
    CapabilityAnswer{"acceptIOChanges", 0},
    CapabilityAnswer{"sizeWindow", 0},
    CapabilityAnswer{"offline", 0},
    CapabilityAnswer{"openFileSelector", 0},
    CapabilityAnswer{"closeFileSelector", 0},
    CapabilityAnswer{"supplyIdle", 0},
    CapabilityAnswer{"shellCategory", 0},
    CapabilityAnswer{"editFile", 0},
    CapabilityAnswer{"sendVstMidiEventFlagIsRealtime", 0},
};

constexpr int32_t kVstLangEnglish = 1;

std::vector<HostBinding*>& bindings() {
    static std::vector<HostBinding*> list;
    return list;
}

HostState* stateFor(vst::AEffect* effect) {
    auto& list = bindings();
    for (auto it = list.rbegin(); it != list.rend(); ++it) {
        if ((*it)->effect() == effect && effect != nullptr) return &(*it)->state();
    }
    return list.empty() ? nullptr : &list.back()->state();
}

// Copies text into a plug-in's buffer of the standard's size, always terminated.
intptr_t writeText(void* ptr, std::string_view text, size_t capacity) {
    if (ptr == nullptr || capacity == 0) return 0;
    const size_t length = std::min(text.size(), capacity - 1);
    std::memcpy(ptr, text.data(), length);
    static_cast<char*>(ptr)[length] = '\0';
    return 1;
}

// Bounded read of the capability text a plug-in passes.
std::string_view capabilityText(const void* ptr) {
    if (ptr == nullptr) return {};
    const char* text = static_cast<const char*>(ptr);
    constexpr size_t kLongest = 256;
    return {text, strnlen(text, kLongest)};
}

// One record per calling thread: the answer stays valid until that thread asks
// again, whatever the plug-in's other threads ask meanwhile.
vst::VstTimeInfo* fillTimeInfo(HostState& state) {
    thread_local vst::VstTimeInfo info;
    info = {};
    info.samplePos = static_cast<double>(state.samplePosition.load());
    info.sampleRate = state.sampleRate;
    info.tempo = kHostTempo;
    info.ppqPos = info.samplePos / state.sampleRate * kHostTempo / 60.0;
    info.timeSigNumerator = 4;
    info.timeSigDenominator = 4;
    info.barStartPos = 4.0 * static_cast<double>(static_cast<int64_t>(info.ppqPos / 4.0));
    info.flags = vst::kVstTempoValid | vst::kVstPpqPosValid | vst::kVstBarsValid |
                 vst::kVstTimeSigValid |
                 (state.processing || state.realtime ? vst::kVstTransportPlaying : 0);
    return &info;
}

void recordAutomation(HostState& state, int32_t index, float value) {
    ++state.automateCount;
    if (state.live != nullptr) {
        state.live->record(index, value);
        return;
    }
    try {
        state.automated[index] = value;
    } catch (...) {
        // Out of memory while recording: the count still tells that it happened.
    }
}

} // namespace

LiveAutomation::LiveAutomation(int32_t parameterCount)
    : count(parameterCount > 0 ? parameterCount : 0),
      values(std::make_unique<std::atomic<float>[]>(static_cast<size_t>(count))),
      seen(std::make_unique<std::atomic<bool>[]>(static_cast<size_t>(count))) {}

void LiveAutomation::record(int32_t index, float value) noexcept {
    if (index < 0 || index >= count) return;
    values[static_cast<size_t>(index)].store(value, std::memory_order_relaxed);
    seen[static_cast<size_t>(index)].store(true, std::memory_order_release);
}

std::map<int32_t, float> LiveAutomation::reported() const {
    std::map<int32_t, float> result;
    for (int32_t i = 0; i < count; ++i) {
        if (seen[static_cast<size_t>(i)].load(std::memory_order_acquire))
            result[i] = values[static_cast<size_t>(i)].load(std::memory_order_relaxed);
    }
    return result;
}

intptr_t hostCanDo(std::string_view capability) {
    for (const CapabilityAnswer& entry : kHostCapabilities) {
        if (entry.capability == capability) return entry.answer;
    }
    return 0;
}

intptr_t hostCallback(vst::AEffect* effect, int32_t opcode, int32_t index, intptr_t value,
                      void* ptr, float opt) noexcept {
    if (opcode == vst::audioMasterVersion) return kHostVstVersion;
    HostState* state = stateFor(effect);
    switch (opcode) {
    case vst::audioMasterAutomate:
        if (state != nullptr) recordAutomation(*state, index, opt);
        return 0;
    case vst::audioMasterCurrentId:
        return 0; // vortan hosts no shell plug-ins
    case vst::audioMasterIdle:
        if (state != nullptr) ++state->idleCount;
        return 0;
    case vst::audioMasterPinConnected: {
        if (state == nullptr) return 0;
        const int32_t connected = value == 0 ? state->connectedInputs : state->connectedOutputs;
        return index >= 0 && index < connected ? 0 : 1;
    }
    case vst::audioMasterGetTime:
        return state != nullptr ? reinterpret_cast<intptr_t>(fillTimeInfo(*state)) : 0;
    case vst::audioMasterGetSampleRate:
        return state != nullptr ? static_cast<intptr_t>(state->sampleRate) : 0;
    case vst::audioMasterGetBlockSize:
        return state != nullptr ? state->blockSize : 0;
    case vst::audioMasterGetCurrentProcessLevel:
        if (state == nullptr) return vst::kVstProcessLevelUnknown;
        if (!state->processing) return vst::kVstProcessLevelUser;
        return state->realtime ? vst::kVstProcessLevelRealtime : vst::kVstProcessLevelOffline;
    case vst::audioMasterGetVendorString:
        return writeText(ptr, kHostVendor, vst::kVstMaxVendorStrLen);
    case vst::audioMasterGetProductString:
        return writeText(ptr, kHostProduct, vst::kVstMaxProductStrLen);
    case vst::audioMasterGetVendorVersion:
        return kHostVendorVersion;
    case vst::audioMasterCanDo:
        return hostCanDo(capabilityText(ptr));
    case vst::audioMasterGetLanguage:
        return kVstLangEnglish;
    case vst::audioMasterUpdateDisplay:
        if (state != nullptr) ++state->updateDisplayCount;
        return 1;
    case vst::audioMasterBeginEdit:
        if (state != nullptr) ++state->beginEditCount;
        return 1;
    case vst::audioMasterEndEdit:
        if (state != nullptr) ++state->endEditCount;
        return 1;
    default:
        return 0;
    }
}

HostBinding::HostBinding(HostState& state) : hostState(state) {
    bindings().push_back(this);
}

HostBinding::~HostBinding() {
    auto& list = bindings();
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
}

} // namespace zel::vortan
