// MIDI control of the lever: receive channel, modulation wheel, sustain pedal,
// and event lists a host may get wrong.
#include "EffectDriver.h"
#include "TestHost.h"

#include "plugin/RotaryEffect.h"

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <vector>

namespace zel {
namespace {

using test::testHost;

constexpr int kLever = 2;
constexpr int kMidiChannel = 35;

vst::VstMidiEvent midiEvent(uint8_t status, uint8_t data1, uint8_t data2) {
    vst::VstMidiEvent e{};
    e.type = vst::kVstMidiType;
    e.byteSize = sizeof(vst::VstMidiEvent);
    e.midiData[0] = static_cast<char>(status);
    e.midiData[1] = static_cast<char>(data1);
    e.midiData[2] = static_cast<char>(data2);
    return e;
}

// An event list as a host lays it out: the count, then the event pointers.
struct EventList {
    int32_t numEvents = 0;
    intptr_t reserved = 0;
    std::array<vst::VstEvent*, 8> events{};

    vst::VstEvents* get() { return reinterpret_cast<vst::VstEvents*>(this); }
};

class MidiControl : public test::EffectFixture {
protected:
    // Sends the events in one list; answers processEvents' result.
    int32_t send(std::vector<vst::VstMidiEvent> midi) {
        storage = std::move(midi);
        EventList list;
        for (std::size_t i = 0; i < storage.size(); ++i)
            list.events[i] = reinterpret_cast<vst::VstEvent*>(&storage[i]);
        list.numEvents = static_cast<int32_t>(storage.size());
        return fx->processEvents(list.get());
    }

    int leverAutomations() const { return testHost.count(vst::audioMasterAutomate, kLever, 0); }

