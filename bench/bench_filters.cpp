// Cost of the engine's filter paths per sample: the horn microphones' static EQ
// (seven cascades per microphone, the two microphones side by side), sample by
// sample and in blocks, the horn tone chain (saturating cascades), a single
// saturating cascade, the amplifier's four tone sections and the rate reduction
// around the simulation ("LowCPU" at 44.1 kHz: one input dot and two output dots
// per host frame, the simulation's pair on every second frame).
#include "engine/AmpStage.h"
#include "engine/Decimator.h"
#include "engine/MultiFilter.h"
#include "engine/data/EngineFilterTables.h"
#include "engine/data/HornTables.h"

#include <benchmark/benchmark.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

namespace {

constexpr double kRate = 44100;
constexpr int kBlock = 4096;
constexpr int kCascades = 7;

std::vector<double> noiseBlock() {
    std::vector<double> v(kBlock);
    uint32_t s = 12345u;
    for (double& x : v) {
        s = s * 1664525u + 1013904223u;
        x = static_cast<double>(s >> 8) / 16777216.0 - 0.5;
    }
    return v;
}

// One microphone's static EQ, as a horn unit builds it.
std::array<zel::MultiFilter, kCascades> microphoneEq() {
    std::array<zel::MultiFilter, kCascades> eq;
    for (int c = 0; c < kCascades; ++c) {
        zel::BiquadFilter s[zel::MultiFilter::kSections];
        for (int k = 0; k < zel::MultiFilter::kSections; ++k) {
            const zel::horn::EqSection& e =
                zel::horn::kStaticEq[c * zel::MultiFilter::kSections + k];
            s[k] = zel::BiquadFilter(kRate, e.type, e.hz, e.q, e.db);
            s[k].setEnabled(e.enabled);
        }
        eq[c].copyFrom(s);
    }
    return eq;
}

// Cascade by cascade, each pair in one call.
void BM_MicrophoneEqByPairs(benchmark::State& state) {
    const std::vector<double> in = noiseBlock();
    auto a = microphoneEq(), b = microphoneEq();
    for (auto _ : state) {
        double acc = 0.0;
        for (double x : in) {
            double ya = x, yb = -x;
            for (int c = 0; c < kCascades; ++c) zel::MultiFilter::processPair(a[c], ya, b[c], yb);
            acc += ya + yb;
        }
        benchmark::DoNotOptimize(acc);
    }
    state.SetItemsProcessed(state.iterations() * kBlock);
}
BENCHMARK(BM_MicrophoneEqByPairs);

// The whole chains in one call, as the horn units run them.
void BM_MicrophoneEqChains(benchmark::State& state) {
    const std::vector<double> in = noiseBlock();
    auto a = microphoneEq(), b = microphoneEq();
    for (auto _ : state) {
        double acc = 0.0;
        for (double x : in) {
            double ya = x, yb = -x;
            zel::MultiFilter::processChainPair(a.data(), ya, b.data(), yb, kCascades);
            acc += ya + yb;
        }
        benchmark::DoNotOptimize(acc);
    }
    state.SetItemsProcessed(state.iterations() * kBlock);
}
BENCHMARK(BM_MicrophoneEqChains);

// The same chain pair block by block (the argument: samples per block; 4096,
// the whole buffer, shows the cost without the wavefront's start and end), the
// kernel the processor allows or the SSE2 baseline. Per sample item as above.
template <bool Baseline> void BM_MicrophoneEqBlocks(benchmark::State& state) {
    const int block = static_cast<int>(state.range(0));
    const std::vector<double> in = noiseBlock();
    std::vector<double> xa(kBlock), xb(kBlock);
    auto a = microphoneEq(), b = microphoneEq();
    for (auto _ : state) {
        for (int n = 0; n < kBlock; ++n) {
            xa[n] = in[n];
            xb[n] = -in[n];
        }
        for (int n = 0; n < kBlock; n += block) {
            if (Baseline)
                zel::MultiFilter::chainPairBlockNarrow(a.data(), &xa[n], kCascades, b.data(),
                                                       &xb[n], kCascades, block);
            else
                zel::MultiFilter::processChainPairBlock(a.data(), &xa[n], b.data(), &xb[n],
                                                        kCascades, block);
        }
        benchmark::DoNotOptimize(xa.data());
        benchmark::DoNotOptimize(xb.data());
    }
    state.SetItemsProcessed(state.iterations() * kBlock);
}
BENCHMARK(BM_MicrophoneEqBlocks<false>)->Arg(16)->Arg(64)->Arg(128)->Arg(4096);
BENCHMARK(BM_MicrophoneEqBlocks<true>)->Arg(64);

// The per-sample chain pair on the SSE2 baseline, to set beside the above.
void BM_MicrophoneEqChainsBaseline(benchmark::State& state) {
    const std::vector<double> in = noiseBlock();
    auto a = microphoneEq(), b = microphoneEq();
    for (auto _ : state) {
        double acc = 0.0;
        for (double x : in) {
            double ya = x, yb = -x;
            zel::MultiFilter::chainPairNarrow(a.data(), ya, b.data(), yb, kCascades);
            acc += ya + yb;
        }
        benchmark::DoNotOptimize(acc);
    }
    state.SetItemsProcessed(state.iterations() * kBlock);
}
BENCHMARK(BM_MicrophoneEqChainsBaseline);

// One microphone's chain alone (the cross path's and a single unit's case).
void BM_MicrophoneEqOneChain(benchmark::State& state) {
    const std::vector<double> in = noiseBlock();
    auto a = microphoneEq();
    for (auto _ : state) {
        double acc = 0.0;
        for (double x : in) acc += zel::MultiFilter::processChain(a.data(), kCascades, x);
        benchmark::DoNotOptimize(acc);
    }
    state.SetItemsProcessed(state.iterations() * kBlock);
}
BENCHMARK(BM_MicrophoneEqOneChain);

void BM_MicrophoneEqOneChainBlocks(benchmark::State& state) {
    const int block = static_cast<int>(state.range(0));
    const std::vector<double> in = noiseBlock();
    std::vector<double> x(kBlock);
    auto a = microphoneEq();
    for (auto _ : state) {
        x = in;
        for (int n = 0; n < kBlock; n += block)
            zel::MultiFilter::processChainBlock(a.data(), kCascades, &x[n], block);
        benchmark::DoNotOptimize(x.data());
    }
    state.SetItemsProcessed(state.iterations() * kBlock);
}
BENCHMARK(BM_MicrophoneEqOneChainBlocks)->Arg(64);

// The horn tone chain as the engine builds it: three cascades for the
// microphones (a low-pass section saturating), two beside them for the cross
// path (two saturating sections), the first two of each side by side.
struct ToneChain {
    std::array<zel::MultiFilter, 3> tone;
    std::array<zel::MultiFilter, 2> cross;

