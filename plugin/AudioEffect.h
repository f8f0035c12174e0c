// The VST 2.4 effect base: owns the effect record the host sees, keeps the host
// callback, sample rate, block size and editor, turns the basic dispatcher
// opcodes into virtual operations and wraps the host callbacks.
#pragma once

#include "engine/Relaxed.h"
#include "plugin/AEffEditor.h"
#include "plugin/VstAbi.h"

#include <cstdint>
#include <memory>

namespace zel {

class AudioEffect {
public:
    static constexpr float kDefaultSampleRate = 44100.0f;
    static constexpr int32_t kDefaultBlockSize = 1024;
    // The standard answer to effIdentify.
    static constexpr int32_t kIdentify = vst::fourCharCode('N', 'v', 'E', 'f');

    AudioEffect(vst::HostCallback host, int32_t programCount, int32_t parameterCount);
    virtual ~AudioEffect();

    AudioEffect(const AudioEffect&) = delete;
    AudioEffect& operator=(const AudioEffect&) = delete;

    vst::AEffect* getAeffect() noexcept { return &cEffect; }
    static AudioEffect* fromRecord(vst::AEffect* effect) noexcept;

    // Answers one host request; effClose destroys this object.
    virtual intptr_t dispatcher(int32_t opcode, int32_t index, intptr_t value, void* ptr,
                                float opt);

    virtual void open() {}
    virtual void close() {}

    virtual void setProgram(int32_t program) { curProgram = program; }
    virtual int32_t getProgram() { return curProgram; }
    virtual void setProgramName(char* name) {}
    virtual void getProgramName(char* name);

    virtual void setParameter(int32_t index, float value) {}
    virtual float getParameter(int32_t index) { return 0.0f; }
    virtual void getParameterLabel(int32_t index, char* label);
    virtual void getParameterDisplay(int32_t index, char* text);
    virtual void getParameterName(int32_t index, char* text);

    virtual int32_t getChunk(void** data, bool isPreset) { return 0; }
    virtual int32_t setChunk(void* data, int32_t byteSize, bool isPreset) { return 0; }

    virtual void setSampleRate(float rate);
    virtual void setBlockSize(int32_t size) { blockSize = size; }
    virtual void suspend() {}
    virtual void resume() {}

    // The deprecated accumulating process call does nothing.
    virtual void process(float** inputs, float** outputs, int32_t frames) {}
    virtual void processReplacing(float** inputs, float** outputs, int32_t frames) = 0;
    virtual void processDoubleReplacing(double** inputs, double** outputs, int32_t frames) {}

    float getSampleRate() const noexcept { return sampleRate; }
    int32_t getBlockSize() const noexcept { return blockSize; }
    int32_t getNumPrograms() const noexcept { return numPrograms; }
    int32_t getNumParams() const noexcept { return numParams; }

    // Editor ownership: the effect deletes its editor; attaching one sets the
    // editor flag of the record, detaching (null) clears it.
    void setEditor(std::unique_ptr<AEffEditor> newEditor);
    AEffEditor* getEditor() const noexcept { return editor.get(); }

    // Host callbacks. Without a host callback each answers as a host that
    // accepted the request would, without calling anything.
    intptr_t getMasterVersion();
    void setParameterAutomated(int32_t index, float value);
    bool isInputConnected(int32_t pin);
    bool isOutputConnected(int32_t pin);
    bool updateDisplay();
    bool beginEdit(int32_t index);
    bool endEdit(int32_t index);

protected:
    // Effect record setup, as the VST 2.4 base classes name it.
    void setUniqueID(int32_t id) { cEffect.uniqueID = id; }
    void setNumInputs(int32_t inputs) { cEffect.numInputs = inputs; }
    void setNumOutputs(int32_t outputs) { cEffect.numOutputs = outputs; }
    void setInitialDelay(int32_t delay) { cEffect.initialDelay = delay; }
    void canProcessReplacing(bool state = true) { setFlag(vst::effFlagsCanReplacing, state); }
    void canDoubleReplacing(bool state = true) { setFlag(vst::effFlagsCanDoubleReplacing, state); }
    void programsAreChunks(bool state = true) { setFlag(vst::effFlagsProgramChunks, state); }

    intptr_t callHost(int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr,
                      float opt = 0.0f);
    bool hasHost() const noexcept { return hostCallback != nullptr; }

    const vst::HostCallback hostCallback;
    Relaxed<float> sampleRate{kDefaultSampleRate};
    std::unique_ptr<AEffEditor> editor;
    const int32_t numPrograms;
    const int32_t numParams;
    Relaxed<int32_t> curProgram{0};
    Relaxed<int32_t> blockSize{kDefaultBlockSize};
    vst::AEffect cEffect{};

private:
    void setFlag(int32_t flag, bool state) noexcept;
};

} // namespace zel
