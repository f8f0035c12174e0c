// Four second-order sections run as one cascade from coefficients copied out of
// four BiquadFilters. No glide and no type checks per sample; each section may
// saturate inside the cascade.
#pragma once

#include "engine/BiquadFilter.h"

#include <cstdint>

namespace zel {

class MultiFilter {
public:
    static constexpr int kSections = 4;

    MultiFilter() noexcept;
    virtual ~MultiFilter() = default;

    // Takes the target coefficients and saturation settings of four sections. A
    // disabled section contributes identity coefficients but keeps its saturation.
    void copyFrom(const BiquadFilter& s1, const BiquadFilter& s2, const BiquadFilter& s3,
                  const BiquadFilter& s4) noexcept;
    // Same, from four consecutive sections of an array.
    void copyFrom(const BiquadFilter* sections) noexcept;
    void clearState() noexcept;
    // Whether `other` has the same coefficients, saturation settings and node
    // histories, bit for bit, and takes the same path: then every run through
    // the two gives the same values and leaves the same state.
    bool sameAs(const MultiFilter& other) const noexcept;
    double process(double x) noexcept;
    // process on the wide path, for a caller's own AVX2 loop (inline where
    // MultiFilterWide.h is included): only where wideKernels(), and Saturating
    // must be saturates(). The same values and state as process.
    template <bool Saturating> [[gnu::target("avx2,fma")]] double processWide(double x) noexcept;
    bool wideKernels() const noexcept { return wide_; }
    bool saturates() const noexcept { return saturates_; }
    // Two independent cascades at once, each exactly as process would run it: xa
    // and xb go in and come back filtered.
    static void processPair(MultiFilter& a, double& xa, MultiFilter& b, double& xb) noexcept;
    // `count` cascades in series (each one's output is the next one's input), with
    // the same results as calling process on each in turn.
    static double processChain(MultiFilter* cascades, int count, double x) noexcept;
    // Two such chains of `count` cascades each, run side by side.
    static void processChainPair(MultiFilter* a, double& xa, MultiFilter* b, double& xb,
                                 int count) noexcept;

    // The two ways the chains are computed, with the same arithmetic: two
    // sections' history shares to a register (SSE2, both builds' baseline) or
    // four (AVX2). The entries above take the wide one where the processor has
    // it; these are public so that each can be checked on its own.
    static double chainNarrow(MultiFilter* cascades, int count, double x) noexcept;
    [[gnu::target("avx2,fma")]] static double chainWide(MultiFilter* cascades, int count,
                                                        double x) noexcept;
    static void chainPairNarrow(MultiFilter* a, double& xa, MultiFilter* b, double& xb,
                                int count) noexcept;
    [[gnu::target("avx2,fma")]] static void
    chainPairWide(MultiFilter* a, double& xa, MultiFilter* b, double& xb, int count) noexcept;

