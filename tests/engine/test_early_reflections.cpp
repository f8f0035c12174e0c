// The room: silence at "Amount" 0, taps that sit at their path lengths, gains that
// rise with the virtual room size and the left-right delay, the longest delay
// within the lines, the reset, the taps' formulas computed exactly, and the
// single-precision run form within its rounding.
#include "engine/EarlyReflections.h"
#include "engine/WidePaths.h"

#include "engine/OnePole.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

namespace zel {
namespace {

constexpr double kSpeedOfSound = 340.29;

EarlyReflections::Output feed(EarlyReflections& room, int n, std::mt19937& rng) {
    std::uniform_real_distribution<double> noise(-1, 1);
    EarlyReflections::Output last{};
    for (int i = 0; i < n; ++i) last = room.process(noise(rng), noise(rng));
    return last;
}

TEST(EarlyReflections, AmountZeroReturnsExactSilence) {
    EarlyReflections room;
    room.setRate(44100);
    room.setRoomSize(2);
    room.setReturnLevel(0);
    room.reset();
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> noise(-1, 1);
    for (int i = 0; i < 20000; ++i) {
        const auto out = room.process(noise(rng), noise(rng));
        ASSERT_EQ(out.left, 0.0) << i;
        ASSERT_EQ(out.right, 0.0) << i;
    }
    // The same room with its return open does sound.
    room.setReturnLevel(1);
    room.snapReturnLevel();
    double energy = 0;
    for (int i = 0; i < 2000; ++i) {
        const auto out = room.process(noise(rng), noise(rng));
        energy += out.left * out.left + out.right * out.right;
    }
    EXPECT_GT(energy, 1.0);
}

TEST(EarlyReflections, LargerVirtualRoomOrLrDelayRaisesEveryTapWithoutMovingIt) {
    auto build = [](double virtualSize, double lrDelay) {
        EarlyReflections room;
        room.setRate(48000);
        room.setRoomSize(1.2);
        room.setVirtualRoomSize(virtualSize);
        room.setLrDelay(lrDelay);
        room.rebuild();
        return std::vector<EarlyReflections::Tap>{&room.tap(0), &room.tap(0) + room.kTaps};
    };
    const auto base = build(1.0, 0.22);
    for (const auto& other : {build(2.0, 0.22), build(1.0, 1.5)}) {
        for (int i = 0; i < EarlyReflections::kTaps; ++i) {
            EXPECT_GT(other[i].gain, base[i].gain) << i;
            EXPECT_LT(other[i].gain, 1.0) << i;
            EXPECT_EQ(other[i].delay, base[i].delay) << i;
            EXPECT_EQ(other[i].fraction, base[i].fraction) << i;
        }
    }
}

TEST(EarlyReflections, LongestDelayFitsTheLinesAtTheLargestRoom) {
    EarlyReflections room;
    room.setRoomSize(0.1 * std::exp(3.58352) + 0.4); // "Early Refl. Room Size" at 1
    room.setVirtualRoomSize(0.25 * std::exp(2.77259));
    room.setLrDelay(0.15 * std::exp(2.30259));
    const double size = 0.1 * std::exp(3.58352) + 0.4;
    // The engine's internal rate stays below 50 kHz (host rates up to 200 kHz are
    // decimated by 4); even the filters' 400 kHz limit would fit.
    for (double rate : {50000.0, 400000.0}) {
        room.setRate(rate);
        room.rebuild();
        // The longest path is the left tap 11 at 11.7 m times the room size; the
        // fraction is kept in single precision (6e-8 of a sample).
        const double expected = 11.7 * size * rate / kSpeedOfSound;
        EXPECT_NEAR(room.longestDelay(), expected, 1e-6 * expected);
        EXPECT_LT(room.longestDelay() + 1, 65536.0); // the read takes one sample more
    }
}

TEST(EarlyReflections, EachTapSoundsAtItsPathLength) {
    constexpr double kRate = 44100;
    EarlyReflections room;
    room.setRate(kRate);
    room.setRoomSize(1);
    room.setMainCutoff(30000); // every cutoff at the 20 kHz ceiling but taps 10 and 11
    room.setReturnLevel(1);
    room.reset();
    std::vector<double> y;
    for (int i = 0; i < 600; ++i) y.push_back(room.process(i == 0 ? 1.0 : 0.0, 0.0).left);

    // Undo the tap's one-pole (pole exp(-2 pi 20 kHz / rate)) to see the tap itself.
    const double pole = std::exp(-2 * std::numbers::pi * 20000 / kRate);
    std::vector<double> v(y.size(), 0.0);
    for (size_t m = 1; m < y.size(); ++m) v[m] = (y[m] - pole * y[m - 1]) / (1 - pole);

    // The first left tap: 3.1 m, the next one at 4.3 m (557 samples) is out of view.
    const double delay = 3.1 * kRate / kSpeedOfSound; // 401.75 samples
    const int whole = int(delay);
    for (int m = 0; m < whole; ++m) ASSERT_EQ(y[m], 0.0) << m;
    // Linear interpolation puts the impulse on its two neighbours, weighted so that
    // their centroid is the delay (float fraction, rounding of the inverse filter).
    const double centroid =
        (whole * v[whole] + (whole + 1) * v[whole + 1]) / (v[whole] + v[whole + 1]);
    EXPECT_NEAR(centroid, delay, 1e-6);
    for (int m = whole + 2; m < 550; ++m) ASSERT_NEAR(v[m], 0.0, 1e-12) << m;
    // Its gain falls linearly in dB with the path: -20 dB at the longest cross-set path
    // (14.9 m for room size 1 and virtual size 1, plus the 0.22 m left-right delay).
    EXPECT_NEAR(v[whole] + v[whole + 1], std::pow(10.0, -3.1 / (14.9 + 0.22)), 1e-9);
}

TEST(EarlyReflections, ResetClearsTheLines) {
    EarlyReflections room;
    room.setRate(32000);
    room.setRoomSize(3);
    room.setReturnLevel(1);
    room.reset();
    std::mt19937 rng(5);
    // A reset of lines already clear leaves them as they are; one after new
    // input clears them again (twice over, so the second finds them clear).
    for (int round = 0; round < 2; ++round) {
        feed(room, 30000, rng);
        room.reset();
        room.reset();
        for (int i = 0; i < 40000; ++i) {
            const auto out = room.process(0.0, 0.0);
            ASSERT_EQ(out.left, 0.0) << round << " " << i;
            ASSERT_EQ(out.right, 0.0) << round << " " << i;
        }
    }
}

// The room written out tap by tap on plain circular lines: each tap reads
// (1 - fraction) newer + fraction older, scales by its gain and low-passes; each
// side sums its taps in order. The room computes both sides' taps side by side
// and reads its lines without masks (a copy of each line's last entry sits in
// front of its first): the same operations in the same order, so the outputs
// are equal bit for bit, also after the write index and the reads have wrapped.
TEST(EarlyReflections, OutputIsTheTapFormulasAlsoWhereTheLinesWrap) {
    for (double size : {0.05, 1.0}) { // taps 19 to 76 samples back, and 388 to 1516
        EarlyReflections room;
        room.setRate(44100);
        room.setRoomSize(size);
        room.setMainCutoff(4000);
        room.setReturnLevel(0.7);
        room.reset();
        const double level = room.returnLevel();
        std::vector<double> lines[2] = {std::vector<double>(65536), std::vector<double>(65536)};
        double state[EarlyReflections::kTaps] = {};
        std::mt19937 rng(11);
        std::uniform_real_distribution<double> noise(-1, 1);
        for (int32_t n = 0; n < 70000; ++n) {
            const double in[2] = {noise(rng), noise(rng)};
            const auto out = room.process(in[0], in[1]);
            const int32_t at = n & 65535;
            double sum[2] = {0, 0};
            for (int side = 0; side < 2; ++side) {
                lines[side][at] = in[side];
                for (int i = 0; i < 12; ++i) {
                    const int k = side * 12 + i;
                    const EarlyReflections::Tap& tap = room.tap(k);
                    const double phi = tap.fraction;
                    const double newer = lines[side][(at - tap.delay) & 65535];
                    const double older = lines[side][(at - tap.delay - 1) & 65535];
                    const double v = ((1.0 - phi) * newer + phi * older) * tap.gain;
                    state[k] = denormalGuard(v + tap.pole * (state[k] - v));
                    sum[side] += state[k];
                }
            }
            ASSERT_EQ(out.left, denormalGuard(sum[0] * level)) << size << ": " << n;
            ASSERT_EQ(out.right, denormalGuard(sum[1] * level)) << size << ": " << n;
        }
        for (int k = 0; k < EarlyReflections::kTaps; ++k) EXPECT_EQ(room.tapState(k), state[k]);
    }
}

// How far the wide run form (single precision) may be from the double form, for
// inputs within [-1, 1] and the level given: each tap's low-pass sees float
// roundings of its input (the line's value, the weights with the gain folded
// in, the products and their fused sum) and of its own step (the difference,
// the fused update, the guard), each under 2^-24 of the tap's gain (the
// low-pass keeps its state within the input's bound); the recursion adds those
// up to 1 / (1 - pole) times; the sum of twelve taps rounds up to twelve times
// more. Eight steps per sample are allowed for.
double wideTolerance(const EarlyReflections& room, int side, double level) {
    constexpr double kStep = 0x1p-24;
    double bound = 0;
    for (int i = 0; i < 12; ++i) {
        const EarlyReflections::Tap& tap = room.tap(side * 12 + i);
        bound += tap.gain * kStep * (8.0 / (1.0 - tap.pole) + 12.0);
    }
    return bound * level;
}

// The run form is the per-sample form in registers. The baseline run form
// does the same operations in the same order, so the outputs and the states
// afterwards agree to the bit, also across the lines' wrap, with a return
// level that changes every sample and in a small room whose shortest taps are
// under a run long. The wide run form (where the processor has it) works in
// single precision: within wideTolerance, also where it takes over lines the
// baseline form wrote.
TEST(EarlyReflections, RunFormMatchesPerSampleForm) {
    struct WidePathsAgain {
        ~WidePathsAgain() { forceBaselinePaths(false); }
    } widePathsAgain;
    for (const bool baseline : {true, false}) {
        for (const double size : {0.05, 1.0, 2.0}) {
            EarlyReflections a, b;
            for (EarlyReflections* room : {&a, &b}) {
                room->setRate(48000);
                room->setRoomSize(size);
                room->setReturnLevel(0.7);
                room->reset();
            }
            const double tolerance[2] = {baseline ? 0.0 : wideTolerance(a, 0, 0.75),
                                         baseline ? 0.0 : wideTolerance(a, 1, 0.75)};
            std::mt19937 rng(11);
            std::uniform_real_distribution<double> noise(-1, 1);
            constexpr int kRun = 61;
            const int runs = room::kBufferLength / kRun + 3; // past the wrap
            for (int run = 0; run < runs; ++run) {
                double left[kRun], right[kRun], level[kRun], outL[kRun], outR[kRun];
                for (int j = 0; j < kRun; ++j) {
                    left[j] = noise(rng);
                    right[j] = noise(rng);
                    level[j] = 0.5 + 0.25 * noise(rng);
                }
                // The first runs on the baseline path in both cases.
                forceBaselinePaths(baseline || run < 50);
                b.processRun(left, right, level, outL, outR, kRun);
                for (int j = 0; j < kRun; ++j) {
                    const EarlyReflections::Output o = a.process(left[j], right[j], level[j]);
                    ASSERT_NEAR(o.left, outL[j], tolerance[0])
                        << baseline << " " << size << " " << run << " " << j;
                    ASSERT_NEAR(o.right, outR[j], tolerance[1])
                        << baseline << " " << size << " " << run << " " << j;
                }
            }
            for (int i = 0; i < EarlyReflections::kTaps; ++i) {
                const EarlyReflections::Tap& tap = a.tap(i);
                // One tap's share of wideTolerance, before the sum.
                const double tapTolerance =
                    baseline ? 0.0 : tap.gain * 0x1p-24 * 8.0 / (1.0 - tap.pole);
                EXPECT_NEAR(a.tapState(i), b.tapState(i), tapTolerance) << i;
            }
        }
    }
}

// Silence into the run form (either path) falls far below the engine's output
// guard (1e-5, whose rounding step near zero is 2^-70, about 8e-22) once the
// longest tap has passed and the low-passes have decayed to their guards: the
// engine's output then ends in exact zeros. A low-pass stops decaying where its
// step falls under half its guard's rounding step (2^-92 for the double form,
// 2^-90 for the single-precision one), at most that over 2 (1 - pole); the
// slowest ones here (20 Hz at 96 kHz) stop under 4e-25, twelve of them 5e-24.
TEST(EarlyReflections, RunFormTailFallsFarBelowTheOutputGuard) {
    struct WidePathsAgain {
        ~WidePathsAgain() { forceBaselinePaths(false); }
    } widePathsAgain;
    for (const bool baseline : {true, false}) {
        forceBaselinePaths(baseline);

        EarlyReflections room;
        room.setRate(96000);
        room.setRoomSize(2.0);
        room.setMainCutoff(100); // the slowest low-passes, down to the 20 Hz floor
        room.setReturnLevel(1);
        room.reset();
        std::mt19937 rng(3);
        std::uniform_real_distribution<double> noise(-1, 1);
        constexpr int kRun = 64;
        double left[kRun], right[kRun], level[kRun], outL[kRun], outR[kRun];
        std::fill(level, level + kRun, 1.0);
        for (int run = 0; run < 200; ++run) {
            for (int j = 0; j < kRun; ++j) {
                left[j] = noise(rng);
                right[j] = noise(rng);
            }
            room.processRun(left, right, level, outL, outR, kRun);
        }
        std::fill(left, left + kRun, 0.0);
        std::fill(right, right + kRun, 0.0);
        const int silentRuns = 3 * room::kBufferLength / kRun;
        for (int run = 0; run < silentRuns; ++run)
            room.processRun(left, right, level, outL, outR, kRun);
        for (int run = 0; run < 20; ++run) {
            room.processRun(left, right, level, outL, outR, kRun);
            for (int j = 0; j < kRun; ++j) {
                ASSERT_LT(std::fabs(outL[j]), 1e-23) << baseline << " " << run << " " << j;
                ASSERT_LT(std::fabs(outR[j]), 1e-23) << baseline << " " << run << " " << j;
            }
        }
    }
}

} // namespace
} // namespace zel
