#include "host/PluginInstance.h"

#include "host/HostError.h"

#include <array>
#include <cstring>

namespace zel::vortan {

namespace {

// Larger than any text the standard allows, so that plug-ins writing more than
// their limit (many do) still stay inside it.
constexpr size_t kTextBufferSize = 512;

vst::VstSpeakerArrangement arrangementFor(int32_t channels) {
    vst::VstSpeakerArrangement arrangement{};
    arrangement.numChannels = channels;
    arrangement.type = channels == 1   ? vst::kSpeakerArrMono
                       : channels == 2 ? vst::kSpeakerArrStereo
                                       : vst::kSpeakerArrUserDefined;
    constexpr int32_t kSpeakerM = 0, kSpeakerL = 1, kSpeakerR = 2;
    if (channels == 1) {
        std::strcpy(arrangement.speakers[0].name, "M");
        arrangement.speakers[0].type = kSpeakerM;
    } else if (channels == 2) {
        std::strcpy(arrangement.speakers[0].name, "L");
        arrangement.speakers[0].type = kSpeakerL;
        arrangement.speakers[0].azimuth = -0.25f * 3.14159265f;
        std::strcpy(arrangement.speakers[1].name, "R");
        arrangement.speakers[1].type = kSpeakerR;
        arrangement.speakers[1].azimuth = 0.25f * 3.14159265f;
    }
    return arrangement;
}

} // namespace

PluginInstance::PluginInstance(EntryProc entry, HostState& state, std::string name)
    : binding(state), pluginName(std::move(name)) {
    record = entry(hostCallback);
    if (record == nullptr) throw HostError("plug-in '" + pluginName + "' returned no effect");
    if (record->magic != vst::kEffectMagic || record->dispatcher == nullptr) {
        record = nullptr; // nothing on it can be called safely
        throw HostError("plug-in '" + pluginName + "' returned a record that is not a VST effect");
    }
    binding.attach(record);
    try {
        validateRecord();
    } catch (...) {
        record->dispatcher(record, vst::effClose, 0, 0, nullptr, 0.0f);
        record = nullptr;
        throw;
    }
}

PluginInstance::~PluginInstance() {
    if (record == nullptr) return;
    if (running) stopProcessing();
    record->dispatcher(record, vst::effClose, 0, 0, nullptr, 0.0f);
}

void PluginInstance::validateRecord() {
    const auto outside = [](int32_t value, int32_t limit) { return value < 0 || value > limit; };
    if (outside(record->numInputs, kMaxPluginChannels) ||
        outside(record->numOutputs, kMaxPluginChannels)) {
        throw HostError("plug-in '" + pluginName + "' announces " +
                        std::to_string(record->numInputs) + " inputs and " +
                        std::to_string(record->numOutputs) + " outputs");
    }
    if (outside(record->numParams, kMaxPluginParameters) || record->numPrograms < 0) {
        throw HostError("plug-in '" + pluginName + "' announces " +
                        std::to_string(record->numParams) + " parameters");
    }
    if (record->numParams > 0 &&
        (record->setParameter == nullptr || record->getParameter == nullptr)) {
        throw HostError("plug-in '" + pluginName + "' has parameters but no parameter entries");
    }
}

intptr_t PluginInstance::dispatch(int32_t opcode, int32_t index, intptr_t value, void* ptr,
                                  float opt) const {
    return record->dispatcher(record, opcode, index, value, ptr, opt);
}

void PluginInstance::open() {
    dispatch(vst::effOpen);
}

void PluginInstance::setSampleRate(double rate) {
    host().sampleRate = rate;
    dispatch(vst::effSetSampleRate, 0, 0, nullptr, static_cast<float>(rate));
}

void PluginInstance::setBlockSize(int32_t frames) {
    host().blockSize = frames;
    dispatch(vst::effSetBlockSize, 0, frames);
}

bool PluginInstance::setSpeakerArrangement(int32_t inputs, int32_t outputs) {
    host().connectedInputs = inputs;
    host().connectedOutputs = outputs;
    vst::VstSpeakerArrangement in = arrangementFor(inputs);
    vst::VstSpeakerArrangement out = arrangementFor(outputs);
    return dispatch(vst::effSetSpeakerArrangement, 0, reinterpret_cast<intptr_t>(&in), &out) != 0;
}

void PluginInstance::startProcessing() {
    dispatch(vst::effMainsChanged, 0, 1);
    dispatch(vst::effStartProcess);
    running = true;
}

void PluginInstance::stopProcessing() {
    dispatch(vst::effStopProcess);
    dispatch(vst::effMainsChanged, 0, 0);
    running = false;
}

std::string PluginInstance::text(int32_t opcode, int32_t index) const {
    std::array<char, kTextBufferSize> buffer{};
    dispatch(opcode, index, 0, buffer.data());
    buffer.back() = '\0';
    return buffer.data();
}

float PluginInstance::parameter(int32_t index) const {
    return record->getParameter != nullptr ? record->getParameter(record, index) : 0.0f;
}

void PluginInstance::setParameter(int32_t index, float value) {
    if (record->setParameter != nullptr) record->setParameter(record, index, value);
}

intptr_t PluginInstance::canDo(const char* capability) const {
    return dispatch(vst::effCanDo, 0, 0, const_cast<char*>(capability));
}

void PluginInstance::process(float** inputs, float** outputs, int32_t frames) {
    if (record->processReplacing == nullptr) {
        throw HostError("plug-in '" + pluginName + "' has no replacing process entry");
    }
    host().processing = true;
    record->processReplacing(record, inputs, outputs, frames);
    host().processing = false;
}

void PluginInstance::processDouble(double** inputs, double** outputs, int32_t frames) {
    if (record->processDoubleReplacing == nullptr) {
        throw HostError("plug-in '" + pluginName + "' has no double-precision process entry");
    }
    host().processing = true;
    record->processDoubleReplacing(record, inputs, outputs, frames);
    host().processing = false;
}

intptr_t PluginInstance::sendEvents(vst::VstEvents* events) {
    return dispatch(vst::effProcessEvents, 0, 0, events);
}

} // namespace zel::vortan
