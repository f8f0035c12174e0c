// Four-section cascade: equals its sections in series, saturates where asked,
// also inside a disabled section; every way of running cascades (one by one,
// in chains, in pairs, two or four sections' shares to a register) computes the
// same numbers.
#include "engine/MultiFilter.h"

#include "engine/CpuFeatures.h"
#include "engine/OnePole.h"
#include "engine/data/EngineFilterTables.h"
#include "engine/data/HornTables.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <random>
#include <utility>
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
// section saturates; each section's output is the next one's input. The wide
// (AVX2) kernels fuse each product into the add or subtraction after it, which
// rounds once instead of twice: the fused form writes those steps with std::fma
// (correctly rounded, as the processor's fused instructions), so the wide
// kernels too are held to their formulas bit for bit.
struct ReferenceCascade {
    struct Section {
        MultiFilter::Section c;
        bool saturates;
        double inverse, bias;
        double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    };
    Section s[MultiFilter::kSections];

    bool fused;

    explicit ReferenceCascade(const MultiFilter& m, bool fusedSteps = false) : fused(fusedSteps) {
        for (int i = 0; i < MultiFilter::kSections; ++i)
            s[i] = {m.section(i), m.saturationOn(i), m.saturationInverse(i), m.saturationBias(i)};
    }

    // a b + c, rounded twice or (fused) once.
    double plus(double a, double b, double c) const {
        return fused ? std::fma(a, b, c) : a * b + c;
    }

