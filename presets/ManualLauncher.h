// Opening the user manual from the editor's manual button. The installation
// writes the manual's full path into the "ManualPath" setting; the desktop's
// opener (xdg-open) shows it in the user's PDF viewer. The opener runs as a
// child process so the editor never waits for it: the editor's idle asks
// `poll` for the outcome, which is reported once, and shows the message that
// goes with a failure in its message panel.
#pragma once

#include "presets/SettingsStore.h"

#include <optional>
#include <string_view>
#include <sys/types.h>

namespace zel {

enum class ManualOutcome {
    opened,        // the opener handed the manual to a viewer
    noApplication, // no program to show a PDF (or no opener at all)
    failed,        // no path, no file, or the opener failed otherwise
};

// A message panel's text and caption.
struct ManualMessage {
    std::string_view text;
    std::string_view caption;
};

constexpr ManualMessage kManualNoApplicationMessage{"Make sure Acrobat Reader is installed",
                                                    "Could not open manual file"};
constexpr ManualMessage kManualFailedMessage{"Could not open user manual", ""};

// The message the editor shows for an outcome; none when the manual opened.
std::optional<ManualMessage> manualMessage(ManualOutcome outcome);

constexpr const char* kManualOpener = "xdg-open"; // looked up on PATH
// The opener's exit statuses that mean "nothing here can show this file".
constexpr int kOpenerNoTool = 3;
constexpr int kOpenerActionFailed = 4;
// Longer paths are no paths this system can open.
constexpr std::size_t kMaxManualPath = 4096;

// What an exit status of the opener means (0 opened, 3 and 4 no application,
// anything else failed, 2 among them: the file does not exist).
ManualOutcome outcomeOfOpenerStatus(int exitStatus);

class ManualLauncher {
public:
    explicit ManualLauncher(SettingsStore store = SettingsStore()) : settings(std::move(store)) {}
    // An opener still running is left to finish on its own and reaped by a
    // later launcher's open or poll, never waited for.
    ~ManualLauncher();
    ManualLauncher(const ManualLauncher&) = delete;
    ManualLauncher& operator=(const ManualLauncher&) = delete;

    // Reads "ManualPath" and starts the opener on it. A path that cannot be
    // opened (empty, not absolute, no such file) or an opener that cannot be
    // started gives its outcome at the next poll. False, doing nothing, while
    // the previous opener still runs or its outcome has not been polled.
    bool open();

    // The outcome of the last open, once; none while the opener still runs
    // and when nothing was started.
    std::optional<ManualOutcome> poll();

    bool busy() const { return child > 0 || result.has_value(); }

private:
    SettingsStore settings;
    pid_t child = -1;
    std::optional<ManualOutcome> result;
};

} // namespace zel
