// How the editor's controls and the effect's parameters reach each other: real
// presses on the speed button, the channel rocker, the knobs and the about
// area; host automation into knobs and readouts; the animation of the rotor
// strips and lamps; close and reopen.
#include "WiringTestSupport.h"

#include "editor/CAbout.h"
#include "editor/CAnimKnob3.h"
#include "editor/CVortanParamDisplay.h"
#include "editor/ZelMarker.h"
#include "editor/ZelVerticalSwitch.h"
#include "gui/CMovieBitmap.h"
#include "plugin/VstAbi.h"

#include <cmath>

namespace zel::test {
namespace {

using gui::CControl;

constexpr int32_t kLever = 2;
constexpr int32_t kSpeed = 3;
constexpr int32_t kMidiChannel = 35;
constexpr int32_t kAmpOnly = 118;

// The centre of a control, for the pointer.
gui::CPoint centreOf(CControl* c) {
    return c->getViewSize().getCenter();
}

using EditorWiring = EditorTest;

// The speed button throws the lever to its end first, then sets the speed;
// the host hears both, in that order.
TEST_F(EditorWiring, SpeedButtonThrowsTheLeverThenSetsTheSpeed) {
    effect->setParameter(kSpeed, 0.f);
    effect->setParameter(kLever, 0.3f);
    pump(0.05);
    const gui::CPoint button = centreOf(control<CControl>(kSpeed));
    recordingHost.reset();
    click(static_cast<int>(button.x), static_cast<int>(button.y));
    std::vector<AutomateCall> calls = recordingHost.automateCalls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].index, kLever);
    EXPECT_EQ(calls[0].value, 1.f);
    EXPECT_EQ(calls[1].index, kSpeed);
    EXPECT_EQ(calls[1].value, 1.f);
    EXPECT_EQ(effect->getParameter(kLever), 1.f);
    pump(0.05);
    EXPECT_EQ(control<ZelVerticalSwitch>(kLever)->getValue(), 1.f);
    EXPECT_EQ(control<ZelVerticalSwitch>(kLever)->getDrawnFrame(), 0); // lever at the top

    waitPastDoubleClick();
    recordingHost.reset();
    click(static_cast<int>(button.x), static_cast<int>(button.y));
    calls = recordingHost.automateCalls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].index, kLever);
    EXPECT_EQ(calls[0].value, 0.f);
    EXPECT_EQ(calls[1].index, kSpeed);
    EXPECT_EQ(calls[1].value, 0.f);
}

// The channel rocker moves the channel display one frame per press and stops
// at off and omni.
TEST_F(EditorWiring, ChannelRockerStepsOneChannelWithinItsBounds) {
    auto* display = control<gui::CMovieBitmap>(kMidiChannel);
    const gui::CRect rocker = control<CControl>(148)->getViewSize();
    const int y = static_cast<int>(rocker.getCenter().y);
    const int left = static_cast<int>(rocker.left) + 5;
    const int right = static_cast<int>(rocker.right) - 5;
    auto press = [&](int x) {
        waitPastDoubleClick();
        click(x, y);
        pump(0.05);
        return display->getFrameIndex();
    };

    effect->setParameter(kMidiChannel, 0.f);
    pump(0.05);
    EXPECT_EQ(press(left), 0);
    EXPECT_EQ(effect->getParameter(kMidiChannel), 0.f);
    EXPECT_EQ(press(right), 1);
    EXPECT_EQ(press(right), 2);
    EXPECT_EQ(press(left), 1);

    effect->setParameter(kMidiChannel, 1.f);
    pump(0.05);
    EXPECT_EQ(display->getFrameIndex(), 17);
    EXPECT_EQ(press(right), 17);
    EXPECT_EQ(effect->getParameter(kMidiChannel), 1.f);
    EXPECT_EQ(press(left), 16);
    // The host heard each step as automation of the channel.
    const std::vector<AutomateCall> calls = recordingHost.automateCalls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back().index, kMidiChannel);
}

