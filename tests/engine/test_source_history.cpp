// The source history: a clear leaves every input and angle at zero and the write
// index at the start, whether or not anything was written since the last clear.
#include "engine/SourceHistory.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

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

// A run of samples written at once stores what sample-by-sample writes store,
// bit for bit, also where the run crosses the ring's end (the inputs, their
// mirrors, the float copies and the angles) and after a clear (which must then
// clear what the run wrote).
TEST(SourceHistory, WrittenRunsMatchSampleBySampleWrites) {
    auto byRun = std::make_unique<SourceHistory>();
    auto bySample = std::make_unique<SourceHistory>();
    // Room for a whole turn from any of the first 64 entries.
    std::vector<double> x(kLength + 64), angle(kLength + 64);
    for (int i = 0; i < kLength + 64; ++i) {
        x[i] = std::sin(0.37 * i) * 0.9 + 1e-9 * i; // not exact in float
        angle[i] = 0.25 + 0.0001 * i;
    }
    const auto expectSame = [&](const char* when) {
        ASSERT_EQ(byRun->writeIndex(), bySample->writeIndex()) << when;
        for (int i = 0; i < 2 * kLength; ++i) {
            ASSERT_EQ(byRun->inputs()[i], bySample->inputs()[i]) << when << " " << i;
            ASSERT_EQ(byRun->inputsSingle()[i], bySample->inputsSingle()[i]) << when << " " << i;
        }
        for (int i = 0; i < kLength; ++i)
            ASSERT_EQ(byRun->angles()[i], bySample->angles()[i]) << when << " " << i;
    };
    // Runs of 64, 1 and 0, a long one that crosses the ring's end, and a whole
    // turn.
    int at = 0;
    for (int n : {64, 1, 0, 4000, kLength}) {
        byRun->writeRun(x.data() + at % 64, angle.data() + at % 64, n);
        for (int j = 0; j < n; ++j) {
            bySample->write(x[at % 64 + j], angle[at % 64 + j]);
            bySample->advance();
        }
        at += n;
        expectSame("after a run");
    }
    byRun->clear();
    expectAllZero(*byRun, "after runs");
}

// A run written in two halves (its angles sample by sample, reading back along
// the way, then its inputs, all at once or one at a time) stores what
// sample-by-sample writes store, bit for bit, also across the ring's end, and
// every angle read along the way is the one the sample-by-sample history gives
// at that sample.
TEST(SourceHistory, HalvesWrittenApartMatchSampleBySampleWrites) {
    auto inOnePass = std::make_unique<SourceHistory>();
    auto oneByOne = std::make_unique<SourceHistory>();
    auto bySample = std::make_unique<SourceHistory>();
    std::vector<double> x(kLength + 64), angle(kLength + 64);
    for (int i = 0; i < kLength + 64; ++i) {
        x[i] = std::cos(0.29 * i) * 0.8 + 1e-9 * i; // not exact in float
        angle[i] = 0.5 + 0.0003 * i;
    }
    // Delays on, between and beyond whole samples, up to nearly the whole ring.
    const double delays[] = {0.0, 1.0, 2.5, 61.25, kLength - 1.5};
    int at = 0;
    for (int n : {64, 1, 0, 4000, kLength, 17}) {
        const double* xs = x.data() + at % 64;
        const double* as = angle.data() + at % 64;
        for (int j = 0; j < n; ++j) {
            inOnePass->writeAngleAhead(j, as[j]);
            oneByOne->writeAngleAhead(j, as[j]);
            bySample->write(xs[j], as[j]);
            for (double d : delays)
                ASSERT_EQ(inOnePass->angleBeforeAhead(j, d), bySample->angleBefore(d))
                    << "sample " << j << " of " << n << ", delay " << d;
            bySample->advance();
        }
        inOnePass->writeInputsAhead(xs, n);
        for (int j = 0; j < n; ++j) oneByOne->writeInputAhead(j, xs[j]);
        inOnePass->advanceBy(n);
        oneByOne->advanceBy(n);
        at += n;
        for (const SourceHistory* h : {inOnePass.get(), oneByOne.get()}) {
            ASSERT_EQ(h->writeIndex(), bySample->writeIndex()) << "run of " << n;
            for (int i = 0; i < 2 * kLength; ++i) {
                ASSERT_EQ(h->inputs()[i], bySample->inputs()[i]) << "run of " << n << " " << i;
                ASSERT_EQ(h->inputsSingle()[i], bySample->inputsSingle()[i])
                    << "run of " << n << " " << i;
            }
            for (int i = 0; i < kLength; ++i)
                ASSERT_EQ(h->angles()[i], bySample->angles()[i]) << "run of " << n << " " << i;
        }
    }
    // A clear must see what the halves wrote.
    inOnePass->clear();
    expectAllZero(*inOnePass, "after halves");
}

} // namespace
} // namespace zel
