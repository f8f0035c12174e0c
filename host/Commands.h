// The vortan commands. Each takes the arguments after its name, writes its
// results to `out` and throws HostError (or UsageError) on failure.
#pragma once

#include <ostream>
#include <span>
#include <string>

namespace zel::vortan {

void runInfoCommand(std::span<const std::string> arguments, std::ostream& out);
void runRenderCommand(std::span<const std::string> arguments, std::ostream& out);
void runEditCommand(std::span<const std::string> arguments, std::ostream& out);
void printUsage(std::ostream& out);

// The whole program: picks the command, reports failures as one line
// "vortan: <what>" on `err`, answers the exit status.
int runVortan(std::span<const std::string> arguments, std::ostream& out, std::ostream& err);

} // namespace zel::vortan