// A control-click and a double-click put a knob back to its default and tell
// the host.
TEST_F(EditorWiring, ControlClickAndDoubleClickRestoreAKnobsDefault) {
    struct Case {
        int32_t tag;
        float defaultValue;
    };
    for (const Case& c : {Case{19, 0.349485f}, Case{29, 1.0f}, Case{10, 0.25f}}) {
        SCOPED_TRACE("tag " + std::to_string(c.tag));
        auto* knob = control<CAnimKnob3>(c.tag);
        const gui::CPoint at = centreOf(knob);
        for (bool controlClick : {true, false}) {
            effect->setParameter(c.tag, 0.9f);
            pump(0.05);
            ASSERT_EQ(knob->getValue(), 0.9f);
            recordingHost.reset();
            waitPastDoubleClick();
            if (controlClick)
                click(static_cast<int>(at.x), static_cast<int>(at.y), 1, true);
            else
                doubleClick(static_cast<int>(at.x), static_cast<int>(at.y));
            EXPECT_EQ(knob->getValue(), c.defaultValue);
            EXPECT_EQ(effect->getParameter(c.tag), c.defaultValue);
            bool reported = false;
            for (const AutomateCall& call : recordingHost.automateCalls())
                reported |= call.index == c.tag && call.value == c.defaultValue;
            EXPECT_TRUE(reported);
        }
    }
}

// A drag upwards raises a knob; the readout follows with the effect's value.
TEST_F(EditorWiring, DraggingAKnobSetsItsParameter) {
    auto* knob = control<CAnimKnob3>(21); // "HDistance", 250 pixels for the whole range
    effect->setParameter(21, 0.2f);
    pump(0.05);
    const gui::CPoint at = centreOf(knob);
    host->movePointer(static_cast<int>(at.x), static_cast<int>(at.y));
    pump(0.03);
    host->button(1, true);
    pump(0.03);
    // 50 pixels up of 250 for the range: +0.2.
    host->movePointer(static_cast<int>(at.x), static_cast<int>(at.y) - 50);
    pump(0.05);
    host->button(1, false);
    pump(0.05);
    // Whole pixels of a 250-pixel range: one pixel is 0.004.
    EXPECT_NEAR(effect->getParameter(21), 0.4f, 0.0041f);
    EXPECT_EQ(knob->getValue(), effect->getParameter(21));
    EXPECT_EQ(control<CVortanParamDisplay>(21)->getValue(), effect->getParameter(21));
}

// A wheel notch moves a knob by its own step: "Type" by about a third (its
// three positions), "HSlowSpd" by a hundredth; the lever by 0.15.
TEST_F(EditorWiring, WheelStepsFollowEachControl) {
    struct Case {
        int32_t tag;
        float step;
    };
    for (const Case& c : {Case{12, 0.333334f}, Case{17, 0.01f}, Case{kLever, 0.15f}}) {
        SCOPED_TRACE("tag " + std::to_string(c.tag));
        effect->setParameter(c.tag, 0.5f);
        pump(0.05);
        const gui::CPoint at = centreOf(control<CControl>(c.tag));
        host->movePointer(static_cast<int>(at.x), static_cast<int>(at.y));
        pump(0.03);
        host->button(4, true); // one notch up
        host->button(4, false);
        pumpUntil([&] { return effect->getParameter(c.tag) != 0.5f; }, 2.0);
        // One float addition of the step to 0.5.
        EXPECT_NEAR(effect->getParameter(c.tag), 0.5f + c.step, 1e-6f);
    }
}

// Host automation (from the host's thread here) moves knobs, readouts and
// switches at the next idle.
TEST_F(EditorWiring, HostAutomationMovesKnobsAndReadouts) {
    auto* knob = control<CAnimKnob3>(17);
    auto* readout = control<CVortanParamDisplay>(17);
    effect->setParameter(17, 0.f);
    pump(0.05);
    const int32_t frameBefore = knob->getDrawnFrame();
    std::thread hostThread([&] { effect->setParameter(17, 0.85f); });
    hostThread.join();
    pump(0.05);
    EXPECT_EQ(knob->getValue(), 0.85f);
    EXPECT_EQ(readout->getValue(), 0.85f);
    EXPECT_EQ(knob->getDrawnFrame(), 85); // 101 frames: (int)(100 x 0.85 + 0.5)
    EXPECT_NE(knob->getDrawnFrame(), frameBefore);
    char text[gui::CParamDisplay::kTextSize] = {};
    readout->valueToString(readout->getValue(), text);
    EXPECT_STREQ(text, "8.50 Hz");
    // Drawn: the knob is no longer dirty after the idle.
    EXPECT_FALSE(knob->isDirty());
}

