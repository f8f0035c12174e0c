// The ray batch computes every ray's lobe, delayed input and attenuation at once,
// two rays to an SSE2 register, or eight to an AVX2 register in float where the
// processor has AVX2. The two-ray path must give, for every ray, exactly what
// the single-ray code gives (RayTrack::lobeNow, SourceHistory::inputBefore,
// AttenuationTable::atPosition): the same operations in the same order, so
// equal, not merely close. The wide path computes in float, so it agrees to the
// rounding float's steps explain (FloatRayTolerances); runs of samples on
// either path equal their sample-by-sample runs to the bit (the wide path's
// runs take a ray's samples eight to a register). The cases reach the
// corners: angles far outside one turn, delays that wrap the ring or exceed
// it, table positions beyond both ends, a closest approach and a cross unit's
// offset.
#include "engine/CpuFeatures.h"
#include "engine/RayBatch.h"
#include "tests/engine/FloatRayTolerances.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <iterator>
#include <limits>
#include <memory>
#include <random>
#include <vector>

namespace zel {
namespace {

constexpr int kRays = 12;   // a horn unit's
constexpr int kOddRays = 6; // a drum unit's: one group of four and a pair
constexpr double kStepsPerMetre = 1.0 / cabinet::kAttenuationStep;

struct Scene {
    double fmSamples;
    double radius;
    double tableStepsPerMetre;
    double closest;
    double mouthOffset;
    double angleSpread; // how far (turns) the stored angles stray from [0, 1)
};

// Bitwise equality, so that a sign of zero or a last bit counts.
bool same(double a, double b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

std::vector<RayTrack> randomRays(int count, std::mt19937& rng, const AttenuationTable& table) {
    std::uniform_real_distribution<double> distance(0.05, 2.5), angle(-1.0, 1.0), lobe(-0.01, 0.3);
    std::vector<RayTrack> rays(count);
    for (RayTrack& ray : rays) {
        RayPath p;
        p.distance = distance(rng);
        p.angle = angle(rng);
        p.lobe = lobe(rng); // also beyond the shape's clamp at both ends
        p.sign = rng() % 2 ? 1.0 : -1.0;
        ray.place(p, table);
        ray.setRate(44100.0 * cabinet::kSecondsPerMetre * (1 + rng() % 3), 0.0);
    }
    return rays;
}

// Whether `got` is `want` (the two-ray path: path 0) or within `tolerance` of it
// (the wide path).
bool agrees(int path, double got, double want, double tolerance) {
    return path == 0 ? same(got, want) : std::fabs(got - want) <= tolerance;
}

template <int N> void expectPathsMatchSingleRays(const Scene& scene, unsigned seed) {
    std::mt19937 rng(seed);
    AttenuationTable table;
    table.build({0.18, 1.3, 0.7, 0.5});
    double tableSize = 0.0, tableStep = 0.0;
    for (double v : table.values()) tableSize = std::max(tableSize, std::fabs(v));
    for (int n = 1; n < cabinet::kAttenuationEntries; ++n)
        tableStep = std::max(tableStep, std::fabs(table.values()[n] - table.values()[n - 1]));
    const std::vector<RayTrack> rays = randomRays(N, rng, table);
    auto narrow = std::make_unique<RayBatch<N>>();
    auto wide = std::make_unique<RayBatch<N>>();
    for (int i = 0; i < N; ++i) {
        narrow->load(i, rays[i]);
        wide->load(i, rays[i]);
    }

    auto history = std::make_unique<SourceHistory>();
    std::uniform_real_distribution<double> sample(-1.0, 1.0), turn(0.0, 1.0);
    for (int n = 0; n < 3 * SourceHistory::kLength; ++n) {
        const double stray = scene.angleSpread * sample(rng);
        history->write(sample(rng), turn(rng) + stray);
        history->advance();
        if (n % 7 != 0) continue;

        const typename RayBatch<N>::Inputs in{*history,
                                              table,
                                              scene.fmSamples,
                                              scene.radius,
                                              scene.tableStepsPerMetre,
                                              scene.closest,
                                              scene.mouthOffset};
        narrow->runNarrow(in);
        if (cpuHasAvx2()) wide->runWide(in);
        for (int i = 0; i < N; ++i) {
            const LobePoint p = rays[i].lobeNow(*history);
            const double lambda = std::max(p.lambda, scene.closest);
            const double delay =
                (lambda + scene.mouthOffset) * scene.fmSamples + rays[i].pathSamples;
            const double input = history->inputBefore(delay);
            const double scale = scene.radius * scene.tableStepsPerMetre;
            const double tableAt =
                rays[i].tablePos + lambda * scene.radius * scene.tableStepsPerMetre;
            const double attenuation = table.atPosition(tableAt);
            // The wide path's delay less the path's whole samples.
            const double part = (lambda + scene.mouthOffset) * scene.fmSamples +
                                (rays[i].pathSamples - std::floor(rays[i].pathSamples));
            const RayBatch<N>* paths[] = {narrow.get(), wide.get()};
            for (int path = 0; path < (cpuHasAvx2() ? 2 : 1); ++path) {
                const RayBatch<N>& b = *paths[path];
                SCOPED_TRACE(testing::Message() << "path " << path << " ray " << i << " n " << n);
                ASSERT_TRUE(agrees(path, b.lambda(i), lambda, FloatRayTolerances::kLambda))
                    << b.lambda(i) << " " << lambda;
                ASSERT_TRUE(path == 0 ? same(b.mu(i), p.mu)
                                      : phasesAgree(b.mu(i), p.mu, FloatRayTolerances::kMu))
                    << b.mu(i) << " " << p.mu;
                ASSERT_TRUE(agrees(
                    path, b.input(i), input,
                    FloatRayTolerances::input(lambda, scene.mouthOffset, scene.fmSamples, part)))
                    << b.input(i) << " " << input;
                ASSERT_TRUE(
                    agrees(path, b.attenuation(i), attenuation,
                           FloatRayTolerances::attenuation(tableSize, tableStep, lambda, scale,
                                                           rays[i].tablePos, tableAt)))
                    << b.attenuation(i) << " " << attenuation;
            }
        }
    }
}

constexpr double kAnyDisplacement = -std::numeric_limits<double>::infinity();

TEST(RayBatch, BothPathsMatchTheSingleRayCode) {
    // A horn: any displacement, the table's own steps.
    const Scene horn{7.0, 0.18, kStepsPerMetre, kAnyDisplacement, 0.0, 0.0};
    expectPathsMatchSingleRays<kRays>(horn, 1);
    expectPathsMatchSingleRays<kOddRays>(horn, 2);
    // A drum main unit: the mouth comes no closer than -0.6.
    const Scene drum{5.0, 0.2, kStepsPerMetre, -0.6, 0.0, 0.0};
    expectPathsMatchSingleRays<kOddRays>(drum, 3);
    // A cross unit: delays measured from the microphone, offset by two radii.
    const Scene cross{6.0, 0.18, kStepsPerMetre, kAnyDisplacement, 2.0, 0.0};
    expectPathsMatchSingleRays<4>(cross, 4);
}

TEST(RayBatch, CornersMatchTheSingleRayCodeToo) {
    // Angles several turns off (and beyond the fast fraction's range), a Doppler
    // radius that takes delays past the ring's length (the slow wrap) and table
    // positions far beyond both ends.
    const Scene wild{3000.0, 3.0, 400.0, kAnyDisplacement, 0.5, 4.0};
    expectPathsMatchSingleRays<kRays>(wild, 5);
    const Scene farAngles{10.0, 0.18, 100.0, -0.2, 0.0, 3e9};
    expectPathsMatchSingleRays<kOddRays>(farAngles, 6);
    expectPathsMatchSingleRays<kRays>(farAngles, 7);
}

// Table positions on and around the attenuation table's ends, beyond them and
// not numbers: with no radius each ray's position is its own, so every one of
// them is reached exactly (the wide reads take the neighbours from the table's
// padded copy; the ends must still give what the single-ray code gives, to the
// bit on the two-ray path and to float's rounding of the position and the
// entries on the wide one).
TEST(RayBatch, TableEndsAndBeyondMatchTheSingleRayCode) {
    constexpr double kLast = cabinet::kAttenuationLast;
    constexpr double kInf = std::numeric_limits<double>::infinity();
    const double positions[] = {-kInf,         -2.0,        -0.5,      -0.0,        0.0,
                                1e-300,        0.5,         1.0,       1.75,        2.0,
                                kLast - 2.5,   kLast - 2.0, kLast - 1, kLast - 0.5, kLast - 1e-9,
                                kLast,         kLast + 0.5, kLast + 3, kInf,        std::nan(""),
                                -std::nan(""), 255.5,       kLast / 2, 3.0};
    static_assert(std::size(positions) == 2 * kRays);
    // A reach past the table's end, so its last entries still differ.
    AttenuationTable table;
    table.build({0.18, 1.3, 20.0, 0.5});
    double tableSize = 0.0, tableStep = 0.0;
    for (double v : table.values()) tableSize = std::max(tableSize, std::fabs(v));
    for (int n = 1; n < cabinet::kAttenuationEntries; ++n)
        tableStep = std::max(tableStep, std::fabs(table.values()[n] - table.values()[n - 1]));
    std::mt19937 rng(11);
    std::vector<RayTrack> rays = randomRays(kRays, rng, table);
    auto history = std::make_unique<SourceHistory>();
    std::uniform_real_distribution<double> sample(-1.0, 1.0), turn(0.0, 1.0);
    for (int n = 0; n < SourceHistory::kLength; ++n) {
        history->write(sample(rng), turn(rng));
        history->advance();
    }
    for (int half = 0; half < 2; ++half) {
        auto narrow = std::make_unique<RayBatch<kRays>>();
        auto wide = std::make_unique<RayBatch<kRays>>();
        for (int i = 0; i < kRays; ++i) {
            rays[i].tablePos = positions[half * kRays + i];
            narrow->load(i, rays[i]);
            wide->load(i, rays[i]);
        }
        const RayBatch<kRays>::Inputs in{*history, table, 4.0, 0.0, kStepsPerMetre, -0.6};
        narrow->runNarrow(in);
        if (cpuHasAvx2()) wide->runWide(in);
        for (int i = 0; i < kRays; ++i) {
            const double lambda = std::max(rays[i].lobeNow(*history).lambda, -0.6);
            const double at = rays[i].tablePos + lambda * 0.0 * kStepsPerMetre;
            const double expected = table.atPosition(at);
            const double tolerance = FloatRayTolerances::attenuation(tableSize, tableStep, lambda,
                                                                     0.0, rays[i].tablePos, at);
            const RayBatch<kRays>* paths[] = {narrow.get(), wide.get()};
            for (int path = 0; path < (cpuHasAvx2() ? 2 : 1); ++path) {
                SCOPED_TRACE(testing::Message()
                             << "path " << path << " position " << rays[i].tablePos);
                EXPECT_TRUE(agrees(path, paths[path]->attenuation(i), expected, tolerance))
                    << paths[path]->attenuation(i) << " " << expected;
            }
        }
    }
}

// Over a run of samples (runSeries), the history already holding all of them:
// each sample's values are those a run gives with the history as it stood at that
// sample, as long as no ray reads where the later samples were written (the rays
// here stay at least a few samples and at most a few hundred back). A lost ray
// (a path that is no number) sends every block of the wide series to the slow
// placement of its delays, which must leave the other rays' values as they were.
// A lobe phase or displacement no ray has (phases lie within a turn and a
// half of zero, displacements within one).
constexpr float kNotAPhase = 1e30f;

template <int N>
void expectSeriesMatchSingleRuns(double closest, double mouthOffset, unsigned seed,
                                 bool lostRay = false) {
    std::mt19937 rng(seed);
    AttenuationTable table;
    table.build({0.18, 1.3, 0.7, 0.5});
    std::vector<RayTrack> rays = randomRays(N, rng, table);
    if (lostRay) rays[N / 2].pathSamples = std::numeric_limits<double>::quiet_NaN();
    auto series = std::make_unique<RayBatch<N>>();
    auto single = std::make_unique<RayBatch<N>>();
    for (int i = 0; i < N; ++i) {
        series->load(i, rays[i]);
        single->load(i, rays[i]);
    }
    auto ahead = std::make_unique<SourceHistory>(); // the whole run written first
    auto now = std::make_unique<SourceHistory>();   // sample by sample
    std::uniform_real_distribution<double> sample(-1.0, 1.0), turn(0.0, 1.0);
    const auto push = [&](SourceHistory& h, double x, double angle) {
        h.write(x, angle);
        h.advance();
    };
    using Results = typename RayBatch<N>::Results;
    auto out = std::make_unique<std::array<Results, 64>>();
    std::array<double, 64> fm{};
    // Odd run lengths, then whole runs until the write index has gone round the
    // ring twice.
    std::vector<int> lengths = {1, 5, 64, 17, 33};
    for (int total = 120; total < 2 * SourceHistory::kLength; total += 64) lengths.push_back(64);
    for (int n : lengths) {
        std::vector<double> x(n), angle(n);
        for (int j = 0; j < n; ++j) {
            x[j] = sample(rng);
            angle[j] = turn(rng);
            fm[j] = 2.0 + 0.5 * turn(rng); // the mouth's reach stays short of the rays
        }
        const int first = ahead->writeIndex();
        for (int j = 0; j < n; ++j) push(*ahead, x[j], angle[j]);
        // Paths: 0 narrow, 1 wide, 2 wide handing its values on in float only
        // (which widen to the same doubles), 3 and 4 the wide ones handing on
        // the lobe phases of every third sample alone (as a caller's update
        // samples), the rest of their values unchanged. Their phases and
        // displacements start as a value no ray has, so that a wanted phase
        // left out shows, and so do reads from displacements never handed on.
        std::array<bool, 64> wanted{};
        for (int j = 0; j < n; ++j) wanted[j] = j % 3 == 1;
        for (int path = 0; path < (cpuHasAvx2() ? 5 : 1); ++path) {
            const bool singles = path == 2 || path == 4;
            const bool partial = path >= 3;
            const typename RayBatch<N>::Inputs in{
                *ahead,      table,          0.0,
                0.18,        kStepsPerMetre, closest,
                mouthOffset, singles,        partial ? wanted.data() : nullptr};
            if (partial) {
                for (Results& r : *out) {
                    std::fill(std::begin(r.mu), std::end(r.mu), kNotAPhase);
                    std::fill(std::begin(r.muSingle), std::end(r.muSingle), kNotAPhase);
                    std::fill(std::begin(r.lambdaSingle), std::end(r.lambdaSingle), kNotAPhase);
                }
            }
            if (path == 0)
                series->runSeriesNarrow(in, first, fm.data(), n, out->data());
            else
                series->runSeriesWide(in, first, fm.data(), n, out->data());
            auto copy = std::make_unique<SourceHistory>(*now);
            for (int j = 0; j < n; ++j) {
                copy->write(x[j], angle[j]);
                const typename RayBatch<N>::Inputs at{*copy,          table,   fm[j],      0.18,
                                                      kStepsPerMetre, closest, mouthOffset};
                if (path == 0)
                    single->runNarrow(at);
                else
                    single->runWide(at);
                copy->advance();
                const Results& got = (*out)[j];
                for (int i = 0; i < N; ++i) {
                    SCOPED_TRACE(testing::Message()
                                 << "path " << path << " ray " << i << " sample " << j);
                    // The wide path keeps its displacements in float.
                    const double lambda = path == 0 ? got.lambda[i] : got.lambdaSingle[i];
                    if (!partial) {
                        ASSERT_TRUE(same(lambda, single->lambda(i)));
                    }
                    const double mu = singles ? got.muSingle[i] : got.mu[i];
                    const double input = singles ? got.inputSingle[i] : got.input[i];
                    const double attenuation =
                        singles ? got.attenuationSingle[i] : got.attenuation[i];
                    if (!partial || wanted[j]) {
                        ASSERT_TRUE(same(mu, single->mu(i)));
                    }
                    // The lost ray reads at the ring's start, which the run
                    // written first may already have overwritten.
                    const bool lost = lostRay && i == N / 2;
                    if (!lost) {
                        ASSERT_TRUE(same(input, single->input(i)));
                    }
                    ASSERT_TRUE(same(attenuation, single->attenuation(i)));
                }
            }
        }
        for (int j = 0; j < n; ++j) push(*now, x[j], angle[j]);
    }
}

TEST(RayBatch, RunsOfSamplesMatchSampleBySample) {
    expectSeriesMatchSingleRuns<kRays>(kAnyDisplacement, 0.0, 8); // a horn microphone
    expectSeriesMatchSingleRuns<4>(kAnyDisplacement, 2.0, 9);     // a horn cross unit
    expectSeriesMatchSingleRuns<kOddRays>(-0.6, 0.0, 10);         // a drum's closest approach
    expectSeriesMatchSingleRuns<kRays>(kAnyDisplacement, 0.0, 11, true);
}

} // namespace
} // namespace zel
