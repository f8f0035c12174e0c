// Second-order section: responses of every type, the pole/zero glide, bypass,
// clamps, saturation, and the recursion every sample runs.
#include "BiquadStateExpect.h"
#include "engine/BiquadFilter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <vector>

namespace {

using zel::BiquadCoefficients;
using zel::BiquadFilter;
using cd = std::complex<double>;

constexpr double kPi = 3.14159265358979323846;
constexpr double kRate = 44100.0;

// H(e^jw) of a section with normalized coefficients.
cd response(const BiquadCoefficients& c, double hz, double rate) {
    const cd z1 = std::polar(1.0, -2.0 * kPi * hz / rate);
    const cd z2 = z1 * z1;
    return (c.b0 + c.b1 * z1 + c.b2 * z2) / (1.0 + c.a1 * z1 + c.a2 * z2);
}

double magnitude(const BiquadCoefficients& c, double hz, double rate = kRate) {
    return std::abs(response(c, hz, rate));
}

// Steady-state amplitude of the filter's answer to a unit sine at an integer
// frequency: after a settling stretch, one second of output is correlated with
// the sine's own bin (a whole number of cycles, so no leakage).
double measuredGain(BiquadFilter& f, double hz) {
    const int settle = 8820;
    const int window = static_cast<int>(kRate);
    const double w = 2.0 * kPi * hz / kRate;
    cd acc = 0.0;
    for (int n = 0; n < settle + window; ++n) {
        const double y = f.process(std::sin(w * n));
        if (n >= settle) acc += y * std::polar(1.0, -w * n);
    }
    return 2.0 * std::abs(acc) / window;
}

BiquadFilter enabledSection(int type, double hz, double q, double gainDb, double rate = kRate) {
    BiquadFilter f(rate, type, hz, q, gainDb);
    f.setEnabled(true);
    return f;
}

// Largest pole radius of z^2 + a1 z + a2.
double poleRadius(double a1, double a2) {
    const double disc = a1 * a1 - 4.0 * a2;
    if (disc < 0.0) return std::sqrt(a2);
    const double s = std::sqrt(disc);
    return std::max(std::fabs((-a1 - s) * 0.5), std::fabs((-a1 + s) * 0.5));
}

double dbToGain(double db) {
    return std::pow(10.0, db / 20.0);
}

TEST(BiquadFilter, MeasuredSineResponseOfEveryTypeMatchesItsCoefficients) {
    // Accumulated rounding over 53k samples stays near 1e-13 and the transient left
    // after 8820 samples (pole radii below 0.99) is below 1e-30, so 1e-9 is safe.
    const double tol = 1e-9;
    for (int type = 1; type <= 10; ++type) {
        for (double hz : {100.0, 700.0, 1000.0, 3000.0, 12000.0}) {
            BiquadFilter f = enabledSection(type, 1000.0, 0.9, 9.0);
            const double expected = magnitude(f.target(), hz);
            EXPECT_NEAR(measuredGain(f, hz), expected, tol) << "type " << type << " at " << hz;
        }
    }
}

TEST(BiquadFilter, ResponsesHaveTheirDefiningGains) {
    // Coefficients come from a handful of rounded operations: 1e-12 is ample.
    const double tol = 1e-12;
    const double f0 = 1000.0, q = 0.8, g = 9.0, nyq = kRate / 2.0;
    // At DC the denominators shrink to about w^2 (0.02 here), which scales the
    // coefficient rounding (1e-16) up to about 1e-14: still well inside 1e-12.
    const double dc = 0.0;
    auto widened = [&](double p, double edge) { return 1.0 - std::pow(f0 / (kRate * edge), p); };

    BiquadFilter hp = enabledSection(zel::kBiquadHighPass, f0, q, 0);
    EXPECT_NEAR(magnitude(hp.target(), dc), 0.0, tol);
    EXPECT_NEAR(magnitude(hp.target(), nyq), 1.0, tol);
    EXPECT_NEAR(magnitude(hp.target(), f0), q * widened(6.0, 0.5001), tol);

    BiquadFilter hp1 = enabledSection(zel::kBiquadFirstOrderHighPass, f0, q, 0);
    EXPECT_NEAR(magnitude(hp1.target(), dc), 0.0, tol);
    EXPECT_NEAR(magnitude(hp1.target(), nyq), 1.0, tol);
    EXPECT_NEAR(magnitude(hp1.target(), f0), std::sqrt(0.5), tol);

    BiquadFilter ls = enabledSection(zel::kBiquadLowShelf, f0, q, g);
    EXPECT_NEAR(magnitude(ls.target(), dc), dbToGain(g), tol);
    EXPECT_NEAR(magnitude(ls.target(), nyq), 1.0, tol);

    BiquadFilter pk = enabledSection(zel::kBiquadPeaking, f0, q, g);
    EXPECT_NEAR(magnitude(pk.target(), f0), dbToGain(g), tol);
    EXPECT_NEAR(magnitude(pk.target(), dc), 1.0, tol);

    BiquadFilter bp = enabledSection(zel::kBiquadBandPass, f0, q, 0);
    EXPECT_NEAR(magnitude(bp.target(), f0), 1.0, tol);
    EXPECT_NEAR(magnitude(bp.target(), dc), 0.0, tol);

    BiquadFilter notch = enabledSection(zel::kBiquadNotch, f0, q, 0);
    EXPECT_NEAR(magnitude(notch.target(), f0), 0.0, tol);
    EXPECT_NEAR(magnitude(notch.target(), dc), 1.0, tol);

    BiquadFilter hs = enabledSection(zel::kBiquadHighShelf, f0, q, g);
    EXPECT_NEAR(magnitude(hs.target(), dc), 1.0, tol);
    EXPECT_NEAR(magnitude(hs.target(), nyq), dbToGain(g), tol);

    BiquadFilter lp = enabledSection(zel::kBiquadLowPass, f0, q, 0);
    EXPECT_NEAR(magnitude(lp.target(), dc), 1.0, tol);
    EXPECT_NEAR(magnitude(lp.target(), nyq), 0.0, tol);
    EXPECT_NEAR(magnitude(lp.target(), f0), q * widened(8.0, 0.50001), tol);

    BiquadFilter lp1 = enabledSection(zel::kBiquadOnePoleLowPass, f0, q, 0);
    EXPECT_NEAR(magnitude(lp1.target(), dc), 1.0, tol);
    EXPECT_NEAR(magnitude(lp1.target(), f0), std::sqrt(0.5), tol);

    BiquadFilter ap = enabledSection(zel::kBiquadAllPass, f0, q, 0);
    for (double hz : {dc, 300.0, f0, 5000.0, nyq})
        EXPECT_NEAR(magnitude(ap.target(), hz), 1.0, tol);

    BiquadFilter id = enabledSection(zel::kBiquadIdentity, f0, q, g);
    EXPECT_NEAR(magnitude(id.target(), 3000.0), 1.0, 0.0);
    BiquadFilter unknown = enabledSection(42, f0, q, g);
    EXPECT_NEAR(magnitude(unknown.target(), 3000.0), 1.0, 0.0);
}

// Peaking and low-pass written out from the cookbook formulas with the widened Q,
// compared over the whole band.
TEST(BiquadFilter, PeakingAndLowPassMatchIndependentFormulas) {
    const double tol = 1e-12; // same handful of rounded operations on both sides
    for (double f0 : {150.0, 2500.0, 15000.0}) {
        const double q = 1.7, g = -7.0;
        const double w = 2.0 * kPi * f0 / kRate;
        const double A = std::pow(10.0, g / 40.0);
        const double qp = q * (1.0 - std::pow(f0 / (kRate * 0.5001), 2.8));
        const double ap = std::sin(w) / (2.0 * qp);
        const double ql = q * (1.0 - std::pow(f0 / (kRate * 0.50001), 8.0));
        const double al = std::sin(w) / (2.0 * ql);
        BiquadFilter pk = enabledSection(zel::kBiquadPeaking, f0, q, g);
        BiquadFilter lp = enabledSection(zel::kBiquadLowPass, f0, q, g);
        for (double hz : {50.0, 0.5 * f0, f0, 1.5 * f0, 20000.0}) {
            const cd z1 = std::polar(1.0, -2.0 * kPi * hz / kRate);
            const cd z2 = z1 * z1;
            const cd hp = (1.0 + ap * A - 2.0 * std::cos(w) * z1 + (1.0 - ap * A) * z2) /
                          (1.0 + ap / A - 2.0 * std::cos(w) * z1 + (1.0 - ap / A) * z2);
            const double c = std::cos(w);
            const cd hl = ((1.0 - c) / 2.0 + (1.0 - c) * z1 + (1.0 - c) / 2.0 * z2) /
                          (1.0 + al - 2.0 * c * z1 + (1.0 - al) * z2);
            EXPECT_NEAR(magnitude(pk.target(), hz), std::abs(hp), tol) << f0 << " " << hz;
            EXPECT_NEAR(magnitude(lp.target(), hz), std::abs(hl), tol) << f0 << " " << hz;
        }
    }
}

TEST(BiquadFilter, NearNyquistWideningBroadensThePeak) {
    const double f0 = 0.499 * kRate, q = 1.0, g = 12.0;
    BiquadFilter pk = enabledSection(zel::kBiquadPeaking, f0, q, g);
    // The same peak without widening, from the cookbook formulas.
    const double w = 2.0 * kPi * f0 / kRate;
    const double A = std::pow(10.0, g / 40.0);
    const double a = std::sin(w) / (2.0 * q);
    const double hz = 0.95 * f0;
    const cd z1 = std::polar(1.0, -2.0 * kPi * hz / kRate);
    const cd z2 = z1 * z1;
    const double plain = std::abs((1.0 + a * A - 2.0 * std::cos(w) * z1 + (1.0 - a * A) * z2) /
                                  (1.0 + a / A - 2.0 * std::cos(w) * z1 + (1.0 - a / A) * z2));
    const double widenedGain = magnitude(pk.target(), hz);
    // Without widening the peak is a sliver at Nyquist; with it, the boost reaches
    // well down: more than half the peak's dB at 5 % below the centre.
    EXPECT_LT(20.0 * std::log10(plain), 1.0);
    EXPECT_GT(20.0 * std::log10(widenedGain), 6.0);
}

TEST(BiquadFilter, PeakingGainChangeGlidesOver132StableSteps) {
    BiquadFilter f = enabledSection(zel::kBiquadPeaking, 1000.0, 2.0, 0.0);
    f.setImmediate(false);
    ASSERT_EQ(f.glideLength(), 132); // int(44100 * 0.003)
    const BiquadCoefficients before = f.target();
    f.setGain(12.0);
    ASSERT_EQ(f.glideCount(), 132);
    // The coefficients in use still are the old ones until the first sample.
    EXPECT_NEAR(magnitude(f.current(), 1000.0), 1.0, 1e-12);

    double lastPeak = magnitude(before, 1000.0);
    for (int n = 1; n <= 132; ++n) {
        f.process(0.0);
        EXPECT_EQ(f.glideCount(), 132 - n);
        const BiquadCoefficients& c = f.current();
        EXPECT_LT(poleRadius(c.a1, c.a2), 1.0) << "step " << n;
        // The peak rises monotonically toward +12 dB.
        const double peak = magnitude(c, 1000.0);
        EXPECT_GE(peak, lastPeak - 1e-12) << "step " << n;
        if (n < 132) {
            EXPECT_LT(peak, dbToGain(12.0) - 1e-6) << "step " << n;
        }
        lastPeak = peak;
    }
    // 132 increments of rounded size land within a few ulps of the targets.
    const BiquadCoefficients& c = f.current();
    const BiquadCoefficients& t = f.target();
    EXPECT_NEAR(c.a1, t.a1, 1e-13);
    EXPECT_NEAR(c.a2, t.a2, 1e-13);
    EXPECT_NEAR(c.b0, t.b0, 1e-13);
    EXPECT_NEAR(c.b1, t.b1, 1e-13);
    EXPECT_NEAR(c.b2, t.b2, 1e-13);
    EXPECT_NEAR(measuredGain(f, 1000), dbToGain(12.0), 1e-9);
}

TEST(BiquadFilter, GlideThroughAChangeOfPoleKindStaysStable) {
    // A resonant low-pass (complex poles) sweeping into an overdamped one (real
    // poles) and back: every intermediate section must stay stable.
    BiquadFilter f = enabledSection(zel::kBiquadLowPass, 3000.0, 8.0, 0.0);
    f.setImmediate(false);
    for (auto [hz, q] : {std::pair{200.0, 0.2}, std::pair{9000.0, 5.0}, std::pair{40.0, 0.05}}) {
        f.setFrequencyAndQ(hz, q);
        while (f.glideCount() > 0) {
            f.process(0.0);
            EXPECT_LT(poleRadius(f.current().a1, f.current().a2), 1.0);
        }
    }
}

TEST(BiquadFilter, ImmediateModeAppliesAtOnceAndClearSnaps) {
    BiquadFilter f = enabledSection(zel::kBiquadPeaking, 1000.0, 1.0, 0.0);
    ASSERT_TRUE(f.immediate());
    f.setGain(6.0);
    EXPECT_EQ(f.glideCount(), 0);
    EXPECT_NEAR(magnitude(f.current(), 1000.0), dbToGain(6.0), 1e-12);

    f.setImmediate(false);
    for (int i = 0; i < 10; ++i) f.process(1.0);
    f.setGain(-6.0);
    EXPECT_EQ(f.glideCount(), 132);
    f.clear();
    EXPECT_EQ(f.glideCount(), 0);
    EXPECT_NEAR(magnitude(f.current(), 1000.0), dbToGain(-6.0), 1e-12);
    const zel::BiquadState& s = f.state();
    EXPECT_EQ(s.x1, 0.0);
    EXPECT_EQ(s.x2, 0.0);
    EXPECT_EQ(s.y1, 0.0);
    EXPECT_EQ(s.y2, 0.0);
}

TEST(BiquadFilter, DisabledSectionPassesInputExactlyWithEmptyHistory) {
    BiquadFilter f = enabledSection(zel::kBiquadPeaking, 800.0, 3.0, 10.0);
    f.setImmediate(false);
    for (int i = 0; i < 50; ++i) f.process(std::sin(0.1 * i));
    EXPECT_NE(f.state().y1, 0.0);
    f.setEnabled(false);
    EXPECT_EQ(f.glideCount(), 0); // enabling or disabling snaps
    for (double x : {0.3, -1e-20, 7.0, 1e-300, -0.123456789}) {
        EXPECT_EQ(f.process(x), x);
        EXPECT_EQ(f.processSaturated(x), x);
        EXPECT_EQ(f.state().x1, 0.0);
        EXPECT_EQ(f.state().x2, 0.0);
        EXPECT_EQ(f.state().y1, 0.0);
        EXPECT_EQ(f.state().y2, 0.0);
    }
    // Its target is the identity, which is what a cascade copies.
    const BiquadCoefficients& t = f.target();
    EXPECT_EQ(t.b0, 1.0);
    EXPECT_EQ(t.b1, 0.0);
    EXPECT_EQ(t.b2, 0.0);
    EXPECT_EQ(t.a1, 0.0);
    EXPECT_EQ(t.a2, 0.0);
}

TEST(BiquadFilter, SettersClampTheirArguments) {
    BiquadFilter f = enabledSection(zel::kBiquadPeaking, 1000.0, 1.0, 0.0);
    f.setRate(5000.0);
    EXPECT_EQ(f.rate(), 44100.0);
    f.setRate(500000.0);
    EXPECT_EQ(f.rate(), 44100.0);
    f.setRate(std::nan(""));
    EXPECT_EQ(f.rate(), 44100.0);
    f.setRate(11025.0); // the engine's lowest internal rate is accepted
    EXPECT_EQ(f.rate(), 11025.0);
    EXPECT_EQ(f.glideLength(), 33);
    f.setRate(96000.0);
    EXPECT_EQ(f.rate(), 96000.0);
    EXPECT_EQ(f.glideLength(), 288);

    f.setFrequency(0.0);
    EXPECT_EQ(f.frequency(), 0.001);
    f.setFrequency(60000.0);
    EXPECT_EQ(f.frequency(), 0.499 * 96000.0);
    f.setFrequencyAndQ(-5.0, 0.0);
    EXPECT_EQ(f.frequency(), 0.001);
    EXPECT_EQ(f.q(), 1e-4);
    f.setFrequencyAndQ(2000.0, 5000.0);
    EXPECT_EQ(f.q(), 1000.0);
    f.setQ(-1.0);
    EXPECT_EQ(f.q(), 1e-4);
    f.setQ(2.5);
    EXPECT_EQ(f.q(), 2.5);
    f.setGain(2000.0);
    EXPECT_EQ(f.gainDb(), 1000.0);
    f.setGain(-2000.0);
    EXPECT_EQ(f.gainDb(), -1000.0);
    f.setBias(1.0);
    EXPECT_EQ(f.saturationBias(), 0.25);
    f.setBias(-0.3);
    EXPECT_EQ(f.saturationBias(), -0.25);
    f.setBias(0.03125);
    EXPECT_EQ(f.saturationBias(), 0.03125);

    // setAll stores as given.
    f.setAll(50000.0, 0.01, 3.0);
    EXPECT_EQ(f.frequency(), 50000.0);
    EXPECT_EQ(f.q(), 0.01);
}

TEST(BiquadFilter, DegenerateSettingsLeaveTheSectionTransparent) {
    // At 0.5001 of the rate the widening term divides by zero.
    BiquadFilter f = enabledSection(zel::kBiquadPeaking, 1000.0, 1.0, 6.0);
    f.setAll(0.5001 * kRate, 1.0, 6.0);
    for (double x : {1.0, -0.5, 0.25}) {
        const double y = f.process(x);
        EXPECT_TRUE(std::isfinite(y));
        EXPECT_EQ(y, x);
    }
}

TEST(BiquadFilter, SaturationBoundsTheOutputByItsScale) {
    // An enabled 0 dB peaking section is the identity, so the saturator alone
    // shapes the output: y = x / (|x| / k + 1) with k = 1000 q^0.75 / (f * 0.03).
    BiquadFilter f = enabledSection(zel::kBiquadPeaking, 1000.0, 2.0, 0.0);
    f.setSaturation(1.0);
    ASSERT_TRUE(f.saturationOn());
    const double k = 1000.0 * std::pow(2.0, 0.75) / (1000.0 * 0.01 * 3.0);
    EXPECT_NEAR(f.saturationScale(), k, k * 1e-15);
    EXPECT_NEAR(f.saturationInverse() * f.saturationScale(), 1.0, 1e-15);
    EXPECT_NEAR(f.slowCoef(), 1.0 - std::pow(0.005, 30.0 / kRate), 1e-16);
    for (double x : {1e6, -1e6, 10.0, 0.01}) {
        const double y = f.processSaturated(x);
        // Relative error of a few rounded operations.
        EXPECT_NEAR(y, x / (std::fabs(x) / k + 1.0), std::fabs(y) * 1e-14);
        EXPECT_LT(std::fabs(y), k);
        f.clear();
    }
    // Saturation grows with the amount and the frequency, shrinks with Q.
    const double k1 = f.saturationScale();
    f.setSaturation(2.0);
    EXPECT_NEAR(f.saturationScale(), k1 / 2.0, k1 * 1e-15);
    f.setQ(4.0);
    EXPECT_NEAR(f.saturationScale(), k1 / 2.0 * std::pow(2.0, 0.75), k1 * 1e-14);
    f.setRate(88200.0); // the same frequency at twice the rate saturates half as much
    EXPECT_NEAR(f.saturationScale(), k1 * std::pow(2.0, 0.75), k1 * 1e-14);

    f.setSaturation(0.0);
    EXPECT_FALSE(f.saturationOn());
    EXPECT_EQ(f.saturationScale(), 1000.0);
    f.clear();
    EXPECT_EQ(f.processSaturated(1e6), 1e6);
}

TEST(BiquadFilter, PlainProcessUsesTargetsWhateverTheGlide) {
    BiquadFilter a = enabledSection(zel::kBiquadLowShelf, 300.0, 0.7, 0.0);
    a.setImmediate(false);
    a.setGain(9.0); // gliding for process, not for processPlain
    BiquadFilter b = enabledSection(zel::kBiquadLowShelf, 300.0, 0.7, 9.0);
    for (int n = 0; n < 200; ++n) {
        const double x = std::sin(0.05 * n) + 0.3;
        EXPECT_EQ(a.processPlain(x), b.processPlain(x));
    }
}

} // namespace

