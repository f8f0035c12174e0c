// Cost of the rays' per-sample work, per internal-rate sample: a horn unit's
// twelve rays through the ray batch on each of its paths (two rays to a
// register, wide with AVX2), sample by sample and in runs of the engine's
// length (a microphone unit's twelve rays and a cross unit's four), and the
// directivity sections they feed.
#include "engine/CpuFeatures.h"
#include "engine/GlidingSections.h"
#include "engine/RayBatch.h"

#include <benchmark/benchmark.h>

#include <array>
#include <cmath>
#include <limits>
#include <memory>
#include <vector>

namespace {

constexpr int kRays = 12;
constexpr int kBlock = 1024;
constexpr int kEngineRun = 64;
constexpr double kRate = 44100;

// Rays of a horn a metre from its microphone, the history filled with a tone
// and a mouth turning at about the fast speed. A cross unit's rays (mouthOffset
// 2) are measured from the microphone.
template <int N> struct RayScene {
    zel::AttenuationTable table;
    std::unique_ptr<zel::SourceHistory> history = std::make_unique<zel::SourceHistory>();
    std::unique_ptr<zel::RayBatch<N>> batch = std::make_unique<zel::RayBatch<N>>();
    std::vector<double> tone = std::vector<double>(zel::SourceHistory::kLength);
    double angle = 0;
    double mouthOffset;

    explicit RayScene(double offset = 0.0) : mouthOffset(offset) {
        // The tone is made once: the benchmark times the rays, not the sine.
        for (int n = 0; n < zel::SourceHistory::kLength; ++n) tone[n] = std::sin(0.05 * n);
        const double samplesPerMetre = kRate * zel::cabinet::kSecondsPerMetre;
        for (int i = 0; i < N; ++i) {
            zel::RayTrack ray;
            ray.place({0.6 + 0.17 * i, 0.083 * i - 0.5, 0.02 + 0.015 * i, i % 3 ? 1.0 : -1.0, 1.0},
                      table);
            ray.setRate(samplesPerMetre, offset > 0 ? 0.5 : 0.0);
            batch->load(i, ray);
        }
        for (int n = 0; n < zel::SourceHistory::kLength; ++n) step(n);
    }
    void step(int n) {
        angle += 6.8 / kRate;
        if (angle >= 1.0) angle -= 1.0;
        history->write(tone[n & zel::SourceHistory::kMask], angle);
        history->advance();
    }
    double fmSamples() const { return 0.18 * kRate * zel::cabinet::kSecondsPerMetre; }
    typename zel::RayBatch<N>::Inputs inputs() const {
        return {*history,
                table,
                fmSamples(),
                0.18,
                1.0 / zel::cabinet::kAttenuationStep,
                -std::numeric_limits<double>::infinity(),
                mouthOffset};
    }
};

template <bool Wide> void rayBatchBench(benchmark::State& state) {
    if (Wide && !zel::cpuHasAvx2()) {
        state.SkipWithError("no AVX2");
        return;
    }
    RayScene<kRays> scene;
    int n = 0;
    for (auto _ : state) {
        for (int i = 0; i < kBlock; ++i) {
            scene.step(n++);
            if constexpr (Wide)
                scene.batch->runWide(scene.inputs());
            else
                scene.batch->runNarrow(scene.inputs());
            benchmark::DoNotOptimize(scene.batch->input(kRays - 1));
        }
    }
    state.SetItemsProcessed(state.iterations() * kBlock);
}
void BM_RayBatchNarrow(benchmark::State& state) {
    rayBatchBench<false>(state);
}
void BM_RayBatchWide(benchmark::State& state) {
    rayBatchBench<true>(state);
}
BENCHMARK(BM_RayBatchNarrow);
BENCHMARK(BM_RayBatchWide);

// Runs of the engine's length as the horn units take them: the run's samples
// written to the history first, then all their rays at once.
template <int N, bool Wide> void rayBatchSeriesBench(benchmark::State& state, double mouthOffset) {
    if (Wide && !zel::cpuHasAvx2()) {
        state.SkipWithError("no AVX2");
        return;
    }
    RayScene<N> scene(mouthOffset);
    using Results = typename zel::RayBatch<N>::Results;
    auto out = std::make_unique<std::array<Results, kEngineRun>>();
    std::array<double, kEngineRun> fm;
    fm.fill(scene.fmSamples());
    int n = 0;
    for (auto _ : state) {
        for (int i = 0; i < kBlock; i += kEngineRun) {
            const int first = scene.history->writeIndex();
            for (int j = 0; j < kEngineRun; ++j) scene.step(n++);
            if constexpr (Wide)
                scene.batch->runSeriesWide(scene.inputs(), first, fm.data(), kEngineRun,
                                           out->data());
            else
                scene.batch->runSeriesNarrow(scene.inputs(), first, fm.data(), kEngineRun,
                                             out->data());
            benchmark::DoNotOptimize(out->data());
            benchmark::ClobberMemory();
        }
    }
    state.SetItemsProcessed(state.iterations() * kBlock);
}
void BM_RayBatchSeriesNarrow(benchmark::State& state) {
    rayBatchSeriesBench<kRays, false>(state, 0.0);
}
void BM_RayBatchSeriesWide(benchmark::State& state) {
    rayBatchSeriesBench<kRays, true>(state, 0.0);
}
void BM_CrossRayBatchSeriesNarrow(benchmark::State& state) {
    rayBatchSeriesBench<4, false>(state, 2.0);
}
void BM_CrossRayBatchSeriesWide(benchmark::State& state) {
    rayBatchSeriesBench<4, true>(state, 2.0);
}
BENCHMARK(BM_RayBatchSeriesNarrow);
BENCHMARK(BM_RayBatchSeriesWide);
BENCHMARK(BM_CrossRayBatchSeriesNarrow);
BENCHMARK(BM_CrossRayBatchSeriesWide);

} // namespace

BENCHMARK_MAIN();
