// Every reader of outside bytes fed cut, oversized and random input: nothing
// crashes, nothing is read past the input (each input lies in a buffer of its
// exact size, so the address sanitizer build sees any overread), and a refused
// input leaves the store and the selection as they were.
#include "PresetTestSupport.h"

#include <random>

namespace zel::test {
namespace {

class Robustness : public PresetTest {
protected:
    void SetUp() override {
        PresetTest::SetUp();
        fx = std::make_unique<PresetEffect>();
        fillDistinctPrograms(*fx, 9);
        // Images whose every program differs from the effect's.
        PresetEffect other;
        for (int p = 0; p < kNumStoredPrograms; ++p) {
            other.selectProgram(p);
            other.renameCurrentProgram(("Other " + std::to_string(p)).c_str());
            for (int j = 5; j < 31; ++j) other.setParameter(j, 1.0f - distinctValue(p, j));
        }
        other.selectProgram(21);
        bank = other.presets().serialiseBank();
        preset = other.presets().serialisePreset();
        ::testing::internal::CaptureStderr(); // clamp reports of random values
    }
    void TearDown() override {
        ::testing::internal::GetCapturedStderr();
        fx.reset();
        PresetTest::TearDown();
    }

    // Checks that a refused input changed nothing, then returns to the start state.
    void expectUnchangedWhenRefused(bool accepted, const std::string& what) {
        if (!accepted) {
            EXPECT_TRUE(sameStore(fx->copyStore(), start)) << what;
            EXPECT_EQ(fx->getCurrentProgramIndex(), startProgram) << what;
        }
        fx->restoreStore(start);
        fx->selectProgram(startProgram);
    }
    void remember() {
        start = fx->copyStore();
        startProgram = fx->getCurrentProgramIndex();
    }

    int32_t setChunk(const std::vector<uint8_t>& bytes) {
        // A heap buffer of the exact size: reading one byte more is caught.
        std::vector<uint8_t> exact(bytes);
        exact.shrink_to_fit();
        return fx->setChunk(exact.empty() ? nullptr : exact.data(),
                            static_cast<int32_t>(exact.size()), false);
    }

