#include "host/ProgramChunk.h"

#include "host/HostError.h"

#include <cstring>

namespace zel::vortan {

namespace {

constexpr size_t kPrefixSize = 8;
constexpr size_t kHeaderSize = 41;
constexpr size_t kRecordHeadSize = 12;
constexpr size_t kNameSize = 24;
constexpr uint8_t kBankKind = 0x38;
constexpr size_t kRecordCountOffset = 13;
constexpr size_t kCurrentProgramOffset = 17;

uint32_t swapped(uint32_t x) {
    return (x >> 24) | ((x >> 8) & 0xFF00u) | ((x << 8) & 0xFF0000u) | (x << 24);
}

// 32-bit fields of outside bytes, every read checked against the end.
class Fields {
public:
    Fields(std::span<const uint8_t> data, bool swap) : bytes(data), reversed(swap) {}
    bool has(size_t offset, size_t count) const {
        return offset <= bytes.size() && count <= bytes.size() - offset;
    }
    uint32_t u32(size_t offset) const {
        if (!has(offset, 4)) throw HostError("the chunk is cut short");
        uint32_t x;
        std::memcpy(&x, bytes.data() + offset, 4);
        return reversed ? swapped(x) : x;
    }
    int32_t i32(size_t offset) const { return static_cast<int32_t>(u32(offset)); }
    float f32(size_t offset) const {
        const uint32_t bits = u32(offset);
        float x;
        std::memcpy(&x, &bits, 4);
        return x;
    }

private:
    std::span<const uint8_t> bytes;
    bool reversed;
};

// Whether bytes that start with an identifier are in this machine's order
// (false) or reversed (true); throws when the identifier is not this plug-in's.
bool byteOrderOf(std::span<const uint8_t> bytes, size_t at, int32_t uniqueId, const char* what) {
    const Fields native(bytes, false);
    if (!native.has(at, 4)) throw HostError(std::string(what) + " is too short");
    const uint32_t id = native.u32(at);
    if (id == static_cast<uint32_t>(uniqueId)) return false;
    if (id == swapped(static_cast<uint32_t>(uniqueId))) return true;
    throw HostError(std::string(what) + " belongs to another plug-in");
}

// Checks the tag, identifier and header of a bank chunk; answers its byte order.
bool checkBankChunk(std::span<const uint8_t> chunk, int32_t uniqueId) {
    const bool reversed = byteOrderOf(chunk, 4, uniqueId, "the chunk");
    const Fields fields(chunk, reversed);
    if (fields.u32(0) != kBankChunkTag) throw HostError("the chunk does not hold a bank image");
    if (!fields.has(kPrefixSize, kHeaderSize) || chunk[kPrefixSize + 4] != kBankKind)
        throw HostError("the chunk does not hold a bank image");
    return reversed;
}

} // namespace

StoredBank parseBankChunk(std::span<const uint8_t> chunk, int32_t uniqueId) {
    StoredBank bank;
    bank.reversed = checkBankChunk(chunk, uniqueId);
    const Fields fields(chunk, bank.reversed);
    bank.currentProgram = fields.i32(kPrefixSize + kCurrentProgramOffset);
    const int32_t records = fields.i32(kPrefixSize + kRecordCountOffset);
    if (records < 0) throw HostError("the bank image has a negative record count");
    for (int32_t p = 0; p < kStoredPrograms; ++p) bank.programs.push_back({p, {}, {}});

    size_t at = kPrefixSize + kHeaderSize;
    for (int32_t r = 0; r < records; ++r) {
        if (!fields.has(at, kRecordHeadSize)) throw HostError("the bank image is cut short");
        const int32_t type = fields.i32(at);
        const uint32_t length = fields.u32(at + 4);
        const int32_t program = fields.i32(at + 8);
        const size_t body = at + kRecordHeadSize;
        if (!fields.has(body, length)) throw HostError("the bank image is cut short");
        if (program >= 0 && program < kStoredPrograms) {
            StoredProgram& entry = bank.programs[static_cast<size_t>(program)];
            if (type == 0 && length >= kNameSize) {
                const char* name = reinterpret_cast<const char*>(chunk.data() + body);
                entry.name.assign(name, strnlen(name, kNameSize));
            } else if (type == 1 && length >= 16) {
                entry.values.emplace_back(fields.i32(body), fields.f32(body + 12));
            }
        }
        at = body + length;
    }
    return bank;
}

void setChunkCurrentProgram(std::vector<uint8_t>& chunk, int32_t uniqueId, int32_t program) {
    const bool reversed = checkBankChunk(chunk, uniqueId);
    const uint32_t field =
        reversed ? swapped(static_cast<uint32_t>(program)) : static_cast<uint32_t>(program);
    std::memcpy(chunk.data() + kPrefixSize + kCurrentProgramOffset, &field, 4);
}

std::vector<uint8_t> chunkFromBankFile(std::span<const uint8_t> file, int32_t uniqueId) {
    const bool reversed = byteOrderOf(file, 0, uniqueId, "the bank file");
    if (file.size() < kHeaderSize || file[4] != kBankKind)
        throw HostError("the bank file does not hold a bank image");
    std::vector<uint8_t> chunk(kPrefixSize + file.size());
    const uint32_t tag = reversed ? swapped(kBankChunkTag) : kBankChunkTag;
    std::memcpy(chunk.data(), &tag, 4);
    std::memcpy(chunk.data() + 4, file.data(), 4); // the identifier as the file has it
    std::memcpy(chunk.data() + kPrefixSize, file.data(), file.size());
    return chunk;
}

} // namespace zel::vortan
