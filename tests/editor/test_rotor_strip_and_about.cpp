// The rotor strip (a light band scrolling along a groove) and the about area
// with its about screen.
#include "EditorTestSupport.h"
#include "editor/CAbout.h"
#include "editor/CSplashScreenMyView.h"
#include "editor/ZelMarker.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

namespace zel::test {
namespace {

constexpr CColor kGroove{10, 20, 30, 255};
constexpr CColor kBand{250, 240, 5, 255};
constexpr CColor kFace{90, 90, 90, 255};

struct StripFixture : ::testing::Test {
    static constexpr int kLeft = 50;
    static constexpr int kTop = 20;
    TestFrame* frame = new TestFrame(CRect(0, 0, 401, 100));
    ZelMarker* strip = nullptr;

    StripFixture() {
        CBitmap* face = makeSolid(401, 100, kFace);
        frame->setBackground(face);
        face->forget();
        CBitmap* groove = makeSolid(298, 12, kGroove);
        CBitmap* band = makeSolid(120, 14, kBand);
        strip = new ZelMarker(CRect(kLeft, kTop, kLeft + 298, kTop + 12), nullptr, 142,
                              CPoint(-120, 0), 0.5f, 298, band, groove);
        groove->forget();
        band->forget();
        frame->addView(strip);
    }
    ~StripFixture() override { frame->close(); }

