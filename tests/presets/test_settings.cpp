// The settings store and what the editor object keeps in it: default bank and
// preset for new instances, the memories, and the folder and file names.
#include "PresetTestSupport.h"

#include "presets/SettingsStore.h"

namespace zel::test {
namespace {

class Settings : public PresetTest {};

// Sets an environment variable for one scope, restoring it afterwards.
class ScopedVariable {
public:
    ScopedVariable(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value)
            ::setenv(name, value, 1);
        else
            ::unsetenv(name);
    }
    ~ScopedVariable() {
        if (old_)
            ::setenv(name_, old_->c_str(), 1);
        else
            ::unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

TEST_F(Settings, FolderComesFromTheEnvironment) {
    EXPECT_EQ(SettingsStore::defaultFolder(), settingsFolder);
    ScopedVariable noOverride("ZELVORTAN_SETTINGS_DIR", nullptr);
    {
        ScopedVariable config("XDG_CONFIG_HOME", "/somewhere/config");
        EXPECT_EQ(SettingsStore::defaultFolder(), "/somewhere/config/Tarnwick/ZELVRT1");
    }
    ScopedVariable home("HOME", "/home/player");
    {
        ScopedVariable config("XDG_CONFIG_HOME", nullptr);
        EXPECT_EQ(SettingsStore::defaultFolder(), "/home/player/.config/Tarnwick/ZELVRT1");
    }
    {
        ScopedVariable relative("XDG_CONFIG_HOME", "relative/config");
        EXPECT_EQ(SettingsStore::defaultFolder(), "/home/player/.config/Tarnwick/ZELVRT1");
    }
}

TEST_F(Settings, ValuesAreWholeFilesAndTheFolderIsCreatedOnTheFirstWrite) {
    const SettingsStore store(settingsFolder + "/deeper/still");
    EXPECT_FALSE(store.read("MemoA"));
    EXPECT_TRUE(store.remove("MemoA")); // nothing to remove is no failure
    ASSERT_TRUE(store.write("MemoA", std::vector<uint8_t>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(readBytes(settingsFolder + "/deeper/still/MemoA"),
              (std::vector<uint8_t>{1, 2, 3, 4, 5, 6}));
    ASSERT_TRUE(store.write("MemoA", std::vector<uint8_t>{9}));
    EXPECT_EQ(store.read("MemoA"), (std::vector<uint8_t>{9}));
    ASSERT_TRUE(store.writeText("CurrDir", "/music/presets/"));
    EXPECT_EQ(store.readText("CurrDir"), "/music/presets/");
    EXPECT_TRUE(store.remove("MemoA"));
    EXPECT_FALSE(store.read("MemoA"));
    // Only the values themselves are in the folder: no temporary files remain.
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(store.folder()))
        names.push_back(entry.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{"CurrDir"});

    // A value that cannot be written (a folder in its place) keeps what is there.
    std::filesystem::create_directories(store.folder() + "/MemoB/x");
    EXPECT_FALSE(store.write("MemoB", std::vector<uint8_t>{1, 2, 3, 4, 5}));
    EXPECT_TRUE(std::filesystem::is_directory(store.folder() + "/MemoB/x"));
    // A folder that cannot be created (a file in its way) fails the write.
    writeBytes(settingsFolder + "/blocked", {0});
    EXPECT_FALSE(SettingsStore(settingsFolder + "/blocked/inner").write("MemoA", {{1}}));
}

TEST_F(Settings, NewInstanceStartsWithStoredBankAndPresetInProgramZero) {
    {
        PresetEffect first;
        fillDistinctPrograms(first, 12);
        ASSERT_TRUE(first.presets().storeDefaultBank());
        first.selectProgram(25);
        ASSERT_TRUE(first.presets().storeDefaultPreset());
    }
    PresetEffect reference;
    fillDistinctPrograms(reference, 0);

    PresetEffect fx;
    EXPECT_EQ(fx.getCurrentProgramIndex(), 0);
    EXPECT_EQ(nameOf(fx.program(0)), "Program 25 of the test");
    for (int j = 0; j < kNumProgramValues; ++j)
        EXPECT_EQ(bitsOf(fx.program(0).values[j]), bitsOf(reference.program(25).values[j])) << j;
    for (int p = 1; p < kNumStoredPrograms; ++p) {
        EXPECT_EQ(nameOf(fx.program(p)), nameOf(reference.program(p)));
        for (int j = 0; j < kNumProgramValues; ++j)
            EXPECT_EQ(bitsOf(fx.program(p).values[j]), bitsOf(reference.program(p).values[j]));
    }
    EXPECT_EQ(fx.getParameter(15), distinctValue(25, 15));
}

TEST_F(Settings, ClearedDefaultBankNoLongerReachesNewInstances) {
    PresetEffect factory;
    const ProgramBank factoryStore = factory.copyStore();
    {
        PresetEffect first;
        fillDistinctPrograms(first, 3);
        ASSERT_TRUE(first.presets().storeDefaultBank());
    }
    {
        PresetEffect second;
        EXPECT_EQ(nameOf(second.program(3)), "Program 3 of the test");
        ASSERT_TRUE(second.presets().clearDefaultBank());
        EXPECT_FALSE(std::filesystem::exists(settingsFolder + "/DefaultBank"));
        EXPECT_TRUE(second.presets().clearDefaultBank());
    }
    PresetEffect third;
    EXPECT_TRUE(sameStore(third.copyStore(), factoryStore));
}

TEST_F(Settings, MemoRecallBringsBackNameAndValuesIntoTheCurrentProgram) {
    PresetEffect fx;
    fillDistinctPrograms(fx, 5);
    ASSERT_TRUE(fx.presets().storeMemoA());
    fx.selectProgram(6);
    ASSERT_TRUE(fx.presets().storeMemoB());
    fx.setParameter(9, 0.875f);
    fx.renameCurrentProgram("Changed");

    fx.selectProgram(14);
    ASSERT_TRUE(fx.presets().recallMemoA());
    EXPECT_EQ(nameOf(fx.program(14)), "Program 5 of the test");
    EXPECT_EQ(fx.program(14).values[9], distinctValue(5, 9));
    EXPECT_EQ(fx.getParameter(9), distinctValue(5, 9));

    fx.selectProgram(6);
    ASSERT_TRUE(fx.presets().recallMemoB());
    EXPECT_EQ(nameOf(fx.program(6)), "Program 6 of the test");
    EXPECT_EQ(fx.program(6).values[9], distinctValue(6, 9));
}

TEST_F(Settings, MissingOrShortValuesChangeNothing) {
    PresetEffect fx;
    fillDistinctPrograms(fx, 4);
    const ProgramBank before = fx.copyStore();
    EXPECT_FALSE(fx.presets().recallMemoA());
    const SettingsStore store(settingsFolder);
    ASSERT_TRUE(store.write("MemoA", std::vector<uint8_t>{0x31, 0x56, 0x76, 0x5A}));
    EXPECT_FALSE(fx.presets().recallMemoA());
    // The lead alone: ours, a preset, but no header.
    ASSERT_TRUE(store.write("MemoA", std::vector<uint8_t>{0x31, 0x56, 0x76, 0x5A, 0x22}));
    EXPECT_FALSE(fx.presets().recallMemoA());
    EXPECT_FALSE(fx.presets().loadDefaultBank());
    EXPECT_TRUE(sameStore(fx.copyStore(), before));
    EXPECT_EQ(fx.getCurrentProgramIndex(), 4);
}

TEST_F(Settings, FolderAndFileNamesOfOneInstanceReachTheNext) {
    {
        PresetEffect first;
        EXPECT_TRUE(first.presets().saveBankFile(folder.file("my bank.zlb")));
        EXPECT_TRUE(first.presets().savePresetFile(folder.file("my preset.zel")));
    }
    const SettingsStore store(settingsFolder);
    EXPECT_EQ(store.readText("CurrDir"), folder.path().string() + "/");
    EXPECT_EQ(store.readText("CurrBank"), "my bank.zlb");
    EXPECT_EQ(store.readText("CurrPreset"), "my preset.zel");

    PresetEffect second;
    EXPECT_EQ(second.presets().currentFolder(), folder.path().string() + "/");
    EXPECT_EQ(second.presets().bankFileName(), "my bank.zlb");
    EXPECT_EQ(second.presets().presetFileName(), "my preset.zel");
}

TEST_F(Settings, InstancesThatChoseNoFileWriteNothing) {
    { PresetEffect idle; }
    EXPECT_FALSE(std::filesystem::exists(settingsFolder));
    const SettingsStore store(settingsFolder);
    ASSERT_TRUE(store.writeText("CurrBank", "kept.zlb"));
    { PresetEffect idle; }
    EXPECT_EQ(store.readText("CurrBank"), "kept.zlb");
    EXPECT_FALSE(store.read("CurrDir"));
}

} // namespace
} // namespace zel::test
