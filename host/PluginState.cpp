#include "host/PluginState.h"

#include "host/HostError.h"
#include "host/ProgramChunk.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <unistd.h>

namespace zel::vortan {

namespace {

// Larger than any chunk vortan expects; a file beyond it is refused.
constexpr std::streamoff kMaxChunkFileBytes = 64 << 20;

std::vector<uint8_t> readFile(const std::string& path, const char* what) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) throw HostError("cannot open " + std::string(what) + " '" + path + "'");
    const std::streamoff size = in.tellg();
    if (size < 0 || size > kMaxChunkFileBytes)
        throw HostError(std::string(what) + " '" + path + "' is too large");
    in.seekg(0);
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    if (!in.read(reinterpret_cast<char*>(bytes.data()), size))
        throw HostError("cannot read " + std::string(what) + " '" + path + "'");
    return bytes;
}

// Written beside the target and renamed over it, so a failure keeps the old file.
void writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    const std::string temporary = path + ".vortan-" + std::to_string(::getpid());
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (!out) {
            std::remove(temporary.c_str());
            throw HostError("cannot write chunk file '" + path + "'");
        }
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::remove(temporary.c_str());
        throw HostError("cannot write chunk file '" + path + "'");
    }
}

} // namespace

std::vector<CommandOption> stateOptionTable(StateOptions& o) {
    return {
        CommandOption{"--load-chunk", 1, "FILE", [&](auto a) { o.loadChunk = a[0]; }},
        CommandOption{"--bank", 1, "FILE.zlb", [&](auto a) { o.bankFile = a[0]; }},
        CommandOption{"--program", 1, "N",
                      [&](auto a) {
                          o.program = static_cast<int32_t>(
                              parseInteger(a[0], "program", 0, kStoredPrograms - 1));
                      }},
        CommandOption{"--save-chunk", 1, "FILE", [&](auto a) { o.saveChunk = a[0]; }},
    };
}

std::vector<uint8_t> readChunk(const PluginInstance& plugin) {
    if (!plugin.hasFlag(vst::effFlagsProgramChunks))
        throw HostError("plug-in '" + plugin.name() + "' keeps no chunk");
    void* data = nullptr;
    const intptr_t size = plugin.dispatch(vst::effGetChunk, 0, 0, &data);
    if (size <= 0 || data == nullptr)
        throw HostError("plug-in '" + plugin.name() + "' gave no chunk");
    const auto* bytes = static_cast<const uint8_t*>(data);
    return std::vector<uint8_t>(bytes, bytes + size);
}

void writeChunk(const PluginInstance& plugin, std::vector<uint8_t> chunk) {
    if (!plugin.hasFlag(vst::effFlagsProgramChunks))
        throw HostError("plug-in '" + plugin.name() + "' keeps no chunk");
    const intptr_t answer =
        plugin.dispatch(vst::effSetChunk, 0, static_cast<intptr_t>(chunk.size()), chunk.data());
    if (answer == -1) throw HostError("plug-in '" + plugin.name() + "' refused the chunk");
}

void applyState(const PluginInstance& plugin, const StateOptions& options) {
    const int32_t id = plugin.effect().uniqueID;
    if (options.loadChunk) writeChunk(plugin, readFile(*options.loadChunk, "chunk file"));
    if (options.bankFile) {
        std::vector<uint8_t> chunk;
        try {
            chunk = chunkFromBankFile(readFile(*options.bankFile, "bank file"), id);
        } catch (const HostError& error) {
            throw HostError("'" + *options.bankFile + "': " + error.what());
        }
        writeChunk(plugin, std::move(chunk));
    }
    if (options.program) {
        std::vector<uint8_t> chunk = readChunk(plugin);
        setChunkCurrentProgram(chunk, id, *options.program);
        writeChunk(plugin, std::move(chunk));
    }
}

void saveState(const PluginInstance& plugin, const StateOptions& options) {
    if (options.saveChunk) writeFile(*options.saveChunk, readChunk(plugin));
}

} // namespace zel::vortan