    std::vector<vst::VstMidiEvent> storage;
};

TEST_F(MidiControl, ModulationWheelMovesTheLever) {
    // A new instance listens on every channel ("OMNI").
    EXPECT_EQ(fx->getParameterApplier().midiChannel(), 17);
    EXPECT_EQ(send({midiEvent(0xB0, 1, 64)}), 1);
    EXPECT_EQ(fx->getParameter(kLever), 64 * 0.007874016f);
    EXPECT_NEAR(fx->getParameter(kLever), 64.0 / 127.0, 1e-6); // 1/127 rounded to float
    EXPECT_EQ(fx->getEngine().amp.modulationActivity.load(), 1.0f);
    EXPECT_EQ(leverAutomations(), 1);
    // The lever moves the rotors: 1 is the slow end.
    EXPECT_EQ(fx->getEngine().hornUnit(0).rotor().leverInput(), 1.0 - 64 * 0.007874016f);

    send({midiEvent(0xB5, 1, 127)});
    EXPECT_EQ(fx->getParameter(kLever), 1.0f);
    send({midiEvent(0xB5, 1, 0)});
    EXPECT_EQ(fx->getParameter(kLever), 0.0f);
}

TEST_F(MidiControl, ReceiveChannelFiltersTheEvents) {
    fx->setParameter(kMidiChannel, 0.0f); // "OFF"
    send({midiEvent(0xB0, 1, 100), midiEvent(0xBF, 64, 127)});
    EXPECT_EQ(fx->getParameter(kLever), 0.0f);
    EXPECT_EQ(fx->getPedalState(), 0.0);
    EXPECT_EQ(fx->getEngine().amp.modulationActivity.load(), 0.0f);
    EXPECT_EQ(leverAutomations(), 0);

    fx->setParameter(kMidiChannel, 16.0f / 17.0f); // channel 16
    ASSERT_EQ(fx->getParameterApplier().midiChannel(), 16);
    send({midiEvent(0xB0, 1, 100)}); // channel 1
    EXPECT_EQ(fx->getParameter(kLever), 0.0f);
    send({midiEvent(0xBF, 1, 100)}); // channel 16
    EXPECT_EQ(fx->getParameter(kLever), 100 * 0.007874016f);

    fx->setParameter(kMidiChannel, 1.0f); // "OMNI"
    send({midiEvent(0xB0, 1, 20)});
    EXPECT_EQ(fx->getParameter(kLever), 20 * 0.007874016f);
    send({midiEvent(0xBF, 1, 30)});
    EXPECT_EQ(fx->getParameter(kLever), 30 * 0.007874016f);
}

TEST_F(MidiControl, PedalThrowsTheLeverToEitherEnd) {
    send({midiEvent(0xB0, 1, 32)});
    const float before = fx->getParameter(kLever);
    testHost.calls.clear();

    send({midiEvent(0xB0, 64, 64)}); // 64/127 is at least 0.5: down
    EXPECT_EQ(fx->getParameter(kLever), 1.0f);
    EXPECT_EQ(fx->getPedalState(), 1.0);
    ASSERT_EQ(leverAutomations(), 2);
    // The host hears where the lever was, then the end it was thrown to.
    EXPECT_EQ(testHost.calls[0].opt, before);
    EXPECT_EQ(testHost.calls[1].opt, 1.0f);

    testHost.calls.clear();
    send({midiEvent(0xB0, 64, 63)}); // below 0.5: up
    EXPECT_EQ(fx->getParameter(kLever), 0.0f);
    EXPECT_EQ(fx->getPedalState(), 0.0);
    ASSERT_EQ(leverAutomations(), 2);
    EXPECT_EQ(testHost.calls[0].opt, 1.0f);
    EXPECT_EQ(testHost.calls[1].opt, 0.0f);
    // The modulation indicator belongs to the wheel only.
    fx->getEngine().amp.modulationActivity = 0.0f;
    send({midiEvent(0xB0, 64, 127)});
    EXPECT_EQ(fx->getEngine().amp.modulationActivity.load(), 0.0f);
}

TEST_F(MidiControl, OtherMessagesChangeNothing) {
    std::vector<float> before;
    for (int i = 0; i < 36; ++i) before.push_back(fx->getParameter(i));
    EXPECT_EQ(send({midiEvent(0x90, 60, 100),   // note on
                    midiEvent(0x80, 60, 0),     // note off
                    midiEvent(0xC0, 5, 0),      // program change
                    midiEvent(0xE0, 0, 127),    // pitch bend
                    midiEvent(0xB0, 7, 100),    // volume
                    midiEvent(0xB0, 65, 127)}), // portamento
              1);
    for (int i = 0; i < 36; ++i)
        EXPECT_EQ(fx->getParameter(i), before[static_cast<std::size_t>(i)]);
    EXPECT_EQ(testHost.count(vst::audioMasterAutomate), 0);
    EXPECT_EQ(fx->getPedalState(), 0.0);
}

TEST_F(MidiControl, EventListsAHostMayGetWrong) {
    EXPECT_EQ(fx->processEvents(nullptr), -1);
    EventList empty;
    EXPECT_EQ(fx->processEvents(empty.get()), 1);

    // A negative count reads nothing.
    vst::VstMidiEvent wheel = midiEvent(0xB0, 1, 127);
    EventList negative;
    negative.events[0] = reinterpret_cast<vst::VstEvent*>(&wheel);
    negative.numEvents = -3;
    EXPECT_EQ(fx->processEvents(negative.get()), 1);
    EXPECT_EQ(fx->getParameter(kLever), 0.0f);

    // A null entry and a system-exclusive event are passed over; the event after
    // them counts.
    vst::VstMidiEvent sysex = midiEvent(0xB0, 1, 127);
    sysex.type = vst::kVstSysExType;
    vst::VstMidiEvent last = midiEvent(0xB0, 1, 10);
    EventList mixed;
    mixed.events = {nullptr, reinterpret_cast<vst::VstEvent*>(&sysex),
                    reinterpret_cast<vst::VstEvent*>(&last)};
    mixed.numEvents = 3;
    EXPECT_EQ(fx->processEvents(mixed.get()), 1);
    EXPECT_EQ(fx->getParameter(kLever), 10 * 0.007874016f);
    EXPECT_EQ(leverAutomations(), 1);
}

TEST_F(MidiControl, EveryMidiEventCountsWhateverItsByteSize) {
    // Hosts fill byteSize differently: 32 (the whole record), 24 (without the type
    // and size fields), or nothing useful at all. Each event lives in its own heap
    // block of exactly one MIDI event, so a read past it shows under AddressSanitizer.
    const int32_t sizes[] = {32, 24, 16, 0, -1, 1 << 30};
    int wheel = 1;
    for (int32_t size : sizes) {
        auto event = std::make_unique<vst::VstMidiEvent>(midiEvent(0xB0, 1, uint8_t(wheel)));
        event->byteSize = size;
        EventList list;
        list.events[0] = reinterpret_cast<vst::VstEvent*>(event.get());
        list.numEvents = 1;
        EXPECT_EQ(fx->processEvents(list.get()), 1);
        EXPECT_EQ(fx->getParameter(kLever), float(wheel) * 0.007874016f) << "byteSize " << size;
        wheel += 10;
    }
    EXPECT_EQ(leverAutomations(), static_cast<int>(std::size(sizes)));

    // The pedal too, with the size a host gives that leaves out type and size.
    auto pedal = std::make_unique<vst::VstMidiEvent>(midiEvent(0xB0, 64, 127));
    pedal->byteSize = 24;
    EventList list;
    list.events[0] = reinterpret_cast<vst::VstEvent*>(pedal.get());
    list.numEvents = 1;
    fx->processEvents(list.get());
    EXPECT_EQ(fx->getPedalState(), 1.0);
    EXPECT_EQ(fx->getParameter(kLever), 1.0f);
}

TEST_F(MidiControl, WheelAtTheTopSpeedsTheRotorsUp) {
    ASSERT_TRUE(test::settle(*fx));
    const double slow = fx->getEngine().hornUnit(0).rotor().speedHz();
    send({midiEvent(0xB0, 1, 127)});
    test::runBlocks(*fx, 44100 * 3 / test::kDriverBlock); // three seconds
    const double fast = fx->getEngine().hornUnit(0).rotor().speedHz();
    // Program 0: slow 0.673 Hz, fast 6.77088 Hz, acceleration 1.6 s (10 % to 90 %).
    EXPECT_NEAR(slow, 0.673, 0.01);
    EXPECT_GT(fast, 6.0);
}

} // namespace
} // namespace zel
