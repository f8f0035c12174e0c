// Shared pieces of the preset tests: a quiet host, a private settings folder per
// test, store snapshots and comparisons, image builders and byte reversal.
#pragma once

#include "plugin/RotaryEffect.h"
#include "presets/BankImage.h"
#include "presets/ByteOrder.h"
#include "presets/CPresetSystemEditor.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace zel::test {

// A host that accepts everything and counts the display refreshes it is asked for.
inline int displayUpdates = 0;
inline intptr_t quietHost(vst::AEffect*, int32_t opcode, int32_t, intptr_t, void*, float) {
    if (opcode == vst::audioMasterVersion) return 2400;
    if (opcode == vst::audioMasterUpdateDisplay) ++displayUpdates;
    return 0;
}

// The effect with its program store open to the tests.
class PresetEffect : public RotaryEffect {
public:
    explicit PresetEffect() : RotaryEffect(quietHost) {}
    using RotaryEffect::programs;
    CPresetSystemEditor& presets() { return *presetEditor(); }
};

// A fresh folder under the system's temporary folder, removed afterwards.
class TemporaryFolder {
public:
    TemporaryFolder() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "zel-presets-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~TemporaryFolder() {
        std::error_code ignored;
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
        std::filesystem::remove_all(path_, ignored);
    }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

// Every preset test runs with its own settings folder, never the user's.
class PresetTest : public ::testing::Test {
protected:
    void SetUp() override {
        settingsFolder = (folder.path() / "settings").string();
        ::setenv("ZELVORTAN_SETTINGS_DIR", settingsFolder.c_str(), 1);
        displayUpdates = 0;
    }
    void TearDown() override { ::setenv("ZELVORTAN_SETTINGS_DIR", isolatedFolder(), 1); }

    // Where tests outside a fixture would write: a folder that is never created.
    static const char* isolatedFolder() { return "/nonexistent/zel-presets-test-settings"; }

    TemporaryFolder folder;
    std::string settingsFolder;
};

inline std::vector<uint8_t> readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

inline void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

inline uint32_t bitsOf(float x) {
    uint32_t bits;
    std::memcpy(&bits, &x, 4);
    return bits;
}

// True when two stores hold the same name bytes and the same value bits.
inline bool sameStore(const ProgramBank& a, const ProgramBank& b) {
    for (int p = 0; p < kNumStoredPrograms; ++p) {
        if (std::memcmp(a[p].name, b[p].name, kProgramNameSize) != 0) return false;
        for (int j = 0; j < kNumProgramValues; ++j)
            if (bitsOf(a[p].values[j]) != bitsOf(b[p].values[j])) return false;
    }
    return true;
}

inline std::string nameOf(const ProgramRecord& record) {
    return std::string(record.name, strnlen(record.name, kProgramNameSize));
}

// Parameters whose value is shared by all programs.
inline bool isGlobal(int j) {
    return j <= 4 || j == 35;
}

// A value for program p, parameter j that no other slot has, inside 0..1.
inline float distinctValue(int p, int j) {
    return static_cast<float>(p * kNumProgramValues + j + 1) / 2048.0f;
}

// Gives every program a name and per-program values unlike any other, the
// global parameters one shared value each, and selects `current`.
inline void fillDistinctPrograms(PresetEffect& fx, int current) {
    for (int p = 0; p < kNumStoredPrograms; ++p) {
        fx.selectProgram(p);
        const std::string name = "Program " + std::to_string(p) + " of the test";
        fx.renameCurrentProgram(name.c_str());
        for (int j = 0; j < kNumProgramValues; ++j)
            if (!isGlobal(j)) fx.setParameter(j, distinctValue(p, j));
    }
    for (int j = 0; j < kNumProgramValues; ++j)
        if (isGlobal(j)) fx.setParameter(j, j == 35 ? 17.0f / 17.0f : 0.0f);
    fx.selectProgram(current);
}

// One 32-bit field reversed in place.
inline void reverseField(std::vector<uint8_t>& bytes, std::size_t offset) {
    std::reverse(bytes.begin() + static_cast<std::ptrdiff_t>(offset),
                 bytes.begin() + static_cast<std::ptrdiff_t>(offset + 4));
}

// A bank or preset image starting at `start`, as a machine of the other byte
// order would have written it: every 32-bit field reversed, name bytes and
// the kind byte as they are.
inline void reverseImage(std::vector<uint8_t>& bytes, std::size_t start) {
    const ByteView native(bytes, false);
    const int32_t records = native.i32(start + 13);
    reverseField(bytes, start);
    for (std::size_t offset = 5; offset < 41; offset += 4) {
        if (start + offset + 4 <= start + 41) reverseField(bytes, start + offset);
    }
    std::size_t at = start + image::kHeaderSize;
    for (int32_t r = 0; r < records; ++r) {
        const ByteView view(bytes, false);
        const int32_t type = view.i32(at);
        const uint32_t length = view.u32(at + 4);
        for (std::size_t field = 0; field < 12; field += 4) reverseField(bytes, at + field);
        if (type == image::kParameterRecordType)
            for (std::size_t field = 12; field < 32; field += 4) reverseField(bytes, at + field);
        at += 12 + length;
    }
}

// A legacy program entry: 24 name bytes and the values.
inline void appendLegacyProgram(std::vector<uint8_t>& out, const std::string& name,
                                const std::vector<float>& values) {
    char raw[kProgramNameSize] = {};
    std::memcpy(raw, name.data(), std::min(name.size(), sizeof raw));
    ByteWriter writer(out);
    writer.bytes(raw, sizeof raw);
    for (float v : values) writer.f32(v);
}

} // namespace zel::test
