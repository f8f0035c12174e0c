#include "presets/SettingsStore.h"

#include "presets/PresetFiles.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <pwd.h>
#include <unistd.h>

namespace zel {
namespace {

constexpr const char* kFolderVariable = "ZELVORTAN_SETTINGS_DIR";
constexpr const char* kConfigVariable = "XDG_CONFIG_HOME";
constexpr const char* kProductFolder = "Tarnwick/ZELVRT1";

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? std::string() : std::string(value);
}

std::string homeFolder() {
    std::string home = environment("HOME");
    if (!home.empty()) return home;
    passwd entry{};
    passwd* found = nullptr;
    char buffer[4096];
    if (::getpwuid_r(::getuid(), &entry, buffer, sizeof buffer, &found) == 0 && found != nullptr &&
        found->pw_dir != nullptr)
        return found->pw_dir;
    return {};
}

} // namespace

std::string SettingsStore::defaultFolder() {
    std::string folder = environment(kFolderVariable);
    if (!folder.empty()) return folder;
    // Only an absolute XDG_CONFIG_HOME counts; a relative one is to be ignored.
    std::string config = environment(kConfigVariable);
    if (config.empty() || config.front() != '/') {
        const std::string home = homeFolder();
        if (home.empty()) return {};
        config = home + "/.config";
    }
    return config + "/" + kProductFolder;
}

std::string SettingsStore::pathOf(std::string_view name) const {
    return folder_ + "/" + std::string(name);
}

std::optional<std::vector<uint8_t>> SettingsStore::read(std::string_view name) const {
    if (folder_.empty()) return std::nullopt;
    return readFileBytes(pathOf(name), kMaxStoredBytes);
}

std::optional<std::string> SettingsStore::readText(std::string_view name) const {
    std::optional<std::vector<uint8_t>> bytes = read(name);
    if (!bytes) return std::nullopt;
    return std::string(bytes->begin(), bytes->end());
}

bool SettingsStore::write(std::string_view name, std::span<const uint8_t> bytes) const {
    if (folder_.empty()) return false;
    std::error_code error;
    std::filesystem::create_directories(folder_, error);
    if (error) return false;
    return writeFileAtomically(pathOf(name), bytes);
}

bool SettingsStore::writeText(std::string_view name, std::string_view text) const {
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
    return write(name, std::span<const uint8_t>(bytes, text.size()));
}

bool SettingsStore::remove(std::string_view name) const {
    if (folder_.empty()) return true;
    return ::unlink(pathOf(name).c_str()) == 0 || errno == ENOENT || errno == ENOTDIR;
}

} // namespace zel
