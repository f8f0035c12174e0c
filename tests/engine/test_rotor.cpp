// Rotor motion: acceleration and deceleration laws, lever, stop, speed changes,
// rate change and the direction of turning.
#include "engine/Rotor.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using zel::Rotor;
using zel::RotorDirection;
using zel::RotorState;

Rotor makeRotor(RotorDirection dir, double rate, double slow, double fast, double accel,
                double decel) {
    Rotor r(dir);
    r.setSlowSpeed(slow);
    r.setFastSpeed(fast);
    r.setAccelTime(accel);
    r.setDecelTime(decel);
    r.setLever(1.0);
    r.setStop(0.0);
    r.setUnitRate(rate, 1);
    return r;
}

// Samples from a speed step until the speed has covered 10 % and then 90 % of it.
double tenToNinetySeconds(Rotor& r, double from, double to) {
    const double rate = r.unitRate();
    const double at10 = from + 0.1 * (to - from);
    const double at90 = from + 0.9 * (to - from);
    const bool rising = to > from;
    auto past = [&](double v, double mark) { return rising ? v >= mark : v <= mark; };
    long n = 0, n10 = -1, n90 = -1;
    while (n90 < 0 && n < 100 * static_cast<long>(rate)) {
        r.step();
        ++n;
        if (n10 < 0 && past(r.speedHz(), at10)) n10 = n;
        if (past(r.speedHz(), at90)) n90 = n;
    }
    EXPECT_GE(n10, 0);
    EXPECT_GE(n90, 0);
    return static_cast<double>(n90 - n10) / rate;
}

TEST(Rotor, AccelerationTimeSpansTenToNinetyPercent) {
    for (double rate : {22050.0, 44100.0, 11025.0}) {
        Rotor r = makeRotor(RotorDirection::Horn, rate, 0.8, 6.7, 1.0, 0.5);
        ASSERT_EQ(r.state(), RotorState::Slow);
        ASSERT_NEAR(r.speedHz(), 0.8, 1e-12); // the rate change set the speed
        r.setLever(0.0);
        ASSERT_EQ(r.state(), RotorState::Fast);
        // The speed is an exactly sampled exponential; each crossing is found to
        // within one sample, so the span is exact to within two samples.
        EXPECT_NEAR(tenToNinetySeconds(r, 0.8, 6.7), 1.0, 2.0 / rate) << rate;
        // And back down with the deceleration time.
        for (int i = 0; i < static_cast<int>(rate) * 10; ++i) r.step();
        r.setLever(1.0);
        EXPECT_NEAR(tenToNinetySeconds(r, 6.7, 0.8), 0.5, 2.0 / rate) << rate;
    }
}

TEST(Rotor, DoesNotMoveBeforeItsTimesAreSet) {
    Rotor r(RotorDirection::Drum);
    r.setFastSpeed(5.0);
    r.setLever(0.0);
    r.setUnitRate(44100.0, 1);
    r.setTarget(5.0);
    for (int i = 0; i < 1000; ++i) r.step();
    // setUnitRate jumped to the target; from here no time constants means no ramp,
    // so a new target is never approached.
    r.setTarget(1.0);
    const double before = r.speed();
    for (int i = 0; i < 1000; ++i) r.step();
    EXPECT_EQ(r.speed(), before);
}

TEST(Rotor, LeverSelectsStatesAndBlendsBetween) {
    Rotor r = makeRotor(RotorDirection::Horn, 44100.0, 0.8, 6.7, 1.0, 1.0);
    r.setLever(0.0);
    EXPECT_EQ(r.state(), RotorState::Fast);
    EXPECT_EQ(r.targetSpeedHz(), 6.7);
    r.setLever(0.25);
    EXPECT_EQ(r.state(), RotorState::Between);
    EXPECT_NEAR(r.targetSpeedHz(), 0.8 + (6.7 - 0.8) * 0.75, 1e-12);
    EXPECT_NEAR(r.targetSpeed(), r.targetSpeedHz() / 44100.0, 1e-18);

    // In the middle state a speed change re-blends at once.
    r.setSlowSpeed(1.0);
    EXPECT_NEAR(r.targetSpeedHz(), 1.0 + (6.7 - 1.0) * 0.75, 1e-12);
    r.setFastSpeed(8.0);
    EXPECT_NEAR(r.targetSpeedHz(), 1.0 + (8.0 - 1.0) * 0.75, 1e-12);

    // At an end only that end's speed applies.
    r.setLever(1.0);
    EXPECT_EQ(r.state(), RotorState::Slow);
    EXPECT_EQ(r.targetSpeedHz(), 1.0);
    r.setFastSpeed(9.0);
    EXPECT_EQ(r.targetSpeedHz(), 1.0);
    r.setSlowSpeed(0.5);
    EXPECT_EQ(r.targetSpeedHz(), 0.5);
    r.setLever(0.0);
    r.setSlowSpeed(0.7);
    EXPECT_EQ(r.targetSpeedHz(), 9.0);
}