    // Blocks: the same as processChain / processChainPair once per sample over
    // x[0..n) (in place), with the same results bit for bit and the same state
    // after. The chain's sections work as a wavefront (MultiFilterWavefront.cpp).
    static void processChainBlock(MultiFilter* cascades, int count, double* x, int n) noexcept;
    static void processChainPairBlock(MultiFilter* a, double* xa, MultiFilter* b, double* xb,
                                      int count, int n) noexcept;
    // Two chains of different lengths side by side (the horn tone chain: three
    // cascades beside the cross path's two), the same as processChainBlock on
    // each; the longer one's last cascades overlap with the shorter one's.
    static void processChainPairBlock(MultiFilter* a, double* xa, int countA, MultiFilter* b,
                                      double* xb, int countB, int n) noexcept;
    // Their two ways, public like the per-sample ones so that each can be checked.
    static void chainBlockNarrow(MultiFilter* cascades, int count, double* x, int n) noexcept;
    [[gnu::target("avx2,fma")]] static void chainBlockWide(MultiFilter* cascades, int count,
                                                           double* x, int n) noexcept;
    static void chainPairBlockNarrow(MultiFilter* a, double* xa, int countA, MultiFilter* b,
                                     double* xb, int countB, int n) noexcept;
    [[gnu::target("avx2,fma")]] static void chainPairBlockWide(MultiFilter* a, double* xa,
                                                               int countA, MultiFilter* b,
                                                               double* xb, int countB,
                                                               int n) noexcept;
    // The pair on the AVX2 path in float, eight sections to a register (one
    // cascade of each chain): states, coefficients and sums in float, the same
    // sections in the same order and the same saturation. Not bit for bit:
    // each section's roundings reach its output through its recursion, so the
    // entry takes it only where the chains' float round-off stays small
    // (floatSuits).
    [[gnu::target("avx2,fma")]] static void chainPairBlockFloat(MultiFilter* a, double* xa,
                                                                int countA, MultiFilter* b,
                                                                double* xb, int countB,
                                                                int n) noexcept;
    // One chain on the AVX2 path in float, eight sections (two cascades) to a
    // register; the entry takes it where the chain suits float.
    [[gnu::target("avx2,fma")]] static void chainBlockFloat(MultiFilter* cascades, int count,
                                                            double* x, int n) noexcept;
    // Whether a chain's sections are quiet enough in float: the sum of their
    // round-off gains at most kFloatRoundoffGain.
    static bool floatSuits(const MultiFilter* cascades, int count) noexcept;
    // The power gain from a section's roundings to its output, the sum of the
    // squares of its recursion's impulse response (1 where it has none); large
    // where a pole sits close to the unit circle at a low frequency.
    double roundoffGain(int i) const noexcept { return roundoffGain_[i]; }
    // With every section's roundings at float's unit roundoff u = 2^-24 (four
    // per sample) and this summed gain, the chain's round-off stays near 100 dB
    // below its signal: u sqrt(4 * 2e4) = 1.7e-5 (-95 dB) is the bound where
    // every rounding hits its worst, the typical one sqrt(1/3) of that.
    static constexpr double kFloatRoundoffGain = 2e4;

    struct Section {
        double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
    };
    struct SectionState {
        double x1 = 0, x2 = 0, y = 0, y1 = 0, y2 = 0;
    };
    const Section& section(int i) const noexcept { return coef_[i]; }
    // A section's input is the previous section's output, so the cascade keeps one
    // history per node between the sections: node 0 is the cascade's input, node i
    // + 1 section i's output.
    SectionState sectionState(int i) const noexcept {
        return {node1_[i], node2_[i], node1_[i + 1], node1_[i + 1], node2_[i + 1]};
    }
    bool saturationOn(int i) const noexcept { return satOn_[i] != 0; }
    double saturationInverse(int i) const noexcept { return satInverse_[i]; }
    double saturationBias(int i) const noexcept { return satBias_[i]; }

private:
    static constexpr int kNodes = kSections + 1;

    void copySection(int i, const BiquadFilter& s) noexcept;
    void roundFloatRows(int i) noexcept;
    // Section i's output for input `in` and its history share, saturated where
    // the section saturates.
    double saturatedOutput(int i, double in, double share) const noexcept;
    // The per-sample arithmetic, narrow and wide (MultiFilter.cpp).
    struct Kernel;
    // The per-sample wide step (MultiFilterWide.h).
    struct WideStep;
    // The block arithmetic (MultiFilterWavefront.cpp).
    struct Wavefront;
    // The same in float (MultiFilterWavefront.cpp).
    struct FloatWavefront;

    Section coef_[kSections];
    int32_t satOn_[kSections] = {};
    double satInverse_[kSections];
    double satBias_[kSections] = {};
    double roundoffGain_[kSections] = {1, 1, 1, 1};
    double roundoffSum_ = kSections; // over the sections
    bool saturates_ = false;         // any section
    bool wide_;                      // the processor has AVX2
    // Coefficients laid out across the sections, so the history shares of two
    // (or four) sections are computed together.
    alignas(32) double b0_[kSections] = {1, 1, 1, 1};
    alignas(32) double b1_[kSections] = {};
    alignas(32) double b2_[kSections] = {};
    alignas(32) double a1_[kSections] = {};
    alignas(32) double a2_[kSections] = {};
    // The coefficients and saturation settings rounded to float for the float
    // wavefront, row by row as it loads them: b0, b1, b2, a1, a2, the
    // saturation mask (bits), bias and inverse.
    static constexpr int kFloatRows = 8;
    alignas(16) float floatRows_[kFloatRows][kSections] = {};
    // Each node's value one and two samples ago (padded to whole registers).
    alignas(32) double node1_[kNodes + 3] = {};
    alignas(32) double node2_[kNodes + 3] = {};
};

} // namespace zel
