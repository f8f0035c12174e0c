// The views that come up as the frame's modal view: the option menu's pop-up
// list, the splash screen and the alert box.
#include "GuiTestSupport.h"

#include <gtest/gtest.h>

#include <string>

namespace zel::gui::test {
namespace {

class OptionMenuPopup : public ::testing::Test {
protected:
    void SetUp() override {
        frame = new TestFrame(CRect(0, 0, 401, 570), &editor);
        // Where the preset panel has it: near the bottom edge.
        menu = new COptionMenu(CRect(263, 554, 275, 568), &listener, 161, nullptr, nullptr,
                               kNoFrame | kRoundRectStyle | kNoTextStyle | kNoDrawStyle);
        for (int i = 0; i < 32; ++i) menu->addEntry(("Program " + std::to_string(i)).c_str());
        menu->setNbItemsPerColumn(8);
        menu->setCurrent(3);
        frame->addView(menu);
    }
    void TearDown() override { frame->forget(); }

    // Centre of entry index in the open list.
    CPoint entryCentre(int index) {
        const CRect list = frame->getModalView()->getViewSize();
        const int columns = 4;
        const CCoord columnWidth = (list.getWidth() - 2) / columns;
        return CPoint(list.left + 1 + (index / 8 + 0.5) * columnWidth,
                      list.top + 1 + (index % 8 + 0.5) * 16);
    }