    // Where the band starts and ends along the strip's middle row, in groove
    // pixels (-1 when no band pixel is seen).
    std::pair<int, int> bandExtent() {
        frame->idle();
        int first = -1, last = -1;
        for (int x = 0; x < 298; ++x) {
            if (frame->pixel(kLeft + x, kTop + 6) == kBand) {
                if (first < 0) first = x;
                last = x;
            }
        }
        return {first, last};
    }
};

TEST_F(StripFixture, ValueZeroWithHalfATurnOffsetPutsTheBandsLeftEdgeAt89) {
    strip->setValue(0.f);
    EXPECT_EQ(strip->getHighlightLeft(), 89);
    EXPECT_EQ(bandExtent(), std::make_pair(89, 89 + 119));
    EXPECT_EQ(frame->pixel(kLeft + 88, kTop + 6), kGroove);
    EXPECT_EQ(frame->pixel(kLeft + 209, kTop + 6), kGroove);
}

TEST_F(StripFixture, TheBandMovesRightToLeftAsTheRotorTurnsAndIsClippedToTheGroove) {
    strip->setValue(0.25f); // f = 0.25: floor(0.25 x 418) - 120 = -16
    EXPECT_EQ(bandExtent(), std::make_pair(0, 103));
    strip->setValue(0.75f); // f = 0.75: floor(0.75 x 418) - 120 = 193, the band leaves at the right
    EXPECT_EQ(bandExtent(), std::make_pair(193, 296));
    strip->setValue(0.5f); // f = 1: 298, beyond the groove
    EXPECT_EQ(bandExtent(), std::make_pair(-1, -1));
    // The copy leaves out the groove's last column; the face shows there.
    EXPECT_EQ(frame->pixel(kLeft + 297, kTop + 6), kFace);
    EXPECT_EQ(frame->pixel(kLeft + 296, kTop + 6), kGroove);
    // Nothing is drawn outside the groove's rows (the band is 14 high, the groove 12).
    EXPECT_EQ(frame->pixel(kLeft + 100, kTop + 12), kFace);
}

TEST_F(StripFixture, BandPositionFallsSteadilyOverOneTurn) {
    int previous = 1 << 30;
    for (int i = 1; i <= 100; ++i) {
        strip->setValue(0.5f + static_cast<float>(i) / 200.f); // half a turn from f = 1
        const int left = strip->getHighlightLeft();
        EXPECT_LE(left, previous);
        previous = left;
    }
}

TEST_F(StripFixture, CopyHoldsItsOwnReferencesAndClassChain) {
    CBaseObject* copy = strip->newCopy();
    ASSERT_NE(copy, nullptr);
    EXPECT_TRUE(copy->isTypeOf("ZelMarker"));
    EXPECT_TRUE(copy->isTypeOf("CControl"));
    EXPECT_FALSE(copy->isTypeOf("CParamDisplay"));
    EXPECT_FALSE(strip->wantsFocus());
    const int32_t bandReferences = strip->getHighlight()->getNbReference();
    copy->forget();
    EXPECT_EQ(strip->getHighlight()->getNbReference(), bandReferences - 1);
}

constexpr CColor kAbout{30, 60, 120, 255};

struct AboutFixture : ::testing::Test {
    TestFrame* frame = new TestFrame(CRect(0, 0, 401, 570));
    CAbout* about = nullptr;
    AboutFixture() {
        CBitmap* face = makeSolid(401, 570, kFace);
        frame->setBackground(face);
        face->forget();
        CBitmap* screen = makeSolid(400, 533, kAbout);
        about = new CAbout(CRect(12, 156, 187, 178), nullptr, 147, screen, CRect(0, 0, 400, 533),
                           CPoint(0, 0), CPoint(258, 181));
        screen->forget();
        frame->addView(about);
    }
    ~AboutFixture() override {
        if (frame) frame->close();
    }
    // Pixels of the version string's box that are neither the about colour nor empty.
    int versionPixels() {
        int count = 0;
        for (int y = 181; y < 196; ++y)
            for (int x = 258; x < 338; ++x)
                if (frame->pixel(x, y) != kAbout) ++count;
        return count;
    }
};

TEST_F(AboutFixture, ClickOpensAnyClickClosesAndItOpensAgain) {
    const int64_t liveBefore = CBaseObject::getLiveObjectCount();
    for (int round = 0; round < 2; ++round) {
        frame->click(100, 165);
        EXPECT_EQ(about->getValue(), 1.f);
        ASSERT_NE(frame->getModalView(), nullptr);
        EXPECT_TRUE(frame->getModalView()->isTypeOf("CSplashScreenMyView"));
        EXPECT_EQ(frame->pixelAfterIdle(5, 5), kAbout);
        EXPECT_EQ(frame->pixel(200, 540), kFace) << "the screen covers 400 x 533 only";
        EXPECT_GT(versionPixels(), 20) << "the version string is drawn";

        frame->click(390, 520); // anywhere on the screen, far from the area
        EXPECT_EQ(about->getValue(), 0.f);
        EXPECT_EQ(frame->getModalView(), nullptr);
        EXPECT_EQ(frame->pixelAfterIdle(5, 5), kFace);
        EXPECT_EQ(CBaseObject::getLiveObjectCount(), liveBefore) << "the screen is released";
    }
}

TEST_F(AboutFixture, VersionStringIsDrawnInItsColourInsideItsBox) {
    frame->click(100, 165);
    frame->idle();
    int closest = 1 << 30;
    for (int y = 181; y < 196; ++y)
        for (int x = 258; x < 338; ++x) {
            const CColor c = frame->pixel(x, y);
            closest = std::min(closest, std::abs(c.red - 160) + std::abs(c.green - 159) +
                                            std::abs(c.blue - 157));
        }
    // Antialiased text: its inner pixels have the text colour itself.
    EXPECT_LE(closest, 6);
    int outside = 0;
    for (int x = 200; x < 400; ++x)
        if (frame->pixel(x, 175) != kAbout || frame->pixel(x, 200) != kAbout) ++outside;
    EXPECT_EQ(outside, 0) << "nothing is drawn above or below the version box";
}

TEST_F(AboutFixture, ClosingTheFrameWhileTheScreenShowsLeavesNothingBehind) {
    frame->close();
    frame = nullptr;
    const int64_t liveBefore = CBaseObject::getLiveObjectCount();
    frame = new TestFrame(CRect(0, 0, 401, 570));
    CBitmap* screen = makeSolid(400, 533, kAbout);
    about = new CAbout(CRect(12, 156, 187, 178), nullptr, 147, screen, CRect(0, 0, 400, 533),
                       CPoint(0, 0), CPoint(258, 181));
    screen->forget();
    frame->addView(about);
    frame->click(100, 165);
    ASSERT_NE(frame->getModalView(), nullptr);
    frame->close();
    frame = nullptr;
    EXPECT_EQ(CBaseObject::getLiveObjectCount(), liveBefore);
}

TEST_F(AboutFixture, RightClickDoesNothing) {
    EXPECT_EQ(frame->press(100, 165, kRButton), kMouseEventNotHandled);
    EXPECT_EQ(about->getValue(), 0.f);
    EXPECT_EQ(frame->getModalView(), nullptr);
}

} // namespace
} // namespace zel::test
