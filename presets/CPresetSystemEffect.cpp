#include "presets/CPresetSystemEffect.h"

#include <cstring>

namespace zel {

CPresetSystemEffect::CPresetSystemEffect(vst::HostCallback host, int32_t programCount,
                                         int32_t parameterCount)
    : AudioEffectX(host, programCount, parameterCount) {
    programsAreChunks(true);
    templateProgram = programs[0];
}

CPresetSystemEffect::~CPresetSystemEffect() = default;

void CPresetSystemEffect::setParameter(int32_t index, float value) {
    if (isStoredIndex(index)) currentProgram().values[index] = value;
}

float CPresetSystemEffect::getParameter(int32_t index) {
    return isStoredIndex(index) ? currentProgram().values[index].load() : -1.0f;
}

void CPresetSystemEffect::setProgramName(char* name) {
    if (name != nullptr) storeName(currentProgram(), name);
}

void CPresetSystemEffect::getProgramName(char* name) {
    copyNameOut(currentProgram(), name);
}

bool CPresetSystemEffect::getProgramNameIndexed(int32_t category, int32_t index, char* text) {
    if (!isProgramIndex(index)) return false;
    copyNameOut(programs[index], text);
    return true;
}

void CPresetSystemEffect::selectProgram(int32_t index) {
    if (!isProgramIndex(index)) return;
    loadingProgram = true;
    curProgram = 0;
    currentProgramIndex = index;
    const ProgramRecord& record = programs[index];
    for (int32_t i = 0; i < kNumProgramValues; ++i) {
        const float v = record.values[i];
        if (v >= 0.0f && v <= 1.0f) // skips values out of range and NaN
            setParameter(i, v);
    }
    updateDisplay();
    beginEdit(0);
    endEdit(0);
    loadingProgram = false;
}

void CPresetSystemEffect::renameCurrentProgram(const char* name) {
    curProgram = 0;
    if (name != nullptr) storeName(currentProgram(), name);
    updateDisplay();
}

void CPresetSystemEffect::resetProgramToTemplate(int32_t index) {
    if (isProgramIndex(index)) programs[index] = templateProgram;
}

void CPresetSystemEffect::captureTemplateProgram() {
    templateProgram = programs[0];
}

const ProgramRecord& CPresetSystemEffect::program(int32_t index) const {
    return programs[isProgramIndex(index) ? index : 0];
}

void CPresetSystemEffect::storeIntoAllPrograms(int32_t index, float value) {
    if (!isStoredIndex(index)) return;
    for (ProgramRecord& record : programs) record.values[index] = value;
}

// A name set from a text keeps at most 23 characters and is zero-padded.
void CPresetSystemEffect::storeName(ProgramRecord& record, const char* name) {
    const std::size_t length = strnlen(name, kMaxProgramNameLength);
    std::memset(record.name, 0, sizeof record.name);
    std::memcpy(record.name, name, length);
}

// A name goes to the host as at most 23 characters and a terminator: 24 bytes,
// the size of the host's program-name buffer. Names copied from files may fill
// all 24 bytes without a terminator; they are cut.
void CPresetSystemEffect::copyNameOut(const ProgramRecord& record, char* text) {
    if (text == nullptr) return;
    const std::size_t length = strnlen(record.name, kMaxProgramNameLength);
    std::memcpy(text, record.name, length);
    text[length] = '\0';
}

} // namespace zel
