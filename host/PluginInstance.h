// One plug-in instance driven the way a DAW drives it: created through the
// entry point, opened, told the rate, block size and speaker arrangement,
// switched on for processing, switched off, closed. Talks to the plug-in only
// through the VST 2.4 effect record.
#pragma once

#include "host/HostCallback.h"
#include "host/PluginModule.h"
#include "plugin/VstAbi.h"

#include <cstdint>
#include <string>

namespace zel::vortan {

// Limits on what a plug-in may announce before vortan allocates for it.
constexpr int32_t kMaxPluginChannels = 64;
constexpr int32_t kMaxPluginParameters = 100000;

class PluginInstance {
public:
    // Calls the entry point with the host callback; throws HostError when it
    // returns null or a record without the VST magic. `name` appears in messages.
    PluginInstance(EntryProc entry, HostState& state, std::string name);
    // Stops processing if running, then effClose.
    ~PluginInstance();
    PluginInstance(const PluginInstance&) = delete;
    PluginInstance& operator=(const PluginInstance&) = delete;

    const vst::AEffect& effect() const { return *record; }
    const std::string& name() const { return pluginName; }
    HostState& host() const { return binding.state(); }
    intptr_t dispatch(int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr,
                      float opt = 0.0f) const;

    // Lifecycle, in the order vortan calls it.
    void open();
    void setSampleRate(double rate);
    void setBlockSize(int32_t frames);
    // Tells the plug-in the channel counts; answers whether it accepted them.
    // The host's pin answers follow these counts either way.
    bool setSpeakerArrangement(int32_t inputs, int32_t outputs);
    void startProcessing(); // effMainsChanged(1), effStartProcess
    void stopProcessing();  // effStopProcess, effMainsChanged(0)

    int32_t inputCount() const { return record->numInputs; }
    int32_t outputCount() const { return record->numOutputs; }
    int32_t parameterCount() const { return record->numParams; }
    bool hasFlag(int32_t flag) const { return (record->flags & flag) != 0; }

    std::string text(int32_t opcode, int32_t index = 0) const; // a string-returning opcode
    std::string effectName() const { return text(vst::effGetEffectName); }
    std::string vendorString() const { return text(vst::effGetVendorString); }
    std::string productString() const { return text(vst::effGetProductString); }
    std::string parameterName(int32_t index) const { return text(vst::effGetParamName, index); }
    std::string parameterLabel(int32_t index) const { return text(vst::effGetParamLabel, index); }
    std::string parameterDisplay(int32_t index) const {
        return text(vst::effGetParamDisplay, index);
    }
    float parameter(int32_t index) const;
    void setParameter(int32_t index, float value);
    intptr_t canDo(const char* capability) const;

    // Block processing; buffers hold inputCount() and outputCount() channels.
    void process(float** inputs, float** outputs, int32_t frames);
    void processDouble(double** inputs, double** outputs, int32_t frames);
    intptr_t sendEvents(vst::VstEvents* events);

private:
    void validateRecord();

    HostBinding binding;
    std::string pluginName;
    vst::AEffect* record = nullptr;
    bool running = false;
};

} // namespace zel::vortan
