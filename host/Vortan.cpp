#include "host/Commands.h"
#include "host/HostError.h"

#include <exception>

namespace zel::vortan {

int runVortan(std::span<const std::string> arguments, std::ostream& out, std::ostream& err) {
    if (arguments.empty()) {
        printUsage(err);
        return kExitUsage;
    }
    const std::string& command = arguments[0];
    const auto rest = arguments.subspan(1);
    try {
        if (command == "help" || command == "--help" || command == "-h") {
            printUsage(out);
        } else if (command == "info") {
            runInfoCommand(rest, out);
        } else if (command == "render") {
            runRenderCommand(rest, out);
        } else if (command == "edit") {
            runEditCommand(rest, out);
        } else {
            throw UsageError("unknown command '" + command + "' (vortan help lists them)");
        }
        out.flush();
        return out ? kExitOk : kExitFailure;
    } catch (const HostError& error) {
        err << "vortan: " << oneLine(error.what()) << '\n';
        return error.exitStatus();
    } catch (const std::exception& error) {
        err << "vortan: " << oneLine(error.what()) << '\n';
        return kExitFailure;
    }
}

} // namespace zel::vortan
