// The program store between the VST effect base and the rotary effect: 32 named
// programs of 36 normalized values, the host's program requests, and the
// operations through which the editor's preset functions work on the store.
// The host sees one program; the plug-in switches among its 32 by itself.
#pragma once

#include "engine/Relaxed.h"
#include "plugin/AudioEffectX.h"

#include <array>
#include <cstdint>

namespace zel {

constexpr int32_t kNumStoredPrograms = 32;
constexpr int32_t kNumProgramValues = 36;
constexpr int32_t kProgramNameSize = 24; // bytes, terminator included
constexpr int32_t kMaxProgramNameLength = kProgramNameSize - 1;

// One stored program: its name and the normalized values of parameters 0..35.
// Values are written by whichever thread sets a parameter (MIDI arrives on the
// audio thread) and read by the user-interface thread, hence relaxed atomics.
struct ProgramRecord {
    char name[kProgramNameSize] = {};
    Relaxed<float> values[kNumProgramValues] = {};
};
static_assert(sizeof(ProgramRecord) == kProgramNameSize + 4 * kNumProgramValues);

class CPresetSystemEffect : public AudioEffectX {
public:
    CPresetSystemEffect(vst::HostCallback host, int32_t programCount, int32_t parameterCount);
    ~CPresetSystemEffect() override;

    // Host-facing operations.
    void suspend() override {}
    void resume() override {}
    void processDoubleReplacing(double** inputs, double** outputs, int32_t frames) override {}
    void setParameter(int32_t index, float value) override;
    float getParameter(int32_t index) override;
    int32_t getProgram() override { return 0; }
    void setProgram(int32_t program) override {}
    void setProgramName(char* name) override;
    void getProgramName(char* name) override;
    int32_t getChunk(void** data, bool isPreset) override { return 0; }
    int32_t setChunk(void* data, int32_t byteSize, bool isPreset) override { return -1; }
    bool getProgramNameIndexed(int32_t category, int32_t index, char* text) override;

    // Store operations, in slot order.
    virtual int32_t getCurrentProgramIndex() { return currentProgramIndex; }
    virtual void selectProgram(int32_t index);
    virtual void renameCurrentProgram(const char* name);
    virtual void spareHook4() {}
    virtual void spareHook5() {}
    virtual void spareHook6() {}
    virtual int32_t spareQuery7() { return 0; }
    virtual int32_t spareQuery8() { return 0; }
    virtual bool spareQuery9() { return false; }
    virtual void spareHook10() {}
    virtual void spareHook11() {}
    virtual void spareHook12() {}
    virtual void spareHook13() {}
    virtual void spareHook14() {}
    virtual int32_t getPresetSystemId() { return cEffect.uniqueID; }
    virtual void resetProgramToTemplate(int32_t index);
    virtual bool isParameterNotSaved(int32_t index) = 0;
    virtual bool isParameterNotLoaded(int32_t index) = 0;
    virtual void captureTemplateProgram();
    virtual void installFactoryPrograms() {}
    virtual void spareHook21() {}

    // Read access for the editor's preset functions and for tests.
    const ProgramRecord& program(int32_t index) const;
    bool isLoadingProgram() const noexcept { return loadingProgram; }

protected:
    static bool isStoredIndex(int32_t index) noexcept {
        return index >= 0 && index < kNumProgramValues;
    }
    static bool isProgramIndex(int32_t index) noexcept {
        return index >= 0 && index < kNumStoredPrograms;
    }
    ProgramRecord& currentProgram() noexcept { return programs[currentProgramIndex.load()]; }
    // A program-independent parameter keeps the same value in every program.
    void storeIntoAllPrograms(int32_t index, float value);

    std::array<ProgramRecord, kNumStoredPrograms> programs{};
    Relaxed<int32_t> currentProgramIndex{0};
    ProgramRecord templateProgram{};
    Relaxed<bool> loadingProgram{false};

private:
    static void storeName(ProgramRecord& record, const char* name);
    static void copyNameOut(const ProgramRecord& record, char* text);
};

} // namespace zel
