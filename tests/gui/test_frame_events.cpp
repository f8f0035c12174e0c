// How the frame routes the window system's events to its views: presses to the
// topmost view, moves and releases to the pressed view, enter and exit,
// double-clicks, the modal view, keyboard focus, redraws and references.
#include "GuiTestSupport.h"

#include <gtest/gtest.h>

namespace zel::gui::test {
namespace {

// A view that logs every event it gets as "<name>:<event>".
class LogView : public CView {
public:
    LogView(const CRect& rect, const char* viewName, std::vector<std::string>& eventLog)
        : CView(rect), name(viewName), log(eventLog) {}

    CMouseEventResult downResult = kMouseEventHandled;
    int32_t keyResult = 1;
    CButtonState lastButtons;
    std::string lastText;

    CMouseEventResult onMouseDown(CPoint&, const CButtonState& buttons) override {
        lastButtons = buttons;
        add(buttons.isDoubleClick() ? "double" : "down");
        return downResult;
    }
    CMouseEventResult onMouseUp(CPoint&, const CButtonState&) override {
        add("up");
        return kMouseEventHandled;
    }
    CMouseEventResult onMouseMoved(CPoint&, const CButtonState& buttons) override {
        add(buttons.isLeftButton() ? "drag" : "move");
        return kMouseEventHandled;
    }
    CMouseEventResult onMouseEntered(CPoint&, const CButtonState&) override {
        add("enter");
        return kMouseEventHandled;
    }
    CMouseEventResult onMouseExited(CPoint&, const CButtonState&) override {
        add("exit");
        return kMouseEventHandled;
    }
    bool onWheel(const CPoint&, const float& distance, const CButtonState&) override {
        add(distance > 0 ? "wheelup" : "wheeldown");
        return true;
    }
    int32_t onKeyDown(VstKeyCode& key) override {
        lastText = key.utf8;
        add(key.virt ? "key" + std::to_string(key.virt) : std::string("text"));
        return keyResult;
    }
    void takeFocus() override { add("focus"); }
    void looseFocus() override { add("blur"); }

private:
    void add(const std::string& event) { log.push_back(name + ":" + event); }
    std::string name;
    std::vector<std::string>& log;
};

class FrameEvents : public ::testing::Test {
protected:
    void SetUp() override {
        frame = new TestFrame(CRect(0, 0, 200, 100));
        // below spans the left half; above overlaps its right part.
        below = new LogView(CRect(0, 0, 100, 100), "below", log);
        above = new LogView(CRect(50, 0, 150, 50), "above", log);
        frame->addView(below);
        frame->addView(above);
    }
    void TearDown() override { frame->forget(); }

