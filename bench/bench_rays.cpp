// Cost of the rays' per-sample work, per internal-rate sample: a horn unit's
// twelve rays through the ray batch on each of its paths (two rays to a
// register, four with AVX2), and the directivity sections they feed.
#include "engine/CpuFeatures.h"
#include "engine/GlidingSections.h"
#include "engine/RayBatch.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <limits>
#include <memory>

namespace {

constexpr int kRays = 12;
constexpr int kBlock = 1024;
constexpr double kRate = 44100;

// Twelve rays of a horn a metre from its microphone, the history filled with a
// tone and a mouth turning at about the fast speed.
struct RayScene {
    zel::AttenuationTable table;
    std::unique_ptr<zel::SourceHistory> history = std::make_unique<zel::SourceHistory>();
    std::unique_ptr<zel::RayBatch<kRays>> batch = std::make_unique<zel::RayBatch<kRays>>();
    double angle = 0;

    RayScene() {
        const double samplesPerMetre = kRate * zel::cabinet::kSecondsPerMetre;
        for (int i = 0; i < kRays; ++i) {
            zel::RayTrack ray;
            ray.place({0.6 + 0.17 * i, 0.083 * i - 0.5, 0.02 + 0.015 * i, i % 3 ? 1.0 : -1.0, 1.0},
                      table);
            ray.setRate(samplesPerMetre, 0.0);
            batch->load(i, ray);
        }
        for (int n = 0; n < zel::SourceHistory::kLength; ++n) step(n);
    }
    void step(int n) {
        angle += 6.8 / kRate;
        if (angle >= 1.0) angle -= 1.0;
        history->write(std::sin(0.05 * n), angle);
        history->advance();
    }
    zel::RayBatch<kRays>::Inputs inputs() const {
        return {*history,
                table,
                0.18 * kRate * zel::cabinet::kSecondsPerMetre,
                0.18,
                1.0 / zel::cabinet::kAttenuationStep,
                -std::numeric_limits<double>::infinity()};
    }
};

template <bool Wide> void rayBatchBench(benchmark::State& state) {
    if (Wide && !zel::cpuHasAvx2()) {
        state.SkipWithError("no AVX2");
        return;
    }
    RayScene scene;
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

} // namespace

BENCHMARK_MAIN();
