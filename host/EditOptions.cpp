#include "host/EditOptions.h"

#include "host/CommandLine.h"
#include "host/HostError.h"

namespace zel::vortan {

EditOptions parseEditOptions(std::span<const std::string> arguments) {
    EditOptions o;
    bool afterGiven = false;
    std::vector<CommandOption> optionTable = {
        CommandOption{"--set", 1, "NAME=VALUE",
                      [&](auto a) { o.settings.push_back(parseParameterAssignment(a[0])); }},
        CommandOption{"--screenshot", 1, "FILE",
                      [&](auto a) {
                          if (a[0].empty()) throw UsageError("--screenshot needs a file name");
                          o.screenshot = a[0];
                      }},
        CommandOption{"--after", 1, "SECONDS",
                      [&](auto a) {
                          o.screenshotAfter =
                              parseNumberInRange(a[0], "--after time", 0.0, kMaxScreenshotSeconds);
                          afterGiven = true;
                      }},
        CommandOption{"--automation", 0, "", [&](auto) { o.listAutomation = true; }},
    };
    for (CommandOption& option : stateOptionTable(o.state)) optionTable.push_back(option);
    const std::vector<std::string> positionals = parseCommandLine(arguments, optionTable);
    if (positionals.empty()) throw UsageError("missing PLUGIN: vortan edit PLUGIN [options]");
    if (positionals.size() > 1) throw UsageError("unexpected argument '" + positionals[1] + "'");
    if (afterGiven && !o.screenshot) throw UsageError("--after goes with --screenshot FILE");
    o.plugin = positionals[0];
    return o;
}

} // namespace zel::vortan
