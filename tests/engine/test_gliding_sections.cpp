// The rays' directivity sections run side by side; each lane must compute
// exactly what a BiquadFilter's gliding process computes from the same targets,
// glide by glide, including targets that arrive while a glide still runs and a
// snap, on both paths (two lanes to a register, and four where the processor
// has AVX2; those fuse the recursion's multiplies, so they agree to rounding).
#include "engine/CpuFeatures.h"
#include "engine/GlidingSections.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

namespace zel {
namespace {

constexpr int kLanes = 12;
constexpr int kLeftOut = 5;

// A section of `type` at rest at 44.1 kHz, gliding from then on.
BiquadFilter restingSection(int32_t type, double hz, double q, double db) {
    BiquadFilter f(44100.0, type, hz, q, db);
    f.setEnabled(true);
    f.setImmediate(false);
    f.clear();
    return f;
}

using Path = GlidingSections<kLanes>::Path;

// The paths this processor can take.
std::vector<Path> paths() {
    std::vector<Path> p = {Path::Narrow};
    if (cpuHasAvx2()) p.push_back(Path::Wide);
    return p;
}

// Targets one lane at a time (setTarget) or for a set of lanes at once
// (setTargets, here for every lane but one, which keeps its glide), as
// coefficients or lane by lane with their glided values computed ahead.
enum class Given { OneByOne, Together, LanesWithGlides };

void expectLanesMatchFilters(Given given, Path path) {
    const bool together = given != Given::OneByOne;
    for (int32_t type : {kBiquadPeaking, kBiquadHighShelf, kBiquadLowPass}) {
        SCOPED_TRACE(type);
        std::vector<BiquadFilter> filters;
        auto sections = std::make_unique<GlidingSections<kLanes>>();
        for (int lane = 0; lane < kLanes; ++lane) {
            filters.push_back(restingSection(type, 800.0 + 300.0 * lane, 0.7 + 0.2 * lane, 6.0));
            sections->reset(lane, filters[lane].target(), filters[lane].glideLength());
        }
        // Targets every 16 samples (a glide lasts 132), a snap at the first.
        double x[kLanes], y[kLanes];
        for (int n = 0; n < 2000; ++n) {
            if (n % 16 == 0) {
                BiquadCoefficients targets[kLanes];
                bool use[kLanes];
                for (int lane = 0; lane < kLanes; ++lane) {
                    // Lane 5 takes only the first targets when the lanes go together.
                    use[lane] = !together || lane != kLeftOut || n == 0;
                    if (!use[lane]) continue;
                    BiquadFilter design = filters[lane];
                    design.setAll(500.0 + 40.0 * lane + 3.0 * (n % 300), 0.5 + 0.1 * lane,
                                  -12.0 + 0.01 * n);
                    targets[lane] = design.target();
                    filters[lane].setTarget(targets[lane]);
                    if (!together) sections->setTarget(lane, targets[lane]);
                }
                if (given == Given::Together) sections->setTargets(targets, use, path);
                if (given == Given::LanesWithGlides) {
                    // The left-out lane's slots hold a decoy it must not take.
                    GlidingSections<kLanes>::Targets t;
                    for (int lane = 0; lane < kLanes; ++lane) {
                        const BiquadCoefficients c =
                            use[lane] ? targets[lane]
                                      : BiquadCoefficients{1.0, 0.5, 0.5, 2.0, 1.0, 1.0};
                        t.b0[lane] = c.b0;
                        t.b1[lane] = c.b1;
                        t.b2[lane] = c.b2;
                        t.a1[lane] = c.a1;
                        t.a2[lane] = c.a2;
                    }
                    GlidingSections<kLanes>::Glides g;
                    GlidingSections<kLanes>::glidesOf(t, g);
                    sections->setTargets(t, g, use, path);
                }
                if (n == 0) {
                    for (int lane = 0; lane < kLanes; ++lane) {
                        filters[lane].snap();
                        sections->snap(lane);
                    }
                }
            }
            for (int lane = 0; lane < kLanes; ++lane) x[lane] = std::sin(0.01 * n * (lane + 1));
            sections->process(x, y, path);
            for (int lane = 0; lane < kLanes; ++lane) {
                const double expected = filters[lane].process(x[lane]);
                if (together && lane == kLeftOut) {
                    // Frozen at its first targets: the coefficients rebuilt from
                    // their roots differ from the targets by rounding only.
                    ASSERT_NEAR(y[lane], expected, 1e-12) << "n " << n;
                    continue;
                }
                if (path == Path::Wide) {
                    // The wide lanes fuse the recursion's four products into their
                    // sums (rounded once, not twice): each sample they differ by at
                    // most four half-ulps of terms below 8 (coefficients below 2,
                    // |x| <= 1, |y| < 4), 3.6e-15, which the poles carry on with an
                    // l1 gain (sum of |impulse response|) below 230 for these
                    // designs: 1e-12 at most (about 1e-14 seen).
                    ASSERT_NEAR(y[lane], expected, 1e-12) << "lane " << lane << " n " << n;
                    continue;
                }
                // The same operations in the same order: equal, not merely close.
                ASSERT_EQ(y[lane], expected) << "lane " << lane << " n " << n;
            }
        }
        // Each lane keeps the targets it took last (the left-out one its first),
        // which it runs on once the glide is over.
        for (int lane = 0; lane < kLanes; ++lane) {
            const BiquadCoefficients want = filters[lane].target();
            const BiquadCoefficients got = sections->target(lane);
            EXPECT_TRUE(want.b0 == got.b0 && want.b1 == got.b1 && want.b2 == got.b2 &&
                        want.a1 == got.a1 && want.a2 == got.a2)
                << "lane " << lane;
        }
    }
}

TEST(GlidingSections, EveryLaneMatchesAGlidingBiquadFilterSampleForSample) {
    for (Path path : paths()) {
        SCOPED_TRACE(path == Path::Wide ? "wide" : "narrow");
        expectLanesMatchFilters(Given::OneByOne, path);
    }
}

TEST(GlidingSections, TargetsSetTogetherMatchTargetsSetOneByOne) {
    for (Path path : paths()) {
        SCOPED_TRACE(path == Path::Wide ? "wide" : "narrow");
        expectLanesMatchFilters(Given::Together, path);
        expectLanesMatchFilters(Given::LanesWithGlides, path);
    }
}

// The glided values computed ahead of the samples (glidesOf) are the filter's
// own, bit for bit, for every kind of section: real and complex zeros, no zeros
// (b0 = 0), real and complex poles, repeated roots.
TEST(GlidingSections, GlidedValuesAheadMatchTheFilters) {
    using Sections = GlidingSections<kLanes>;
    const BiquadCoefficients cases[kLanes] = {
        {1.0, -1.6, 0.7, 0.9, -1.5, 0.6},       // real zeros, complex poles
        {1.0, -1.9, 0.95, 1.1, -0.4, 0.8},      // complex zeros
        {1.0, 0.3, -0.4, 0.0, 0.5, 0.2},        // no zeros, real poles
        {1.0, -1.0, 0.25, 0.5, -1.0, 0.5},      // repeated zero and pole
        {1.0, 0.0, 0.0, 1.0, 0.0, 0.0},         // identity
        {1.0, -1.99, 0.9901, 0.02, 0.04, 0.02}, // narrow low-pass
        {1.0, 1.2, 0.5, -0.7, 0.1, 0.3},        // negative gain
        {1.0, -0.5, 0.06, 3.0, -2.0, -1.0},     // real zeros of either sign
        {1.0, 0.1, 0.9, 1e-300, 1e-300, 1e-300}, {1.0, -1.2, 0.36, 2.0, 0.0, -2.0},
        {1.0, 1.8, 0.81, 0.3, 0.3, 0.3},         {1.0, -0.2, -0.8, 1.0, 2.0, 1.0}};
    Sections::Targets t;
    for (int lane = 0; lane < kLanes; ++lane) {
        t.b0[lane] = cases[lane].b0;
        t.b1[lane] = cases[lane].b1;
        t.b2[lane] = cases[lane].b2;
        t.a1[lane] = cases[lane].a1;
        t.a2[lane] = cases[lane].a2;
    }
    Sections::Glides g;
    Sections::glidesOf(t, g);
    for (int lane = 0; lane < kLanes; ++lane) {
        double expected[BiquadFilter::kGlidedValues];
        BiquadFilter::glideValuesOf(cases[lane], expected);
        for (int k = 0; k < BiquadFilter::kGlidedValues; ++k)
            EXPECT_EQ(g.v[k][lane], expected[k]) << "lane " << lane << " value " << k;
    }
}

// Two banks in a row in one pass give what each bank's own process gives, bit
// for bit, on each path: while both glide, while only one does (their targets
// come at different samples, so their glides end apart), and at rest.
TEST(GlidingSections, TwoBanksInOnePassMatchTheBanksOneAfterTheOther) {
    using Sections = GlidingSections<kLanes>;
    for (Path path : paths()) {
        SCOPED_TRACE(path == Path::Wide ? "wide" : "narrow");
        auto pairA = std::make_unique<Sections>();
        auto pairB = std::make_unique<Sections>();
        auto soloA = std::make_unique<Sections>();
        auto soloB = std::make_unique<Sections>();
        for (int lane = 0; lane < kLanes; ++lane) {
            const BiquadFilter a = restingSection(kBiquadPeaking, 900.0 + 200.0 * lane, 0.8, 6.0);
            const BiquadFilter b = restingSection(kBiquadHighShelf, 3000.0, 0.7, -4.0 + lane);
            pairA->reset(lane, a.target(), a.glideLength());
            soloA->reset(lane, a.target(), a.glideLength());
            pairB->reset(lane, b.target(), b.glideLength());
            soloB->reset(lane, b.target(), b.glideLength());
        }
        bool use[kLanes];
        for (bool& u : use) u = true;
        int glidingA = 0, glidingB = 0, onlyOne = 0;
        double x[kLanes], middle[kLanes], solo[kLanes], paired[kLanes];
        for (int n = 0; n < 1200; ++n) {
            // A's targets at 0, 100 and 500, B's at 40 and 300: each glides
            // alone for a while, both together, and neither.
            const bool newA = n == 0 || n == 100 || n == 500;
            const bool newB = n == 40 || n == 300;
            for (int bank = 0; bank < 2; ++bank) {
                if (!(bank == 0 ? newA : newB)) continue;
                BiquadCoefficients c[kLanes];
                for (int lane = 0; lane < kLanes; ++lane)
                    c[lane] =
                        restingSection(bank == 0 ? kBiquadPeaking : kBiquadHighShelf,
                                       600.0 + 50.0 * lane + n, 0.6 + 0.05 * lane, 3.0 - 0.01 * n)
                            .target();
                (bank == 0 ? pairA : pairB)->setTargets(c, use, path);
                (bank == 0 ? soloA : soloB)->setTargets(c, use, path);
            }
            glidingA += pairA->glideCount() > 0;
            glidingB += pairB->glideCount() > 0;
            onlyOne += (pairA->glideCount() > 0) != (pairB->glideCount() > 0);
            for (int lane = 0; lane < kLanes; ++lane) x[lane] = std::sin(0.013 * n * (lane + 2));
            soloA->process(x, middle, path);
            soloB->process(middle, solo, path);
            Sections::processPair(*pairA, *pairB, x, paired, path);
            for (int lane = 0; lane < kLanes; ++lane)
                ASSERT_EQ(paired[lane], solo[lane]) << "lane " << lane << " n " << n;
            ASSERT_EQ(pairA->glideCount(), soloA->glideCount()) << "n " << n;
            ASSERT_EQ(pairB->glideCount(), soloB->glideCount()) << "n " << n;
        }
        // Every combination came up.
        EXPECT_GT(glidingA, 0);
        EXPECT_GT(glidingB, 0);
        EXPECT_GT(onlyOne, 0);
        EXPECT_LT(std::max(glidingA, glidingB), 1200);
    }
}

// Runs of samples taken lane group by lane group (processPairSpan) give what
// processPair gives sample by sample, bit for bit, on each path: runs that end
// where a glide ends, runs longer than the glide left, runs of one sample and
// runs longer than a span takes at a time, with each group's own state (here a
// running sum of its outputs) carried across the samples.
namespace span_test {
using Sections = GlidingSections<kLanes>;
constexpr int kSamples = 740;
struct Signal {
    const double (*x)[kLanes];
    double (*y)[kLanes];
    double* sums; // one per lane
};
template <typename Vec> struct Group {
    int i;
    Vec sum;
    void begin(Signal& s, int lanes) {
        i = lanes;
        std::memcpy(&sum, s.sums + i, sizeof(Vec));
    }
    void take(Signal& s, int j, Vec& in) const { std::memcpy(&in, s.x[j] + i, sizeof(Vec)); }
    void then(Signal& s, int j, const Vec& out) {
        sum = sum + out;
        std::memcpy(s.y[j] + i, &out, sizeof(Vec));
    }
    void end(Signal& s, int) { std::memcpy(s.sums + i, &sum, sizeof(Vec)); }
};
using Vec2 = double __attribute__((vector_size(16)));
using Vec4 = double __attribute__((vector_size(32)));
void spanNarrow(Sections& a, Sections& b, int n, Signal& s) {
    Sections::processPairSpan<Vec2, Group<Vec2>>(a, b, n, s);
}
[[gnu::target("avx2,fma"), gnu::flatten]] void spanWide(Sections& a, Sections& b, int n,
                                                        Signal& s) {
    Sections::processPairSpan<Vec4, Group<Vec4>>(a, b, n, s);
}
} // namespace span_test

TEST(GlidingSections, RunsLaneGroupByLaneGroupMatchThePairSampleBySample) {
    using namespace span_test;
    for (Path path : paths()) {
        SCOPED_TRACE(path == Path::Wide ? "wide" : "narrow");
        auto spanA = std::make_unique<Sections>();
        auto spanB = std::make_unique<Sections>();
        auto pairA = std::make_unique<Sections>();
        auto pairB = std::make_unique<Sections>();
        for (int lane = 0; lane < kLanes; ++lane) {
            const BiquadFilter a = restingSection(kBiquadPeaking, 700.0 + 150.0 * lane, 0.9, 5.0);
            const BiquadFilter b = restingSection(kBiquadHighShelf, 2500.0, 0.7, -3.0 + lane);
            spanA->reset(lane, a.target(), a.glideLength());
            pairA->reset(lane, a.target(), a.glideLength());
            spanB->reset(lane, b.target(), b.glideLength());
            pairB->reset(lane, b.target(), b.glideLength());
        }
        static double x[kSamples][kLanes], ySpan[kSamples][kLanes];
        for (int n = 0; n < kSamples; ++n)
            for (int lane = 0; lane < kLanes; ++lane) x[n][lane] = std::sin(0.017 * n * (lane + 1));
        double spanSums[kLanes] = {}, pairSums[kLanes] = {};
        Signal signal{x, ySpan, spanSums};
        // The run lengths: 16 as the unit takes them, and others around the
        // glides (132 samples), which A and B start at different samples.
        const int lengths[] = {1, 16, 16, 7, 45, 3, 90, 1, 33, 16, 64, 2, 130, 9, 40, 120, 147};
        int n = 0, run = 0;
        for (int length : lengths) {
            ASSERT_LE(n + length, kSamples);
            // New targets at the run's start: A at every second run, B at every third.
            for (int bank = 0; bank < 2; ++bank) {
                if (run % (bank == 0 ? 2 : 3) != 0) continue;
                BiquadCoefficients c[kLanes];
                bool use[kLanes];
                for (int lane = 0; lane < kLanes; ++lane) {
                    use[lane] = lane != kLeftOut || run == 0;
                    c[lane] = restingSection(bank == 0 ? kBiquadPeaking : kBiquadHighShelf,
                                             500.0 + 60.0 * lane + 2.0 * n, 0.6 + 0.05 * lane,
                                             4.0 - 0.02 * n)
                                  .target();
                }
                (bank == 0 ? spanA : spanB)->setTargets(c, use, path);
                (bank == 0 ? pairA : pairB)->setTargets(c, use, path);
            }
            signal.x = x + n;
            signal.y = ySpan + n;
            if (path == Path::Wide)
                spanWide(*spanA, *spanB, length, signal);
            else
                spanNarrow(*spanA, *spanB, length, signal);
            for (int j = n; j < n + length; ++j) {
                double y[kLanes];
                Sections::processPair(*pairA, *pairB, x[j], y, path);
                for (int lane = 0; lane < kLanes; ++lane) {
                    ASSERT_EQ(ySpan[j][lane], y[lane]) << "lane " << lane << " n " << j;
                    pairSums[lane] += y[lane];
                }
            }
            ASSERT_EQ(spanA->glideCount(), pairA->glideCount()) << "n " << n;
            ASSERT_EQ(spanB->glideCount(), pairB->glideCount()) << "n " << n;
            n += length;
            ++run;
        }
        // Both glides ended within the last run, and the groups' state came
        // through.
        EXPECT_EQ(spanA->glideCount(), 0);
        EXPECT_EQ(spanB->glideCount(), 0);
        for (int lane = 0; lane < kLanes; ++lane) EXPECT_EQ(spanSums[lane], pairSums[lane]);
    }
}

// One bank's runs of samples (processSpan) give what its process gives sample by
// sample, bit for bit, on each path: runs that end where the glide ends, runs
// longer than the glide left, runs of one sample, runs at rest, and the state
// (glide count, history) carried from run to run.
TEST(GlidingSections, OneBanksRunsMatchItsSamplesOneByOne) {
    using Sections = GlidingSections<kLanes>;
    constexpr int kSamples = 800;
    for (Path path : paths()) {
        SCOPED_TRACE(path == Path::Wide ? "wide" : "narrow");
        auto spans = std::make_unique<Sections>();
        auto samples = std::make_unique<Sections>();
        for (int lane = 0; lane < kLanes; ++lane) {
            const BiquadFilter f = restingSection(kBiquadLowPass, 900.0 + 250.0 * lane, 0.8, 0.0);
            spans->reset(lane, f.target(), f.glideLength());
            samples->reset(lane, f.target(), f.glideLength());
        }
        static double x[kSamples][kLanes], ySpan[kSamples][kLanes];
        for (int n = 0; n < kSamples; ++n)
            for (int lane = 0; lane < kLanes; ++lane)
                x[n][lane] = std::sin(0.021 * n * (lane + 1)) + 0.3 * std::sin(1.7 * n);
        // 16 as the drum takes them between its targets, and others around the
        // glide (132 samples); the run after the long one is at rest.
        const int lengths[] = {16, 16, 1, 15, 7, 60, 33, 16, 200, 16, 2, 140, 9, 16, 64, 189};
        int n = 0, run = 0, atRest = 0;
        for (int length : lengths) {
            ASSERT_LE(n + length, kSamples);
            atRest += spans->glideCount() == 0;
            // New targets at most runs' starts (one lane left out after the first).
            if (run % 4 != 3 && length != 140) {
                BiquadCoefficients c[kLanes];
                bool use[kLanes];
                for (int lane = 0; lane < kLanes; ++lane) {
                    use[lane] = lane != kLeftOut || run == 0;
                    c[lane] = restingSection(kBiquadLowPass, 600.0 + 70.0 * lane + 3.0 * n,
                                             0.6 + 0.04 * lane, 0.0)
                                  .target();
                }
                spans->setTargets(c, use, path);
                samples->setTargets(c, use, path);
            }
            spans->processSpan(x[n], ySpan[n], length, path);
            for (int j = n; j < n + length; ++j) {
                double y[kLanes];
                samples->process(x[j], y, path);
                for (int lane = 0; lane < kLanes; ++lane)
                    ASSERT_EQ(ySpan[j][lane], y[lane]) << "lane " << lane << " n " << j;
            }
            ASSERT_EQ(spans->glideCount(), samples->glideCount()) << "n " << n;
            n += length;
            ++run;
        }
        EXPECT_GT(atRest, 0) << "a run at rest came up";
    }
}

} // namespace
} // namespace zel
