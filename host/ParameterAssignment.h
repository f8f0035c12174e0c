// NAME=VALUE settings from the command line: parsed and range-checked before the
// plug-in loads, resolved to parameter indices once it has.
#pragma once

#include "host/PluginInstance.h"

#include <cstdint>
#include <string>

namespace zel::vortan {

struct ParameterAssignment {
    std::string name; // a parameter name or index, as given
    float value;      // normalized, 0..1
};

// Throws UsageError for a malformed text or a value that is not a number in 0..1.
ParameterAssignment parseParameterAssignment(const std::string& text);

// The index of a host parameter given by name (exact, else the one name that
// matches ignoring case and surrounding spaces) or by index. Throws UsageError
// for an unknown name, an ambiguous one or an index the plug-in does not have.
int32_t findParameter(const PluginInstance& plugin, const std::string& nameOrIndex);

// Like findParameter, but answers -1 instead of throwing when there is no match.
int32_t findParameterByName(const PluginInstance& plugin, const std::string& name);

} // namespace zel::vortan
