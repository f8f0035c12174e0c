// vortan edit PLUGIN [--set NAME=VALUE]... [--screenshot FILE [--after SECONDS]] [options]
#include "host/AutomationReport.h"
#include "host/Commands.h"
#include "host/EditOptions.h"
#include "host/EditorWindow.h"
#include "host/HostError.h"
#include "host/Interruption.h"
#include "host/PluginState.h"
#include "host/RealtimeRunner.h"
#include "host/Screenshot.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <optional>

namespace zel::vortan {

namespace {

using Clock = std::chrono::steady_clock;

// Editors animate from their idle call; this is about 60 calls a second.
constexpr auto kIdleInterval = std::chrono::milliseconds(15);
// The window's size when the plug-in tells none before its editor opens.
constexpr int kFallbackWidth = 640;
constexpr int kFallbackHeight = 480;

struct EditorSize {
    int width;
    int height;
};

std::string pluginTitle(const PluginInstance& plugin, const std::string& path) {
    std::string name = plugin.effectName();
    if (name.empty()) name = plugin.productString();
    if (name.empty()) name = std::filesystem::path(path).stem().string();
    return name;
}

std::optional<EditorSize> editorSize(const PluginInstance& plugin) {
    vst::ERect* rect = nullptr;
    plugin.dispatch(vst::effEditGetRect, 0, 0, &rect);
    if (rect == nullptr) return std::nullopt;
    const int width = rect->right - rect->left;
    const int height = rect->bottom - rect->top;
    if (width < 1 || height < 1 || width > kMaxWindowSide || height > kMaxWindowSide)
        return std::nullopt;
    return EditorSize{width, height};
}

// Closes the editor when the scope ends, whichever way it ends.
class OpenEditor {
public:
    explicit OpenEditor(const PluginInstance& instance) : plugin(instance) {}
    ~OpenEditor() { plugin.dispatch(vst::effEditClose); }
    OpenEditor(const OpenEditor&) = delete;
    OpenEditor& operator=(const OpenEditor&) = delete;

private:
    const PluginInstance& plugin;
};

std::string decibels(double level) {
    if (!(level > 0.0)) return "-inf dBFS";
    char text[32];
    std::snprintf(text, sizeof text, "%.1f dBFS", 20.0 * std::log10(level));
    return text;
}

struct Session {
    double seconds = 0.0;
    std::optional<WindowImage> screenshot;
};

// Shows the editor until the window is closed, Ctrl-C arrives or the
// screenshot is taken; the editor's idle runs every kIdleInterval.
Session runEditor(const PluginInstance& plugin, EditorWindow& window, const EditOptions& options) {
    const auto opened = Clock::now();
    const auto shotTime = opened + std::chrono::duration_cast<Clock::duration>(
                                       std::chrono::duration<double>(options.screenshotAfter));
    auto nextIdle = opened;
    Session session;
    InterruptionGuard interruption;
    while (!interruptionRequested()) {
        auto now = Clock::now();
        if (options.screenshot && now >= shotTime) {
            session.screenshot = window.capture();
            break;
        }
        if (now >= nextIdle) {
            plugin.dispatch(vst::effEditIdle);
            nextIdle = now + kIdleInterval;
        }
        now = Clock::now();
        auto wake = nextIdle;
        if (options.screenshot) wake = std::min(wake, shotTime);
        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(
            std::max(Clock::duration::zero(), wake - now));
        if (!window.pump(wait)) break;
    }
    session.seconds = std::chrono::duration<double>(Clock::now() - opened).count();
    return session;
}

} // namespace

void runEditCommand(std::span<const std::string> arguments, std::ostream& out) {
    const EditOptions options = parseEditOptions(arguments);
    if (options.screenshot) checkScreenshotPath(*options.screenshot);
    EditorWindow window;

    PluginModule module(options.plugin);
    HostState host;
    PluginInstance plugin(module.entry(), host, options.plugin);
    plugin.open();
    plugin.setSampleRate(kRealtimeRate);
    plugin.setBlockSize(kRealtimeBlock);
    applyState(plugin, options.state);
    for (const ParameterAssignment& setting : options.settings) {
        plugin.setParameter(findParameter(plugin, setting.name), setting.value);
    }
    const std::string title = pluginTitle(plugin, options.plugin);
    if (!plugin.hasFlag(vst::effFlagsHasEditor)) throw HostError(title + " has no editor");

    // From here the plug-in may report from its editor and its audio thread at once.
    LiveAutomation live(plugin.parameterCount());
    host.live = &live;
    const EditorSize size =
        editorSize(plugin).value_or(EditorSize{kFallbackWidth, kFallbackHeight});
    window.create(title, size.width, size.height);
    RealtimeRunner runner(plugin);
    Session session;
    {
        if (plugin.dispatch(vst::effEditOpen, 0, 0, reinterpret_cast<void*>(window.handle())) ==
            0) {
            throw HostError(title + " has no editor");
        }
        OpenEditor editor(plugin);
        // Some editors know their size only once they are open.
        if (const auto opened = editorSize(plugin);
            opened && (opened->width != window.width() || opened->height != window.height())) {
            window.resize(opened->width, opened->height);
        }
        window.show();
        session = runEditor(plugin, window, options);
    }
    runner.stop();
    host.live = nullptr;
    host.automated = live.reported();
    saveState(plugin, options.state);
    if (session.screenshot) writePng(*options.screenshot, *session.screenshot);

    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.2f s", session.seconds);
    out << title << ": editor " << window.width() << " x " << window.height() << ", open "
        << seconds << "; " << runner.blocks() << " blocks processed in real time ("
        << runner.lateBlocks() << " late), peak " << decibels(runner.peak());
    if (session.screenshot) out << "; screenshot " << *options.screenshot;
    out << '\n';
    if (options.listAutomation) printAutomation(out, plugin);
}

} // namespace zel::vortan
