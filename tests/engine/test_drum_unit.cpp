// The drum unit: the splitter between the rotating and the static low part, the
// limit on the opening's approach, the low static output of the main unit, the
// once-per-revolution modulation, delays of the cross unit and finite output.
#include "CabinetUnitTestSupport.h"

#include "engine/CpuFeatures.h"
#include "engine/DrumUnit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <random>
#include <vector>

namespace zel::test {
namespace {

struct DrumSetup {
    DrumUnit::Kind kind = DrumUnit::Kind::Main;
    double rate = kRate;
    int factor = 1;
    double speedHz = kSpeedHz;
    double splitterHz = 200;
    double frontLevel = 1;
    double staticLevel = 0;
};

std::unique_ptr<DrumUnit> drumUnit(const DrumSetup& s = {}) {
    auto d = std::make_unique<DrumUnit>(s.kind);
    setPlainCabinet(*d);
    if (s.kind == DrumUnit::Kind::Main) d->setMicDistance(1.0);
    for (int r = 0; r < DrumUnit::kRayLevelCount; ++r) d->setRayLevel(r, 0);
    d->setRayLevel(DrumUnit::kRayFront, s.frontLevel);
    d->setStaticRayLevel(s.staticLevel);
    d->setSplitterFrequency(s.splitterHz);
    d->setLowStaticGain(1);
    d->setFilterSaturation(0);
    startRotor(*d, s.speedHz, s.rate, s.factor);
    return d;
}

struct Trace {
    std::vector<double> out;
    std::vector<double> low; // low static output
};

Trace run(DrumUnit& d, int n, double amplitude = 1) {
    Trace r;
    for (int i = 0; i < n; ++i) {
        r.out.push_back(d.process(amplitude * std::sin(2 * kPi * kToneHz * i / kRate)));
        r.low.push_back(d.lowStaticOutput());
    }
    return r;
}

TEST(DrumUnit, SplitterDividesRotatingAndStaticLowParts) {
    const int n = 2 * kRevolution;
    // Splitter at 0 Hz: its pole is 1, so the low states never move: the rays keep
    // their full signal and the low static output stays silent.
    Trace open = run(*drumUnit({.splitterHz = 0, .staticLevel = 1}), n);
    EXPECT_GT(peakAbs(open.out), 0.01);
    EXPECT_EQ(peakAbs(open.low), 0.0);

    // Very high: the low states follow the signal exactly, the rays lose their
    // content and the static ray goes entirely to the low static output.
    Trace closed = run(*drumUnit({.splitterHz = 1e7, .staticLevel = 1}), n);
    // Static ray alone, not split: the reference for the low static output (the
    // level sum of the front ray, the only ray on, is 1).
    Trace staticOnly = run(*drumUnit({.splitterHz = 0, .frontLevel = 0, .staticLevel = 1}), n);
    const double peak = peakAbs(staticOnly.out);
    EXPECT_GT(peak, 0.01);
    // What remains is the denormal guard's rounding: an ulp of the signal.
    EXPECT_LT(peakAbs(closed.out), 1e-12 * peak);
    for (int i = 0; i < n; ++i) ASSERT_NEAR(closed.low[i], staticOnly.out[i], 1e-12 * peak) << i;
}

TEST(DrumUnit, MainUnitLimitsTheOpeningsApproach) {
    auto main = drumUnit();
    auto cross = drumUnit({.kind = DrumUnit::Kind::Cross});
    double lowestMain = 1, lowestCross = 1;
    for (int i = 0; i < kRevolution; ++i) {
        main->process(0.5);
        cross->process(0.5);
        lowestMain = std::min(lowestMain, main->displacement(0));
        lowestCross = std::min(lowestCross, cross->displacement(0));
    }
    // Reached and held; the wide path clamps in single precision, where -0.7
    // rounds by at most half its ulp (0.7 2^-24).
    const double clampRounding = main->wideRays() ? 0.7 * 0x1p-24 : 0.0;
    EXPECT_NEAR(lowestMain, -0.7, clampRounding);
    EXPECT_LT(lowestCross, -0.99); // the cross unit comes all the way round
}

TEST(DrumUnit, LowStaticGainActsOnTheMainUnitOnly) {
    const int n = kRevolution;
    for (auto kind : {DrumUnit::Kind::Main, DrumUnit::Kind::Cross}) {
        auto unity = drumUnit({.kind = kind, .staticLevel = 1});
        auto raised = drumUnit({.kind = kind, .staticLevel = 1});
        raised->setLowStaticGain(3);
        const Trace a = run(*unity, n);
        const Trace b = run(*raised, n);
        for (int i = 0; i < n; ++i) {
            ASSERT_EQ(a.out[i], b.out[i]) << i; // the unit's own output is untouched
            ASSERT_NEAR(b.low[i], 3 * a.low[i], 1e-15 * std::abs(b.low[i])) << i;
        }
        if (kind == DrumUnit::Kind::Main)
            EXPECT_GT(peakAbs(a.low), 0.01);
        else
            EXPECT_EQ(peakAbs(b.low), 0.0);
    }
}

TEST(DrumUnit, ModulationRepeatsOncePerRevolution) {
    auto d = drumUnit({.staticLevel = 0.5});
    d->setReflectionCoeff(0.6);
    for (int r = 0; r < DrumUnit::kRayLevelCount; ++r) d->setRayLevel(r, 1);
    const int warm = 2 * kRevolution;
    const std::vector<double> y = run(*d, warm + 2 * kRevolution).out;
    double full = 0, half = 0;
    for (int i = warm; i < warm + kRevolution; ++i) {
        full = std::max(full, std::abs(y[i + kRevolution] - y[i]));
        half = std::max(half, std::abs(y[i + kRevolution / 2] - y[i]));
    }
    const double peak = peakAbs(y);
    // Rounding of the rotor angle and the filters; with the wide rays, each
    // ray's delayed input and attenuation in single precision, where the
    // rounding falls differently from one revolution to the next: the sine's
    // cubic read of a smooth input (slope well below 1) rounds within about 50
    // units of 2^-24 (DrumRayLanes' test derives the bounds), the attenuation
    // the same, on eight lanes.
    const double tolerance = d->wideRays() ? 8 * 2 * 50 * 0x1p-24 : 1e-9;
    EXPECT_LT(full, tolerance * peak);
    EXPECT_GT(half, 0.05 * peak);
}

TEST(DrumUnit, CrossUnitMeasuresDelaysFromTheMicrophone) {
    // The static ray alone after an impulse; a cubic read at w - delay first picks
    // up the impulse at floor(delay) - 1.
    auto main = drumUnit({.frontLevel = 0, .staticLevel = 1});
    auto cross = drumUnit({.kind = DrumUnit::Kind::Cross, .frontLevel = 0, .staticLevel = 1});
    EXPECT_EQ(firstSound(*main), int(std::floor(1.0 * kRate / kSpeedOfSound)) - 1);
    EXPECT_EQ(firstSound(*cross), 0); // 0.77 m less the 0.77 m microphone distance
}

TEST(DrumUnit, FilterSaturationAndFlipApplyWithoutAndAtRebuild) {
    // Saturation re-tunes the input filter at the next sample, no rebuild needed.
    auto plain = drumUnit();
    auto saturated = drumUnit();
    saturated->setFilterSaturation(8);
    const Trace a = run(*plain, 2000, 2.0);
    const Trace b = run(*saturated, 2000, 2.0);
    double diff = 0;
    for (int i = 0; i < 2000; ++i) diff = std::max(diff, std::abs(a.out[i] - b.out[i]));
    EXPECT_GT(diff, 0.05 * peakAbs(a.out));

    // Flip waits for the rebuild, then swaps the side walls and turns the opening.
    auto d = drumUnit();
    d->setMicAngle(0.1);
    d->rebuild();
    const double before = d->rayPath(1).distance;
    d->setFlip(-1);
    EXPECT_EQ(d->rayPath(1).distance, before);
    EXPECT_EQ(d->rotor().flipOffset(), 0.0);
    d->rebuild();
    EXPECT_EQ(d->rotor().flipOffset(), 0.5);
    d->setFlip(1);
    d->rebuild();
    EXPECT_NE(d->rayPath(1).distance, before); // wide side now toward positive x
}

// The lanes (eight rays to a register in single precision for the main unit,
// four of double for the cross unit) and the rays one or two at a time are the
// same arithmetic to single precision's rounding: every output, low static
// output and displacement agrees to that rounding, in every back region (the
// microphone moved round by rebuilds), while the rotor speeds up. A ray's
// displacement (a sine below 1) differs by up to 20 units of u = 2^-24 (the
// phase's rounding, at most pi, and the series'); its delayed input by the
// cubic's slope (below 25 times the largest sample, 2 here) times the ring
// position's error, which is the displacement's error times the Doppler scale
// (fm metres in samples) plus the rounding of the short part of the position
// (below fmSamples + 1): about 22 u fmSamples + 2 u, plus the cubic's own
// rounding (about 50 u of the samples). Eight rays at levels up to 0.8 and the
// drum's filters (gain within a few units) put the outputs within 20 times
// one ray's error. That is a few hundredths at the highest Doppler scale, far
// below what a wrong ray, lane or sample of this noise would give.
TEST(DrumUnit, WideAndNarrowRaysAgree) {
    constexpr double kU = 0x1p-24;
    constexpr double kDisplacementTolerance = 20 * kU;
    constexpr double kLargestSample = 2, kCubicSlope = 25;
    if (!cpuHasAvx2()) GTEST_SKIP() << "no AVX2: only the narrow rays run here";
    std::mt19937 rng(5);
    RangePicker pick(rng);
    std::uniform_real_distribution<double> noise(-2, 2);
    for (int trial = 0; trial < 24; ++trial) {
        SCOPED_TRACE(trial);
        const auto kind = trial % 2 ? DrumUnit::Kind::Cross : DrumUnit::Kind::Main;
        DrumUnit wide(kind), narrow(kind);
        narrow.setWideRays(false);
        ASSERT_TRUE(wide.wideRays());
        const double radius = pick(0.125, 0.25), fm = pick(0.125, 0.25), e = pick(0, 1);
        const double splitter = pick(50, 500), saturation = pick(0.0008, 8);
        const auto [rate, factor] = kRobustnessRates[trial % 6];
        const double fmSamples = fm * rate * cabinet::kSecondsPerMetre;
        const double position = 22 * kU * fmSamples + 2 * kU;
        const double kOutputTolerance = 20 * kLargestSample * (kCubicSlope * position + 50 * kU);
        for (DrumUnit* d : {&wide, &narrow}) {
            if (!d->isCross()) d->setMicDistance(trial % 4 < 2 ? 0.35 : 1.2);
            d->setFmRadius(fm);
            d->setAmRadius(radius);
            d->setReflectionCoeff(e);
            for (int r = 0; r < DrumUnit::kRayLevelCount; ++r) d->setRayLevel(r, 0.5 + 0.1 * r);
            d->setStaticRayLevel(0.7);
            d->setSplitterFrequency(splitter);
            d->setLowStaticGain(1.5);
            d->setFilterSaturation(saturation);
            d->setFlip(trial % 3 ? 1.0 : -1.0);
            d->setMechLevel(1.0);
            d->setSlowSpeed(0.8);
            d->setFastSpeed(6.5);
            d->setAccelTime(0.3);
            d->setDecelTime(0.3);
            d->setLever(1.0);
            d->rebuild();
            d->setUnitRate(rate, factor);
            d->setLever(0.0); // speeding up from here
        }
        std::vector<int> regions;
        for (double angle : {0.0, 0.2, 0.3, -0.3, -0.2, 0.5}) {
            for (DrumUnit* d : {&wide, &narrow}) {
                d->setMicAngle(angle);
                d->rebuild();
            }
            regions.push_back(wide.backRegion());
            for (int i = 0; i < 1500; ++i) {
                const double x = noise(rng);
                ASSERT_NEAR(wide.process(x), narrow.process(x), kOutputTolerance)
                    << "angle " << angle << " " << i;
                ASSERT_NEAR(wide.lowStaticOutput(), narrow.lowStaticOutput(), kOutputTolerance)
                    << i;
            }
            for (int r = 0; r < DrumUnit::kImageRays; ++r)
                EXPECT_NEAR(wide.displacement(r), narrow.displacement(r), kDisplacementTolerance)
                    << r;
        }
        // The angles went through every back region.
        for (int region : {0, 1, 2})
            EXPECT_NE(std::find(regions.begin(), regions.end(), region), regions.end()) << region;
    }
}

TEST(DrumUnit, OutputStaysFiniteAcrossTheSettingsRanges) {
    std::mt19937 rng(11);
    RangePicker pick(rng);
    std::uniform_real_distribution<double> noise(-4, 4);
    for (int trial = 0; trial < 60; ++trial) {
        SCOPED_TRACE(trial);
        DrumUnit d(trial % 2 ? DrumUnit::Kind::Cross : DrumUnit::Kind::Main);
        d.setMicAngle(pick(-0.5, 0.5));
        if (!d.isCross()) d.setMicDistance(pick(0.35, 1.65));
        d.setFmRadius(pick(0.125, 0.25));
        d.setAmRadius(pick(0.125, 0.25));
        d.setReflectionCoeff(pick(0, 1));
        d.setAttenuation(pick(0, 2));
        d.setAttenuationDistance(pick(0, 3)); // below 0.01 m counts as 0.01 m
        d.setAttDecayExp(pick(0.5, 2));
        for (int r = 0; r < DrumUnit::kRayLevelCount; ++r) d.setRayLevel(r, pick(0, 1));
        d.setStaticRayLevel(pick(0, 1));
        d.setStaticFilterCutoff(pick(200, 20000));
        d.setSplitterFrequency(pick(50, 500));
        d.setLowStaticGain(pick(0, 4));
        d.setFilterSaturation(pick(0.0008, 8));
        d.setFlip(trial % 4 < 2 ? 1.0 : -1.0);
        d.setReflectionLowPass(pick(0, 4));
        d.setMechLevel(pick(0, 30));
        d.setSlowSampleLevel(pick(0, 3));
        d.setFastSampleLevel(pick(0, 4));
        d.setTarget(pick(0, 10));
        const auto [rate, factor] = kRobustnessRates[trial % 6];
        d.rebuild();
        d.setUnitRate(rate, factor);
        for (int i = 0; i < 3000; ++i) {
            ASSERT_TRUE(std::isfinite(d.process(noise(rng)))) << i;
            ASSERT_TRUE(std::isfinite(d.lowStaticOutput())) << i;
            if (MechNoisePlayer* p = d.mechPlayer()) {
                ASSERT_TRUE(std::isfinite(p->process())) << i;
            }
        }
        EXPECT_TRUE(std::isfinite(d.roomFactor()));
        EXPECT_TRUE(std::isfinite(d.attenuation(0.77)));
    }
}

} // namespace
} // namespace zel::test
