// The editor object's preset side. It exists for the effect's whole life, with
// or without a window, and carries out everything that moves programs in and
// out of the effect: building and applying bank and preset images (for the
// host chunk, files and stored values), reading and writing preset and bank
// files, the stored default bank and preset, the two memories A and B, and the
// folder and file names remembered from one instance to the next.
//
// While the editor window is open it also carries the preset panel, a strip of
// controls along the bottom of the window: the program-name field, the program
// menu and rocker, the load and save arrows for presets and banks (with file
// dialogs), the default bank and preset, the memories and the user manual.
// Steps that show something on the panel happen only while it exists.
#pragma once

#include "gui/IControlListener.h"
#include "gui/VSTGUIEditorInterface.h"
#include "plugin/AEffEditor.h"
#include "presets/BankImage.h"
#include "presets/ManualLauncher.h"
#include "presets/SettingsStore.h"

#include <array>

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zel {

class CPresetSystemEffect;
class CZelTextEdit;
class CPSKickButton;
class CPSRockerSwitch;

namespace gui {
class CControl;
class CNewFileSelector;
class COptionMenu;
} // namespace gui

// The preset panel's control tags.
namespace panel {
constexpr int32_t kNameField = 149;
constexpr int32_t kProgramRocker = 150;
constexpr int32_t kLoadBank = 151;
constexpr int32_t kSaveBank = 152;
constexpr int32_t kLoadPreset = 153;
constexpr int32_t kSavePreset = 154;
constexpr int32_t kProgramMenu = 161;
constexpr int32_t kDefaultBank = 162;
constexpr int32_t kDefaultPreset = 163;
constexpr int32_t kStoreMemoA = 164;
constexpr int32_t kStoreMemoB = 165;
constexpr int32_t kRecallMemoA = 166;
constexpr int32_t kRecallMemoB = 167;
constexpr int32_t kUserManual = 168;
constexpr int32_t kFirstTag = kNameField;
constexpr int32_t kControlCount = 14;
// A default button's value from this up stores, below it clears.
constexpr float kStoreThreshold = 0.75f;
// A load arrow's value for the right button: the other byte order.
constexpr float kReversedValue = 0.5f;
} // namespace panel

class CPresetSystemEditor : public AEffEditor,
                            public gui::VSTGUIEditorInterface,
                            public gui::IControlListener {
public:
    explicit CPresetSystemEditor(CPresetSystemEffect* owner);
    // Remembers the folder and file names for the next instance. Must not call
    // the effect, which may already be gone.
    ~CPresetSystemEditor() override;

    // Editor requests from the host. open builds the panel on the editor's
    // frame (true when it did; nothing without a frame or an effect); close
    // forgets the panel's controls, which the frame releases; idle reports
    // the outcome of opening the user manual.
    bool getRect(vst::ERect** rect) override;
    bool open(void* parentWindow) override;
    void close() override;
    void idle() override;
    bool onKeyDown(VstKeyCode& key) override { return false; }
    bool onKeyUp(VstKeyCode& key) override { return false; }
    bool setKnobMode(int32_t mode) override { return false; }

    // A parameter value pushed by the effect, for the controls that show it.
    virtual void setParameter(int32_t index, float value) {}

    // Images: a new buffer for the whole bank or the current program (empty when
    // there is nothing to build from), and their readers. The header is in this
    // machine's byte order already; record fields are swapped when reversed.
    // Each reader answers whether it applied the image.
    virtual std::vector<uint8_t> serialiseBank();
    virtual std::vector<uint8_t> serialisePreset();
    virtual bool loadBankImage(std::span<const uint8_t> records, const ImageHeader& header,
                               bool reversed);
    virtual bool loadPresetImage(std::span<const uint8_t> records, const ImageHeader& header,
                                 bool reversed);
    // The older layouts, given the bytes after their 5-byte lead.
    virtual bool loadLegacyBank(std::span<const uint8_t> data, bool reversed, int32_t programs,
                                int32_t valuesPerProgram);
    virtual bool loadLegacyPreset(std::span<const uint8_t> data, bool reversed,
                                  int32_t valuesPerProgram);
    // Renames the current program with a name and shows it on the panel.
    virtual void showProgramName(const char* name);
    // The effect renamed the current program; the panel shows the new name.
    virtual void programNameChanged(const char* name);

    // The panel's controls report here; each tag carries out its command.
    void valueChanged(gui::CControl* control) override;

    // Preset and bank files by path. The path's folder and name become the
    // remembered ones. A reversed load reads the file in the byte order that
    // its identifier does not indicate. Answers whether a layout was applied
    // (loads) or the file was written (saves).
    virtual bool loadBankFile(const std::string& path, bool reversed = false);
    virtual bool saveBankFile(const std::string& path);
    virtual bool loadPresetFile(const std::string& path, bool reversed = false);
    virtual bool savePresetFile(const std::string& path);
    // A path given as text is a path (never the dialog commands' flag).
    bool loadBankFile(const char* path, bool reversed = false) {
        return loadBankFile(std::string(path ? path : ""), reversed);
    }
    bool loadPresetFile(const char* path, bool reversed = false) {
        return loadPresetFile(std::string(path ? path : ""), reversed);
    }

    // The same through a file dialog on the editor's frame (nothing without
    // one), started in the remembered folder, saves offering the remembered
    // name. The dialog runs beside the editor; the file is read or written
    // when it reports the choice of exactly one file. A saved file without an
    // extension gets the kind's.
    virtual void loadBankFile(bool reversed);
    virtual void saveBankFile();
    virtual void loadPresetFile(bool reversed);
    virtual void savePresetFile();
    // Starts the user manual's opener; its outcome arrives at a later idle.
    virtual void openUserManual();
    // A file command's dialog: its kind, titles and filter.
    struct FileCommand;

    // The stored default bank and preset and the memories. Store and clear
    // answer whether the settings store took the change; load and recall
    // answer whether a stored layout was applied.
    virtual bool storeDefaultBank();
    virtual bool clearDefaultBank();
    virtual bool loadDefaultBank();
    virtual bool storeDefaultPreset();
    virtual bool clearDefaultPreset();
    virtual bool loadDefaultPreset();
    virtual bool storeMemoA();
    virtual bool storeMemoB();
    virtual bool recallMemoA();
    virtual bool recallMemoB();
    virtual void saveFileLocations();
    virtual void loadFileLocations();
    // At construction: the default bank, program 0, the default preset into
    // program 0, the remembered folder and file names.
    virtual void loadStartupDefaults();

    const std::string& currentFolder() const noexcept { return folder; }
    const std::string& bankFileName() const noexcept { return bankName; }
    const std::string& presetFileName() const noexcept { return presetName; }
    const SettingsStore& settingsStore() const noexcept { return settings; }
    CPresetSystemEffect* getEffect() const noexcept { return effect; }
    // The panel's control with a tag, null while the panel is not built.
    gui::CControl* getPanelControl(int32_t tag) const;
    bool hasPanel() const noexcept { return nameField != nullptr; }

protected:
    // The longest folder or file name kept (longer texts are cut).
    static constexpr std::size_t kMaxPathText = 4096;

    // What applying a stored layout came to.
    struct LayoutResult {
        bool identifierMatched = false;
        bool applied = false;
    };
    // Applies a preset, bank, legacy preset or legacy bank layout by its kind.
    // invertByteOrder reads the fields swapped exactly when the identifier says
    // they are in this machine's order.
    LayoutResult applyLayout(std::span<const uint8_t> bytes, bool invertByteOrder);
    bool storeValue(std::string_view name, const std::vector<uint8_t>& image);
    bool loadValue(std::string_view name);
    void rememberPath(const std::string& path, std::string& fileName);
    // The panel shows the store: the menu's titles and current entry and the
    // name field follow the programs and the current index.
    void updateProgramPanel();
    void runFileCommand(const FileCommand& command, bool reversed);
    void fileChosen(const FileCommand& command, bool reversed, std::string path);
    void selectNeighbourProgram(float direction);
    void selectMenuProgram();
    void showManualOutcome(ManualOutcome outcome);

    CPresetSystemEffect* effect;
    vst::ERect rect{};
    std::string folder;
    std::string bankName;
    std::string presetName;

    // The panel's controls (held by the frame), in creation order; null while
    // the panel is not built.
    std::array<gui::CControl*, panel::kControlCount> panelControls{};
    CZelTextEdit* nameField = nullptr;
    gui::COptionMenu* programMenu = nullptr;
    CPSKickButton* manualButton = nullptr;
    // The file dialog that was started last (one reference), so only one runs.
    gui::CNewFileSelector* fileSelector = nullptr;

private:
    SettingsStore settings;
    ManualLauncher manual{settings};
    // The names as last loaded or saved, so that an instance that chose
    // nothing writes nothing.
    std::string savedFolder, savedBankName, savedPresetName;
};

} // namespace zel