    RecordingEditor editor;
    RecordingListener listener;
    TestFrame* frame = nullptr;
    COptionMenu* menu = nullptr;
};

TEST_F(OptionMenuPopup, EntriesTitlesAndCurrent) {
    EXPECT_EQ(menu->getNbEntries(), 32);
    EXPECT_EQ(menu->getCurrentIndex(), 3);
    EXPECT_FLOAT_EQ(menu->getValue(), 3.f);
    EXPECT_STREQ(menu->getEntry(31)->getTitle(), "Program 31");
    EXPECT_EQ(menu->getEntry(32), nullptr);
    EXPECT_STREQ(menu->getEntryTitle(-1), "");
    EXPECT_TRUE(menu->setEntryTitle(3, "Renamed"));
    EXPECT_STREQ(menu->getCurrent()->getTitle(), "Renamed");
    EXPECT_FALSE(menu->setCurrent(32));
    EXPECT_EQ(menu->getCurrentIndex(), 3);
}

TEST_F(OptionMenuPopup, ClickOnAnEntryMakesItCurrentAndReportsIt) {
    frame->press(268, 560);
    frame->release(268, 560);
    ASSERT_TRUE(menu->isPopupOpen());
    const CRect list = frame->getModalView()->getViewSize();
    // Four columns of eight above the button, inside the frame.
    EXPECT_LE(list.bottom, 554);
    EXPECT_GE(list.left, 0);
    EXPECT_LE(list.right, 401);
    EXPECT_NEAR(list.getHeight(), 8 * 16 + 2, 0.01);
    frame->idle();
    frame->getOffscreenContext()->writePng(ZEL_BINARY_DIR "/gui-option-menu.png");

    const CPoint target = entryCentre(21); // column 2, row 5
    frame->move(target.x, target.y);
    frame->press(target.x, target.y);
    frame->release(target.x, target.y);
    EXPECT_FALSE(menu->isPopupOpen());
    EXPECT_EQ(frame->getModalView(), nullptr);
    EXPECT_EQ(menu->getCurrentIndex(), 21);
    EXPECT_EQ(menu->getLastResult(), 21);
    EXPECT_EQ(listener.values, std::vector<float>{21.f});
    EXPECT_EQ(editor.gestures, (std::vector<std::string>{"b161", "e161"}));
}

TEST_F(OptionMenuPopup, ClickOutsideOrEscapeClosesWithoutChange) {
    const int64_t before = CBaseObject::getLiveObjectCount();
    frame->press(268, 560);
    frame->release(268, 560);
    ASSERT_TRUE(menu->isPopupOpen());
    frame->press(5, 5);
    frame->release(5, 5);
    EXPECT_FALSE(menu->isPopupOpen());

    frame->press(268, 560);
    frame->release(268, 560);
    ASSERT_TRUE(menu->isPopupOpen());
    EXPECT_TRUE(frame->key(VKEY_ESCAPE));
    EXPECT_FALSE(menu->isPopupOpen());
    EXPECT_EQ(menu->getCurrentIndex(), 3);
    EXPECT_TRUE(listener.values.empty());
    EXPECT_EQ(CBaseObject::getLiveObjectCount(), before); // the lists are gone

    // Keys choose too: Down from the current entry, then Return.
    frame->press(268, 560);
    frame->release(268, 560);
    frame->key(VKEY_DOWN);
    frame->key(VKEY_RETURN);
    EXPECT_EQ(menu->getCurrentIndex(), 4);
}

TEST_F(OptionMenuPopup, ClosingTheFrameWithTheListOpenReleasesEverything) {
    const int64_t before = CBaseObject::getLiveObjectCount();
    auto* other = new TestFrame(CRect(0, 0, 100, 100));
    auto* small = new COptionMenu(CRect(0, 0, 10, 10), nullptr, 1);
    small->addEntry("a");
    small->addEntry("b");
    other->addView(small);
    other->press(5, 5);
    EXPECT_TRUE(small->isPopupOpen());
    other->forget();
    EXPECT_EQ(CBaseObject::getLiveObjectCount(), before);
}

TEST(SplashScreen, ShowsItsPictureAsModalViewUntilClicked) {
    RecordingListener listener;
    auto* frame = new TestFrame(CRect(0, 0, 100, 100));
    auto* picture = makeFilmstrip(60, 60, 2);
    auto* splash = new CSplashScreen(CRect(0, 0, 20, 10), &listener, 147, picture,
                                     CRect(20, 20, 80, 80), CPoint(0, 60));
    picture->forget();
    frame->addView(splash);
    frame->idle();
    EXPECT_EQ(frame->pixel(50, 50), kBlackCColor); // no background: black

    frame->press(5, 5);
    frame->release(5, 5);
    EXPECT_EQ(splash->getValue(), 1.f);
    EXPECT_EQ(frame->getModalView(), splash->getSplashView());
    frame->idle();
    EXPECT_EQ(frame->pixel(50, 50), frameColour(1));

    frame->press(50, 50); // any click on it closes it
    frame->release(50, 50);
    EXPECT_EQ(splash->getValue(), 0.f);
    EXPECT_EQ(frame->getModalView(), nullptr);
    frame->idle();
    EXPECT_EQ(frame->pixel(50, 50), kBlackCColor);

    frame->press(5, 5); // and again
    EXPECT_EQ(frame->getModalView(), splash->getSplashView());
    splash->unSplash();
    EXPECT_EQ(frame->getModalView(), nullptr);
    EXPECT_EQ(listener.values, (std::vector<float>{1.f, 1.f}));
    frame->forget();
}

TEST(AlertBox, OkOrReturnClosesItAndTellsTheCallbackOnce) {
    const int64_t before = CBaseObject::getLiveObjectCount();
    auto* frame = new TestFrame(CRect(0, 0, 401, 570));
    int closed = 0;
    ASSERT_TRUE(CAlertBox::show(frame, "Could not open manual file",
                                "Make sure Acrobat Reader is installed",
                                [&closed](CAlertBox*) { ++closed; }));
    auto* box = static_cast<CAlertBox*>(frame->getModalView());
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->isTypeOf("CAlertBox"));
    EXPECT_FALSE(CAlertBox::show(frame, "second", "no")); // one modal view at a time
    frame->idle();
    frame->getOffscreenContext()->writePng(ZEL_BINARY_DIR "/gui-alert-box.png");

    // A click beside the button does nothing; one on it closes the box.
    const CRect button = box->getButtonRect();
    frame->press(button.left - 20, button.top + 5);
    frame->release(button.left - 20, button.top + 5);
    EXPECT_EQ(closed, 0);
    frame->press(button.getCenter().x, button.getCenter().y);
    EXPECT_EQ(closed, 0); // on release, as a button does
    frame->release(button.getCenter().x, button.getCenter().y);
    EXPECT_EQ(closed, 1);
    EXPECT_EQ(frame->getModalView(), nullptr);

    ASSERT_TRUE(CAlertBox::show(frame, "", "Could not open user manual",
                                [&closed](CAlertBox*) { ++closed; }));
    EXPECT_TRUE(frame->key(VKEY_RETURN));
    EXPECT_FALSE(frame->key(VKEY_RETURN)); // gone
    EXPECT_EQ(closed, 2);
    frame->forget();
    EXPECT_EQ(CBaseObject::getLiveObjectCount(), before);
}

} // namespace
} // namespace zel::gui::test
