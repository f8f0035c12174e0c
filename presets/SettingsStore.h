// The user's lasting settings: the default bank, the default preset, the two
// memories, the last folder and file names and the manual's path. Each value is
// one file in the settings folder, named as the value, holding the image bytes
// or the UTF-8 text. The folder is $ZELVORTAN_SETTINGS_DIR when that is set,
// else $XDG_CONFIG_HOME/Tarnwick/ZELVRT1 (XDG_CONFIG_HOME defaulting to
// ~/.config). Writes replace a value whole or not at all.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zel {

namespace settings {
constexpr std::string_view kDefaultBank = "DefaultBank";
constexpr std::string_view kDefaultPreset = "DefaultPreset";
constexpr std::string_view kMemoA = "MemoA";
constexpr std::string_view kMemoB = "MemoB";
constexpr std::string_view kCurrentFolder = "CurrDir";
constexpr std::string_view kBankFileName = "CurrBank";
constexpr std::string_view kPresetFileName = "CurrPreset";
constexpr std::string_view kManualPath = "ManualPath";
} // namespace settings

class SettingsStore {
public:
    // The folder named by the environment as described above; empty when none
    // can be found (no home folder), which makes every access fail quietly.
    static std::string defaultFolder();

    SettingsStore() : SettingsStore(defaultFolder()) {}
    explicit SettingsStore(std::string folder) : folder_(std::move(folder)) {}

    const std::string& folder() const noexcept { return folder_; }

    // A value's bytes (at most the stored-bytes cap); none when missing or unreadable.
    std::optional<std::vector<uint8_t>> read(std::string_view name) const;
    std::optional<std::string> readText(std::string_view name) const;

    // Creates the folder (with its parents) when needed; false when the value
    // could not be written, in which case its previous content remains.
    bool write(std::string_view name, std::span<const uint8_t> bytes) const;
    bool writeText(std::string_view name, std::string_view text) const;

    // Deletes a value; a value or folder that does not exist is no failure.
    bool remove(std::string_view name) const;

private:
    std::string pathOf(std::string_view name) const;

    std::string folder_;
};

} // namespace zel
