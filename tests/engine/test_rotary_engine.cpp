// The engine's per-frame pipeline: silence, the amp-only path, the simulation
// rate, every host rate, and the rotor heard in the output.
#include "RotaryEngineSetup.h"

#include "engine/RotaryEngine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <random>
#include <vector>

namespace zel {
namespace {

using test::EngineOptions;
using test::makeEngine;
using test::runBlock;

constexpr double kTwoPi = 6.283185307179586;

// Runs a generated mono signal through the engine in 512-frame blocks.
template <typename Signal>
std::vector<double> render(RotaryEngine& e, int frames, Signal signal, int offset = 0) {
    std::vector<double> out;
    out.reserve(2 * static_cast<size_t>(frames));
    std::vector<double> in(512);
    for (int start = 0; start < frames; start += 512) {
        const int n = std::min(512, frames - start);
        for (int i = 0; i < n; ++i) in[i] = signal(offset + start + i);
        runBlock(e, in.data(), n, out);
    }
    return out;
}

TEST(RotaryEngine, SilenceDecaysToExactZero) {
    EngineOptions o;
    o.motorNoise = false;
    for (int cpu : {0, 1}) {
        o.cpuMode = cpu;
        auto e = makeEngine(o);
        std::mt19937 random(3);
        std::uniform_real_distribution<double> noise(-0.5, 0.5);
        const int burst = 22050;
        render(*e, burst, [&](int) { return noise(random); });
        // The guards round anything below about 1e-28 to zero, so every recursion
        // runs out within seconds; the last second must be exact zeros.
        const int fs = 44100;
        const std::vector<double> tail = render(*e, 20 * fs, [](int) { return 0.0; });
        size_t lastNonZero = 0;
        for (size_t i = 0; i < tail.size(); ++i)
            if (tail[i] != 0.0) lastNonZero = i;
        EXPECT_LT(lastNonZero, tail.size() - 2 * fs) << "cpu mode " << cpu;
        EXPECT_NE(lastNonZero, 0u); // the burst was heard at all
    }
}

TEST(RotaryEngine, AmpOnlyIsTheAmpAndToneStageOnBothChannels) {
    auto e = makeEngine();
    e->amp.ampType = 0;
    e->targets.inputGain = 1.0;
    e->targets.postDriveGain = 1.0;
    e->amp.speakerBypass = 1;
    test::settle(*e);
    const uint32_t counter = e->sampleCounter();
    const unsigned ring = e->ringIndex();
    std::vector<double> out = render(*e, 4096, [](int i) { return std::sin(0.01 * i); });
    for (int i = 0; i < 4096; ++i) ASSERT_EQ(out[2 * i], out[2 * i + 1]) << i;
    EXPECT_EQ(e->sampleCounter(), counter);
    EXPECT_EQ(e->ringIndex(), ring);
    // Once the input gain has glided from 0.708 to 1 (30 ms time constant; 1 s is
    // 33 of them, leaving e^-33 of the step) the output is the mono sum (the same
    // signal on both inputs) through "Thru" and a flat tone EQ. The flat peaking
    // sections cancel to rounding: a few 1e-16 per section and sample.
    render(*e, 44100, [](int) { return 0.0; });
    out = render(*e, 4096, [](int i) { return std::sin(0.01 * i); });
    for (int i = 0; i < 4096; ++i) ASSERT_NEAR(out[2 * i], std::sin(0.01 * i), 1e-12) << i;

    // "Solid" with a high drive clips: the amp is in the path.
    e->amp.ampType = 2;
    e->targets.drive = 30.0;
    render(*e, 44100, [](int) { return 0.0; });
    out = render(*e, 4096, [](int i) { return 0.9 * std::sin(0.01 * i); });
    double peak = 0.0;
    for (double v : out) peak = std::max(peak, std::abs(v));
    // The clipped curve peaks at (1.5 - 0.5) * 0.5 / 30.
    EXPECT_NEAR(peak, 0.5 / 30.0, 1e-3 / 30.0);
    EXPECT_EQ(e->sampleCounter(), counter);
}

// Once every smoothed value has come to rest the engine stops stepping them; a
// target stored then, even the same value again, or a change of the cross paths
// must be picked up at once, exactly as if the steps had run all along.
TEST(RotaryEngine, SmoothedValuesAtRestFollowTheNextChangeAtOnce) {
    EngineOptions o;
    o.cpuMode = 1;
    auto a = makeEngine(o);
    auto b = makeEngine(o);
    auto c = makeEngine(o);
    const auto signal = [](int i) { return 0.2 * std::sin(0.03 * i); };
    // Two seconds bring every value to rest (a 30 ms glide leaves no step after
    // about 40000 frames).
    int frames = 2 * 44100;
    for (RotaryEngine* e : {a.get(), b.get(), c.get()}) render(*e, frames, signal);
    const CrossPathSettings restingPaths = a->crossPaths();

    // The same value stored again: the engines stay the same to the bit.
    a->targets.drumMicLevel = a->targets.drumMicLevel.load();
    std::vector<double> outA = render(*a, 4096, signal, frames);
    std::vector<double> outB = render(*b, 4096, signal, frames);
    render(*c, 4096, signal, frames);
    frames += 4096;
    ASSERT_EQ(outA, outB);
    EXPECT_EQ(a->crossPaths().delay, restingPaths.delay);

    // A new target: the very next frame differs.
    b->targets.drumMicLevel = 0.25;
    outB = render(*b, 1, signal, frames);
    EXPECT_NE(outB, render(*c, 1, signal, frames));

    // New cross-path targets: the current delays move toward them from the next
    // frame on and reach them within a second (30 ms glide).
    a->drumMainUnit().setMicDistance(0.8);
    a->updateCrossPaths();
    render(*a, 1, signal, frames);
    EXPECT_NE(a->crossPaths().delay, restingPaths.delay);
    render(*a, 44100, signal, frames + 1);
    auto fresh = makeEngine(o);
    fresh->drumMainUnit().setMicDistance(0.8);
    fresh->updateCrossPaths();
    render(*fresh, 44100, signal);
    for (size_t i = 0; i < restingPaths.delay.size(); ++i) {
        // Both have glided over 33 time constants: e^-33 of any step is left.
        EXPECT_NEAR(a->crossPaths().delay[i], fresh->crossPaths().delay[i],
                    1e-9 * std::abs(fresh->crossPaths().delay[i]))
            << i;
        EXPECT_NEAR(a->crossPaths().gain[i], fresh->crossPaths().gain[i],
                    1e-9 * std::abs(fresh->crossPaths().gain[i]))
            << i;
    }
}

TEST(RotaryEngine, BrilliantRunsEveryFrameLowCpuEverySecond) {
    EngineOptions o;
    o.cpuMode = 1;
    auto brilliant = makeEngine(o);
    EXPECT_EQ(brilliant->decimationFactor(), 1);
    EXPECT_FALSE(brilliant->decimator().hasTable());
    EXPECT_EQ(brilliant->internalRate(), 44100.0);
    o.cpuMode = 0;
    auto low = makeEngine(o);
    EXPECT_EQ(low->decimationFactor(), 2);
    EXPECT_TRUE(low->decimator().hasTable());
    EXPECT_EQ(low->internalRate(), 22050.0);
    EXPECT_EQ(low->hornUnit(0).unitRate(), 22050.0);
    EXPECT_EQ(low->room().rate(), 22050.0);

    // The ring index moves once per simulated frame.
    const unsigned startB = brilliant->ringIndex(), startL = low->ringIndex();
    const uint32_t countB = brilliant->sampleCounter(), countL = low->sampleCounter();
    render(*brilliant, 300, [](int i) { return 0.1 * std::sin(0.05 * i); });
    render(*low, 300, [](int i) { return 0.1 * std::sin(0.05 * i); });
    EXPECT_EQ(brilliant->ringIndex(), (startB + 300) & RotaryEngine::kRingMask);
    EXPECT_EQ(low->ringIndex(), (startL + 150) & RotaryEngine::kRingMask);
    EXPECT_EQ(brilliant->sampleCounter(), countB + 300);
    EXPECT_EQ(low->sampleCounter(), countL + 300);
}

TEST(RotaryEngine, RingIndexWrapsAt1024) {
    EngineOptions o;
    o.cpuMode = 1;
    auto e = makeEngine(o);
    const unsigned start = e->ringIndex();
    render(*e, 1030, [](int i) { return 0.1 * std::sin(0.05 * i); });
    EXPECT_EQ(e->ringIndex(), (start + 1030) % 1024);
    EXPECT_LT(e->ringIndex(), 1024u);
}

struct RateCase {
    double hostRate;
    int brilliantFactor;
    int lowCpuFactor;
};

TEST(RotaryEngine, EverySupportedRateGivesFiniteOutput) {
    const RateCase cases[] = {{22050, 1, 2},  {32000, 1, 2},  {44100, 1, 2}, {48000, 1, 2},
                              {50000, 2, 4},  {88200, 2, 4},  {96000, 2, 4}, {176400, 4, 8},
                              {192000, 4, 8}, {200000, 8, 8}, {384000, 8, 8}};
    for (const RateCase& c : cases) {
        for (int cpu : {0, 1}) {
            EngineOptions o;
            o.hostRate = c.hostRate;
            o.cpuMode = cpu;
            auto e = makeEngine(o);
            const int factor = cpu ? c.brilliantFactor : c.lowCpuFactor;
            EXPECT_EQ(e->decimationFactor(), factor) << c.hostRate << " cpu " << cpu;
            EXPECT_EQ(e->internalRate(), c.hostRate / factor);
            EXPECT_EQ(e->decimator().hasTable(), factor > 1);
            const int frames = static_cast<int>(c.hostRate / 4);
            const double w = kTwoPi * 440.0 / c.hostRate;
            const std::vector<double> out =
                render(*e, frames, [&](int i) { return 0.5 * std::sin(w * i); });
            double energy = 0.0;
            for (double v : out) {
                ASSERT_TRUE(std::isfinite(v)) << c.hostRate << " cpu " << cpu;
                energy += v * v;
            }
            EXPECT_GT(energy, 1e-3) << c.hostRate << " cpu " << cpu;
        }
    }
}

TEST(RotaryEngine, RatesOutsideTheRangeAreHeldInside) {
    struct Odd {
        double asked;
        double used;
    };
    for (Odd odd : {Odd{8000, 22050}, Odd{1e7, 400000}, Odd{-1, 44100}, Odd{NAN, 44100}}) {
        EngineOptions o;
        o.hostRate = odd.asked;
        auto e = makeEngine(o);
        EXPECT_EQ(e->configuredHostRate(), odd.used) << odd.asked;
        const std::vector<double> out =
            render(*e, 2048, [](int i) { return 0.5 * std::sin(0.03 * i); });
        for (double v : out) ASSERT_TRUE(std::isfinite(v)) << odd.asked;
    }
}

// ---- the rotor in the output ------------------------------------------------------

// Repetition rate (Hz) of the amplitude envelope of x (one channel at rate fs):
// the envelope is the squared signal low-passed at 40 Hz and taken every 16th
// frame; its autocorrelation peaks at the period.
double envelopeRate(const std::vector<double>& x, double fs, double minHz, double maxHz) {
    const int step = 16;
    const double p = std::exp(-kTwoPi * 40.0 / fs);
    std::vector<double> env;
    double a = 0.0, b = 0.0;
    for (size_t i = 0; i < x.size(); ++i) {
        a = x[i] * x[i] + p * (a - x[i] * x[i]);
        b = a + p * (b - a);
        if (i % step == 0) env.push_back(b);
    }
    double mean = 0.0;
    for (double v : env) mean += v;
    mean /= static_cast<double>(env.size());
    for (double& v : env) v -= mean;
    const double envRate = fs / step;
    const int minLag = static_cast<int>(envRate / maxHz);
    const int maxLag = static_cast<int>(envRate / minHz) + 1;
    auto corr = [&](int lag) {
        double s = 0.0;
        for (size_t i = 0; i + lag < env.size(); ++i) s += env[i] * env[i + lag];
        return s / static_cast<double>(env.size() - lag);
    };
    int best = minLag;
    double bestValue = corr(minLag);
    for (int lag = minLag + 1; lag <= maxLag; ++lag) {
        const double c = corr(lag);
        if (c > bestValue) {
            bestValue = c;
            best = lag;
        }
    }
    // Parabola through the peak and its neighbours.
    const double l = corr(best - 1), r = corr(best + 1);
    const double shift = 0.5 * (l - r) / (l - 2.0 * bestValue + r);
    return envRate / (best + shift);
}

// Only the horn reaches the left output: no drum microphone, no cross feeds from
// the drum, no room, no motor noise.
std::unique_ptr<RotaryEngine> hornOnlyEngine() {
    EngineOptions o;
    o.motorNoise = false;
    auto e = makeEngine(o);
    e->targets.drumMicLevel = 0.0;
    e->targets.drumToTubeFeedback = 0.0;
    e->targets.brToTubeGain = 0.0;
    e->targets.roomReturnLevel = 0.0;
    return e;
}

void setLever(RotaryEngine& e, double lever) {
    for (HornUnit* h : {&e.hornUnit(0), &e.hornUnit(1), &e.hornCrossUnit()}) h->setLever(lever);
    for (DrumUnit* d : {&e.drumMainUnit(), &e.drumCrossUnit()}) d->setLever(lever);
}

std::vector<double> leftOf(const std::vector<double>& stereo) {
    std::vector<double> left(stereo.size() / 2);
    for (size_t i = 0; i < left.size(); ++i) left[i] = stereo[2 * i];
    return left;
}

TEST(RotaryEngine, TremoloEnvelopeRepeatsAtTheHornsFastSpeed) {
    auto e = hornOnlyEngine();
    setLever(*e, 0.0); // "Tremolo"
    const double fs = 44100.0, w = kTwoPi * 3000.0 / fs;
    auto sine = [w](int i) { return 0.25 * std::sin(w * i); };
    render(*e, 5 * 44100, sine); // acceleration: 0.62 s from 10 % to 90 %
    EXPECT_NEAR(e->hornUnit(0).rotor().speedHz(), 6.77088, 0.01);
    const std::vector<double> out = leftOf(render(*e, 4 * 44100, sine, 5 * 44100));
    const double rate = envelopeRate(out, fs, 3.0, 12.0);
    EXPECT_NEAR(rate, 6.77088, 0.01 * 6.77088);
}

TEST(RotaryEngine, ChoraleEnvelopeRepeatsAtTheHornsSlowSpeed) {
    auto e = hornOnlyEngine();
    const double fs = 44100.0, w = kTwoPi * 3000.0 / fs;
    auto sine = [w](int i) { return 0.25 * std::sin(w * i); };
    render(*e, 44100, sine);
    EXPECT_NEAR(e->hornUnit(0).rotor().speedHz(), 0.673, 0.001);
    const std::vector<double> out = leftOf(render(*e, 9 * 44100, sine, 44100));
    const double rate = envelopeRate(out, fs, 0.3, 1.2);
    EXPECT_NEAR(rate, 0.673, 0.01 * 0.673);
}

} // namespace
} // namespace zel
