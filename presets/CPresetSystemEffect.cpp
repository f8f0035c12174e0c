#include "presets/CPresetSystemEffect.h"

#include "presets/BankImage.h"
#include "presets/ByteOrder.h"
#include "presets/CPresetSystemEditor.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace zel {

CPresetSystemEffect::CPresetSystemEffect(vst::HostCallback host, int32_t programCount,
                                         int32_t parameterCount)
    : AudioEffectX(host, programCount, parameterCount) {
    programsAreChunks(true);
    templateProgram = programs[0];
    chunkBuffer.reserve(chunk::kBufferSize);
}

CPresetSystemEffect::~CPresetSystemEffect() = default;

// The host passes the chunk size as a pointer-sized value; one that does not
// fit the 32-bit size of setChunk is refused rather than cut.
intptr_t CPresetSystemEffect::dispatcher(int32_t opcode, int32_t index, intptr_t value, void* ptr,
                                         float opt) {
    if (opcode == vst::effSetChunk) {
        if (value < 0 || value > std::numeric_limits<int32_t>::max()) return -1;
        return setChunk(ptr, static_cast<int32_t>(value), index != 0);
    }
    return AudioEffectX::dispatcher(opcode, index, value, ptr, opt);
}

void CPresetSystemEffect::setParameter(int32_t index, float value) {
    if (isStoredIndex(index)) currentProgram().values[index] = value;
}

float CPresetSystemEffect::getParameter(int32_t index) {
    return isStoredIndex(index) ? currentProgram().values[index].load() : -1.0f;
}

void CPresetSystemEffect::setProgramName(char* name) {
    if (name == nullptr) return;
    ProgramRecord& record = currentProgram();
    storeName(record, name);
    if (CPresetSystemEditor* presets = presetEditor()) presets->programNameChanged(record.name);
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
    if (CPresetSystemEditor* presets = presetEditor()) presets->loadStartupDefaults();
}

int32_t CPresetSystemEffect::getChunk(void** data, bool isPreset) {
    if (data == nullptr) return 0;
    CPresetSystemEditor* presets = presetEditor();
    if (presets == nullptr) return 0;
    const std::vector<uint8_t> image = presets->serialiseBank();
    if (image.empty()) return 0;
    chunkBuffer.clear();
    ByteWriter out(chunkBuffer);
    out.u32(chunk::kBankTag);
    out.i32(getPresetSystemId());
    out.bytes(image.data(), image.size());
    *data = chunkBuffer.data();
    return static_cast<int32_t>(chunkBuffer.size());
}

// Accepts the bank chunk and the older chunk, in this machine's byte order or
// reversed (told by the identifier): 0 when taken, -1 when refused. A bank
// image that its reader refuses (negative record count, cut short) is a
// refused chunk too.
int32_t CPresetSystemEffect::setChunk(void* data, int32_t byteSize, bool isPreset) {
    if (data == nullptr || byteSize < static_cast<int32_t>(chunk::kPrefixSize)) return -1;
    const std::span<const uint8_t> bytes(static_cast<const uint8_t*>(data),
                                         static_cast<std::size_t>(byteSize));
    const int32_t identifier = ByteView(bytes, false).i32(4);
    bool reversed = false;
    if (identifier == getPresetSystemId())
        reversed = false;
    else if (identifier == byteSwap32(getPresetSystemId()))
        reversed = true;
    else
        return -1;

    const uint32_t tag = ByteView(bytes, reversed).u32(0);
    if (tag == chunk::kLegacyTag) return loadLegacyChunk(bytes, reversed);
    if (tag != chunk::kBankTag) return -1;

    const std::span<const uint8_t> body = bytes.subspan(chunk::kPrefixSize);
    const std::optional<ImageHeader> header = readImageHeader(body, reversed);
    CPresetSystemEditor* presets = presetEditor();
    if (!header || presets == nullptr) return -1;
    return presets->loadBankImage(body.subspan(image::kHeaderSize), *header, reversed) ? 0 : -1;
}

// The older chunk: a 32-byte header (tag, identifier, program count, current
// program, four unused fields), then per program its 24 name bytes and its
// values. The stride follows from the size and the count. A count of 0 or
// less, or programs that do not lie wholly inside the bytes read, refuse the
// chunk before anything changes. A value outside 0..1 stops the load there.
int32_t CPresetSystemEffect::loadLegacyChunk(std::span<const uint8_t> bytes, bool reversed) {
    const ByteView staged(bytes.first(std::min(bytes.size(), chunk::kLegacyStagingSize)), reversed);
    if (!staged.has(0, chunk::kLegacyHeaderSize)) return -1;
    const int32_t count = staged.i32(8);
    if (count <= 0) return -1;
    const std::size_t stride = (bytes.size() - chunk::kLegacyHeaderSize) / count;
    if (stride < chunk::kLegacyNameSize) return -1;
    const std::size_t valuesPerProgram = (stride - chunk::kLegacyNameSize) / 4;
    const std::size_t programStride = chunk::kLegacyNameSize + 4 * valuesPerProgram;
    const std::size_t valuesRead = std::min<std::size_t>(valuesPerProgram, kNumProgramValues);
    const int32_t programsRead = std::min(count, kNumStoredPrograms);
    const std::size_t lastStart =
        chunk::kLegacyHeaderSize + static_cast<std::size_t>(programsRead - 1) * programStride;
    if (!staged.has(lastStart, chunk::kLegacyNameSize + 4 * valuesRead)) return -1;

    for (int32_t p = 0; p < programsRead; ++p) {
        const std::size_t start =
            chunk::kLegacyHeaderSize + static_cast<std::size_t>(p) * programStride;
        resetProgramToTemplate(p);
        char name[kProgramNameSize];
        std::memcpy(name, staged.sub(start, kProgramNameSize).data(), kProgramNameSize);
        setProgramNameBytes(p, name);
        for (std::size_t j = 0; j < valuesRead; ++j) {
            const int32_t parameter = static_cast<int32_t>(j);
            if (isParameterNotLoaded(parameter)) continue;
            const float value = staged.f32(start + chunk::kLegacyNameSize + 4 * j);
            if (!isNormalizedValue(value)) return -1;
            setProgramValue(p, parameter, value);
        }
    }
    const int32_t current = staged.i32(12);
    selectProgram(isProgramIndex(current) ? current : 0);
    return 0;
}

const ProgramRecord& CPresetSystemEffect::program(int32_t index) const {
    return programs[isProgramIndex(index) ? index : 0];
}

CPresetSystemEditor* CPresetSystemEffect::presetEditor() const noexcept {
    return dynamic_cast<CPresetSystemEditor*>(getEditor());
}

void CPresetSystemEffect::restoreProgram(int32_t index, const ProgramRecord& record) {
    if (isProgramIndex(index)) programs[index] = record;
}

void CPresetSystemEffect::setProgramNameBytes(int32_t index, const char (&name)[kProgramNameSize]) {
    if (isProgramIndex(index)) std::memcpy(programs[index].name, name, kProgramNameSize);
}

void CPresetSystemEffect::setProgramValue(int32_t index, int32_t parameter, float value) {
    if (isProgramIndex(index) && isStoredIndex(parameter))
        programs[index].values[parameter] = value;
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
