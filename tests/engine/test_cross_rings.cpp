// The cross-path rings: each read is readLinear of its own ring, the four
// microphone feeds read together give the same values to the bit, also for
// delays that wrap round the ring or reach beyond it; so do four samples of
// one ring read together.
#include "engine/CpuFeatures.h"
#include "engine/CrossRings.h"
#include "engine/Interpolation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

namespace zel {
namespace {

TEST(CrossRings, FeedsAreTheRingsReadAtTheirDelays) {
    CrossRings rings;
    std::vector<double> drum(CrossRings::kLength), horn(CrossRings::kLength),
        port(CrossRings::kLength);
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> value(-1.0, 1.0);
    for (unsigned r = 0; r < CrossRings::kLength; ++r) {
        drum[r] = value(rng);
        horn[r] = value(rng);
        port[r] = value(rng);
        rings.write(r, drum[r], horn[r], port[r]);
    }
    const auto expected = [](const std::vector<double>& ring, unsigned r, double delay) {
        return readLinear(ring.data(), CrossRings::kMask, CrossRings::kLength,
                          static_cast<double>(r) - delay);
    };
    std::uniform_real_distribution<double> delay(0.0, 1023.0);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (int trial = 0; trial < 5000; ++trial) {
        const unsigned r = static_cast<unsigned>(trial * 37) & CrossRings::kMask;
        double d[4] = {delay(rng), delay(rng), delay(rng), delay(rng)};
        // Now and then a delay beyond the ring, a negative one or not a number.
        if (trial % 50 == 1) d[trial % 4] = 3000.5;
        if (trial % 50 == 2) d[trial % 4] = -10.25;
        if (trial % 50 == 3) d[trial % 4] = nan;
        const CrossRings::Feeds f = rings.feeds(r, d);
        ASSERT_EQ(f.drumToHorn, expected(drum, r, d[0])) << trial;
        ASSERT_EQ(f.portToHorn, expected(port, r, d[1])) << trial;
        ASSERT_EQ(f.hornToDrum, expected(horn, r, d[2])) << trial;
        ASSERT_EQ(f.portToDrum, expected(port, r, d[3])) << trial;
        ASSERT_EQ(rings.read(CrossRings::kHorn, r, d[2]), expected(horn, r, d[2])) << trial;
    }
    rings.clear();
    const double zero[4] = {1.5, 2.5, 3.5, 4.5};
    const CrossRings::Feeds f = rings.feeds(7, zero);
    EXPECT_EQ(f.drumToHorn + f.portToHorn + f.hornToDrum + f.portToDrum, 0.0);
}

// CrossRings::readFour out of line, for a test compiled without AVX2.
[[gnu::target("avx2")]] void readFourInto(const CrossRings& rings, CrossRings::Ring ring,
                                          unsigned r, double delay, double* out) {
    _mm256_storeu_pd(out, rings.readFour(ring, r, delay));
}

TEST(CrossRings, FourSamplesOfOneRingAreItsReadsOneByOne) {
    if (!cpuHasAvx2()) GTEST_SKIP() << "no AVX2";
    CrossRings rings;
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> value(-1.0, 1.0);
    for (unsigned r = 0; r < CrossRings::kLength; ++r)
        rings.write(r, value(rng), value(rng), value(rng));
    // Fractional delays over the range the reads take, whole ones (every lane
    // then reads with a weight of zero on its second slot) and delays a
    // rounding step off a whole one, where the lanes' positions may round
    // across a slot.
    std::uniform_real_distribution<double> delay(0.0, CrossRings::kLength - 4.0);
    for (int trial = 0; trial < 20000; ++trial) {
        double d = delay(rng);
        if (trial % 3 == 1) d = std::floor(d);
        if (trial % 3 == 2) d = std::nextafter(std::floor(d) + 1.0, trial % 2 ? 0.0 : 2e3);
        // Every start, so the four lanes also straddle the ring's end.
        const unsigned r = static_cast<unsigned>(trial) & CrossRings::kMask;
        const auto ring = static_cast<CrossRings::Ring>(trial % CrossRings::kRings);
        double four[4];
        readFourInto(rings, ring, r, d, four);
        for (unsigned lane = 0; lane < 4; ++lane)
            ASSERT_EQ(four[lane], rings.read(ring, (r + lane) & CrossRings::kMask, d))
                << trial << " lane " << lane;
    }
}

} // namespace
} // namespace zel
