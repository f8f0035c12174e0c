#include "params/ParameterLaws.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>

namespace {

using namespace zel::law;

// The documented values are given to four decimals, so they hold within half a
// unit of the last digit.
constexpr double kFourDecimals = 0.5e-4;

TEST(ParameterLaws, GainTapersHitTheirDocumentedPoints) {
    EXPECT_EQ(gainTaper(0.0), 0.0f);
    EXPECT_NEAR(gainTaper(0.5), 1.0004, kFourDecimals);
    EXPECT_NEAR(gainTaper(1.0), 3.9832, kFourDecimals);
    EXPECT_EQ(unityGainTaper(0.0), 0.0f);
    EXPECT_NEAR(unityGainTaper(0.5), 0.2512, kFourDecimals);
    EXPECT_NEAR(unityGainTaper(1.0), 1.0, kFourDecimals);
    // +12 dB and 0 dB at the ends, -12 dB for the unity taper's middle, to the
    // tenth of a decibel the texts show.
    EXPECT_NEAR(20.0 * std::log10(gainTaper(1.0)), 12.0, 0.05);
    EXPECT_NEAR(20.0 * std::log10(unityGainTaper(0.5)), -12.0, 0.05);
}

TEST(ParameterLaws, TimeFrequencyAndDistanceSpanTheirRanges) {
    // t and f are rounded to float: relative error at most 2^-24.
    EXPECT_NEAR(timeLaw(0.0), 0.1, 0.1 * 0x1p-23);
    EXPECT_EQ(timeLaw(0.5), 1.0f); // exactly one second, so the text says "1.0 s"
    EXPECT_NEAR(timeLaw(1.0), 10.0, 10.0 * 0x1p-23);
    EXPECT_NEAR(frequencyLaw(0.0), 200.0, 200.0 * 0x1p-23);
    EXPECT_NEAR(frequencyLaw(1.0), 20000.0, 20000.0 * 0x1p-23);
    // d is computed in float: 1.3 x + 0.35 with float constants, bit for bit.
    EXPECT_EQ(distanceLaw(0.0f), 0.35f);
    EXPECT_EQ(distanceLaw(0.5f), 1.0f);
    EXPECT_EQ(distanceLaw(1.0f), 1.3f + 0.35f);
}

TEST(ParameterLaws, RadiusLawRunsFromAnEighthToAQuarterMetre) {
    // The constants carry six significant digits, which leaves the ends off by a
    // few micrometres.
    EXPECT_NEAR(radiusLaw(0.0), 0.125, 1e-5);
    EXPECT_NEAR(radiusLaw(1.0), 0.25, 1e-5);
    EXPECT_LT(radiusLaw(0.4), radiusLaw(0.6));
}

TEST(ParameterLaws, HighPassIsOffBelowOnePercentAndSpansTwentyHertzToOneKilohertz) {
    // "about 20 Hz" and "about 1000 Hz": within half a hertz, the "%.0f" of the text.
    EXPECT_NEAR(highPassLaw(0.01f), 20.0, 0.5);
    EXPECT_NEAR(highPassLaw(1.0f), 1000.0, 0.5);
    EXPECT_EQ(highPassLaw(0.009f), 0.0);
    EXPECT_EQ(highPassLaw(0.0f), 0.0);
    EXPECT_EQ(highPassLaw(-1.0f), 0.0);
    EXPECT_EQ(highPassLaw(std::numeric_limits<float>::quiet_NaN()), 0.0);
}

TEST(ParameterLaws, DrumLowPassIsOffOnlyAtExactlyOne) {
    EXPECT_EQ(lowPassLaw(1.0f), 0.0);
    // The power is a float: its relative error is at most 2^-24.
    EXPECT_NEAR(lowPassLaw(0.0f), 200.0, 200.0 * 0x1p-23);
    EXPECT_NEAR(lowPassLaw(0.5f), 2000.0, 2000.0 * 0x1p-23);
    EXPECT_NEAR(lowPassLaw(0.99f), 200.0 * std::pow(100.0, double{0.99f}), 20000.0 * 0x1p-22);
    EXPECT_GT(lowPassLaw(std::nextafter(1.0f, 0.0f)), 19990.0);
}

TEST(ParameterLaws, RndRoundsHalfUpByTruncationAndNeverOverflows) {
    EXPECT_EQ(rnd(0.0), 0);
    EXPECT_EQ(rnd(0.49), 0);
    EXPECT_EQ(rnd(0.5), 1);
    EXPECT_EQ(rnd(2.5), 3);
    EXPECT_EQ(rnd(99.4), 99);
    // Truncation toward zero: -0.7 + 0.5 = -0.2 truncates to 0, -1.5 + 0.5 to -1.
    EXPECT_EQ(rnd(-0.7), 0);
    EXPECT_EQ(rnd(-1.5), -1);
    EXPECT_EQ(rnd(-2.6), -2);
    EXPECT_EQ(rnd(1e30), INT_MAX);
    EXPECT_EQ(rnd(-1e30), INT_MIN);
    EXPECT_EQ(rnd(std::numeric_limits<double>::infinity()), INT_MAX);
    EXPECT_EQ(rnd(std::numeric_limits<double>::quiet_NaN()), 0);
}

} // namespace
