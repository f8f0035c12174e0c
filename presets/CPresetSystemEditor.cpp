#include "presets/CPresetSystemEditor.h"

#include "presets/CPresetSystemEffect.h"
#include "presets/PresetFiles.h"

#include <unistd.h>

namespace zel {
namespace {

// The process's working folder with a trailing "/", or empty when unknown.
std::string workingFolder() {
    char buffer[4096];
    if (::getcwd(buffer, sizeof buffer) == nullptr) return {};
    std::string folder(buffer);
    if (folder.empty() || folder.back() != '/') folder += '/';
    return folder;
}

// A stored text up to its first NUL, at most limit bytes.
std::string storedText(const SettingsStore& store, std::string_view name, std::size_t limit) {
    std::optional<std::string> text = store.readText(name);
    if (!text) return {};
    const std::size_t end = std::min(text->find('\0'), limit);
    return text->substr(0, end);
}

} // namespace

CPresetSystemEditor::CPresetSystemEditor(CPresetSystemEffect* owner)
    : effect(owner), folder(workingFolder()), savedFolder(folder) {}

CPresetSystemEditor::~CPresetSystemEditor() {
    saveFileLocations();
}

bool CPresetSystemEditor::getRect(vst::ERect** rectangle) {
    if (rectangle == nullptr) return false;
    *rectangle = &rect;
    return true;
}

bool CPresetSystemEditor::storeValue(std::string_view name, const std::vector<uint8_t>& image) {
    return !image.empty() && settings.write(name, image);
}

// A stored value shorter than the 5-byte lead, or missing, changes nothing.
bool CPresetSystemEditor::loadValue(std::string_view name) {
    const std::optional<std::vector<uint8_t>> bytes = settings.read(name);
    if (!bytes || bytes->size() < image::kLeadSize) return false;
    return applyLayout(*bytes, false).applied;
}

bool CPresetSystemEditor::storeDefaultBank() {
    return storeValue(settings::kDefaultBank, serialiseBank());
}
bool CPresetSystemEditor::clearDefaultBank() {
    return settings.remove(settings::kDefaultBank);
}
bool CPresetSystemEditor::loadDefaultBank() {
    return loadValue(settings::kDefaultBank);
}
bool CPresetSystemEditor::storeDefaultPreset() {
    return storeValue(settings::kDefaultPreset, serialisePreset());
}
bool CPresetSystemEditor::clearDefaultPreset() {
    return settings.remove(settings::kDefaultPreset);
}
bool CPresetSystemEditor::loadDefaultPreset() {
    return loadValue(settings::kDefaultPreset);
}
bool CPresetSystemEditor::storeMemoA() {
    return storeValue(settings::kMemoA, serialisePreset());
}
bool CPresetSystemEditor::storeMemoB() {
    return storeValue(settings::kMemoB, serialisePreset());
}
bool CPresetSystemEditor::recallMemoA() {
    return loadValue(settings::kMemoA);
}
bool CPresetSystemEditor::recallMemoB() {
    return loadValue(settings::kMemoB);
}

// A missing value leaves an empty text, the folder included.
void CPresetSystemEditor::loadFileLocations() {
    folder = storedText(settings, settings::kCurrentFolder, kMaxPathText);
    bankName = storedText(settings, settings::kBankFileName, kMaxPathText);
    presetName = storedText(settings, settings::kPresetFileName, kMaxPathText);
    savedFolder = folder;
    savedBankName = bankName;
    savedPresetName = presetName;
}

// Writes the three texts when any of them changed since they were loaded or
// last saved, so instances that chose no file leave the stored ones alone.
void CPresetSystemEditor::saveFileLocations() {
    if (folder == savedFolder && bankName == savedBankName && presetName == savedPresetName) return;
    const bool written = settings.writeText(settings::kCurrentFolder, folder) &&
                         settings.writeText(settings::kBankFileName, bankName) &&
                         settings.writeText(settings::kPresetFileName, presetName);
    if (!written) return;
    savedFolder = folder;
    savedBankName = bankName;
    savedPresetName = presetName;
}

void CPresetSystemEditor::loadStartupDefaults() {
    loadDefaultBank();
    if (effect != nullptr) effect->selectProgram(0);
    loadDefaultPreset();
    loadFileLocations();
}

} // namespace zel
