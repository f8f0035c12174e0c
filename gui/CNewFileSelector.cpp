#include "gui/CNewFileSelector.h"

#include "gui/CFrame.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace zel::gui {

namespace {

constexpr const char* kProgram = "zenity";
// Exit codes of the dialog program.
constexpr int kExitChosen = 0;
// More output than any list of paths; the rest is dropped.
constexpr size_t kMaxOutput = 1 << 20;
// How long a terminated dialog gets to go before it is killed.
constexpr auto kTerminateGrace = std::chrono::milliseconds(200);
constexpr auto kTerminatePoll = std::chrono::milliseconds(5);

std::string folderPrefix(const std::string& folder) {
    if (folder.empty()) return {};
    return folder.back() == '/' ? folder : folder + "/";
}

} // namespace

CFileExtension::CFileExtension(const char* desc, const char* ext, const char* mime, int32_t type)
    : description(desc ? desc : ""), extension(ext ? ext : ""), mimeType(mime ? mime : ""),
      macType(type) {}

CNewFileSelector* CNewFileSelector::create(CFrame* parent, Style style) {
    if (!parent) return nullptr;
    return new CNewFileSelector(parent, style);
}

CNewFileSelector::CNewFileSelector(CFrame* parent, Style selectorStyle)
    : frame(parent), style(selectorStyle) {}

CNewFileSelector::~CNewFileSelector() {
    cancel();
}

void CNewFileSelector::setTitle(const char* text) {
    title = text ? text : "";
}

void CNewFileSelector::setInitialDirectory(const char* path) {
    initialDirectory = path ? path : "";
}

void CNewFileSelector::setDefaultSaveName(const char* name) {
    defaultSaveName = name ? name : "";
}

void CNewFileSelector::setDefaultExtension(const CFileExtension& extension) {
    extensions.insert(extensions.begin(), extension);
    defaultExtensionIndex = 0;
}

void CNewFileSelector::addFileExtension(const CFileExtension& extension) {
    extensions.push_back(extension);
}

std::vector<std::string> CNewFileSelector::buildArguments() const {
    std::vector<std::string> arguments{kProgram, "--file-selection"};
    if (!title.empty()) arguments.push_back("--title=" + title);
    if (style == kSelectDirectory) arguments.emplace_back("--directory");
    if (style == kSelectSaveFile) {
        arguments.emplace_back("--save");
        arguments.emplace_back("--confirm-overwrite");
    }
    if (allowMultiFileSelection && style == kSelectFile) {
        arguments.emplace_back("--multiple");
        arguments.emplace_back("--separator=\n");
    }
    for (const CFileExtension& extension : extensions) {
        if (*extension.getExtension() == '\0') continue;
        arguments.push_back(std::string("--file-filter=") + extension.getDescription() + " | *." +
                            extension.getExtension());
    }
    const std::string folder = folderPrefix(initialDirectory);
    if (style == kSelectSaveFile && !defaultSaveName.empty())
        arguments.push_back("--filename=" + folder + defaultSaveName);
    else if (!folder.empty())
        arguments.push_back("--filename=" + folder);
    return arguments;
}

bool CNewFileSelector::run(CallbackFunc function) {
    if (!frame || isRunning()) return false;
    selectedFiles.clear();
    output.clear();

    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return false;
    fcntl(fds[0], F_SETFL, fcntl(fds[0], F_GETFL) | O_NONBLOCK);

    const std::vector<std::string> arguments = buildArguments();
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    // The dialog's toolkit warnings are no concern of the host's log.
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // The host's blocked or ignored signals are not the dialog's.
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    pid_t child = -1;
    const int error = posix_spawnp(&child, kProgram, &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    close(fds[1]);
    if (error != 0) {
        close(fds[0]);
        return false;
    }
    pid = child;
    pipeFd = fds[0];
    callback = std::move(function);
    frame->addFileSelector(this);
    return true;
}

bool CNewFileSelector::poll() {
    if (!isRunning()) return false;
    char buffer[4096];
    while (pipeFd >= 0) {
        const ssize_t n = read(pipeFd, buffer, sizeof buffer);
        if (n > 0) {
            if (output.size() < kMaxOutput)
                output.append(buffer, std::min(static_cast<size_t>(n), kMaxOutput - output.size()));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n == 0) closePipe(); // end of output
        break;
    }
    int status = 0;
    const pid_t result = waitpid(pid, &status, WNOHANG);
    if (result == 0) return true;
    if (result < 0) {
        // Reaped elsewhere (a host that ignores SIGCHLD): judge by the output alone.
        if (pipeFd >= 0) return true;
        status = output.empty() ? 1 << 8 : 0;
    }
    finish(status);
    return false;
}

void CNewFileSelector::finish(int status) {
    pid = -1;
    // Whatever the dialog wrote before it ended.
    char buffer[4096];
    ssize_t n;
    while (pipeFd >= 0 && (n = read(pipeFd, buffer, sizeof buffer)) > 0)
        if (output.size() < kMaxOutput)
            output.append(buffer, std::min(static_cast<size_t>(n), kMaxOutput - output.size()));
    closePipe();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != kExitChosen) return; // cancelled or failed

    selectedFiles.clear();
    size_t start = 0;
    while (start < output.size()) {
        size_t end = output.find('\n', start);
        if (end == std::string::npos) end = output.size();
        if (end > start) selectedFiles.push_back(output.substr(start, end - start));
        start = end + 1;
        if (!allowMultiFileSelection) break;
    }
    if (selectedFiles.empty() || !callback) return;
    remember(); // alive through the callback
    CallbackFunc function = callback;
    function(this);
    forget();
}

void CNewFileSelector::cancel() {
    if (isRunning()) {
        kill(pid, SIGTERM);
        int status = 0;
        const auto deadline = std::chrono::steady_clock::now() + kTerminateGrace;
        pid_t result = 0;
        while ((result = waitpid(pid, &status, WNOHANG)) == 0 &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(kTerminatePoll);
        if (result == 0) {
            kill(pid, SIGKILL);
            while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
        }
        pid = -1;
    }
    closePipe();
}

void CNewFileSelector::closePipe() {
    if (pipeFd >= 0) close(pipeFd);
    pipeFd = -1;
}

const char* CNewFileSelector::getSelectedFile(uint32_t index) const {
    return index < selectedFiles.size() ? selectedFiles[index].c_str() : nullptr;
}

} // namespace zel::gui
