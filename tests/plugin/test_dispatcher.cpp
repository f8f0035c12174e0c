// The answers the host gets through the effect record and its dispatcher.
#include "TestHost.h"

#include "plugin/EffectFactory.h"
#include "plugin/RotaryEffect.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>

namespace zel {
namespace {

using test::resetTestHost;
using test::testHost;
using test::testHostCallback;

class Dispatcher : public ::testing::Test {
protected:
    void SetUp() override {
        resetTestHost();
        effect = createEffectRecord(testHostCallback);
        ASSERT_NE(effect, nullptr);
    }
    void TearDown() override {
        if (effect != nullptr) {
            EXPECT_EQ(dispatch(vst::effClose), 1);
        }
    }
    intptr_t dispatch(int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr,
                      float opt = 0.0f) {
        return effect->dispatcher(effect, opcode, index, value, ptr, opt);
    }
    RotaryEffect& object() { return *static_cast<RotaryEffect*>(AudioEffect::fromRecord(effect)); }

    vst::AEffect* effect = nullptr;
};

TEST_F(Dispatcher, EffectRecordDescribesThePlugIn) {
    EXPECT_EQ(effect->magic, 0x56737450);
    EXPECT_EQ(effect->uniqueID, 0x5A765631); // 'ZvV1', first character most significant
    EXPECT_EQ(effect->version, 1);
    EXPECT_EQ(effect->numPrograms, 1);
    EXPECT_EQ(effect->numParams, 36);
    EXPECT_EQ(effect->numInputs, 2);
    EXPECT_EQ(effect->numOutputs, 2);
    // Editor present, replacing, chunks and double replacing.
    EXPECT_EQ(effect->flags, 0x1 | 0x10 | 0x20 | 0x1000);
    EXPECT_EQ(effect->initialDelay, 0);
    EXPECT_EQ(effect->realQualities, 0);
    EXPECT_EQ(effect->offQualities, 0);
    EXPECT_EQ(effect->ioRatio, 1.0f);
    EXPECT_EQ(effect->user, nullptr);
    EXPECT_NE(effect->object, nullptr);
    EXPECT_NE(effect->process, nullptr);
    EXPECT_NE(effect->processReplacing, nullptr);
    EXPECT_NE(effect->processDoubleReplacing, nullptr);
    EXPECT_NE(effect->setParameter, nullptr);
    EXPECT_NE(effect->getParameter, nullptr);
    for (char byte : effect->future) EXPECT_EQ(byte, 0);
    EXPECT_EQ(effect->resvd1, 0);
    EXPECT_EQ(effect->resvd2, 0);
}

struct FixedAnswer {
    int32_t opcode;
    int32_t index;
    intptr_t value;
    intptr_t expected;
};

TEST_F(Dispatcher, OpcodesWithFixedAnswers) {
    const FixedAnswer answers[] = {
        {vst::effOpen, 0, 0, 0},
        {vst::effSetProgram, 0, 0, 0},
        {vst::effGetProgram, 0, 0, 0},
        {vst::effSetSampleRate, 0, 0, 0},
        {vst::effSetBlockSize, 0, 512, 0},
        {vst::effMainsChanged, 0, 0, 0},
        {vst::effMainsChanged, 0, 1, 0},
        {vst::effEditOpen, 0, 0, 0},
        {vst::effEditClose, 0, 0, 0},
        {vst::effEditIdle, 0, 0, 0},
        {vst::effIdentify, 0, 0, 0x4E764566},
        {vst::effCanBeAutomated, 0, 0, 1},
        {vst::effCanBeAutomated, 35, 0, 1},
        {vst::effCanBeAutomated, 36, 0, 0},
        {vst::effCanBeAutomated, -1, 0, 0},
        {vst::effString2Parameter, 0, 0, 0},
        {vst::effGetPlugCategory, 0, 0, 1},
        {vst::effOfflineNotify, 0, 0, 0},
        {vst::effOfflinePrepare, 0, 0, 0},
        {vst::effOfflineRun, 0, 0, 0},
        {vst::effProcessVarIo, 0, 0, 0},
        {vst::effSetBypass, 0, 1, 0},
        {vst::effGetVendorVersion, 0, 0, 1010},
        {vst::effVendorSpecific, 0, 0, 0},
        {vst::effGetTailSize, 0, 0, 0},
        {vst::effGetVstVersion, 0, 0, 2400},
        {vst::effEditKeyDown, 'a', 0, 0},
        {vst::effEditKeyUp, 'a', 0, 0},
        {vst::effSetEditKnobMode, 0, 2, 0},
        {vst::effGetMidiProgramName, 0, 0, 0},
        {vst::effGetCurrentMidiProgram, 0, 0, -1},
        {vst::effGetMidiProgramCategory, 0, 0, 0},
        {vst::effHasMidiProgramsChanged, 0, 0, 0},
        {vst::effGetMidiKeyName, 0, 0, 0},
        {vst::effBeginSetProgram, 0, 0, 0},
        {vst::effEndSetProgram, 0, 0, 0},
        {vst::effShellGetNextPlugin, 0, 0, 0},
        {vst::effStartProcess, 0, 0, 0},
        {vst::effStopProcess, 0, 0, 0},
        {vst::effSetTotalSampleToProcess, 0, 123456, 123456},
        {vst::effSetPanLaw, 0, 0, 0},
        {vst::effBeginLoadBank, 0, 0, 0},
        {vst::effBeginLoadProgram, 0, 0, 0},
        {vst::effSetProcessPrecision, 0, 1, 0},
        {vst::effGetNumMidiInputChannels, 0, 0, 1},
        {vst::effGetNumMidiOutputChannels, 0, 0, 0},
        // Opcodes outside the table.
        {9, 0, 0, 0},
        {16, 0, 0, 0},
        {17, 0, 0, 0},
        {18, 0, 0, 0},
        {20, 0, 0, 0},
        {21, 0, 0, 0},
        {28, 0, 0, 0},
        {30, 0, 0, 0},
        {31, 0, 0, 0},
        {32, 0, 0, 0},
        {36, 0, 0, 0},
        {37, 0, 0, 0},
        {43, 0, 0, 0},
        {46, 0, 0, 0},
        {53, 0, 0, 0},
        {54, 0, 0, 0},
        {55, 0, 0, 0},
        {57, 0, 0, 0},
        {80, 0, 0, 0},
        {1000, 0, 0, 0},
        {-1, 0, 0, 0},
    };
    for (const FixedAnswer& answer : answers)
        EXPECT_EQ(dispatch(answer.opcode, answer.index, answer.value), answer.expected)
            << "opcode " << answer.opcode << " index " << answer.index;
}

TEST_F(Dispatcher, RequestsNeedingABufferAnswerZeroWithoutOne) {
    for (int32_t opcode :
         {vst::effGetProgramNameIndexed, vst::effGetInputProperties, vst::effGetOutputProperties,
          vst::effGetEffectName, vst::effGetVendorString, vst::effGetProductString, vst::effCanDo,
          vst::effGetParameterProperties, vst::effEditGetRect, vst::effGetChunk})
        EXPECT_EQ(dispatch(opcode), 0) << "opcode " << opcode;
    // A missing event list is refused, as processEvents refuses it.
    EXPECT_EQ(dispatch(vst::effProcessEvents), -1);
    vst::VstEvents empty{};
    EXPECT_EQ(dispatch(vst::effProcessEvents, 0, 0, &empty), 1);
    // Text requests without a buffer are ignored rather than crashing.
    for (int32_t opcode : {vst::effGetProgramName, vst::effSetProgramName, vst::effGetParamLabel,
                           vst::effGetParamDisplay, vst::effGetParamName})
        EXPECT_EQ(dispatch(opcode), 0) << "opcode " << opcode;
}

TEST_F(Dispatcher, NamesVendorAndProduct) {
    char text[128];
    std::memset(text, 'x', sizeof text);
    EXPECT_EQ(dispatch(vst::effGetEffectName, 0, 0, text), 1);
    EXPECT_STREQ(text, "Zel Vortan");
    std::memset(text, 'x', sizeof text);
    EXPECT_EQ(dispatch(vst::effGetProductString, 0, 0, text), 1);
    EXPECT_STREQ(text, "Zel Vortan - rotary speaker emulator");
    std::memset(text, 'x', sizeof text);
    EXPECT_EQ(dispatch(vst::effGetVendorString, 0, 0, text), 1);
    EXPECT_STREQ(text, "tarnwick.com");
}

TEST_F(Dispatcher, CapabilitiesAreMatchedExactly) {
    for (const char* text :
         {"offline", "plugAsChannelInsert", "1in1out", "1in2out", "2in2out", "receiveVstMidiEvent"})
        EXPECT_EQ(dispatch(vst::effCanDo, 0, 0, const_cast<char*>(text)), 1) << text;
    // Near misses, other standard capabilities and empty text: 0, never -1.
    for (const char* text :
         {"1in2out ", "2in1out", "1in2ou", "2in2outX", "Offline", "offline\n", "", "2in4out",
          "receiveVstEvents", "sendVstMidiEvent", "bypass", "plugAsSend", "midiProgramNames"})
        EXPECT_EQ(dispatch(vst::effCanDo, 0, 0, const_cast<char*>(text)), 0) << '"' << text << '"';
}

TEST_F(Dispatcher, PinPropertiesLabelAndFlagsOnly) {
    for (int32_t opcode : {vst::effGetInputProperties, vst::effGetOutputProperties}) {
        const std::string suffix = opcode == vst::effGetInputProperties ? " In" : " Out";
        for (int32_t pin = 0; pin < 2; ++pin) {
            vst::VstPinProperties properties;
            std::memset(&properties, 0x5A, sizeof properties);
            properties.label[sizeof properties.label - 1] = '\0';
            ASSERT_EQ(dispatch(opcode, pin, 0, &properties), 1);
            // Appended piece by piece: GCC 12's 32-bit build warns about
            // "text" + std::string as an overlapping copy, which it is not.
            std::string expected = "Zel Vortan ";
            expected += std::to_string(pin + 1);
            expected += suffix;
            EXPECT_EQ(std::string(properties.label), expected);
            EXPECT_EQ(properties.flags, 0x3);
            // The arrangement type and short label stay as the host gave them.
            EXPECT_EQ(properties.arrangementType, 0x5A5A5A5A);
            for (char byte : properties.shortLabel) EXPECT_EQ(byte, 0x5A);
        }
        for (int32_t pin : {2, -1, 100}) {
            vst::VstPinProperties properties;
            std::memset(&properties, 0x5A, sizeof properties);
            EXPECT_EQ(dispatch(opcode, pin, 0, &properties), 0);
            EXPECT_EQ(properties.flags, 0x5A5A5A5A); // untouched
        }
    }
}

vst::VstSpeakerArrangement arrangementOf(int32_t channels) {
    vst::VstSpeakerArrangement arrangement{};
    arrangement.type = channels == 1 ? vst::kSpeakerArrMono : vst::kSpeakerArrUserDefined;
    arrangement.numChannels = channels;
    return arrangement;
}

TEST_F(Dispatcher, SpeakerArrangementsOfOneOrTwoChannelsAreAccepted) {
    for (int32_t inputs : {1, 2})
        for (int32_t outputs : {1, 2}) {
            // Start from the other configuration so each flag has to change.
            vst::VstSpeakerArrangement otherIn = arrangementOf(3 - inputs);
            vst::VstSpeakerArrangement otherOut = arrangementOf(3 - outputs);
            dispatch(vst::effSetSpeakerArrangement, 0, reinterpret_cast<intptr_t>(&otherIn),
                     &otherOut);
            vst::VstSpeakerArrangement in = arrangementOf(inputs);
            vst::VstSpeakerArrangement out = arrangementOf(outputs);
            EXPECT_EQ(
                dispatch(vst::effSetSpeakerArrangement, 0, reinterpret_cast<intptr_t>(&in), &out),
                1);
            EXPECT_EQ(object().isStereoInput(), inputs == 2);
            EXPECT_EQ(object().isStereoOutput(), outputs == 2);
        }
}

TEST_F(Dispatcher, OtherSpeakerArrangementsAreRefusedAndLeaveStereo) {
    const int32_t refused[][2] = {{2, 6}, {6, 2}, {0, 2}, {2, 0}, {-1, 1}, {3, 3}};
    for (const auto& pair : refused) {
        vst::VstSpeakerArrangement mono = arrangementOf(1);
        dispatch(vst::effSetSpeakerArrangement, 0, reinterpret_cast<intptr_t>(&mono), &mono);
        ASSERT_FALSE(object().isStereoInput());
        vst::VstSpeakerArrangement in = arrangementOf(pair[0]);
        vst::VstSpeakerArrangement out = arrangementOf(pair[1]);
        EXPECT_EQ(dispatch(vst::effSetSpeakerArrangement, 0, reinterpret_cast<intptr_t>(&in), &out),
                  0);
        EXPECT_TRUE(object().isStereoInput());
        EXPECT_TRUE(object().isStereoOutput());
    }
    vst::VstSpeakerArrangement mono = arrangementOf(1);
    EXPECT_EQ(dispatch(vst::effSetSpeakerArrangement, 0, 0, &mono), 0);
    EXPECT_EQ(dispatch(vst::effSetSpeakerArrangement, 0, reinterpret_cast<intptr_t>(&mono)), 0);
    EXPECT_EQ(dispatch(vst::effSetSpeakerArrangement), 0);
    EXPECT_TRUE(object().isStereoInput());
    EXPECT_TRUE(object().isStereoOutput());
}

TEST_F(Dispatcher, GetSpeakerArrangementClearsBothPointers) {
    vst::VstSpeakerArrangement dummy{};
    vst::VstSpeakerArrangement* in = &dummy;
    vst::VstSpeakerArrangement* out = &dummy;
    EXPECT_EQ(dispatch(vst::effGetSpeakerArrangement, 0, reinterpret_cast<intptr_t>(&in), &out), 0);
    EXPECT_EQ(in, nullptr);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(dispatch(vst::effGetSpeakerArrangement), 0); // no pointers: nothing to clear
}

TEST_F(Dispatcher, SampleRateAndBlockSizeAreStored) {
    EXPECT_EQ(object().getSampleRate(), 44100.0f);
    EXPECT_EQ(object().getBlockSize(), 1024);
    dispatch(vst::effSetSampleRate, 0, 0, nullptr, 96000.0f);
    dispatch(vst::effSetBlockSize, 0, 64);
    EXPECT_EQ(object().getSampleRate(), 96000.0f);
    EXPECT_EQ(object().getBlockSize(), 64);
    // A rate that cannot be used leaves the last good one.
    for (float bad : {0.0f, -48000.0f, NAN, INFINITY}) {
        dispatch(vst::effSetSampleRate, 0, 0, nullptr, bad);
        EXPECT_EQ(object().getSampleRate(), 96000.0f) << bad;
    }
}

TEST_F(Dispatcher, HostProgramStaysZero) {
    char name[32] = "Cathedral";
    dispatch(vst::effSetProgramName, 0, 0, name);
    for (intptr_t program : {0, 5, -3}) {
        EXPECT_EQ(dispatch(vst::effSetProgram, 0, program), 0);
        EXPECT_EQ(dispatch(vst::effGetProgram), 0);
        char text[32] = {};
        dispatch(vst::effGetProgramName, 0, 0, text);
        EXPECT_STREQ(text, "Cathedral");
        EXPECT_EQ(object().getCurrentProgramIndex(), 0);
    }
}

TEST_F(Dispatcher, ParameterEntriesReachTheEffect) {
    effect->setParameter(effect, 7, 0.25f);
    EXPECT_EQ(effect->getParameter(effect, 7), 0.25f);
    EXPECT_EQ(object().getParameter(7), 0.25f);
    vst::VstParameterProperties properties{};
    EXPECT_EQ(dispatch(vst::effGetParameterProperties, 3, 0, &properties), 1);
}

TEST_F(Dispatcher, DeprecatedProcessCallLeavesTheOutputAlone) {
    float in[4] = {1, 2, 3, 4};
    float out[4] = {9, 9, 9, 9};
    float* inputs[2] = {in, in};
    float* outputs[2] = {out, out};
    effect->process(effect, inputs, outputs, 4);
    for (float x : out) EXPECT_EQ(x, 9.0f);
}

TEST_F(Dispatcher, MainsChangedSwitchesSuspendAndResume) {
    // A resume snaps the bypass level to its target at the next block.
    effect->setParameter(effect, 0, 1.0f);
    dispatch(vst::effMainsChanged, 0, 1);
    effect->processReplacing(effect, nullptr, nullptr, 0);
    EXPECT_EQ(object().getBypassLevel(), 1.0);
    effect->setParameter(effect, 0, 0.0f);
    dispatch(vst::effMainsChanged, 0, 0); // suspend: no snap
    effect->processReplacing(effect, nullptr, nullptr, 0);
    EXPECT_EQ(object().getBypassLevel(), 1.0);
}

// An editor that records what reaches it and answers as told.
class RecordingEditor : public AEffEditor {
public:
    bool answer = true;
    vst::ERect rect{0, 0, 570, 401};
    void* parent = nullptr;
    int opened = 0, closed = 0, idled = 0;
    VstKeyCode lastKeyDown, lastKeyUp;
    int32_t knobMode = -1;

