// The compiled-in bitmaps: every id the editor loads is there, is a PNG of the
// size its controls count on, and splits evenly into its frames.
#include "PngImage.h"
#include "resources/BitmapTable.h"
#include "resources/EmbeddedPng.h"
#include "resources/Resources.h"

#include <gtest/gtest.h>

#include <set>

namespace zel::resources {
namespace {

using test::PngImage;

TEST(BitmapTable, EveryBitmapIsAPngOfItsSizeAndFrames) {
    std::set<int32_t> ids;
    for (const BitmapInfo& info : kBitmaps) {
        SCOPED_TRACE(info.id);
        EXPECT_TRUE(ids.insert(info.id).second) << "id listed twice";
        const std::span<const uint8_t> png = findPng(info.id);
        ASSERT_FALSE(png.empty());
        const auto header = PngImage::readHeader(png);
        ASSERT_TRUE(header.has_value());
        EXPECT_EQ(header->width, info.width);
        EXPECT_EQ(header->height, info.height);
        EXPECT_EQ(info.height % info.frames, 0);
        // The whole file decodes, so the bytes were embedded completely.
        const auto image = PngImage::decode(png);
        ASSERT_TRUE(image.has_value());
        EXPECT_EQ(image->height(), info.height);
    }
}

TEST(BitmapTable, FrameSizesOfTheControls) {
    // The sizes the editor's layout is built on.
    auto frame = [](int32_t id) {
        for (const BitmapInfo& info : kBitmaps)
            if (info.id == id) return std::pair{info.width, info.frameHeight()};
        return std::pair{0, 0};
    };
    EXPECT_EQ(frame(kKnobBitmap), (std::pair{44, 44}));
    EXPECT_EQ(frame(kSpeedLeverBitmap), (std::pair{55, 186}));
    EXPECT_EQ(frame(kStopButtonBitmap), (std::pair{26, 36}));
    EXPECT_EQ(frame(kSpeedButtonBitmap), (std::pair{27, 36}));
    EXPECT_EQ(frame(kRockerBitmap), (std::pair{31, 14}));
    EXPECT_EQ(frame(kChannelDisplayBitmap), (std::pair{30, 14}));
    EXPECT_EQ(frame(kDefaultBankBitmap), (std::pair{37, 10}));
    EXPECT_EQ(frame(kDefaultPresetBitmap), (std::pair{47, 10}));
    EXPECT_EQ(frame(kUserManualBitmap), (std::pair{16, 14}));
}

TEST(BitmapTable, EveryCompiledInPngIsABitmapOfTheTable) {
    // A PNG dropped into resources/ without a row would be carried but never checked.
    const auto embedded = embedded::table();
    EXPECT_EQ(embedded.size(), kBitmaps.size());
    for (const embedded::EmbeddedPng& png : embedded) {
        bool listed = false;
        for (const BitmapInfo& info : kBitmaps) listed = listed || info.id == png.id;
        EXPECT_TRUE(listed) << png.id;
    }
}

TEST(BitmapTable, UnknownIdsGiveNothing) {
    for (int32_t id : {0, -1, 1, 2001, 2006, 4006, 19900, 20000, INT32_MAX, INT32_MIN})
        EXPECT_TRUE(findPng(id).empty()) << id;
}

TEST(BitmapTable, RepeatedLookupsGiveTheSameBytes) {
    const auto first = findPng(kFaceBitmap);
    const auto second = findPng(kFaceBitmap);
    EXPECT_EQ(first.data(), second.data());
    EXPECT_EQ(first.size(), second.size());
}

} // namespace
} // namespace zel::resources
