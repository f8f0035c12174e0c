// The source history: a clear leaves every input and angle at zero and the write
// index at the start, whether or not anything was written since the last clear.
#include "engine/SourceHistory.h"

#include <gtest/gtest.h>

#include <memory>

namespace zel {
namespace {

constexpr int kLength = SourceHistory::kLength;

void expectAllZero(const SourceHistory& history, const char* when) {
    for (int i = 0; i < 2 * kLength; ++i) ASSERT_EQ(history.inputs()[i], 0.0) << when << " " << i;
    for (int i = 0; i < kLength; ++i) ASSERT_EQ(history.angles()[i], 0.0) << when << " " << i;
    EXPECT_EQ(history.writeIndex(), 0) << when;
}

// Fills more than one turn, so the mirrored second half holds values too.
void writeSamples(SourceHistory& history, int count, double base) {
    for (int i = 0; i < count; ++i) {
        history.write(base + i, 0.001 * i);
        history.advance();
    }
}

TEST(SourceHistory, ClearAfterWritesAndAfterClearsLeavesOnlyZeros) {
    auto history = std::make_unique<SourceHistory>();
    expectAllZero(*history, "new");

    writeSamples(*history, kLength + 17, 0.0);
    // The last sample sits at index 16 and its mirror one turn later.
    EXPECT_EQ(history->inputs()[16], kLength + 16.0);
    EXPECT_EQ(history->inputs()[16 + kLength], kLength + 16.0);
    EXPECT_EQ(history->angles()[16], 0.001 * (kLength + 16));
    history->clear();
    expectAllZero(*history, "after writes");

    history->clear(); // nothing written in between
    expectAllZero(*history, "twice");

    // Writes after a clear that had nothing to do are cleared by the next one.
    writeSamples(*history, 5, 7.0);
    EXPECT_EQ(history->inputs()[4], 11.0);
    EXPECT_EQ(history->writeIndex(), 5);
    history->clear();
    expectAllZero(*history, "after a clear with nothing to do");

    // Only the write index moved: the next clear still puts it back.
    history->advance();
    history->clear();
    expectAllZero(*history, "after an advance alone");
}

} // namespace
} // namespace zel