TEST(Rotor, StopCoastsDownWithTheDecelerationLawAndReleaseRestoresTheLever) {
    const double rate = 22050.0;
    Rotor r = makeRotor(RotorDirection::Drum, rate, 0.8, 6.0, 1.0, 2.0);
    r.setLever(0.0);
    for (int i = 0; i < static_cast<int>(rate) * 20; ++i) r.step();
    ASSERT_NEAR(r.speedHz(), 6.0, 1e-6);

    r.setStop(1.0);
    EXPECT_EQ(r.state(), RotorState::Stopped);
    EXPECT_EQ(r.targetSpeedHz(), 0.0);
    // Coasting: the speed falls by the deceleration factor each sample.
    const double keep = std::exp(-1.0 / (2.0 * rate * 0.45511961331));
    double expected = r.speed();
    for (int i = 0; i < 1000; ++i) {
        r.step();
        expected *= keep;
    }
    // 1000 multiplications, each rounded: relative error below 1000 ulps.
    EXPECT_NEAR(r.speed(), expected, expected * 1e-12);
    for (int i = 0; i < static_cast<int>(rate) * 60; ++i) r.step();
    EXPECT_LT(r.speedHz(), 1e-6);

    // The lever moves while stopped: remembered, not applied.
    r.setLever(0.5);
    EXPECT_EQ(r.state(), RotorState::Stopped);
    EXPECT_EQ(r.targetSpeedHz(), 0.0);
    r.setStop(0.0);
    EXPECT_EQ(r.state(), RotorState::Between);
    EXPECT_NEAR(r.targetSpeedHz(), 0.8 + (6.0 - 0.8) * 0.5, 1e-12);
}

TEST(Rotor, DecelerationTimeChangeActsOnTheNextSample) {
    const double rate = 44100.0;
    Rotor r = makeRotor(RotorDirection::Horn, rate, 0.8, 6.7, 1.0, 3.0);
    r.setLever(0.0);
    for (int i = 0; i < static_cast<int>(rate) * 10; ++i) r.step();
    r.setLever(1.0);
    for (int i = 0; i < 100; ++i) r.step();
    const double target = 0.8 / rate;
    const double s0 = r.speed();
    ASSERT_GT(s0, target);
    r.setDecelTime(0.2);
    r.step();
    const double keep = std::exp(-1.0 / (0.2 * rate * 0.45511961331));
    EXPECT_NEAR(r.speed(), s0 * keep + target * (1.0 - keep), s0 * 1e-15);
}

TEST(Rotor, RateChangeRestartsAtAngleZeroAtTargetSpeed) {
    Rotor r = makeRotor(RotorDirection::Horn, 44100.0, 0.8, 6.7, 3.0, 3.0);
    r.setLever(0.0); // accelerating toward 6.7 rev/s
    for (int i = 0; i < 5000; ++i) r.step();
    ASSERT_NE(r.angle(), 0.0);
    ASSERT_LT(r.speedHz(), 6.0);

    r.setUnitRate(11025.0, 4);
    EXPECT_EQ(r.angle(), 0.0);
    EXPECT_EQ(r.speed(), 6.7 / 11025.0);
    EXPECT_NEAR(r.speedHz(), 6.7, 1e-12);
    EXPECT_EQ(r.directivityMask(), 3u); // 16 / 4 - 1
    EXPECT_EQ(r.step(), 0.0);           // heard angle is taken before the step
    EXPECT_NEAR(r.angle(), 1.0 - 6.7 / 11025.0, 1e-15);

    // Rates below 11025 are raised to it.
    r.setUnitRate(8000.0, 8);
    EXPECT_EQ(r.unitRate(), 11025.0);
    EXPECT_EQ(r.directivityMask(), 1u);
}

TEST(Rotor, HornTurnsBackwardDrumForwardFlipAddsHalfATurn) {
    const double rate = 44100.0;
    Rotor horn = makeRotor(RotorDirection::Horn, rate, 2.0, 2.0, 1.0, 1.0);
    Rotor drum = makeRotor(RotorDirection::Drum, rate, 2.0, 2.0, 1.0, 1.0);
    const double s = 2.0 / rate;
    horn.step();
    drum.step();
    EXPECT_NEAR(horn.angle(), 1.0 - s, 1e-15);
    EXPECT_NEAR(drum.angle(), s, 1e-15);

    // After n samples at constant speed the angle is n * s turns around the circle
    // (rounding grows with n: n * 1e-16).
    const int n = 100000;
    for (int i = 1; i < n; ++i) {
        const double hh = horn.step();
        const double dh = drum.step();
        ASSERT_TRUE(hh >= 0.0 && hh < 1.0);
        ASSERT_TRUE(dh >= 0.0 && dh < 1.0);
    }
    const double turned = n * s;
    const double frac = turned - std::floor(turned);
    EXPECT_NEAR(drum.angle(), frac, 1e-10);
    EXPECT_NEAR(horn.angle(), 1.0 - frac, 1e-10);

    drum.setFlip(-1.0);
    horn.setFlip(-1.0);
    EXPECT_EQ(drum.flipOffset(), 0.5);
    const double da = drum.angle();
    const double ha = horn.angle();
    auto wrapped = [](double a) { return a >= 1.0 ? a - 1.0 : a; };
    EXPECT_EQ(drum.step(), wrapped(da + 0.5));
    EXPECT_EQ(horn.step(), wrapped(ha + 0.5));
    drum.setFlip(1.0);
    EXPECT_EQ(drum.flipOffset(), 0.0);
    const double unflipped = drum.angle();
    EXPECT_EQ(drum.step(), unflipped);
}

} // namespace
