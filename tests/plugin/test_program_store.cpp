// The program store: names as the host gets them, program selection, global
// parameters, the template program.
#include "TestHost.h"

#include "plugin/RotaryEffect.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace zel {
namespace {

using test::resetTestHost;
using test::testHost;
using test::testHostCallback;

// Opens the store to the test and records each setParameter with the loading flag.
class StoreProbe : public RotaryEffect {
public:
    using RotaryEffect::programs;
    using RotaryEffect::RotaryEffect;

    struct Call {
        int32_t index;
        float value;
        bool loading;
    };
    std::vector<Call> calls;

    void setParameter(int32_t index, float value) override {
        calls.push_back({index, value, isLoadingProgram()});
        RotaryEffect::setParameter(index, value);
    }
};

class ProgramStore : public ::testing::Test {
protected:
    void SetUp() override { resetTestHost(); }
    StoreProbe fx{testHostCallback};
};

constexpr char kFill = 0x7F;

TEST_F(ProgramStore, LongNamesKeepTwentyThreeCharacters) {
    char name[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ1234"; // 30 characters
    fx.setProgramName(name);
    EXPECT_EQ(std::string(fx.program(0).name), "ABCDEFGHIJKLMNOPQRSTUVW");
    EXPECT_EQ(fx.program(0).name[23], '\0');

    fx.renameCurrentProgram("abcdefghijklmnopqrstuvwxyz");
    EXPECT_EQ(std::string(fx.program(0).name), "abcdefghijklmnopqrstuvw");

    // A short name replaces all 24 bytes: nothing of the old name remains.
    char shortName[] = "Hi";
    fx.setProgramName(shortName);
    for (int i = 2; i < 24; ++i) EXPECT_EQ(fx.program(0).name[i], '\0') << i;
}

TEST_F(ProgramStore, NamesReachTheHostInTwentyFourBytes) {
    // A name that fills all 24 bytes, as one copied from a file may.
    std::memset(fx.programs[0].name, 'n', 24);
    std::memset(fx.programs[31].name, 'm', 24);
    char text[40];
    std::memset(text, kFill, sizeof text);
    fx.getProgramName(text);
    EXPECT_EQ(std::string(text), std::string(23, 'n'));
    for (std::size_t i = 24; i < sizeof text; ++i) EXPECT_EQ(text[i], kFill) << i;

    std::memset(text, kFill, sizeof text);
    EXPECT_TRUE(fx.getProgramNameIndexed(0, 31, text));
    EXPECT_EQ(std::string(text), std::string(23, 'm'));
    for (std::size_t i = 24; i < sizeof text; ++i) EXPECT_EQ(text[i], kFill) << i;

    vst::AEffect* effect = fx.getAeffect();
    std::memset(text, kFill, sizeof text);
    EXPECT_EQ(effect->dispatcher(effect, vst::effGetProgramNameIndexed, 31, 0, text, 0.0f), 1);
    EXPECT_EQ(std::string(text), std::string(23, 'm'));
    for (int32_t index : {32, -1, 1000}) {
        std::memset(text, kFill, sizeof text);
        EXPECT_EQ(effect->dispatcher(effect, vst::effGetProgramNameIndexed, index, 0, text, 0.0f),
                  0);
        EXPECT_EQ(text[0], kFill);
    }
}

TEST_F(ProgramStore, HostProgramNameIsTheEditorsCurrentProgram) {
    std::strcpy(fx.programs[3].name, "Rotary Hall");
    fx.selectProgram(3);
    vst::AEffect* effect = fx.getAeffect();
    EXPECT_EQ(effect->dispatcher(effect, vst::effSetProgram, 0, 5, nullptr, 0.0f), 0);
    EXPECT_EQ(effect->dispatcher(effect, vst::effGetProgram, 0, 0, nullptr, 0.0f), 0);
    char text[32] = {};
    effect->dispatcher(effect, vst::effGetProgramName, 0, 0, text, 0.0f);
    EXPECT_STREQ(text, "Rotary Hall");
    EXPECT_EQ(fx.getCurrentProgramIndex(), 3);
}

TEST_F(ProgramStore, SelectingAProgramPushesItsValues) {
    for (int i = 0; i < 36; ++i) fx.programs[5].values[i] = static_cast<float>(i) / 64.0f;
    fx.programs[5].values[7] = 1.5f; // out of range: skipped
    fx.programs[5].values[8] = -0.25f;
    fx.programs[5].values[9] = NAN;
    fx.setParameter(7, 0.75f);
    fx.setParameter(8, 0.5f);
    fx.setParameter(9, 0.25f);
    fx.calls.clear();
    testHost.calls.clear();

    fx.selectProgram(5);

    EXPECT_EQ(fx.getCurrentProgramIndex(), 5);
    // Some values set tuning indices in turn ("Size", "HDistance"); the host set
    // itself is pushed once per index.
    int hostSetCalls = 0;
    for (const StoreProbe::Call& call : fx.calls) {
        EXPECT_TRUE(call.loading) << call.index;
        if (call.index >= 36) continue;
        ++hostSetCalls;
        EXPECT_EQ(call.value, static_cast<float>(call.index) / 64.0f);
    }
    EXPECT_EQ(hostSetCalls, 33);
    EXPECT_FALSE(fx.isLoadingProgram());
    for (int i = 0; i < 36; ++i) {
        const float expected = i == 7 ? 0.75f : i == 8 ? 0.5f : i == 9 ? 0.25f : i / 64.0f;
        EXPECT_EQ(fx.getParameter(i), expected) << i;
    }
    // The skipped values stay as they are in the program.
    EXPECT_EQ(fx.program(5).values[7], 1.5f);
    // The host is told: display update, then an edit of parameter 0 (after the
    // automation of the room size values that "Size" sets).
    std::erase_if(testHost.calls, [](const test::HostCall& call) {
        return call.opcode == vst::audioMasterAutomate;
    });
    ASSERT_EQ(testHost.calls.size(), 3u);
    EXPECT_EQ(testHost.calls[0].opcode, vst::audioMasterUpdateDisplay);
    EXPECT_EQ(testHost.calls[1].opcode, vst::audioMasterBeginEdit);
    EXPECT_EQ(testHost.calls[1].index, 0);
    EXPECT_EQ(testHost.calls[2].opcode, vst::audioMasterEndEdit);
    EXPECT_EQ(testHost.calls[2].index, 0);

    // Indices outside the store select nothing.
    for (int32_t index : {-1, 32}) {
        fx.selectProgram(index);
        EXPECT_EQ(fx.getCurrentProgramIndex(), 5);
    }
}

// Every stored value of every program, to see what a change touched.
std::vector<float> storedValues(const StoreProbe& fx) {
    std::vector<float> values;
    for (int p = 0; p < 32; ++p)
        for (int i = 0; i < 36; ++i) values.push_back(fx.program(p).values[i]);
    return values;
}

TEST_F(ProgramStore, ValuesGoIntoTheCurrentProgramOnly) {
    fx.selectProgram(2);
    std::vector<float> expected = storedValues(fx);
    fx.setParameter(12, 0.625f);
    expected[2 * 36 + 12] = 0.625f;
    EXPECT_EQ(storedValues(fx), expected);
    // Tuning-set indices are kept by the effect but not stored in programs.
    fx.setParameter(40, 0.3f);
    EXPECT_EQ(fx.getParameter(40), 0.3f);
    EXPECT_EQ(storedValues(fx), expected);
}

TEST_F(ProgramStore, GlobalParametersGoIntoAllPrograms) {
    fx.selectProgram(7);
    for (int32_t index : {0, 1, 2, 3, 4, 35}) {
        const float value = 0.125f * static_cast<float>(index % 7 + 1);
        fx.setParameter(index, value);
        for (int p = 0; p < 32; ++p)
            EXPECT_EQ(fx.program(p).values[index], value) << index << "/" << p;
    }
    std::vector<float> expected = storedValues(fx);
    fx.setParameter(5, 0.9f); // a per-program parameter
    expected[7 * 36 + 5] = 0.9f;
    EXPECT_EQ(storedValues(fx), expected);
}

TEST_F(ProgramStore, TemplateProgramResetsAProgram) {
    std::strcpy(fx.programs[0].name, "Init");
    fx.programs[0].values[6] = 0.5f;
    fx.captureTemplateProgram();
    std::strcpy(fx.programs[9].name, "Changed");
    fx.programs[9].values[6] = 0.1f;
    fx.programs[9].values[20] = 0.2f;
    fx.resetProgramToTemplate(9);
    EXPECT_STREQ(fx.program(9).name, "Init");
    EXPECT_EQ(fx.program(9).values[6], 0.5f);
    EXPECT_EQ(fx.program(9).values[20], fx.program(0).values[20].load());
    fx.resetProgramToTemplate(32); // ignored
    fx.resetProgramToTemplate(-1);
}

TEST_F(ProgramStore, IdentityAndStoredParameterSet) {
    EXPECT_EQ(fx.getPresetSystemId(), 0x5A765631);
    for (int32_t index : {-1, 36, 119, 120}) {
        EXPECT_TRUE(fx.isParameterNotSaved(index)) << index;
        EXPECT_TRUE(fx.isParameterNotLoaded(index)) << index;
    }
    for (int32_t index : {0, 17, 35}) {
        EXPECT_FALSE(fx.isParameterNotSaved(index)) << index;
        EXPECT_FALSE(fx.isParameterNotLoaded(index)) << index;
    }
}

// The constructor's spare values (0.5, 0.5, 1.0, 0.5) give way to program 0's.
TEST_F(ProgramStore, SpareParametersHoldProgramZerosValues) {
    for (int32_t index : {31, 32, 33, 34})
        EXPECT_EQ(fx.getParameter(index), fx.program(0).values[index].load()) << index;
}

TEST_F(ProgramStore, RenameTellsTheHost) {
    testHost.calls.clear();
    const std::string before = fx.program(0).name;
    fx.renameCurrentProgram(nullptr);
    EXPECT_EQ(testHost.count(vst::audioMasterUpdateDisplay), 1);
    EXPECT_EQ(std::string(fx.program(0).name), before);
}

} // namespace
} // namespace zel