// Values that no control shows change no control.
TEST_F(EditorWiring, SpareAndTuningIndicesChangeNoControl) {
    pump(0.05);
    std::vector<float> before;
    for (int32_t i = 0; i < frame()->getNbViews(); ++i)
        if (auto* c = dynamic_cast<CControl*>(frame()->getView(i))) before.push_back(c->getValue());
    for (int32_t index = 31; index <= 34; ++index) effect->setParameter(index, 0.123f);
    for (int32_t index = 36; index <= 119; ++index)
        effect->setParameter(index, index == kAmpOnly ? 0.f : 0.777f);
    pump(0.05); // no animation step: the clock stands still
    std::vector<float> after;
    for (int32_t i = 0; i < frame()->getNbViews(); ++i)
        if (auto* c = dynamic_cast<CControl*>(frame()->getView(i))) after.push_back(c->getValue());
    EXPECT_EQ(before, after);
}

// Values changed while the window was closed are shown when it opens again.
TEST_F(EditorWiring, ReopeningShowsValuesChangedWhileClosed) {
    effect->setParameter(23, 0.1f);
    effect->setParameter(kLever, 0.f);
    pump(0.05);
    closeEditor();
    effect->setParameter(23, 0.9f);
    effect->setParameter(kLever, 1.f);
    effect->setParameter(kMidiChannel, 17.f / 17.f);
    ASSERT_TRUE(openEditor());
    EXPECT_EQ(control<CAnimKnob3>(23)->getValue(), 0.9f);
    EXPECT_EQ(control<CVortanParamDisplay>(23)->getValue(), 0.9f);
    EXPECT_EQ(control<ZelVerticalSwitch>(kLever)->getValue(), 1.f);
    EXPECT_EQ(control<gui::CMovieBitmap>(kMidiChannel)->getFrameIndex(), 17);
}

class EditorAnimation : public EditorTest {
protected:
    void SetUp() override {
        EditorTest::SetUp();
        if (IsSkipped()) return;
        // Fast rotors, the lever at the top.
        effect->setParameter(kLever, 1.f);
        effect->setParameter(kSpeed, 1.f);
        effect->setParameter(4, 0.f);
        effect->process(1.0);
        pump(0.05);
    }
    // Animation steps with audio between them; the strips' values seen.
    std::vector<std::pair<float, float>> run(int steps) {
        std::vector<std::pair<float, float>> seen;
        for (int i = 0; i < steps; ++i) {
            effect->process(0.02);
            animate(1);
            seen.emplace_back(control<ZelMarker>(142)->getValue(),
                              control<ZelMarker>(143)->getValue());
        }
        return seen;
    }
    static int changes(const std::vector<std::pair<float, float>>& seen, bool horn) {
        int n = 0;
        for (std::size_t i = 1; i < seen.size(); ++i)
            n += (horn ? seen[i].first != seen[i - 1].first : seen[i].second != seen[i - 1].second);
        return n;
    }
    // A modulation-wheel message on any channel (the receive channel is omni).
    void modulationWheel() {
        vst::VstMidiEvent event{};
        event.type = vst::kVstMidiType;
        event.byteSize = sizeof event;
        event.midiData[0] = static_cast<char>(0xB0);
        event.midiData[1] = 1;
        event.midiData[2] = 100;
        vst::VstEvents events{};
        events.numEvents = 1;
        events.events[0] = reinterpret_cast<vst::VstEvent*>(&event);
        effect->processEvents(&events);
    }
};

// Each strip follows its rotor on every second step, the horn's and the
// drum's in turn, the way the rotor angle reads.
TEST_F(EditorAnimation, StripsFollowTheRotorsInTurn) {
    const std::vector<std::pair<float, float>> seen = run(20);
    EXPECT_GE(changes(seen, true), 9);
    EXPECT_GE(changes(seen, false), 9);
    for (std::size_t i = 1; i < seen.size(); ++i)
        EXPECT_FALSE(seen[i].first != seen[i - 1].first && seen[i].second != seen[i - 1].second)
            << "both strips moved in step " << i;
    // Within one step of the rotor's angle (turns; the horn's is updated last
    // on every other step, so compare right after a horn step).
    animate(1);
    if (control<ZelMarker>(142)->getValue() == seen.back().first) animate(1);
    const double angle = effect->getEngine().hornUnit(0).rotor().angle();
    EXPECT_NEAR(control<ZelMarker>(142)->getValue(), angle, 1e-6);
}

