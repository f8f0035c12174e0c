#include "host/ParameterAssignment.h"

#include "host/CommandLine.h"
#include "host/HostError.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace zel::vortan {

namespace {

std::string trimmed(const std::string& text) {
    const auto isSpace = [](unsigned char c) { return std::isspace(c) != 0; };
    auto first = std::find_if_not(text.begin(), text.end(), isSpace);
    auto last = std::find_if_not(text.rbegin(), text.rend(), isSpace).base();
    return first < last ? std::string(first, last) : std::string();
}

bool sameIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return std::tolower(x) == std::tolower(y);
           });
}

bool isIndex(const std::string& text) {
    return !text.empty() && std::all_of(text.begin(), text.end(),
                                        [](unsigned char c) { return std::isdigit(c) != 0; });
}

} // namespace

ParameterAssignment parseParameterAssignment(const std::string& text) {
    const Assignment assignment = parseAssignment(text);
    const double value =
        parseNumberInRange(assignment.value, "value for " + assignment.name, 0.0, 1.0);
    return {assignment.name, static_cast<float>(value)};
}

int32_t findParameterByName(const PluginInstance& plugin, const std::string& name) {
    std::vector<int32_t> caseless;
    for (int32_t index = 0; index < plugin.parameterCount(); ++index) {
        const std::string candidate = plugin.parameterName(index);
        if (candidate == name) return index;
        if (sameIgnoringCase(trimmed(candidate), trimmed(name))) caseless.push_back(index);
    }
    if (caseless.size() == 1) return caseless.front();
    if (caseless.size() > 1) {
        throw UsageError("parameter name '" + name + "' is ambiguous; give its index");
    }
    return -1;
}

int32_t findParameter(const PluginInstance& plugin, const std::string& nameOrIndex) {
    const int32_t byName = findParameterByName(plugin, nameOrIndex);
    if (byName >= 0) return byName;
    if (isIndex(nameOrIndex)) {
        if (plugin.parameterCount() == 0) {
            throw UsageError("plug-in '" + plugin.name() + "' has no parameters");
        }
        return static_cast<int32_t>(
            parseInteger(nameOrIndex, "parameter index", 0, plugin.parameterCount() - 1));
    }
    throw UsageError("unknown parameter '" + nameOrIndex + "' ('vortan info " + plugin.name() +
                     "' lists them)");
}

} // namespace zel::vortan
