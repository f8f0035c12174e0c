#include "host/RenderOptions.h"

#include "host/CommandLine.h"
#include "host/HostError.h"
#include "host/Renderer.h"

#include <vector>

namespace zel::vortan {

namespace {

constexpr double kMaxEventSeconds = 86400.0;

ControllerMessage parseController(std::span<const std::string> args) {
    return {parseNumberInRange(args[0], "--cc time", 0.0, kMaxEventSeconds),
            static_cast<int>(parseInteger(args[1], "MIDI channel", 1, 16)),
            static_cast<int>(parseInteger(args[2], "MIDI controller", 0, 127)),
            static_cast<int>(parseInteger(args[3], "controller value", 0, 127))};
}

} // namespace

RenderOptions parseRenderOptions(std::span<const std::string> arguments) {
    RenderOptions o;
    std::vector<CommandOption> optionTable = {
        CommandOption{"--set", 1, "NAME=VALUE",
                      [&](auto a) { o.settings.push_back(parseParameterAssignment(a[0])); }},
        CommandOption{"--at", 2, "SECONDS NAME=VALUE",
                      [&](auto a) {
                          o.timed.push_back(
                              {parseNumberInRange(a[0], "--at time", 0.0, kMaxEventSeconds),
                               parseParameterAssignment(a[1])});
                      }},
        CommandOption{"--cc", 4, "SECONDS CHANNEL CONTROLLER VALUE",
                      [&](auto a) { o.controllers.push_back(parseController(a)); }},
        CommandOption{"--block", 1, "N",
                      [&](auto a) {
                          o.blockSize = static_cast<int32_t>(
                              parseInteger(a[0], "block size", 1, kMaxBlockSize));
                      }},
        CommandOption{"--double", 0, "", [&](auto) { o.useDouble = true; }},
        CommandOption{"--out-channels", 1, "1|2",
                      [&](auto a) {
                          o.outputChannels =
                              static_cast<int>(parseInteger(a[0], "output channels", 1, 2));
                      }},
        CommandOption{"--tail", 1, "SECONDS",
                      [&](auto a) {
                          o.tailSeconds = parseNumberInRange(a[0], "tail", 0.0, kMaxTailSeconds);
                      }},
        CommandOption{"--format", 1, "wav|flac",
                      [&](auto a) {
                          o.format = fileFormatNamed(a[0]);
                          if (!o.format)
                              throw UsageError("unknown format '" + a[0] + "' (wav, flac)");
                      }},
        CommandOption{"--bits", 1, "16|24|32f",
                      [&](auto a) {
                          o.samples = sampleFormatNamed(a[0]);
                          if (!o.samples)
                              throw UsageError("unknown bits '" + a[0] + "' (16, 24, 32f)");
                      }},
        CommandOption{"--rate", 1, "HZ",
                      [&](auto a) {
                          o.rate =
                              static_cast<double>(parseInteger(a[0], "sample rate", 8000, 384000));
                      }},
        CommandOption{"--automation", 0, "", [&](auto) { o.listAutomation = true; }},
    };
    for (CommandOption& option : stateOptionTable(o.state)) optionTable.push_back(option);
    const std::vector<std::string> positionals = parseCommandLine(arguments, optionTable);
    if (positionals.size() < 2) {
        throw UsageError("missing arguments: vortan render PLUGIN [IN] OUT [options]");
    }
    if (positionals.size() > 3) throw UsageError("unexpected argument '" + positionals[3] + "'");
    o.plugin = positionals[0];
    if (positionals.size() == 3) o.input = positionals[1];
    o.output = positionals.back();
    return o;
}

} // namespace zel::vortan