    TestFrame* frame = nullptr;
    LogView* below = nullptr;
    LogView* above = nullptr;
    std::vector<std::string> log;
};

using Log = std::vector<std::string>;

TEST_F(FrameEvents, PressGoesToTopmostViewAndMovesAndReleaseFollowIt) {
    frame->press(60, 10);
    frame->move(10, 80, kLButton); // over "below" only, but the press belongs to "above"
    frame->release(10, 80);
    EXPECT_EQ(log, (Log{"above:enter", "above:down", "above:drag", "above:up", "above:exit",
                        "below:enter", "below:move"}));
}

TEST_F(FrameEvents, UnhandledPressFallsThroughToTheViewBelow) {
    above->downResult = kMouseEventNotHandled;
    frame->move(60, 10);
    log.clear();
    frame->press(60, 10);
    frame->release(60, 10);
    EXPECT_EQ(log[0], "above:down");
    EXPECT_EQ(log[1], "below:down");
    EXPECT_EQ(log[2], "below:up");
}

TEST_F(FrameEvents, HandledDoneGetsNoMovesOrRelease) {
    above->downResult = kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    frame->press(60, 10);
    log.clear();
    frame->move(10, 80, kLButton);
    frame->release(10, 80);
    // The press is nobody's any more: the drag goes to the view under the mouse.
    EXPECT_EQ(log, (Log{"above:exit", "below:enter", "below:drag"}));
}

TEST_F(FrameEvents, InvisibleAndDisabledViewsGetNoPress) {
    above->setVisible(false);
    frame->press(60, 10);
    above->setVisible(true);
    above->setMouseEnabled(false);
    frame->press(60, 60);
    EXPECT_EQ(log, (Log{"below:enter", "below:down", "below:down"}));
}

TEST_F(FrameEvents, EnterAndExitFollowTheMouse) {
    frame->move(10, 80);
    frame->move(20, 80);
    frame->move(60, 10);
    frame->move(180, 90); // over no view
    CPoint outside(-5, -5);
    frame->platformOnMouseExited(outside, 0);
    EXPECT_EQ(log, (Log{"below:enter", "below:move", "below:move", "below:exit", "above:enter",
                        "above:move", "above:exit"}));
}

TEST_F(FrameEvents, DoubleClickNeedsTheSameButtonSoonAndNearby) {
    frame->press(60, 10);
    frame->release(60, 10);
    frame->now += 0.2;
    frame->press(61, 11);
    frame->release(61, 11);
    EXPECT_TRUE(above->lastButtons.isDoubleClick());

    // A third quick press starts a new pair.
    frame->now += 0.1;
    frame->press(61, 11);
    EXPECT_FALSE(above->lastButtons.isDoubleClick());
    frame->release(61, 11);

    // Too late.
    frame->now += frame->getDoubleClickTime() + 0.01;
    frame->press(61, 11);
    EXPECT_FALSE(above->lastButtons.isDoubleClick());
    frame->release(61, 11);

    // Too far.
    frame->now += 0.1;
    frame->press(80, 30);
    EXPECT_FALSE(above->lastButtons.isDoubleClick());
    frame->release(80, 30);

    // Another button.
    frame->now += 0.1;
    frame->press(80, 30, kRButton);
    EXPECT_FALSE(above->lastButtons.isDoubleClick());
    frame->release(80, 30, kRButton);

    // Modifiers reach the view with the button.
    frame->now += 1;
    frame->press(80, 30, kLButton | kShift | kControl);
    EXPECT_EQ(above->lastButtons.getModifierState(), kShift | kControl);
}

TEST_F(FrameEvents, ModalViewTakesEveryEventAndIsDrawnOnTop) {
    auto* modal = new LogView(CRect(20, 20, 80, 80), "modal", log);
    modal->setBackground(makeFilmstrip(60, 60, 1));
    modal->getBackground()->forget();
    ASSERT_TRUE(frame->setModalView(modal));
    auto* second = new LogView(CRect(0, 0, 10, 10), "second", log);
    EXPECT_FALSE(frame->setModalView(second)); // one at a time
    second->forget();

    frame->press(120, 90); // outside the modal view: still the modal view's
    frame->release(120, 90);
    frame->move(60, 10);
    CPoint where(60, 10);
    frame->platformOnMouseWheel(where, 1.f, 0);
    frame->setFocusView(below);
    log.clear();
    frame->key(VKEY_RETURN);
    for (const std::string& event : log) EXPECT_EQ(event.rfind("modal:", 0), 0u) << event;
    EXPECT_EQ(log.size(), 1u);

    frame->idle();
    EXPECT_EQ(frame->pixel(50, 50), frameColour(0));

    EXPECT_TRUE(frame->setModalView(nullptr));
    EXPECT_EQ(frame->getModalView(), nullptr);
    EXPECT_EQ(modal->getNbReference(), 1); // handed back to the caller
    modal->forget();
    log.clear();
    frame->press(60, 10);
    EXPECT_EQ(log, (Log{"above:enter", "above:down"}));
}

TEST_F(FrameEvents, KeysGoToTheFocusViewAndAPressGivesFocus) {
    EXPECT_FALSE(frame->key(VKEY_UP)); // nobody has focus
    below->setWantsFocus(true);
    frame->press(10, 80);
    frame->release(10, 80);
    log.clear();
    EXPECT_TRUE(frame->key(VKEY_UP));
    EXPECT_TRUE(frame->text("\xC3\xA9")); // é
    EXPECT_EQ(below->lastText, "\xC3\xA9");
    below->keyResult = -1;
    EXPECT_FALSE(frame->key(VKEY_DOWN));
    EXPECT_EQ(log, (Log{"below:key" + std::to_string(VKEY_UP), "below:text",
                        "below:key" + std::to_string(VKEY_DOWN)}));

    // A press inside the focus view keeps the focus, even on a view above it
    // that does not want it; a press elsewhere takes it away.
    auto focusEvents = [this] {
        Log events;
        for (const std::string& event : log)
            if (event.ends_with(":blur") || event.ends_with(":focus")) events.push_back(event);
        log.clear();
        return events;
    };
    log.clear();
    frame->press(60, 10);
    EXPECT_EQ(frame->getFocusView(), below);
    frame->press(120, 10);
    EXPECT_EQ(frame->getFocusView(), nullptr);
    EXPECT_EQ(focusEvents(), (Log{"below:blur"}));
    frame->press(10, 80);
    EXPECT_EQ(focusEvents(), (Log{"below:focus"}));
    above->setWantsFocus(true);
    frame->press(120, 10);
    EXPECT_EQ(frame->getFocusView(), above);
    EXPECT_EQ(focusEvents(), (Log{"below:blur", "above:focus"}));

    // Losing the window's focus is told to the focus view.
    log.clear();
    frame->platformOnActivate(false);
    EXPECT_EQ(log, (Log{"above:blur"}));
}

TEST_F(FrameEvents, RemovingAViewInItsOwnHandlerIsSafe) {
    class SelfRemover : public CView {
    public:
        using CView::CView;
        CMouseEventResult onMouseDown(CPoint&, const CButtonState&) override {
            getFrame()->removeView(this);
            return kMouseEventHandled;
        }
    };
    const int64_t before = CBaseObject::getLiveObjectCount();
    frame->addView(new SelfRemover(CRect(150, 50, 200, 100)));
    frame->press(160, 60);
    frame->move(161, 61, kLButton);
    frame->release(161, 61);
    EXPECT_EQ(CBaseObject::getLiveObjectCount(), before);
    EXPECT_EQ(frame->getNbViews(), 2);
}

TEST_F(FrameEvents, IdleRedrawsOnlyWhatIsDirty) {
    frame->idle();
    const uint64_t afterFirst = frame->getRedrawCount();
    EXPECT_GE(afterFirst, 1u);
    frame->idle();
    frame->idle();
    EXPECT_EQ(frame->getRedrawCount(), afterFirst); // nothing changed

    auto* knob = new CMovieBitmap(CRect(150, 50, 160, 60), nullptr, 1, makeFilmstrip(10, 10, 2));
    knob->getBackground()->forget();
    frame->addView(knob);
    frame->idle();
    EXPECT_EQ(frame->pixel(155, 55), frameColour(0));
    const uint64_t afterAdd = frame->getRedrawCount();
    knob->setValue(1.f); // as the editor does from any thread
    EXPECT_TRUE(knob->isDirty());
    frame->idle();
    EXPECT_EQ(frame->getRedrawCount(), afterAdd + 1);
    EXPECT_FALSE(knob->isDirty());
    EXPECT_EQ(frame->pixel(155, 55), frameColour(1));
}

TEST(FrameReferences, FrameReleasesItsViewsAndBitmapsAreShared) {
    const int64_t before = CBaseObject::getLiveObjectCount();
    {
        auto* frame = new TestFrame(CRect(0, 0, 50, 50));
        auto* bitmap = makeFilmstrip(10, 10, 3);
        for (int i = 0; i < 5; ++i) {
            auto* view = new CMovieBitmap(CRect(0, 0, 10, 10), nullptr, i, bitmap);
            frame->addView(view); // takes over the creator's reference
        }
        EXPECT_EQ(bitmap->getNbReference(), 6);
        bitmap->forget();
        EXPECT_TRUE(frame->removeView(frame->getView(0)));
        EXPECT_EQ(bitmap->getNbReference(), 4);
        auto* kept = frame->getView(0);
        kept->remember();
        frame->forget();
        EXPECT_EQ(kept->getFrame(), nullptr);
        kept->forget();
    }
    EXPECT_EQ(CBaseObject::getLiveObjectCount(), before);
}

TEST(BaseObject, TypeChainsAndCopies) {
    CMovieBitmap movie(CRect(0, 0, 10, 10), nullptr, 3, nullptr);
    EXPECT_TRUE(movie.isTypeOf("CMovieBitmap"));
    EXPECT_TRUE(movie.isTypeOf("CControl"));
    EXPECT_TRUE(movie.isTypeOf("CView"));
    EXPECT_TRUE(movie.isTypeOf("CBaseObject"));
    EXPECT_FALSE(movie.isTypeOf("CAnimKnob"));
    movie.setValue(0.25f);
    auto* copy = static_cast<CMovieBitmap*>(movie.newCopy());
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->getTag(), 3);
    EXPECT_FLOAT_EQ(copy->getValue(), 0.25f);
    EXPECT_EQ(copy->getNbReference(), 1);
    copy->forget();
}

} // namespace
} // namespace zel::gui::test
