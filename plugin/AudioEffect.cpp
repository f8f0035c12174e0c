#include "plugin/AudioEffect.h"

#include "plugin/HostText.h"

#include <cmath>

namespace zel {
namespace {

// The record's entries recover the effect object and forward to it. Nothing
// thrown inside the plug-in reaches the host: a request that fails that way
// answers 0.
intptr_t dispatchEntry(vst::AEffect* effect, int32_t opcode, int32_t index, intptr_t value,
                       void* ptr, float opt) noexcept {
    AudioEffect* self = AudioEffect::fromRecord(effect);
    if (self == nullptr) return 0;
    try {
        return self->dispatcher(opcode, index, value, ptr, opt);
    } catch (...) {
        return 0;
    }
}

void processEntry(vst::AEffect* effect, float** inputs, float** outputs, int32_t frames) noexcept {
    if (AudioEffect* self = AudioEffect::fromRecord(effect)) self->process(inputs, outputs, frames);
}

void processReplacingEntry(vst::AEffect* effect, float** inputs, float** outputs,
                           int32_t frames) noexcept {
    if (AudioEffect* self = AudioEffect::fromRecord(effect))
        self->processReplacing(inputs, outputs, frames);
}

void processDoubleReplacingEntry(vst::AEffect* effect, double** inputs, double** outputs,
                                 int32_t frames) noexcept {
    if (AudioEffect* self = AudioEffect::fromRecord(effect))
        self->processDoubleReplacing(inputs, outputs, frames);
}

void setParameterEntry(vst::AEffect* effect, int32_t index, float value) noexcept {
    if (AudioEffect* self = AudioEffect::fromRecord(effect)) self->setParameter(index, value);
}

float getParameterEntry(vst::AEffect* effect, int32_t index) noexcept {
    AudioEffect* self = AudioEffect::fromRecord(effect);
    return self == nullptr ? 0.0f : self->getParameter(index);
}

} // namespace

AudioEffect::AudioEffect(vst::HostCallback host, int32_t programCount, int32_t parameterCount)
    : hostCallback(host), numPrograms(programCount), numParams(parameterCount) {
    cEffect.magic = vst::kEffectMagic;
    cEffect.dispatcher = dispatchEntry;
    cEffect.process = processEntry;
    cEffect.setParameter = setParameterEntry;
    cEffect.getParameter = getParameterEntry;
    cEffect.numPrograms = programCount;
    cEffect.numParams = parameterCount;
    cEffect.numInputs = 1;
    cEffect.numOutputs = 2;
    cEffect.flags = 0;
    cEffect.ioRatio = 1.0f;
    cEffect.object = this;
    cEffect.user = nullptr;
    cEffect.uniqueID = vst::fourCharCode('N', 'o', 'E', 'f');
    cEffect.version = 1;
    cEffect.processReplacing = processReplacingEntry;
    cEffect.processDoubleReplacing = processDoubleReplacingEntry;
}

AudioEffect::~AudioEffect() = default;

AudioEffect* AudioEffect::fromRecord(vst::AEffect* effect) noexcept {
    return effect == nullptr ? nullptr : static_cast<AudioEffect*>(effect->object);
}

intptr_t AudioEffect::dispatcher(int32_t opcode, int32_t index, intptr_t value, void* ptr,
                                 float opt) {
    char* text = static_cast<char*>(ptr);
    // clang-format off
    switch (opcode) {
    case vst::effOpen: open(); return 0;
    case vst::effClose: close(); delete this; return 1;
    case vst::effSetProgram:
        if (value < numPrograms) setProgram(static_cast<int32_t>(value));
        return 0;
    case vst::effGetProgram: return getProgram();
    case vst::effSetProgramName: if (text) setProgramName(text); return 0;
    case vst::effGetProgramName: if (text) getProgramName(text); return 0;
    case vst::effGetParamLabel: if (text) getParameterLabel(index, text); return 0;
    case vst::effGetParamDisplay: if (text) getParameterDisplay(index, text); return 0;
    case vst::effGetParamName: if (text) getParameterName(index, text); return 0;
    case vst::effSetSampleRate: setSampleRate(opt); return 0;
    case vst::effSetBlockSize: setBlockSize(static_cast<int32_t>(value)); return 0;
    case vst::effMainsChanged: if (value != 0) resume(); else suspend(); return 0;
    case vst::effGetChunk: return ptr ? getChunk(static_cast<void**>(ptr), index != 0) : 0;
    case vst::effSetChunk: return setChunk(ptr, static_cast<int32_t>(value), index != 0);
    case vst::effEditGetRect:
        return editor && ptr && editor->getRect(static_cast<vst::ERect**>(ptr)) ? 1 : 0;
    case vst::effEditOpen: return editor && editor->open(ptr) ? 1 : 0;
    case vst::effEditClose: if (editor) editor->close(); return 0;
    case vst::effEditIdle: if (editor) editor->idle(); return 0;
    case vst::effIdentify: return kIdentify;
    default: return 0;
    }
    // clang-format on
}

void AudioEffect::getProgramName(char* name) {
    copyHostText(name, "", 1);
}
void AudioEffect::getParameterLabel(int32_t index, char* label) {
    copyHostText(label, "", 1);
}
void AudioEffect::getParameterDisplay(int32_t index, char* text) {
    copyHostText(text, "", 1);
}
void AudioEffect::getParameterName(int32_t index, char* text) {
    copyHostText(text, "", 1);
}

// Only a usable rate is stored: a zero, negative or non-finite rate from the
// host would turn every rate-derived coefficient into nonsense.
void AudioEffect::setSampleRate(float rate) {
    if (std::isfinite(rate) && rate > 0.0f) sampleRate = rate;
}

void AudioEffect::setEditor(std::unique_ptr<AEffEditor> newEditor) {
    editor = std::move(newEditor);
    setFlag(vst::effFlagsHasEditor, editor != nullptr);
}

void AudioEffect::setFlag(int32_t flag, bool state) noexcept {
    cEffect.flags = state ? (cEffect.flags | flag) : (cEffect.flags & ~flag);
}

intptr_t AudioEffect::callHost(int32_t opcode, int32_t index, intptr_t value, void* ptr,
                               float opt) {
    return hostCallback ? hostCallback(&cEffect, opcode, index, value, ptr, opt) : 0;
}

intptr_t AudioEffect::getMasterVersion() {
    return hasHost() ? callHost(vst::audioMasterVersion) : 1;
}

void AudioEffect::setParameterAutomated(int32_t index, float value) {
    setParameter(index, value);
    callHost(vst::audioMasterAutomate, index, 0, nullptr, value);
}

// The host answers 0 for a connected pin; without a host every pin counts as connected.
bool AudioEffect::isInputConnected(int32_t pin) {
    return !hasHost() || callHost(vst::audioMasterPinConnected, pin, 0) == 0;
}

bool AudioEffect::isOutputConnected(int32_t pin) {
    return !hasHost() || callHost(vst::audioMasterPinConnected, pin, 1) == 0;
}

bool AudioEffect::updateDisplay() {
    return callHost(vst::audioMasterUpdateDisplay) != 0;
}
bool AudioEffect::beginEdit(int32_t index) {
    return callHost(vst::audioMasterBeginEdit, index) != 0;
}
bool AudioEffect::endEdit(int32_t index) {
    return callHost(vst::audioMasterEndEdit, index) != 0;
}

} // namespace zel
