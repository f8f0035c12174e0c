// The one kind of failure the vortan commands report: a message for the user,
// printed as "vortan: <message>", and the exit status that goes with it.
#pragma once

#include <stdexcept>
#include <string>

namespace zel::vortan {

enum ExitStatus : int {
    kExitOk = 0,
    kExitFailure = 1, // the plug-in, a file or the rendering failed
    kExitUsage = 2,   // the command line was wrong
};

class HostError : public std::runtime_error {
public:
    explicit HostError(const std::string& message, int exitStatus = kExitFailure)
        : std::runtime_error(message), status(exitStatus) {}
    int exitStatus() const { return status; }

private:
    int status;
};

// A command-line mistake: unknown option, missing or malformed argument.
class UsageError : public HostError {
public:
    explicit UsageError(const std::string& message) : HostError(message, kExitUsage) {}
};

// Keeps messages on one line: texts from plug-ins and libraries may carry newlines.
std::string oneLine(std::string text);

} // namespace zel::vortan
