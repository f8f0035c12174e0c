// vortan info PLUGIN [--set NAME=VALUE]... [--json] [--programs] [state options]
#include "host/CommandLine.h"
#include "host/Commands.h"
#include "host/HostError.h"
#include "host/ParameterAssignment.h"
#include "host/PluginInfo.h"
#include "host/PluginState.h"
#include "host/ProgramChunk.h"

#include <vector>

namespace zel::vortan {

namespace {

constexpr double kInfoSampleRate = 44100.0;
constexpr int32_t kInfoBlockSize = 512;

struct InfoOptions {
    std::string plugin;
    std::vector<ParameterAssignment> settings;
    bool json = false;
    bool programs = false;
    StateOptions state;
};

InfoOptions parseInfoOptions(std::span<const std::string> arguments) {
    InfoOptions options;
    std::vector<CommandOption> optionTable = {
        CommandOption{
            "--set", 1, "NAME=VALUE",
            [&](auto args) { options.settings.push_back(parseParameterAssignment(args[0])); }},
        CommandOption{"--json", 0, "", [&](auto) { options.json = true; }},
        CommandOption{"--programs", 0, "", [&](auto) { options.programs = true; }},
    };
    for (CommandOption& option : stateOptionTable(options.state)) optionTable.push_back(option);
    const std::vector<std::string> positionals = parseCommandLine(arguments, optionTable);
    if (positionals.empty()) throw UsageError("missing PLUGIN: vortan info PLUGIN [options]");
    if (positionals.size() > 1) throw UsageError("unexpected argument '" + positionals[1] + "'");
    options.plugin = positionals[0];
    return options;
}

} // namespace

void runInfoCommand(std::span<const std::string> arguments, std::ostream& out) {
    const InfoOptions options = parseInfoOptions(arguments);
    PluginModule module(options.plugin);
    HostState host;
    PluginInstance plugin(module.entry(), host, options.plugin);
    plugin.open();
    plugin.setSampleRate(kInfoSampleRate);
    plugin.setBlockSize(kInfoBlockSize);
    applyState(plugin, options.state);
    for (const ParameterAssignment& setting : options.settings) {
        plugin.setParameter(findParameter(plugin, setting.name), setting.value);
    }
    PluginInfo info = collectPluginInfo(plugin, options.plugin);
    if (options.programs)
        info.storedPrograms = parseBankChunk(readChunk(plugin), plugin.effect().uniqueID);
    saveState(plugin, options.state);
    if (options.json) {
        writeInfoJson(out, info);
    } else {
        writeInfoText(out, info);
    }
}

} // namespace zel::vortan
