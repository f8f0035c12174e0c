// The stop/bypass button, the speed button and the speed lever: what they show
// and what the listener hears for presses, drags, the wheel and keys.
#include "EditorTestSupport.h"
#include "editor/CClickKickButton.h"
#include "editor/ZelOnOffButton.h"
#include "editor/ZelVerticalSwitch.h"

#include <gtest/gtest.h>

#include <cmath>

namespace zel::test {
namespace {

struct ButtonFixture : ::testing::Test {
    RecordingEditor editor;
    RecordingListener listener;
    TestFrame* frame = new TestFrame(CRect(0, 0, 100, 300), &editor);
    ~ButtonFixture() override { frame->close(); }
};

TEST_F(ButtonFixture, OnOffButtonReportsTheOldValueThenTheToggledOne) {
    CBitmap* strip = makeFilmstrip(6, 6, 2);
    auto* button = new ZelOnOffButton(CRect(10, 10, 16, 16), &listener, 4, strip);
    strip->forget();
    frame->addView(button);
    EXPECT_EQ(frame->shownFrame(12, 12), 0);

    EXPECT_EQ(frame->press(12, 12), kMouseDownEventHandledButDontNeedMovedOrUpEvents);
    EXPECT_EQ(listener.values, (std::vector<float>{0.f, 1.f}));
    EXPECT_EQ(frame->shownFrame(12, 12), 1);
    frame->now += 1;
    frame->press(12, 12);
    EXPECT_EQ(listener.values, (std::vector<float>{0.f, 1.f, 1.f, 0.f}));
    EXPECT_EQ(frame->shownFrame(12, 12), 0);
    EXPECT_EQ(editor.gestures, (std::vector<std::string>{"b4", "e4", "b4", "e4"}));

    // A value from the host that is neither 0 nor 1 shows "on" from 0.5 up and
    // toggles by rounding.
    button->setValue(0.6f);
    EXPECT_EQ(frame->shownFrame(12, 12), 1);
    frame->now += 1;
    frame->press(12, 12);
    EXPECT_EQ(button->getValue(), 0.f);
    EXPECT_EQ(frame->press(12, 12, kRButton), kMouseEventNotHandled);
}

TEST_F(ButtonFixture, SpeedButtonShowsThePressUntilReleaseWhileItsValueToggledAtThePress) {
    CBitmap* strip = makeFilmstrip(6, 6, 2);
    auto* button = new CClickKickButton(CRect(10, 10, 16, 16), &listener, 3, 6, strip);
    strip->forget();
    frame->addView(button);

    frame->press(12, 12);
    EXPECT_EQ(button->getValue(), 1.f);
    EXPECT_EQ(listener.values, std::vector<float>{1.f});
    EXPECT_EQ(frame->shownFrame(12, 12), 1);
    frame->move(50, 50, kLButton); // leaving the button changes nothing
    EXPECT_EQ(frame->shownFrame(12, 12), 1);
    frame->release(50, 50);
    EXPECT_EQ(frame->shownFrame(12, 12), 0);
    EXPECT_EQ(button->getValue(), 1.f);

    frame->now += 1;
    frame->press(12, 12);
    EXPECT_EQ(button->getValue(), 0.f);
    EXPECT_EQ(frame->shownFrame(12, 12), 1);
    frame->release(12, 12);
    EXPECT_EQ(frame->shownFrame(12, 12), 0);
    EXPECT_EQ(listener.values, (std::vector<float>{1.f, 0.f}));
    EXPECT_EQ(editor.gestures, (std::vector<std::string>{"b3", "e3", "b3", "e3"}));
}

// The lever: 65 frames of 186 pixels, travel band 38 to 152 below its top.
struct LeverFixture : ButtonFixture {
    static constexpr int kFrames = 65;
    static constexpr int kTop = 50;
    ZelVerticalSwitch* lever = nullptr;
    LeverFixture() {
        CBitmap* strip = makeFilmstrip(4, 186, kFrames);
        lever =
            new ZelVerticalSwitch(CRect(10, kTop, 14, kTop + 186), &listener, 2, strip, 38, 152);
        strip->forget();
        frame->addView(lever);
    }
    int shown() { return frame->shownFrame(11, kTop + 5); }
};

TEST_F(LeverFixture, DraggedAboveItsBandGivesOneBelowGivesZeroAndTheMiddleSnapsToAFrame) {
    EXPECT_EQ(lever->getValue(), 0.f);
    EXPECT_EQ(shown(), 64) << "value 0 shows the lever at the bottom";
    frame->press(11, kTop + 10); // above the band
    EXPECT_EQ(lever->getValue(), 1.f);
    EXPECT_EQ(shown(), 0);
    frame->move(11, kTop + 95, kLButton); // the middle of the band: the lever upright
    EXPECT_EQ(lever->getValue(), 0.5f);
    EXPECT_EQ(shown(), 32);
    frame->move(11, kTop + 170, kLButton); // below the band
    EXPECT_EQ(lever->getValue(), 0.f);
    EXPECT_EQ(shown(), 64);
    frame->move(11, kTop - 100, kLButton); // far above, outside the control
    EXPECT_EQ(lever->getValue(), 1.f);
    frame->release(11, kTop - 100);
    EXPECT_EQ(listener.values, (std::vector<float>{1.f, 0.5f, 0.f, 1.f}));
    EXPECT_EQ(editor.gestures, (std::vector<std::string>{"b2", "e2"}));
}

TEST_F(LeverFixture, EveryPositionOfTheDragIsOneOfTheStripsFrames) {
    frame->press(11, kTop);
    for (int y = kTop; y <= kTop + 186; ++y) {
        frame->move(11, y, kLButton);
        const float steps = lever->getValue() * (kFrames - 1);
        EXPECT_NEAR(steps, std::round(steps), 1e-3) << "y " << y; // float of k / 64
    }
    frame->release(11, kTop + 186);
}

TEST_F(LeverFixture, UpAndDownKeysStepOneFrameAndModifiedKeysAreIgnored) {
    frame->setFocusView(lever);
    lever->setValue(0.5f);
    EXPECT_EQ(shown(), 32);
    EXPECT_TRUE(frame->key(VKEY_UP));
    EXPECT_EQ(shown(), 31) << "Up moves the lever up";
    EXPECT_FLOAT_EQ(lever->getValue(), 33.f / 64.f);
    EXPECT_TRUE(frame->key(VKEY_DOWN));
    EXPECT_TRUE(frame->key(VKEY_DOWN));
    EXPECT_EQ(shown(), 33);
    EXPECT_EQ(listener.values.size(), 3u);

    EXPECT_FALSE(frame->key(VKEY_UP, MODIFIER_SHIFT));
    EXPECT_FALSE(frame->key(VKEY_DOWN, MODIFIER_COMMAND));
    EXPECT_FALSE(frame->key(VKEY_LEFT));
    EXPECT_EQ(shown(), 33);
    EXPECT_EQ(listener.values.size(), 3u);

    lever->setValue(1.f);
    EXPECT_FALSE(frame->key(VKEY_UP)) << "already at the top";
    lever->setValue(0.f);
    EXPECT_FALSE(frame->key(VKEY_DOWN)) << "already at the bottom";
    EXPECT_EQ(listener.values.size(), 3u);
}

TEST_F(LeverFixture, ClickingTheLeverGivesItTheKeyboardFocus) {
    frame->click(11, kTop + 170);
    EXPECT_EQ(frame->getFocusView(), lever);
    EXPECT_TRUE(frame->key(VKEY_UP));
    EXPECT_EQ(shown(), 63);
}

TEST_F(LeverFixture, WheelAndControlClick) {
    // Values are sums of two float steps: 1e-6 covers their rounding.
    frame->wheel(11, kTop + 5, 3.f);
    EXPECT_NEAR(lever->getValue(), 0.15f, 1e-6f);
    frame->wheel(11, kTop + 5, 1.f, kShift);
    EXPECT_NEAR(lever->getValue(), 0.165f, 1e-6f);
    frame->press(11, kTop + 5, kLButton | kControl);
    EXPECT_EQ(lever->getValue(), 0.f) << "Control-click: the default, 0";
    EXPECT_EQ(listener.values.size(), 3u);
    EXPECT_EQ(listener.begins, listener.ends);
}

TEST_F(LeverFixture, ClaimsToBeAControlButNoRockerSwitch) {
    EXPECT_TRUE(lever->isTypeOf("ZelVerticalSwitch"));
    EXPECT_TRUE(lever->isTypeOf("CControl"));
    EXPECT_TRUE(lever->isTypeOf("CView"));
    EXPECT_TRUE(lever->isTypeOf("CBaseObject"));
    EXPECT_FALSE(lever->isTypeOf("CRockerSwitch"));
    EXPECT_FALSE(lever->isTypeOf("CVerticalSwitch"));
    CBaseObject* copy = lever->newCopy();
    ASSERT_NE(copy, nullptr);
    EXPECT_TRUE(copy->isTypeOf("ZelVerticalSwitch"));
    copy->forget();
}

} // namespace
} // namespace zel::test
