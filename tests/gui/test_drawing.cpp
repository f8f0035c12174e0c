// Bitmaps from PNG bytes and resource ids, and drawing into image surfaces:
// filmstrip offsets, clipping, text, offscreen copies.
#include "GuiTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <map>
#include <thread>

namespace zel::gui::test {
namespace {

std::map<int32_t, std::vector<uint8_t>>& resourceTable() {
    static std::map<int32_t, std::vector<uint8_t>> table;
    return table;
}

std::span<const uint8_t> lookupResource(int32_t id) {
    auto it = resourceTable().find(id);
    if (it == resourceTable().end()) return {};
    return it->second;
}

class Resources : public ::testing::Test {
protected:
    void SetUp() override { previous = CBitmap::getResourceLookup(); }
    void TearDown() override { CBitmap::setResourceLookup(previous); }
    CBitmap::ResourceLookup previous = nullptr;
};

TEST_F(Resources, BitmapFromIdOrBytesAndZeroSizeWhenMissing) {
    resourceTable()[2003] = makeFilmstripPng(26, 36, frameColours(2));
    resourceTable()[666] = {0x89, 'P', 'N', 'G', 1, 2, 3}; // truncated
    CBitmap::setResourceLookup(nullptr);
    {
        CBitmap noLookup(2003);
        EXPECT_EQ(noLookup.getWidth(), 0);
        EXPECT_FALSE(noLookup.isLoaded());
    }
    CBitmap::setResourceLookup(lookupResource);
    CBitmap stop(2003);
    EXPECT_EQ(stop.getWidth(), 26);
    EXPECT_EQ(stop.getHeight(), 72);
    EXPECT_EQ(stop.getResourceDescription().id, 2003);
    for (int32_t id : {-1, 0, 4000, 666}) {
        CBitmap missing(id);
        EXPECT_EQ(missing.getWidth(), 0) << id;
        EXPECT_EQ(missing.getHeight(), 0) << id;
        COffscreenContext context(4, 4);
        missing.draw(&context, CRect(0, 0, 4, 4)); // draws nothing, no crash
        EXPECT_EQ(context.getPixel(1, 1).alpha, 0);
    }
    const std::array<uint8_t, 0> none{};
    EXPECT_FALSE(CBitmap(std::span<const uint8_t>(none)).isLoaded());
    // Any prefix of a valid PNG is rejected cleanly.
    const auto& png = resourceTable()[2003];
    for (size_t length = 0; length < png.size(); length += 7)
        EXPECT_FALSE(CBitmap(std::span<const uint8_t>(png.data(), length)).isLoaded()) << length;
}

// A resource bitmap knows its size from the PNG header alone and decodes its
// pixels on first use; a body that then fails to decode leaves it 0 x 0.
TEST_F(Resources, ResourceBitmapDecodesOnFirstUse) {
    const std::vector<uint8_t> png = makeFilmstripPng(5, 3, frameColours(2));
    auto& table = resourceTable();
    table[2101] = png;
    // The header and a little of the body: the size reads, the decode fails.
    constexpr size_t kHeaderBytes = 33;
    table[2102] = std::vector<uint8_t>(png.begin(), png.begin() + kHeaderBytes + 8);
    // The compressed pixels garbled (their chunk's CRC no longer matches).
    std::vector<uint8_t> garbled = png;
    const std::array<uint8_t, 4> idat{'I', 'D', 'A', 'T'};
    auto data = std::search(garbled.begin(), garbled.end(), idat.begin(), idat.end());
    ASSERT_NE(data, garbled.end());
    for (auto it = data + 4; it != garbled.end() && it != data + 20; ++it) *it ^= 0x5a;
    table[2103] = garbled;
    CBitmap::setResourceLookup(lookupResource);

    CBitmap strip(2101);
    EXPECT_TRUE(strip.isDecodePending());
    EXPECT_EQ(strip.getWidth(), 5);
    EXPECT_EQ(strip.getHeight(), 6);
    EXPECT_TRUE(strip.isDecodePending()); // the size did not decode anything
    COffscreenContext context(8, 8);
    strip.draw(&context, CRect(0, 0, 5, 6));
    EXPECT_FALSE(strip.isDecodePending());
    EXPECT_EQ(context.getPixel(1, 1), frameColour(0));
    EXPECT_EQ(context.getPixel(4, 5), frameColour(1));
    EXPECT_EQ(context.getPixel(6, 1).alpha, 0);
    EXPECT_TRUE(strip.isLoaded());
    EXPECT_EQ(strip.getWidth(), 5);
    EXPECT_EQ(strip.getHeight(), 6);

    for (int32_t id : {2102, 2103}) {
        CBitmap broken(id);
        EXPECT_EQ(broken.getWidth(), 5) << id; // the header is sound
        EXPECT_TRUE(broken.isDecodePending()) << id;
        COffscreenContext target(8, 8);
        broken.draw(&target, CRect(0, 0, 5, 6)); // draws nothing, no crash
        EXPECT_FALSE(broken.isDecodePending()) << id;
        EXPECT_EQ(target.getPixel(1, 1).alpha, 0) << id;
        EXPECT_EQ(broken.getWidth(), 0) << id;
        EXPECT_EQ(broken.getHeight(), 0) << id;
        EXPECT_FALSE(broken.isLoaded()) << id;
        EXPECT_EQ(broken.getSurface(), nullptr) << id;
    }
}

// Headers that do not describe an image give 0 x 0 at once: short ones, a wrong
// signature, a first chunk that is not a 13-byte IHDR, sides of zero or too large.
TEST_F(Resources, ResourceBitmapWithABadHeaderIsEmpty) {
    const std::vector<uint8_t> png = makeFilmstripPng(5, 3, frameColours(2));
    constexpr size_t kLengthAt = 8, kTypeAt = 12, kWidthAt = 16, kHeightAt = 20;
    std::vector<std::vector<uint8_t>> bad;
    for (size_t length : {0, 1, 7, 8, 15, 16, 23, 24, 32})
        bad.emplace_back(png.begin(), png.begin() + static_cast<std::ptrdiff_t>(length));
    auto altered = [&](size_t at, uint8_t value) {
        std::vector<uint8_t> copy = png;
        copy[at] = value;
        bad.push_back(copy);
    };
    altered(1, 'Q');            // signature
    altered(kLengthAt + 3, 12); // IHDR length
    altered(kTypeAt + 3, 'X');  // chunk type
    std::vector<uint8_t> zeroWidth = png;
    std::fill_n(zeroWidth.begin() + static_cast<std::ptrdiff_t>(kWidthAt), 4, uint8_t{0});
    bad.push_back(zeroWidth);
    altered(kHeightAt + 1, 0x80); // height beyond any image surface
    auto& table = resourceTable();
    for (size_t i = 0; i < bad.size(); ++i) table[static_cast<int32_t>(2200 + i)] = bad[i];
    CBitmap::setResourceLookup(lookupResource);

    for (size_t i = 0; i < bad.size(); ++i) {
        CBitmap empty(static_cast<int32_t>(2200 + i));
        EXPECT_EQ(empty.getWidth(), 0) << i;
        EXPECT_EQ(empty.getHeight(), 0) << i;
        EXPECT_FALSE(empty.isDecodePending()) << i;
        COffscreenContext target(8, 8);
        empty.draw(&target, CRect(0, 0, 8, 8));
        EXPECT_EQ(target.getPixel(1, 1).alpha, 0) << i;
        EXPECT_FALSE(empty.isLoaded()) << i;
    }
}

// Two threads asking for the pixels at once get the one decoded surface.
TEST_F(Resources, ConcurrentFirstUseDecodesOnce) {
    resourceTable()[2301] = makeFilmstripPng(16, 16, frameColours(4));
    CBitmap::setResourceLookup(lookupResource);
    CBitmap shared(2301);
    cairo_surface_t* seen[2] = {nullptr, nullptr};
    std::thread other([&] { seen[1] = shared.getSurface(); });
    seen[0] = shared.getSurface();
    other.join();
    EXPECT_NE(seen[0], nullptr);
    EXPECT_EQ(seen[0], seen[1]);
    EXPECT_EQ(shared.getHeight(), 64);
}

TEST(Drawing, FilmstripFrameByOffsetAndClippedToTheRect) {
    auto* strip = makeFilmstrip(8, 6, 4);
    COffscreenContext context(20, 20);
    strip->draw(&context, CRect(2, 3, 10, 9), CPoint(0, 2 * 6)); // frame 2
    EXPECT_EQ(context.getPixel(2, 3), frameColour(2));
    EXPECT_EQ(context.getPixel(9, 8), frameColour(2));
    EXPECT_EQ(context.getPixel(10, 8).alpha, 0); // right of the rect
    EXPECT_EQ(context.getPixel(5, 9).alpha, 0);  // below: frame 3 is not drawn
    EXPECT_EQ(context.getPixel(1, 3).alpha, 0);

    // The context's clip cuts further.
    COffscreenContext clipped(20, 20);
    clipped.setClipRect(CRect(0, 0, 5, 5));
    strip->draw(&clipped, CRect(2, 3, 10, 9), CPoint(0, 6));
    EXPECT_EQ(clipped.getPixel(4, 4), frameColour(1));
    EXPECT_EQ(clipped.getPixel(5, 4).alpha, 0);
    EXPECT_EQ(clipped.getPixel(4, 5).alpha, 0);

    // Half opacity.
    COffscreenContext faded(10, 10);
    strip->draw(&faded, CRect(0, 0, 8, 6), CPoint(0, 0), 0.5f);
    EXPECT_NEAR(faded.getPixel(1, 1).alpha, 128, 1); // 255 * 0.5 rounded either way
    strip->forget();
}

TEST(Drawing, ShapesAndLinesInTheirColours) {
    COffscreenContext context(20, 20);
    context.setFillColor(kRedCColor);
    context.fillRect(CRect(0, 0, 10, 10));
    context.setFrameColor(kBlueCColor);
    context.frameRect(CRect(10, 10, 20, 20));
    context.drawLine(CPoint(0, 15), CPoint(9, 15));
    EXPECT_EQ(context.getPixel(9, 9), kRedCColor);
    EXPECT_EQ(context.getPixel(10, 10), kBlueCColor);
    EXPECT_EQ(context.getPixel(19, 19), kBlueCColor);
    EXPECT_EQ(context.getPixel(15, 15).alpha, 0); // frame only
    EXPECT_EQ(context.getPixel(4, 15), kBlueCColor);
    EXPECT_EQ(context.getPixel(4, 16).alpha, 0); // one pixel wide
}

TEST(Drawing, TextRendersInTheLiberationFaceWithAlignment) {
    CFontDesc arial("Arial", 12, kBoldFace);
    EXPECT_STREQ(arial.getPlatformFamily(), "Liberation Sans");
    EXPECT_STREQ(CFontDesc("Courier New", 10).getPlatformFamily(), "Liberation Mono");

    auto inkColumns = [](COffscreenContext& c, int width, int height, int& first, int& last) {
        first = width;
        last = -1;
        int ink = 0;
        for (int x = 0; x < width; ++x)
            for (int y = 0; y < height; ++y)
                if (c.getPixel(x, y).alpha > 100) {
                    first = std::min(first, x);
                    last = std::max(last, x);
                    ++ink;
                }
        return ink;
    };
    int first = 0, last = 0;
    COffscreenContext left(100, 20);
    left.setFont(&arial);
    left.setFontColor(kBlackCColor);
    const CCoord width = left.getStringWidth("Chorale");
    EXPECT_GT(width, 30); // seven bold 12-pixel letters
    EXPECT_LT(width, 60);
    left.drawString("Chorale", CRect(0, 0, 100, 20), kLeftText);
    EXPECT_GT(inkColumns(left, 100, 20, first, last), 40);
    EXPECT_LE(first, 2);

    COffscreenContext right(100, 20);
    right.setFont(&arial);
    right.drawString("Chorale", CRect(0, 0, 100, 20), kRightText);
    inkColumns(right, 100, 20, first, last);
    EXPECT_GE(last, 96);
    EXPECT_GT(first, 30);

    COffscreenContext centred(100, 20);
    centred.setFont(&arial);
    centred.drawString("Chorale", CRect(0, 0, 100, 20), kCenterText);
    inkColumns(centred, 100, 20, first, last);
    EXPECT_NEAR((first + last) / 2.0, 50, 3); // ink of a centred word, a glyph's bearing off

    // Text is clipped to its rectangle.
    COffscreenContext clipped(100, 20);
    clipped.setFont(&arial);
    clipped.drawString("Chorale Tremolo Stop", CRect(0, 0, 30, 20), kLeftText);
    inkColumns(clipped, 100, 20, first, last);
    EXPECT_LT(last, 30);
}

TEST(Drawing, ContextStateIsSavedAndRestored) {
    COffscreenContext context(10, 10);
    context.setFillColor(kRedCColor);
    context.setFont(kNormalFontBig, 20, kItalicFace);
    EXPECT_EQ(context.getFont()->getSize(), 20);
    EXPECT_EQ(kNormalFontBig->getSize(), 14); // the stock font is not changed
    context.saveGlobalState();
    context.setFillColor(kBlueCColor);
    context.setClipRect(CRect(0, 0, 2, 2));
    context.setFont(kNormalFontSmall);
    context.restoreGlobalState();
    EXPECT_EQ(context.getFillColor(), kRedCColor);
    EXPECT_EQ(context.getClipRect(), CRect(0, 0, 10, 10));
    EXPECT_EQ(context.getFont()->getSize(), 20);
    EXPECT_EQ(context.getFont()->getStyle(), kItalicFace);
}

TEST(Drawing, OffscreenCopiesIntoAnotherContextWithSourceOffset) {
    auto* offscreen = new COffscreenContext(30, 12);
    offscreen->setFillColor(kGreenCColor);
    offscreen->fillRect(CRect(0, 0, 15, 12));
    offscreen->setFillColor(kRedCColor);
    offscreen->fillRect(CRect(15, 0, 30, 12));
    COffscreenContext target(40, 20);
    offscreen->copyFrom(&target, CRect(5, 5, 25, 17), CPoint(10, 0));
    EXPECT_EQ(target.getPixel(5, 5), kGreenCColor); // source x 10
    EXPECT_EQ(target.getPixel(10, 16), kRedCColor); // source x 15
    EXPECT_EQ(target.getPixel(24, 10), kRedCColor);
    EXPECT_EQ(target.getPixel(25, 10).alpha, 0); // right of the destination
    EXPECT_EQ(target.getPixel(4, 10).alpha, 0);
    offscreen->forget();
}

TEST(Drawing, FrameDrawsViewsInOrderClippedToEachView) {
    auto* frame = new TestFrame(CRect(0, 0, 40, 40));
    frame->setBackground(makeFilmstrip(40, 40, 1));
    frame->getBackground()->forget();
    // A view whose draw spills outside its rectangle is cut at its edges.
    class Spiller : public CView {
    public:
        using CView::CView;
        void draw(CDrawContext* context) override {
            context->setFillColor(kRedCColor);
            context->fillRect(CRect(0, 0, 40, 40));
        }
    };
    frame->addView(new Spiller(CRect(10, 10, 20, 20)));
    auto* cover = new CMovieBitmap(CRect(15, 15, 25, 25), nullptr, 0, makeFilmstrip(10, 10, 3));
    cover->getBackground()->forget();
    frame->addView(cover);
    frame->idle();
    EXPECT_EQ(frame->pixel(5, 5), frameColour(0));   // background
    EXPECT_EQ(frame->pixel(12, 12), kRedCColor);     // the spiller inside itself
    EXPECT_EQ(frame->pixel(21, 12), frameColour(0)); // ... and not beyond
    EXPECT_EQ(frame->pixel(17, 17), frameColour(0)); // the later view above it
    frame->forget();
}

} // namespace
} // namespace zel::gui::test