namespace {

// A section computes, every sample, b0 x + (b1 x1 + b2 x2 - a1 y1 - a2 y2)
// guarded with 1e-30, with the coefficients of this sample: the glide's while
// one runs, the targets once it is over (the inline path of a settled section
// and the gliding path do the same operations, so the outputs are equal bit
// for bit). The identity type passes its input through, also after a section
// has been switched to it and back.
TEST(BiquadFilter, ProcessRunsTheRecursionWithTheCoefficientsOfTheSample) {
    BiquadFilter f = enabledSection(zel::kBiquadPeaking, 1200.0, 2.0, 4.0);
    f.setImmediate(false);
    auto expected = [](const BiquadCoefficients& c, const zel::BiquadState& s, double x) {
        const double history = c.b1 * s.x1 + c.b2 * s.x2 - c.a1 * s.y1 - c.a2 * s.y2;
        return zel::denormalGuard(c.b0 * x + history, zel::kRecursionGuard);
    };
    int glided = 0;
    for (int n = 0; n < 600; ++n) {
        if (n == 100) f.setGain(-9.0);
        if (n == 300) f.setFrequencyAndQ(5000.0, 0.7);
        const double x = std::sin(0.07 * n) + 0.25 * std::sin(1.3 * n);
        const zel::BiquadState before = f.state();
        const bool gliding = f.glideCount() > 0;
        const double y = f.process(x);
        const BiquadCoefficients& c = gliding ? f.current() : f.target();
        ASSERT_EQ(y, expected(c, before, x)) << n;
        ASSERT_EQ(f.state().y1, y);
        ASSERT_EQ(f.state().x1, x);
        glided += gliding;
    }
    EXPECT_EQ(glided, 2 * 132);

    f.setType(zel::kBiquadIdentity);
    f.clear();
    EXPECT_EQ(f.process(0.75), 0.75);
    f.setType(zel::kBiquadPeaking);
    f.clear();
    const zel::BiquadState before = f.state();
    EXPECT_EQ(f.process(0.75), expected(f.target(), before, 0.75));
    EXPECT_NE(f.process(0.0), 0.0); // the peak rings on
}

// A chain run over a run of samples shares the histories held between its
// sections, so it is taken only where they agree to the bit: sections that ran
// as a chain agree; one that ran on its own input does not, until a clear. The
// run then gives the per-sample chain's values and histories to the bit.
TEST(BiquadFilter, SteadyChainRunMatchesThePerSampleChain) {
    BiquadFilter a[3] = {{kRate, zel::kBiquadPeaking, 300.0, 0.7, 5.0},
                         {kRate, zel::kBiquadHighShelf, 3000.0, 0.5, -4.0},
                         {kRate, zel::kBiquadLowPass, 9000.0, 0.9, 0.0}};
    for (BiquadFilter& f : a) f.setEnabled(true);
    BiquadFilter b[3] = {a[0], a[1], a[2]};
    BiquadFilter* const runChain[] = {&b[0], &b[1], &b[2]};
    const BiquadFilter* const view[] = {&b[0], &b[1], &b[2]};
    for (const BiquadFilter& f : b) ASSERT_TRUE(f.steady());
    b[1].process(
        0.25); // the middle section alone: its input history is not its predecessor's output
    EXPECT_FALSE(BiquadFilter::chained(view));
    for (BiquadFilter& f : b) f.clear();
    EXPECT_TRUE(BiquadFilter::chained(view));
    double x[50];
    int t = 0;
    for (int run = 0; run < 4; ++run) {
        const int n = run == 2 ? 1 : 50;
        for (int i = 0; i < n; ++i) x[i] = std::sin(0.21 * (t + i)) + (t + i == 3 ? 2.0 : 0.0);
        BiquadFilter::processSteadyChain(runChain, x, n);
        for (int i = 0; i < n; ++i, ++t) {
            const double want =
                a[2].process(a[1].process(a[0].process(std::sin(0.21 * t) + (t == 3 ? 2.0 : 0.0))));
            ASSERT_EQ(want, x[i]) << run << " " << i;
        }
        for (int k = 0; k < 3; ++k) zel::test::expectSameBiquadState(a[k].state(), b[k].state());
        EXPECT_TRUE(BiquadFilter::chained(view));
    }
}

} // namespace
