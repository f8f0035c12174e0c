// Four-section cascade: equals its sections in series, saturates where asked,
// also inside a disabled section.
#include "engine/MultiFilter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

namespace {

using zel::BiquadFilter;
using zel::MultiFilter;

BiquadFilter section(int type, double hz, double q, double gainDb, bool enabled = true) {
    BiquadFilter f(44100.0, type, hz, q, gainDb);
    f.setEnabled(enabled);
    return f;
}

// A reproducible test signal: noise plus a low tone.
double signalAt(int n, uint32_t& seed) {
    seed = seed * 1664525u + 1013904223u;
    return (static_cast<double>(seed >> 8) / 16777216.0 - 0.5) + 0.4 * std::sin(0.01 * n);
}

TEST(MultiFilter, EqualsItsFourSectionsInSeries) {
    BiquadFilter s[4] = {
        section(zel::kBiquadPeaking, 5500, 5, -18), section(zel::kBiquadLowShelf, 250, 0.5, 6),
        section(zel::kBiquadHighPass, 90, 1, 0), section(zel::kBiquadLowPass, 1170, 0.93, 0)};
    MultiFilter m;
    m.copyFrom(s[0], s[1], s[2], s[3]);
    uint32_t seed = 1;
    double peak = 0.0;
    for (int n = 0; n < 20000; ++n) {
        const double x = signalAt(n, seed);
        const double expected =
            s[3].processPlain(s[2].processPlain(s[1].processPlain(s[0].processPlain(x))));
        const double y = m.process(x);
        // The cascade also guards its input; each guard moves a value by at most one
        // ulp, which these stable sections pass on with a noise gain of a few units.
        EXPECT_NEAR(y, expected, 1e-12);
        peak = std::max(peak, std::fabs(y));
    }
    EXPECT_GT(peak, 0.1); // the signal really went through

    // The array form copies the same coefficients.
    MultiFilter a;
    a.copyFrom(s);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(a.section(i).b0, m.section(i).b0);
        EXPECT_EQ(a.section(i).a2, m.section(i).a2);
    }
}

TEST(MultiFilter, ClearStateSilencesTheCascade) {
    BiquadFilter s[4] = {
        section(zel::kBiquadPeaking, 300, 10, 12), section(zel::kBiquadPeaking, 900, 10, 12),
        section(zel::kBiquadPeaking, 2000, 10, 12), section(zel::kBiquadPeaking, 4000, 10, 12)};
    MultiFilter m;
    m.copyFrom(s);
    for (int n = 0; n < 100; ++n) m.process(1.0);
    EXPECT_NE(m.process(0.0), 0.0); // still ringing
    m.clearState();
    for (int n = 0; n < 100; ++n) EXPECT_EQ(m.process(0.0), 0.0);
}

TEST(MultiFilter, SaturationLimitsALargeInput) {
    BiquadFilter s[4] = {
        section(zel::kBiquadPeaking, 1000, 1, 0), section(zel::kBiquadPeaking, 2000, 1, 0),
        section(zel::kBiquadPeaking, 3000, 1, 0), section(zel::kBiquadPeaking, 4000, 1, 0)};
    s[1].setSaturation(1.0);
    const double k = s[1].saturationScale(); // about 33
    MultiFilter m;
    m.copyFrom(s);
    double peak = 0.0;
    for (int n = 0; n < 4000; ++n)
        peak = std::max(peak, std::fabs(m.process(1e5 * std::sin(0.02 * n))));
    // Without saturation these 0 dB sections would pass 1e5; the saturator caps its
    // section's output below k, and the 0 dB sections after it overshoot that by
    // at most a few percent.
    EXPECT_LT(peak, 1.1 * k);
    EXPECT_GT(peak, 0.5 * k);
}

TEST(MultiFilter, DisabledSectionWithSaturationStillSaturates) {
    BiquadFilter s[4] = {section(zel::kBiquadPeaking, 1000, 1, 6, false),
                         section(zel::kBiquadPeaking, 1000, 1, 6, false),
                         section(zel::kBiquadPeaking, 1000, 1, 6, false),
                         section(zel::kBiquadPeaking, 1150, 11, -9, false)};
    s[3].setSaturation(0.5);
    s[3].setBias(0.03125);
    ASSERT_TRUE(s[3].saturationOn());
    MultiFilter m;
    m.copyFrom(s);
    EXPECT_TRUE(m.saturationOn(3));
    EXPECT_EQ(m.saturationBias(3), 0.03125);
    const double inv = s[3].saturationInverse();
    // Identity coefficients everywhere, so the output is the saturator's law on the
    // input; a few rounded operations apart.
    for (double x : {1e4, -250.0, 3.0, -0.2}) {
        m.clearState();
        const double expected = x / (std::fabs(x + 0.03125) * inv + 1.0);
        EXPECT_NEAR(m.process(x), expected, std::fabs(expected) * 1e-14);
    }
    // The same section on its own, disabled, passes its input untouched.
    EXPECT_EQ(s[3].processSaturated(1e4), 1e4);
}

} // namespace
