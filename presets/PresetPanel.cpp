// The preset panel: its controls along the bottom of the editor window, built
// on the editor's frame above the editor's own controls, and the program menu
// and name field kept showing the store.
#include "presets/CPresetSystemEditor.h"

#include "editor/CZelTextEdit.h"
#include "gui/CBitmap.h"
#include "gui/CFontDesc.h"
#include "gui/CFrame.h"
#include "gui/CNewFileSelector.h"
#include "gui/COptionMenu.h"
#include "presets/CPSKickButton.h"
#include "presets/CPSRockerSwitch.h"
#include "presets/CPresetSystemEffect.h"
#include "presets/CSaveLoadButton.h"
#include "presets/ProgramNameText.h"
#include "resources/ResourceIds.h"

#include <string>

namespace zel {

using namespace gui;

namespace {

enum class PanelKind { NameField, Menu, Rocker, SaveLoad, Kick, DoubleClickKick };

struct PanelControlSpec {
    int32_t tag;
    PanelKind kind;
    CRect rect;
    int32_t bitmap;
};

// Left to right the strip reads: save bank, BANK, load bank; save preset,
// PRESET, load preset; name field, menu button, rocker; store A, A, recall A;
// store B, B, recall B; manual. Created in this order (the drawing order).
// The name field is centred on y = 561 for its 11-pixel font: 561 -/+ (5.5 + 2).
constexpr PanelControlSpec kPanelControls[panel::kControlCount] = {
    {panel::kNameField, PanelKind::NameField, CRect(146, 553.5, 262, 568.5),
     resources::kFaceBitmap},
    {panel::kProgramMenu, PanelKind::Menu, CRect(263, 554, 275, 568), resources::kFaceBitmap},
    {panel::kProgramRocker, PanelKind::Rocker, CRect(278, 554, 309, 568), resources::kRockerBitmap},
    {panel::kLoadBank, PanelKind::SaveLoad, CRect(54, 554, 66, 568), resources::kLoadBankBitmap},
    {panel::kSaveBank, PanelKind::SaveLoad, CRect(4, 554, 16, 568), resources::kSaveBankBitmap},
    {panel::kDefaultBank, PanelKind::DoubleClickKick, CRect(16, 556, 53, 566),
     resources::kDefaultBankBitmap},
    {panel::kLoadPreset, PanelKind::SaveLoad, CRect(128, 554, 140, 568),
     resources::kLoadPresetBitmap},
    {panel::kSavePreset, PanelKind::SaveLoad, CRect(69, 554, 81, 568),
     resources::kSavePresetBitmap},
    {panel::kDefaultPreset, PanelKind::DoubleClickKick, CRect(81, 556, 128, 566),
     resources::kDefaultPresetBitmap},
    {panel::kRecallMemoA, PanelKind::Kick, CRect(333, 554, 345, 568),
     resources::kRecallMemoABitmap},
    {panel::kStoreMemoA, PanelKind::Kick, CRect(311, 554, 323, 568), resources::kStoreMemoABitmap},
    {panel::kRecallMemoB, PanelKind::Kick, CRect(371, 554, 383, 568),
     resources::kRecallMemoBBitmap},
    {panel::kStoreMemoB, PanelKind::Kick, CRect(349, 554, 361, 568), resources::kStoreMemoBBitmap},
    {panel::kUserManual, PanelKind::Kick, CRect(384, 554, 400, 568), resources::kUserManualBitmap},
};

constexpr CColor kNameBackColor{255, 255, 255, 255};
constexpr CColor kNameTextColor{36, 36, 32, 255};
// The menu shows nothing of its own over the face (no frame, no text, no drawing).
constexpr int32_t kMenuStyle = kNoFrame | kRoundRectStyle | kNoTextStyle | kNoDrawStyle;
constexpr int32_t kMenuItemsPerColumn = 8;

CControl* makePanelControl(const PanelControlSpec& row, IControlListener* listener,
                           const char* programName, CZelTextEdit*& nameField, COptionMenu*& menu) {
    auto* bitmap = new CBitmap(CResourceDescription(row.bitmap));
    const CCoord frameHeight = row.rect.getHeight();
    CControl* control = nullptr;
    switch (row.kind) {
    case PanelKind::NameField: {
        auto* field = new CZelTextEdit(row.rect, listener, row.tag, programName, bitmap, 0);
        field->setBackOffset(row.rect.getTopLeft());
        field->setBackColor(kNameBackColor);
        field->setFontColor(kNameTextColor);
        field->setFrameColor(kNameTextColor);
        field->setFont(kNormalFontSmall);
        field->setHoriAlign(kCenterText);
        nameField = field;
        control = field;
        break;
    }
    case PanelKind::Menu: {
        auto* optionMenu =
            new COptionMenu(row.rect, listener, row.tag, bitmap, nullptr, kMenuStyle);
        optionMenu->setBackOffset(row.rect.getTopLeft());
        optionMenu->setNbItemsPerColumn(kMenuItemsPerColumn);
        menu = optionMenu;
        control = optionMenu;
        break;
    }
    case PanelKind::Rocker:
        control = new CPSRockerSwitch(row.rect, listener, row.tag,
                                      bitmap->getHeight() / CPSRockerSwitch::kFrames, bitmap);
        break;
    case PanelKind::SaveLoad:
        control = new CSaveLoadButton(row.rect, listener, row.tag, frameHeight, bitmap);
        break;
    case PanelKind::Kick:
    case PanelKind::DoubleClickKick:
        control = new CPSKickButton(row.rect, listener, row.tag, frameHeight, bitmap, CPoint(0, 0),
                                    row.kind == PanelKind::DoubleClickKick);
        break;
    }
    bitmap->forget(); // the control holds it
    return control;
}

} // namespace

// The editor creates its frame and calls this once more after its own controls
// exist, so the panel lies on top of them.
bool CPresetSystemEditor::open(void* parentWindow) {
    CFrame* editorFrame = getFrame();
    if (editorFrame == nullptr || effect == nullptr || hasPanel()) return false;
    const std::string current = programNameText(effect->program(effect->getCurrentProgramIndex()));
    for (std::size_t i = 0; i < panel::kControlCount; ++i) {
        CControl* control =
            makePanelControl(kPanelControls[i], this, current.c_str(), nameField, programMenu);
        panelControls[i] = control;
        if (control->getTag() == panel::kUserManual)
            manualButton = static_cast<CPSKickButton*>(control);
        editorFrame->addView(control);
    }
    for (int32_t p = 0; p < kNumStoredPrograms; ++p)
        programMenu->addEntry(programNameText(effect->program(p)).c_str());
    updateProgramPanel();
    return true;
}

void CPresetSystemEditor::close() {
    panelControls.fill(nullptr);
    nameField = nullptr;
    programMenu = nullptr;
    manualButton = nullptr;
    if (fileSelector != nullptr) {
        fileSelector->cancel();
        fileSelector->forget();
        fileSelector = nullptr;
    }
}

CControl* CPresetSystemEditor::getPanelControl(int32_t tag) const {
    for (CControl* control : panelControls)
        if (control != nullptr && control->getTag() == tag) return control;
    return nullptr;
}

void CPresetSystemEditor::updateProgramPanel() {
    if (effect == nullptr) return;
    const int32_t current = effect->getCurrentProgramIndex();
    if (programMenu != nullptr) {
        for (int32_t p = 0; p < kNumStoredPrograms; ++p)
            programMenu->setEntryTitle(p, programNameText(effect->program(p)).c_str());
        programMenu->setCurrent(current);
        programMenu->invalid();
    }
    if (nameField != nullptr) {
        nameField->setText(programNameText(effect->program(current)).c_str());
        nameField->invalid();
    }
}

void CPresetSystemEditor::showProgramName(const char* name) {
    if (effect == nullptr) return;
    effect->renameCurrentProgram(name);
    updateProgramPanel();
}

void CPresetSystemEditor::programNameChanged(const char* name) {
    updateProgramPanel();
}

} // namespace zel
