#include "presets/ManualLauncher.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <mutex>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace zel {

namespace {

// Openers whose launcher went away before they finished (the editor closed).
// Any launcher reaps them later, so none stays behind as a zombie for long.
std::mutex orphanGuard;
std::vector<pid_t>& orphans() {
    static std::vector<pid_t> list;
    return list;
}

void reapOrphans() {
    std::lock_guard lock(orphanGuard);
    auto& list = orphans();
    list.erase(std::remove_if(list.begin(), list.end(),
                              [](pid_t pid) {
                                  int status = 0;
                                  const pid_t done = ::waitpid(pid, &status, WNOHANG);
                                  return done == pid || (done < 0 && errno == ECHILD);
                              }),
               list.end());
}

void adopt(pid_t pid) {
    std::lock_guard lock(orphanGuard);
    try {
        orphans().push_back(pid);
    } catch (...) {
        // Out of memory: the child stays a zombie until the host exits.
    }
}

// The manual's path as the installation stored it; a line break a person may
// have typed after it by hand is no part of it.
std::string manualPath(const SettingsStore& settings) {
    std::string path = settings.readText(settings::kManualPath).value_or("");
    while (!path.empty() && (path.back() == '\n' || path.back() == '\r')) path.pop_back();
    return path;
}

bool openablePath(const std::string& path) {
    if (path.empty() || path.size() > kMaxManualPath || path.front() != '/') return false;
    if (path.find('\0') != std::string::npos) return false;
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// Starts the opener with no shell and no inherited terminal output, with the
// signal mask and handlers a fresh program expects (the host may block some).
int spawnOpener(const std::string& path, pid_t& pid) {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    if (posix_spawn_file_actions_init(&actions) != 0) return ENOMEM;
    if (posix_spawnattr_init(&attributes) != 0) {
        posix_spawn_file_actions_destroy(&actions);
        return ENOMEM;
    }
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    std::string program = kManualOpener;
    std::string argument = path;
    char* argv[] = {program.data(), argument.data(), nullptr};
    const int error = posix_spawnp(&pid, program.c_str(), &actions, &attributes, argv, environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    return error;
}

} // namespace

std::optional<ManualMessage> manualMessage(ManualOutcome outcome) {
    switch (outcome) {
    case ManualOutcome::opened:
        return std::nullopt;
    case ManualOutcome::noApplication:
        return kManualNoApplicationMessage;
    case ManualOutcome::failed:
        return kManualFailedMessage;
    }
    return kManualFailedMessage;
}

ManualOutcome outcomeOfOpenerStatus(int exitStatus) {
    if (exitStatus == 0) return ManualOutcome::opened;
    if (exitStatus == kOpenerNoTool || exitStatus == kOpenerActionFailed)
        return ManualOutcome::noApplication;
    return ManualOutcome::failed;
}

ManualLauncher::~ManualLauncher() {
    if (child > 0) adopt(child);
}

bool ManualLauncher::open() {
    reapOrphans();
    if (busy()) return false;
    const std::string path = manualPath(settings);
    if (!openablePath(path)) {
        result = ManualOutcome::failed;
        return true;
    }
    pid_t pid = -1;
    const int error = spawnOpener(path, pid);
    if (error == 0) {
        child = pid;
    } else {
        // No opener installed counts as no program to show the manual.
        result = error == ENOENT ? ManualOutcome::noApplication : ManualOutcome::failed;
    }
    return true;
}

std::optional<ManualOutcome> ManualLauncher::poll() {
    reapOrphans();
    if (child > 0) {
        int status = 0;
        const pid_t done = ::waitpid(child, &status, WNOHANG);
        if (done == 0 || (done < 0 && errno == EINTR)) return std::nullopt; // still running
        if (done == child) {
            result = WIFEXITED(status) ? outcomeOfOpenerStatus(WEXITSTATUS(status))
                                       : ManualOutcome::failed;
        } else {
            // The host reaps its children itself (SIGCHLD ignored): the
            // opener did start, and nothing more can be known.
            result = ManualOutcome::opened;
        }
        child = -1;
    }
    const std::optional<ManualOutcome> outcome = result;
    result.reset();
    return outcome;
}

} // namespace zel
