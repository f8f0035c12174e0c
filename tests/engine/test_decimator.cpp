// The decimator's dot products: every way of computing them (one history or two
// against the same table, four floats to a register or eight) gives the sums of
// the reference order bit for bit; the wide run forms, which add in another
// order, within float's rounding.
#include "engine/CpuFeatures.h"
#include "engine/Decimator.h"
#include "engine/WidePaths.h"
#include "engine/data/DecimatorTables.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>

namespace zel {
namespace {

using History = std::array<float, Decimator::kTaps>;

// Eight partial sums, partial j adding the products of taps j, j + 8, j + 16 and
// j + 24 in that order, then added pairwise.
float referenceDot(const float* table, const History& h) {
    float partial[8] = {};
    for (int k = 0; k < Decimator::kTaps; k += 8)
        for (int j = 0; j < 8; ++j) partial[j] += table[k + j] * h[k + j];
    return ((partial[0] + partial[1]) + (partial[2] + partial[3])) +
           ((partial[4] + partial[5]) + (partial[6] + partial[7]));
}

// Float sums depend on their order, so only the same order gives equal results:
// the comparisons are exact.
TEST(DecimatorDots, EveryFormAddsInTheReferenceOrder) {
    std::mt19937 rng(17);
    std::uniform_real_distribution<float> value(-1.0f, 1.0f);
    const bool avx2 = cpuHasAvx2();
    for (int factor : {2, 4, 8}) {
        const float* table = decimator::tableFor(factor)->data();
        for (int trial = 0; trial < 2000; ++trial) {
            History a, b;
            for (float& v : a) v = value(rng);
            for (float& v : b) v = value(rng) * (trial % 7 == 0 ? 1e-30f : 1.0f);
            const float ea = referenceDot(table, a), eb = referenceDot(table, b);
            ASSERT_EQ(Decimator::dot(table, a.data()), ea);
            float ya = 0, yb = 0;
            Decimator::dotPair(table, a.data(), b.data(), ya, yb);
            ASSERT_EQ(ya, ea);
            ASSERT_EQ(yb, eb);
            if (avx2) {
                ASSERT_EQ(Decimator::dotWide(table, a.data()), ea);
                Decimator::dotPairWide(table, a.data(), b.data(), ya, yb);
                ASSERT_EQ(ya, ea);
                ASSERT_EQ(yb, eb);
            }
        }
    }
}

// Through the decimator: the input side and both output sides read the
// histories written so far, newest first.
TEST(DecimatorDots, PushAndInterpolateReadTheHistoriesNewestFirst) {
    Decimator d;
    d.setFactor(4);
    d.clear();
    const float* table = d.table();
    History in{}, left{}, right{};
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> value(-1.0, 1.0);
    for (int n = 0; n < 200; ++n) {
        const double x = value(rng), l = value(rng), r = value(rng);
        for (History* h : {&in, &left, &right})
            for (int k = Decimator::kTaps - 1; k > 0; --k) (*h)[k] = (*h)[k - 1];
        in[0] = static_cast<float>(x);
        left[0] = static_cast<float>(l * 4.0);
        right[0] = static_cast<float>(r * 4.0);
        ASSERT_EQ(d.pushInput(x), referenceDot(table, in)) << n;
        const Decimator::Pair p = d.interpolate(l, r);
        ASSERT_EQ(p.left, referenceDot(table, left)) << n;
        ASSERT_EQ(p.right, referenceDot(table, right)) << n;
    }
}

// Leaves the fastest paths on when a test ends, whatever it asserted.
struct BaselineGuard {
    ~BaselineGuard() { forceBaselinePaths(false); }
};

// How far the wide run forms' sums (eight frames side by side, four partial
// sums of fused products) may be from the one-frame dot products: both add the
// same 32 products in float, each sum within 31 rounding steps (2^-24) of the
// sum of the products' magnitudes, at most scale * sum |table| for histories
// within [-scale, scale] (inputs within [-1, 1]; the output side scales them by
// the factor); twice that, and the last rounding of each.
double runTolerance(int factor, double scale) {
    const float* table = decimator::tableFor(factor)->data();
    double magnitude = 0;
    for (int k = 0; k < Decimator::kTaps; ++k) magnitude += std::fabs(table[k]);
    return 64 * 0x1p-24 * scale * magnitude;
}

// The run form of the output side: the same pairs as a frame-by-frame
// interpolation at the recorded indices, over runs of uneven lengths (some
// longer than the wide form's chunks), with frames that skip indices (bypassed
// frames push nothing) and without. On either path (a decimator takes the path
// of when it is made): to the bit on the baseline path and where frames skip
// indices; within runTolerance where the wide path computes frames that follow
// each other eight at a time.
TEST(DecimatorDots, InterpolateRunMatchesFrameByFrame) {
    BaselineGuard guard;
    for (bool baseline : {false, true})
        for (bool skips : {true, false})
            for (int factor : {2, 8}) {
                SCOPED_TRACE(baseline ? "baseline path" : "fastest path");
                SCOPED_TRACE(skips ? "skipped indices" : "consecutive indices");
                forceBaselinePaths(baseline);
                const double tolerance =
                    baseline || skips || !cpuHasAvx2() ? 0.0 : runTolerance(factor, factor);
                Decimator a, b;
                for (Decimator* d : {&a, &b}) {
                    d->setFactor(factor);
                    d->clear();
                }
                std::mt19937 rng(9);
                std::uniform_real_distribution<double> value(-1.0, 1.0);
                for (int run = 0; run < 20; ++run) {
                    // Up to two of the wide form's chunks of 64 frames.
                    const int n = 5 + run * 7;
                    int index[140];
                    double left[140], right[140];
                    for (int i = 0; i < n; ++i) {
                        const double x = value(rng);
                        for (Decimator* d : {&a, &b}) {
                            if (skips && i % 5 == 4) d->pushOnly(x); // an index skipped
                            d->pushOnly(x);
                        }
                        index[i] = b.index();
                        left[i] = value(rng);
                        right[i] = value(rng);
                    }
                    double runLeft[140], runRight[140];
                    std::copy(left, left + n, runLeft);
                    std::copy(right, right + n, runRight);
                    b.interpolateRun(index, runLeft, runRight, n);
                    for (int i = 0; i < n; ++i) {
                        const Decimator::Pair p = a.interpolateAt(index[i], left[i], right[i]);
                        ASSERT_NEAR(p.left, runLeft[i], tolerance)
                            << factor << " " << run << " " << i;
                        ASSERT_NEAR(p.right, runRight[i], tolerance)
                            << factor << " " << run << " " << i;
                    }
                }
            }
}

// The run form of the input side: the same filtered values and indices as
// pushInput and pushOnly frame by frame, with skipped frames pushing nothing,
// over runs of any kinds and runs that filter every other push (as the
// engine's do). On either path, and without a table (factor 1): to the bit,
// but within runTolerance where the wide path computes every other push's
// filtered values eight at a time (a factor of 2, runs of at most 64 frames).
TEST(DecimatorDots, PushRunMatchesFrameByFrame) {
    BaselineGuard guard;
    for (bool baseline : {false, true})
        for (bool everyOther : {false, true})
            for (int factor : {1, 2, 8}) {
                SCOPED_TRACE(baseline ? "baseline path" : "fastest path");
                SCOPED_TRACE(everyOther ? "every other push filtered" : "any kinds");
                forceBaselinePaths(baseline);
                const bool eightAtATime = !baseline && everyOther && factor == 2 && cpuHasAvx2();
                Decimator a, b;
                for (Decimator* d : {&a, &b}) {
                    d->setFactor(factor);
                    d->clear();
                }
                std::mt19937 rng(13);
                std::uniform_real_distribution<double> value(-1.0, 1.0);
                for (int run = 0; run < 20; ++run) {
                    // Runs longer than the engine's 128 frames at a factor of 2
                    // too (they take the frames one by one).
                    constexpr int kLongestEightAtATime = 128;
                    const int n = 3 + run * 7;
                    const double tolerance =
                        eightAtATime && n <= kLongestEightAtATime ? runTolerance(factor, 1) : 0;
                    double in[140], filtered[140];
                    int8_t kind[140];
                    int index[140];
                    const int phase = run % 2;
                    for (int i = 0, pushes = 0; i < n; ++i) {
                        in[i] = value(rng);
                        if (!everyOther)
                            kind[i] = static_cast<int8_t>(rng() % 3);
                        else if (rng() % 5 == 0)
                            kind[i] = Decimator::kSkip;
                        else
                            kind[i] = pushes++ % 2 == phase ? Decimator::kPushAndFilter
                                                            : Decimator::kPushOnly;
                    }
                    b.pushRun(in, kind, index, filtered, n);
                    int k = 0;
                    for (int i = 0; i < n; ++i) {
                        if (kind[i] == Decimator::kSkip) continue;
                        if (kind[i] == Decimator::kPushAndFilter)
                            ASSERT_NEAR(a.pushInput(in[i]), filtered[k++], tolerance)
                                << factor << " " << run;
                        else
                            a.pushOnly(in[i]);
                        ASSERT_EQ(a.index(), index[i]) << factor << " " << run << " " << i;
                    }
                }
            }
}

} // namespace
} // namespace zel
