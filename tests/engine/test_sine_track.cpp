// The motor-noise generator's tone runs: whatever the run lengths (the four-lane
// path and the one-sample remainder, a run continuing where the last one
// stopped), every value is the one the one-sample formula gives, to the bit.
#include "engine/data/SineTrack.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

namespace {

using zel::motor_noise::LoopTone;
using zel::motor_noise::SineTable;

// The one-sample formulas.
double loopToneValue(const SineTable& sine, const LoopTone& tone, int64_t acc) {
    double t = static_cast<double>(acc) * tone.invPeriod + tone.phase;
    if (t >= 1.0) t -= 1.0;
    return sine.at(t);
}
double swellValue(const SineTable& sine, const LoopTone& tone, double lead, int64_t acc) {
    double t = static_cast<double>(acc) / static_cast<double>(tone.period) - lead + 0.25;
    t -= std::floor(t);
    return sine.at(t < 1.0 ? t : 0.0);
}

// Run lengths that cross the four-lane blocks in every way.
constexpr int kRuns[] = {1, 3, 4, 5, 7, 8, 13, 1024, 250, 2};

template <typename Run, typename Value>
void expectRunsMatch(const LoopTone& tone, int total, Run run, Value value) {
    int64_t acc = 0, reference = 0;
    std::vector<double> out;
    int done = 0;
    for (int k = 0; done < total; ++k) {
        const int n = std::min(kRuns[k % std::size(kRuns)], total - done);
        out.assign(static_cast<size_t>(n), 0.0);
        run(acc, n, out.data());
        for (int i = 0; i < n; ++i) {
            ASSERT_EQ(out[i], value(reference)) << "sample " << done + i;
            reference = tone.advance(reference);
        }
        ASSERT_EQ(acc, reference) << "after sample " << done + n;
        done += n;
    }
}

TEST(SineTrack, LoopToneRunsGiveTheOneSampleValues) {
    const SineTable sine;
    // A phase that makes the turn pass 1, cycles that wrap the accumulator often.
    for (const LoopTone& tone :
         {LoopTone::of(100.0, 0.58, 63884, 44100.0), LoopTone::of(2630.0, 0.83, 63884, 44100.0),
          LoopTone::of(0.41, 0.0, 270144, 44100.0)}) {
        expectRunsMatch(
            tone, 20000,
            [&](int64_t& acc, int n, double* out) {
                zel::motor_noise::loopToneRun(sine, tone, acc, n, out);
            },
            [&](int64_t acc) { return loopToneValue(sine, tone, acc); });
    }
}

// Adding a tone to a signal, plain or swung, takes the same values in the same
// order: x + v level, x + v level swing.
TEST(SineTrack, AddedTonesGiveTheOneSampleSums) {
    const SineTable sine;
    const LoopTone tone = LoopTone::of(1315.0, 0.21, 63884, 44100.0);
    const int total = 10000;
    std::vector<double> base(total), swing(total);
    for (int i = 0; i < total; ++i) {
        base[i] = 0.3 * std::sin(0.01 * i);
        swing[i] = 1.0 + 0.3 * std::cos(0.002 * i);
    }
    for (bool swung : {false, true}) {
        std::vector<double> x = base;
        int64_t acc = 0, reference = 0;
        int done = 0;
        for (int k = 0; done < total; ++k) {
            const int n = std::min(kRuns[k % std::size(kRuns)], total - done);
            zel::motor_noise::addLoopTone(sine, tone, acc, n, 0.14,
                                          swung ? swing.data() + done : nullptr, x.data() + done);
            done += n;
        }
        for (int i = 0; i < total; ++i) {
            const double v = loopToneValue(sine, tone, reference);
            reference = tone.advance(reference);
            const double expected = swung ? base[i] + v * 0.14 * swing[i] : base[i] + v * 0.14;
            ASSERT_EQ(x[i], expected) << "swung " << swung << " sample " << i;
        }
        EXPECT_EQ(acc, reference);
    }
}

TEST(SineTrack, SwellRunsGiveTheOneSampleValues) {
    const SineTable sine;
    LoopTone revolution;
    revolution.cycles = 34;
    revolution.period = 219418;
    revolution.invPeriod = 1.0 / revolution.period;
    // A lead beyond a quarter turn makes the first turns negative before the
    // wrap.
    for (double lead : {0.62, 0.1}) {
        expectRunsMatch(
            revolution, 30000,
            [&](int64_t& acc, int n, double* out) {
                zel::motor_noise::swellRun(sine, revolution, lead, acc, n, out);
            },
            [&](int64_t acc) { return swellValue(sine, revolution, lead, acc); });
    }
}

TEST(SineTrack, FracTurnsIsTheFractionalPart) {
    for (double t : {0.0, 0.25, 0.999, 1.0, 3.75, -0.25, -1.0, -2.5, 1e12 + 0.5, -1e12 - 0.25}) {
        const double expected = t - std::floor(t);
        EXPECT_EQ(zel::motor_noise::fracTurns(t), expected < 1.0 ? expected : 0.0) << t;
    }
    // Just below zero the fraction rounds onto a whole turn, which is 0.
    EXPECT_EQ(zel::motor_noise::fracTurns(-1e-20), 0.0);
}

} // namespace

namespace {

// A tick's burst, whatever its length (the four-lane path and the one-sample
// remainder), gives the one-sample formula's values to the bit, for a short
// burst, one a few samples past the lanes, and turns that pass many wholes.
TEST(SineTrack, TickBurstsGiveTheOneSampleValues) {
    const SineTable sine;
    for (const zel::motor_noise::TickBurst tick :
         {zel::motor_noise::TickBurst{3400.0, 3400.0 * 2.76, 0.5, 0.7, 0.37, 44100.0},
          zel::motor_noise::TickBurst{950.0, 950.0 * 2.76, 0.4, 0.6, 0.0, 44100.0}}) {
        for (const int n : {1, 3, 4, 7, 1403}) {
            std::vector<double> envelope(static_cast<size_t>(n));
            double e = 0.93;
            for (double& v : envelope) {
                v = e;
                e *= 0.9987;
            }
            std::vector<double> out(static_cast<size_t>(n), 0.0);
            zel::motor_noise::tickBurstRun(sine, tick, envelope.data(), n, out.data());
            for (int m = 0; m < n; ++m) {
                const double t = (tick.lead + m) / tick.rate;
                double body = tick.hz * t;
                body -= std::floor(body);
                double over = tick.overHz * t;
                over -= std::floor(over);
                const double expected = tick.level * envelope[m] *
                                        (sine.at(body < 1.0 ? body : 0.0) +
                                         sine.at(over < 1.0 ? over : 0.0) * tick.overtone);
                ASSERT_EQ(out[m], expected) << "burst of " << n << ", sample " << m;
            }
        }
    }
}

} // namespace
