// Settled sections run inline: one section, and two side by side, give what a
// BiquadFilter in immediate mode gives for the same coefficients, to the bit,
// also when the coefficients change from one sample to the next, through the
// tails of silence, and when two sections go side by side for a while.
#include "engine/BiquadFilter.h"
#include "engine/SettledSection.h"

#include <gtest/gtest.h>

#include <random>

namespace zel {
namespace {

TEST(SettledSection, RunsAsAnImmediateBiquadFilter) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> noise(-1.0, 1.0);
    std::uniform_real_distribution<double> hz(100.0, 15000.0);
    BiquadFilter lowPass(44100.0, kBiquadLowPass, 1000.0, 0.7),
        shelf(44100.0, kBiquadHighShelf, 3000.0, 0.707, -6.0);
    lowPass.setEnabled(true);
    shelf.setEnabled(true);
    BiquadFilter lowDesign = lowPass, shelfDesign = shelf; // immediate: no glide
    SettledSection single;
    SettledPair pair;
    single.setCoefficients(lowPass.target());
    pair.setCoefficients(0, lowPass.target());
    pair.setCoefficients(1, shelf.target());
    for (int i = 0; i < 20000; ++i) {
        // Every 50 samples new settings, now and then on consecutive samples.
        if (i % 50 == 0 || (i > 10000 && i % 7 == 0)) {
            lowDesign.setFrequencyAndQ(hz(rng), 0.7);
            shelfDesign.setAll(hz(rng), 0.707, 12.0 * noise(rng));
            lowPass.setTarget(lowDesign.target());
            shelf.setTarget(shelfDesign.target());
            single.setCoefficients(lowDesign.target());
            pair.setCoefficients(0, lowDesign.target());
            pair.setCoefficients(1, shelfDesign.target());
        }
        const double a = noise(rng), b = noise(rng);
        const double expectedLow = lowPass.process(a);
        const double expectedSum = expectedLow + shelf.process(b);
        ASSERT_EQ(single.process(a), expectedLow) << i;
        ASSERT_EQ(pair.processSum(a, b), expectedSum) << i;
    }
    // Silence: the tails die away (or stall at the recursion guard's grid) alike.
    for (int i = 0; i < 200000; ++i) {
        const double expectedLow = lowPass.process(0.0);
        const double expectedSum = expectedLow + shelf.process(0.0);
        ASSERT_EQ(single.process(0.0), expectedLow) << i;
        ASSERT_EQ(pair.processSum(0.0, 0.0), expectedSum) << i;
    }
}

// Two settled sections handed to a pair for a stretch of samples and back keep
// running as they would alone: the pair takes their coefficients and state and
// gives the state back.
TEST(SettledSection, PairTakesTwoSectionsAndGivesThemBack) {
    std::mt19937 rng(9);
    std::uniform_real_distribution<double> noise(-1.0, 1.0);
    BiquadFilter bandA(44100.0, kBiquadBandPass, 1100.0, 0.3),
        bandB(44100.0, kBiquadBandPass, 900.0, 0.55);
    bandA.setEnabled(true);
    bandB.setEnabled(true);
    SettledSection a, b;
    a.setCoefficients(bandA.target());
    b.setCoefficients(bandB.target());
    for (int round = 0; round < 40; ++round) {
        // Alone for a while, then side by side.
        for (int i = 0; i < 1 + round % 5; ++i) {
            const double x = noise(rng), y = noise(rng);
            ASSERT_EQ(a.process(x), bandA.process(x)) << round;
            ASSERT_EQ(b.process(y), bandB.process(y)) << round;
        }
        SettledPair pair;
        pair.take(0, a);
        pair.take(1, b);
        for (int i = 0; i < 1 + round; ++i) {
            const double x = noise(rng), y = noise(rng);
            const __m128d out = pair.process(_mm_set_pd(y, x));
            ASSERT_EQ(_mm_cvtsd_f64(out), bandA.process(x)) << round << " " << i;
            ASSERT_EQ(_mm_cvtsd_f64(_mm_unpackhi_pd(out, out)), bandB.process(y))
                << round << " " << i;
        }
        pair.give(0, a);
        pair.give(1, b);
    }
}

} // namespace
} // namespace zel
