// The parameter changes a plug-in reported back (audioMasterAutomate), listed
// one a line as "automated INDEX NAME VALUE".
#pragma once

#include "host/PluginInstance.h"

#include <ostream>

namespace zel::vortan {

void printAutomation(std::ostream& out, const PluginInstance& plugin);

} // namespace zel::vortan
