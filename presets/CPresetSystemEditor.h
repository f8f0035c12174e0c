// The editor object's preset side. It exists for the effect's whole life, with
// or without a window, and carries out everything that moves programs in and
// out of the effect: building and applying bank and preset images (for the
// host chunk, files and stored values), reading and writing preset and bank
// files, the stored default bank and preset, the two memories A and B, and the
// folder and file names remembered from one instance to the next.
//
// Steps that show something on the preset panel (the program menu and the
// program-name field) happen only while the panel exists; this object has no
// window yet, so they are skipped.
#pragma once

#include "plugin/AEffEditor.h"
#include "presets/BankImage.h"
#include "presets/SettingsStore.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zel {

class CPresetSystemEffect;

class CPresetSystemEditor : public AEffEditor {
public:
    explicit CPresetSystemEditor(CPresetSystemEffect* owner);
    // Remembers the folder and file names for the next instance. Must not call
    // the effect, which may already be gone.
    ~CPresetSystemEditor() override;

    // Editor requests from the host.
    bool getRect(vst::ERect** rect) override;
    bool open(void* parentWindow) override;
    void close() override {}
    void idle() override {}
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
    // Shows a name on the panel and renames the current program with it.
    virtual void showProgramName(const char* name);
    // The effect renamed the current program; the panel shows the new name.
    virtual void programNameChanged(const char* name);

    // Preset and bank files by path. The path's folder and name become the
    // remembered ones. A reversed load reads the file in the byte order that
    // its identifier does not indicate. Answers whether a layout was applied
    // (loads) or the file was written (saves).
    virtual bool loadBankFile(const std::string& path, bool reversed = false);
    virtual bool saveBankFile(const std::string& path);
    virtual bool loadPresetFile(const std::string& path, bool reversed = false);
    virtual bool savePresetFile(const std::string& path);

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

    CPresetSystemEffect* effect;
    vst::ERect rect{};
    std::string folder;
    std::string bankName;
    std::string presetName;

private:
    SettingsStore settings;
    // The names as last loaded or saved, so that an instance that chose
    // nothing writes nothing.
    std::string savedFolder, savedBankName, savedPresetName;
};

} // namespace zel
