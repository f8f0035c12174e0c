// vortan edit: the command line, the editor in its window with the demo
// running, the screenshot, and the failures a user meets. The window tests
// need an X display (CI runs them under xvfb-run) and are skipped without one.
#include "VortanRun.h"
#include "WindowCloser.h"
#include "host/EditOptions.h"
#include "host/HostError.h"

#include <algorithm>
#include <atomic>
#include <cairo.h>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>
#include <thread>
#include <unistd.h>

namespace zel::vortan::test {
namespace {

// The probe editor's picture (see the fixture).
constexpr int kEditorWidth = 160;
constexpr int kEditorHeight = 100;
constexpr uint32_t kEditorColour = 0x2E8B57;
constexpr uint32_t kSquareColour = 0xFFD700;

std::vector<std::string> words(std::initializer_list<const char*> list) {
    return {list.begin(), list.end()};
}

bool haveDisplay() {
    const char* display = std::getenv("DISPLAY");
    return display != nullptr && *display != '\0';
}

TEST(EditOptions, ScreenshotAndState) {
    const EditOptions plain = parseEditOptions(words({"p.so"}));
    EXPECT_EQ(plain.plugin, "p.so");
    EXPECT_FALSE(plain.screenshot);
    const EditOptions shot =
        parseEditOptions(words({"p.so", "--screenshot", "x.png", "--after", "0.5", "--set",
                                "Gain=1", "--program", "3", "--automation"}));
    EXPECT_EQ(shot.screenshot.value_or(""), "x.png");
    EXPECT_EQ(shot.screenshotAfter, 0.5);
    ASSERT_EQ(shot.settings.size(), 1u);
    EXPECT_EQ(shot.state.program.value_or(-1), 3);
    EXPECT_TRUE(shot.listAutomation);
    EXPECT_EQ(parseEditOptions(words({"p.so", "--screenshot", "x.png"})).screenshotAfter,
              kDefaultScreenshotSeconds);
}

TEST(EditOptions, MistakesAreUsageErrors) {
    for (const auto& arguments :
         {words({}), words({"a.so", "b.so"}), words({"p.so", "--after", "1"}),
          words({"p.so", "--screenshot", "x.png", "--after", "-1"}),
          words({"p.so", "--screenshot", "x.png", "--after", "soon"}),
          words({"p.so", "--screenshot", ""}), words({"p.so", "--screenshot"}),
          words({"p.so", "--rate", "48000"})}) {
        EXPECT_THROW(parseEditOptions(arguments), UsageError) << arguments.size();
    }
}

class EditCommand : public ::testing::Test {
protected:
    RunResult edit(const std::vector<std::string>& options, const std::string& behaviour) {
        std::vector<std::string> arguments{"edit", probePluginPath()};
        arguments.insert(arguments.end(), options.begin(), options.end());
        return runVortan(arguments, {"VORTAN_PROBE=" + behaviour, "VORTAN_PROBE_LOG=" + log()});
    }
    std::string log() const { return scratch.file("probe.log"); }
    std::vector<std::string> logLines() const { return lines(readText(log())); }
    long indexOf(const std::string& prefix) const {
        const auto all = logLines();
        for (size_t i = 0; i < all.size(); ++i) {
            if (all[i].rfind(prefix, 0) == 0) return static_cast<long>(i);
        }
        return -1;
    }
    long count(const std::string& prefix) const {
        const auto all = logLines();
        return std::count_if(all.begin(), all.end(),
                             [&](const std::string& line) { return line.rfind(prefix, 0) == 0; });
    }

    ScratchDirectory scratch;
};

struct SurfaceRelease {
    void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
};

uint32_t pixelAt(cairo_surface_t* surface, int x, int y) {
    const unsigned char* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    return reinterpret_cast<const uint32_t*>(data + y * stride)[x] & 0xFFFFFFu;
}

TEST_F(EditCommand, ScreenshotShowsTheEditorWhileTheDemoPlays) {
    if (!haveDisplay()) GTEST_SKIP() << "no X display (run under xvfb-run)";
    const std::string png = scratch.file("editor.png");
    const RunResult run = edit({"--screenshot", png, "--after", "0.5", "--automation"}, "editor");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out.rfind("Probe: editor 160 x 100, open ", 0), 0u) << run.out;
    EXPECT_NE(run.out.find("; screenshot " + png + "\n"), std::string::npos) << run.out;
    // The editor's knob gesture, reported while the audio thread was running.
    EXPECT_NE(run.out.find("\nautomated 1 Level 0.250000\n"), std::string::npos) << run.out;
    EXPECT_FALSE(fileExists(png + ".part"));

    std::unique_ptr<cairo_surface_t, SurfaceRelease> image(
        cairo_image_surface_create_from_png(png.c_str()));
    ASSERT_EQ(cairo_surface_status(image.get()), CAIRO_STATUS_SUCCESS);
    EXPECT_EQ(cairo_image_surface_get_width(image.get()), kEditorWidth);
    EXPECT_EQ(cairo_image_surface_get_height(image.get()), kEditorHeight);
    // The editor's own window and the square inside it (a grandchild of the
    // captured window): both must be in the picture, exactly.
    EXPECT_EQ(pixelAt(image.get(), 120, 70), kEditorColour);
    EXPECT_EQ(pixelAt(image.get(), 159, 99), kEditorColour);
    EXPECT_EQ(pixelAt(image.get(), 20, 20), kSquareColour);

