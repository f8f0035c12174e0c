// The built plug-in module as a host sees it: its exported symbols and its entry.
#include "TestHost.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>

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

} // namespace
} // namespace zel
