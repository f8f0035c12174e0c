// The extended VST 2.4 effect base: the opcodes added after the basic set, each
// turned into one virtual operation with the standard's neutral answer.
#pragma once

#include "plugin/AudioEffect.h"

namespace zel {

class AudioEffectX : public AudioEffect {
public:
    static constexpr int32_t kNoMidiProgram = -1;

    using AudioEffect::AudioEffect;

    intptr_t dispatcher(int32_t opcode, int32_t index, intptr_t value, void* ptr,
                        float opt) override;

    virtual int32_t processEvents(vst::VstEvents* events) { return 0; }
    virtual bool canParameterBeAutomated(int32_t index) { return false; }
    virtual bool getProgramNameIndexed(int32_t category, int32_t index, char* text) {
        return false;
    }
    virtual bool getInputProperties(int32_t index, vst::VstPinProperties* properties) {
        return false;
    }
    virtual bool getOutputProperties(int32_t index, vst::VstPinProperties* properties) {
        return false;
    }
    virtual int32_t getPlugCategory() { return vst::kPlugCategUnknown; }
    virtual bool setSpeakerArrangement(vst::VstSpeakerArrangement* input,
                                       vst::VstSpeakerArrangement* output) {
        return false;
    }
    virtual bool getEffectName(char* name) { return false; }
    virtual bool getVendorString(char* text) { return false; }
    virtual bool getProductString(char* text) { return false; }
    virtual int32_t getVendorVersion() { return 0; }
    // 1 for a capability the plug-in has, 0 for any other text.
    virtual int32_t canDo(const char* text) { return 0; }
    virtual bool getParameterProperties(int32_t index, vst::VstParameterProperties* properties) {
        return false;
    }
    virtual int32_t getVstVersion() { return 2400; }
    virtual int32_t getNumMidiInputChannels() { return 0; }
    virtual int32_t getNumMidiOutputChannels() { return 0; }
};

} // namespace zel
