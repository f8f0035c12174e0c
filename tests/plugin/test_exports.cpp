// The built plug-in module as a host sees it: its exported symbols and its entry.
#include "TestHost.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace zel {
namespace {

std::string pluginPath() {
    const char* path = std::getenv("ZEL_PLUGIN");
    return path == nullptr ? std::string() : std::string(path);
}

std::string quoted(const std::string& path) {
    std::string result = "'";
    for (char c : path) result += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return result + "'";
}

TEST(Module, ExportsExactlyTheEntryPoint) {
    const std::string path = pluginPath();
    if (path.empty() || !std::filesystem::exists(path))
        GTEST_SKIP() << "plug-in module not built: " << path;
    FILE* pipe = popen(("nm -D --defined-only " + quoted(path) + " 2>&1").c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string output;
    char line[512];
    while (std::fgets(line, sizeof line, pipe) != nullptr) output += line;
    ASSERT_EQ(pclose(pipe), 0) << output;

    std::set<std::string> symbols;
    std::istringstream lines(output);
    for (std::string entry; std::getline(lines, entry);) {
        std::istringstream fields(entry);
        std::string address, type, name;
        fields >> address >> type >> name;
        if (name.empty()) // an undefined-address line has only type and name
            name = type;
        symbols.insert(name);
    }
    EXPECT_EQ(symbols, (std::set<std::string>{"VSTPluginMain", "main"})) << output;
}

using EntryFunction = vst::AEffect* (*)(vst::HostCallback);

TEST(Module, EntryPointsCreateAnInstance) {
    const std::string path = pluginPath();
    if (path.empty() || !std::filesystem::exists(path))
        GTEST_SKIP() << "plug-in module not built: " << path;
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module, nullptr) << dlerror();

    for (const char* name : {"VSTPluginMain", "main"}) {
        auto entry = reinterpret_cast<EntryFunction>(dlsym(module, name));
        ASSERT_NE(entry, nullptr) << name;
        test::resetTestHost();
        vst::AEffect* effect = entry(test::testHostCallback);
        ASSERT_NE(effect, nullptr) << name;
        EXPECT_EQ(effect->magic, vst::fourCharCode('V', 's', 't', 'P'));
        EXPECT_EQ(effect->uniqueID, 0x5A765631);
        EXPECT_EQ(effect->flags & (0x10 | 0x20 | 0x1000), 0x10 | 0x20 | 0x1000);
        EXPECT_EQ(effect->numParams, 36);
        EXPECT_EQ(effect->numPrograms, 1);
        EXPECT_EQ(effect->numInputs, 2);
        EXPECT_EQ(effect->numOutputs, 2);
        char text[64] = {};
        EXPECT_EQ(effect->dispatcher(effect, vst::effGetEffectName, 0, 0, text, 0.0f), 1);
        EXPECT_STREQ(text, "Zel Vortan");
        EXPECT_EQ(effect->dispatcher(effect, vst::effClose, 0, 0, nullptr, 0.0f), 1);

        test::resetTestHost();
        test::testHost.versionAnswer = 0;
        EXPECT_EQ(entry(test::testHostCallback), nullptr) << name;
        EXPECT_EQ(entry(nullptr), nullptr) << name;
    }
    dlclose(module);
}

// The module itself, whatever its word size: dispatcher answers, processing in
// both precisions and a chunk carried from one instance to another, all through
// the effect record only.
TEST(Module, InstancesAnswerProcessAndCarryTheirChunk) {
    const std::string path = pluginPath();
    if (path.empty() || !std::filesystem::exists(path))
        GTEST_SKIP() << "plug-in module not built: " << path;
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module, nullptr) << dlerror();
    auto entry = reinterpret_cast<EntryFunction>(dlsym(module, "VSTPluginMain"));
    ASSERT_NE(entry, nullptr);
    test::resetTestHost();
    vst::AEffect* source = entry(test::testHostCallback);
    vst::AEffect* target = entry(test::testHostCallback);
    ASSERT_NE(source, nullptr);
    ASSERT_NE(target, nullptr);
    auto dispatch = [](vst::AEffect* e, int32_t opcode, int32_t index = 0, intptr_t value = 0,
                       void* ptr = nullptr, float opt = 0.0f) {
        return e->dispatcher(e, opcode, index, value, ptr, opt);
    };

    EXPECT_EQ(dispatch(source, vst::effGetVstVersion), 2400);
    EXPECT_EQ(dispatch(source, vst::effCanDo, 0, 0, const_cast<char*>("receiveVstMidiEvent")), 1);
    EXPECT_EQ(dispatch(source, vst::effProcessEvents), -1);
    EXPECT_EQ(dispatch(source, vst::effGetCurrentMidiProgram), -1);
    EXPECT_EQ(dispatch(source, vst::effSetTotalSampleToProcess, 0, 12345), 12345);

    dispatch(source, vst::effSetSampleRate, 0, 0, nullptr, 48000.0f);
    dispatch(source, vst::effMainsChanged, 0, 1);
    constexpr int kFrames = 64;
    float inF[kFrames], outF[2][kFrames];
    double inD[kFrames], outD[2][kFrames];
    for (int i = 0; i < kFrames; ++i) inD[i] = inF[i] = 0.25f * static_cast<float>(i % 8) - 1.0f;
    float* inputsF[2] = {inF, inF};
    float* outputsF[2] = {outF[0], outF[1]};
    double* inputsD[2] = {inD, inD};
    double* outputsD[2] = {outD[0], outD[1]};
    source->processReplacing(source, inputsF, outputsF, kFrames);
    source->processDoubleReplacing(source, inputsD, outputsD, kFrames);
    for (int c = 0; c < 2; ++c)
        for (int i = 0; i < kFrames; ++i) {
            EXPECT_TRUE(std::isfinite(outF[c][i]));
            EXPECT_TRUE(std::isfinite(outD[c][i]));
        }

    source->setParameter(source, 7, 0.125f);
    char name[32] = "Carried";
    dispatch(source, vst::effSetProgramName, 0, 0, name);
    void* data = nullptr;
    const intptr_t size = dispatch(source, vst::effGetChunk, 0, 0, &data);
    ASSERT_EQ(size, 42289); // the tag, the identifier and the 32-program bank image
    std::vector<char> saved(static_cast<char*>(data), static_cast<char*>(data) + size);
    EXPECT_EQ(dispatch(target, vst::effSetChunk, 0, size, saved.data()), 0);
    EXPECT_EQ(target->getParameter(target, 7), 0.125f);
    char carried[32] = {};
    dispatch(target, vst::effGetProgramName, 0, 0, carried);
    EXPECT_STREQ(carried, "Carried");
    void* again = nullptr;
    ASSERT_EQ(dispatch(target, vst::effGetChunk, 0, 0, &again), size);
    EXPECT_EQ(std::memcmp(again, saved.data(), saved.size()), 0);
    // A chunk with a foreign identifier is refused.
    saved[4] ^= 0x20;
    EXPECT_EQ(dispatch(target, vst::effSetChunk, 0, size, saved.data()), -1);

    EXPECT_EQ(dispatch(source, vst::effClose), 1);
    EXPECT_EQ(dispatch(target, vst::effClose), 1);
    dlclose(module);
}

} // namespace
} // namespace zel
