// The byte layouts in which programs leave the effect: the bank image (all 32
// programs), the preset image (one program) and the two older layouts that are
// still read. The same layouts are the preset and bank files, the stored
// defaults and memories, and the body of the host chunk.
//
// Every layout starts with the identifier and a kind byte. The bank and preset
// images continue with a 41-byte header and a list of records, each a 12-byte
// head (type, length of what follows, program index) and its body.
#pragma once

#include "presets/ByteOrder.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace zel {

namespace image {

// Kinds, the byte after the identifier.
constexpr uint8_t kLegacyPresetKind = 0x21;
constexpr uint8_t kPresetKind = 0x22;
constexpr uint8_t kLegacyBankKind = 0x37;
constexpr uint8_t kBankKind = 0x38;

constexpr std::size_t kLeadSize = 5; // identifier and kind
constexpr std::size_t kHeaderSize = 41;
constexpr uint32_t kFormatMark = 0x01000100;

constexpr std::size_t kRecordHeadSize = 12;
constexpr int32_t kNameRecordType = 0;
constexpr int32_t kParameterRecordType = 1;
constexpr uint32_t kNameRecordLength = 156;
constexpr uint32_t kParameterRecordLength = 20;
constexpr std::size_t kNameRecordSize = kRecordHeadSize + kNameRecordLength;
constexpr std::size_t kParameterRecordSize = kRecordHeadSize + kParameterRecordLength;
// Offsets inside a record body (after the head).
constexpr std::size_t kNameOffset = 0;
constexpr std::size_t kParameterIndexOffset = 0;
constexpr std::size_t kParameterValueOffset = 12;
constexpr std::size_t kParameterBodyNeeded = kParameterValueOffset + 4;

constexpr std::size_t kNameSize = 24;

// The older layouts: a name and a row of floats per program, after the lead.
constexpr std::size_t kLegacyValueOffset = kNameSize;
constexpr int32_t kLegacyBankPrograms = 32;

// Values per program as the older layouts imply them from their total size
// (integer divisions, as the writers of those layouts laid them out).
constexpr int32_t legacyPresetValueCount(std::size_t total) noexcept {
    return (static_cast<int32_t>(total) - 29) / 4;
}
constexpr int32_t legacyBankValueCount(std::size_t total) noexcept {
    return ((static_cast<int32_t>(total) - 5) / 32 - 24) / 4;
}

} // namespace image

// How stored bytes relate to this machine: written here (or on a machine of the
// same byte order), written with the bytes of every field reversed, or not ours.
enum class ByteOrderMatch { Native, Reversed, Foreign };

// Compares the identifier at the start of bytes with ours. Fewer than four
// bytes are foreign. A reversed identifier is recognised first.
ByteOrderMatch matchIdentifier(std::span<const uint8_t> bytes, int32_t identifier) noexcept;

// The 41-byte header of a bank or preset image, fields in this machine's order.
struct ImageHeader {
    int32_t identifier = 0;
    uint8_t kind = 0;
    uint32_t formatMark = image::kFormatMark;
    int32_t parametersPerProgram = 0;
    int32_t recordCount = 0;
    int32_t currentProgram = 0;
    int32_t recordBytes = 0;
};

// Reads a header from the first 41 bytes; none when fewer are given. The
// identifier is kept as stored, the other fields are swapped when asked.
std::optional<ImageHeader> readImageHeader(std::span<const uint8_t> bytes, bool swapped) noexcept;

// One record as found: its type and program index, and its body bounded by its
// own length field.
struct ImageRecord {
    int32_t type = 0;
    int32_t program = 0;
    ByteView body;
};

// Walks a record list: at most `count` records, and never past the bytes given.
// A record whose head or body would run past the end ends the walk.
class RecordWalker {
public:
    RecordWalker(std::span<const uint8_t> records, bool swapped, int32_t count) noexcept
        : records_(records, swapped), remaining_(count > 0 ? count : 0) {}

    bool next(ImageRecord& record) noexcept;
    // True when the walk ended because the bytes ran out before the count did.
    bool cutShort() const noexcept { return cutShort_; }

private:
    ByteView records_;
    std::size_t position_ = 0;
    int32_t remaining_;
    bool cutShort_ = false;
};

// A parameter record's index and value; none when its body is too short to hold them.
struct ParameterEntry {
    int32_t parameter = 0;
    float value = 0.0f;
};
std::optional<ParameterEntry> readParameterRecord(const ImageRecord& record) noexcept;

// A name record's 24 name bytes; false when its body is too short to hold them.
bool readNameRecord(const ImageRecord& record, char (&name)[image::kNameSize]) noexcept;

void writeImageHeader(ByteWriter& out, const ImageHeader& header);
void writeNameRecord(ByteWriter& out, int32_t program, const char (&name)[image::kNameSize]);
void writeParameterRecord(ByteWriter& out, int32_t program, int32_t parameter, float value);

// A normalized value lies in 0..1; NaN does not.
constexpr bool isNormalizedValue(float value) noexcept {
    return value >= 0.0f && value <= 1.0f;
}

// A value outside 0..1 made fit for a bank image: below 0 and NaN become 0,
// above 1 becomes 1.
constexpr float clampNormalizedValue(float value) noexcept {
    return value > 1.0f ? 1.0f : (value >= 0.0f ? value : 0.0f);
}

// The standard-error line for a value that had to be clamped: action is "load"
// or "save", followed by the program's name (at most 24 bytes of it).
void reportInvalidValue(const char* action, int32_t parameter, float value, int32_t program,
                        const char (&name)[image::kNameSize]);

} // namespace zel
