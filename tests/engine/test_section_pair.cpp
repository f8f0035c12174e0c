// Two settled sections side by side give what each BiquadFilter's process
// gives alone, to the bit, and hand their histories back so the filters go on
// exactly where the pair stopped. Sections that glide, pass through or are
// disabled are not settled.
#include "engine/BiquadFilter.h"
#include "engine/SectionPair.h"

#include <gtest/gtest.h>

#include <random>

namespace zel {
namespace {

BiquadFilter enabled(int32_t type, double hz, double q, double db) {
    BiquadFilter f(44100.0, type, hz, q, db);
    f.setEnabled(true);
    return f;
}

TEST(SectionPair, RunsTwoSettledSectionsAsTheirOwnProcess) {
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> noise(-1.0, 1.0);
    BiquadFilter peak = enabled(kBiquadPeaking, 900.0, 1.3, 7.0);
    BiquadFilter highPass = enabled(kBiquadHighPass, 120.0, 0.7, 0.0);
    // Some history first, so the pair starts from a state it did not make.
    for (int i = 0; i < 100; ++i) {
        peak.process(noise(rng));
        highPass.process(noise(rng));
    }
    ASSERT_TRUE(SectionPair::settled(peak, highPass));
    BiquadFilter peakAlone = peak, highPassAlone = highPass;
    for (int run = 0; run < 3; ++run) {
        SectionPair pair(peak, highPass);
        // Runs of different lengths, and silence at the end: the guards' tails.
        const int length = 64 + 500 * run;
        for (int i = 0; i < length; ++i) {
            const double a = run == 2 && i > 200 ? 0.0 : noise(rng);
            const double b = run == 2 && i > 200 ? 0.0 : noise(rng);
            const SectionPair::Pair y = pair.process(SectionPair::Pair{a, b});
            ASSERT_EQ(y[0], peakAlone.process(a)) << "run " << run << " sample " << i;
            ASSERT_EQ(y[1], highPassAlone.process(b)) << "run " << run << " sample " << i;
        }
        pair.store();
        // The filters themselves carry on from the pair's histories.
        const double x = noise(rng);
        BiquadFilter peakNext = peak, highPassNext = highPass;
        EXPECT_EQ(peakNext.process(x), peakAlone.process(x));
        EXPECT_EQ(highPassNext.process(x), highPassAlone.process(x));
        peak = peakNext;
        highPass = highPassNext;
    }
}

TEST(SectionPair, GlidingBypassedAndDisabledSectionsAreNotSettled) {
    BiquadFilter ready = enabled(kBiquadPeaking, 900.0, 1.0, 6.0);
    EXPECT_TRUE(ready.settled());

    BiquadFilter gliding = ready;
    gliding.setImmediate(false);
    gliding.setGain(-6.0);
    ASSERT_GT(gliding.glideCount(), 0);
    EXPECT_FALSE(gliding.settled());
    EXPECT_FALSE(SectionPair::settled(ready, gliding));
    while (gliding.glideCount() > 0) gliding.process(0.0);
    EXPECT_TRUE(gliding.settled());

    BiquadFilter identity = enabled(kBiquadIdentity, 900.0, 1.0, 0.0);
    EXPECT_FALSE(identity.settled());
    BiquadFilter disabled = ready;
    disabled.setEnabled(false);
    EXPECT_FALSE(disabled.settled());
    EXPECT_FALSE(SectionPair::settled(disabled, ready));
}

} // namespace
} // namespace zel
