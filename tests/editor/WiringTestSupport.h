// Shared pieces of the editor's wiring tests: the effect with its editor open
// in a host window on the X server (Xvfb), a host that records the effect's
// callbacks, real mouse and key input through XTEST, a settings folder of its
// own per test, and stand-ins for the file dialog (zenity) and the manual's
// opener (xdg-open) on PATH. Skipped without a DISPLAY.
#pragma once

#include "HostWindow.h"
#include "editor/RotaryEditor.h"
#include "gui/CControl.h"
#include "gui/CFrame.h"
#include "plugin/RotaryEffect.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace zel::test {

// What the effect told the host (audioMasterAutomate with its index and value).
struct AutomateCall {
    int32_t index;
    float value;
};

// The callback has no user pointer, so the tests share one record; any thread
// may call it (the audio thread asks for pins, MIDI automates the lever).
struct RecordingHost {
    std::mutex guard;
    std::vector<AutomateCall> automated;
    int beginEdits = 0;
    int endEdits = 0;

    void reset() {
        std::lock_guard lock(guard);
        automated.clear();
        beginEdits = endEdits = 0;
    }
    std::vector<AutomateCall> automateCalls() {
        std::lock_guard lock(guard);
        return automated;
    }
};

inline RecordingHost recordingHost;

inline intptr_t recordingHostCallback(vst::AEffect*, int32_t opcode, int32_t index, intptr_t, void*,
                                      float opt) {
    switch (opcode) {
    case vst::audioMasterVersion:
        return 2400;
    case vst::audioMasterAutomate: {
        std::lock_guard lock(recordingHost.guard);
        recordingHost.automated.push_back({index, opt});
        return 0;
    }
    case vst::audioMasterBeginEdit: {
        std::lock_guard lock(recordingHost.guard);
        ++recordingHost.beginEdits;
        return 0;
    }
    case vst::audioMasterEndEdit: {
        std::lock_guard lock(recordingHost.guard);
        ++recordingHost.endEdits;
        return 0;
    }
    default:
        return 0; // pins connected, nothing else answered
    }
}

// The effect with its editor object open to the tests.
class EditorEffect : public RotaryEffect {
public:
    EditorEffect() : RotaryEffect(recordingHostCallback) {
        setSampleRate(44100.f);
        setBlockSize(kBlock);
        resume();
    }
    static constexpr int32_t kBlock = 256;

    RotaryEditor& editor() { return *static_cast<RotaryEditor*>(getEditor()); }

    // One block of a quiet test tone, so the rotors turn.
    void processBlock() {
        for (int32_t i = 0; i < kBlock; ++i) {
            input[0][i] = input[1][i] = 0.1f * static_cast<float>((i % 64) - 32) / 32.f;
        }
        float* in[2] = {input[0], input[1]};
        float* out[2] = {output[0], output[1]};
        processReplacing(in, out, kBlock);
    }
    void process(double seconds) {
        const auto blocks = static_cast<int>(seconds * 44100.0 / kBlock);
        for (int b = 0; b < blocks; ++b) processBlock();
    }

private:
    float input[2][kBlock]{};
    float output[2][kBlock]{};
};

// A fresh folder under the system's temporary folder, removed afterwards.
class ScratchFolder {
public:
    ScratchFolder() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "zel-editor-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

inline void writeTextFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::trunc);
    out << text;
}

