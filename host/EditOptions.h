// The command line of `vortan edit`, parsed and checked before the display, a
// file or the plug-in is touched.
#pragma once

#include "host/ParameterAssignment.h"
#include "host/PluginState.h"

#include <optional>
#include <span>
#include <string>
#include <vector>

namespace zel::vortan {

constexpr double kDefaultScreenshotSeconds = 1.0;
constexpr double kMaxScreenshotSeconds = 3600.0;

struct EditOptions {
    std::string plugin;
    std::vector<ParameterAssignment> settings;
    StateOptions state;
    std::optional<std::string> screenshot;              // PNG file written before the editor closes
    double screenshotAfter = kDefaultScreenshotSeconds; // seconds after the editor opened
    bool listAutomation = false;
};

// Throws UsageError for unknown options, malformed or out-of-range values,
// --after without --screenshot and a wrong number of positional arguments.
EditOptions parseEditOptions(std::span<const std::string> arguments);

} // namespace zel::vortan