    double process(double x) {
        double in = zel::denormalGuard(x, zel::kCascadeGuard);
        for (Section& q : s) {
            const double share =
                plus(-q.c.a2, q.y2, plus(-q.c.a1, q.y1, plus(q.c.b1, q.x1, q.c.b2 * q.x2)));
            double y = zel::denormalGuard(plus(q.c.b0, in, share), zel::kCascadeGuard);
            if (q.saturates) {
                y = y / plus(std::fabs(y + q.bias), q.inverse, 1.0);
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
        const bool avx2 = zel::cpuHasAvx2();
        // The plain formulas (baseline kernels), the fused ones (wide kernels)
        // and those of the kernels the entries pick.
        std::vector<ReferenceCascade> refA, refB, fusedA, fusedB, pickedA, pickedB;
        for (int c = 0; c < kChain; ++c) {
            refA.emplace_back(templateA[c]);
            refB.emplace_back(templateB[c]);
            fusedA.emplace_back(templateA[c], true);
            fusedB.emplace_back(templateB[c], true);
            pickedA.emplace_back(templateA[c], avx2);
            pickedB.emplace_back(templateB[c], avx2);
        }
        std::vector<MultiFilter> narrow = templateA, wide = templateA, single = templateA;
        std::vector<MultiFilter> pairNarrowA = templateA, pairNarrowB = templateB;
        std::vector<MultiFilter> pairWideA = templateA, pairWideB = templateB;
        std::vector<MultiFilter> pairA = templateA, pairB = templateB;
        uint32_t seedA = 7, seedB = 99;
        for (int n = 0; n < kSamples; ++n) {
            const double xa = input(n, seedA), xb = input(n + 700, seedB);
            double ea = xa, eb = xb, fa = xa, fb = xb, pa = xa, pb = xb;
            for (int c = 0; c < kChain; ++c) {
                ea = refA[c].process(ea);
                eb = refB[c].process(eb);
                fa = fusedA[c].process(fa);
                fb = fusedB[c].process(fb);
                pa = pickedA[c].process(pa);
                pb = pickedB[c].process(pb);
            }
            ASSERT_EQ(MultiFilter::chainNarrow(narrow.data(), kChain, xa), ea) << n;
            if (avx2) {
                ASSERT_EQ(MultiFilter::chainWide(wide.data(), kChain, xa), fa) << n;
            }
            double s = xa;
            for (MultiFilter& m : single) s = m.process(s);
            ASSERT_EQ(s, pa) << n;

            double ya = xa, yb = xb;
            MultiFilter::chainPairNarrow(pairNarrowA.data(), ya, pairNarrowB.data(), yb, kChain);
            ASSERT_EQ(ya, ea) << n;
            ASSERT_EQ(yb, eb) << n;
            if (avx2) {
                ya = xa, yb = xb;
                MultiFilter::chainPairWide(pairWideA.data(), ya, pairWideB.data(), yb, kChain);
                ASSERT_EQ(ya, fa) << n;
                ASSERT_EQ(yb, fb) << n;
            }
            ya = xa, yb = xb;
            for (int c = 0; c < kChain; ++c) MultiFilter::processPair(pairA[c], ya, pairB[c], yb);
            ASSERT_EQ(ya, pa) << n;
            ASSERT_EQ(yb, pb) << n;
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
    for (const MultiFilter& c : m) ref.emplace_back(c, zel::cpuHasAvx2()); // the picked kernels'
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

namespace zel_blocks {

using zel::BiquadFilter;
using zel::MultiFilter;

using ChainBlock = void (*)(MultiFilter*, int, double*, int);
using PairBlock = void (*)(MultiFilter*, double*, int, MultiFilter*, double*, int, int);

// The per-sample kernels of one path (a block kernel is held to those of its own
// path: the wide ones fuse their multiplies, the baseline ones do not).
struct PerSample {
    double (*chain)(MultiFilter*, int, double);
    void (*pair)(MultiFilter*, double&, MultiFilter*, double&, int);
};
constexpr PerSample kNarrowSteps{&MultiFilter::chainNarrow, &MultiFilter::chainPairNarrow};
constexpr PerSample kWideSteps{&MultiFilter::chainWide, &MultiFilter::chainPairWide};
constexpr PerSample kPickedSteps{&MultiFilter::processChain, &MultiFilter::processChainPair};

// The entry for two chains of one length, in the form of the others.
void evenPairEntry(MultiFilter* a, double* xa, int countA, MultiFilter* b, double* xb, int, int n) {
    MultiFilter::processChainPairBlock(a, xa, b, xb, countA, n);
}

void unevenPairEntry(MultiFilter* a, double* xa, int countA, MultiFilter* b, double* xb, int countB,
                     int n) {
    MultiFilter::processChainPairBlock(a, xa, countA, b, xb, countB, n);
}

// Sample by sample: the chains' common length side by side, then the rest of
// the longer one alone.
void perSamplePair(const PerSample& k, std::vector<MultiFilter>& a, double& xa,
                   std::vector<MultiFilter>& b, double& xb) {
    const int countA = static_cast<int>(a.size()), countB = static_cast<int>(b.size());
    const int common = std::min(countA, countB);
    if (common > 0) k.pair(a.data(), xa, b.data(), xb, common);
    if (countA > common) xa = k.chain(a.data() + common, countA - common, xa);
    if (countB > common) xb = k.chain(b.data() + common, countB - common, xb);
}

// The block kernels must equal the per-sample ones bit for bit, so doubles are
// compared as their bit patterns (this also tells +0 from -0).
uint64_t bitsOf(double v) {
    return std::bit_cast<uint64_t>(v);
}

// Random stable sections, some disabled, and where asked some saturating with a
// bias. Mostly designs that pass the whole band (peaks, shelves, notches,
// all-passes) so that the signal goes through seven cascades; a pass filter now
// and then, with its corner inside the band.
std::vector<MultiFilter> randomChain(std::mt19937& rng, int count, bool saturating) {
    constexpr int kTypes[] = {zel::kBiquadPeaking,   zel::kBiquadPeaking, zel::kBiquadLowShelf,
                              zel::kBiquadHighShelf, zel::kBiquadNotch,   zel::kBiquadAllPass,
                              zel::kBiquadHighPass,  zel::kBiquadLowPass, zel::kBiquadBandPass};
    std::uniform_int_distribution<int> type(0, static_cast<int>(std::size(kTypes)) - 1);
    std::uniform_real_distribution<double> octave(0.0, 8.0), q(0.3, 12.0), db(-12.0, 12.0),
        unit(0.0, 1.0);
    std::vector<MultiFilter> cascades(count);
    for (MultiFilter& m : cascades) {
        BiquadFilter s[MultiFilter::kSections];
        for (BiquadFilter& f : s) {
            const int t = kTypes[type(rng)];
            const bool pass =
                t == zel::kBiquadHighPass || t == zel::kBiquadLowPass || t == zel::kBiquadBandPass;
            const double hz =
                pass ? 300.0 * std::exp2(octave(rng) / 2) : 30.0 * std::exp2(octave(rng));
            f = BiquadFilter(44100.0, t, hz, pass ? 0.7 : q(rng), db(rng));
            f.setEnabled(unit(rng) < 0.9);
            if (saturating && unit(rng) < 0.5) {
                f.setSaturation(0.2 + 0.8 * unit(rng));
                f.setBias(0.1 * (unit(rng) - 0.5));
            }
        }
        m.copyFrom(s);
    }
    return cascades;
}

// Noise with loud bursts (the saturators act), then silence (the guards round
// the decaying tails to zero).
std::vector<double> randomSignal(std::mt19937& rng, int length, int signalEnd) {
    std::uniform_real_distribution<double> noise(-0.5, 0.5);
    std::vector<double> v(length, 0.0);
    for (int i = 0; i < std::min(length, signalEnd); ++i)
        v[i] = (i % 700 < 90 ? 60.0 : 0.4) * noise(rng);
    return v;
}

// Block lengths one after another: the short and odd ones, then random ones up
// to past the engine's 128.
std::vector<int> blockLengths(std::mt19937& rng, int total) {
    std::vector<int> lengths = {0, 1, 2, 3, 5, 64, 0, 7, 128, 1, 31, 256, 300, 2, 63, 129, 17};
    std::uniform_int_distribution<int> any(0, 260);
    int sum = 0;
    for (int l : lengths) sum += l;
    while (sum < total) {
        lengths.push_back(any(rng));
        sum += lengths.back();
    }
    return lengths;
}

void expectSameStates(const std::vector<MultiFilter>& got, const std::vector<MultiFilter>& want) {
    for (size_t c = 0; c < got.size(); ++c) {
        for (int i = 0; i < MultiFilter::kSections; ++i) {
            const MultiFilter::SectionState g = got[c].sectionState(i);
            const MultiFilter::SectionState w = want[c].sectionState(i);
            EXPECT_EQ(bitsOf(g.x1), bitsOf(w.x1)) << c << " " << i;
            EXPECT_EQ(bitsOf(g.x2), bitsOf(w.x2)) << c << " " << i;
            EXPECT_EQ(bitsOf(g.y1), bitsOf(w.y1)) << c << " " << i;
            EXPECT_EQ(bitsOf(g.y2), bitsOf(w.y2)) << c << " " << i;
        }
    }
}

// Runs `signal` block by block through `block` and sample by sample through the
// same path's chain; returns the number of samples that differ.
int chainMismatches(ChainBlock block, const PerSample& k, std::vector<MultiFilter> cascades,
                    const std::vector<double>& signal, const std::vector<int>& lengths) {
    std::vector<MultiFilter> reference = cascades;
    const int count = static_cast<int>(cascades.size());
    std::vector<double> buffer;
    int at = 0, mismatches = 0;
    double peak = 0.0;
    for (int length : lengths) {
        length = std::min(length, static_cast<int>(signal.size()) - at);
        buffer.assign(signal.begin() + at, signal.begin() + at + length);
        block(cascades.data(), count, buffer.data(), length);
        for (int i = 0; i < length; ++i) {
            const double want = k.chain(reference.data(), count, signal[at + i]);
            if (bitsOf(buffer[i]) != bitsOf(want) && mismatches++ == 0)
                ADD_FAILURE() << "sample " << at + i << ": " << buffer[i] << " vs " << want;
            peak = std::max(peak, std::fabs(want));
        }
        at += length;
    }
    EXPECT_GT(peak, 1e-5); // the signal went through, far above where the guards round
    expectSameStates(cascades, reference);
    return mismatches;
}

int pairMismatches(PairBlock block, const PerSample& k, std::vector<MultiFilter> a,
                   std::vector<MultiFilter> b, const std::vector<double>& signal,
                   const std::vector<int>& lengths) {
    std::vector<MultiFilter> refA = a, refB = b;
    const int countA = static_cast<int>(a.size()), countB = static_cast<int>(b.size());
    std::vector<double> ba, bb;
    int at = 0, mismatches = 0;
    for (int length : lengths) {
        length = std::min(length, static_cast<int>(signal.size()) - at);
        ba.assign(signal.begin() + at, signal.begin() + at + length);
        bb.resize(ba.size());
        for (int i = 0; i < length; ++i) bb[i] = -0.7 * ba[length - 1 - i];
        block(a.data(), ba.data(), countA, b.data(), bb.data(), countB, length);
        for (int i = 0; i < length; ++i) {
            double wa = signal[at + i], wb = -0.7 * signal[at + length - 1 - i];
            perSamplePair(k, refA, wa, refB, wb);
            if ((bitsOf(ba[i]) != bitsOf(wa) || bitsOf(bb[i]) != bitsOf(wb)) && mismatches++ == 0)
                ADD_FAILURE() << "sample " << at + i << ": " << ba[i] << ", " << bb[i] << " vs "
                              << wa << ", " << wb;
        }
        at += length;
    }
    expectSameStates(a, refA);
    expectSameStates(b, refB);
    return mismatches;
}

// Every block kernel (the baseline one, the wide one where the processor has it,
// and the entries that pick) equals the per-sample chains of its path bit for bit, with the
// same states after, for chains of 1 to 9 cascades (past one wavefront group),
// pairs of one length and of two, with and without saturating sections, over
// blocks of 0 to 300 samples.
TEST(MultiFilterBlocks, EqualThePerSampleChainsBitForBit) {
    struct Chain {
        const char* name;
        ChainBlock block;
        PerSample steps;
    };
    struct Pair {
        const char* name;
        PairBlock block;
        PerSample steps;
    };
    std::vector<Chain> chains = {{"narrow", &MultiFilter::chainBlockNarrow, kNarrowSteps},
                                 {"entry", &MultiFilter::processChainBlock, kPickedSteps}};
    std::vector<Pair> pairs = {{"narrow", &MultiFilter::chainPairBlockNarrow, kNarrowSteps},
                               {"entry", &evenPairEntry, kPickedSteps},
                               {"uneven entry", &unevenPairEntry, kPickedSteps}};
    if (zel::cpuHasAvx2()) {
        chains.push_back({"wide", &MultiFilter::chainBlockWide, kWideSteps});
        pairs.push_back({"wide", &MultiFilter::chainPairBlockWide, kWideSteps});
    }
    struct Counts {
        int a, b;
    };
    std::mt19937 rng(2024);
    for (Counts n : {Counts{1, 1},
                     {2, 2},
                     {3, 3},
                     {4, 4},
                     {5, 5},
                     {6, 6},
                     {7, 7},
                     {9, 9},
                     {3, 2},
                     {2, 3},
                     {7, 1},
                     {1, 7},
                     {9, 2},
                     {2, 10}}) {
        for (bool saturating : {false, true}) {
            const std::vector<MultiFilter> a = randomChain(rng, n.a, saturating);
            const std::vector<MultiFilter> b = randomChain(rng, n.b, saturating && n.b % 2);
            const std::vector<double> signal = randomSignal(rng, 5000, 3500);
            const std::vector<int> lengths = blockLengths(rng, 5000);
            if (n.a == n.b) {
                for (const Chain& k : chains) {
                    if (zel::cpuHasAvx2() && MultiFilter::floatSuits(a.data(), n.a) &&
                        k.steps.chain == &MultiFilter::processChain)
                        continue;
                    SCOPED_TRACE(testing::Message()
                                 << k.name << " chain of " << n.a << ", saturating " << saturating);
                    EXPECT_EQ(chainMismatches(k.block, k.steps, a, signal, lengths), 0);
                }
            }
            // Where both chains suit float, the entries take the float pair
            // (MultiFilterFloatBlocks holds them to it).
            const bool inFloat = zel::cpuHasAvx2() && MultiFilter::floatSuits(a.data(), n.a) &&
                                 MultiFilter::floatSuits(b.data(), n.b);
            for (const Pair& k : pairs) {
                if (k.block == &evenPairEntry && n.a != n.b) continue;
                if (inFloat && k.steps.chain == &MultiFilter::processChain) continue;
                SCOPED_TRACE(testing::Message() << k.name << " pair of " << n.a << " and " << n.b
                                                << ", saturating " << saturating);
                EXPECT_EQ(pairMismatches(k.block, k.steps, a, b, signal, lengths), 0);
            }
        }
    }
}

// The horn's tone chain: two saturating cascades beside the cross chain's two,
// then a third saturating cascade on its own, block after block; or the three
// beside the two in one call.
TEST(MultiFilterBlocks, ToneChainEqualsItsPerSampleRun) {
    std::mt19937 rng(77);
    const std::vector<MultiFilter> tone = randomChain(rng, 3, true);
    const std::vector<MultiFilter> cross = randomChain(rng, 2, true);
    const std::vector<double> signal = randomSignal(rng, 4000, 3000);
    const std::vector<int> lengths = blockLengths(rng, 4000);
    std::vector<PairBlock> pairs = {&MultiFilter::chainPairBlockNarrow};
    std::vector<ChainBlock> chains = {&MultiFilter::chainBlockNarrow};
    std::vector<PerSample> steps = {kNarrowSteps};
    if (zel::cpuHasAvx2()) {
        pairs.push_back(&MultiFilter::chainPairBlockWide);
        chains.push_back(&MultiFilter::chainBlockWide);
        steps.push_back(kWideSteps);
    }
    for (size_t path = 0; path < 2 * pairs.size(); ++path) {
        const bool fused = path >= pairs.size();
        const size_t kernel = path % pairs.size();
        std::vector<MultiFilter> t = tone, c = cross, refT = tone, refC = cross;
        std::vector<double> main, side;
        int at = 0;
        double peak = 0.0;
        for (int length : lengths) {
            length = std::min(length, static_cast<int>(signal.size()) - at);
            main.assign(signal.begin() + at, signal.begin() + at + length);
            side = main;
            if (fused) {
                pairs[kernel](t.data(), main.data(), 3, c.data(), side.data(), 2, length);
            } else {
                pairs[kernel](t.data(), main.data(), 2, c.data(), side.data(), 2, length);
                chains[kernel](t.data() + 2, 1, main.data(), length);
            }
            for (int i = 0; i < length; ++i) {
                double m = signal[at + i], s = signal[at + i];
                steps[kernel].pair(refT.data(), m, refC.data(), s, 2);
                m = steps[kernel].chain(refT.data() + 2, 1, m);
                ASSERT_EQ(bitsOf(main[i]), bitsOf(m)) << path << " " << at + i;
                ASSERT_EQ(bitsOf(side[i]), bitsOf(s)) << path << " " << at + i;
                peak = std::max(peak, std::fabs(m));
            }
            at += length;
        }
        EXPECT_GT(peak, 0.1); // the signal went through
        expectSameStates(t, refT);
        expectSameStates(c, refC);
    }
}

// Seven cascades whose tails the guards round to exact zeros (many section
// designs instead settle into a tiny cycle near 1e-31, per sample as in blocks):
// wide low-Q sections at 5 kHz, with three saturating sections.
std::vector<MultiFilter> settlingChain() {
    constexpr int kTypes[] = {zel::kBiquadPeaking, zel::kBiquadAllPass, zel::kBiquadLowPass,
                              zel::kBiquadHighPass, zel::kBiquadBandPass};
    std::vector<MultiFilter> cascades(7);
    for (int c = 0; c < 7; ++c) {
        BiquadFilter s[MultiFilter::kSections];
        for (int k = 0; k < MultiFilter::kSections; ++k) {
            s[k] = BiquadFilter(44100.0, kTypes[(c * 4 + k + 1) % 5], 5000.0, 0.7, 6.0);
            s[k].setEnabled(true);
            if (k == 2 && c % 3 == 1) {
                s[k].setSaturation(0.5);
                s[k].setBias(0.03125);
            }
        }
        cascades[c].copyFrom(s);
    }
    return cascades;
}

// After the signal ends, the blocks fall to exact zeros where the per-sample
// chains do, and stay there.
TEST(MultiFilterBlocks, SilenceEndsInExactZeros) {
    std::vector<std::pair<PairBlock, PerSample>> paths = {
        {&MultiFilter::chainPairBlockNarrow, kNarrowSteps}};
    if (zel::cpuHasAvx2()) paths.push_back({&MultiFilter::chainPairBlockWide, kWideSteps});
    const std::vector<MultiFilter> start = settlingChain();
    constexpr int kBlock = 64, kBlocks = 200, kLoudBlocks = 20;
    for (const auto& [block, steps] : paths) {
        std::vector<MultiFilter> a = start, b = start, refA = start, refB = start;
        uint32_t seed = 11;
        int silentFrom = -1;
        for (int k = 0; k < kBlocks; ++k) {
            double xa[kBlock], xb[kBlock];
            for (int i = 0; i < kBlock; ++i) {
                xa[i] = k < kLoudBlocks ? signalAt(i, seed) : 0.0;
                xb[i] = -0.5 * xa[i];
            }
            bool silent = true;
            for (int i = 0; i < kBlock; ++i) {
                double wa = xa[i], wb = xb[i];
                steps.pair(refA.data(), wa, refB.data(), wb, 7);
                silent = silent && wa == 0.0 && wb == 0.0;
            }
            block(a.data(), xa, 7, b.data(), xb, 7, kBlock);
            bool blockSilent = true;
            for (int i = 0; i < kBlock; ++i)
                blockSilent = blockSilent && xa[i] == 0.0 && xb[i] == 0.0;
            ASSERT_EQ(blockSilent, silent) << k;
            if (k >= kLoudBlocks && silent && silentFrom < 0) silentFrom = k;
            if (silentFrom >= 0) {
                ASSERT_TRUE(blockSilent) << k;
            }
        }
        EXPECT_GE(silentFrom, kLoudBlocks); // the tails did end
        expectSameStates(a, refA);
        expectSameStates(b, refB);
    }
}

} // namespace zel_blocks

// The pair of chains in float (chainPairBlockFloat) against the same chains in
// double (chainPairBlockNarrow).
namespace zel_float_blocks {

using zel::BiquadFilter;
using zel::MultiFilter;
using zel_blocks::blockLengths;
using zel_blocks::randomChain;
using zel_blocks::randomSignal;

constexpr double kUnit = 0x1p-24; // float's unit roundoff

// A chain's sections one after another in double, each on its own.
struct Sections {
    std::vector<MultiFilter::Section> coef;
    std::vector<double> slope; // 1, or a saturating section's largest slope
    explicit Sections(const std::vector<MultiFilter>& chain) {
        for (const MultiFilter& m : chain)
            for (int i = 0; i < MultiFilter::kSections; ++i) {
                coef.push_back(m.section(i));
                slope.push_back(m.saturationOn(i)
                                    ? 1.0 + m.saturationInverse(i) * std::fabs(m.saturationBias(i))
                                    : 1.0);
            }
    }
    int size() const { return static_cast<int>(coef.size()); }
};

// The sum of the magnitudes of the impulse response from what section k adds
// to its own output on to the chain's output: through its recursion 1 / A and
// the sections after it. The most a sequence bounded by 1 added there can
// come out as. Long enough for the slowest poles here (Q 40 at 390 Hz at
// 22.05 kHz lose e in about 720 samples) to fall far below float's step.
double tailGain(const Sections& s, int k) {
    constexpr int kLength = 1 << 15;
    std::vector<double> v(kLength, 0.0);
    v[0] = 1.0;
    for (int j = k; j < s.size(); ++j) {
        const MultiFilter::Section& c = s.coef[j];
        double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
        for (double& x : v) {
            const double y = j == k ? x - c.a1 * y1 - c.a2 * y2
                                    : c.b0 * x + c.b1 * x1 + c.b2 * x2 - c.a1 * y1 - c.a2 * y2;
            x2 = x1, x1 = x, y2 = y1, y1 = y;
            x = y;
        }
    }
    double sum = 0.0;
    for (double x : v) sum += std::fabs(x);
    return sum;
}

// The largest difference of a chain's float run from its double run, for
// `signal`. Per sample, each section of the float path rounds its
// coefficients and its four fused or plain steps, each by at most u times the
// sum of the terms' magnitudes S = (|b0| + |b1| + |b2|) in + (|a1| + |a2|) out,
// and its guard (u out): at most 6 u S added to its output, which reaches the
// chain's output with at most its tailGain. Where a section saturates, the
// law's four roundings add 4 u out, and the error passes its law with at most
// the law's slope (1 + inv |bias|, taken as the linear gain it stays within).
// The chain's input rounds to float (u in), passing with the whole chain's
// gain. The magnitudes in and out come from the double run.
double chainBound(const std::vector<MultiFilter>& chain, const std::vector<double>& signal) {
    const Sections s(chain);
    std::vector<double> peak(s.size() + 1, 0.0);
    std::vector<MultiFilter> run = chain;
    for (double x : signal) {
        peak[0] = std::max(peak[0], std::fabs(x));
        double v = x;
        for (size_t c = 0; c < run.size(); ++c) {
            v = MultiFilter::chainNarrow(&run[c], 1, v);
            for (int i = 0; i < MultiFilter::kSections; ++i) {
                double& p = peak[c * MultiFilter::kSections + i + 1];
                p = std::max(p, std::fabs(run[c].sectionState(i).y1));
            }
        }
    }
    double slopes = 1.0;
    for (double g : s.slope) slopes *= g;
    // The input's rounding, through every section (section 0's recursion and
    // the rest, times b0's... taken as the whole response: tailGain of a
    // section with its numerator is at most |b0| + |b1| + |b2| times that of
    // its recursion).
    const MultiFilter::Section& c0 = s.coef[0];
    double error = slopes * kUnit * peak[0] *
                   (std::fabs(c0.b0) + std::fabs(c0.b1) + std::fabs(c0.b2)) * tailGain(s, 0);
    for (int k = 0; k < s.size(); ++k) {
        const MultiFilter::Section& c = s.coef[k];
        const double in = peak[k], out = peak[k + 1];
        const double terms = (std::fabs(c.b0) + std::fabs(c.b1) + std::fabs(c.b2)) * in +
                             (std::fabs(c.a1) + std::fabs(c.a2)) * out;
        const double added = 6 * kUnit * terms + (s.slope[k] > 1.0 ? 4 * kUnit * out : 0.0);
        error += slopes * added * tailGain(s, k);
    }
    return error;
}

// Cascades of `table`'s sections at `rate`, four to a cascade.
template <size_t N>
std::vector<MultiFilter> tableChain(const std::array<zel::horn::EqSection, N>& table, double rate) {
    std::vector<MultiFilter> cascades(N / MultiFilter::kSections);
    for (size_t c = 0; c < cascades.size(); ++c) {
        BiquadFilter s[MultiFilter::kSections];
        for (int i = 0; i < MultiFilter::kSections; ++i) {
            const zel::horn::EqSection& e = table[c * MultiFilter::kSections + i];
            s[i] = BiquadFilter(rate, e.type, e.hz, e.q, e.db);
            s[i].setEnabled(e.enabled);
        }
        cascades[c].copyFrom(s);
    }
    return cascades;
}

// Random chains as randomChain makes them, at 22.05 kHz and between 150 Hz and
// 9 kHz, drawn until one suits float.
std::vector<MultiFilter> suitingChain(std::mt19937& rng, int count, bool saturating) {
    constexpr int kTypes[] = {zel::kBiquadPeaking,   zel::kBiquadPeaking, zel::kBiquadLowShelf,
                              zel::kBiquadHighShelf, zel::kBiquadAllPass, zel::kBiquadHighPass,
                              zel::kBiquadLowPass};
    std::uniform_int_distribution<int> type(0, static_cast<int>(std::size(kTypes)) - 1);
    std::uniform_real_distribution<double> octave(0.0, 5.9), q(0.5, 20.0), db(-12.0, 12.0),
        unit(0.0, 1.0);
    for (;;) {
        std::vector<MultiFilter> cascades(count);
        for (MultiFilter& m : cascades) {
            BiquadFilter s[MultiFilter::kSections];
            for (BiquadFilter& f : s) {
                const int t = kTypes[type(rng)];
                const bool pass = t == zel::kBiquadHighPass || t == zel::kBiquadLowPass;
                f = BiquadFilter(22050.0, t, 150.0 * std::exp2(octave(rng)), pass ? 0.7 : q(rng),
                                 db(rng));
                f.setEnabled(unit(rng) < 0.9);
                if (saturating && unit(rng) < 0.3) {
                    f.setSaturation(0.2 + 0.8 * unit(rng));
                    f.setBias(0.1 * (unit(rng) - 0.5));
                }
            }
            m.copyFrom(s);
        }
        if (MultiFilter::floatSuits(cascades.data(), count)) return cascades;
    }
}

struct Case {
    const char* name;
    std::vector<MultiFilter> a, b;
};

// Runs a and b block by block in float and in double; expects every output
// sample within its chain's bound, and the bound below a tenth of the output's
// peak: a wrong lane, coefficient or history moves the output by about its own
// size, far past round-off. Each block starts from the states the float run
// handed back in double, so their way there and back is checked too.
void expectWithinRoundoff(const Case& k, const std::vector<double>& signal,
                          const std::vector<int>& lengths) {
    SCOPED_TRACE(k.name);
    std::vector<double> side(signal.size());
    for (size_t i = 0; i < signal.size(); ++i) side[i] = -0.7 * signal[signal.size() - 1 - i];
    const double boundA = chainBound(k.a, signal), boundB = chainBound(k.b, side);
    std::vector<MultiFilter> fa = k.a, fb = k.b, da = k.a, db = k.b;
    const int countA = static_cast<int>(k.a.size()), countB = static_cast<int>(k.b.size());
    std::vector<double> xa, xb, ya, yb;
    double worstA = 0, worstB = 0, peakA = 0, peakB = 0;
    int at = 0;
    for (int length : lengths) {
        length = std::min(length, static_cast<int>(signal.size()) - at);
        xa.assign(signal.begin() + at, signal.begin() + at + length);
        xb.assign(side.begin() + at, side.begin() + at + length);
        ya = xa, yb = xb;
        MultiFilter::chainPairBlockFloat(fa.data(), xa.data(), countA, fb.data(), xb.data(), countB,
                                         length);
        MultiFilter::chainPairBlockNarrow(da.data(), ya.data(), countA, db.data(), yb.data(),
                                          countB, length);
        for (int i = 0; i < length; ++i) {
            worstA = std::max(worstA, std::fabs(xa[i] - ya[i]));
            worstB = std::max(worstB, std::fabs(xb[i] - yb[i]));
            peakA = std::max(peakA, std::fabs(ya[i]));
            peakB = std::max(peakB, std::fabs(yb[i]));
        }
        at += length;
    }
    EXPECT_LE(worstA, boundA);
    EXPECT_LE(worstB, boundB);
    EXPECT_LT(boundA, 0.1 * peakA);
    EXPECT_LT(boundB, 0.1 * peakB);
}

// The float pair stays within its arithmetic's bound of the double one: the
// horn's resonance EQ at the internal rate of "LowCPU" (the noisiest chain the
// engine runs in float: Q 40 at 390 Hz), the horn's drum-microphone EQ beside
// it, saturating random chains of unequal lengths and chains longer than one
// wavefront group, over blocks of 0 to 300 samples.
TEST(MultiFilterFloatBlocks, StayWithinTheirRoundoffOfTheDoublePath) {
    if (!zel::cpuHasAvx2()) GTEST_SKIP() << "no AVX2";
    std::mt19937 rng(4711);
    const std::vector<MultiFilter> eq = tableChain(zel::horn::kStaticEq, 22050.0);
    const std::vector<MultiFilter> cross = tableChain(zel::horn::kCrossEq, 22050.0);
    ASSERT_TRUE(MultiFilter::floatSuits(eq.data(), 7));
    const std::vector<Case> cases = {
        {"resonance EQ pair", eq, eq},
        {"resonance EQ beside cross EQ", eq, cross},
        {"saturating 3 beside 2", suitingChain(rng, 3, true), suitingChain(rng, 2, true)},
        {"saturating 2 beside 5", suitingChain(rng, 2, true), suitingChain(rng, 5, true)},
        {"9 beside 10", suitingChain(rng, 9, false), suitingChain(rng, 10, true)}};
    const std::vector<double> signal = randomSignal(rng, 6000, 6000);
    const std::vector<int> lengths = blockLengths(rng, 6000);
    for (const Case& k : cases) expectWithinRoundoff(k, signal, lengths);
}

// A section's round-off gain is the sum of the squares of its recursion's
// impulse response: the closed form against the sum itself, for the resonance
// EQ's sections at the internal rates of "LowCPU" and "Brilliant" at 44.1 kHz.
// The slowest response here falls by e in about 1440 samples, so 2^18 of them
// leave nothing; the sum of positive terms rounds by at most 2^18 double steps
// (3e-11 of it), the closed form loses below 1e3 steps where (1 + a2)^2 - a1^2
// cancels, and the response's own recursion in double stays far below either:
// 1e-9 of the sum holds them with room.
TEST(MultiFilterFloatBlocks, RoundoffGainIsTheRecursionsPowerGain) {
    for (double rate : {22050.0, 44100.0}) {
        for (const MultiFilter& m : tableChain(zel::horn::kStaticEq, rate)) {
            for (int i = 0; i < MultiFilter::kSections; ++i) {
                const MultiFilter::Section& c = m.section(i);
                double y1 = 0, y2 = 0, sum = 0;
                for (int k = 0; k < (1 << 18); ++k) {
                    const double y = (k == 0 ? 1.0 : 0.0) - c.a1 * y1 - c.a2 * y2;
                    y2 = y1, y1 = y;
                    sum += y * y;
                }
                EXPECT_NEAR(m.roundoffGain(i), sum, 1e-9 * sum) << rate << " " << i;
            }
        }
    }
}

// The same for one chain in float (chainBlockFloat) against chainBlockNarrow:
// the horn's drum-microphone EQ and resonance EQ, saturating random chains,
// one of a single cascade and one longer than a wavefront group.
TEST(MultiFilterFloatBlocks, OneChainStaysWithinItsRoundoffOfTheDoublePath) {
    if (!zel::cpuHasAvx2()) GTEST_SKIP() << "no AVX2";
    std::mt19937 rng(1234);
    const std::vector<std::pair<const char*, std::vector<MultiFilter>>> cases = {
        {"cross EQ", tableChain(zel::horn::kCrossEq, 22050.0)},
        {"resonance EQ", tableChain(zel::horn::kStaticEq, 22050.0)},
        {"saturating 1", suitingChain(rng, 1, true)},
        {"saturating 3", suitingChain(rng, 3, true)},
        {"17", suitingChain(rng, 17, true)}};
    const std::vector<double> signal = randomSignal(rng, 6000, 6000);
    const std::vector<int> lengths = blockLengths(rng, 6000);
    for (const auto& [name, chain] : cases) {
        SCOPED_TRACE(name);
        const double bound = chainBound(chain, signal);
        std::vector<MultiFilter> f = chain, d = chain;
        const int count = static_cast<int>(chain.size());
        std::vector<double> x, y;
        double worst = 0, peak = 0;
        int at = 0;
        for (int length : lengths) {
            length = std::min(length, static_cast<int>(signal.size()) - at);
            x.assign(signal.begin() + at, signal.begin() + at + length);
            y = x;
            MultiFilter::chainBlockFloat(f.data(), count, x.data(), length);
            MultiFilter::chainBlockNarrow(d.data(), count, y.data(), length);
            for (int i = 0; i < length; ++i) {
                worst = std::max(worst, std::fabs(x[i] - y[i]));
                peak = std::max(peak, std::fabs(y[i]));
            }
            at += length;
        }
        EXPECT_LE(worst, bound);
        EXPECT_LT(bound, 0.1 * peak);
    }
}

// The entries take the float kernels exactly where the chains suit them (the
// same values bit for bit), else the double ones: the resonance EQ is too
// noisy in float at 44.1 kHz.
TEST(MultiFilterFloatBlocks, EntryTakesFloatOnlyWhereTheChainsSuitIt) {
    if (!zel::cpuHasAvx2()) GTEST_SKIP() << "no AVX2";
    std::mt19937 rng(5);
    const std::vector<double> signal = randomSignal(rng, 700, 700);
    for (double rate : {22050.0, 44100.0}) {
        const std::vector<MultiFilter> eq = tableChain(zel::horn::kStaticEq, rate);
        const bool suits = MultiFilter::floatSuits(eq.data(), 7);
        EXPECT_EQ(suits, rate < 30000.0) << rate;
        std::vector<MultiFilter> a = eq, b = eq, ra = eq, rb = eq;
        std::vector<double> xa = signal, xb = signal, ya = signal, yb = signal;
        const int n = static_cast<int>(signal.size());
        MultiFilter::processChainPairBlock(a.data(), xa.data(), b.data(), xb.data(), 7, n);
        if (suits)
            MultiFilter::chainPairBlockFloat(ra.data(), ya.data(), 7, rb.data(), yb.data(), 7, n);
        else
            MultiFilter::chainPairBlockWide(ra.data(), ya.data(), 7, rb.data(), yb.data(), 7, n);
        for (int i = 0; i < n; ++i) {
            ASSERT_EQ(zel_blocks::bitsOf(xa[i]), zel_blocks::bitsOf(ya[i])) << rate << " " << i;
            ASSERT_EQ(zel_blocks::bitsOf(xb[i]), zel_blocks::bitsOf(yb[i])) << rate << " " << i;
        }
        // One chain the same way.
        std::vector<MultiFilter> c = eq, rc = eq;
        std::vector<double> x = signal, y = signal;
        MultiFilter::processChainBlock(c.data(), 7, x.data(), n);
        if (suits)
            MultiFilter::chainBlockFloat(rc.data(), 7, y.data(), n);
        else
            MultiFilter::chainBlockWide(rc.data(), 7, y.data(), n);
        for (int i = 0; i < n; ++i)
            ASSERT_EQ(zel_blocks::bitsOf(x[i]), zel_blocks::bitsOf(y[i])) << rate << " " << i;
    }
}

// The horn's tone chain (three cascades, one saturating) and its cross chain
// at `rate`, as the engine sets them up.
std::vector<MultiFilter> engineChain(const zel::enginefilters::SectionSetting* table, int count,
                                     std::initializer_list<int> saturated, double rate) {
    std::vector<MultiFilter> cascades(count);
    for (int c = 0; c < count; ++c) {
        BiquadFilter s[MultiFilter::kSections];
        for (int i = 0; i < MultiFilter::kSections; ++i) {
            const zel::enginefilters::SectionSetting& e = table[c * MultiFilter::kSections + i];
            s[i] = BiquadFilter(rate, e.type, e.hz, e.q, e.db);
            s[i].setEnabled(e.enabled);
            for (int k : saturated)
                if (k == c * MultiFilter::kSections + i) {
                    s[i].setSaturation(0.6);
                    s[i].setBias(zel::enginefilters::kSaturationBias);
                }
        }
        cascades[c].copyFrom(s);
    }
    return cascades;
}

// After the signal ends, the float pair's tails fall to where the engine's
// guard rounds them to exact zeros, and stay there: the engine's chains at the
// internal rates where it runs them in float. (In float as in double these
// chains settle into a tiny cycle near 1e-31 instead of zeros of their own.)
TEST(MultiFilterFloatBlocks, SilenceEndsBelowTheEngineGuard) {
    if (!zel::cpuHasAvx2()) GTEST_SKIP() << "no AVX2";
    using namespace zel::enginefilters;
    for (double rate : {22050.0, 24000.0}) {
        const std::vector<Case> cases = {{"resonance EQ", tableChain(zel::horn::kStaticEq, rate),
                                          tableChain(zel::horn::kStaticEq, rate)},
                                         {"tone beside cross",
                                          engineChain(kHornTone.data(), 3, {10}, rate),
                                          engineChain(kHornCrossTone.data(), 2, {2, 7}, rate)}};
        for (const Case& k : cases) {
            SCOPED_TRACE(testing::Message() << k.name << " at " << rate);
            std::vector<MultiFilter> a = k.a, b = k.b;
            const int countA = static_cast<int>(a.size()), countB = static_cast<int>(b.size());
            ASSERT_TRUE(MultiFilter::floatSuits(a.data(), countA));
            ASSERT_TRUE(MultiFilter::floatSuits(b.data(), countB));
            constexpr int kBlock = 32, kBlocks = 3000, kLoudBlocks = 40;
            uint32_t seed = 11;
            int quietFrom = -1;
            for (int j = 0; j < kBlocks; ++j) {
                double xa[kBlock], xb[kBlock];
                for (int i = 0; i < kBlock; ++i) {
                    xa[i] = j < kLoudBlocks ? signalAt(i, seed) : 0.0;
                    xb[i] = -0.5 * xa[i];
                }
                MultiFilter::chainPairBlockFloat(a.data(), xa, countA, b.data(), xb, countB,
                                                 kBlock);
                bool quiet = true;
                for (int i = 0; i < kBlock; ++i)
                    quiet = quiet && zel::denormalGuard(xa[i]) == 0.0 &&
                            zel::denormalGuard(xb[i]) == 0.0;
                if (j < kLoudBlocks) {
                    EXPECT_FALSE(quiet) << j;
                }
                if (quiet && quietFrom < 0) quietFrom = j;
                if (quietFrom >= 0) {
                    ASSERT_TRUE(quiet) << j;
                }
            }
            EXPECT_GE(quietFrom, kLoudBlocks); // the tails did fall
        }
        // The drum-microphone EQ on its own.
        std::vector<MultiFilter> c = tableChain(zel::horn::kCrossEq, rate);
        ASSERT_TRUE(MultiFilter::floatSuits(c.data(), 2));
        uint32_t seed = 5;
        int quietFrom = -1;
        for (int j = 0; j < 3000; ++j) {
            double x[32];
            for (int i = 0; i < 32; ++i) x[i] = j < 40 ? signalAt(i, seed) : 0.0;
            MultiFilter::chainBlockFloat(c.data(), 2, x, 32);
            bool quiet = true;
            for (double v : x) quiet = quiet && zel::denormalGuard(v) == 0.0;
            if (quiet && quietFrom < 0) quietFrom = j;
            if (quietFrom >= 0) {
                ASSERT_TRUE(quiet) << "drum-microphone EQ at " << rate << ", " << j;
            }
        }
        EXPECT_GE(quietFrom, 40) << rate;
    }
}

// A float block's full steps may keep their histories in registers (a chain
// in one register), its steps where the wavefront enters and leaves keep them
// in the plan: a block too short for full steps takes only the latter. Any
// cut of a signal into blocks then gives the same values to the bit as one
// block: the engine's chains at 22.05 kHz (saturating sections among them)
// and the resonance EQ's pair.
TEST(MultiFilterFloatBlocks, AnyCutIntoBlocksGivesTheSameValues) {
    if (!zel::cpuHasAvx2()) GTEST_SKIP() << "no AVX2";
    using namespace zel::enginefilters;
    constexpr double kRate = 22050.0;
    std::mt19937 rng(17);
    const std::vector<double> signal = randomSignal(rng, 900, 800);
    const int n = static_cast<int>(signal.size());
    // Cuts from one sample up, shorter and longer than each chain's fill.
    const int cuts[] = {1, 5, 11, 64, 7, 128, 3, 12, 40};
    const auto cutUp = [&](const auto& run) {
        for (int at = 0, c = 0; at < n; ++c) {
            const int len = std::min(cuts[c % std::size(cuts)], n - at);
            run(at, len);
            at += len;
        }
    };
    const std::vector<Case> pairs = {{"tone beside cross",
                                      engineChain(kHornTone.data(), 3, {10}, kRate),
                                      engineChain(kHornCrossTone.data(), 2, {2, 7}, kRate)},
                                     {"resonance EQ", tableChain(zel::horn::kStaticEq, kRate),
                                      tableChain(zel::horn::kStaticEq, kRate)}};
    for (const Case& k : pairs) {
        SCOPED_TRACE(k.name);
        const int countA = static_cast<int>(k.a.size()), countB = static_cast<int>(k.b.size());
        std::vector<MultiFilter> a = k.a, b = k.b, ca = k.a, cb = k.b;
        std::vector<double> xa = signal, xb = signal, ya = signal, yb = signal;
        for (double& v : xb) v *= -0.7;
        for (double& v : yb) v *= -0.7;
        MultiFilter::chainPairBlockFloat(a.data(), xa.data(), countA, b.data(), xb.data(), countB,
                                         n);
        cutUp([&](int at, int len) {
            MultiFilter::chainPairBlockFloat(ca.data(), ya.data() + at, countA, cb.data(),
                                             yb.data() + at, countB, len);
        });
        for (int i = 0; i < n; ++i) {
            ASSERT_EQ(zel_blocks::bitsOf(xa[i]), zel_blocks::bitsOf(ya[i])) << i;
            ASSERT_EQ(zel_blocks::bitsOf(xb[i]), zel_blocks::bitsOf(yb[i])) << i;
        }
    }
    for (const auto& [name, chain] :
         {std::pair{"drum-microphone EQ", tableChain(zel::horn::kCrossEq, kRate)},
          std::pair{"tone", engineChain(kHornTone.data(), 2, {6}, kRate)}}) {
        SCOPED_TRACE(name);
        std::vector<MultiFilter> c = chain, cc = chain;
        std::vector<double> x = signal, y = signal;
        MultiFilter::chainBlockFloat(c.data(), 2, x.data(), n);
        cutUp([&](int at, int len) {
            MultiFilter::chainBlockFloat(cc.data(), 2, y.data() + at, len);
        });
        for (int i = 0; i < n; ++i)
            ASSERT_EQ(zel_blocks::bitsOf(x[i]), zel_blocks::bitsOf(y[i])) << i;
    }
}

} // namespace zel_float_blocks
