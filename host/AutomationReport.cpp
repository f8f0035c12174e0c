#include "host/AutomationReport.h"

#include <cstdio>

namespace zel::vortan {

void printAutomation(std::ostream& out, const PluginInstance& plugin) {
    for (const auto& [index, value] : plugin.host().automated) {
        char text[48];
        std::snprintf(text, sizeof text, "%.6f", static_cast<double>(value));
        const std::string name = index >= 0 && index < plugin.parameterCount()
                                     ? plugin.parameterName(index)
                                     : std::string();
        out << "automated " << index << " " << (name.empty() ? "-" : name) << " " << text << '\n';
    }
}

} // namespace zel::vortan
