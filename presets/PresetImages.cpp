// Building and applying the bank and preset images and reading the two older
// layouts: the part of the editor object that moves programs in and out as bytes.
#include "presets/CPresetSystemEditor.h"

#include "presets/CPresetSystemEffect.h"

#include <algorithm>
#include <cstring>

namespace zel {
namespace {

// Fields of the image header that follow from what the image holds.
ImageHeader headerFor(int32_t identifier, uint8_t kind, int32_t records, int32_t current,
                      int32_t recordBytes) {
    ImageHeader header;
    header.identifier = identifier;
    header.kind = kind;
    header.formatMark = image::kFormatMark;
    header.parametersPerProgram = kNumProgramValues;
    header.recordCount = records;
    header.currentProgram = current;
    header.recordBytes = recordBytes;
    return header;
}

// A name of up to 24 bytes as a terminated text.
struct NameText {
    explicit NameText(const char (&name)[kProgramNameSize]) {
        std::memcpy(text, name, kProgramNameSize);
        text[kProgramNameSize] = '\0';
    }
    char text[kProgramNameSize + 1];
};

// Copies the 24 name bytes of the older layouts' program at offset.
void copyLegacyName(const ByteView& data, std::size_t offset, char (&name)[kProgramNameSize]) {
    std::memcpy(name, data.sub(offset, kProgramNameSize).data(), kProgramNameSize);
}

} // namespace

std::vector<uint8_t> CPresetSystemEditor::serialiseBank() {
    std::vector<uint8_t> bytes;
    if (effect == nullptr) return bytes;
    CPresetSystemEffect& fx = *effect;
    int32_t saved = 0;
    for (int32_t j = 0; j < kNumProgramValues; ++j) saved += fx.isParameterNotSaved(j) ? 0 : 1;
    const int32_t records = kNumStoredPrograms * (1 + saved);
    const int32_t recordBytes =
        kNumStoredPrograms *
        static_cast<int32_t>(image::kNameRecordSize + saved * image::kParameterRecordSize);
    bytes.reserve(image::kHeaderSize + static_cast<std::size_t>(recordBytes));
    ByteWriter out(bytes);
    writeImageHeader(out, headerFor(fx.getPresetSystemId(), image::kBankKind, records,
                                    fx.getCurrentProgramIndex(), recordBytes));
    for (int32_t p = 0; p < kNumStoredPrograms; ++p) {
        const ProgramRecord& program = fx.program(p);
        writeNameRecord(out, p, program.name);
        for (int32_t j = 0; j < kNumProgramValues; ++j) {
            if (fx.isParameterNotSaved(j)) continue;
            float value = program.values[j];
            if (!isNormalizedValue(value)) {
                reportInvalidValue("save", j, value, p, program.name);
                value = clampNormalizedValue(value);
            }
            writeParameterRecord(out, p, j, value);
        }
    }
    return bytes;
}

// The current program with its values as they stand.
std::vector<uint8_t> CPresetSystemEditor::serialisePreset() {
    std::vector<uint8_t> bytes;
    if (effect == nullptr) return bytes;
    CPresetSystemEffect& fx = *effect;
    int32_t saved = 0;
    for (int32_t j = 0; j < kNumProgramValues; ++j) saved += fx.isParameterNotSaved(j) ? 0 : 1;
    const int32_t recordBytes =
        static_cast<int32_t>(image::kNameRecordSize + saved * image::kParameterRecordSize);
    bytes.reserve(image::kHeaderSize + static_cast<std::size_t>(recordBytes));
    ByteWriter out(bytes);
    writeImageHeader(
        out, headerFor(fx.getPresetSystemId(), image::kPresetKind, 1 + saved, 0, recordBytes));
    const ProgramRecord& program = fx.program(fx.getCurrentProgramIndex());
    writeNameRecord(out, 0, program.name);
    for (int32_t j = 0; j < kNumProgramValues; ++j)
        if (!fx.isParameterNotSaved(j)) writeParameterRecord(out, 0, j, program.values[j]);
    return bytes;
}

// A bank image replaces the programs it names; values outside 0..1 are clamped
// and reported, never refused. Ends with the image's current program selected.
// An image shorter than its record count says (a cut file, a short stored
// value) is refused and the store is left as it was.
bool CPresetSystemEditor::loadBankImage(std::span<const uint8_t> records, const ImageHeader& header,
                                        bool reversed) {
    if (effect == nullptr || header.recordCount < 0) return false;
    CPresetSystemEffect& fx = *effect;
    const int32_t current =
        (header.currentProgram >= 0 && header.currentProgram < kNumStoredPrograms)
            ? header.currentProgram
            : 0;
    const ProgramBank before = fx.copyStore();
    RecordWalker walker(records, reversed, header.recordCount);
    ImageRecord record;
    while (walker.next(record)) {
        const int32_t p = record.program;
        if (p < 0 || p >= kNumStoredPrograms) continue;
        if (record.type == image::kNameRecordType) {
            char name[kProgramNameSize];
            if (!readNameRecord(record, name)) continue;
            fx.resetProgramToTemplate(p);
            fx.setProgramNameBytes(p, name);
        } else if (record.type == image::kParameterRecordType) {
            const std::optional<ParameterEntry> entry = readParameterRecord(record);
            if (!entry) continue;
            float value = entry->value;
            if (!isNormalizedValue(value)) {
                reportInvalidValue("load", entry->parameter, value, p, fx.program(p).name);
                value = clampNormalizedValue(value);
            }
            fx.setProgramValue(p, entry->parameter, value);
        }
    }
    if (walker.cutShort()) {
        fx.restoreStore(before);
        return false;
    }
    fx.selectProgram(current);
    updateProgramPanel();
    return true;
}

// A preset image lands in the current program, whatever program its records
// name. A value outside 0..1, a negative record count or an image shorter than
// its record count says leaves the program as it was.
bool CPresetSystemEditor::loadPresetImage(std::span<const uint8_t> records,
                                          const ImageHeader& header, bool reversed) {
    if (effect == nullptr || header.recordCount < 0) return false;
    CPresetSystemEffect& fx = *effect;
    const int32_t p = fx.getCurrentProgramIndex();
    const ProgramRecord before = fx.program(p);
    fx.resetProgramToTemplate(p);
    RecordWalker walker(records, reversed, header.recordCount);
    ImageRecord record;
    while (walker.next(record)) {
        if (record.type == image::kNameRecordType) {
            char name[kProgramNameSize];
            if (readNameRecord(record, name)) fx.setProgramNameBytes(p, name);
        } else if (record.type == image::kParameterRecordType) {
            const std::optional<ParameterEntry> entry = readParameterRecord(record);
            if (!entry || entry->parameter < 0 || entry->parameter >= kNumProgramValues) continue;
            if (!isNormalizedValue(entry->value)) {
                fx.restoreProgram(p, before);
                return false;
            }
            fx.setProgramValue(p, entry->parameter, entry->value);
        }
    }
    if (walker.cutShort()) {
        fx.restoreProgram(p, before);
        return false;
    }
    const NameText name(fx.program(p).name);
    showProgramName(name.text);
    fx.selectProgram(p);
    return true;
}

// The older bank layout: per program 24 name bytes and valuesPerProgram floats.
// Programs that do not lie wholly inside the data refuse the load before
// anything changes; a value outside 0..1 restores the whole store.
bool CPresetSystemEditor::loadLegacyBank(std::span<const uint8_t> data, bool reversed,
                                         int32_t programs, int32_t valuesPerProgram) {
    if (effect == nullptr || programs <= 0 || valuesPerProgram < 0) return false;
    CPresetSystemEffect& fx = *effect;
    const ByteView view(data, reversed);
    const std::size_t stride = kProgramNameSize + 4 * static_cast<std::size_t>(valuesPerProgram);
    const std::size_t valuesRead = std::min<std::size_t>(valuesPerProgram, kNumProgramValues);
    const int32_t programsRead = std::min(programs, kNumStoredPrograms);
    if (!view.has(static_cast<std::size_t>(programsRead - 1) * stride,
                  kProgramNameSize + 4 * valuesRead))
        return false;

    const ProgramBank before = fx.copyStore();
    for (int32_t p = 0; p < programsRead; ++p) {
        const std::size_t start = static_cast<std::size_t>(p) * stride;
        fx.resetProgramToTemplate(p);
        char name[kProgramNameSize];
        copyLegacyName(view, start, name);
        fx.setProgramNameBytes(p, name);
        for (std::size_t j = 0; j < valuesRead; ++j) {
            const int32_t parameter = static_cast<int32_t>(j);
            if (fx.isParameterNotLoaded(parameter)) continue;
            const float value = view.f32(start + image::kLegacyValueOffset + 4 * j);
            if (!isNormalizedValue(value)) {
                fx.restoreStore(before);
                return false;
            }
            fx.setProgramValue(p, parameter, value);
        }
    }
    fx.selectProgram(0);
    updateProgramPanel();
    return true;
}

bool CPresetSystemEditor::loadLegacyPreset(std::span<const uint8_t> data, bool reversed,
                                           int32_t valuesPerProgram) {
    if (effect == nullptr || valuesPerProgram < 0) return false;
    CPresetSystemEffect& fx = *effect;
    const ByteView view(data, reversed);
    const std::size_t valuesRead = std::min<std::size_t>(valuesPerProgram, kNumProgramValues);
    if (!view.has(0, kProgramNameSize + 4 * valuesRead)) return false;

    const int32_t p = fx.getCurrentProgramIndex();
    const ProgramRecord before = fx.program(p);
    fx.resetProgramToTemplate(p);
    char name[kProgramNameSize];
    copyLegacyName(view, 0, name);
    fx.setProgramNameBytes(p, name);
    for (std::size_t j = 0; j < valuesRead; ++j) {
        const int32_t parameter = static_cast<int32_t>(j);
        if (fx.isParameterNotLoaded(parameter)) continue;
        const float value = view.f32(image::kLegacyValueOffset + 4 * j);
        if (!isNormalizedValue(value)) {
            fx.restoreProgram(p, before);
            return false;
        }
        fx.setProgramValue(p, parameter, value);
    }
    const NameText shown(name);
    showProgramName(shown.text);
    fx.selectProgram(p);
    return true;
}

// Reads a stored layout by its kind. Preset kinds go into the current program,
// bank kinds replace the store.
CPresetSystemEditor::LayoutResult CPresetSystemEditor::applyLayout(std::span<const uint8_t> bytes,
                                                                   bool invertByteOrder) {
    LayoutResult result;
    if (effect == nullptr || bytes.size() < image::kLeadSize) return result;
    const ByteOrderMatch match = matchIdentifier(bytes, effect->getPresetSystemId());
    if (match == ByteOrderMatch::Foreign) return result;
    result.identifierMatched = true;
    const bool swapped = (match == ByteOrderMatch::Reversed) != invertByteOrder;
    const uint8_t kind = bytes[4];
    const std::size_t total = bytes.size();
    const std::span<const uint8_t> afterLead = bytes.subspan(image::kLeadSize);

    switch (kind) {
    case image::kLegacyPresetKind:
        result.applied = loadLegacyPreset(afterLead, swapped, image::legacyPresetValueCount(total));
        break;
    case image::kLegacyBankKind:
        result.applied = loadLegacyBank(afterLead, swapped, image::kLegacyBankPrograms,
                                        image::legacyBankValueCount(total));
        break;
    case image::kPresetKind:
    case image::kBankKind: {
        const std::optional<ImageHeader> header = readImageHeader(bytes, swapped);
        if (!header) break;
        // As many record bytes as the header says, but no more than there are.
        const std::size_t declared =
            header->recordBytes > 0 ? static_cast<std::size_t>(header->recordBytes) : 0;
        const std::span<const uint8_t> rest = bytes.subspan(image::kHeaderSize);
        const std::span<const uint8_t> records = rest.first(std::min(declared, rest.size()));
        result.applied = kind == image::kPresetKind ? loadPresetImage(records, *header, swapped)
                                                    : loadBankImage(records, *header, swapped);
        break;
    }
    default:
        break; // not a kind of ours
    }
    return result;
}

} // namespace zel
