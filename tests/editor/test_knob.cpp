// The editor's knob: the frame it shows for a value (with and without detents),
// dragging with a travel of its own and Shift switching the speed in the middle
// of a drag, the wheel, and Control-click or double-click to the default.
#include "EditorTestSupport.h"
#include "editor/CAnimKnob3.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>

namespace zel::test {
namespace {

constexpr int kFrames = 101;
constexpr int kSide = 4;
constexpr int32_t kTag = 7;

struct KnobFixture : ::testing::Test {
    RecordingEditor editor;
    RecordingListener listener;
    TestFrame* frame = new TestFrame(CRect(0, 0, 100, 100), &editor);
    CAnimKnob3* knob = nullptr;

    void make(int32_t detents = 0, float from = 0.f, float to = 1.f) {
        CBitmap* strip = makeFilmstrip(kSide, kSide, kFrames);
        knob = new CAnimKnob3(CRect(10, 10, 10 + kSide, 10 + kSide), &listener, kTag, kFrames,
                              kSide, strip, CPoint(0, 0), detents, from, to);
        strip->forget();
        frame->addView(knob);
    }
    int shown() { return frame->shownFrame(11, 11); }
    ~KnobFixture() override { frame->close(); }
};

TEST_F(KnobFixture, ContinuousKnobShowsTheNearestOfItsFrames) {
    make();
    for (const auto& [value, expected] :
         {std::pair{0.f, 0}, {0.5f, 50}, {1.f, 100}, {0.004f, 0}, {0.006f, 1}, {0.996f, 100}}) {
        knob->setValue(value);
        EXPECT_EQ(shown(), expected) << "value " << value;
    }
}

TEST_F(KnobFixture, ThreeDetentsOverTheMiddleShowFrames40To60ByValueBand) {
    make(3, 0.4f, 0.6f);
    for (const auto& [value, expected] : {std::pair{0.f, 40},
                                          {0.2499f, 40},
                                          {0.25f, 50},
                                          {0.5f, 50},
                                          {0.7499f, 50},
                                          {0.75f, 60},
                                          {1.f, 60}}) {
        knob->setValue(value);
        EXPECT_EQ(shown(), expected) << "value " << value;
    }
}

TEST_F(KnobFixture, SixDetentsShowOnlySixPositionsOverTheirPartOfTheStrip) {
    make(6, 0.2f, 0.7f);
    std::set<int> seen;
    for (int i = 0; i <= 100; ++i) {
        knob->setValue(static_cast<float>(i) / 100.f);
        seen.insert(shown());
    }
    EXPECT_EQ(seen, (std::set<int>{20, 30, 40, 50, 60, 70}));
}

TEST_F(KnobFixture, DragRaisesRightAndUpAndShiftSlowsItDownWithoutAJump) {
    make();
    knob->setDragScale(0.25f); // 250 pixels for the whole range
    knob->setValue(0.5f);
    frame->press(12, 12);
    // Values are sums of a few float products of size 1: 1e-5 is far above their rounding.
    constexpr float kTolerance = 1e-5f;
    frame->move(62, 12, kLButton); // 50 pixels right: +0.2
    EXPECT_NEAR(knob->getValue(), 0.7f, kTolerance);
    frame->move(62, 12, kLButton | kShift); // Shift pressed here: no change
    EXPECT_NEAR(knob->getValue(), 0.7f, kTolerance);
    frame->move(187, 12, kLButton | kShift); // 125 pixels at 1250 per range: +0.1
    EXPECT_NEAR(knob->getValue(), 0.8f, kTolerance);
    frame->move(187, 12, kLButton); // Shift released: no change
    EXPECT_NEAR(knob->getValue(), 0.8f, kTolerance);
    frame->move(187, -13, kLButton); // 25 pixels up at 250 per range: +0.1
    EXPECT_NEAR(knob->getValue(), 0.9f, kTolerance);
    frame->move(187, 500, kLButton); // far down: clamped at 0
    EXPECT_EQ(knob->getValue(), 0.f);
    frame->release(187, 500);
    EXPECT_EQ(shown(), 0);
    // Every report is one of the positions reached; the Shift switches add at
    // most a rounding step, never a jump.
    ASSERT_FALSE(listener.values.empty());
    EXPECT_EQ(listener.values.back(), 0.f);
    for (float reported : listener.values) {
        const bool known = std::abs(reported - 0.7f) < kTolerance ||
                           std::abs(reported - 0.8f) < kTolerance ||
                           std::abs(reported - 0.9f) < kTolerance || reported == 0.f;
        EXPECT_TRUE(known) << reported;
    }
    EXPECT_EQ(editor.gestures, (std::vector<std::string>{"b7", "e7"}));
}

TEST_F(KnobFixture, ControlClickAndDoubleClickSetTheDefaultAndReportIt) {
    make();
    knob->setDefaultValue(0.25f);
    knob->setValue(0.9f);
    frame->press(12, 12, kLButton | kControl);
    frame->release(12, 12);
    EXPECT_EQ(knob->getValue(), 0.25f);
    EXPECT_EQ(listener.values, std::vector<float>{0.25f});

    knob->setValue(0.6f);
    frame->now += 1.0;
    frame->press(12, 12); // first press of a double-click: a drag that goes nowhere
    frame->release(12, 12);
    EXPECT_EQ(knob->getValue(), 0.6f);
    frame->now += 0.1;
    frame->press(12, 12);
    frame->release(12, 12);
    EXPECT_EQ(knob->getValue(), 0.25f);
    EXPECT_EQ(listener.values, (std::vector<float>{0.25f, 0.25f}));
    EXPECT_EQ(listener.begins, listener.ends) << "every gesture ends";
    EXPECT_EQ(shown(), 25);
}

TEST_F(KnobFixture, WheelNotchesAreClippedToOneAndSmallOnesUsedAsTheyCome) {
    make();
    knob->setWheelStep(0.05f);
    knob->setWheelFineFactor(0.2f);
    knob->setValue(0.5f);
    // One float addition per step: 1e-6 covers its rounding.
    constexpr float kTolerance = 1e-6f;
    frame->wheel(12, 12, 0.05f);
    EXPECT_NEAR(knob->getValue(), 0.5025f, kTolerance);
    frame->wheel(12, 12, 3.f);
    EXPECT_NEAR(knob->getValue(), 0.5525f, kTolerance);
    frame->wheel(12, 12, -3.f);
    EXPECT_NEAR(knob->getValue(), 0.5025f, kTolerance);
    frame->wheel(12, 12, 1.f, kShift);
    EXPECT_NEAR(knob->getValue(), 0.5125f, kTolerance);
    EXPECT_EQ(listener.values.size(), 4u);
    EXPECT_EQ(editor.gestures.size(), 8u) << "each wheel step is one gesture";

    knob->setValue(1.f);
    const size_t reports = listener.values.size();
    frame->wheel(12, 12, 1.f);
    EXPECT_EQ(knob->getValue(), 1.f);
    EXPECT_EQ(listener.values.size(), reports) << "no change at the end, no report";
}

TEST_F(KnobFixture, WithoutLeftButtonOrListenerThePressIsNotTaken) {
    make();
    knob->setValue(0.5f);
    EXPECT_EQ(frame->press(12, 12, kRButton), kMouseEventNotHandled);
    knob->setListener(nullptr);
    EXPECT_EQ(frame->press(12, 12, kLButton | kControl), kMouseEventNotHandled);
    EXPECT_EQ(knob->getValue(), 0.5f);
    EXPECT_TRUE(editor.gestures.empty());
}

} // namespace
} // namespace zel::test
