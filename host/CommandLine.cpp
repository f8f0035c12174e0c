#include "host/CommandLine.h"

#include "host/HostError.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace zel::vortan {

namespace {

const CommandOption* findOption(std::string_view name, std::span<const CommandOption> options) {
    for (const CommandOption& option : options) {
        if (option.name == name) return &option;
    }
    return nullptr;
}

bool looksLikeOption(const std::string& text) {
    return text.size() > 1 && text[0] == '-';
}

} // namespace

std::vector<std::string> parseCommandLine(std::span<const std::string> arguments,
                                          std::span<const CommandOption> options) {
    std::vector<std::string> positionals;
    bool optionsEnded = false;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (optionsEnded || !looksLikeOption(argument)) {
            positionals.push_back(argument);
            continue;
        }
        if (argument == "--") {
            optionsEnded = true;
            continue;
        }
        const CommandOption* option = findOption(argument, options);
        if (option == nullptr) throw UsageError("unknown option '" + argument + "'");
        const size_t count = static_cast<size_t>(option->argumentCount);
        if (arguments.size() - i - 1 < count) {
            throw UsageError("option " + argument + " needs " + std::string(option->argument));
        }
        option->apply(arguments.subspan(i + 1, count));
        i += count;
    }
    return positionals;
}

double parseNumber(const std::string& text, std::string_view what) {
    const std::string prefix = std::string(what) + " '" + text + "'";
    if (text.empty()) throw UsageError(std::string(what) + " is empty");
    errno = 0;
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size()) throw UsageError(prefix + " is not a number");
    if (!std::isfinite(value) || errno == ERANGE) throw UsageError(prefix + " is out of range");
    return value;
}

double parseNumberInRange(const std::string& text, std::string_view what, double low, double high) {
    const double value = parseNumber(text, what);
    if (value < low || value > high) {
        char range[96];
        std::snprintf(range, sizeof range, " is outside %g..%g", low, high);
        throw UsageError(std::string(what) + " '" + text + "'" + range);
    }
    return value;
}

int64_t parseInteger(const std::string& text, std::string_view what, int64_t low, int64_t high) {
    const std::string prefix = std::string(what) + " '" + text + "'";
    if (text.empty()) throw UsageError(std::string(what) + " is empty");
    errno = 0;
    char* end = nullptr;
    const long long value = std::strtoll(text.c_str(), &end, 10);
    if (end != text.c_str() + text.size()) throw UsageError(prefix + " is not a whole number");
    if (errno == ERANGE || value < low || value > high) {
        throw UsageError(prefix + " is outside " + std::to_string(low) + ".." +
                         std::to_string(high));
    }
    return value;
}

Assignment parseAssignment(const std::string& text) {
    const size_t equals = text.rfind('=');
    if (equals == std::string::npos || equals == 0 || equals + 1 == text.size()) {
        throw UsageError("'" + text + "' is not of the form NAME=VALUE");
    }
    return {text.substr(0, equals), text.substr(equals + 1)};
}

} // namespace zel::vortan
