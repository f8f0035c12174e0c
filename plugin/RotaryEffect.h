// The effect object behind every plug-in instance: owns the engine, the current
// parameter values and (through its base) the 32 stored programs, and wraps the
// engine's per-frame routine in the two process entries with channel selection
// and the bypass crossfade.
#pragma once

#include "engine/EngineSettings.h"
#include "engine/Relaxed.h"
#include "engine/RotaryEngine.h"
#include "params/ParameterApplier.h"
#include "params/ParameterValues.h"
#include "plugin/ChannelSelection.h"
#include "plugin/ReadoutContext.h"
#include "presets/CPresetSystemEffect.h"

#include <array>
#include <memory>

namespace zel {

class RotaryEffect : public CPresetSystemEffect {
public:
    explicit RotaryEffect(vst::HostCallback host);
    ~RotaryEffect() override;

    void suspend() override;
    void resume() override;
    void setSampleRate(float rate) override;
    void processReplacing(float** inputs, float** outputs, int32_t frames) override;
    void processDoubleReplacing(double** inputs, double** outputs, int32_t frames) override;

    // Parameter application and read-back live with the parameter table (params/).
    void setParameter(int32_t index, float value) override;
    float getParameter(int32_t index) override;
    void getParameterLabel(int32_t index, char* label) override;
    void getParameterDisplay(int32_t index, char* text) override;
    void getParameterName(int32_t index, char* text) override;
    bool canParameterBeAutomated(int32_t index) override;
    bool getParameterProperties(int32_t index, vst::VstParameterProperties* properties) override;

    // Fixed answers to the host (plugin/RotaryEffectHostInfo.cpp).
    bool getInputProperties(int32_t index, vst::VstPinProperties* properties) override;
    bool getOutputProperties(int32_t index, vst::VstPinProperties* properties) override;
    bool setSpeakerArrangement(vst::VstSpeakerArrangement* input,
                               vst::VstSpeakerArrangement* output) override;
    int32_t getNumMidiInputChannels() override { return 1; }
    bool getEffectName(char* name) override;
    bool getVendorString(char* text) override;
    bool getProductString(char* text) override;
    int32_t getVendorVersion() override;
    int32_t canDo(const char* text) override;
    int32_t getPlugCategory() override { return vst::kPlugCategEffect; }

    // Only the host parameter set travels in programs, chunks and files.
    bool isParameterNotSaved(int32_t index) override { return !isStoredIndex(index); }
    bool isParameterNotLoaded(int32_t index) override { return !isStoredIndex(index); }
    // The factory programs (params/FactoryPrograms.cpp).
    void installFactoryPrograms() override;

    // MIDI control of the lever (presets/MidiControl.cpp).
    int32_t processEvents(vst::VstEvents* events) override;

    bool isStereoInput() const noexcept { return stereoInput; }
    bool isStereoOutput() const noexcept { return stereoOutput; }
    const ReadoutContext* getReadoutContext() const noexcept { return readoutContext.get(); }
    // The bypass crossfade as the audio thread last left it (0 processed, 1 dry).
    double getBypassLevel() const noexcept { return bypassLevel; }
    RotaryEngine& getEngine() noexcept { return *engine; }
    const RotaryEngine& getEngine() const noexcept { return *engine; }
    // Kept and derived parameter values (the receive channel, the last lever...).
    const ParameterApplier& getParameterApplier() const noexcept { return applier; }
    // 1 after the sustain pedal went down, 0 after it came up.
    double getPedalState() const noexcept { return pedalState; }

    // Applies the default of every parameter through setParameter
    // (params/FactoryDefaults.cpp).
    virtual void setDefaults();

    // The engine's structural operations, run by the audio thread (the fade's
    // rebuild tasks) and once each by the constructor.
    virtual void clearEngineState() { engine->clearEngineState(); }
    virtual void recomputeRateCoefficients() { engine->recomputeRateCoefficients(); }
    virtual void configureRate() { engine->configureRate(); }
    virtual void resetForRate() { engine->resetForRate(); }
    virtual void resetEngine() { engine->resetEngine(); }

protected:
    // The rotary speaker engine, created first so that everything after it in the
    // constructor can set it.
    std::unique_ptr<RotaryEngine> engine;
    // Structural requests raised by suspend, resume and parameter application,
    // carried out by the audio thread at the start of a block (the engine's).
    RebuildRequests& requests;

    Relaxed<bool> stereoInput{true};
    Relaxed<bool> stereoOutput{true};
    Relaxed<double> bypassTarget{0.0};
    ParameterValues parameterValues;
    // Every value reaches the engine through here; built after the engine and
    // the value store it writes.
    ParameterApplier applier{*engine, parameterValues, bypassTarget, *this};
    Relaxed<double> pedalState{0.0};

private:
    template <typename T> void processBlock(T** inputs, T** outputs, int32_t frames);
    void startBlock();
    // Tells the editor object about a parameter value, for every index.
    void notifyEditor(int32_t index, float value);

    std::unique_ptr<ReadoutContext> readoutContext;
    // Audio-thread state: written by resume only as a request, applied at block start.
    Relaxed<bool> bypassSnapRequest{false};
    Relaxed<double> bypassLevel{0.0};
    // One run's dry input and wet output, kept here rather than on the audio
    // thread's stack (16 KiB at the longest run, more than some hosts' audio
    // threads like to spare).
    struct RunBuffers {
        std::array<double, RotaryEngine::kRunFrames> dryLeft, dryRight, wetLeft, wetRight;
    };
    std::unique_ptr<RunBuffers> runBuffers{std::make_unique<RunBuffers>()};
};

} // namespace zel