    std::unique_ptr<PresetEffect> fx;
    std::vector<uint8_t> bank;
    std::vector<uint8_t> preset;
    ProgramBank start{};
    int32_t startProgram = 0;
};

std::vector<uint8_t> chunkAround(const std::vector<uint8_t>& image, uint32_t tag = 0x02000000) {
    std::vector<uint8_t> bytes;
    ByteWriter out(bytes);
    out.u32(tag);
    out.i32(0x5A765631);
    out.bytes(image.data(), image.size());
    return bytes;
}

// Lengths to cut at: every length around the header and the first records, the
// ends of records further on, and one byte either side of them.
std::vector<std::size_t> cutLengths(std::size_t full, std::size_t lead) {
    std::vector<std::size_t> lengths;
    for (std::size_t n = 0; n < lead + 240 && n < full; ++n) lengths.push_back(n);
    for (std::size_t n = lead + 240; n < full; n += 157) lengths.push_back(n);
    for (std::size_t end = lead + 41; end + 1 < full; end += 168 + 36 * 32)
        for (std::size_t n : {end - 1, end, end + 1, end + 168}) lengths.push_back(n);
    lengths.push_back(full - 1);
    return lengths;
}

TEST_F(Robustness, CutChunksAreRefusedWithoutChange) {
    const std::vector<uint8_t> full = chunkAround(bank);
    remember();
    for (std::size_t n : cutLengths(full.size(), 8)) {
        const int32_t result = setChunk(std::vector<uint8_t>(full.begin(), full.begin() + n));
        EXPECT_EQ(result, -1) << n;
        expectUnchangedWhenRefused(result == 0, "cut at " + std::to_string(n));
    }
    // The whole chunk with bytes after it loads, and the extra bytes are ignored.
    std::vector<uint8_t> longer = full;
    longer.resize(full.size() + 5000, 0xAB);
    EXPECT_EQ(setChunk(longer), 0);
    EXPECT_EQ(fx->getCurrentProgramIndex(), 21);
}

TEST_F(Robustness, CutFilesAreRefusedWithoutChange) {
    remember();
    const std::string path = folder.file("cut");
    for (const std::vector<uint8_t>* image : {&bank, &preset}) {
        for (std::size_t n : cutLengths(image->size(), 0)) {
            writeBytes(path, std::vector<uint8_t>(image->begin(), image->begin() + n));
            const bool isBank = image == &bank;
            const bool loaded =
                isBank ? fx->presets().loadBankFile(path) : fx->presets().loadPresetFile(path);
            EXPECT_FALSE(loaded) << n;
            // A bank file whose identifier was read selects program 0, whatever
            // came of its content.
            if (isBank && n >= 5) {
                EXPECT_TRUE(sameStore(fx->copyStore(), start)) << n;
                fx->selectProgram(startProgram);
            }
            expectUnchangedWhenRefused(loaded, "file cut at " + std::to_string(n));
        }
    }
}

TEST_F(Robustness, RecordFieldsThatPointPastTheEndAreRefused) {
    remember();
    // A record length that runs past the end, one that wraps, and a record
    // count beyond the records present.
    for (uint32_t length : {157u, 100000u, 0xFFFFFFF4u, 0xFFFFFFFFu}) {
        std::vector<uint8_t> image = bank;
        std::memcpy(image.data() + 41 + 4, &length, 4);
        const int32_t result = setChunk(chunkAround(image));
        EXPECT_EQ(result, -1) << length;
        expectUnchangedWhenRefused(result == 0, "length " + std::to_string(length));
    }
    for (int32_t count : {1185, std::numeric_limits<int32_t>::max(), -1}) {
        std::vector<uint8_t> image = bank;
        std::memcpy(image.data() + 13, &count, 4);
        const int32_t result = setChunk(chunkAround(image));
        EXPECT_EQ(result, -1) << count;
        expectUnchangedWhenRefused(result == 0, "count " + std::to_string(count));
    }
    // Records too short for their type are skipped, the rest still loads.
    std::vector<uint8_t> image;
    ByteWriter out(image);
    ImageHeader header;
    header.identifier = 0x5A765631;
    header.kind = 0x38;
    header.recordCount = 3;
    header.currentProgram = 4;
    writeImageHeader(out, header);
    out.i32(0); // name record with 4 body bytes
    out.u32(4);
    out.i32(4);
    out.u32(0x41414141);
    out.i32(1); // parameter record with 8 body bytes
    out.u32(8);
    out.i32(4);
    out.i32(10);
    out.f32(0.5f);
    writeParameterRecord(out, 4, 10, 0.0625f);
    EXPECT_EQ(setChunk(chunkAround(image)), 0);
    EXPECT_EQ(fx->program(4).values[10], 0.0625f);
    EXPECT_EQ(nameOf(fx->program(4)), nameOf(start[4]));
}

TEST_F(Robustness, RandomBytesNeverCrashAndRefusalsChangeNothing) {
    std::mt19937 random(20240611);
    std::uniform_int_distribution<int> byte(0, 255);
    remember();
    for (int round = 0; round < 3000; ++round) {
        // Mostly inputs that pass the identifier test, so the readers are reached.
        std::size_t size = std::uniform_int_distribution<std::size_t>(0, 700)(random);
        std::vector<uint8_t> bytes(size);
        for (uint8_t& b : bytes) b = static_cast<uint8_t>(byte(random));
        const int shape = round % 6;
        if (shape < 5 && size >= 13) {
            const std::vector<uint8_t> lead = chunkAround({});
            std::copy(lead.begin(), lead.end(), bytes.begin());
            if (shape == 1) { // the older chunk's tag
                const std::vector<uint8_t> legacy = chunkAround({}, 0x01000000);
                std::copy(legacy.begin(), legacy.end(), bytes.begin());
            }
            if (shape == 2) { // tag and identifier of the other byte order
                std::reverse(bytes.begin(), bytes.begin() + 4);
                std::reverse(bytes.begin() + 4, bytes.begin() + 8);
            }
            if (shape == 3 && size >= 41 + 8) { // a believable header, random records
                const int32_t count = std::uniform_int_distribution<int32_t>(0, 40)(random);
                std::memcpy(bytes.data() + 8 + 13, &count, 4);
            }
            bytes[12] = shape == 4 ? 0x22 : 0x38;
        }
        const int32_t result = setChunk(bytes);
        expectUnchangedWhenRefused(result == 0, "chunk round " + std::to_string(round));
    }
}

TEST_F(Robustness, RandomLayoutsThroughEveryImageReader) {
    std::mt19937 random(77);
    std::uniform_int_distribution<int> byte(0, 255);
    CPresetSystemEditor& presets = fx->presets();
    remember();
    const uint8_t kinds[] = {0x21, 0x22, 0x37, 0x38, 0x40};
    const std::string path = folder.file("random");
    for (int round = 0; round < 2500; ++round) {
        std::size_t size = std::uniform_int_distribution<std::size_t>(0, 6000)(random);
        if (round % 3 == 0) size %= 80;
        std::vector<uint8_t> bytes(size);
        for (uint8_t& b : bytes) b = static_cast<uint8_t>(byte(random));
        if (size >= 5) {
            const int32_t id = round % 2 ? 0x5A765631 : byteSwap32(0x5A765631);
            std::memcpy(bytes.data(), &id, 4);
            bytes[4] = kinds[round % 5];
        }
        bytes.shrink_to_fit();
        const std::string what = "round " + std::to_string(round);
        const std::span<const uint8_t> data(bytes);
        const bool reversed = round % 4 == 1;
        const int32_t n = std::uniform_int_distribution<int32_t>(-3, 60)(random);

        expectUnchangedWhenRefused(presets.loadLegacyPreset(data, reversed, n), what);
        expectUnchangedWhenRefused(presets.loadLegacyBank(data, reversed, 32, n), what);
        if (const std::optional<ImageHeader> header = readImageHeader(data, reversed)) {
            const std::span<const uint8_t> records = data.subspan(41);
            expectUnchangedWhenRefused(presets.loadPresetImage(records, *header, reversed), what);
            expectUnchangedWhenRefused(presets.loadBankImage(records, *header, reversed), what);
        }
        writeBytes(path, bytes);
        expectUnchangedWhenRefused(presets.loadPresetFile(path, reversed), what);
        const bool bankLoaded = presets.loadBankFile(path, reversed);
        if (!bankLoaded) fx->selectProgram(startProgram); // a bank file ends on program 0
        expectUnchangedWhenRefused(bankLoaded, what);
    }
}

TEST_F(Robustness, RandomStoredDefaultsReachANewInstanceSafely) {
    std::mt19937 random(5);
    std::uniform_int_distribution<int> byte(0, 255);
    const SettingsStore store(settingsFolder);
    for (int round = 0; round < 40; ++round) {
        std::vector<uint8_t> bankValue = bank;
        std::vector<uint8_t> presetValue = preset;
        for (int k = 0; k < 12; ++k) {
            bankValue[std::uniform_int_distribution<std::size_t>(0, bankValue.size() - 1)(random)] =
                static_cast<uint8_t>(byte(random));
            presetValue[std::uniform_int_distribution<std::size_t>(0, presetValue.size() - 1)(
                random)] = static_cast<uint8_t>(byte(random));
        }
        bankValue.resize(std::uniform_int_distribution<std::size_t>(0, bankValue.size())(random));
        presetValue.resize(
            std::uniform_int_distribution<std::size_t>(0, presetValue.size())(random));
        ASSERT_TRUE(store.write("DefaultBank", bankValue));
        ASSERT_TRUE(store.write("DefaultPreset", presetValue));
        PresetEffect instance;
        EXPECT_EQ(instance.getCurrentProgramIndex(), 0) << round;
    }
}

} // namespace
} // namespace zel::test
