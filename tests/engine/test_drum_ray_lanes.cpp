// The drum's ray lanes must give, for every lane, what the single-ray code
// gives (RayTrack::lobeNow, SourceHistory::inputBefore,
// AttenuationTable::atPosition): four lanes of double (the cross unit's) the
// phase exactly and the rest to the rounding their fused steps explain
// (FusedTolerances), eight lanes of single precision (the main unit's) to the
// rounding single precision explains (SingleTolerances below). The cases reach
// the corners the units' own tests do not: stored angles many turns off, beyond
// the integer range and not numbers (the fraction), and table positions on,
// around and beyond both ends of the attenuation table.
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

// How far the eight single-precision lanes may stray from the single-ray code
// (u = 2^-24, single precision's rounding of a value below 1; double's own
// rounding is far below and left out).
struct SingleTolerances {
    static constexpr double kU = 0x1p-24;
    // The phase: the edge distance and the scale each rounded once (u each)
    // and their product once more, on a phase of at most pi; the falling
    // edge's phase less pi rounds twice more on values up to 2 pi.
    static constexpr double kMu = (3 + 3) * kPi * kU;
    // The displacement: the sine's argument carries the phase's error (3 pi u)
    // and the fold from pi (2 pi u more); slope below 1; the series' six fused
    // steps on values below 1 round within 4 u (its truncation, 7e-10, within
    // 0.02 u).
    static constexpr double kLambda = 5 * kPi * kU + 4 * kU;
    // Catmull-Rom in single precision of values within [-m, m]: four fused
    // steps on values below 6 m (2 u an ulp: 48 u), the neighbours each
    // rounded to single (weights summing to at most 1.25); the slope below 25 m
    // times the position's error.
    static constexpr double kCubicSteps = 48 * kU + 1.25 * kU;
    static constexpr double kCubicSlope = 25.0;

    // The delayed input (samples within [-1, 1]): the ring position's short
    // part (the Doppler part and the path's fraction, below fmSamples + 1)
    // carries lambda's error times the Doppler scale, the scale's own rounding
    // and the fused step's and the fraction's rounding; the whole samples are
    // exact.
    static double input(double fmSamples) {
        const double fm = std::fabs(fmSamples);
        const double position = fm * kLambda + fm * kU + (fm + 1) * kU + kU;
        return kCubicSteps + kCubicSlope * position;
    }
    // The attenuation (entries within [-m, m]) at table position `at` from
    // `tablePos` with radius and steps per metre: lambda's error times the
    // scale (and the scale's rounding), the table position's rounding and the
    // fused step's. Beyond the ends (and not a number) the value is an end
    // entry, rounded to single precision, wherever the position lies.
    static double attenuation(double m, double radius, double stepsPerMetre, double tablePos,
                              double at) {
        const double scale = std::fabs(radius * stepsPerMetre);
        const double position =
            std::isfinite(at)
                ? scale * (kLambda + kU) + kU * std::fabs(tablePos) + kU * std::fabs(at)
                : 0.0;
        return m * (kCubicSteps + kCubicSlope * position);
    }
};

struct Case {
    double angleSpread;  // how far (turns) the stored angles stray from [0, 1)
    bool notANumberEach; // every 97th stored angle not a number
    double radius;       // metres; 0 keeps each ray's table position its own
    DrumRayLanes<kLanes>::Shape shape;
};

// lanes: 4 (double) or 8 (single precision).
void expectLanesMatchSingleRays(const Case& c, const std::vector<double>& tablePositions,
                                unsigned seed, int lanesRun) {
    const bool single = lanesRun > 4;
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
            lanes->run(*history, table, kFmSamples, c.radius, kStepsPerMetre, c.shape, lanesRun);
            for (int i = 0; i < lanesRun; ++i) {
                const LobePoint p = rays[i].lobeNow(*history);
                const double lambda = std::max(p.lambda, c.shape.closest);
                const double delay = (lambda + lead) * kFmSamples + rays[i].pathSamples;
                const double input = history->inputBefore(delay);
                const double tableAt = rays[i].tablePos + lambda * c.radius * kStepsPerMetre;
                const double attenuation = table.atPosition(tableAt);
                SCOPED_TRACE(testing::Message() << "lane " << i << " n " << n);
                const double lambdaTolerance =
                    single ? SingleTolerances::kLambda : FusedTolerances::kLambda;
                const double muTolerance = single ? SingleTolerances::kMu : 0.0;
                const double inputTolerance = single ? SingleTolerances::input(kFmSamples)
                                                     : FusedTolerances::input(kFmSamples, delay);
                const double attenuationTolerance =
                    single ? SingleTolerances::attenuation(tableSize, c.radius, kStepsPerMetre,
                                                           rays[i].tablePos, tableAt)
                           : FusedTolerances::attenuation(tableSize, c.radius, kStepsPerMetre,
                                                          tableAt);
                ASSERT_TRUE(fusedAgrees(lanes->lambda(i), lambda, lambdaTolerance))
                    << lanes->lambda(i) << " " << lambda;
                if (single)
                    ASSERT_TRUE(fusedAgrees(lanes->mu(i), p.mu, muTolerance))
                        << lanes->mu(i) << " " << p.mu;
                else
                    ASSERT_TRUE(same(lanes->mu(i), p.mu)) << lanes->mu(i) << " " << p.mu;
                ASSERT_TRUE(fusedAgrees(lanes->input(i), input, inputTolerance))
                    << lanes->input(i) << " " << input;
                ASSERT_TRUE(fusedAgrees(lanes->attenuation(i), attenuation, attenuationTolerance))
                    << lanes->attenuation(i) << " " << attenuation;
            }
        }
        history->advance();
    }
}

