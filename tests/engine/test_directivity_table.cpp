// A directivity update reads every ray's coefficients at once, four rays to a
// register where the processor has AVX2. Each lane must hold exactly what the
// single lookup gives at that turn: the same clamping at the table's ends (also
// for turns outside one turn and for a turn that is not a number) and the same
// interpolation.
#include "engine/DirectivityTable.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <vector>

namespace zel {
namespace {

bool same(double a, double b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

TEST(DirectivityTable, LanesHoldWhatSingleLookupsGive) {
    auto table = std::make_unique<DirectivityTable>();
    table->build(36, 44100.0, kBiquadPeaking, [](BiquadFilter& f, int index, double w) {
        f.setAll(2000.0 - 20.0 * (index + w), 1.0 + 0.1 * index, -1.0 * index - 3.0 * w);
    });

    // Thirteen lanes: three groups of four and one left over.
    constexpr int kCount = 13;
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> inside(0.0, 1.0), around(-3.0, 4.0);
    const double corners[] = {0.0,
                              1.0,
                              -1e-17,
                              1.0 - 1e-16,
                              0.999999,
                              -0.0,
                              5e9,
                              -5e9,
                              std::numeric_limits<double>::quiet_NaN(),
                              std::numeric_limits<double>::infinity()};
    for (int round = 0; round < 400; ++round) {
        std::vector<double> turns(kCount);
        for (int i = 0; i < kCount; ++i) {
            const unsigned pick = rng() % 4;
            turns[i] = pick == 0   ? corners[rng() % std::size(corners)]
                       : pick == 1 ? around(rng)
                                   : inside(rng);
        }
        double b0[kCount], b1[kCount], b2[kCount], a1[kCount], a2[kCount];
        table->at(turns.data(), kCount, {b0, b1, b2, a1, a2});
        for (int i = 0; i < kCount; ++i) {
            const BiquadCoefficients c = table->at(turns[i]);
            SCOPED_TRACE(testing::Message() << "turn " << turns[i] << " lane " << i);
            ASSERT_TRUE(same(b0[i], c.b0) && same(b1[i], c.b1) && same(b2[i], c.b2) &&
                        same(a1[i], c.a1) && same(a2[i], c.a2));
        }
    }
}

// The turns at which the rays read the table, four at a time where the processor
// has AVX2, are the single ray's to the bit: angles within a few turns of zero,
// far out (where the short floor gives way to the library's), the edges of a
// turn, infinities and not a number.
TEST(DirectivityTable, FacingTurnsAreTheSingleRaysTurns) {
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> near(-20.0, 20.0), far(-1e12, 1e12);
    const double corners[] = {0.0,
                              -0.0,
                              -kPi / 2,
                              kPi * 1.5,
                              kTwoPi * 3 - kPi / 2,
                              1e-300,
                              std::numeric_limits<double>::infinity(),
                              -std::numeric_limits<double>::infinity(),
                              std::numeric_limits<double>::quiet_NaN()};
    constexpr int kCount = 15; // three groups of four and three left over
    for (int round = 0; round < 300; ++round) {
        double mu[kCount], turns[kCount];
        for (double& m : mu) {
            const unsigned pick = rng() % 4;
            m = pick == 0 ? corners[rng() % std::size(corners)] : pick == 1 ? far(rng) : near(rng);
        }
        DirectivityTable::facingTurns(mu, kCount, turns);
        for (int i = 0; i < kCount; ++i)
            ASSERT_TRUE(same(turns[i], 1.0 - facingTurn(mu[i]))) << "mu " << mu[i] << " lane " << i;
    }
}

} // namespace
} // namespace zel