    ToneChain() {
        using namespace zel::enginefilters;
        auto fill = [](zel::BiquadFilter* f, const auto& table, const auto& saturated) {
            for (size_t i = 0; i < table.size(); ++i) {
                f[i] =
                    zel::BiquadFilter(kRate, table[i].type, table[i].hz, table[i].q, table[i].db);
                f[i].setBias(kSaturationBias);
                f[i].setEnabled(table[i].enabled);
            }
            for (int i : saturated) f[i].setSaturation(0.5);
        };
        zel::BiquadFilter t[kHornTone.size()], c[kHornCrossTone.size()];
        fill(t, kHornTone, kHornToneSaturated);
        fill(c, kHornCrossTone, kHornCrossToneSaturated);
        for (int k = 0; k < 3; ++k) tone[k].copyFrom(&t[k * 4]);
        for (int k = 0; k < 2; ++k) cross[k].copyFrom(&c[k * 4]);
    }
};

void BM_HornToneChain(benchmark::State& state) {
    const std::vector<double> in = noiseBlock();
    ToneChain f;
    for (auto _ : state) {
        double acc = 0.0;
        for (double x : in) {
            double main = x, cross = x;
            zel::MultiFilter::processChainPair(f.tone.data(), main, f.cross.data(), cross, 2);
            acc += f.tone[2].process(main) + cross;
        }
        benchmark::DoNotOptimize(acc);
    }
    state.SetItemsProcessed(state.iterations() * kBlock);
}
BENCHMARK(BM_HornToneChain);

void BM_HornToneChainBlocks(benchmark::State& state) {
    const int block = static_cast<int>(state.range(0));
    const std::vector<double> in = noiseBlock();
    std::vector<double> main(kBlock), cross(kBlock);
    ToneChain f;
    for (auto _ : state) {
        main = in;
        cross = in;
        for (int n = 0; n < kBlock; n += block) {
            zel::MultiFilter::processChainPairBlock(f.tone.data(), &main[n], f.cross.data(),
                                                    &cross[n], 2, block);
            zel::MultiFilter::processChainBlock(&f.tone[2], 1, &main[n], block);
        }
        benchmark::DoNotOptimize(main.data());
        benchmark::DoNotOptimize(cross.data());
    }
    state.SetItemsProcessed(state.iterations() * kBlock);
}
BENCHMARK(BM_HornToneChainBlocks)->Arg(64);

// The three tone cascades beside the cross path's two in one call.
void BM_HornToneChainFusedBlocks(benchmark::State& state) {
    const int block = static_cast<int>(state.range(0));
    const std::vector<double> in = noiseBlock();
    std::vector<double> main(kBlock), cross(kBlock);
    ToneChain f;
    for (auto _ : state) {
        main = in;
        cross = in;
        for (int n = 0; n < kBlock; n += block)
            zel::MultiFilter::processChainPairBlock(f.tone.data(), &main[n], 3, f.cross.data(),
                                                    &cross[n], 2, block);
        benchmark::DoNotOptimize(main.data());
        benchmark::DoNotOptimize(cross.data());
    }
    state.SetItemsProcessed(state.iterations() * kBlock);
}
BENCHMARK(BM_HornToneChainFusedBlocks)->Arg(64);

void BM_AmpTone(benchmark::State& state) {
    const std::vector<double> in = noiseBlock();
    zel::AmpStage amp;
    amp.setRate(kRate);
    amp.setTone({3.0, -2.0, 1.0, 4.0, 0.7, 2.0});
    amp.clear();
    for (auto _ : state) {
        double acc = 0.0;
        for (double x : in) acc += amp.tone(x);
        benchmark::DoNotOptimize(acc);
    }
    state.SetItemsProcessed(state.iterations() * kBlock);
}
BENCHMARK(BM_AmpTone);

// Per host frame.
void BM_DecimatorLowCpu(benchmark::State& state) {
    const std::vector<double> in = noiseBlock();
    zel::Decimator d;
    d.setFactor(2);
    d.clear();
    for (auto _ : state) {
        double acc = 0.0;
        for (int n = 0; n < kBlock; ++n) {
            const double x = d.pushInput(in[n]);
            const double sim = (n & 1) ? 0.0 : x;
            const zel::Decimator::Pair p = d.interpolate(sim, -sim);
            acc += p.left + p.right;
        }
        benchmark::DoNotOptimize(acc);
    }
    state.SetItemsProcessed(state.iterations() * kBlock);
}
BENCHMARK(BM_DecimatorLowCpu);

// The same per host frame as the engine runs it: runs of 64 frames, the input
// side's pushes first, then the output side (the simulation's output on every
// other frame).
void BM_DecimatorLowCpuRuns(benchmark::State& state) {
    constexpr int kRun = 64;
    const std::vector<double> in = noiseBlock();
    zel::Decimator d;
    d.setFactor(2);
    d.clear();
    int8_t kind[kRun];
    for (int i = 0; i < kRun; ++i)
        kind[i] = (i & 1) ? zel::Decimator::kPushOnly : zel::Decimator::kPushAndFilter;
    int index[kRun];
    double filtered[kRun], left[kRun], right[kRun];
    for (auto _ : state) {
        double acc = 0.0;
        for (int n = 0; n < kBlock; n += kRun) {
            d.pushRun(in.data() + n, kind, index, filtered, kRun);
            for (int i = 0; i < kRun; ++i) {
                left[i] = (i & 1) ? 0.0 : filtered[i / 2];
                right[i] = -left[i];
            }
            d.interpolateRun(index, left, right, kRun);
            acc += left[0] + right[kRun - 1];
        }
        benchmark::DoNotOptimize(acc);
    }
    state.SetItemsProcessed(state.iterations() * kBlock);
}
BENCHMARK(BM_DecimatorLowCpuRuns);

} // namespace

BENCHMARK_MAIN();
