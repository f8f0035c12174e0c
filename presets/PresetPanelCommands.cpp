// What the preset panel's controls ask for, by tag: choosing and renaming
// programs, the file dialogs, the stored defaults, the memories and the user
// manual.
#include "presets/CPresetSystemEditor.h"

#include "editor/CZelTextEdit.h"
#include "gui/CAlertBox.h"
#include "gui/CFrame.h"
#include "gui/CNewFileSelector.h"
#include "gui/COptionMenu.h"
#include "presets/CPSKickButton.h"
#include "presets/CPresetSystemEffect.h"
#include "presets/PresetFiles.h"
#include "presets/ProgramNameText.h"

#include <algorithm>
#include <string>

namespace zel {

using namespace gui;

namespace {

// The longest name the field hands on (the store keeps 23 characters).
constexpr std::size_t kNameFieldTextSize = kProgramNameSize + 1;

} // namespace

struct CPresetSystemEditor::FileCommand {
    bool bank;
    bool save;
    const char* title;
    const char* reversedTitle; // a load in the other byte order
    const char* filterLabel;
    const char* extension;
};

namespace {

using FileCommand = CPresetSystemEditor::FileCommand;
constexpr FileCommand kLoadPresetCommand{
    false, false, "Load preset", "Load preset (endian-reversed)", "Zel Preset", "zel"};
constexpr FileCommand kSavePresetCommand{false,         true,         "Save preset",
                                         "Save preset", "Zel Preset", "zel"};
constexpr FileCommand kLoadBankCommand{
    true, false, "Load bank", "Load bank (endian-reversed)", "Zel Bank", "zlb"};
constexpr FileCommand kSaveBankCommand{true, true, "Save bank", "Save bank", "Zel Bank", "zlb"};

} // namespace

void CPresetSystemEditor::valueChanged(CControl* control) {
    if (control == nullptr || effect == nullptr) return;
    const float value = control->getValue();
    switch (control->getTag()) {
    case panel::kNameField: {
        char text[kNameFieldTextSize] = {};
        if (nameField != nullptr) nameField->getText(text, sizeof text);
        showProgramName(text);
        break;
    }
    case panel::kProgramRocker:
        selectNeighbourProgram(value);
        break;
    case panel::kProgramMenu:
        selectMenuProgram();
        break;
    case panel::kLoadBank:
        loadBankFile(value == panel::kReversedValue);
        break;
    case panel::kLoadPreset:
        loadPresetFile(value == panel::kReversedValue);
        break;
    case panel::kSaveBank:
        saveBankFile();
        break;
    case panel::kSavePreset:
        savePresetFile();
        break;
    case panel::kDefaultBank:
        value >= panel::kStoreThreshold ? storeDefaultBank() : clearDefaultBank();
        break;
    case panel::kDefaultPreset:
        value >= panel::kStoreThreshold ? storeDefaultPreset() : clearDefaultPreset();
        break;
    case panel::kStoreMemoA:
        storeMemoA();
        break;
    case panel::kStoreMemoB:
        storeMemoB();
        break;
    case panel::kRecallMemoA:
        recallMemoA();
        break;
    case panel::kRecallMemoB:
        recallMemoB();
        break;
    case panel::kUserManual:
        openUserManual();
        break;
    default:
        break;
    }
}

// The rocker's value: above 0 the next program, below 0 the previous one,
// kept within the 32.
void CPresetSystemEditor::selectNeighbourProgram(float direction) {
    if (direction == 0.f) return;
    const int32_t current = effect->getCurrentProgramIndex();
    const int32_t step = direction > 0.f ? 1 : -1;
    const int32_t index = std::clamp(current + step, 0, kNumStoredPrograms - 1);
    const std::string name = programNameText(effect->program(index));
    effect->selectProgram(index);
    // Renaming with the same name makes the host refresh its display.
    effect->renameCurrentProgram(name.c_str());
    updateProgramPanel();
}

void CPresetSystemEditor::selectMenuProgram() {
    if (programMenu == nullptr) return;
    const auto index = static_cast<int32_t>(programMenu->getValue() + 0.5f);
    if (index < 0 || index >= kNumStoredPrograms) return;
    programMenu->setCurrent(index);
    const std::string title = programMenu->getEntryTitle(index);
    effect->selectProgram(index);
    effect->renameCurrentProgram(title.c_str());
    updateProgramPanel();
}

void CPresetSystemEditor::loadBankFile(bool reversed) {
    runFileCommand(kLoadBankCommand, reversed);
}
void CPresetSystemEditor::saveBankFile() {
    runFileCommand(kSaveBankCommand, false);
}
void CPresetSystemEditor::loadPresetFile(bool reversed) {
    runFileCommand(kLoadPresetCommand, reversed);
}
void CPresetSystemEditor::savePresetFile() {
    runFileCommand(kSavePresetCommand, false);
}

// One dialog at a time: a command while one is still open does nothing.
void CPresetSystemEditor::runFileCommand(const FileCommand& command, bool reversed) {
    CFrame* editorFrame = getFrame();
    if (editorFrame == nullptr) return;
    if (fileSelector != nullptr) {
        if (fileSelector->isRunning()) return;
        fileSelector->forget();
        fileSelector = nullptr;
    }
    CNewFileSelector* selector =
        CNewFileSelector::create(editorFrame, command.save ? CNewFileSelector::kSelectSaveFile
                                                           : CNewFileSelector::kSelectFile);
    if (selector == nullptr) return;
    selector->setTitle(reversed ? command.reversedTitle : command.title);
    selector->setDefaultExtension(CFileExtension(command.filterLabel, command.extension));
    selector->setInitialDirectory(folder.c_str());
    selector->setAllowMultiFileSelection(false);
    if (command.save) selector->setDefaultSaveName((command.bank ? bankName : presetName).c_str());
    const bool started = selector->run([this, &command, reversed](CNewFileSelector* chosen) {
        if (chosen->getNumSelectedFiles() != 1) return;
        fileChosen(command, reversed, chosen->getSelectedFile(0));
    });
    if (!started) {
        selector->forget();
        return;
    }
    fileSelector = selector;
}

// A saved file's name without an extension gets the kind's; the file's
// folder and name become the remembered ones either way.
void CPresetSystemEditor::fileChosen(const FileCommand& command, bool reversed, std::string path) {
    if (path.empty()) return;
    if (command.save && splitPath(path).name.find('.') == std::string::npos)
        path += std::string(".") + command.extension;
    if (command.bank)
        command.save ? saveBankFile(path) : loadBankFile(path, reversed);
    else
        command.save ? savePresetFile(path) : loadPresetFile(path, reversed);
}

void CPresetSystemEditor::openUserManual() {
    manual.open();
}

void CPresetSystemEditor::idle() {
    if (const std::optional<ManualOutcome> outcome = manual.poll()) showManualOutcome(*outcome);
}

// A failure shows its message in a panel with one OK button; the manual
// button's pressed mark is cleared in any case (the panel takes the release).
void CPresetSystemEditor::showManualOutcome(ManualOutcome outcome) {
    if (manualButton != nullptr) manualButton->clearPressed();
    const std::optional<ManualMessage> message = manualMessage(outcome);
    CFrame* editorFrame = getFrame();
    if (!message || editorFrame == nullptr) return;
    const std::string caption(message->caption);
    const std::string text(message->text);
    CAlertBox::show(editorFrame, caption.c_str(), text.c_str(), [this](CAlertBox*) {
        if (manualButton != nullptr) manualButton->clearPressed();
    });
}

} // namespace zel