// Idle calls closer together than the step interval animate nothing.
TEST_F(EditorAnimation, StepsComeAtMostEveryFifteenMilliseconds) {
    effect->process(0.02);
    animate(2);
    const float horn = control<ZelMarker>(142)->getValue();
    const float drum = control<ZelMarker>(143)->getValue();
    for (int i = 0; i < 5; ++i) {
        effect->process(0.02);
        ticks += 3; // 15 ms in all
        editor().idle();
    }
    EXPECT_EQ(control<ZelMarker>(142)->getValue(), horn);
    EXPECT_EQ(control<ZelMarker>(143)->getValue(), drum);
    ticks += 1;
    effect->process(0.02);
    editor().idle();
    EXPECT_TRUE(control<ZelMarker>(142)->getValue() != horn ||
                control<ZelMarker>(143)->getValue() != drum);
}

// While the about screen shows, strips and lamps keep their values; a click on
// the screen closes it and they move again.
TEST_F(EditorAnimation, AboutScreenPausesStripsAndLamps) {
    auto* about = control<CAbout>(147);
    auto* modulationLamp = control<gui::CMovieBitmap>(145);
    effect->setParameter(kMidiChannel, 1.f);
    run(4);
    EXPECT_EQ(modulationLamp->getFrameIndex(), 0);
    const gui::CPoint area = centreOf(about);
    click(static_cast<int>(area.x), static_cast<int>(area.y));
    ASSERT_EQ(about->getValue(), 1.f);
    ASSERT_NE(frame()->getModalView(), nullptr);
    screenshot("about-screen");

    const float horn = control<ZelMarker>(142)->getValue();
    const float drum = control<ZelMarker>(143)->getValue();
    modulationWheel();
    const std::vector<std::pair<float, float>> seen = run(10);
    EXPECT_EQ(changes(seen, true), 0);
    EXPECT_EQ(changes(seen, false), 0);
    EXPECT_EQ(seen.back().first, horn);
    EXPECT_EQ(seen.back().second, drum);
    EXPECT_EQ(modulationLamp->getFrameIndex(), 0);

    waitPastDoubleClick();
    click(200, 300); // anywhere on the screen
    EXPECT_EQ(about->getValue(), 0.f);
    EXPECT_EQ(frame()->getModalView(), nullptr);
    modulationWheel();
    const std::vector<std::pair<float, float>> after = run(4);
    EXPECT_GE(changes(after, true) + changes(after, false), 3);
    EXPECT_EQ(modulationLamp->getFrameIndex(), 1);
}

// The sustain lamp shows the pedal; the modulation lamp goes out as the
// activity decays.
TEST_F(EditorAnimation, LampsFollowTheControllers) {
    effect->setParameter(kMidiChannel, 1.f);
    auto* sustainLamp = control<gui::CMovieBitmap>(144);
    auto* modulationLamp = control<gui::CMovieBitmap>(145);
    auto pedal = [&](int value) {
        vst::VstMidiEvent event{};
        event.type = vst::kVstMidiType;
        event.byteSize = sizeof event;
        event.midiData[0] = static_cast<char>(0xB0);
        event.midiData[1] = 64;
        event.midiData[2] = static_cast<char>(value);
        vst::VstEvents events{};
        events.numEvents = 1;
        events.events[0] = reinterpret_cast<vst::VstEvent*>(&event);
        effect->processEvents(&events);
    };
    pedal(127);
    run(2);
    EXPECT_EQ(sustainLamp->getFrameIndex(), 1);
    pedal(0);
    run(2);
    EXPECT_EQ(sustainLamp->getFrameIndex(), 0);

    modulationWheel();
    run(2);
    EXPECT_EQ(modulationLamp->getFrameIndex(), 1);
    effect->process(5.0);
    run(2);
    EXPECT_EQ(modulationLamp->getFrameIndex(), 0);
}

// With the speakers bypassed (amplifier only) both bands rest in the middle
// whatever the rotors do.
TEST_F(EditorAnimation, AmpOnlyCentresBothStrips) {
    effect->setParameter(kAmpOnly, 1.f);
    const std::vector<std::pair<float, float>> seen = run(6);
    for (std::size_t i = 2; i < seen.size(); ++i) {
        EXPECT_EQ(seen[i].first, 0.5f);
        EXPECT_EQ(seen[i].second, 0.5f);
    }
    EXPECT_GT(std::abs(effect->getEngine().hornUnit(0).rotor().speedHz()), 1.0);
    effect->setParameter(kAmpOnly, 0.f);
    const std::vector<std::pair<float, float>> moving = run(6);
    EXPECT_GE(changes(moving, true) + changes(moving, false), 4);
}

} // namespace
} // namespace zel::test
