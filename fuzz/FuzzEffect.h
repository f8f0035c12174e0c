// The effect every fuzz target feeds: one instance for the whole run, with its
// settings in a private temporary folder, brought back to the same programs
// before each input. A reader that refuses its input must leave the store and
// the selection as they were; anything else stops the run as a finding.
#pragma once

#include "plugin/RotaryEffect.h"
#include "presets/CPresetSystemEditor.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string>
#include <unistd.h>

namespace zel::fuzz {

inline intptr_t silentHost(vst::AEffect*, int32_t opcode, int32_t, intptr_t, void*, float) {
    return opcode == vst::audioMasterVersion ? 2400 : 0;
}

class FuzzEffect {
public:
    FuzzEffect() {
        char pattern[] = "/tmp/zel-fuzz-XXXXXX";
        const char* made = ::mkdtemp(pattern);
        if (made == nullptr) std::abort();
        folder = made;
        ::setenv("ZELVORTAN_SETTINGS_DIR", (folder + "/settings").c_str(), 1);
        effect = new RotaryEffect(silentHost);
        // Distinct programs, so that a partial load would show.
        for (int32_t p = 0; p < kNumStoredPrograms; ++p) {
            effect->selectProgram(p);
            const std::string name = "Start " + std::to_string(p);
            effect->renameCurrentProgram(name.c_str());
            for (int32_t j = 5; j < 31; ++j)
                effect->setParameter(j, static_cast<float>((p * 36 + j) % 97) / 97.0f);
        }
        effect->selectProgram(startProgram);
        start = effect->copyStore();
    }

    RotaryEffect& fx() { return *effect; }
    CPresetSystemEditor& presets() { return *effect->presetEditor(); }
    std::string file(const char* name) const { return folder + "/" + name; }

    // Back to the start state, without the cost of a selection when nothing moved.
    void reset() {
        if (!unchanged() || effect->getCurrentProgramIndex() != startProgram) {
            effect->restoreStore(start);
            effect->selectProgram(startProgram);
        }
    }

    // After a refused input: the store and the selection must be untouched. (The
    // older host chunk is the one exception for the store: a bad value stops
    // its load with the programs before it already replaced.)
    void checkRefusal(bool accepted, bool mayReselectProgramZero = false,
                      bool mayKeepPartialStore = false) {
        if (accepted) return;
        if (!mayKeepPartialStore && !unchanged()) findings("a refused input changed the store");
        const int32_t current = effect->getCurrentProgramIndex();
        if (current != startProgram && !(mayReselectProgramZero && current == 0))
            findings("a refused input changed the selected program");
    }

    // Writes bytes to a file of the run's folder.
    std::string writeFile(const char* name, std::span<const uint8_t> bytes) const {
        const std::string path = file(name);
        std::FILE* out = std::fopen(path.c_str(), "wb");
        if (out == nullptr) std::abort();
        if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), out);
        std::fclose(out);
        return path;
    }

    static constexpr int32_t startProgram = 9;

private:
    bool unchanged() const {
        const ProgramBank now = effect->copyStore();
        for (int32_t p = 0; p < kNumStoredPrograms; ++p) {
            if (std::memcmp(now[p].name, start[p].name, kProgramNameSize) != 0) return false;
            for (int32_t j = 0; j < kNumProgramValues; ++j) {
                const float a = now[p].values[j];
                const float b = start[p].values[j];
                if (std::memcmp(&a, &b, sizeof a) != 0) return false;
            }
        }
        return true;
    }
    [[noreturn]] static void findings(const char* what) {
        std::fprintf(stderr, "finding: %s\n", what);
        std::abort();
    }

    std::string folder;
    RotaryEffect* effect = nullptr; // lives until the process ends
    ProgramBank start{};
};

// The one instance of a fuzz run. (The clamp reports that random values cause go
// to standard error; tools/fuzz.sh runs the targets with -close_fd_mask=2, which
// keeps the fuzzer's and the sanitizers' own reports.)
inline FuzzEffect& fuzzEffect() {
    static FuzzEffect* instance = new FuzzEffect();
    return *instance;
}

} // namespace zel::fuzz
