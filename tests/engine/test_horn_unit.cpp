// The horn unit: Doppler, amplitude and directivity modulation by the rotating
// mouth, the reflections and the static ray, the back-half geometry, the pace of
// the directivity updates and the amplitude floor.
#include "CabinetUnitTestSupport.h"

#include "engine/HornUnit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <memory>
#include <random>
#include <vector>

namespace zel::test {
namespace {

// The test tone (204 Hz) lies well below the horn's lowest resonance at 390 Hz.

struct HornSetup {
    HornUnit::Kind kind = HornUnit::Kind::Microphone1;
    double rate = kRate;
    int factor = 1;
    double speedHz = kSpeedHz;
    double fmRadius = 0.18;
    double attenuation = 1;
    double attenuationDistance = 1;
};

// A horn whose only sound is the direct ray ("Horn Ray 1 (front)"), at a fixed speed.
std::unique_ptr<HornUnit> frontRayHorn(const HornSetup& s = {}) {
    auto h = std::make_unique<HornUnit>(s.kind);
    setPlainCabinet(*h, {.fmRadius = s.fmRadius,
                         .attenuation = s.attenuation,
                         .attenuationDistance = s.attenuationDistance});
    h->setMicDistance(1.0);
    for (int r = 0; r < HornUnit::kRayLevelCount; ++r) h->setRayLevel(r, 0);
    h->setRayLevel(HornUnit::kRayFront, 1);
    h->setZAxisLevel(0);
    h->setStaticRayLevel(0);
    h->setAmplitudeFloor(0);
    startRotor(*h, s.speedHz, s.rate, s.factor);
    return h;
}

std::vector<double> run(HornUnit& h, int n, double toneHz = kToneHz, double rate = kRate) {
    std::vector<double> y(n);
    for (int i = 0; i < n; ++i) y[i] = h.process(std::sin(2 * kPi * toneHz * i / rate));
    return y;
}

// Running sum over exactly one tone cycle.
std::vector<std::complex<double>> cycleSum(const std::vector<std::complex<double>>& v) {
    std::vector<std::complex<double>> out(v.size());
    std::complex<double> acc = 0;
    for (size_t i = 0; i < v.size(); ++i) {
        acc += v[i];
        if (i >= size_t(kCycle)) acc -= v[i - kCycle];
        out[i] = acc;
    }
    return out;
}

// Phase of the tone in y, sample by sample: y mixed down by the tone and averaged
// twice over one tone cycle (a triangle 2 cycles wide, which removes the mixing
// product near twice the tone also while the Doppler shift moves it).
std::vector<double> tonePhase(const std::vector<double>& y) {
    std::vector<std::complex<double>> mixed(y.size());
    for (size_t i = 0; i < y.size(); ++i)
        mixed[i] = y[i] * std::polar(1.0, -2 * kPi * double(i % kCycle) / kCycle);
    const std::vector<std::complex<double>> smooth = cycleSum(cycleSum(mixed));
    std::vector<double> phase(y.size());
    for (size_t i = 0; i < y.size(); ++i) phase[i] = std::arg(smooth[i]);
    for (size_t i = 1; i < phase.size(); ++i) // unwrap
        phase[i] -= 2 * kPi * std::round((phase[i] - phase[i - 1]) / (2 * kPi));
    return phase;
}

// Ratio of the loudest to the softest tone cycle from sample `from` on.
double levelSwing(const std::vector<double>& y, size_t from) {
    double high = 0, low = 1e300;
    for (size_t c = from / kCycle; (c + 1) * kCycle <= y.size(); ++c) {
        double m = 0;
        for (size_t i = c * kCycle; i < (c + 1) * kCycle; ++i) m = std::max(m, std::abs(y[i]));
        high = std::max(high, m);
        low = std::min(low, m);
    }
    return high / low;
}

TEST(HornUnit, FrontRayIsModulatedOncePerRevolution) {
    auto h = frontRayHorn();
    const int warm = 2 * kRevolution;
    const std::vector<double> y = run(*h, warm + 2 * kRevolution);

    // The modulation repeats after one revolution and not after half of one.
    double full = 0, half = 0;
    for (int i = warm; i < warm + kRevolution; ++i) {
        full = std::max(full, std::abs(y[i + kRevolution] - y[i]));
        half = std::max(half, std::abs(y[i + kRevolution / 2] - y[i]));
    }
    const double peak = peakAbs(y, warm);
    // Rotor and tone return to the same state after 6480 samples; what remains is
    // rounding in the rotor angle and the filters (orders below 1e-9).
    EXPECT_LT(full, 1e-9 * peak);
    EXPECT_GT(half, 0.1 * peak);

    // The directivity modulates the level of the tone, and the distance (0.82 m to
    // 1.18 m from the mouth, attenuated out to 10 m) adds to it.
    auto flat = frontRayHorn({.attenuation = 0});
    auto far = frontRayHorn({.attenuationDistance = 10});
    const double directivityOnly = levelSwing(run(*flat, warm + kRevolution), warm);
    const double withDistance = levelSwing(run(*far, warm + kRevolution), warm);
    EXPECT_GT(directivityOnly, 1.1);
    EXPECT_GT(withDistance, 1.1 * directivityOnly);
}

TEST(HornUnit, DopplerDeviationFollowsRadiusSpeedAndSpeedOfSound) {
    // Two settings whose deviations differ by a factor 0.69: FM radius 0.18 m at
    // 6.8 rev/s and 0.25 m at half that speed.
    for (const auto& [fm, revolution] : {std::pair{0.18, kRevolution}, {0.25, 2 * kRevolution}}) {
        SCOPED_TRACE(fm);
        const double speed = kRate / revolution;
        auto moving = frontRayHorn({.speedHz = speed, .fmRadius = fm});
        // Same amplitude and directivity modulation without the Doppler shift: its
        // phase, subtracted, removes the directivity filters' phase modulation.
        auto still = frontRayHorn({.speedHz = speed, .fmRadius = 0});
        const int warm = 2 * revolution;
        const std::vector<double> phase = tonePhase(run(*moving, warm + revolution + 1));
        const std::vector<double> phase0 = tonePhase(run(*still, warm + revolution + 1));

        double upward = 0, downward = 0;
        for (int i = warm; i < warm + revolution; ++i) {
            const double shift = (phase[i + 1] - phase[i]) - (phase0[i + 1] - phase0[i]);
            upward = std::max(upward, shift * kRate / (2 * kPi));
            downward = std::min(downward, shift * kRate / (2 * kPi));
        }
        // The delay is (lambda * FM radius + distance) / c, so the frequency moves by
        // f0 * FM * (dlambda/dt) / c. lambda = sin(mu), and within the lobe (half-width
        // hw = acos(AM radius / distance) / 2 pi turn) mu runs at pi / (2 hw) radians
        // per turn, steepest where the lobe ends: peak f0 * FM * pi / (2 hw) * speed / c
        // either way.
        const double hw = std::acos(0.18 / 1.0) / (2 * kPi);
        const double expected = kToneHz * fm * kPi / (2 * hw) * speed / kSpeedOfSound;
        // The triangle window (2 cycles, up to 1/15 turn) averages the steepest
        // stretch with its neighbourhood, where cos(mu) falls to 0.94 at the window's
        // far end: the measured peak lies up to 4 % below the true one, and above it
        // only by what is left of the directivity filters' phase (under 1 %).
        EXPECT_GT(upward, 0.96 * expected);
        EXPECT_LT(upward, 1.01 * expected);
        EXPECT_GT(-downward, 0.96 * expected);
        EXPECT_LT(-downward, 1.01 * expected);
    }
}

TEST(HornUnit, ReflectionCoefficientZeroLeavesOnlyDirectAndStaticRays) {
    auto everything = frontRayHorn();
    for (int r = 0; r < HornUnit::kRayLevelCount; ++r) everything->setRayLevel(r, 1);
    everything->setZAxisLevel(1);
    everything->setStaticRayLevel(1);
    auto plain = frontRayHorn();
    plain->setStaticRayLevel(1);
    const int n = 3 * kRevolution;
    // With e = 0 every reflected ray and the floor/ceiling taps carry exact zeros.
    const std::vector<double> a = run(*everything, n);
    const std::vector<double> b = run(*plain, n);
    for (int i = 0; i < n; ++i) ASSERT_EQ(a[i], b[i]) << i;

    // ... and with e = 0.5 the reflections are there.
    auto reflecting = frontRayHorn();
    for (int r = 0; r < HornUnit::kRayLevelCount; ++r) reflecting->setRayLevel(r, 1);
    reflecting->setStaticRayLevel(1);
    reflecting->setReflectionCoeff(0.5);
    const std::vector<double> c = run(*reflecting, n);
    double diff = 0;
    for (int i = 0; i < n; ++i) diff = std::max(diff, std::abs(c[i] - b[i]));
    EXPECT_GT(diff, 0.05 * peakAbs(b));

    // The static ray alone does not rotate: the rotor speed makes no difference.
    auto fast = frontRayHorn();
    auto slow = frontRayHorn({.speedHz = 0.3});
    for (HornUnit* h : {fast.get(), slow.get()}) {
        h->setRayLevel(HornUnit::kRayFront, 0);
        h->setStaticRayLevel(1);
    }
    const std::vector<double> yf = run(*fast, n);
    const std::vector<double> ys = run(*slow, n);
    EXPECT_GT(peakAbs(yf), 0.01);
    for (int i = 0; i < n; ++i) ASSERT_EQ(yf[i], ys[i]) << i;
}

// Ray distances of all twelve image rays for a microphone angle.
std::vector<double> rayDistances(double angle, double flip = 0) {
    auto h = frontRayHorn();
    h->setMicAngle(angle);
    h->setFlip(flip);
    h->rebuild();
    std::vector<double> d;
    for (int i = 0; i < HornUnit::kImageRays; ++i) d.push_back(h->rayPath(i).distance);
    return d;
}

TEST(HornUnit, MicrophoneBeyondAQuarterTurnSeesTheBackHalf) {
    // In the back half the wall distances are negated: the image sources are those
    // of the front half turned by half a turn about the axis, so a microphone at
    // a + 0.5 turn sees exactly the distances a microphone at a sees in front.
    for (double a : {0.0, 0.1, -0.2, -0.2499}) {
        const std::vector<double> front = rayDistances(a);
        const std::vector<double> back = rayDistances(a + 0.5 > 0.5 ? a - 0.5 : a + 0.5);
        for (int i = 0; i < HornUnit::kImageRays; ++i)
            EXPECT_NEAR(front[i], back[i], 1e-12) << a << " ray " << i; // rounding of cos/sin
    }
    // Crossing the quarter turn switches halves: the side walls' images jump.
    const std::vector<double> inside = rayDistances(0.2499);
    const std::vector<double> outside = rayDistances(0.2501);
    EXPECT_GT(std::abs(inside[6] - outside[6]), 0.1);
    EXPECT_GT(std::abs(inside[7] - outside[7]), 0.1);

    // The open back lets the back/sides rays through 6 dB weaker when the microphone
    // faces the back of the flipped-open cabinet (flip * half < 0) between the corners.
    auto h = frontRayHorn();
    h->setOpenBackMode(1);
    h->setFlip(1);
    h->rebuild();
    EXPECT_EQ(h->backRegion(), 1);
    EXPECT_EQ(h->openBackFactor(), 1.0);
    h->setMicAngle(0.5);
    h->rebuild();
    EXPECT_EQ(h->backRegion(), 1);
    EXPECT_DOUBLE_EQ(h->openBackFactor(), 0.50118723362);
    h->setOpenBackMode(0);
    h->rebuild();
    EXPECT_EQ(h->openBackFactor(), 1.0);
}

TEST(HornUnit, DirectivitySectionsChangeAtMostEvery16HostSamples) {
    for (const auto& [rate, factor] :
         {std::pair{44100.0, 1}, {22050.0, 2}, {24000.0, 4}, {12000.0, 8}}) {
        SCOPED_TRACE(factor);
        auto h = frontRayHorn({.rate = rate, .factor = factor});
        const int interval = 16 / factor; // internal samples
        BiquadCoefficients a = h->directivityA(0), b = h->directivityB(0);
        int changes = 0;
        const int n = 200 * interval;
        for (int i = 0; i < n; ++i) {
            h->process(std::sin(0.1 * i));
            const BiquadCoefficients na = h->directivityA(0);
            const BiquadCoefficients nb = h->directivityB(0);
            if (na.b0 != a.b0 || na.a1 != a.a1 || nb.b0 != b.b0 || nb.a1 != b.a1) {
                EXPECT_EQ(i % interval, 0) << i;
                ++changes;
            }
            a = na;
            b = nb;
        }
        // The rotor turns about 0.0025 turn per update: most updates move a section.
        EXPECT_GT(changes, n / interval / 2);
    }
}

TEST(HornUnit, AmplitudeFloorOfOneRemovesDistanceModulationBelowIt) {
    const HornSetup attenuated{.attenuationDistance = 10};
    auto probe = frontRayHorn(attenuated);
    // The loudest the direct ray gets: the mouth at its nearest (distance - AM radius).
    const double loudest = probe->attenuationTable().at(1.0 - 0.18) * probe->roomFactor();
    ASSERT_LT(loudest, 1.0); // so a floor of 1 lies above every distance gain

    const int n = 3 * kRevolution;
    std::vector<std::vector<double>> y;
    for (double floor : {0.0, 1.0, 2.0}) {
        auto h = frontRayHorn(attenuated);
        h->setAmplitudeFloor(floor);
        y.push_back(run(*h, n));
    }
    // A unit without distance attenuation (exponent 0: every gain is exactly 1).
    auto flat = frontRayHorn({.attenuation = 0});
    const std::vector<double> none = run(*flat, n);
    ASSERT_NEAR(flat->roomFactor(), 1.0, 1e-15); // a cubic read of a table of ones

    // Floor 1 above every distance gain: the amplitude is 1 throughout, as without
    // attenuation; floor 2 doubles it. Both agree up to the cascade's rounding and
    // the last bit of the flat table's gain.
    const double peak = peakAbs(y[2]);
    for (int i = 0; i < n; ++i) {
        ASSERT_NEAR(y[1][i], none[i], 1e-12 * peak) << i;
        ASSERT_NEAR(y[2][i], 2 * y[1][i], 1e-12 * peak) << i;
    }
    // Without the floor the distance swings the level beyond what directivity does.
    EXPECT_GT(levelSwing(y[0], 2 * kRevolution), 1.1 * levelSwing(y[1], 2 * kRevolution));
}

TEST(HornUnit, CrossUnitMeasuresDelaysFromTheMicrophone) {
    // The static ray alone, after an impulse. A cubic read at w - delay first picks
    // up the impulse two samples early, at floor(delay) - 1.
    auto full = frontRayHorn();
    auto cross = frontRayHorn({.kind = HornUnit::Kind::Cross});
    for (HornUnit* h : {full.get(), cross.get()}) {
        h->setRayLevel(HornUnit::kRayFront, 0);
        h->setStaticRayLevel(1);
        h->clearState();
    }
    const double perMetre = kRate / kSpeedOfSound;
    // Full unit: the whole 1 m; cross unit: the 1 m less the microphone distance
    // (the engine adds the path to the drum microphone) plus the FM radius.
    EXPECT_EQ(firstSound(*full), int(std::floor(1.0 * perMetre)) - 1);
    EXPECT_EQ(firstSound(*cross), int(std::floor(0.18 * perMetre)) - 1);
}

TEST(HornUnit, FlipTakesEffectAtTheNextRebuildAndRestartsTheUnit) {
    auto h = frontRayHorn();
    h->setMicAngle(0.1);
    h->rebuild();
    const double wideFirst = h->rayPath(7).distance; // image in the first side wall
    h->setFlip(1);
    EXPECT_EQ(h->rayPath(7).distance, wideFirst); // stored only
    h->rebuild();
    EXPECT_NE(h->rayPath(7).distance, wideFirst); // the narrow wall is now first
    EXPECT_EQ(h->rotor().flipOffset(), 0.0);

    run(*h, 1000);
    h->setFlip(-1);
    h->rebuild();
    EXPECT_EQ(h->rayPath(7).distance, wideFirst);
    EXPECT_EQ(h->rotor().flipOffset(), 0.5);
    // Cleared and re-rated: from here on it sounds like a unit that starts flipped.
    auto fresh = frontRayHorn();
    fresh->setMicAngle(0.1);
    fresh->setFlip(-1);
    fresh->rebuild();
    const std::vector<double> a = run(*h, 2000);
    const std::vector<double> b = run(*fresh, 2000);
    for (int i = 0; i < 2000; ++i) ASSERT_EQ(a[i], b[i]) << i;
}

TEST(HornUnit, OutputStaysFiniteAcrossTheSettingsRanges) {
    std::mt19937 rng(7);
    RangePicker pick(rng);
    std::uniform_real_distribution<double> noise(-4, 4);
    for (int trial = 0; trial < 60; ++trial) {
        SCOPED_TRACE(trial);
        const auto kind = trial % 3 == 2 ? HornUnit::Kind::Cross : HornUnit::Kind::Microphone2;
        HornUnit h(kind);
        h.setMicAngle(pick(-0.5, 0.5));
        h.setMicDistance(pick(0.3, 1.98)); // microphone 2 goes down to 0.3 m
        h.setFmRadius(pick(0.125, 0.25));
        h.setAmRadius(pick(0.125, 0.25));
        h.setReflectionCoeff(pick(0, 1));
        h.setAttenuation(pick(0, 2));
        h.setAttenuationDistance(pick(0.01, 10));
        h.setAttDecayExp(pick(0.5, 2));
        for (int r = 0; r < HornUnit::kRayLevelCount; ++r) h.setRayLevel(r, pick(0, 1));
        h.setZAxisLevel(pick(0, 1));
        h.setStaticRayLevel(pick(0, 1));
        h.setStaticFilterCutoff(pick(200, 20000));
        h.setAmplitudeFloor(pick(0, 1));
        h.setOpenBackMode(trial % 3);
        h.setFlip(trial % 2 ? 1.0 : -1.0);
        h.setReflectionLowPass(pick(0, 4));
        h.setMechLevel(pick(0, 8));
        h.setSlowSampleLevel(pick(0, 20));
        h.setFastSampleLevel(pick(0, 25));
        h.setTarget(pick(0, 10));
        const auto [rate, factor] = kRobustnessRates[trial % 6];
        h.rebuild();
        h.setUnitRate(rate, factor);
        for (int i = 0; i < 3000; ++i) {
            const double y = h.process(noise(rng));
            ASSERT_TRUE(std::isfinite(y)) << i;
            if (MechNoisePlayer* p = h.mechPlayer()) {
                ASSERT_TRUE(std::isfinite(p->process())) << i;
            }
        }
        EXPECT_TRUE(std::isfinite(h.roomFactor()));
        const MicPoint m = h.crossPathMicPosition();
        EXPECT_TRUE(std::isfinite(m.x) && std::isfinite(m.y));
        EXPECT_TRUE(std::isfinite(h.attenuation(0.77)));
    }
}

} // namespace
} // namespace zel::test
