// The plug-in's saved state as a DAW handles it: the chunk it gives on
// effGetChunk and takes back on effSetChunk. The options --load-chunk,
// --bank, --program and --save-chunk, shared by `vortan info` and `vortan render`.
#pragma once

#include "host/CommandLine.h"
#include "host/PluginInstance.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zel::vortan {

struct StateOptions {
    std::optional<std::string> loadChunk; // a raw chunk file, given to the plug-in as it is
    std::optional<std::string> bankFile;  // a bank file (.zlb), given as a bank chunk
    std::optional<int32_t> program;       // the stored program to select, 0..31
    std::optional<std::string> saveChunk; // where to write the chunk

    bool readsChunk() const { return program.has_value() || saveChunk.has_value(); }
};

// The option table entries that fill `options`.
std::vector<CommandOption> stateOptionTable(StateOptions& options);

// The plug-in's chunk; throws HostError when it keeps no chunk or gives none.
std::vector<uint8_t> readChunk(const PluginInstance& plugin);
// Hands a chunk to the plug-in; throws HostError when it refuses it (answers -1).
void writeChunk(const PluginInstance& plugin, std::vector<uint8_t> chunk);

// Applies --load-chunk, then --bank, then --program.
void applyState(const PluginInstance& plugin, const StateOptions& options);
// Writes the chunk to --save-chunk (if given), whole or not at all.
void saveState(const PluginInstance& plugin, const StateOptions& options);

} // namespace zel::vortan
