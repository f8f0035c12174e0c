// The chunk of a plug-in that keeps all its programs as one bank image, as Zel
// Vortan does: a tag (0x02000000), the plug-in's identifier, then the bank image
// (a 41-byte header and records of 12-byte head and body: name records of
// type 0, parameter records of type 1). vortan reads and edits it itself,
// without the plug-in's code. Every 32-bit field is in the writer's byte order,
// told by the identifier.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace zel::vortan {

constexpr uint32_t kBankChunkTag = 0x02000000;
constexpr int32_t kStoredPrograms = 32;

struct StoredProgram {
    int32_t index = 0;
    std::string name;
    std::vector<std::pair<int32_t, float>> values; // parameter index, normalized value
};

struct StoredBank {
    int32_t currentProgram = 0;
    bool reversed = false;               // written on a machine of the other byte order
    std::vector<StoredProgram> programs; // 32, by index
};

// Reads a bank chunk of the plug-in with this identifier; throws HostError
// naming what is wrong (not a bank chunk, another plug-in's, cut short).
StoredBank parseBankChunk(std::span<const uint8_t> chunk, int32_t uniqueId);

// Sets the bank header's current program (0..31) in a bank chunk, in the
// chunk's own byte order; throws HostError when the chunk is not one.
void setChunkCurrentProgram(std::vector<uint8_t>& chunk, int32_t uniqueId, int32_t program);

// The chunk that carries a bank file's image: tag and identifier (in the
// file's byte order) before the file's bytes. Throws HostError when the file
// is not a bank image of this plug-in.
std::vector<uint8_t> chunkFromBankFile(std::span<const uint8_t> file, int32_t uniqueId);

} // namespace zel::vortan