    bool getRect(vst::ERect** out) override {
        *out = &rect;
        return answer;
    }
    bool open(void* window) override {
        parent = window;
        ++opened;
        return answer;
    }
    void close() override { ++closed; }
    void idle() override { ++idled; }
    bool onKeyDown(VstKeyCode& key) override {
        lastKeyDown = key;
        return answer;
    }
    bool onKeyUp(VstKeyCode& key) override {
        lastKeyUp = key;
        return answer;
    }
    bool setKnobMode(int32_t mode) override {
        knobMode = mode;
        return answer;
    }
};

TEST_F(Dispatcher, EditorRequestsReachAnAttachedEditor) {
    auto owned = std::make_unique<RecordingEditor>();
    RecordingEditor& editor = *owned;
    object().setEditor(std::move(owned));
    EXPECT_EQ(effect->flags & vst::effFlagsHasEditor, vst::effFlagsHasEditor);

    vst::ERect* rect = nullptr;
    EXPECT_EQ(dispatch(vst::effEditGetRect, 0, 0, &rect), 1);
    ASSERT_EQ(rect, &editor.rect);
    int window = 0;
    EXPECT_EQ(dispatch(vst::effEditOpen, 0, 0, &window), 1);
    EXPECT_EQ(editor.parent, &window);
    EXPECT_EQ(dispatch(vst::effEditIdle), 0);
    EXPECT_EQ(editor.idled, 1);
    EXPECT_EQ(dispatch(vst::effEditKeyDown, 'q', 0x21, nullptr, 3.0f), 1);
    EXPECT_EQ(editor.lastKeyDown.character, 'q');
    EXPECT_EQ(editor.lastKeyDown.virt, 0x21);
    EXPECT_EQ(editor.lastKeyDown.modifier, 3);
    EXPECT_EQ(dispatch(vst::effEditKeyUp, 'w', 0x22, nullptr, 1.0f), 1);
    EXPECT_EQ(editor.lastKeyUp.character, 'w');
    EXPECT_EQ(editor.lastKeyUp.virt, 0x22);
    EXPECT_EQ(editor.lastKeyUp.modifier, 1);
    EXPECT_EQ(dispatch(vst::effSetEditKnobMode, 0, 2), 1);
    EXPECT_EQ(editor.knobMode, 2);
    EXPECT_EQ(dispatch(vst::effEditClose), 0);
    EXPECT_EQ(editor.closed, 1);

    // The editor's own "no" is passed on.
    editor.answer = false;
    EXPECT_EQ(dispatch(vst::effEditOpen, 0, 0, &window), 0);
    EXPECT_EQ(dispatch(vst::effEditGetRect, 0, 0, &rect), 0);
    EXPECT_EQ(dispatch(vst::effEditKeyDown, 'q'), 0);
    EXPECT_EQ(dispatch(vst::effSetEditKnobMode, 0, 1), 0);

    object().setEditor(nullptr);
    EXPECT_EQ(effect->flags & vst::effFlagsHasEditor, 0);
    EXPECT_EQ(dispatch(vst::effEditOpen, 0, 0, &window), 0);
}

TEST(EntryPoint, VersionQueriesDecideWhetherAnInstanceIsMade) {
    resetTestHost();
    testHost.versionAnswer = 0;
    EXPECT_EQ(createEffectRecord(testHostCallback), nullptr);
    EXPECT_EQ(testHost.count(vst::audioMasterVersion), 1);
    EXPECT_EQ(testHost.calls.at(0).effect, nullptr);

    // The creation step asks again and gives up on a 0 as well.
    resetTestHost();
    testHost.laterVersionAnswer = 0;
    EXPECT_EQ(createEffectRecord(testHostCallback), nullptr);
    EXPECT_EQ(testHost.count(vst::audioMasterVersion), 2);

    EXPECT_EQ(createEffectRecord(nullptr), nullptr);

    resetTestHost();
    vst::AEffect* effect = createEffectRecord(testHostCallback);
    ASSERT_NE(effect, nullptr);
    EXPECT_EQ(testHost.count(vst::audioMasterVersion), 2);
    EXPECT_EQ(effect->dispatcher(effect, vst::effClose, 0, 0, nullptr, 0.0f), 1);
}

TEST(HostCallbacks, WithoutAHostEveryWrapperAnswersOnItsOwn) {
    RotaryEffect fx(nullptr);
    EXPECT_EQ(fx.getMasterVersion(), 1);
    EXPECT_TRUE(fx.isInputConnected(1));
    EXPECT_TRUE(fx.isOutputConnected(1));
    EXPECT_FALSE(fx.updateDisplay());
    EXPECT_FALSE(fx.beginEdit(0));
    EXPECT_FALSE(fx.endEdit(0));
    fx.setParameterAutomated(6, 0.75f);
    EXPECT_EQ(fx.getParameter(6), 0.75f);
    // Processing asks for the pins without a host too (bypassed: the output is the input).
    fx.setParameter(0, 1.0f);
    fx.resume();
    double in[2] = {0.5, -0.5};
    double out[2] = {};
    double* inputs[2] = {in, in};
    double* outputs[2] = {out, out};
    fx.processDoubleReplacing(inputs, outputs, 2);
    EXPECT_EQ(out[0], 0.5);
}

TEST(HostCallbacks, WrappersPassTheirArguments) {
    resetTestHost();
    testHost.inputPin1Answer = 1;
    RotaryEffect fx(testHostCallback);
    testHost.calls.clear();

    EXPECT_EQ(fx.getMasterVersion(), 2400);
    EXPECT_FALSE(fx.isInputConnected(1)); // the host answered 1: not connected
    EXPECT_TRUE(fx.isOutputConnected(1));
    EXPECT_EQ(testHost.count(vst::audioMasterPinConnected, 1, 0), 1);
    EXPECT_EQ(testHost.count(vst::audioMasterPinConnected, 1, 1), 1);
    fx.updateDisplay();
    fx.beginEdit(5);
    fx.endEdit(5);
    EXPECT_EQ(testHost.count(vst::audioMasterUpdateDisplay), 1);
    EXPECT_EQ(testHost.count(vst::audioMasterBeginEdit, 5, 0), 1);
    EXPECT_EQ(testHost.count(vst::audioMasterEndEdit, 5, 0), 1);
    for (const test::HostCall& call : testHost.calls) EXPECT_EQ(call.effect, fx.getAeffect());
}

TEST(HostCallbacks, AutomationAppliesTheValueBeforeReportingIt) {
    resetTestHost();
    RotaryEffect fx(testHostCallback);
    testHost.calls.clear();
    fx.setParameterAutomated(9, 0.125f);
    ASSERT_EQ(testHost.count(vst::audioMasterAutomate), 1);
    const test::HostCall& call = testHost.calls.back();
    EXPECT_EQ(call.opcode, vst::audioMasterAutomate);
    EXPECT_EQ(call.index, 9);
    EXPECT_EQ(call.opt, 0.125f);
    EXPECT_EQ(call.parameterAtCall, 0.125f);
}

} // namespace
} // namespace zel
