// vortan and the plug-in's saved state: the host's own reading and editing of a
// bank chunk, and the --programs, --program, --bank, --load-chunk and
// --save-chunk options on the Zel Vortan plug-in. Every run gets its own
// settings folder, so the user's stored defaults never take part.
#include "VortanRun.h"
#include "WavFile.h"

#include "host/HostError.h"
#include "host/ProgramChunk.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>

namespace zel::vortan::test {
namespace {

constexpr int32_t kId = 0x5A765631; // 'ZvV1'

void put32(std::vector<uint8_t>& out, uint32_t x) {
    uint8_t raw[4];
    std::memcpy(raw, &x, 4);
    out.insert(out.end(), raw, raw + 4);
}

void putFloat(std::vector<uint8_t>& out, float x) {
    uint32_t bits;
    std::memcpy(&bits, &x, 4);
    put32(out, bits);
}

// A bank image of `programs` programs named "P<index>", value j of program p =
// (p + j) / 100, the current program as given.
std::vector<uint8_t> bankImage(int programs, int32_t current) {
    std::vector<uint8_t> records;
    for (int p = 0; p < programs; ++p) {
        put32(records, 0);
        put32(records, 156);
        put32(records, static_cast<uint32_t>(p));
        char name[24] = {};
        std::snprintf(name, sizeof name, "P%d", p);
        records.insert(records.end(), name, name + 24);
        records.insert(records.end(), 132, 0);
        for (int j = 0; j < 36; ++j) {
            put32(records, 1);
            put32(records, 20);
            put32(records, static_cast<uint32_t>(p));
            put32(records, static_cast<uint32_t>(j));
            put32(records, 0);
            put32(records, 0);
            putFloat(records, static_cast<float>(p + j) / 100.0f);
            put32(records, 0);
        }
    }
    std::vector<uint8_t> image;
    put32(image, kId);
    image.push_back(0x38);
    put32(image, 0x01000100);
    put32(image, 36);
    put32(image, static_cast<uint32_t>(programs * 37));
    put32(image, static_cast<uint32_t>(current));
    put32(image, static_cast<uint32_t>(records.size()));
    image.insert(image.end(), 16, 0);
    image.insert(image.end(), records.begin(), records.end());
    return image;
}

std::vector<uint8_t> bankChunk(int programs, int32_t current) {
    std::vector<uint8_t> chunk;
    put32(chunk, kBankChunkTag);
    put32(chunk, kId);
    const std::vector<uint8_t> image = bankImage(programs, current);
    chunk.insert(chunk.end(), image.begin(), image.end());
    return chunk;
}

void reverse32(std::vector<uint8_t>& bytes, size_t at) {
    std::reverse(bytes.begin() + static_cast<ptrdiff_t>(at),
                 bytes.begin() + static_cast<ptrdiff_t>(at + 4));
}

// The chunk as a machine of the other byte order writes it.
std::vector<uint8_t> reversedChunk(std::vector<uint8_t> chunk, int programs) {
    reverse32(chunk, 0);
    reverse32(chunk, 4);
    reverse32(chunk, 8);
    for (size_t at = 13; at < 33; at += 4) reverse32(chunk, at);
    size_t at = 49;
    for (int p = 0; p < programs; ++p) {
        for (size_t f = 0; f < 12; f += 4) reverse32(chunk, at + f);
        at += 168;
        for (int j = 0; j < 36; ++j, at += 32)
            for (size_t f = 0; f < 32; f += 4) reverse32(chunk, at + f);
    }
    return chunk;
}

TEST(ProgramChunk, ReadsNamesValuesAndTheCurrentProgramInEitherOrder) {
    for (bool reversed : {false, true}) {
        const std::vector<uint8_t> chunk =
            reversed ? reversedChunk(bankChunk(32, 7), 32) : bankChunk(32, 7);
        const StoredBank bank = parseBankChunk(chunk, kId);
        EXPECT_EQ(bank.reversed, reversed);
        EXPECT_EQ(bank.currentProgram, 7);
        ASSERT_EQ(bank.programs.size(), 32u);
        EXPECT_EQ(bank.programs[31].name, "P31");
        ASSERT_EQ(bank.programs[12].values.size(), 36u);
        EXPECT_EQ(bank.programs[12].values[20].first, 20);
        EXPECT_EQ(bank.programs[12].values[20].second, 32.0f / 100.0f);
    }
}

TEST(ProgramChunk, RefusesWhatIsNotAWholeBankChunkOfThisPlugIn) {
    const std::vector<uint8_t> good = bankChunk(3, 0);
    EXPECT_THROW(parseBankChunk(good, kId + 1), HostError);
    std::vector<uint8_t> legacy = good;
    legacy[3] = 1;
    legacy[0] = 0;
    EXPECT_THROW(parseBankChunk(legacy, kId), HostError);
    for (size_t size : {size_t{0}, size_t{7}, size_t{48}, good.size() - 1, good.size() - 200}) {
        const std::vector<uint8_t> cut(good.begin(), good.begin() + static_cast<ptrdiff_t>(size));
        EXPECT_THROW(parseBankChunk(cut, kId), HostError) << size;
    }
    std::vector<uint8_t> hugeRecord = good;
    const uint32_t length = 0xFFFFFFF0u;
    std::memcpy(hugeRecord.data() + 49 + 4, &length, 4);
    EXPECT_THROW(parseBankChunk(hugeRecord, kId), HostError);
}

TEST(ProgramChunk, CurrentProgramIsSetInTheChunksOwnOrder) {
    std::vector<uint8_t> native = bankChunk(32, 0);
    setChunkCurrentProgram(native, kId, 5);
    EXPECT_EQ(parseBankChunk(native, kId).currentProgram, 5);
    std::vector<uint8_t> reversed = reversedChunk(bankChunk(32, 0), 32);
    setChunkCurrentProgram(reversed, kId, 31);
    EXPECT_EQ(parseBankChunk(reversed, kId).currentProgram, 31);
    std::vector<uint8_t> foreign = bankChunk(1, 0);
    EXPECT_THROW(setChunkCurrentProgram(foreign, kId - 1, 2), HostError);
}

TEST(ProgramChunk, BankFilesBecomeChunksWithTheFilesByteOrder) {
    const std::vector<uint8_t> image = bankImage(2, 1);
    const std::vector<uint8_t> chunk = chunkFromBankFile(image, kId);
    EXPECT_EQ(chunk, bankChunk(2, 1));
    const std::vector<uint8_t> reversed = reversedChunk(bankChunk(2, 1), 2);
    const std::vector<uint8_t> reversedFile(reversed.begin() + 8, reversed.end());
    const StoredBank bank = parseBankChunk(chunkFromBankFile(reversedFile, kId), kId);
    EXPECT_TRUE(bank.reversed);
    EXPECT_EQ(bank.programs[1].name, "P1");
    std::vector<uint8_t> legacy = image;
    legacy[4] = 0x37;
    EXPECT_THROW(chunkFromBankFile(legacy, kId), HostError);
    EXPECT_THROW(chunkFromBankFile(image, kId + 1), HostError);
    EXPECT_THROW(chunkFromBankFile(std::vector<uint8_t>(image.begin(), image.begin() + 40), kId),
                 HostError);
}

std::vector<uint8_t> fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void writeFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

class ZelState : public ::testing::Test {
protected:
    void SetUp() override {
        plugin = zelPluginPath();
        ASSERT_TRUE(fileExists(plugin)) << "the Zel Vortan plug-in was not built";
    }
    RunResult run(std::vector<std::string> arguments) {
        return runVortan(arguments, {"ZELVORTAN_SETTINGS_DIR=" + scratch.file("settings")});
    }
    ScratchDirectory scratch;
    std::string plugin;
};

TEST_F(ZelState, ProgramsListsTheThirtyTwoStoredProgramsAndProgramSelectsOne) {
    const RunResult listed = run({"info", plugin, "--programs"});
    ASSERT_EQ(listed.status, 0) << listed.err;
    const std::vector<std::string> all = lines(listed.out);
    const auto heading = std::find(all.begin(), all.end(), "Stored programs (current 0)");
    ASSERT_NE(heading, all.end()) << listed.out;
    ASSERT_GE(all.end() - heading, 33);
    EXPECT_EQ(*(heading + 1), "   0 * Default");
    EXPECT_EQ(*(heading + 6), "   5   Wobble");
    EXPECT_EQ((heading + 32)->substr(0, 5), "  31 ");

    const RunResult chosen = run({"info", plugin, "--program", "5", "--programs", "--json"});
    ASSERT_EQ(chosen.status, 0) << chosen.err;
    EXPECT_NE(chosen.out.find("\"storedPrograms\""), std::string::npos);
    EXPECT_NE(chosen.out.find("\"current\": 5"), std::string::npos) << chosen.out;

    const RunResult outside = run({"info", plugin, "--program", "32"});
    EXPECT_EQ(outside.status, 2);
}

TEST_F(ZelState, SavedChunkRestoresEveryProgramInAnotherInstance) {
    const std::string bank = scratch.file("bank.zlb");
    writeFileBytes(bank, bankImage(32, 9));
    const std::string first = scratch.file("first.chunk");
    const RunResult saved = run({"info", plugin, "--bank", bank, "--save-chunk", first});
    ASSERT_EQ(saved.status, 0) << saved.err;
    const std::vector<uint8_t> chunk = fileBytes(first);
    ASSERT_EQ(chunk.size(), 42289u);
    const StoredBank stored = parseBankChunk(chunk, kId);
    EXPECT_EQ(stored.currentProgram, 9);
    EXPECT_EQ(stored.programs[17].name, "P17");

    // A second instance given that chunk gives back the same bytes.
    const std::string second = scratch.file("second.chunk");
    const RunResult restored =
        run({"info", plugin, "--load-chunk", first, "--save-chunk", second, "--programs"});
    ASSERT_EQ(restored.status, 0) << restored.err;
    EXPECT_EQ(fileBytes(second), chunk);
    EXPECT_NE(restored.out.find("   9 * P9"), std::string::npos);
}

TEST_F(ZelState, RenderWithAProgramDiffersFromTheDefaultAndSavesItsChunk) {
    WavData input;
    input.channels = 2;
    input.sampleRate = 44100;
    input.bitsPerSample = 16;
    for (int i = 0; i < 8820; ++i)
        for (int c = 0; c < 2; ++c) input.samples.push_back(0.25 * std::sin(0.05 * i + c));
    const std::string in = scratch.file("in.wav");
    writeWav(in, input);

    const RunResult plain = run({"render", plugin, in, scratch.file("plain.wav")});
    ASSERT_EQ(plain.status, 0) << plain.err;
    const std::string chunk = scratch.file("wobble.chunk");
    const RunResult wobble = run({"render", plugin, in, scratch.file("wobble.wav"), "--program",
                                  "5", "--save-chunk", chunk});
    ASSERT_EQ(wobble.status, 0) << wobble.err;
    EXPECT_NE(readWav(scratch.file("plain.wav")).samples,
              readWav(scratch.file("wobble.wav")).samples);
    const StoredBank bank = parseBankChunk(fileBytes(chunk), kId);
    EXPECT_EQ(bank.currentProgram, 5);
    EXPECT_EQ(bank.programs[5].name, "Wobble");
}

TEST_F(ZelState, BadStateInputsFailCleanly) {
    const std::string junk = scratch.file("junk.chunk");
    writeFileBytes(junk, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
    const RunResult refused = run({"info", plugin, "--load-chunk", junk});
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("refused the chunk"), std::string::npos) << refused.err;

    const RunResult missing = run({"info", plugin, "--bank", scratch.file("none.zlb")});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("cannot open bank file"), std::string::npos) << missing.err;

    std::vector<uint8_t> foreign = bankImage(1, 0);
    foreign[0] ^= 0x55;
    writeFileBytes(scratch.file("foreign.zlb"), foreign);
    const RunResult other = run({"info", plugin, "--bank", scratch.file("foreign.zlb")});
    EXPECT_EQ(other.status, 1);
    EXPECT_NE(other.err.find("belongs to another plug-in"), std::string::npos) << other.err;

    const RunResult noFolder =
        run({"info", plugin, "--save-chunk", scratch.file("missing/out.chunk")});
    EXPECT_EQ(noFolder.status, 1);
    EXPECT_FALSE(fileExists(scratch.file("missing")));
}

} // namespace
} // namespace zel::vortan::test
