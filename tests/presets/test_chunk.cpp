// The host chunk: the bank chunk written by getChunk and read by setChunk, in
// either byte order, the older chunk layout, and what is refused.
#include "PresetTestSupport.h"

#include <limits>

namespace zel::test {
namespace {

class Chunk : public PresetTest {
protected:
    std::vector<uint8_t> chunkOf(PresetEffect& fx) {
        void* data = nullptr;
        const int32_t size = fx.getChunk(&data, false);
        EXPECT_GT(size, 0);
        if (size <= 0 || data == nullptr) return {};
        const auto* bytes = static_cast<const uint8_t*>(data);
        return std::vector<uint8_t>(bytes, bytes + size);
    }
    // Through the host's entry, as a DAW restores a project.
    static intptr_t setChunkFromHost(PresetEffect& fx, std::vector<uint8_t>& bytes) {
        vst::AEffect* effect = fx.getAeffect();
        return effect->dispatcher(effect, vst::effSetChunk, 0, static_cast<intptr_t>(bytes.size()),
                                  bytes.data(), 0.0f);
    }
};

void expectSamePrograms(PresetEffect& a, PresetEffect& b) {
    EXPECT_TRUE(sameStore(a.copyStore(), b.copyStore()));
    for (int p = 0; p < kNumStoredPrograms; ++p)
        EXPECT_EQ(nameOf(a.program(p)), nameOf(b.program(p)));
    EXPECT_EQ(a.getCurrentProgramIndex(), b.getCurrentProgramIndex());
}

TEST_F(Chunk, RoundTripRestoresEveryProgramAndTheCurrentOne) {
    PresetEffect source;
    fillDistinctPrograms(source, 13);
    std::vector<uint8_t> bytes = chunkOf(source);
    ASSERT_EQ(bytes.size(), 42289u);

    // Tag and identifier in this machine's order, then the bank image header.
    const ByteView view(bytes, false);
    EXPECT_EQ(view.u32(0), 0x02000000u);
    EXPECT_EQ(view.i32(4), 0x5A765631);
    EXPECT_EQ(view.i32(8), 0x5A765631);
    EXPECT_EQ(view.u8(12), 0x38);
    EXPECT_EQ(view.u32(13), 0x01000100u);
    EXPECT_EQ(view.i32(17), 36);
    EXPECT_EQ(view.i32(21), 32 * 37);
    EXPECT_EQ(view.i32(25), 13);
    EXPECT_EQ(view.i32(29), 42240);

    PresetEffect restored;
    EXPECT_EQ(setChunkFromHost(restored, bytes), 0);
    expectSamePrograms(source, restored);
    // The current program's values reached the parameters.
    for (int j = 5; j < 31; ++j) EXPECT_EQ(restored.getParameter(j), distinctValue(13, j)) << j;
    char name[25];
    restored.getProgramName(name);
    EXPECT_STREQ(name, "Program 13 of the test");
}

TEST_F(Chunk, ByteReversedChunkIsReadSwapped) {
    PresetEffect source;
    fillDistinctPrograms(source, 21);
    std::vector<uint8_t> bytes = chunkOf(source);
    reverseField(bytes, 0);
    reverseField(bytes, 4);
    reverseImage(bytes, 8);
    ASSERT_NE(bytes, chunkOf(source));

    PresetEffect restored;
    EXPECT_EQ(restored.setChunk(bytes.data(), static_cast<int32_t>(bytes.size()), false), 0);
    expectSamePrograms(source, restored);
}

TEST_F(Chunk, ForeignIdentifierUnknownTagAndShortChunksAreRefused) {
    PresetEffect source;
    fillDistinctPrograms(source, 3);
    const std::vector<uint8_t> good = chunkOf(source);

    PresetEffect fx;
    const ProgramBank before = fx.copyStore();
    std::vector<uint8_t> foreign = good;
    foreign[5] ^= 0x20; // 'ZVV1'
    EXPECT_EQ(fx.setChunk(foreign.data(), static_cast<int32_t>(foreign.size()), false), -1);
    std::vector<uint8_t> unknownTag = good;
    unknownTag[0] = 3;
    EXPECT_EQ(fx.setChunk(unknownTag.data(), static_cast<int32_t>(unknownTag.size()), false), -1);
    // Too short for the prefix, or for the image header behind it.
    std::vector<uint8_t> shortChunk = good;
    for (int32_t size : {0, 7, 8, 48}) {
        std::vector<uint8_t> exact(shortChunk.begin(), shortChunk.begin() + size);
        EXPECT_EQ(fx.setChunk(exact.data(), size, false), -1) << size;
    }
    EXPECT_EQ(fx.setChunk(nullptr, 100, false), -1);
    std::vector<uint8_t> copy = good;
    EXPECT_EQ(fx.setChunk(copy.data(), -5, false), -1);
    EXPECT_TRUE(sameStore(before, fx.copyStore()));
}

TEST_F(Chunk, HostSizeBeyondThirtyTwoBitsIsRefused) {
    if (sizeof(intptr_t) < 8) GTEST_SKIP() << "sizes cannot exceed 32 bits here";
    PresetEffect source;
    fillDistinctPrograms(source, 3);
    std::vector<uint8_t> good = chunkOf(source);
    PresetEffect fx;
    const ProgramBank before = fx.copyStore();
    vst::AEffect* effect = fx.getAeffect();
    // The low 32 bits name the real size; the value as a whole does not fit.
    // Computed in 64 bits so that the 32-bit build, which skips this, compiles it cleanly.
    const auto huge = static_cast<intptr_t>((int64_t{1} << 32) + static_cast<int64_t>(good.size()));
    EXPECT_EQ(effect->dispatcher(effect, vst::effSetChunk, 0, huge, good.data(), 0.0f), -1);
    EXPECT_EQ(effect->dispatcher(effect, vst::effSetChunk, 0, -1, good.data(), 0.0f), -1);
    EXPECT_TRUE(sameStore(before, fx.copyStore()));
}

// The older chunk: tag 1, identifier, program count, current index, four unused
// fields, then per program 24 name bytes and its values.
std::vector<uint8_t> legacyChunk(int32_t programs, int32_t current, int32_t valuesPerProgram,
                                 int badProgram = -1, int badParameter = -1) {
    std::vector<uint8_t> bytes;
    ByteWriter out(bytes);
    out.u32(0x01000000);
    out.i32(0x5A765631);
    out.i32(programs);
    out.i32(current);
    out.zeros(16);
    for (int p = 0; p < programs; ++p) {
        std::vector<float> values;
        for (int j = 0; j < valuesPerProgram; ++j)
            values.push_back(p == badProgram && j == badParameter ? 1.5f : distinctValue(p, j));
        appendLegacyProgram(bytes, "Legacy " + std::to_string(p), values);
    }
    return bytes;
}

TEST_F(Chunk, LegacyChunkLoadsThirtyTwoOfFortyProgramsAndSelectsZeroForIndex35) {
    std::vector<uint8_t> bytes = legacyChunk(40, 35, 36);
    PresetEffect fx;
    fx.selectProgram(7);
    EXPECT_EQ(fx.setChunk(bytes.data(), static_cast<int32_t>(bytes.size()), false), 0);
    EXPECT_EQ(fx.getCurrentProgramIndex(), 0);
    // Selecting program 0 spreads its global values to every program; the
    // per-program values stay as loaded.
    for (int p = 0; p < kNumStoredPrograms; ++p) {
        EXPECT_EQ(nameOf(fx.program(p)), "Legacy " + std::to_string(p));
        for (int j = 0; j < kNumProgramValues; ++j) {
            const float expected = isGlobal(j) ? distinctValue(0, j) : distinctValue(p, j);
            EXPECT_EQ(fx.program(p).values[j], expected) << p << " " << j;
        }
    }
}

TEST_F(Chunk, LegacyChunkWithCurrentIndexInRangeSelectsIt) {
    std::vector<uint8_t> bytes = legacyChunk(32, 9, 36);
    reverseField(bytes, 0);
    reverseField(bytes, 4);
    for (std::size_t offset = 8; offset < 32; offset += 4) reverseField(bytes, offset);
    for (std::size_t at = 32; at < bytes.size(); at += 24 + 36 * 4)
        for (std::size_t v = 24; v < 24 + 36 * 4; v += 4) reverseField(bytes, at + v);
    PresetEffect fx;
    EXPECT_EQ(fx.setChunk(bytes.data(), static_cast<int32_t>(bytes.size()), false), 0);
    EXPECT_EQ(fx.getCurrentProgramIndex(), 9);
    EXPECT_EQ(fx.program(31).values[20], distinctValue(31, 20));
    EXPECT_EQ(fx.getParameter(20), distinctValue(9, 20));
}

TEST_F(Chunk, LegacyChunkWithBadValueStopsWhereItIs) {
    std::vector<uint8_t> bytes = legacyChunk(32, 5, 36, 3, 7);
    PresetEffect fx;
    fillDistinctPrograms(fx, 1);
    const ProgramBank before = fx.copyStore();
    std::vector<float> shown;
    for (int j = 0; j < kNumProgramValues; ++j) shown.push_back(fx.getParameter(j));
    // The template is program 0 as the constructor left it.
    PresetEffect fresh;
    const ProgramRecord templ = fresh.program(0);

    EXPECT_EQ(fx.setChunk(bytes.data(), static_cast<int32_t>(bytes.size()), false), -1);
    for (int p = 0; p < 3; ++p) {
        EXPECT_EQ(nameOf(fx.program(p)), "Legacy " + std::to_string(p));
        for (int j = 0; j < kNumProgramValues; ++j)
            EXPECT_EQ(fx.program(p).values[j], distinctValue(p, j)) << p << " " << j;
    }
    EXPECT_EQ(nameOf(fx.program(3)), "Legacy 3");
    for (int j = 0; j < 7; ++j) EXPECT_EQ(fx.program(3).values[j], distinctValue(3, j)) << j;
    for (int j = 7; j < kNumProgramValues; ++j)
        EXPECT_EQ(bitsOf(fx.program(3).values[j]), bitsOf(templ.values[j])) << j;
    for (int p = 4; p < kNumStoredPrograms; ++p) {
        EXPECT_EQ(nameOf(fx.program(p)), nameOf(before[p]));
        for (int j = 0; j < kNumProgramValues; ++j)
            EXPECT_EQ(bitsOf(fx.program(p).values[j]), bitsOf(before[p].values[j]));
    }
    // Not reselected: program 1 changed in the store, but the parameters still
    // show what they showed before.
    EXPECT_EQ(fx.getCurrentProgramIndex(), 1);
    for (int j = 0; j < kNumProgramValues; ++j) EXPECT_EQ(fx.getParameter(j), shown[j]) << j;
}

TEST_F(Chunk, LegacyChunkWithoutProgramsOrBeyondItsBufferIsRefused) {
    PresetEffect fx;
    fillDistinctPrograms(fx, 2);
    const ProgramBank before = fx.copyStore();
    for (int32_t count : {0, -1, std::numeric_limits<int32_t>::min()}) {
        std::vector<uint8_t> bytes = legacyChunk(1, 0, 36);
        std::memcpy(bytes.data() + 8, &count, 4);
        EXPECT_EQ(fx.setChunk(bytes.data(), static_cast<int32_t>(bytes.size()), false), -1)
            << count;
    }
    // Two programs at a stride of 5300 bytes: the second one's values end past
    // the 5408 bytes the older chunk is read through.
    std::vector<uint8_t> wide = legacyChunk(2, 0, (5300 - 24) / 4);
    ASSERT_EQ(wide.size(), 32u + 2 * 5300);
    EXPECT_EQ(fx.setChunk(wide.data(), static_cast<int32_t>(wide.size()), false), -1);
    // Entries shorter than a name.
    std::vector<uint8_t> cramped = legacyChunk(0, 0, 0);
    const int32_t count = 4;
    std::memcpy(cramped.data() + 8, &count, 4);
    cramped.resize(32 + 4 * 20);
    EXPECT_EQ(fx.setChunk(cramped.data(), static_cast<int32_t>(cramped.size()), false), -1);
    EXPECT_TRUE(sameStore(before, fx.copyStore()));
    EXPECT_EQ(fx.getCurrentProgramIndex(), 2);
}

} // namespace
} // namespace zel::test