// The cross unit's four lanes of double and the main unit's eight of single
// precision.
void expectEveryWidth(const Case& c, const std::vector<double>& tablePositions, unsigned seed) {
    for (int lanes : {4, kLanes}) {
        SCOPED_TRACE(testing::Message() << lanes << " lanes");
        expectLanesMatchSingleRays(c, tablePositions, seed, lanes);
        if (testing::Test::HasFatalFailure()) return;
    }
}

TEST(DrumRayLanes, LanesMatchTheSingleRayCode) {
    if (!cpuHasAvx2()) GTEST_SKIP() << "no AVX2: the units take the single-ray code here";
    // A main unit (closest approach) and a cross unit (delays from the microphone).
    expectEveryWidth({0.0, false, 0.2, {-0.6, false}}, {}, 1);
    expectEveryWidth({0.0, false, 0.18, {kAny, true}}, {}, 2);
    // Angles many turns off, then beyond the integer range, then holes.
    expectEveryWidth({40.0, false, 0.2, {-0.6, false}}, {}, 3);
    expectEveryWidth({3e9, false, 0.2, {kAny, true}}, {}, 4);
    expectEveryWidth({0.0, true, 0.2, {-0.6, false}}, {}, 5);
}

TEST(DrumRayLanes, TableEndsAndBeyondMatchTheSingleRayCode) {
    if (!cpuHasAvx2()) GTEST_SKIP() << "no AVX2: the units take the single-ray code here";
    constexpr double kLast = cabinet::kAttenuationLast;
    constexpr double kInf = std::numeric_limits<double>::infinity();
    const Case still{0.0, false, 0.0, {-0.6, false}}; // positions exactly as given
    expectEveryWidth(still, {-kInf, -1.5, -0.0, 0.0, 0.5, 1.0, 1.5, 2.0}, 6);
    expectEveryWidth(
        still, {kLast - 2.5, kLast - 1.0, kLast - 0.5, kLast - 1e-9, kLast, kLast + 2, kInf, 9.0},
        7);
    expectEveryWidth(
        still, {std::nan(""), 3.25, 0.75, std::nan(""), 0.25, kLast - 1.5, kLast + 0.25, 100.0}, 8);
    // A radius that sweeps the positions across both ends as the mouth turns.
    expectEveryWidth({0.0, false, 9.0, {kAny, false}},
                     {0.5, 1.5, 3.0, 450.0, kLast - 1, kLast - 3, 7.0, 505.0}, 9);
}

// ---- a run in passes -----------------------------------------------------

// Lanes of random rays at the distances given (metres; a negative one: a fixed
// lane at that many samples, negated).
std::unique_ptr<DrumRayLanes<kLanes>> lanesAt(const std::vector<double>& distances,
                                              const AttenuationTable& table, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> angle(-1.0, 1.0), lobe(0.0, 0.3);
    auto lanes = std::make_unique<DrumRayLanes<kLanes>>();
    for (int i = 0; i < kLanes; ++i) {
        if (distances[i] <= 0.0) {
            lanes->loadFixed(i, -distances[i]);
            continue;
        }
        RayPath p;
        p.distance = distances[i];
        p.angle = angle(rng);
        p.lobe = lobe(rng);
        p.sign = rng() % 2 ? 1.0 : -1.0;
        RayTrack ray;
        ray.place(p, table);
        ray.setRate(44100.0 * cabinet::kSecondsPerMetre, 0.0);
        lanes->load(i, ray);
    }
    return lanes;
}

