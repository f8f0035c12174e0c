// A small option parser shared by the vortan commands. Each command lists its
// options as a table of CommandOption entries (name, argument count, what to do with
// the arguments); everything that is not an option is a positional argument.
// A new option is one more table entry.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zel::vortan {

struct CommandOption {
    std::string_view name;     // "--block"
    int argumentCount;         // how many arguments follow the option
    std::string_view argument; // the arguments as the usage shows them, "N"
    std::function<void(std::span<const std::string> arguments)> apply;
};

// Walks the arguments once, calling each option's apply in command-line order.
// "--" ends the options. Throws UsageError for an unknown option or missing
// option arguments. Returns the positional arguments.
std::vector<std::string> parseCommandLine(std::span<const std::string> arguments,
                                          std::span<const CommandOption> options);

// Number parsing for option values; `what` names the value in error messages.
// The whole text must be the number; NaN and infinities are refused.
double parseNumber(const std::string& text, std::string_view what);
double parseNumberInRange(const std::string& text, std::string_view what, double low, double high);
int64_t parseInteger(const std::string& text, std::string_view what, int64_t low, int64_t high);

// Splits "NAME=VALUE" at the last '='; throws UsageError when either side is empty.
struct Assignment {
    std::string name;
    std::string value;
};
Assignment parseAssignment(const std::string& text);

} // namespace zel::vortan
