// Four-section cascade: equals its sections in series, saturates where asked,
// also inside a disabled section; every way of running cascades (one by one,
// in chains, in pairs, two or four sections' shares to a register) computes the
// same numbers.
#include "engine/MultiFilter.h"

#include "engine/CpuFeatures.h"
#include "engine/OnePole.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <vector>

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

namespace zel_paths {

using zel::BiquadFilter;
using zel::MultiFilter;

constexpr int kChain = 7;

// The cascade written out section by section, as the engine computes it: the
// guarded input, then per section the history's share (b1 x1 + b2 x2 - a1 y1 -
// a2 y2) added to b0 times the section's input, guarded, saturated where the
// section saturates; each section's output is the next one's input.
struct ReferenceCascade {
    struct Section {
        MultiFilter::Section c;
        bool saturates;
        double inverse, bias;
        double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    };
    Section s[MultiFilter::kSections];

    explicit ReferenceCascade(const MultiFilter& m) {
        for (int i = 0; i < MultiFilter::kSections; ++i)
            s[i] = {m.section(i), m.saturationOn(i), m.saturationInverse(i), m.saturationBias(i)};
    }

    double process(double x) {
        double in = zel::denormalGuard(x, zel::kCascadeGuard);
        for (Section& q : s) {
            const double share = q.c.b1 * q.x1 + q.c.b2 * q.x2 - q.c.a1 * q.y1 - q.c.a2 * q.y2;
            double y = zel::denormalGuard(q.c.b0 * in + share, zel::kCascadeGuard);
            if (q.saturates) {
                y = y / (std::fabs(y + q.bias) * q.inverse + 1.0);
                y = zel::denormalGuard(y, zel::kCascadeGuard);
            }
            q.x2 = q.x1;
            q.x1 = in;
            q.y2 = q.y1;
            q.y1 = y;
            in = y;
        }
        return in;
    }
};

// Seven cascades of peaking, shelving and pass sections; `saturated` lists the
// cascades whose third section saturates.
std::vector<MultiFilter> chain(double shift, std::initializer_list<int> saturated) {
    std::vector<MultiFilter> cascades(kChain);
    for (int c = 0; c < kChain; ++c) {
        BiquadFilter s[4] = {{44100.0, zel::kBiquadPeaking, 700.0 * (c + 1) * shift, 4.0, -9.0 + c},
                             {44100.0, zel::kBiquadLowShelf, 200.0 + 30 * c, 0.7, 6.0},
                             {44100.0, zel::kBiquadPeaking, 3000.0 + 400 * c, 12.0 * shift, 10.0},
                             {44100.0, c % 2 ? zel::kBiquadHighPass : zel::kBiquadLowPass,
                              90.0 + 2000 * c, 0.8, 0.0}};
        for (BiquadFilter& f : s) f.setEnabled(true);
        for (int k : saturated)
            if (k == c) {
                s[2].setSaturation(0.4);
                s[2].setBias(0.03125);
            }
        cascades[c].copyFrom(s);
    }
    return cascades;
}

// Noise with loud bursts (the saturators act) and a silent tail (values down
// where the guards round).
double input(int n, uint32_t& seed) {
    if (n >= 6000) return 0.0;
    seed = seed * 1664525u + 1013904223u;
    const double noise = static_cast<double>(seed >> 8) / 16777216.0 - 0.5;
    return (n % 1500 < 200 ? 40.0 : 0.3) * noise;
}

constexpr int kSamples = 30000;

// Every way of running the cascades computes exactly the written-out formulas:
// the lanes of a register do the same operations in the same order, so the
// results are equal bit for bit (EXPECT_EQ on doubles), also in the tail where
// the guards round.
TEST(MultiFilterPaths, EveryPathComputesTheFormulasExactly) {
    struct Case {
        std::initializer_list<int> saturatedA, saturatedB;
    };
    for (const Case& k : {Case{{}, {}}, Case{{}, {1, 4}}, Case{{0, 6}, {0, 2, 6}}}) {
        const std::vector<MultiFilter> templateA = chain(1.0, k.saturatedA);
        const std::vector<MultiFilter> templateB = chain(1.37, k.saturatedB);
        std::vector<ReferenceCascade> refA, refB;
        for (int c = 0; c < kChain; ++c) {
            refA.emplace_back(templateA[c]);
            refB.emplace_back(templateB[c]);
        }
        std::vector<MultiFilter> narrow = templateA, wide = templateA, single = templateA;
        std::vector<MultiFilter> pairNarrowA = templateA, pairNarrowB = templateB;
        std::vector<MultiFilter> pairWideA = templateA, pairWideB = templateB;
        std::vector<MultiFilter> pairA = templateA, pairB = templateB;
        const bool avx2 = zel::cpuHasAvx2();
        uint32_t seedA = 7, seedB = 99;
        for (int n = 0; n < kSamples; ++n) {
            const double xa = input(n, seedA), xb = input(n + 700, seedB);
            double ea = xa, eb = xb;
            for (int c = 0; c < kChain; ++c) {
                ea = refA[c].process(ea);
                eb = refB[c].process(eb);
            }
            ASSERT_EQ(MultiFilter::chainNarrow(narrow.data(), kChain, xa), ea) << n;
            if (avx2) {
                ASSERT_EQ(MultiFilter::chainWide(wide.data(), kChain, xa), ea) << n;
            }
            double s = xa;
            for (MultiFilter& m : single) s = m.process(s);
            ASSERT_EQ(s, ea) << n;

            double ya = xa, yb = xb;
            MultiFilter::chainPairNarrow(pairNarrowA.data(), ya, pairNarrowB.data(), yb, kChain);
            ASSERT_EQ(ya, ea) << n;
            ASSERT_EQ(yb, eb) << n;
            if (avx2) {
                ya = xa, yb = xb;
                MultiFilter::chainPairWide(pairWideA.data(), ya, pairWideB.data(), yb, kChain);
                ASSERT_EQ(ya, ea) << n;
                ASSERT_EQ(yb, eb) << n;
            }
            ya = xa, yb = xb;
            for (int c = 0; c < kChain; ++c) MultiFilter::processPair(pairA[c], ya, pairB[c], yb);
            ASSERT_EQ(ya, ea) << n;
            ASSERT_EQ(yb, eb) << n;
        }
        // The histories the cascades keep are the sections' own.
        ReferenceCascade::Section& last = refB[kChain - 1].s[3];
        const MultiFilter::SectionState st = pairNarrowB[kChain - 1].sectionState(3);
        EXPECT_EQ(st.y1, last.y1);
        EXPECT_EQ(st.x2, last.x2);
    }
}

// The states at some point of a loud passage, section by section.
TEST(MultiFilterPaths, SectionStatesAreThoseOfTheSections) {
    std::vector<MultiFilter> m = chain(1.0, {3});
    std::vector<ReferenceCascade> ref;
    for (const MultiFilter& c : m) ref.emplace_back(c);
    uint32_t seed = 3;
    for (int n = 0; n < 1234; ++n) {
        double x = input(n, seed), e = x;
        for (ReferenceCascade& r : ref) e = r.process(e);
        ASSERT_EQ(MultiFilter::processChain(m.data(), kChain, x), e);
    }
    for (int c = 0; c < kChain; ++c) {
        for (int i = 0; i < MultiFilter::kSections; ++i) {
            const MultiFilter::SectionState st = m[c].sectionState(i);
            const ReferenceCascade::Section& q = ref[c].s[i];
            EXPECT_EQ(st.x1, q.x1);
            EXPECT_EQ(st.x2, q.x2);
            EXPECT_EQ(st.y, q.y1);
            EXPECT_EQ(st.y1, q.y1);
            EXPECT_EQ(st.y2, q.y2);
        }
    }
}

} // namespace zel_paths