// A run of 64 samples from write index `start`, the way a unit runs it: the
// angles and retarded angles in one pass, the lobes in another, the inputs
// (before all reads where the reads stay behind, else sample by sample) and
// the reads in a third. It must give
// what runShaped gives sample by sample, bit for bit, and leave the same
// history. Returns whether the inputs went in before the reads.
template <int Lanes, bool Clamp, bool Lead>
[[gnu::target("avx2,fma")]] bool expectPassesMatchOne(const DrumRayLanes<kLanes>& lanes,
                                                      const AttenuationTable& table,
                                                      const DrumRayLanes<kLanes>::Shape& shape,
                                                      int start, bool holes, unsigned seed) {
    constexpr int kRun = 64;
    using Lanes8 = DrumRayLanes<kLanes>;
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> sample(-1.0, 1.0), turn(0.0, 1.0);
    auto onePass = std::make_unique<SourceHistory>();
    auto inPasses = std::make_unique<SourceHistory>();
    // A full ring of history before the run, ending at `start`.
    for (int n = 0; n < SourceHistory::kLength + start; ++n) {
        const double x = sample(rng), a = turn(rng);
        for (SourceHistory* h : {onePass.get(), inPasses.get()}) {
            h->write(x, a);
            h->advance();
        }
    }
    std::vector<double> x(kRun), angle(kRun);
    for (int j = 0; j < kRun; ++j) {
        x[j] = sample(rng);
        angle[j] = holes && j % 13 == 5 ? std::nan("") : turn(rng);
    }
    struct Values {
        alignas(32) double lambda[kRun * kLanes], mu[kRun * kLanes], input[kRun * kLanes],
            attenuation[kRun * kLanes];
        Lanes8::Out at(int j) {
            const int i = j * kLanes;
            return {lambda + i, mu + i, input + i, attenuation + i};
        }
    };
    auto expected = std::make_unique<Values>();
    auto got = std::make_unique<Values>();
    std::memset(expected.get(), 0, sizeof(Values));
    std::memset(got.get(), 0, sizeof(Values));
    constexpr double kRadius = 0.2;
    Lanes8::Constants one(lanes, 0, kFmSamples, kRadius, kStepsPerMetre, shape);
    for (int j = 0; j < kRun; ++j) {
        onePass->write(x[j], angle[j]);
        lanes.runShaped<Lanes, Clamp, Lead>(*onePass, table, one, expected->at(j));
        onePass->advance();
    }
    Lanes8::Constants passes(lanes, 0, kFmSamples, kRadius, kStepsPerMetre, shape);
    alignas(32) Lanes8::SampleReads reads[kRun];
    bool odd = false;
    for (int j = 0; j < kRun; ++j) {
        inPasses->writeAngleAhead(j, angle[j]);
        lanes.angleShaped<Lanes>(*inPasses, passes, (start + j) & SourceHistory::kMask, reads[j]);
    }
    for (int j = 0; j < kRun; ++j)
        lanes.placeShaped<Lanes, Clamp, Lead>(passes, (start + j) & SourceHistory::kMask,
                                              got->at(j), reads[j], odd);
    const bool early = !odd && lanes.readsStayBehind(kFmSamples, shape, Lanes);
    if (early) inPasses->writeInputsAhead(x.data(), kRun);
    for (int j = 0; j < kRun; ++j) {
        if (!early) inPasses->writeInputAhead(j, x[j]);
        Lanes8::readShaped<Lanes>(*inPasses, table, reads[j], got->at(j));
    }
    inPasses->advanceBy(kRun);
    EXPECT_EQ(odd, holes) << "holes are the only odd places here";
    for (int k = 0; k < kRun * kLanes; k += kLanes)
        for (int i = k; i < k + Lanes; ++i) {
            EXPECT_TRUE(same(got->lambda[i], expected->lambda[i])) << "sample " << k / kLanes;
            EXPECT_TRUE(same(got->mu[i], expected->mu[i])) << "sample " << k / kLanes;
            EXPECT_TRUE(same(got->input[i], expected->input[i])) << "sample " << k / kLanes;
            EXPECT_TRUE(same(got->attenuation[i], expected->attenuation[i]))
                << "sample " << k / kLanes;
        }
    EXPECT_EQ(inPasses->writeIndex(), onePass->writeIndex());
    EXPECT_EQ(std::memcmp(inPasses->inputs(), onePass->inputs(),
                          2 * SourceHistory::kLength * sizeof(double)),
              0);
    EXPECT_EQ(
        std::memcmp(inPasses->angles(), onePass->angles(), SourceHistory::kLength * sizeof(double)),
        0);
    return early;
}

