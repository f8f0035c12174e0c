// The drum's ray lanes (four rays to an AVX2 register) must give, for every
// lane, what the single-ray code gives (RayTrack::lobeNow,
// SourceHistory::inputBefore, AttenuationTable::atPosition): the phase exactly,
// the rest to the rounding the lanes' fused steps explain (FusedTolerances). The
// cases reach the corners the units' own tests do not: stored angles
// many turns off, beyond the integer range and not numbers (the fraction), and
// table positions on, around and beyond both ends of the attenuation table.
#include "engine/CpuFeatures.h"
#include "engine/DrumRayLanes.h"
#include "tests/engine/FusedTolerances.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <vector>

namespace zel {
namespace {

constexpr int kLanes = 8;
constexpr double kStepsPerMetre = 1.0 / cabinet::kAttenuationStep;
constexpr double kFmSamples = 6.0;
constexpr double kAny = -std::numeric_limits<double>::infinity(); // no closest approach

bool same(double a, double b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

struct Case {
    double angleSpread;  // how far (turns) the stored angles stray from [0, 1)
    bool notANumberEach; // every 97th stored angle not a number
    double radius;       // metres; 0 keeps each ray's table position its own
    DrumRayLanes<kLanes>::Shape shape;
};

void expectLanesMatchSingleRays(const Case& c, const std::vector<double>& tablePositions,
                                unsigned seed) {
    std::mt19937 rng(seed);
    // A reach past the table's end, so its last entries still differ.
    AttenuationTable table;
    table.build({0.2, 1.1, 20.0, 0.6});
    double tableSize = 0.0; // the largest entry, which scales the lookup's rounding
    for (double v : table.values()) tableSize = std::max(tableSize, std::fabs(v));
    std::uniform_real_distribution<double> distance(0.1, 2.0), angle(-1.0, 1.0), lobe(0.0, 0.3);
    std::vector<RayTrack> rays(kLanes);
    auto lanes = std::make_unique<DrumRayLanes<kLanes>>();
    for (int i = 0; i < kLanes; ++i) {
        RayPath p;
        p.distance = distance(rng);
        p.angle = angle(rng);
        p.lobe = lobe(rng);
        p.sign = rng() % 2 ? 1.0 : -1.0;
        rays[i].place(p, table);
        rays[i].setRate(44100.0 * cabinet::kSecondsPerMetre, 0.0);
        if (!tablePositions.empty()) rays[i].tablePos = tablePositions[i];
        lanes->load(i, rays[i]);
    }
    auto history = std::make_unique<SourceHistory>();
    std::uniform_real_distribution<double> sample(-1.0, 1.0), turn(0.0, 1.0);
    const double lead = c.shape.lead ? 2.0 : 0.0; // a cross unit's two radii
    for (int n = 0; n < 2 * SourceHistory::kLength; ++n) {
        const bool hole = c.notANumberEach && n % 97 == 0;
        history->write(sample(rng), hole ? std::nan("") : turn(rng) + c.angleSpread * sample(rng));
        if (n % 5 == 0) {
            lanes->run(*history, table, kFmSamples, c.radius, kStepsPerMetre, c.shape);
            for (int i = 0; i < kLanes; ++i) {
                const LobePoint p = rays[i].lobeNow(*history);
                const double lambda = std::max(p.lambda, c.shape.closest);
                const double delay = (lambda + lead) * kFmSamples + rays[i].pathSamples;
                const double input = history->inputBefore(delay);
                const double tableAt = rays[i].tablePos + lambda * c.radius * kStepsPerMetre;
                const double attenuation = table.atPosition(tableAt);
                SCOPED_TRACE(testing::Message() << "lane " << i << " n " << n);
                ASSERT_TRUE(fusedAgrees(lanes->lambda(i), lambda, FusedTolerances::kLambda))
                    << lanes->lambda(i) << " " << lambda;
                ASSERT_TRUE(same(lanes->mu(i), p.mu)) << lanes->mu(i) << " " << p.mu;
                ASSERT_TRUE(
                    fusedAgrees(lanes->input(i), input, FusedTolerances::input(kFmSamples, delay)))
                    << lanes->input(i) << " " << input;
                ASSERT_TRUE(fusedAgrees(
                    lanes->attenuation(i), attenuation,
                    FusedTolerances::attenuation(tableSize, c.radius, kStepsPerMetre, tableAt)))
                    << lanes->attenuation(i) << " " << attenuation;
            }
        }
        history->advance();
    }
}

TEST(DrumRayLanes, LanesMatchTheSingleRayCode) {
    if (!cpuHasAvx2()) GTEST_SKIP() << "no AVX2: the units take the single-ray code here";
    // A main unit (closest approach) and a cross unit (delays from the microphone).
    expectLanesMatchSingleRays({0.0, false, 0.2, {-0.6, false}}, {}, 1);
    expectLanesMatchSingleRays({0.0, false, 0.18, {kAny, true}}, {}, 2);
    // Angles many turns off, then beyond the integer range, then holes.
    expectLanesMatchSingleRays({40.0, false, 0.2, {-0.6, false}}, {}, 3);
    expectLanesMatchSingleRays({3e9, false, 0.2, {kAny, true}}, {}, 4);
    expectLanesMatchSingleRays({0.0, true, 0.2, {-0.6, false}}, {}, 5);
}

TEST(DrumRayLanes, TableEndsAndBeyondMatchTheSingleRayCode) {
    if (!cpuHasAvx2()) GTEST_SKIP() << "no AVX2: the units take the single-ray code here";
    constexpr double kLast = cabinet::kAttenuationLast;
    constexpr double kInf = std::numeric_limits<double>::infinity();
    const Case still{0.0, false, 0.0, {-0.6, false}}; // positions exactly as given
    expectLanesMatchSingleRays(still, {-kInf, -1.5, -0.0, 0.0, 0.5, 1.0, 1.5, 2.0}, 6);
    expectLanesMatchSingleRays(
        still, {kLast - 2.5, kLast - 1.0, kLast - 0.5, kLast - 1e-9, kLast, kLast + 2, kInf, 9.0},
        7);
    expectLanesMatchSingleRays(
        still, {std::nan(""), 3.25, 0.75, std::nan(""), 0.25, kLast - 1.5, kLast + 0.25, 100.0}, 8);
    // A radius that sweeps the positions across both ends as the mouth turns.
    expectLanesMatchSingleRays({0.0, false, 9.0, {kAny, false}},
                               {0.5, 1.5, 3.0, 450.0, kLast - 1, kLast - 3, 7.0, 505.0}, 9);
}

} // namespace
} // namespace zel
