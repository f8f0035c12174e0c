// Running the built vortan binary from the host tests, in scratch directories.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace zel::vortan::test {

struct RunResult {
    int status = -1; // exit status, or -1 when the process did not exit normally
    std::string out;
    std::string err;
};

// Runs vortan with the arguments; `environment` entries (NAME=VALUE) are added
// to the test's own environment, replacing entries of the same name.
RunResult runVortan(const std::vector<std::string>& arguments,
                    const std::vector<std::string>& environment = {});

// A program started in the background with its output captured.
class RunningProgram {
public:
    RunningProgram(const std::string& program, const std::vector<std::string>& arguments,
                   const std::vector<std::string>& environment = {});
    ~RunningProgram(); // waits if not yet waited for
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;

    int pid() const { return child; }
    RunResult wait();

private:
    std::string outPath;
    std::string errPath;
    std::string captureDirectory;
    int child = -1;
};

// Runs any program with the arguments (argv[0] is the program's path).
RunResult runProgram(const std::string& program, const std::vector<std::string>& arguments,
                     const std::vector<std::string>& environment = {});

std::string vortanPath();
std::string probePluginPath();   // the logging test plug-in
std::string zelPluginPath();     // the Zel Vortan plug-in, from ZEL_PLUGIN
std::string foreignPluginPath(); // a Dragonfly reverb if installed, else empty

bool fileExists(const std::string& path);
std::string readText(const std::string& path);
std::vector<std::string> lines(const std::string& text);
// The names in a directory, sorted.
std::vector<std::string> directoryEntries(const std::string& directory);

// A fresh directory under the system's temporary folder, removed with its
// contents when the object goes.
class ScratchDirectory {
public:
    ScratchDirectory();
    ~ScratchDirectory();
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;
    const std::string& path() const { return directory; }
    std::string file(const std::string& name) const { return directory + "/" + name; }

private:
    std::string directory;
};

} // namespace zel::vortan::test