// The main unit's eight lanes (with the closest approach) and the cross unit's
// four (with the lead, its static lane at no delay at all), from write indices
// at the ring's start, inside it and just before its end (the run wraps); with
// holes in the angles (their reads go where no promise holds: the inputs go in
// sample by sample); and with a ray so close that a read may look at the
// samples after its own (the same).
TEST(DrumRayLanes, RunsInPassesMatchOnePassToTheBit) {
    if (!cpuHasAvx2()) GTEST_SKIP() << "no AVX2: the units take the single-ray code here";
    AttenuationTable table;
    table.build({0.2, 1.1, 20.0, 0.6});
    const DrumRayLanes<kLanes>::Shape mainShape{-0.6, false}, crossShape{kAny, true};
    const auto mainLanes = lanesAt({0.3, 1.1, 0.7, 0.9, 1.4, 1.2, -61.25, -61.25}, table, 10);
    const auto crossLanes = lanesAt({0.4, 0.5, 0.6, -0.0, -0.0, -0.0, -0.0, -0.0}, table, 11);
    const auto closeLanes = lanesAt({0.02, 1.1, 0.7, 0.9, 1.4, 1.2, -61.25, -61.25}, table, 12);
    for (int start : {0, 1000, SourceHistory::kLength - 20}) {
        SCOPED_TRACE(testing::Message() << "from " << start);
        EXPECT_TRUE((expectPassesMatchOne<8, true, false>(*mainLanes, table, mainShape, start,
                                                          false, 20 + start)));
        EXPECT_TRUE((expectPassesMatchOne<4, false, true>(*crossLanes, table, crossShape, start,
                                                          false, 21 + start)));
        EXPECT_FALSE((expectPassesMatchOne<8, true, false>(*mainLanes, table, mainShape, start,
                                                           true, 22 + start)));
        EXPECT_FALSE((expectPassesMatchOne<4, false, true>(*crossLanes, table, crossShape, start,
                                                           true, 23 + start)));
        EXPECT_FALSE((expectPassesMatchOne<8, true, false>(*closeLanes, table, mainShape, start,
                                                           false, 24 + start)));
    }
}

// Where the reads stay behind: each lane's delay at least four samples (a
// radius of Doppler either way) or a fixed lane at a whole number of samples,
// and inside the ring; not numbers never.
TEST(DrumRayLanes, ReadsStayBehindOnlyWhereEveryLaneDoes) {
    AttenuationTable table;
    table.build({0.2, 1.1, 20.0, 0.6});
    const DrumRayLanes<kLanes>::Shape noLead{kAny, false}, lead{kAny, true};
    constexpr double kSamplesPerMetre = 44100.0 * cabinet::kSecondsPerMetre;
    // A ray 12 samples away: 6 samples of Doppler leave 6 behind; 9 would
    // leave 3.
    const double twelve = 12.0 / kSamplesPerMetre;
    const auto lanes = lanesAt({twelve, 1.0, 1.0, 1.0, -0.0, -3.0, -5.5, -61.25}, table, 13);
    EXPECT_TRUE(lanes->readsStayBehind(6.0, noLead, kLanes));
    EXPECT_FALSE(lanes->readsStayBehind(9.0, noLead, kLanes));
    EXPECT_FALSE(lanes->readsStayBehind(-9.0, noLead, kLanes)) << "either way";
    // The lead of two radii keeps the 9 samples' swing behind.
    EXPECT_TRUE(lanes->readsStayBehind(9.0, lead, kLanes));
    EXPECT_FALSE(lanes->readsStayBehind(std::nan(""), noLead, kLanes));
    EXPECT_FALSE(lanes->readsStayBehind(std::numeric_limits<double>::infinity(), lead, kLanes));
    // Fixed lanes: whole numbers of samples may be close, fractions may not.
    const auto halfway = lanesAt({1.0, 1.0, 1.0, 1.0, -0.0, -3.0, -2.5, -61.25}, table, 14);
    EXPECT_FALSE(halfway->readsStayBehind(6.0, noLead, kLanes));
    EXPECT_TRUE(halfway->readsStayBehind(6.0, noLead, 6)) << "the first six lanes only";
    // Nearly the whole ring back: the first neighbour would wrap round to the
    // sample after the write index.
    const auto far = lanesAt({1.0, 1.0, 1.0, 1.0, -4094.0, -3.0, -5.5, -61.25}, table, 15);
    EXPECT_FALSE(far->readsStayBehind(6.0, noLead, kLanes));
}

} // namespace
} // namespace zel
