// The program store between the VST effect base and the rotary effect: 32 named
// programs of 36 normalized values, the host's program requests, and the
// operations through which the editor's preset functions work on the store.
// The host sees one program; the plug-in switches among its 32 by itself.
#pragma once

#include "engine/Relaxed.h"
#include "plugin/AudioEffectX.h"

#include <array>
#include <cstdint>
#include <span>
#include <vector>

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

using ProgramBank = std::array<ProgramRecord, kNumStoredPrograms>;

class CPresetSystemEditor;

// The host chunk: a tag, the identifier, then the bank image. The older chunk
// carried a small header and the program records as they lie in memory.
namespace chunk {
constexpr uint32_t kBankTag = 0x02000000;
constexpr uint32_t kLegacyTag = 0x01000000;
constexpr std::size_t kPrefixSize = 8;
constexpr std::size_t kBufferSize = 42289; // prefix and a full bank image
constexpr std::size_t kLegacyHeaderSize = 32;
// The older chunk is read through a buffer of this size; entries beyond it
// are refused.
constexpr std::size_t kLegacyStagingSize =
    kLegacyHeaderSize + kNumStoredPrograms * sizeof(ProgramRecord);
constexpr std::size_t kLegacyNameSize = kProgramNameSize;
} // namespace chunk

class CPresetSystemEffect : public AudioEffectX {
public:
    CPresetSystemEffect(vst::HostCallback host, int32_t programCount, int32_t parameterCount);
    ~CPresetSystemEffect() override;

    // Host-facing operations.
    intptr_t dispatcher(int32_t opcode, int32_t index, intptr_t value, void* ptr,
                        float opt) override;
    void suspend() override {}
    void resume() override {}
    void processDoubleReplacing(double** inputs, double** outputs, int32_t frames) override {}
    void setParameter(int32_t index, float value) override;
    float getParameter(int32_t index) override;
    int32_t getProgram() override { return 0; }
    void setProgram(int32_t program) override {}
    void setProgramName(char* name) override;
    void getProgramName(char* name) override;
    // The chunk always carries all 32 programs; isPreset is not looked at.
    int32_t getChunk(void** data, bool isPreset) override;
    int32_t setChunk(void* data, int32_t byteSize, bool isPreset) override;
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
    // The attached editor object, when it is the preset system's.
    CPresetSystemEditor* presetEditor() const noexcept;

    // Write access for the editor's preset functions. Out-of-range program or
    // parameter indices are ignored.
    ProgramBank copyStore() const { return programs; }
    void restoreStore(const ProgramBank& bank) { programs = bank; }
    void restoreProgram(int32_t index, const ProgramRecord& record);
    // Copies 24 name bytes as they stand (a name from a file or a chunk).
    void setProgramNameBytes(int32_t index, const char (&name)[kProgramNameSize]);
    void setProgramValue(int32_t index, int32_t parameter, float value);

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
    // Handed to the host by getChunk; valid until the next getChunk.
    std::vector<uint8_t> chunkBuffer;

private:
    int32_t loadLegacyChunk(std::span<const uint8_t> bytes, bool reversed);
    static void storeName(ProgramRecord& record, const char* name);
    static void copyNameOut(const ProgramRecord& record, char* text);
};

} // namespace zel
