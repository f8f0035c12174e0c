// Cost of the engine's filter paths per sample: the horn microphones' static EQ
// (seven cascades per microphone, the two microphones side by side), a single
// saturating cascade, the amplifier's four tone sections and the rate reduction
// around the simulation ("LowCPU" at 44.1 kHz: one input dot and two output dots
// per host frame, the simulation's pair on every second frame).
#include "engine/AmpStage.h"
#include "engine/Decimator.h"
#include "engine/MultiFilter.h"
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

} // namespace

BENCHMARK_MAIN();
