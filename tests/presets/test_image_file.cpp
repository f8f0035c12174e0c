// Preset and bank images through files, stored values and the chunk: where they
// land, which program ends up selected, byte order, the older layouts, values
// outside 0..1 and skipped records.
#include "PresetTestSupport.h"

#include "presets/PresetFiles.h"
#include "presets/SettingsStore.h"

#include <sys/stat.h>
#include <unistd.h>

namespace zel::test {
namespace {

class ImageFiles : public PresetTest {
protected:
    // A bank chunk around an image, as the host would hand it back.
    static int32_t setChunkWithImage(PresetEffect& fx, const std::vector<uint8_t>& image) {
        std::vector<uint8_t> bytes;
        ByteWriter out(bytes);
        out.u32(0x02000000);
        out.i32(0x5A765631);
        out.bytes(image.data(), image.size());
        return fx.setChunk(bytes.data(), static_cast<int32_t>(bytes.size()), false);
    }
    // Offset of the parameter record for program p, parameter j in a full bank image.
    static std::size_t parameterRecordAt(int p, int j) {
        return 41 + static_cast<std::size_t>(p) * (168 + 36 * 32) + 168 + j * 32;
    }
};

TEST_F(ImageFiles, PresetSavedAndLoadedLandsInTheCurrentProgram) {
    PresetEffect fx;
    fillDistinctPrograms(fx, 4);
    const std::string path = folder.file("warm.zel");
    ASSERT_TRUE(fx.presets().savePresetFile(path));

    const std::vector<uint8_t> bytes = readBytes(path);
    ASSERT_EQ(bytes.size(), 1361u);
    const ByteView view(bytes, false);
    EXPECT_EQ(view.i32(0), 0x5A765631);
    EXPECT_EQ(view.u8(4), 0x22);
    EXPECT_EQ(view.i32(13), 37);
    EXPECT_EQ(view.i32(17), 0);
    EXPECT_EQ(view.i32(21), 1320);
    EXPECT_EQ(view.i32(41 + 8), 0); // the name record's program index

    fx.selectProgram(9);
    const ProgramBank before = fx.copyStore();
    const std::string workingFolder = std::filesystem::current_path().string();
    ASSERT_TRUE(fx.presets().loadPresetFile(path));
    EXPECT_EQ(fx.getCurrentProgramIndex(), 9);
    EXPECT_EQ(nameOf(fx.program(9)), "Program 4 of the test");
    for (int j = 0; j < kNumProgramValues; ++j)
        EXPECT_EQ(bitsOf(fx.program(9).values[j]), bitsOf(before[4].values[j])) << j;
    for (int p = 0; p < kNumStoredPrograms; ++p) {
        if (p == 9) continue;
        EXPECT_EQ(nameOf(fx.program(p)), nameOf(before[p]));
        for (int j = 0; j < kNumProgramValues; ++j)
            EXPECT_EQ(bitsOf(fx.program(p).values[j]), bitsOf(before[p].values[j])) << p << j;
    }
    EXPECT_EQ(fx.getParameter(12), distinctValue(4, 12));
    // Opened by full path: the working folder is the same; the names are remembered.
    EXPECT_EQ(std::filesystem::current_path().string(), workingFolder);
    EXPECT_EQ(fx.presets().currentFolder(), folder.path().string() + "/");
    EXPECT_EQ(fx.presets().presetFileName(), "warm.zel");
}

TEST_F(ImageFiles, BankFileSelectsProgramZeroWhileChunkAndDefaultBankSelectTheHeadersProgram) {
    PresetEffect source;
    fillDistinctPrograms(source, 17);
    const std::string path = folder.file("set.zlb");
    ASSERT_TRUE(source.presets().saveBankFile(path));
    const std::vector<uint8_t> image = readBytes(path);
    ASSERT_EQ(image.size(), 42281u);
    EXPECT_EQ(ByteView(image, false).i32(17), 17);

    PresetEffect byFile;
    ASSERT_TRUE(byFile.presets().loadBankFile(path));
    EXPECT_EQ(byFile.getCurrentProgramIndex(), 0);
    EXPECT_TRUE(sameStore(byFile.copyStore(), source.copyStore()));
    EXPECT_EQ(byFile.presets().bankFileName(), "set.zlb");

    PresetEffect byChunk;
    EXPECT_EQ(setChunkWithImage(byChunk, image), 0);
    EXPECT_EQ(byChunk.getCurrentProgramIndex(), 17);
    EXPECT_TRUE(sameStore(byChunk.copyStore(), source.copyStore()));

    PresetEffect byDefault;
    ASSERT_TRUE(SettingsStore(settingsFolder).write("DefaultBank", image));
    ASSERT_TRUE(byDefault.presets().loadDefaultBank());
    EXPECT_EQ(byDefault.getCurrentProgramIndex(), 17);
    EXPECT_TRUE(sameStore(byDefault.copyStore(), source.copyStore()));
}

TEST_F(ImageFiles, BigEndianBankLoadsWithLoadBankAndIsReadUnswappedWhenReversed) {
    PresetEffect source;
    fillDistinctPrograms(source, 6);
    std::vector<uint8_t> image = source.presets().serialiseBank();
    reverseImage(image, 0);
    const std::string path = folder.file("foreign-order.zlb");
    writeBytes(path, image);

    PresetEffect plain;
    ASSERT_TRUE(plain.presets().loadBankFile(path, false));
    EXPECT_TRUE(sameStore(plain.copyStore(), source.copyStore()));
    EXPECT_EQ(plain.getCurrentProgramIndex(), 0);

    // Read unswapped, the record count 1184 reads as 0xA0040000, a negative count:
    // nothing is loaded, and the bank file still ends on program 0.
    PresetEffect reversed;
    reversed.selectProgram(3);
    const ProgramBank before = reversed.copyStore();
    EXPECT_FALSE(reversed.presets().loadBankFile(path, true));
    EXPECT_TRUE(sameStore(reversed.copyStore(), before));
    EXPECT_EQ(reversed.getCurrentProgramIndex(), 0);

    // And a bank in this machine's order through the reversed load is read swapped.
    const std::string nativePath = folder.file("native.zlb");
    ASSERT_TRUE(source.presets().saveBankFile(nativePath));
    PresetEffect swapped;
    const ProgramBank untouched = swapped.copyStore();
    EXPECT_FALSE(swapped.presets().loadBankFile(nativePath, true));
    EXPECT_TRUE(sameStore(swapped.copyStore(), untouched));
}

TEST_F(ImageFiles, ReversedPresetLoadsAndPresetsOfTheOtherOrderRoundTrip) {
    PresetEffect source;
    fillDistinctPrograms(source, 11);
    std::vector<uint8_t> image = source.presets().serialisePreset();
    reverseImage(image, 0);
    const std::string path = folder.file("foreign-order.zel");
    writeBytes(path, image);

    PresetEffect fx;
    fx.selectProgram(2);
    ASSERT_TRUE(fx.presets().loadPresetFile(path, false));
    EXPECT_EQ(nameOf(fx.program(2)), "Program 11 of the test");
    EXPECT_EQ(fx.program(2).values[20], distinctValue(11, 20));

    // The same file through the reversed load cannot be walked: program 2 stays.
    const ProgramBank before = fx.copyStore();
    EXPECT_FALSE(fx.presets().loadPresetFile(path, true));
    EXPECT_TRUE(sameStore(fx.copyStore(), before));
}

TEST_F(ImageFiles, LegacyPresetOfThirtyValuesKeepsTheTemplateForTheRest) {
    PresetEffect fresh;
    const ProgramRecord templ = fresh.program(0);

    std::vector<uint8_t> bytes;
    ByteWriter out(bytes);
    out.i32(0x5A765631);
    out.u8(0x21);
    std::vector<float> values;
    for (int j = 0; j < 30; ++j) values.push_back(distinctValue(20, j));
    appendLegacyProgram(bytes, "Old preset", values);
    ASSERT_EQ(bytes.size(), 29u + 4 * 30);
    const std::string path = folder.file("old.zel");
    writeBytes(path, bytes);

    PresetEffect fx;
    fillDistinctPrograms(fx, 7);
    ASSERT_TRUE(fx.presets().loadPresetFile(path));
    EXPECT_EQ(nameOf(fx.program(7)), "Old preset");
    for (int j = 0; j < 30; ++j) EXPECT_EQ(fx.program(7).values[j], distinctValue(20, j)) << j;
    for (int j = 30; j < kNumProgramValues; ++j)
        EXPECT_EQ(bitsOf(fx.program(7).values[j]), bitsOf(templ.values[j])) << j;
}

TEST_F(ImageFiles, LegacyBankLoadsAllProgramsAndSelectsProgramZero) {
    std::vector<uint8_t> bytes;
    ByteWriter out(bytes);
    out.i32(byteSwap32(0x5A765631)); // written on a machine of the other byte order
    out.u8(0x37);
    for (int p = 0; p < 32; ++p) {
        std::vector<float> values;
        for (int j = 0; j < 36; ++j) values.push_back(distinctValue(p, j));
        appendLegacyProgram(bytes, "Old " + std::to_string(p), values);
    }
    for (std::size_t at = 5; at < bytes.size(); at += 24 + 36 * 4)
        for (std::size_t v = 24; v < 24 + 36 * 4; v += 4) reverseField(bytes, at + v);
    const std::string path = folder.file("old.zlb");
    writeBytes(path, bytes);

    PresetEffect fx;
    fx.selectProgram(5);
    ASSERT_TRUE(fx.presets().loadBankFile(path));
    EXPECT_EQ(fx.getCurrentProgramIndex(), 0);
    for (int p = 0; p < 32; ++p) {
        EXPECT_EQ(nameOf(fx.program(p)), "Old " + std::to_string(p));
        EXPECT_EQ(fx.program(p).values[30], distinctValue(p, 30)) << p;
    }

    // A bad value in program 12 restores the whole store.
    const ProgramBank before = fx.copyStore();
    const float bad = 2.0f;
    std::vector<uint8_t> broken = bytes;
    const std::size_t at = 5 + 12 * (24 + 36 * 4) + 24 + 4 * 9;
    std::memcpy(broken.data() + at, &bad, 4);
    reverseField(broken, at);
    writeBytes(path, broken);
    EXPECT_FALSE(fx.presets().loadBankFile(path));
    EXPECT_TRUE(sameStore(fx.copyStore(), before));
}

TEST_F(ImageFiles, OutOfRangeValuesAreClampedAndReportedOnLoadAndSave) {
    PresetEffect source;
    fillDistinctPrograms(source, 0);
    std::vector<uint8_t> image = source.presets().serialiseBank();
    const float big = 1.5f;
    std::memcpy(image.data() + parameterRecordAt(6, 12) + 24, &big, 4);

    PresetEffect fx;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(setChunkWithImage(fx, image), 0);
    const std::string loadMessages = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(loadMessages,
              "Invalid parameter 12 value 1.500000 on load of preset 6 Program 6 of the test\n");
    EXPECT_EQ(fx.program(6).values[12], 1.0f);

    // Saving clamps too: below 0 and NaN to 0, above 1 to 1, one line each.
    fx.programs[2].values[8] = -0.25f;
    fx.programs[30].values[33] = 7.0f;
    fx.programs[31].values[6] = std::numeric_limits<float>::quiet_NaN();
    ::testing::internal::CaptureStderr();
    const std::vector<uint8_t> saved = fx.presets().serialiseBank();
    const std::string saveMessages = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(
        saveMessages.find(
            "Invalid parameter 8 value -0.250000 on save of preset 2 Program 2 of the test\n"),
        0u);
    EXPECT_NE(
        saveMessages.find(
            "Invalid parameter 33 value 7.000000 on save of preset 30 Program 30 of the test\n"),
        std::string::npos);
    EXPECT_NE(saveMessages.find("Invalid parameter 6 value "), std::string::npos);
    EXPECT_EQ(std::count(saveMessages.begin(), saveMessages.end(), '\n'), 3);
    const ByteView view(saved, false);
    EXPECT_EQ(view.f32(parameterRecordAt(2, 8) + 24), 0.0f);
    EXPECT_EQ(view.f32(parameterRecordAt(30, 33) + 24), 1.0f);
    EXPECT_EQ(view.f32(parameterRecordAt(31, 6) + 24), 0.0f);

    // A preset image keeps its values as they stand and is refused on load.
    fx.selectProgram(30);
    fx.programs[30].values[33] = 7.0f;
    const std::vector<uint8_t> preset = fx.presets().serialisePreset();
    EXPECT_EQ(ByteView(preset, false).f32(41 + 168 + 33 * 32 + 24), 7.0f);
    const std::string path = folder.file("loud.zel");
    writeBytes(path, preset);
    fx.selectProgram(1);
    const ProgramBank before = fx.copyStore();
    EXPECT_FALSE(fx.presets().loadPresetFile(path));
    EXPECT_TRUE(sameStore(fx.copyStore(), before));
}

TEST_F(ImageFiles, RecordsForProgram40AndParameter36AreSkipped) {
    std::vector<uint8_t> image;
    ByteWriter out(image);
    ImageHeader header;
    header.identifier = 0x5A765631;
    header.kind = 0x38;
    header.parametersPerProgram = 36;
    header.recordCount = 4;
    header.currentProgram = 2;
    header.recordBytes = 168 + 3 * 32;
    writeImageHeader(out, header);
    const char name[24] = "Out of range";
    writeNameRecord(out, 40, name);
    writeParameterRecord(out, 40, 5, 0.125f);
    writeParameterRecord(out, 2, 36, 0.25f);
    writeParameterRecord(out, 2, 5, 0.75f);

    PresetEffect fx;
    fillDistinctPrograms(fx, 0);
    ProgramBank expected = fx.copyStore();
    expected[2].values[5] = 0.75f;
    EXPECT_EQ(setChunkWithImage(fx, image), 0);
    EXPECT_TRUE(sameStore(fx.copyStore(), expected));
    EXPECT_EQ(fx.getCurrentProgramIndex(), 2);
}

TEST_F(ImageFiles, ReadOnlyFilesLoad) {
    PresetEffect source;
    fillDistinctPrograms(source, 8);
    const std::string path = folder.file("locked.zel");
    ASSERT_TRUE(source.presets().savePresetFile(path));
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);

