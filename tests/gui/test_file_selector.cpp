// The file dialog runs as a child process polled from the frame's idle. A
// stand-in "zenity" script on PATH records its arguments and plays the user.
#include "GuiTestSupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace zel::gui::test {
namespace {

namespace fs = std::filesystem;

constexpr const char* kStandIn = R"(#!/bin/sh
for argument in "$@"; do printf '%s\n' "$argument"; done > "$ZEL_FAKE_ZENITY_LOG"
case "$ZEL_FAKE_ZENITY_MODE" in
    choose) printf '%s\n' "$ZEL_FAKE_ZENITY_PATH"; exit 0 ;;
    cancel) exit 1 ;;
    broken) exit 127 ;;
    hang) exec /bin/sleep 30 ;;
esac
)";

class FileSelector : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("zel-gui-selector-" + std::to_string(getpid()));
        fs::create_directories(dir / "bin");
        fs::create_directories(dir / "empty");
        const fs::path script = dir / "bin" / "zenity";
        std::ofstream(script) << kStandIn;
        fs::permissions(script, fs::perms::owner_all);
        oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
        setenv("PATH", (dir / "bin").c_str(), 1);
        setenv("ZEL_FAKE_ZENITY_LOG", (dir / "arguments").c_str(), 1);
        frame = new TestFrame(CRect(0, 0, 100, 100));
    }
    void TearDown() override {
        if (frame) frame->forget();
        setenv("PATH", oldPath.c_str(), 1);
        fs::remove_all(dir);
    }

    // Idles the frame until the dialog has ended (at most a few seconds).
    void idleUntilDone(CNewFileSelector* selector) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (selector->isRunning() && std::chrono::steady_clock::now() < deadline) {
            frame->idle();
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }

    std::vector<std::string> recordedArguments() {
        std::ifstream in(dir / "arguments");
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }

    // True when this process has no child, running or unreaped (the check reaps none).
    static bool noChildLeft() {
        siginfo_t info{};
        return waitid(P_ALL, 0, &info, WEXITED | WNOHANG | WNOWAIT) == -1 && errno == ECHILD;
    }

    fs::path dir;
    std::string oldPath;
    TestFrame* frame = nullptr;
};

TEST_F(FileSelector, OpenDialogReportsTheChosenPathWithoutBlocking) {
    setenv("ZEL_FAKE_ZENITY_MODE", "choose", 1);
    setenv("ZEL_FAKE_ZENITY_PATH", "/home/user/my presets/Warm.zel", 1);
    auto* selector = CNewFileSelector::create(frame, CNewFileSelector::kSelectFile);
    selector->setTitle("Load preset");
    selector->addFileExtension(CFileExtension("Zel Preset", "zel"));
    selector->setInitialDirectory("/home/user/my presets/");
    std::vector<std::string> chosen;
    ASSERT_TRUE(selector->run([&chosen](CNewFileSelector* s) {
        for (int32_t i = 0; i < s->getNumSelectedFiles(); ++i)
            chosen.push_back(s->getSelectedFile(static_cast<uint32_t>(i)));
    }));
    EXPECT_TRUE(selector->isRunning());
    selector->forget();          // the frame keeps it while it runs
    EXPECT_TRUE(chosen.empty()); // nothing until idle reads the answer
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (chosen.empty() && std::chrono::steady_clock::now() < deadline) {
        frame->idle();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    EXPECT_EQ(chosen, std::vector<std::string>{"/home/user/my presets/Warm.zel"});
    EXPECT_EQ(recordedArguments(),
              (std::vector<std::string>{"--file-selection", "--title=Load preset",
                                        "--file-filter=Zel Preset | *.zel",
                                        "--filename=/home/user/my presets/"}));
    EXPECT_TRUE(noChildLeft());
}

TEST_F(FileSelector, SaveDialogAsksToConfirmAndOffersTheDefaultName) {
    setenv("ZEL_FAKE_ZENITY_MODE", "choose", 1);
    setenv("ZEL_FAKE_ZENITY_PATH", "/tmp/out.zlb", 1);
    auto* selector = CNewFileSelector::create(frame, CNewFileSelector::kSelectSaveFile);
    selector->setTitle("Save bank");
    selector->addFileExtension(CFileExtension("Zel Bank", "zlb"));
    selector->setInitialDirectory("/data/banks");
    selector->setDefaultSaveName("Live set.zlb");
    int calls = 0;
    ASSERT_TRUE(selector->run([&calls](CNewFileSelector* s) {
        ++calls;
        EXPECT_STREQ(s->getSelectedFile(0), "/tmp/out.zlb");
        EXPECT_EQ(s->getSelectedFile(1), nullptr);
    }));
    idleUntilDone(selector);
    selector->forget();
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(recordedArguments(),
              (std::vector<std::string>{"--file-selection", "--title=Save bank", "--save",
                                        "--confirm-overwrite", "--file-filter=Zel Bank | *.zlb",
                                        "--filename=/data/banks/Live set.zlb"}));
}

TEST_F(FileSelector, CancelledFailedOrMissingDialogDoesNothing) {
    int calls = 0;
    auto count = [&calls](CNewFileSelector*) { ++calls; };
    for (const char* mode : {"cancel", "broken"}) {
        setenv("ZEL_FAKE_ZENITY_MODE", mode, 1);
        auto* selector = CNewFileSelector::create(frame);
        ASSERT_TRUE(selector->run(count)) << mode;
        idleUntilDone(selector);
        EXPECT_FALSE(selector->isRunning()) << mode;
        selector->forget();
    }
    setenv("PATH", (dir / "empty").c_str(), 1);
    auto* selector = CNewFileSelector::create(frame);
    EXPECT_FALSE(selector->run(count)); // no zenity on PATH
    selector->forget();
    for (int i = 0; i < 5; ++i) frame->idle();
    EXPECT_EQ(calls, 0);
    EXPECT_TRUE(noChildLeft());
    EXPECT_EQ(CNewFileSelector::create(nullptr), nullptr);
}

TEST_F(FileSelector, ADialogStillOpenWhenTheFrameClosesIsTerminatedAndReaped) {
    setenv("ZEL_FAKE_ZENITY_MODE", "hang", 1);
    int calls = 0;
    auto* selector = CNewFileSelector::create(frame);
    ASSERT_TRUE(selector->run([&calls](CNewFileSelector*) { ++calls; }));
    selector->forget();
    frame->idle();
    EXPECT_FALSE(noChildLeft());
    const auto start = std::chrono::steady_clock::now();
    frame->forget();
    frame = nullptr;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_TRUE(noChildLeft());
    EXPECT_EQ(calls, 0);
}

} // namespace
} // namespace zel::gui::test
