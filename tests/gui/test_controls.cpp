// The stock controls' values and gestures: CControl's range, default and
// cross-thread setValue, the knob's drag, wheel and keys, the buttons, the
// rocker, the filmstrip frame choice and the readout's text functions.
#include "GuiTestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <thread>

namespace zel::gui::test {
namespace {

TEST(Control, ValueIsClampedBouncedAndReportedOnlyByValueChanged) {
    RecordingListener listener;
    CControl control(CRect(0, 0, 10, 10), &listener, 7);
    control.setValue(1.5f);
    EXPECT_EQ(control.getValue(), 1.f);
    control.setValue(-3.f);
    EXPECT_EQ(control.getValue(), 0.f);
    EXPECT_TRUE(listener.values.empty()); // setValue only stores

    control.setMin(-2.f);
    control.setMax(2.f);
    control.setValue(1.f);
    EXPECT_FLOAT_EQ(control.getValueNormalized(), 0.75f);
    control.setValueNormalized(0.25f);
    EXPECT_FLOAT_EQ(control.getValue(), -1.f);
    control.setMax(0.5f);
    control.setValue(0.5f);
    control.setMax(0.25f);
    control.bounceValue();
    EXPECT_EQ(control.getValue(), 0.25f);
    control.valueChanged();
    ASSERT_EQ(listener.values.size(), 1u);
    EXPECT_EQ(listener.controls[0], &control);
}

TEST(Control, ControlClickResetsToDefaultInsideAnEditGesture) {
    RecordingListener listener;
    RecordingEditor editor;
    auto* frame = new TestFrame(CRect(0, 0, 20, 20), &editor);
    auto* control = new CControl(CRect(0, 0, 10, 10), &listener, 12);
    frame->addView(control);
    control->setDefaultValue(0.3f);
    control->setValue(0.9f);

    EXPECT_FALSE(control->checkDefaultValue(kLButton));
    EXPECT_FALSE(control->checkDefaultValue(kLButton | kControl | kShift));
    EXPECT_FALSE(control->checkDefaultValue(kRButton | kControl));
    EXPECT_TRUE(listener.values.empty());
    EXPECT_TRUE(control->checkDefaultValue(kLButton | kControl));
    EXPECT_FLOAT_EQ(control->getValue(), 0.3f);
    EXPECT_EQ(listener.values, std::vector<float>{0.3f});
    EXPECT_EQ(editor.gestures, (std::vector<std::string>{"b12", "e12"}));
    // Already at the default: accepted, nothing to report.
    EXPECT_TRUE(control->checkDefaultValue(kLButton | kControl));
    EXPECT_EQ(listener.values.size(), 1u);
    frame->forget();
}

TEST(Control, SetValueFromAnotherThreadMarksDirtyForTheNextIdle) {
    auto* frame = new TestFrame(CRect(0, 0, 20, 20));
    auto* movie = new CMovieBitmap(CRect(0, 0, 10, 10), nullptr, 1, makeFilmstrip(10, 10, 11));
    movie->getBackground()->forget();
    frame->addView(movie);
    frame->idle();
    EXPECT_FALSE(movie->isDirty());
    std::thread writer([movie] {
        for (int i = 0; i <= 1000; ++i) movie->setValue(static_cast<float>(i) / 1000.f);
    });
    writer.join();
    EXPECT_TRUE(movie->isDirty());
    frame->idle();
    EXPECT_FALSE(movie->isDirty());
    EXPECT_EQ(frame->pixel(5, 5), frameColour(10));
    frame->forget();
}

TEST(MovieBitmap, ShowsTheRoundedFrameOfTheNormalizedValue) {
    // 18 frames as the channel display: frame int(value * 17 + 0.5).
    CMovieBitmap movie(CRect(0, 0, 30, 14), nullptr, 35, makeFilmstrip(30, 14, 18));
    movie.getBackground()->forget();
    EXPECT_EQ(movie.getNumSubPixmaps(), 18);
    const struct {
        float value;
        int32_t frame;
    } cases[] = {{0.f, 0},
                 {1.f / 17.f, 1},
                 {0.5f / 17.f - 1e-4f, 0},
                 {0.5f / 17.f + 1e-4f, 1},
                 {16.4f / 17.f, 16},
                 {16.6f / 17.f, 17},
                 {1.f, 17},
                 {2.f, 17}};
    for (const auto& c : cases) {
        movie.setValue(c.value);
        EXPECT_EQ(movie.getFrameIndex(), c.frame) << c.value;
    }
    // Drawing shows that frame.
    COffscreenContext context(30, 14);
    movie.setValue(5.f / 17.f);
    movie.draw(&context);
    EXPECT_EQ(context.getPixel(15, 7), frameColour(5));
    EXPECT_EQ(context.getPixel(0, 13), frameColour(5));
}

class KnobDrag : public ::testing::Test {
protected:
    void SetUp() override {
        frame = new TestFrame(CRect(0, 0, 200, 200), &editor);
        knob = new CAnimKnob(CRect(50, 50, 94, 94), &listener, 17, 101, 44,
                             makeFilmstrip(44, 44, 101));
        knob->getBackground()->forget();
        knob->setDefaultValue(0.1f);
        knob->setValue(0.5f);
        frame->addView(knob);
    }
    void TearDown() override { frame->forget(); }

