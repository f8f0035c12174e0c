// The host side of the VST 2.4 callback: what vortan tells a plug-in about
// itself, the transport and the pins, and what it records of the plug-in's own
// reports (automation, display updates, edit gestures).
#pragma once

#include "plugin/VstAbi.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <string_view>

namespace zel::vortan {

constexpr int32_t kHostVstVersion = 2400;
constexpr int32_t kHostVendorVersion = 1000;
constexpr std::string_view kHostVendor = "Zel Vortan project";
constexpr std::string_view kHostProduct = "vortan";
constexpr double kHostTempo = 120.0;

// The last value reported per parameter, kept without locks or allocation so
// that a plug-in may report from its audio thread and its editor at once.
class LiveAutomation {
public:
    explicit LiveAutomation(int32_t parameterCount);

    void record(int32_t index, float value) noexcept; // indices outside are dropped
    // The parameters reported so far with their last values.
    std::map<int32_t, float> reported() const;

private:
    int32_t count;
    std::unique_ptr<std::atomic<float>[]> values;
    std::unique_ptr<std::atomic<bool>[]> seen;
};

// Everything one hosted instance can ask of the host, and what it reported.
// The rate, block size and pins are set before processing starts; what may
// change while a plug-in processes on one thread and runs its editor on another
// is atomic.
struct HostState {
    double sampleRate = 44100.0;
    int32_t blockSize = 512;
    int32_t connectedInputs = 2;             // input pins below this index are connected
    int32_t connectedOutputs = 2;            // output pins below this index are connected
    bool realtime = false;                   // processing runs paced by the clock, not offline
    std::atomic<bool> processing = false;    // inside a process call of the plug-in
    std::atomic<int64_t> samplePosition = 0; // first frame of the block being processed

    // Reports go here while `live` is null (one thread only), else into `live`.
    std::map<int32_t, float> automated; // last value reported per parameter index
    LiveAutomation* live = nullptr;
    std::atomic<int64_t> automateCount = 0;
    std::atomic<int64_t> idleCount = 0;
    std::atomic<int64_t> updateDisplayCount = 0;
    std::atomic<int64_t> beginEditCount = 0;
    std::atomic<int64_t> endEditCount = 0;
};

// The callback handed to every plug-in entry point.
intptr_t hostCallback(vst::AEffect* effect, int32_t opcode, int32_t index, intptr_t value,
                      void* ptr, float opt) noexcept;

// The answer to audioMasterCanDo for one capability text (1 yes, 0 no).
intptr_t hostCanDo(std::string_view capability);

// Routes callbacks to a HostState for the binding's lifetime. Calls made before
// the effect record is known (from inside the entry point) and calls naming an
// unknown record reach the most recent binding.
class HostBinding {
public:
    explicit HostBinding(HostState& state);
    ~HostBinding();
    HostBinding(const HostBinding&) = delete;
    HostBinding& operator=(const HostBinding&) = delete;

    void attach(vst::AEffect* effect) { boundEffect = effect; }
    vst::AEffect* effect() const { return boundEffect; }
    HostState& state() const { return hostState; }

private:
    HostState& hostState;
    vst::AEffect* boundEffect = nullptr;
};

} // namespace zel::vortan
