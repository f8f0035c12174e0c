// The preset panel end to end, with real presses: file dialogs (a stand-in
// zenity records its arguments and answers a chosen path), the default bank
// and preset, the program rocker, menu and name field, the memories, what the
// next instance remembers, and the user manual's messages (a stand-in
// xdg-open exits with a chosen status).
#include "WiringTestSupport.h"

#include "editor/CAnimKnob3.h"
#include "editor/CZelTextEdit.h"
#include "gui/CAlertBox.h"
#include "gui/COptionMenu.h"
#include "presets/CPSKickButton.h"
#include "presets/ManualLauncher.h"
#include "presets/SettingsStore.h"

#include <filesystem>

namespace zel::test {
namespace {

// Centres of the panel's buttons (the strip's row is at y = 561).
constexpr int kRow = 561;
constexpr int kSaveBankX = 10;
constexpr int kDefaultBankX = 34;
constexpr int kLoadBankX = 60;
constexpr int kSavePresetX = 75;
constexpr int kDefaultPresetX = 104;
constexpr int kLoadPresetX = 134;
constexpr int kNameFieldX = 204;
constexpr int kMenuX = 269;
constexpr int kRockerLeftX = 283;
constexpr int kRockerRightX = 304;
constexpr int kStoreMemoAX = 317;
constexpr int kRecallMemoAX = 339;
constexpr int kManualX = 392;

std::string programName(EditorEffect& fx, int32_t index) {
    char name[kProgramNameSize + 1] = {};
    fx.getProgramNameIndexed(0, index, name);
    return name;
}

class PresetPanel : public EditorTest {
protected:
    void answer(const std::string& path) { writeTextFile(zenityAnswer, path + "\n"); }
    // Presses a panel button and waits for its dialog; the run's arguments.
    std::vector<std::string> dialogFrom(int x, unsigned button = 1) {
        const std::size_t before = zenityRuns().size();
        waitPastDoubleClick();
        click(x, kRow, button);
        EXPECT_TRUE(waitForDialog(before));
        const auto runs = zenityRuns();
        return runs.empty() ? std::vector<std::string>{} : runs.back();
    }
    std::string settingFile(std::string_view name) {
        return settingsFolder + "/" + std::string(name);
    }
    void renameCurrent(const char* name) {
        std::string text = name;
        effect->setProgramName(text.data());
    }
    CZelTextEdit* nameField() { return control<CZelTextEdit>(149); }
};

// A right click on the load-preset arrow reads the file in the other byte
// order: a file in this machine's order is then refused.
TEST_F(PresetPanel, RightClickOnLoadPresetLoadsEndianReversed) {
    renameCurrent("Saved Sound");
    effect->setParameter(17, 0.25f);
    const std::string path = scratch.file("sound.zel");
    ASSERT_TRUE(editor().savePresetFile(path));
    renameCurrent("Changed");
    effect->setParameter(17, 0.75f);
    answer(path);

    const std::vector<std::string> reversed = dialogFrom(kLoadPresetX, 3);
    EXPECT_EQ(option(reversed, "title"), "Load preset (endian-reversed)");
    EXPECT_EQ(option(reversed, "file-filter"), "Zel Preset | *.zel");
    EXPECT_EQ(option(reversed, "filename"), scratch.path().string() + "/");
    EXPECT_EQ(programName(*effect, 0), "Changed");
    EXPECT_EQ(effect->getParameter(17), 0.75f);

    const std::vector<std::string> plain = dialogFrom(kLoadPresetX, 1);
    EXPECT_EQ(option(plain, "title"), "Load preset");
    EXPECT_EQ(programName(*effect, 0), "Saved Sound");
    EXPECT_EQ(effect->getParameter(17), 0.25f);
    EXPECT_STREQ(nameField()->getText(), "Saved Sound");
    pump(0.05);
    EXPECT_EQ(control<CAnimKnob3>(17)->getValue(), 0.25f);
}

// A right click on a save arrow saves as a left click does; a name without an
// extension gets the kind's.
TEST_F(PresetPanel, RightClickOnSaveSavesNormally) {
    renameCurrent("Right Saved");
    answer(scratch.file("right"));
    const std::vector<std::string> run = dialogFrom(kSavePresetX, 3);
    EXPECT_EQ(option(run, "title"), "Save preset");
    EXPECT_EQ(std::count(run.begin(), run.end(), "--save"), 1);
    const std::string saved = scratch.file("right.zel");
    ASSERT_TRUE(std::filesystem::exists(saved));
    renameCurrent("Other");
    ASSERT_TRUE(editor().loadPresetFile(saved));
    EXPECT_EQ(programName(*effect, 0), "Right Saved");

    answer(scratch.file("whole.zlb"));
    const std::vector<std::string> bankRun = dialogFrom(kSaveBankX, 3);
    EXPECT_EQ(option(bankRun, "title"), "Save bank");
    EXPECT_EQ(option(bankRun, "file-filter"), "Zel Bank | *.zlb");
    EXPECT_TRUE(std::filesystem::exists(scratch.file("whole.zlb")));

    answer(scratch.file("whole.zlb"));
    EXPECT_EQ(option(dialogFrom(kLoadBankX, 3), "title"), "Load bank (endian-reversed)");
    EXPECT_EQ(option(dialogFrom(kLoadBankX, 1), "title"), "Load bank");
}

// A cancelled dialog changes nothing and remembers nothing.
TEST_F(PresetPanel, CancelledDialogChangesNothing) {
    renameCurrent("Kept");
    const std::string folderBefore = editor().currentFolder();
    dialogFrom(kLoadPresetX); // no answer: the stand-in cancels
    EXPECT_EQ(programName(*effect, 0), "Kept");
    EXPECT_EQ(editor().currentFolder(), folderBefore);
}

// The default-bank button wants a double-click: a single click does nothing,
// a double-click stores the bank, a Control+double-click deletes it. The
// default-preset button likewise.
TEST_F(PresetPanel, DefaultButtonsStoreOnDoubleClickAndClearWithControl) {
    struct Case {
        int x;
        std::string_view setting;
    };
    for (const Case& c : {Case{kDefaultBankX, settings::kDefaultBank},
                          Case{kDefaultPresetX, settings::kDefaultPreset}}) {
        SCOPED_TRACE(std::string(c.setting));
        const std::string file = settingFile(c.setting);
        waitPastDoubleClick();
        click(c.x, kRow);
        EXPECT_FALSE(std::filesystem::exists(file));
        waitPastDoubleClick();
        doubleClick(c.x, kRow);
        EXPECT_TRUE(std::filesystem::exists(file));
        waitPastDoubleClick();
        click(c.x, kRow, 1, true); // Control without a double-click: nothing
        EXPECT_TRUE(std::filesystem::exists(file));
        waitPastDoubleClick();
        doubleClick(c.x, kRow, true);
        EXPECT_FALSE(std::filesystem::exists(file));
    }
}

// The rocker steps through the programs and stops at 0 and 31.
TEST_F(PresetPanel, RockerStopsAtTheFirstAndLastProgram) {
    effect->selectProgram(31);
    waitPastDoubleClick();
    click(kRockerRightX, kRow);
    EXPECT_EQ(effect->getCurrentProgramIndex(), 31);
    EXPECT_EQ(nameField()->getText(), programName(*effect, 31));
    waitPastDoubleClick();
    click(kRockerLeftX, kRow);
    EXPECT_EQ(effect->getCurrentProgramIndex(), 30);
    EXPECT_EQ(nameField()->getText(), programName(*effect, 30));
    EXPECT_EQ(control<gui::COptionMenu>(161)->getCurrentIndex(), 30);

    effect->selectProgram(0);
    waitPastDoubleClick();
    click(kRockerLeftX, kRow);
    EXPECT_EQ(effect->getCurrentProgramIndex(), 0);
    waitPastDoubleClick();
    click(kRockerRightX, kRow);
    EXPECT_EQ(effect->getCurrentProgramIndex(), 1);
    EXPECT_EQ(nameField()->getText(), programName(*effect, 1));
}

// Choosing an entry in the program menu's pop-up selects that program and
// shows its name; its values reach the controls.
TEST_F(PresetPanel, MenuChoiceSelectsTheProgram) {
    constexpr int32_t kChosen = 12;
    effect->selectProgram(kChosen);
    const float chosenValue = effect->getParameter(17);
    effect->selectProgram(0);
    waitPastDoubleClick();
    click(kMenuX, kRow);
    gui::CView* popup = frame()->getModalView();
    ASSERT_NE(popup, nullptr);
    screenshot("program-menu");
    // 32 entries in columns of 8 rows.
    const gui::CRect list = popup->getViewSize();
    const double columnWidth = list.getWidth() / 4;
    const double rowHeight = (list.getHeight() - 2) / 8;
    const int x = static_cast<int>(list.left + columnWidth * (kChosen / 8) + columnWidth / 2);
    const int y = static_cast<int>(list.top + 1 + rowHeight * (kChosen % 8) + rowHeight / 2);
    waitPastDoubleClick();
    click(x, y);
    EXPECT_EQ(frame()->getModalView(), nullptr);
    EXPECT_EQ(effect->getCurrentProgramIndex(), kChosen);
    EXPECT_EQ(nameField()->getText(), programName(*effect, kChosen));
    pump(0.05);
    EXPECT_EQ(control<CAnimKnob3>(17)->getValue(), chosenValue);
}

// Typing into the name field renames the current program; the menu shows it.
TEST_F(PresetPanel, TypingInTheNameFieldRenamesTheProgram) {
    effect->selectProgram(3);
    waitPastDoubleClick();
    click(kNameFieldX, kRow);
    ASSERT_TRUE(nameField()->isEditing());
    typeText("deep swirl");
    screenshot("name-field-editing");
    host->tapReturn();
    pump(0.1);
    EXPECT_FALSE(nameField()->isEditing());
    EXPECT_EQ(programName(*effect, 3), "deep swirl");
    EXPECT_STREQ(control<gui::COptionMenu>(161)->getEntryTitle(3), "deep swirl");
    char hostName[kProgramNameSize + 1] = {};
    effect->getProgramName(hostName);
    EXPECT_STREQ(hostName, "deep swirl");
}

// The host renaming the program shows in the field and the menu.
TEST_F(PresetPanel, HostRenameShowsOnThePanel) {
    renameCurrent("From The Host");
    EXPECT_STREQ(nameField()->getText(), "From The Host");
    EXPECT_STREQ(control<gui::COptionMenu>(161)->getEntryTitle(0), "From The Host");
}

// Memory A keeps a program: stored, changed, recalled into whichever program
// is current.
TEST_F(PresetPanel, MemoAStoresAndRecalls) {
    renameCurrent("Memorised");
    effect->setParameter(17, 0.3f);
    effect->setParameter(22, 0.6f);
    waitPastDoubleClick();
    click(kStoreMemoAX, kRow);
    ASSERT_TRUE(std::filesystem::exists(settingFile(settings::kMemoA)));

    effect->setParameter(17, 0.9f);
    effect->selectProgram(5);
    waitPastDoubleClick();
    click(kRecallMemoAX, kRow);
    EXPECT_EQ(effect->getCurrentProgramIndex(), 5);
    EXPECT_EQ(programName(*effect, 5), "Memorised");
    EXPECT_EQ(effect->getParameter(17), 0.3f);
    EXPECT_EQ(effect->getParameter(22), 0.6f);
    EXPECT_STREQ(nameField()->getText(), "Memorised");
    pump(0.05);
    EXPECT_EQ(control<CAnimKnob3>(17)->getValue(), 0.3f);
}

// A new instance starts with the stored bank, program 0 replaced by the
// stored preset, program 0 selected.
TEST_F(PresetPanel, StoredDefaultsArePickedUpByANewInstance) {
    effect->selectProgram(3);
    renameCurrent("Bank Three");
    effect->setParameter(18, 0.11f);
    waitPastDoubleClick();
    doubleClick(kDefaultBankX, kRow);
    effect->selectProgram(0);
    renameCurrent("Preset Zero");
    effect->setParameter(18, 0.77f);
    waitPastDoubleClick();
    doubleClick(kDefaultPresetX, kRow);
    ASSERT_TRUE(std::filesystem::exists(settingFile(settings::kDefaultBank)));
    ASSERT_TRUE(std::filesystem::exists(settingFile(settings::kDefaultPreset)));

    recreateEffect();
    EXPECT_EQ(effect->getCurrentProgramIndex(), 0);
    EXPECT_EQ(programName(*effect, 0), "Preset Zero");
    EXPECT_EQ(effect->getParameter(18), 0.77f);
    EXPECT_EQ(programName(*effect, 3), "Bank Three");
    ASSERT_TRUE(openEditor());
    EXPECT_STREQ(nameField()->getText(), "Preset Zero");
    EXPECT_EQ(control<CAnimKnob3>(18)->getValue(), 0.77f);
}

// The folder and names chosen in one instance are offered by the next one's
// dialogs.
TEST_F(PresetPanel, NextInstanceOffersTheLastFolderAndNames) {
    const std::string presets = scratch.file("my presets");
    const std::string banks = scratch.file("my banks");
    std::filesystem::create_directories(presets);
    std::filesystem::create_directories(banks);
    answer(presets + "/warm organ.zel");
    dialogFrom(kSavePresetX);
    answer(banks + "/live set.zlb");
    dialogFrom(kSaveBankX);
    ASSERT_TRUE(std::filesystem::exists(presets + "/warm organ.zel"));
    ASSERT_TRUE(std::filesystem::exists(banks + "/live set.zlb"));

    recreateEffect();
    ASSERT_TRUE(openEditor());
    writeTextFile(zenityAnswer, ""); // cancel from here on
    EXPECT_EQ(option(dialogFrom(kSavePresetX), "filename"), banks + "/warm organ.zel");
    EXPECT_EQ(option(dialogFrom(kSaveBankX), "filename"), banks + "/live set.zlb");
    EXPECT_EQ(option(dialogFrom(kLoadPresetX), "filename"), banks + "/");
}

class UserManual : public PresetPanel {
protected:
    void SetUp() override {
        PresetPanel::SetUp();
        if (IsSkipped()) return;
        manual = scratch.file("manual.pdf");
        writeTextFile(manual, "%PDF-1.4\n");
        SettingsStore(settingsFolder).writeText(settings::kManualPath, manual);
    }
    // Presses the manual button with the opener exiting with status; the
    // message panel shown, if any.
    gui::CAlertBox* pressWithOpenerStatus(int status) {
        writeTextFile(openerStatus, std::to_string(status));
        waitPastDoubleClick();
        click(kManualX, kRow);
        pumpUntil([&] { return frame()->getModalView() != nullptr; }, status == 0 ? 0.5 : 5.0);
        return dynamic_cast<gui::CAlertBox*>(frame()->getModalView());
    }
    std::string manual;
};

TEST_F(UserManual, NoApplicationAsksForAReader) {
    gui::CAlertBox* box = pressWithOpenerStatus(kOpenerNoTool);
    ASSERT_NE(box, nullptr);
    EXPECT_STREQ(box->getText(), "Make sure Acrobat Reader is installed");
    EXPECT_STREQ(box->getCaption(), "Could not open manual file");
    screenshot("manual-message");
    host->tapReturn();
    EXPECT_TRUE(pumpUntil([&] { return frame()->getModalView() == nullptr; }));
    EXPECT_FALSE(control<CPSKickButton>(168)->isPressed());
}

TEST_F(UserManual, OtherFailuresSayItCouldNotOpen) {
    gui::CAlertBox* box = pressWithOpenerStatus(2);
    ASSERT_NE(box, nullptr);
    EXPECT_STREQ(box->getText(), "Could not open user manual");
    EXPECT_STREQ(box->getCaption(), "");
    // The OK button closes it too.
    const gui::CPoint ok = box->getButtonRect().getCenter();
    waitPastDoubleClick();
    click(static_cast<int>(ok.x), static_cast<int>(ok.y));
    EXPECT_EQ(frame()->getModalView(), nullptr);
    EXPECT_FALSE(control<CPSKickButton>(168)->isPressed());
}

TEST_F(UserManual, OpenedManualShowsNoMessage) {
    EXPECT_EQ(pressWithOpenerStatus(0), nullptr);
    EXPECT_EQ(frame()->getModalView(), nullptr);
    EXPECT_FALSE(control<CPSKickButton>(168)->isPressed());
}

} // namespace
} // namespace zel::test