    RecordingListener listener;
    RecordingEditor editor;
    TestFrame* frame = nullptr;
    CAnimKnob* knob = nullptr;
};

TEST_F(KnobDrag, LinearDragRaisesUpwardsAndBracketsTheGesture) {
    frame->press(70, 70);
    // 20 pixels up of a 200-pixel travel: +0.1.
    frame->move(70, 50, kLButton);
    EXPECT_NEAR(knob->getValue(), 0.6f, 1e-6f); // float steps of 0.1: well inside 1e-6
    frame->move(90, 50, kLButton);              // 20 right adds as much again
    EXPECT_NEAR(knob->getValue(), 0.7f, 1e-6f);
    frame->move(70, 500, kLButton); // far down: clamped
    EXPECT_EQ(knob->getValue(), 0.f);
    frame->release(70, 500);
    EXPECT_EQ(editor.gestures, (std::vector<std::string>{"b17", "e17"}));
    EXPECT_EQ(listener.values.size(), 3u);
    EXPECT_EQ(listener.begins, 1);
    EXPECT_EQ(listener.ends, 1);
}

TEST_F(KnobDrag, ShiftMakesTheDragFineWithoutAJump) {
    frame->press(70, 70);
    frame->move(70, 60, kLButton);
    const float before = knob->getValue();
    frame->move(70, 60, kLButton | kShift); // Shift pressed: no change yet
    EXPECT_EQ(knob->getValue(), before);
    frame->move(70, 40, kLButton | kShift); // 20 pixels at a tenth of the speed
    EXPECT_NEAR(knob->getValue(), before + 0.01f, 1e-6f);
    frame->release(70, 40);
}

TEST_F(KnobDrag, ControlClickResetsWithoutDrag) {
    EXPECT_EQ(frame->press(70, 70, kLButton | kControl),
              kMouseDownEventHandledButDontNeedMovedOrUpEvents);
    EXPECT_FLOAT_EQ(knob->getValue(), 0.1f);
    frame->move(70, 10, kLButton | kControl);
    EXPECT_FLOAT_EQ(knob->getValue(), 0.1f);
    EXPECT_EQ(editor.gestures, (std::vector<std::string>{"b17", "b17", "e17", "e17"}));
}

TEST_F(KnobDrag, CircularModeFollowsTheAngle) {
    editor.knobMode = kCircularMode;
    frame->press(72, 51); // straight above the centre: half way
    EXPECT_NEAR(knob->getValue(), 0.5f, 1e-5f);
    frame->move(122, 72, kLButton); // to the right: 225 - 0 = 225 of 270 degrees
    EXPECT_NEAR(knob->getValue(), 225.f / 270.f, 1e-5f);
    frame->release(122, 72);
}

TEST_F(KnobDrag, WheelAndKeysStepByTheWheelIncrement) {
    knob->setWheelInc(0.05f);
    CPoint where(70, 70);
    EXPECT_TRUE(frame->platformOnMouseWheel(where, 1.f, 0));
    EXPECT_NEAR(knob->getValue(), 0.55f, 1e-6f);
    EXPECT_TRUE(frame->platformOnMouseWheel(where, -2.f, kShift));
    EXPECT_NEAR(knob->getValue(), 0.54f, 1e-6f);
    frame->press(70, 70);
    frame->release(70, 70); // takes focus
    EXPECT_TRUE(frame->key(VKEY_UP));
    EXPECT_NEAR(knob->getValue(), 0.59f, 1e-6f);
    EXPECT_FALSE(frame->key(VKEY_TAB));
    EXPECT_EQ(listener.values.size(), 3u);
}

TEST(AnimKnob, DrawsTheFrameOfItsValueAtTheBitmapOffset) {
    CAnimKnob knob(CRect(0, 0, 10, 10), nullptr, 0, 101, 10, makeFilmstrip(10, 10, 101));
    knob.getBackground()->forget();
    COffscreenContext context(10, 10);
    for (float v : {0.f, 0.25f, 0.504f, 1.f}) {
        knob.setValue(v);
        knob.draw(&context);
        const int frame = static_cast<int>(v * 100 + 0.5f);
        EXPECT_EQ(knob.getFrameIndex(), frame);
        EXPECT_EQ(context.getPixel(5, 5), frameColour(frame)) << v;
    }
    knob.setInverseBitmap(true);
    knob.setValue(0.f);
    EXPECT_EQ(knob.getFrameIndex(), 100);
    EXPECT_TRUE(knob.sizeToFit());
    EXPECT_EQ(knob.getViewSize(), CRect(0, 0, 10, 10));
}

TEST(Buttons, OnOffTogglesAndReportsOnPress) {
    RecordingListener listener;
    auto* frame = new TestFrame(CRect(0, 0, 50, 50));
    auto* button = new COnOffButton(CRect(0, 0, 20, 10), &listener, 4, makeFilmstrip(20, 10, 2));
    button->getBackground()->forget();
    frame->addView(button);
    EXPECT_EQ(frame->press(5, 5), kMouseDownEventHandledButDontNeedMovedOrUpEvents);
    EXPECT_EQ(button->getValue(), 1.f);
    frame->release(5, 5);
    frame->idle();
    EXPECT_EQ(frame->pixel(5, 5), frameColour(1));
    frame->press(5, 5, kRButton); // only the left button
    EXPECT_EQ(button->getValue(), 1.f);
    frame->press(5, 5);
    EXPECT_EQ(listener.values, (std::vector<float>{1.f, 0.f}));
    frame->forget();
}

TEST(Buttons, KickButtonIsPressedWhileHeldOnIt) {
    RecordingListener listener;
    auto* frame = new TestFrame(CRect(0, 0, 50, 50));
    auto* button =
        new CKickButton(CRect(10, 10, 20, 20), &listener, 9, 10, makeFilmstrip(10, 10, 2));
    button->getBackground()->forget();
    frame->addView(button);
    frame->press(15, 15);
    EXPECT_EQ(button->getValue(), 1.f);
    frame->idle();
    EXPECT_EQ(frame->pixel(15, 15), frameColour(1));
    frame->move(40, 40, kLButton); // off the button: released look
    EXPECT_EQ(button->getValue(), 0.f);
    frame->move(15, 15, kLButton);
    frame->release(15, 15);
    EXPECT_EQ(button->getValue(), 0.f);
    EXPECT_EQ(listener.values, (std::vector<float>{1.f, 0.f}));
    frame->forget();
}

TEST(Buttons, RockerGivesMinusOneOrOneAndZeroOnRelease) {
    RecordingListener listener;
    auto* frame = new TestFrame(CRect(0, 0, 100, 100));
    auto* horizontal =
        new CRockerSwitch(CRect(0, 0, 30, 10), &listener, 148, makeFilmstrip(30, 10, 3));
    horizontal->getBackground()->forget();
    auto* vertical = new CRockerSwitch(CRect(50, 50, 60, 70), &listener, 150, 20,
                                       makeFilmstrip(10, 20, 3), CPoint(0, 0), kVertical);
    vertical->getBackground()->forget();
    frame->addView(horizontal);
    frame->addView(vertical);
    EXPECT_EQ(horizontal->getValue(), 0.f);
    frame->press(5, 5);
    EXPECT_EQ(horizontal->getValue(), -1.f);
    frame->idle();
    EXPECT_EQ(frame->pixel(15, 5), frameColour(0));
    frame->release(5, 5);
    frame->idle();
    EXPECT_EQ(frame->pixel(15, 5), frameColour(1));
    frame->press(25, 5);
    EXPECT_EQ(horizontal->getValue(), 1.f);
    frame->release(25, 5);
    frame->press(55, 52);
    frame->release(55, 52);
    frame->press(55, 68);
    frame->release(55, 68);
    EXPECT_EQ(listener.values, (std::vector<float>{-1.f, 0.f, 1.f, 0.f, -1.f, 0.f, 1.f, 0.f}));
    frame->forget();
}

void formatWithUnit(float value, char* text, void* userData) {
    std::snprintf(text, CParamDisplay::kTextSize, "%.1f %s", static_cast<double>(value),
                  static_cast<const char*>(userData));
}

void formatPercent(float value, char* text) {
    std::snprintf(text, CParamDisplay::kTextSize, "%d%%", static_cast<int>(value * 100 + 0.5f));
}

void fillBuffer(float, char* text, void*) {
    std::memset(text, 'x', CParamDisplay::kTextSize); // no terminator of its own
}

TEST(ParamDisplay, TextComesFromTheLastFunctionSet) {
    CParamDisplay display(CRect(0, 0, 52, 11));
    char text[CParamDisplay::kTextSize];
    display.valueToString(0.25f, text);
    EXPECT_STREQ(text, "0.25");
    static char unit[] = "ms";
    display.setStringConvert(formatWithUnit, unit);
    display.valueToString(0.25f, text);
    EXPECT_STREQ(text, "0.2 ms"); // 0.25 rounds to even in printf
    display.setStringConvert(formatPercent);
    display.valueToString(0.25f, text);
    EXPECT_STREQ(text, "25%");
    display.setValueToStringFunction([](float, char out[CParamDisplay::kTextSize], CParamDisplay*) {
        std::snprintf(out, CParamDisplay::kTextSize, "fn");
        return true;
    });
    display.valueToString(0.f, text);
    EXPECT_STREQ(text, "fn");
    display.setStringConvert(fillBuffer, nullptr);
    display.valueToString(0.f, text);
    EXPECT_EQ(std::strlen(text), static_cast<size_t>(CParamDisplay::kTextSize - 1));
}

TEST(ParamDisplay, DrawsBackgroundThenTextInTheFontColour) {
    // The face behind a readout: a plain colour, shown from the readout's offset.
    auto* face = new CBitmap(makeFilmstripPng(100, 50, {CColor{10, 20, 30, 255}}));
    CParamDisplay display(CRect(0, 0, 52, 20), face);
    face->forget();
    display.setBackOffset(CPoint(60, 20));
    display.setFont(kNormalFontBig);
    display.setFontColor(kWhiteCColor);
    display.setStringConvert(formatPercent);
    display.setValue(1.f);
    COffscreenContext context(52, 20);
    display.draw(&context);
    int textPixels = 0, backPixels = 0;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 52; ++x) {
            const CColor c = context.getPixel(x, y);
            if (c == CColor{10, 20, 30, 255}) ++backPixels;
            if (c.red > 200 && c.green > 200) ++textPixels;
        }
    EXPECT_GT(textPixels, 20); // "100%" at 14 pixels
    EXPECT_GT(backPixels, 40 * 20 / 2);
    // Where the bitmap ends (x >= 100 - 60) the face is not drawn.
    EXPECT_EQ(context.getPixel(51, 0).alpha, 0);
}

TEST(TextLabel, ShowsItsTextNotTheValue) {
    CTextLabel label(CRect(0, 0, 60, 16), "Name");
    EXPECT_STREQ(label.getText(), "Name");
    label.setText(nullptr);
    EXPECT_STREQ(label.getText(), "");
    label.setText("Chorale");
    label.setBackColor(kBlackCColor);
    label.setFontColor(kWhiteCColor);
    label.setFont(kNormalFontBig);
    COffscreenContext context(60, 16);
    label.draw(&context);
    int lit = 0;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 60; ++x) lit += context.getPixel(x, y).red > 128;
    EXPECT_GT(lit, 20);
    EXPECT_TRUE(label.isTypeOf("CParamDisplay"));
}

} // namespace
} // namespace zel::gui::test
