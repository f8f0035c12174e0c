#include "presets/BankImage.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace zel {

ByteOrderMatch matchIdentifier(std::span<const uint8_t> bytes, int32_t identifier) noexcept {
    const ByteView view(bytes, false);
    if (!view.has(0, 4)) return ByteOrderMatch::Foreign;
    const int32_t stored = view.i32(0);
    if (stored == byteSwap32(identifier)) return ByteOrderMatch::Reversed;
    if (stored == identifier) return ByteOrderMatch::Native;
    return ByteOrderMatch::Foreign;
}

std::optional<ImageHeader> readImageHeader(std::span<const uint8_t> bytes, bool swapped) noexcept {
    if (bytes.size() < image::kHeaderSize) return std::nullopt;
    const ByteView fields(bytes, swapped);
    ImageHeader header;
    header.identifier = ByteView(bytes, false).i32(0);
    header.kind = fields.u8(4);
    header.formatMark = fields.u32(5);
    header.parametersPerProgram = fields.i32(9);
    header.recordCount = fields.i32(13);
    header.currentProgram = fields.i32(17);
    header.recordBytes = fields.i32(21);
    return header;
}

bool RecordWalker::next(ImageRecord& record) noexcept {
    if (remaining_ <= 0) return false;
    if (!records_.has(position_, image::kRecordHeadSize)) {
        cutShort_ = true;
        return false;
    }
    const uint32_t length = records_.u32(position_ + 4);
    const std::size_t bodyStart = position_ + image::kRecordHeadSize;
    if (!records_.has(bodyStart, length)) {
        cutShort_ = true;
        return false;
    }
    record.type = records_.i32(position_);
    record.program = records_.i32(position_ + 8);
    record.body = ByteView(records_.sub(bodyStart, length), records_.swapped());
    position_ = bodyStart + length;
    --remaining_;
    return true;
}

std::optional<ParameterEntry> readParameterRecord(const ImageRecord& record) noexcept {
    if (!record.body.has(0, image::kParameterBodyNeeded)) return std::nullopt;
    return ParameterEntry{record.body.i32(image::kParameterIndexOffset),
                          record.body.f32(image::kParameterValueOffset)};
}

bool readNameRecord(const ImageRecord& record, char (&name)[image::kNameSize]) noexcept {
    const std::span<const uint8_t> bytes = record.body.sub(image::kNameOffset, image::kNameSize);
    if (bytes.size() != image::kNameSize) return false;
    std::memcpy(name, bytes.data(), image::kNameSize);
    return true;
}

void writeImageHeader(ByteWriter& out, const ImageHeader& header) {
    out.i32(header.identifier);
    out.u8(header.kind);
    out.u32(header.formatMark);
    out.i32(header.parametersPerProgram);
    out.i32(header.recordCount);
    out.i32(header.currentProgram);
    out.i32(header.recordBytes);
    out.zeros(image::kHeaderSize - 25);
}

void writeNameRecord(ByteWriter& out, int32_t program, const char (&name)[image::kNameSize]) {
    out.i32(image::kNameRecordType);
    out.u32(image::kNameRecordLength);
    out.i32(program);
    out.bytes(name, image::kNameSize);
    out.zeros(image::kNameRecordLength - image::kNameSize);
}

void writeParameterRecord(ByteWriter& out, int32_t program, int32_t parameter, float value) {
    out.i32(image::kParameterRecordType);
    out.u32(image::kParameterRecordLength);
    out.i32(program);
    out.i32(parameter);
    out.zeros(8);
    out.f32(value);
    out.zeros(4);
}

void reportInvalidValue(const char* action, int32_t parameter, float value, int32_t program,
                        const char (&name)[image::kNameSize]) {
    char head[160];
    std::snprintf(head, sizeof head, "Invalid parameter %d value %f on %s of preset %d ",
                  static_cast<int>(parameter), static_cast<double>(value), action,
                  static_cast<int>(program));
    std::string line(head);
    line.append(name, strnlen(name, image::kNameSize));
    line += '\n';
    std::fputs(line.c_str(), stderr);
}

} // namespace zel
