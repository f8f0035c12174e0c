// What the bitmaps show: the knob's pointer turns evenly through its travel, the
// lever's handle follows the mouse band, each frame of a switch differs where it
// should, and the face leaves readouts and the name field legible.
#include "PngImage.h"
#include "resources/BitmapTable.h"
#include "resources/Resources.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

namespace zel::resources {
namespace {

using test::contrast;
using test::luminance;
using test::PngImage;
using test::Rgba;

PngImage load(int32_t id) {
    auto image = PngImage::decode(findPng(id));
    if (!image) {
        ADD_FAILURE() << "bitmap " << id << " does not decode";
        return *PngImage::decode(findPng(kUserManualBitmap));
    }
    return *image;
}

bool samePixel(Rgba a, Rgba b) {
    return a.r == b.r && a.g == b.g && a.b == b.b && a.a == b.a;
}

// How many pixels of frames a and b differ, in columns x0 .. x1 - 1.
int differingPixels(const PngImage& image, int frameHeight, int a, int b, int x0, int x1) {
    int count = 0;
    for (int y = 0; y < frameHeight; ++y)
        for (int x = x0; x < x1; ++x)
            count += !samePixel(image.at(x, a * frameHeight + y), image.at(x, b * frameHeight + y));
    return count;
}

TEST(KnobPicture, PointerTurnsClockwiseFromSevenToFiveOClock) {
    const PngImage knob = load(kKnobBitmap);
    constexpr int kFrames = 101, kSize = 44;
    constexpr double kCentre = kSize / 2.0;
    double previous = -1000.0;
    for (int k = 0; k < kFrames; ++k) {
        // The pointer is the only near-white part of the knob: its centroid lies on
        // the pointer's axis.
        double sx = 0, sy = 0, n = 0;
        for (int y = 0; y < kSize; ++y)
            for (int x = 0; x < kSize; ++x) {
                const Rgba p = knob.at(x, k * kSize + y);
                if (p.a > 200 && luminance(p) > 0.6) {
                    sx += x + 0.5 - kCentre;
                    sy += y + 0.5 - kCentre;
                    ++n;
                }
            }
        ASSERT_GT(n, 10) << "no pointer in frame " << k;
        // Clockwise from 12 o'clock, in degrees.
        const double angle = std::atan2(sx / n, -sy / n) * 180.0 / std::numbers::pi;
        const double expected = -150.0 + 3.0 * k;
        // Anti-aliasing and the pixel grid move the centroid of a 2 px line by well
        // under a pixel at a radius of ~11 px: about 2 degrees at most.
        EXPECT_NEAR(angle, expected, 2.0) << "frame " << k;
        EXPECT_GT(angle, previous) << "frame " << k;
        previous = angle;
    }
}

TEST(LeverPicture, HandleTravelsDownThroughTheMouseBand) {
    const PngImage lever = load(kSpeedLeverBitmap);
    constexpr int kFrames = 65, kWidth = 55, kHeight = 186;
    constexpr double kBandTop = 38.0, kBandBottom = 152.0;
    double previous = -1.0;
    for (int k = 0; k < kFrames; ++k) {
        // The handle is the opaque dark ball; the shaft is bright and the shadows
        // are translucent.
        double sy = 0, n = 0;
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) {
                const Rgba p = lever.at(x, k * kHeight + y);
                if (p.a == 255 && luminance(p) < 0.05) {
                    sy += y + 0.5;
                    ++n;
                }
            }
        ASSERT_GT(n, 50) << "no handle in frame " << k;
        const double handle = sy / n;
        EXPECT_GT(handle, previous) << "frame " << k;
        previous = handle;
        // The handle's centre stands where the mouse is for this frame: the lever
        // swings from +40 to -40 degrees, so its height follows the sine.
        const double angle = (40.0 - 80.0 * k / (kFrames - 1)) * std::numbers::pi / 180.0;
        const double expected =
            (kBandTop + kBandBottom) / 2 - (kBandBottom - kBandTop) / 2 * std::sin(angle) /
                                               std::sin(40.0 * std::numbers::pi / 180.0);
        // The ball's highlight and the shaft under it shift the centroid of the dark
        // pixels a little off the geometric centre.
        EXPECT_NEAR(handle, expected, 3.0) << "frame " << k;
    }
}

TEST(SwitchPictures, EveryFrameOfASwitchShowsSomethingElse) {
    for (const BitmapInfo& info : kBitmaps) {
        if (info.frames < 2) continue;
        SCOPED_TRACE(info.id);
        const PngImage image = load(info.id);
        for (int a = 0; a < info.frames; ++a)
            for (int b = a + 1; b < info.frames; ++b)
                EXPECT_GT(differingPixels(image, info.frameHeight(), a, b, 0, info.width), 0)
                    << "frames " << a << " and " << b << " are the same";
    }
}

TEST(SwitchPictures, RockerLightsTheHalfUnderTheMouse) {
    const PngImage rocker = load(kRockerBitmap);
    constexpr int kHeight = 14, kHalf = 15, kWidth = 31;
    // Frames: 1 hover left, 2 hover right, 3 left pressed, 4 right pressed.
    for (int frame : {1, 3}) {
        EXPECT_GT(differingPixels(rocker, kHeight, 0, frame, 0, kHalf), 0) << frame;
        EXPECT_EQ(differingPixels(rocker, kHeight, 0, frame, kHalf + 1, kWidth), 0) << frame;
    }
    for (int frame : {2, 4}) {
        EXPECT_EQ(differingPixels(rocker, kHeight, 0, frame, 0, kHalf), 0) << frame;
        EXPECT_GT(differingPixels(rocker, kHeight, 0, frame, kHalf + 1, kWidth), 0) << frame;
    }
}

struct Rect {
    int x, y, w, h;
};

// The brightest and the darkest luminance of the face inside r.
std::pair<double, double> luminanceRange(const PngImage& face, Rect r) {
    double low = 1.0, high = 0.0;
    for (int y = r.y; y < r.y + r.h; ++y)
        for (int x = r.x; x < r.x + r.w; ++x) {
            const double l = luminance(face.at(x, y));
            low = std::min(low, l);
            high = std::max(high, l);
        }
    return {low, high};
}

TEST(FacePicture, ReadoutsStandOnDarkGroundForWhiteText) {
    const PngImage face = load(kFaceBitmap);
    // Every readout of the editor, 52 x 11 at its top-left corner.
    const std::vector<std::pair<int, int>> readouts{
        {16, 102}, {61, 102},  {130, 102}, {175, 102}, {244, 102}, {289, 102}, {334, 102},
        {12, 251}, {70, 251},  {115, 251}, {160, 251}, {205, 251}, {265, 251}, {265, 262},
        {16, 352}, {61, 352},  {106, 352}, {174, 352}, {219, 352}, {264, 352}, {16, 494},
        {61, 494}, {130, 494}, {175, 494}, {244, 494}, {289, 494}, {334, 494}};
    const double white = luminance({255, 255, 255, 255});
    for (auto [x, y] : readouts) {
        const auto [low, high] = luminanceRange(face, {x, y, 52, 11});
        // 9 px text wants a strong contrast everywhere behind it (7:1 is the
        // usual bar for small text).
        EXPECT_GE(contrast(white, high), 7.0) << "readout at " << x << ", " << y;
    }
}

TEST(FacePicture, NameFieldIsLightForDarkText) {
    const PngImage face = load(kFaceBitmap);
    const double text = luminance({36, 36, 32, 255});
    const auto [low, high] = luminanceRange(face, {147, 555, 114, 13});
    EXPECT_GE(contrast(text, low), 7.0);
}

TEST(AboutPicture, VersionTextHasACalmDarkSpot) {
    const PngImage about = load(kAboutBitmap);
    const double grey = luminance({160, 159, 157, 255});
    const auto [low, high] = luminanceRange(about, {258, 181, 80, 15});
    EXPECT_GE(contrast(grey, high), 4.5);
    // Nothing is drawn there: only the panel's faint texture.
    EXPECT_LT(high - low, 0.02);
}

} // namespace
} // namespace zel::resources
