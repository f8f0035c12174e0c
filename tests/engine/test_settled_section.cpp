// Settled sections run inline: one section, and two side by side, give what a
// BiquadFilter in immediate mode gives for the same coefficients, to the bit,
// also when the coefficients change from one sample to the next and through the
// tails of silence.
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

} // namespace
} // namespace zel
