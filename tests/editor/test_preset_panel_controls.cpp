// The preset panel's buttons and rocker: the frame each shows for the mouse
// (normal, over, pressed) and the values the listener hears.
#include "EditorTestSupport.h"
#include "presets/CPSKickButton.h"
#include "presets/CPSRockerSwitch.h"
#include "presets/CSaveLoadButton.h"

#include <gtest/gtest.h>

namespace zel::test {
namespace {

// Listener that also records the frame the control shows while it is told.
struct FrameRecordingListener : RecordingListener {
    TestFrame* frame = nullptr;
    CPoint probe;
    std::vector<int> framesWhileTold;
    void valueChanged(CControl* control) override {
        RecordingListener::valueChanged(control);
        control->setDirty(true);
        framesWhileTold.push_back(
            frame->shownFrame(static_cast<int>(probe.x), static_cast<int>(probe.y)));
    }
};

struct PanelFixture : ::testing::Test {
    FrameRecordingListener listener;
    TestFrame* frame = new TestFrame(CRect(0, 0, 100, 50));
    PanelFixture() {
        listener.frame = frame;
        listener.probe = CPoint(12, 12);
    }
    ~PanelFixture() override { frame->close(); }
    int shown() { return frame->shownFrame(12, 12); }

    template <typename Button> Button* add(Button* button) {
        frame->addView(button);
        return button;
    }
    CPSKickButton* kick(bool doubleClickMode) {
        CBitmap* strip = makeFilmstrip(12, 14, 3);
        auto* button = new CPSKickButton(CRect(10, 10, 22, 24), &listener, 162, 14, strip,
                                         CPoint(0, 0), doubleClickMode);
        strip->forget();
        return add(button);
    }
};

TEST_F(PanelFixture, KickButtonShowsOverAndPressedAndReportsOneAtThePress) {
    CPSKickButton* button = kick(false);
    EXPECT_EQ(shown(), 0);
    frame->move(12, 12);
    EXPECT_EQ(shown(), 1);
    frame->press(12, 12);
    EXPECT_EQ(listener.values, std::vector<float>{1.f});
    EXPECT_EQ(shown(), 2);
    frame->release(12, 12);
    EXPECT_EQ(button->getValue(), 0.f);
    EXPECT_EQ(shown(), 1) << "released with the mouse still over it";
    frame->move(60, 40);
    EXPECT_EQ(shown(), 0);
    EXPECT_EQ(listener.values.size(), 1u) << "the release is not reported";

    frame->now += 1;
    EXPECT_EQ(frame->press(12, 12, kRButton), kMouseEventNotHandled);
    EXPECT_EQ(listener.values.size(), 1u);
}

TEST_F(PanelFixture, DoubleClickModeCountsOnlyDoubleClicksAndControlGivesHalf) {
    CPSKickButton* button = kick(true);
    frame->press(12, 12);
    frame->release(12, 12);
    EXPECT_TRUE(listener.values.empty()) << "a single click does nothing";
    EXPECT_EQ(shown(), 1);
    frame->now += 0.1;
    frame->press(12, 12);
    EXPECT_EQ(listener.values, std::vector<float>{1.f});
    EXPECT_EQ(shown(), 2);
    frame->release(12, 12);
    EXPECT_EQ(button->getValue(), 0.f);

    frame->now += 1;
    frame->press(12, 12, kLButton | kControl);
    frame->release(12, 12);
    frame->now += 0.1;
    frame->press(12, 12, kLButton | kControl);
    frame->release(12, 12);
    EXPECT_EQ(listener.values, (std::vector<float>{1.f, 0.5f}));

    // Control without double-click mode still gives 1.
    CPSKickButton* memo = kick(false);
    frame->removeView(button);
    frame->now += 1;
    frame->press(12, 12, kLButton | kControl);
    frame->release(12, 12);
    EXPECT_EQ(listener.controls.back(), memo);
    EXPECT_EQ(listener.values.back(), 1.f);
}

TEST_F(PanelFixture, PressedMarkCanBeClearedWhenTheReleaseIsLost) {
    CPSKickButton* button = kick(false);
    frame->press(12, 12);
    EXPECT_EQ(shown(), 2);
    button->clearPressed();
    EXPECT_EQ(shown(), 1);
}

TEST_F(PanelFixture, SaveLoadButtonReportsAtOnceOneOrHalfForTheRightButton) {
    CBitmap* strip = makeFilmstrip(12, 14, 3);
    auto* button = add(new CSaveLoadButton(CRect(10, 10, 22, 24), &listener, 153, 14, strip));
    strip->forget();

    frame->move(12, 12);
    EXPECT_EQ(frame->press(12, 12), kMouseDownEventHandledButDontNeedMovedOrUpEvents);
    EXPECT_EQ(button->getValue(), 0.f);
    frame->now += 1;
    frame->press(12, 12, kRButton);
    frame->now += 1;
    frame->press(12, 12, kRButton | kShift);
    EXPECT_EQ(listener.values, (std::vector<float>{1.f, 0.5f, 1.f}));
    EXPECT_EQ(listener.framesWhileTold, (std::vector<int>{2, 2, 2}))
        << "pressed while the listener works";
    EXPECT_EQ(shown(), 1) << "mouse over after the press";
    frame->move(60, 40);
    EXPECT_EQ(shown(), 0);

    button->setListener(nullptr);
    frame->now += 1;
    EXPECT_EQ(frame->press(12, 12), kMouseEventNotHandled);
    button->setListener(&listener);
    EXPECT_EQ(frame->press(12, 12, kMButton), kMouseEventNotHandled);
}

TEST_F(PanelFixture, RockerLightsTheHoveredHalfAndShowsThePressedOne) {
    CBitmap* strip = makeFilmstrip(31, 14, 5);
    auto* rocker = add(new CPSRockerSwitch(CRect(10, 10, 41, 24), &listener, 150, 14, strip));
    strip->forget();
    auto shownRocker = [&] { return frame->shownFrame(25, 12); };

    EXPECT_EQ(shownRocker(), 0);
    frame->move(12, 12);
    EXPECT_EQ(rocker->getHoverSide(), -1);
    EXPECT_EQ(shownRocker(), 1);
    frame->move(39, 12);
    EXPECT_EQ(shownRocker(), 2);
    frame->press(12, 12);
    EXPECT_EQ(rocker->getValue(), -1.f);
    EXPECT_EQ(shownRocker(), 3);
    frame->move(39, 12, kLButton); // moving with the button held keeps the press
    EXPECT_EQ(shownRocker(), 3);
    frame->release(39, 12);
    EXPECT_EQ(rocker->getValue(), 0.f);
    EXPECT_EQ(shownRocker(), 2) << "hovering the right half after the release";
    frame->now += 1;
    frame->press(39, 12);
    EXPECT_EQ(shownRocker(), 4);
    frame->release(39, 12);
    frame->move(80, 40);
    EXPECT_EQ(rocker->getHoverSide(), 0);
    EXPECT_EQ(shownRocker(), 0);
    EXPECT_EQ(listener.values, (std::vector<float>{-1.f, 1.f})) << "releases are not reported";
}

} // namespace
} // namespace zel::test
