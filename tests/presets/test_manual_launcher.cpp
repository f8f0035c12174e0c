// The manual button's opener: the path from "ManualPath", a stand-in xdg-open
// on PATH answering as the real one does, the outcome reported once, and the
// messages the editor shows.
#include "PresetTestSupport.h"

#include "presets/ManualLauncher.h"

#include <chrono>
#include <optional>
#include <thread>

namespace zel::test {
namespace {

// Long enough for a loaded machine to start a shell script many times over.
constexpr auto kOutcomeDeadline = std::chrono::seconds(20);

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool fileExists(const std::string& path) {
    std::error_code ignored;
    return std::filesystem::exists(path, ignored);
}

class ManualOpening : public PresetTest {
protected:
    void SetUp() override {
        PresetTest::SetUp();
        savedPath = std::getenv("PATH") != nullptr ? std::getenv("PATH") : "";
        std::filesystem::create_directories(bin());
        ::setenv("PATH", bin().c_str(), 1); // only the stand-in, never the desktop's opener
        // Characters a shell would act on: the path must reach the opener as one argument.
        manual = folder.file("the manual $(true) & 'co'.pdf");
        std::ofstream(manual) << "%PDF-1.4\n";
    }
    void TearDown() override {
        ::setenv("PATH", savedPath.c_str(), 1);
        PresetTest::TearDown();
    }

    std::string bin() const { return folder.file("bin"); }
    std::string argumentsFile() const { return folder.file("opener-arguments"); }

    // An xdg-open that records its arguments (one a line) and exits with `status`.
    void installOpener(int status, const std::string& before = "") {
        const std::string script = bin() + "/xdg-open";
        std::ofstream(script) << "#!/bin/sh\n"
                              << before << "\nprintf '%s\\n' \"$@\" > '" << argumentsFile()
                              << "'\nexit " << status << "\n";
        std::filesystem::permissions(script, std::filesystem::perms::owner_all);
    }

    SettingsStore store() const { return SettingsStore(settingsFolder); }

    static std::optional<ManualOutcome> waitFor(ManualLauncher& launcher) {
        const auto deadline = std::chrono::steady_clock::now() + kOutcomeDeadline;
        while (std::chrono::steady_clock::now() < deadline) {
            if (auto outcome = launcher.poll()) return outcome;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return std::nullopt;
    }

    std::optional<ManualOutcome> openWith(int status) {
        installOpener(status);
        EXPECT_TRUE(store().writeText(settings::kManualPath, manual));
        ManualLauncher launcher(store());
        EXPECT_TRUE(launcher.open());
        return waitFor(launcher);
    }

    std::string savedPath;
    std::string manual;
};

TEST_F(ManualOpening, TheOpenersAnswerDecidesTheOutcome) {
    EXPECT_EQ(openWith(0), ManualOutcome::opened);
    EXPECT_EQ(readText(argumentsFile()), manual + "\n"); // exactly one argument, untouched
    EXPECT_EQ(openWith(kOpenerNoTool), ManualOutcome::noApplication);
    EXPECT_EQ(openWith(kOpenerActionFailed), ManualOutcome::noApplication);
    EXPECT_EQ(openWith(2), ManualOutcome::failed); // the opener found no such file
    EXPECT_EQ(openWith(1), ManualOutcome::failed); // a wrong command line
}

TEST_F(ManualOpening, NoOpenerInstalledMeansNoApplication) {
    ASSERT_TRUE(store().writeText(settings::kManualPath, manual));
    ManualLauncher launcher(store());
    EXPECT_TRUE(launcher.open());
    EXPECT_EQ(launcher.poll(), ManualOutcome::noApplication); // known at once
    EXPECT_EQ(launcher.poll(), std::nullopt);                 // and reported once
}

TEST_F(ManualOpening, PathsThatCannotBeOpenedFailWithoutTheOpener) {
    installOpener(0);
    const auto outcomeFor = [&](const std::optional<std::string>& path) {
        if (path) {
            EXPECT_TRUE(store().writeText(settings::kManualPath, *path));
        } else {
            EXPECT_TRUE(store().remove(settings::kManualPath));
        }
        ManualLauncher launcher(store());
        EXPECT_TRUE(launcher.open());
        return launcher.poll();
    };
    EXPECT_EQ(outcomeFor(std::nullopt), ManualOutcome::failed); // never installed
    EXPECT_EQ(outcomeFor(""), ManualOutcome::failed);
    EXPECT_EQ(outcomeFor(folder.file("missing.pdf")), ManualOutcome::failed);
    EXPECT_EQ(outcomeFor("manual.pdf"), ManualOutcome::failed);           // not a full path
    EXPECT_EQ(outcomeFor("--help"), ManualOutcome::failed);               // never an option
    EXPECT_EQ(outcomeFor(folder.path().string()), ManualOutcome::failed); // a folder
    EXPECT_FALSE(fileExists(argumentsFile()));
    // Without a settings folder at all.
    ManualLauncher homeless{SettingsStore(std::string())};
    EXPECT_TRUE(homeless.open());
    EXPECT_EQ(homeless.poll(), ManualOutcome::failed);
}

TEST_F(ManualOpening, OneOpeningAtATimeAndAHandTypedLineBreak) {
    installOpener(0, "/bin/sleep 0.3"); // PATH holds only the stand-in
    ASSERT_TRUE(store().writeText(settings::kManualPath, manual + "\n"));
    ManualLauncher launcher(store());
    ASSERT_TRUE(launcher.open());
    EXPECT_EQ(launcher.poll(), std::nullopt); // still running: the editor goes on
    EXPECT_FALSE(launcher.open());            // a second click starts nothing
    EXPECT_EQ(waitFor(launcher), ManualOutcome::opened);
    EXPECT_EQ(readText(argumentsFile()), manual + "\n");
    EXPECT_EQ(launcher.poll(), std::nullopt);
    EXPECT_TRUE(launcher.open()); // free again once the outcome was taken
    EXPECT_EQ(waitFor(launcher), ManualOutcome::opened);
}

TEST(ManualMessages, TextAndCaptionPerOutcome) {
    EXPECT_EQ(manualMessage(ManualOutcome::opened), std::nullopt);
    const auto none = manualMessage(ManualOutcome::noApplication);
    ASSERT_TRUE(none);
    EXPECT_EQ(none->text, "Make sure Acrobat Reader is installed");
    EXPECT_EQ(none->caption, "Could not open manual file");
    const auto failed = manualMessage(ManualOutcome::failed);
    ASSERT_TRUE(failed);
    EXPECT_EQ(failed->text, "Could not open user manual");
    EXPECT_EQ(failed->caption, "");
}

} // namespace
} // namespace zel::test