inline std::string readTextFile(const std::string& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The effect, its editor open in a host window, a private settings folder and
// the stand-in programs. The animation clock only moves when a test moves it.
class EditorTest : public ::testing::Test {
protected:
    static constexpr int kWidth = RotaryEditor::kWidth;
    static constexpr int kHeight = RotaryEditor::kHeight;

    void SetUp() override {
        if (!HostWindow::displayAvailable()) GTEST_SKIP() << "no DISPLAY (run under xvfb-run)";
        recordingHost.reset();
        settingsFolder = scratch.file("settings");
        ::setenv("ZELVORTAN_SETTINGS_DIR", settingsFolder.c_str(), 1);
        installStandIns();
        host = std::make_unique<HostWindow>(kWidth, kHeight);
        ASSERT_TRUE(host->isOpen());
        ASSERT_TRUE(host->hasXTest());
        createEffect();
        ASSERT_TRUE(openEditor());
    }

    void TearDown() override {
        if (effect) closeEditor();
        effect.reset();
        host.reset();
        if (!savedPath.empty()) ::setenv("PATH", savedPath.c_str(), 1);
    }

    void createEffect() {
        effect = std::make_unique<EditorEffect>();
        editor().setTickClock([this] { return ticks; });
    }
    // Destroys the instance (it remembers its folder and file names) and makes
    // a new one with the same settings folder.
    void recreateEffect() {
        closeEditor();
        effect.reset();
        createEffect();
    }
    bool openEditor() {
        if (!editor().open(host->parentHandle())) return false;
        pump(0.1);
        return true;
    }
    void closeEditor() {
        editor().close();
        host->sync();
    }

    RotaryEditor& editor() { return effect->editor(); }
    gui::CFrame* frame() { return editor().getFrame(); }

    // The editor's controls with a tag, in drawing order.
    std::vector<gui::CControl*> controlsWithTag(int32_t tag) {
        std::vector<gui::CControl*> found;
        for (int32_t i = 0; i < frame()->getNbViews(); ++i)
            if (auto* control = dynamic_cast<gui::CControl*>(frame()->getView(i)))
                if (control->getTag() == tag) found.push_back(control);
        return found;
    }
    // The first control with a tag that is of the class (or derived from it).
    template <typename T> T* control(int32_t tag) {
        for (gui::CControl* c : controlsWithTag(tag))
            if (auto* typed = dynamic_cast<T*>(c)) return typed;
        return nullptr;
    }

    // Idle calls as a host makes them, for the given time.
    void pump(double seconds) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        do {
            editor().idle();
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        } while (std::chrono::steady_clock::now() < end);
    }
    bool pumpUntil(const std::function<bool()>& done, double seconds = 5.0) {
        return HostWindow::pumpUntil([this] { editor().idle(); }, done, seconds);
    }
    // Animation steps: the clock moves past the step interval before each idle.
    void animate(int steps) {
        for (int i = 0; i < steps; ++i) {
            ticks += RotaryEditor::kAnimationIntervalMs + 1;
            editor().idle();
        }
    }

    // With ZEL_EDITOR_SCREENSHOTS naming a folder, saves what the window
    // shows there as <name>.png (for a person to look at).
    void screenshot(const std::string& name) {
        const char* folder = std::getenv("ZEL_EDITOR_SCREENSHOTS");
        if (!folder || !*folder) return;
        pump(0.1);
        host->writePng((std::string(folder) + "/" + name + ".png").c_str(), kWidth, kHeight);
    }

    // Real input through the X server. Buttons: 1 left, 3 right.
    void click(int x, int y, unsigned button = 1, bool control = false) {
        host->movePointer(x, y);
        pump(0.03);
        if (control) host->controlKey(true);
        host->button(button, true);
        pump(0.03);
        host->button(button, false);
        pump(0.03);
        if (control) host->controlKey(false);
        pump(0.03);
    }
    void doubleClick(int x, int y, bool control = false) {
        host->movePointer(x, y);
        pump(0.03);
        if (control) host->controlKey(true);
        for (int i = 0; i < 2; ++i) {
            host->button(1, true);
            pump(0.02);
            host->button(1, false);
            pump(0.02);
        }
        if (control) host->controlKey(false);
        pump(0.03);
    }
    // Lets a double-click interval pass, so the next press is a single one.
    void waitPastDoubleClick() { pump(frame()->getDoubleClickTime() + 0.1); }
    void typeText(const std::string& text) {
        for (char c : text) {
            host->tapCharacter(c);
            pump(0.01);
        }
    }

    // Stand-in programs: zenity writes its arguments, one per line, to
    // zenity.log and prints the answer in zenity.answer (cancels without one);
    // xdg-open exits with the status in opener.status.
    void installStandIns() {
        const std::string bin = scratch.file("bin");
        std::filesystem::create_directories(bin);
        zenityLog = scratch.file("zenity.log");
        zenityAnswer = scratch.file("zenity.answer");
        openerStatus = scratch.file("opener.status");
        writeScript(bin + "/zenity", "for a in \"$@\"; do printf '%s\\n' \"$a\"; done >> '" +
                                         zenityLog + "'\necho '--end' >> '" + zenityLog +
                                         "'\n[ -s '" + zenityAnswer + "' ] || exit 1\ncat '" +
                                         zenityAnswer + "'\n");
        writeScript(bin + "/xdg-open",
                    "exit $(cat '" + openerStatus + "' 2>/dev/null || echo 0)\n");
        const char* path = std::getenv("PATH");
        savedPath = path ? path : "";
        ::setenv("PATH", (bin + ":" + savedPath).c_str(), 1);
    }
    static void writeScript(const std::string& path, const std::string& body) {
        writeTextFile(path, "#!/bin/sh\n" + body);
        std::filesystem::permissions(path, std::filesystem::perms::owner_all);
    }
    // The arguments of each zenity run so far.
    std::vector<std::vector<std::string>> zenityRuns() {
        std::vector<std::vector<std::string>> runs(1);
        std::istringstream lines(readTextFile(zenityLog));
        for (std::string line; std::getline(lines, line);) {
            if (line == "--end")
                runs.emplace_back();
            else
                runs.back().push_back(line);
        }
        runs.pop_back();
        return runs;
    }
    // The value of an option "--name=value" of a zenity run, empty when absent.
    static std::string option(const std::vector<std::string>& run, const std::string& name) {
        const std::string prefix = "--" + name + "=";
        for (const std::string& argument : run)
            if (argument.rfind(prefix, 0) == 0) return argument.substr(prefix.size());
        return {};
    }
    // Waits for the dialog of the last command to have run and been answered.
    bool waitForDialog(std::size_t runsBefore) {
        return pumpUntil([&] { return zenityRuns().size() > runsBefore; }) && (pump(0.2), true);
    }

    ScratchFolder scratch;
    std::string settingsFolder;
    std::string zenityLog, zenityAnswer, openerStatus;
    std::string savedPath;
    std::unique_ptr<HostWindow> host;
    std::unique_ptr<EditorEffect> effect;
    uint32_t ticks = 1000;
};

} // namespace zel::test
