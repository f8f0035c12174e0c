#include "VortanRun.h"

#include <algorithm>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace zel::vortan::test {

namespace {

std::vector<char*> pointersTo(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (std::string& text : texts) pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

} // namespace

std::string vortanPath() {
    return std::string(ZEL_BINARY_DIR) + "/host/vortan";
}

std::string probePluginPath() {
    return std::string(ZEL_BINARY_DIR) + "/tests/host/fixtures/vortan_probe.so";
}

std::string zelPluginPath() {
    const char* path = std::getenv("ZEL_PLUGIN");
    return path != nullptr ? path : "";
}

std::string foreignPluginPath() {
    for (const char* name : {"DragonflyRoomReverb-vst.so", "DragonflyPlateReverb-vst.so",
                             "DragonflyHallReverb-vst.so", "DragonflyEarlyReflections-vst.so"}) {
        const std::string path = std::string("/usr/lib/lxvst/") + name;
        if (fileExists(path)) return path;
    }
    return "";
}

bool fileExists(const std::string& path) {
    std::error_code error;
    return std::filesystem::exists(path, error);
}

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) result.push_back(line);
    return result;
}

std::vector<std::string> directoryEntries(const std::string& directory) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(directory)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

RunResult runVortan(const std::vector<std::string>& arguments,
                    const std::vector<std::string>& environment) {
    return runProgram(vortanPath(), arguments, environment);
}

RunResult runProgram(const std::string& program, const std::vector<std::string>& arguments,
                     const std::vector<std::string>& environment) {
    return RunningProgram(program, arguments, environment).wait();
}

RunningProgram::RunningProgram(const std::string& program,
                               const std::vector<std::string>& arguments,
                               const std::vector<std::string>& environment) {
    std::string pattern = (std::filesystem::temp_directory_path() / "vortan-run-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot create " + pattern);
    captureDirectory = pattern;
    outPath = captureDirectory + "/stdout";
    errPath = captureDirectory + "/stderr";

    std::vector<std::string> argv{program};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    // The given entries replace the test's own of the same name (the first of
    // two entries is the one a program sees).
    const auto overridden = [&](const std::string& entry) {
        const std::string name = entry.substr(0, entry.find('=') + 1);
        return std::any_of(environment.begin(), environment.end(),
                           [&](const std::string& given) { return given.rfind(name, 0) == 0; });
    };
    std::vector<std::string> envp;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        if (!overridden(*entry)) envp.emplace_back(*entry);
    }
    envp.insert(envp.end(), environment.begin(), environment.end());
    std::vector<char*> argPointers = pointersTo(argv);
    std::vector<char*> envPointers = pointersTo(envp);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0].c_str(), &actions, nullptr, argPointers.data(),
                                    envPointers.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) throw std::runtime_error("cannot start " + argv[0]);
    child = pid;
}

RunResult RunningProgram::wait() {
    RunResult result;
    if (child < 0) return result;
    int waitStatus = 0;
    while (waitpid(child, &waitStatus, 0) < 0) {
    }
    child = -1;
    result.status = WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus) : -1;
    result.out = readText(outPath);
    result.err = readText(errPath);
    return result;
}

RunningProgram::~RunningProgram() {
    wait();
    std::error_code error;
    std::filesystem::remove_all(captureDirectory, error);
}

ScratchDirectory::ScratchDirectory() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vortan-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot create " + pattern);
    directory = pattern;
}

ScratchDirectory::~ScratchDirectory() {
    std::error_code error;
    std::filesystem::remove_all(directory, error);
}

} // namespace zel::vortan::test
