// Loading and saving preset and bank files by path. Files are opened by their
// full path (the process's working folder is left alone), read read-only, and
// written beside the target and renamed over it, so a failed save keeps the
// previous file.
#include "presets/CPresetSystemEditor.h"

#include "presets/CPresetSystemEffect.h"
#include "presets/PresetFiles.h"

namespace zel {

void CPresetSystemEditor::rememberPath(const std::string& path, std::string& fileName) {
    PathParts parts = splitPath(path);
    folder = parts.folder.substr(0, kMaxPathText);
    fileName = parts.name.substr(0, kMaxPathText);
}

// A bank file whose identifier is ours always ends with program 0 selected, also
// when its kind is not one that was read.
bool CPresetSystemEditor::loadBankFile(const std::string& path, bool reversed) {
    if (path.empty()) return false;
    rememberPath(path, bankName);
    const std::optional<std::vector<uint8_t>> bytes = readFileBytes(path);
    if (!bytes || bytes->size() < image::kLeadSize) return false;
    const LayoutResult result = applyLayout(*bytes, reversed);
    if (result.identifierMatched && effect != nullptr) {
        effect->selectProgram(0);
        updateProgramPanel();
    }
    return result.applied;
}

bool CPresetSystemEditor::loadPresetFile(const std::string& path, bool reversed) {
    if (path.empty()) return false;
    rememberPath(path, presetName);
    const std::optional<std::vector<uint8_t>> bytes = readFileBytes(path);
    if (!bytes || bytes->size() < image::kLeadSize) return false;
    return applyLayout(*bytes, reversed).applied;
}

bool CPresetSystemEditor::saveBankFile(const std::string& path) {
    if (path.empty()) return false;
    rememberPath(path, bankName);
    const std::vector<uint8_t> image = serialiseBank();
    return !image.empty() && writeFileAtomically(path, image);
}

bool CPresetSystemEditor::savePresetFile(const std::string& path) {
    if (path.empty()) return false;
    rememberPath(path, presetName);
    const std::vector<uint8_t> image = serialisePreset();
    return !image.empty() && writeFileAtomically(path, image);
}

} // namespace zel