    // The editor got the host's window, was idled and closed before processing
    // stopped; processing ran in real time: about 43 blocks of 512 frames in
    // 0.5 s at 44.1 kHz, so 10 leaves room for a loaded machine.
    EXPECT_EQ(indexOf("editOpen parent=1") >= 0, true);
    EXPECT_LT(indexOf("startProcess"), indexOf("editOpen"));
    EXPECT_LT(indexOf("editClose"), indexOf("stopProcess"));
    EXPECT_LT(indexOf("stopProcess"), indexOf("close"));
    const auto all = logLines();
    const auto closeLine = std::find_if(all.begin(), all.end(), [](const std::string& line) {
        return line.rfind("editClose idles=", 0) == 0;
    });
    ASSERT_NE(closeLine, all.end());
    EXPECT_GE(std::stol(closeLine->substr(16)), 5) << *closeLine;
    EXPECT_GE(count("process float frames=512 rate=44100 block=512 level=2"), 10);
    EXPECT_EQ(count("process double"), 0);
}

TEST_F(EditCommand, ClosingTheWindowEndsCleanly) {
    if (!haveDisplay()) GTEST_SKIP() << "no X display (run under xvfb-run)";
    // Tests may run side by side on one display: this window's title is its own.
    const std::string title = "Probe " + std::to_string(::getpid());
    RunningProgram vortan(
        vortanPath(), {"edit", probePluginPath()},
        {"VORTAN_PROBE=editor", "VORTAN_PROBE_NAME=" + title, "VORTAN_PROBE_LOG=" + log()});
    // A hung vortan must fail the test, not stall the suite.
    std::atomic<bool> finished = false;
    const int pid = vortan.pid(); // taken now: after waiting the object answers -1
    ASSERT_GT(pid, 0);
    std::thread watchdog([&finished, pid] {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!finished && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (!finished) ::kill(pid, SIGKILL);
    });
    const bool closed = closeWindowTitled(title, std::chrono::seconds(20));
    const RunResult run = vortan.wait();
    finished = true;
    watchdog.join();
    ASSERT_TRUE(closed) << "no window titled " << title;
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out.rfind(title + ": editor 160 x 100, open ", 0), 0u) << run.out;
    EXPECT_EQ(run.out.find("screenshot"), std::string::npos);
    EXPECT_LT(indexOf("editClose"), indexOf("stopProcess"));
    EXPECT_LT(indexOf("stopProcess"), indexOf("close"));
}

TEST_F(EditCommand, NoDisplayIsOneLine) {
    const RunResult run = runVortan({"edit", probePluginPath()}, {"DISPLAY=", "VORTAN_PROBE=editor",
                                                                  "VORTAN_PROBE_LOG=" + log()});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "vortan: cannot open the X display (DISPLAY is not set)\n");
    EXPECT_FALSE(fileExists(log())); // the plug-in was never loaded
    const RunResult wrong = runVortan({"edit", probePluginPath()}, {"DISPLAY=:9999"});
    EXPECT_EQ(wrong.status, 1);
    EXPECT_EQ(wrong.err, "vortan: cannot open the X display ':9999'\n");
}

TEST_F(EditCommand, PluginsWithoutAnEditor) {
    if (!haveDisplay()) GTEST_SKIP() << "no X display (run under xvfb-run)";
    const RunResult none = edit({}, "");
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(none.err, "vortan: Probe has no editor\n");
    EXPECT_EQ(indexOf("editOpen"), -1);

    std::remove(log().c_str());
    const RunResult fails = edit({}, "editorfails");
    EXPECT_EQ(fails.status, 1);
    EXPECT_EQ(fails.err, "vortan: Probe has no editor\n");
    // Asked once, never closed, and the plug-in still switched off and closed.
    EXPECT_EQ(count("editOpen"), 1);
    EXPECT_EQ(count("editClose"), 0);
    EXPECT_GE(indexOf("stopProcess"), 0);
    EXPECT_GE(indexOf("close"), 0);
}

TEST_F(EditCommand, WrongScreenshotPathsFailBeforeAnythingOpens) {
    const RunResult missing =
        edit({"--screenshot", scratch.file("no/such/folder/x.png")}, "editor");
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "vortan: cannot write screenshot '" +
                               scratch.file("no/such/folder/x.png") + "': folder '" +
                               scratch.file("no/such/folder") + "' does not exist\n");
    const RunResult folder = edit({"--screenshot", scratch.path()}, "editor");
    EXPECT_EQ(folder.status, 1);
    EXPECT_EQ(folder.err, "vortan: screenshot '" + scratch.path() + "' is a directory\n");
    const RunResult usage = edit({"--after", "1"}, "editor");
    EXPECT_EQ(usage.status, 2);
    EXPECT_EQ(usage.err, "vortan: --after goes with --screenshot FILE\n");
    EXPECT_FALSE(fileExists(log()));
}

} // namespace
} // namespace zel::vortan::test