    PresetEffect fx;
    fx.selectProgram(1);
    EXPECT_TRUE(fx.presets().loadPresetFile(path));
    EXPECT_EQ(nameOf(fx.program(1)), "Program 8 of the test");
}

TEST_F(ImageFiles, FailedSavesKeepWhatWasThereAndLeaveNoTemporaryFiles) {
    PresetEffect fx;
    fillDistinctPrograms(fx, 8);
    EXPECT_FALSE(fx.presets().saveBankFile(folder.file("missing/bank.zlb")));
    EXPECT_FALSE(std::filesystem::exists(folder.file("missing")));

    // A folder where the file should be: the rename fails, the folder stays.
    const std::string occupied = folder.file("occupied.zlb");
    std::filesystem::create_directory(occupied);
    writeBytes(occupied + "/inside", {1, 2, 3});
    EXPECT_FALSE(fx.presets().saveBankFile(occupied));
    EXPECT_EQ(readBytes(occupied + "/inside"), (std::vector<uint8_t>{1, 2, 3}));

    // A save over an older file replaces it whole.
    const std::string path = folder.file("bank.zlb");
    writeBytes(path, std::vector<uint8_t>(100000, 0xEE));
    ASSERT_TRUE(fx.presets().saveBankFile(path));
    EXPECT_EQ(readBytes(path), fx.presets().serialiseBank());

    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder.path()))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"bank.zlb", "occupied.zlb"}));
}

TEST_F(ImageFiles, PathsSplitAtTheLastSlash) {
    EXPECT_EQ(splitPath("/a/b/c.zel").folder, "/a/b/");
    EXPECT_EQ(splitPath("/a/b/c.zel").name, "c.zel");
    EXPECT_EQ(splitPath("c.zel").folder, "");
    EXPECT_EQ(splitPath("c.zel").name, "c.zel");
    EXPECT_EQ(splitPath("/a/b/").name, "");
    EXPECT_EQ(splitPath("/a/b/").folder, "/a/b/");
}

} // namespace
} // namespace zel::test
