// Four-section cascade: equals its sections in series, saturates where asked,
// also inside a disabled section; every way of running cascades (one by one,
// in chains, in pairs, two or four sections' shares to a register) computes the
// same numbers.
#include "engine/MultiFilter.h"

#include "engine/CpuFeatures.h"
#include "engine/OnePole.h"
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
                    SCOPED_TRACE(testing::Message()
                                 << k.name << " chain of " << n.a << ", saturating " << saturating);
                    EXPECT_EQ(chainMismatches(k.block, k.steps, a, signal, lengths), 0);
                }
            }
            for (const Pair& k : pairs) {
                if (k.block == &evenPairEntry && n.a != n.b) continue;
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
