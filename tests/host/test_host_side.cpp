// The host callback's answers and the MIDI event list, without a plug-in.
#include "host/HostCallback.h"
#include "host/MidiEventList.h"
#include "host/Progress.h"

#include <cstddef>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <thread>

namespace zel::vortan {
namespace {

intptr_t call(vst::AEffect* effect, int32_t opcode, int32_t index = 0, intptr_t value = 0,
              void* ptr = nullptr, float opt = 0.0f) {
    return hostCallback(effect, opcode, index, value, ptr, opt);
}

TEST(HostCallback, AnswersVersionNamesAndCapabilities) {
    EXPECT_EQ(call(nullptr, vst::audioMasterVersion), 2400);
    HostState state;
    HostBinding binding(state);
    char text[vst::kVstMaxVendorStrLen];
    std::memset(text, 'x', sizeof text);
    EXPECT_EQ(call(nullptr, vst::audioMasterGetVendorString, 0, 0, text), 1);
    EXPECT_STREQ(text, "Zel Vortan project");
    EXPECT_EQ(call(nullptr, vst::audioMasterGetProductString, 0, 0, text), 1);
    EXPECT_STREQ(text, "vortan");
    EXPECT_EQ(call(nullptr, vst::audioMasterGetVendorString), 0); // no buffer
    EXPECT_EQ(call(nullptr, vst::audioMasterGetVendorVersion), kHostVendorVersion);
    for (const char* yes :
         {"sendVstEvents", "sendVstMidiEvent", "sendVstTimeInfo", "startStopProcess"}) {
        EXPECT_EQ(call(nullptr, vst::audioMasterCanDo, 0, 0, const_cast<char*>(yes)), 1) << yes;
    }
    for (const char* no : {"sizeWindow", "receiveVstMidiEvent", "openFileSelector", "offline",
                           "sendVstEvents ", ""}) {
        EXPECT_EQ(call(nullptr, vst::audioMasterCanDo, 0, 0, const_cast<char*>(no)), 0) << no;
    }
    EXPECT_EQ(call(nullptr, vst::audioMasterCanDo), 0);
    // An unterminated capability text is read no further than 256 bytes.
    std::string longText(300, 's');
    EXPECT_EQ(call(nullptr, vst::audioMasterCanDo, 0, 0, longText.data()), 0);
    EXPECT_EQ(call(nullptr, vst::audioMasterWantMidi), 0);
    EXPECT_EQ(call(nullptr, 9999), 0);
}

TEST(HostCallback, ReportsRatePinsLevelAndTransportFromItsState) {
    HostState state;
    HostBinding binding(state);
    vst::AEffect effect{};
    binding.attach(&effect);
    state.sampleRate = 48000.0;
    state.blockSize = 128;
    state.connectedInputs = 1;
    state.connectedOutputs = 2;
    EXPECT_EQ(call(&effect, vst::audioMasterGetSampleRate), 48000);
    EXPECT_EQ(call(&effect, vst::audioMasterGetBlockSize), 128);
    // 0 means connected: input pin 0 only, output pins 0 and 1.
    EXPECT_EQ(call(&effect, vst::audioMasterPinConnected, 0, 0), 0);
    EXPECT_EQ(call(&effect, vst::audioMasterPinConnected, 1, 0), 1);
    EXPECT_EQ(call(&effect, vst::audioMasterPinConnected, 1, 1), 0);
    EXPECT_EQ(call(&effect, vst::audioMasterPinConnected, 2, 1), 1);
    EXPECT_EQ(call(&effect, vst::audioMasterPinConnected, -1, 1), 1);
    EXPECT_EQ(call(&effect, vst::audioMasterGetCurrentProcessLevel), vst::kVstProcessLevelUser);
    state.processing = true;
    state.samplePosition = 96000; // 2 s = 4 beats at 120 bpm
    EXPECT_EQ(call(&effect, vst::audioMasterGetCurrentProcessLevel), vst::kVstProcessLevelOffline);
    const auto* time =
        reinterpret_cast<const vst::VstTimeInfo*>(call(&effect, vst::audioMasterGetTime));
    ASSERT_NE(time, nullptr);
    EXPECT_EQ(time->samplePos, 96000.0);
    EXPECT_EQ(time->sampleRate, 48000.0);
    EXPECT_EQ(time->tempo, 120.0);
    EXPECT_EQ(time->ppqPos, 4.0); // exact: 96000 / 48000 * 2
    EXPECT_EQ(time->barStartPos, 4.0);
    EXPECT_EQ(time->timeSigNumerator, 4);
    EXPECT_NE(time->flags & vst::kVstTransportPlaying, 0);
    EXPECT_NE(time->flags & vst::kVstPpqPosValid, 0);
}

TEST(HostCallback, RecordsThePluginsReports) {
    HostState state;
    HostBinding binding(state);
    vst::AEffect effect{};
    // Before attach (as from inside the entry point) calls reach the newest binding.
    call(&effect, vst::audioMasterAutomate, 2, 0, nullptr, 0.25f);
    binding.attach(&effect);
    call(&effect, vst::audioMasterAutomate, 2, 0, nullptr, 1.0f);
    call(&effect, vst::audioMasterAutomate, 5, 0, nullptr, 0.5f);
    EXPECT_EQ(call(&effect, vst::audioMasterBeginEdit, 2), 1);
    EXPECT_EQ(call(&effect, vst::audioMasterEndEdit, 2), 1);
    EXPECT_EQ(call(&effect, vst::audioMasterUpdateDisplay), 1);
    EXPECT_EQ(call(&effect, vst::audioMasterIdle), 0);
    EXPECT_EQ(state.automateCount, 3);
    EXPECT_EQ(state.automated.size(), 2u);
    EXPECT_EQ(state.automated.at(2), 1.0f);
    EXPECT_EQ(state.automated.at(5), 0.5f);
    EXPECT_EQ(state.beginEditCount, 1);
    EXPECT_EQ(state.endEditCount, 1);
    EXPECT_EQ(state.updateDisplayCount, 1);
    EXPECT_EQ(state.idleCount, 1);
}

TEST(HostCallback, LiveAutomationTakesReportsFromTwoThreads) {
    HostState state;
    HostBinding binding(state);
    vst::AEffect effect{};
    binding.attach(&effect);
    LiveAutomation live(4);
    state.live = &live;
    state.realtime = true;
    // Indices 0 and 2 from one thread, 2 and 3 from another; -1 and 4 lie outside.
    std::thread audio([&] {
        state.processing = true;
        EXPECT_EQ(call(&effect, vst::audioMasterGetCurrentProcessLevel),
                  vst::kVstProcessLevelRealtime);
        for (int i = 0; i < 1000; ++i)
            call(&effect, vst::audioMasterAutomate, 0, 0, nullptr, 0.25f);
        call(&effect, vst::audioMasterAutomate, 2, 0, nullptr, 0.5f);
        state.processing = false;
    });
    for (int i = 0; i < 1000; ++i) call(&effect, vst::audioMasterAutomate, 3, 0, nullptr, 0.75f);
    audio.join();
    call(&effect, vst::audioMasterAutomate, 2, 0, nullptr, 1.0f);
    call(&effect, vst::audioMasterAutomate, -1, 0, nullptr, 1.0f);
    call(&effect, vst::audioMasterAutomate, 4, 0, nullptr, 1.0f);
    EXPECT_EQ(state.automateCount, 2004);
    EXPECT_TRUE(state.automated.empty());
    const std::map<int32_t, float> expected{{0, 0.25f}, {2, 1.0f}, {3, 0.75f}};
    EXPECT_EQ(live.reported(), expected);
}

TEST(HostCallback, TwoBindingsKeepTheirOwnState) {
    HostState first, second;
    vst::AEffect a{}, b{};
    HostBinding bindA(first);
    bindA.attach(&a);
    {
        HostBinding bindB(second);
        bindB.attach(&b);
        call(&a, vst::audioMasterAutomate, 1, 0, nullptr, 0.1f);
        call(&b, vst::audioMasterAutomate, 1, 0, nullptr, 0.2f);
    }
    call(&b, vst::audioMasterAutomate, 1, 0, nullptr, 0.3f); // b unbound: the newest binding
    EXPECT_EQ(second.automated.at(1), 0.2f);
    EXPECT_EQ(first.automated.at(1), 0.3f);
    EXPECT_EQ(first.automateCount, 2);
}

TEST(MidiEventList, LaysOutTheStandardEventList) {
    MidiEventList list;
    list.addController(0, 1, 1, 64);
    list.addController(37, 16, 64, 127);
    list.addController(5, 3, 200, 300); // out-of-range bytes keep their low 7 bits
    const vst::VstEvents* events = list.events();
    ASSERT_EQ(events->numEvents, 3);
    EXPECT_EQ(events->reserved, 0);
    // The list runs past the two entries the declaration shows.
    const auto* pointers = reinterpret_cast<vst::VstEvent* const*>(
        reinterpret_cast<const char*>(events) + offsetof(vst::VstEvents, events));
    const auto* first = reinterpret_cast<const vst::VstMidiEvent*>(pointers[0]);
    EXPECT_EQ(first->type, vst::kVstMidiType);
    EXPECT_EQ(first->byteSize, 32);
    EXPECT_EQ(first->deltaFrames, 0);
    EXPECT_EQ(static_cast<uint8_t>(first->midiData[0]), 0xB0);
    EXPECT_EQ(first->midiData[1], 1);
    EXPECT_EQ(first->midiData[2], 64);
    const auto* second = reinterpret_cast<const vst::VstMidiEvent*>(pointers[1]);
    EXPECT_EQ(second->deltaFrames, 37);
    EXPECT_EQ(static_cast<uint8_t>(second->midiData[0]), 0xBF);
    EXPECT_EQ(second->midiData[1], 64);
    EXPECT_EQ(second->midiData[2], 127);
    const auto* third = reinterpret_cast<const vst::VstMidiEvent*>(pointers[2]);
    EXPECT_EQ(static_cast<uint8_t>(third->midiData[0]), 0xB2);
    EXPECT_EQ(third->midiData[1], 200 & 0x7F);
    EXPECT_EQ(third->midiData[2], 300 & 0x7F);
    list.clear();
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(list.events()->numEvents, 0);
}

} // namespace
} // namespace zel::vortan

namespace zel::vortan {
namespace {

TEST(Progress, BarShowsTheShareDoneAndTheTimes) {
    EXPECT_EQ(Progress::bar(0, 882000, 44100.0),
              "[..............................]   0%  0.0 / 20.0 s");
    EXPECT_EQ(Progress::bar(441000, 882000, 44100.0),
              "[###############...............]  50%  10.0 / 20.0 s");
    EXPECT_EQ(Progress::bar(882000, 882000, 44100.0),
              "[##############################] 100%  20.0 / 20.0 s");
    // Past the end and an empty render both show as complete.
    EXPECT_EQ(Progress::bar(900000, 882000, 44100.0).substr(0, 37),
              "[##############################] 100%");
    EXPECT_EQ(Progress::bar(0, 0, 44100.0).substr(0, 37), "[##############################] 100%");
}

} // namespace
} // namespace zel::vortan
