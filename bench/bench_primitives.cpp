// Cost per sample of the engine's building blocks, and the one-time cost of
// synthesizing the motor-noise tables.
#include "engine/BiquadFilter.h"
#include "engine/Interpolation.h"
#include "engine/MechNoisePlayer.h"
#include "engine/MultiFilter.h"
#include "engine/Rotor.h"
#include "engine/data/MotorNoiseTables.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <vector>

namespace {

constexpr int kBlock = 4096;

std::vector<double> noiseBlock() {
    std::vector<double> v(kBlock);
    uint32_t s = 12345u;
    for (double& x : v) {
        s = s * 1664525u + 1013904223u;
        x = static_cast<double>(s >> 8) / 16777216.0 - 0.5;
    }
    return v;
}

void BM_BiquadSettled(benchmark::State& state) {
    const std::vector<double> in = noiseBlock();
    zel::BiquadFilter f(44100.0, zel::kBiquadPeaking, 1000.0, 2.0, 6.0);
    f.setEnabled(true);
    for (auto _ : state) {
        double acc = 0.0;
        for (double x : in) acc += f.process(x);
        benchmark::DoNotOptimize(acc);
    }
    state.SetItemsProcessed(state.iterations() * kBlock);
}
BENCHMARK(BM_BiquadSettled);

// Always gliding: a new gain every 132 samples (one glide length at 44.1 kHz),
// so the cost includes one compute step per glide.
void BM_BiquadGliding(benchmark::State& state) {
    const std::vector<double> in = noiseBlock();
    zel::BiquadFilter f(44100.0, zel::kBiquadPeaking, 1000.0, 2.0, 6.0);
    f.setEnabled(true);
    f.setImmediate(false);
    bool up = false;
    for (auto _ : state) {
        double acc = 0.0;
        for (double x : in) {
            if (f.glideCount() == 0) {
                f.setGain(up ? 6.0 : -6.0);
                up = !up;
            }
            acc += f.process(x);
        }
        benchmark::DoNotOptimize(acc);
    }
    state.SetItemsProcessed(state.iterations() * kBlock);
}
BENCHMARK(BM_BiquadGliding);

void BM_BiquadSaturated(benchmark::State& state) {
    const std::vector<double> in = noiseBlock();
    zel::BiquadFilter f(44100.0, zel::kBiquadLowPass, 1170.0, 0.93, 0.0);
    f.setEnabled(true);
    f.setSaturation(0.5);
    for (auto _ : state) {
        double acc = 0.0;
        for (double x : in) acc += f.processSaturated(x);
        benchmark::DoNotOptimize(acc);
    }
    state.SetItemsProcessed(state.iterations() * kBlock);
}
BENCHMARK(BM_BiquadSaturated);

void BM_MultiFilter(benchmark::State& state) {
    const std::vector<double> in = noiseBlock();
    zel::BiquadFilter s[4] = {{44100.0, zel::kBiquadPeaking, 5500, 5, -18},
                              {44100.0, zel::kBiquadPeaking, 4550, 5, -17},
                              {44100.0, zel::kBiquadPeaking, 5000, 0.88, 12},
                              {44100.0, zel::kBiquadPeaking, 6500, 1.6, 10}};
    for (auto& f : s) f.setEnabled(true);
    s[2].setSaturation(0.3);
    zel::MultiFilter m;
    m.copyFrom(s);
    for (auto _ : state) {
        double acc = 0.0;
        for (double x : in) acc += m.process(x);
        benchmark::DoNotOptimize(acc);
    }
    state.SetItemsProcessed(state.iterations() * kBlock);
}
BENCHMARK(BM_MultiFilter);

void BM_ReadCubic(benchmark::State& state) {
    std::vector<double> ring(2 * 4096);
    const std::vector<double> in = noiseBlock();
    for (int i = 0; i < 4096; ++i) ring[i] = ring[i + 4096] = in[i];
    for (auto _ : state) {
        double acc = 0.0;
        double pos = -37.3;
        for (int i = 0; i < kBlock; ++i) {
            acc += zel::readCubic(ring.data(), 4096, pos);
            pos += 1.0007;
        }
        benchmark::DoNotOptimize(acc);
    }
    state.SetItemsProcessed(state.iterations() * kBlock);
}
BENCHMARK(BM_ReadCubic);

void BM_LookupCubic(benchmark::State& state) {
    std::vector<double> table(512);
    for (int i = 0; i < 512; ++i) table[i] = 1.0 / (1.0 + 0.01 * i);
    for (auto _ : state) {
        double acc = 0.0;
        double pos = 3.7;
        for (int i = 0; i < kBlock; ++i) {
            acc += zel::lookupCubic(table.data(), 511, pos);
            pos += 0.113;
        }
        benchmark::DoNotOptimize(acc);
    }
    state.SetItemsProcessed(state.iterations() * kBlock);
}
BENCHMARK(BM_LookupCubic);

void BM_RotorStep(benchmark::State& state) {
    zel::Rotor r(zel::RotorDirection::Horn);
    r.setSlowSpeed(0.8);
    r.setFastSpeed(6.7);
    r.setAccelTime(1.0);
    r.setDecelTime(1.0);
    r.setLever(1.0);
    r.setUnitRate(44100.0, 1);
    r.setLever(0.0);
    for (auto _ : state) {
        double acc = 0.0;
        for (int i = 0; i < kBlock; ++i) acc += r.step();
        benchmark::DoNotOptimize(acc);
    }
    state.SetItemsProcessed(state.iterations() * kBlock);
}
BENCHMARK(BM_RotorStep);

// A player at a constant speed in rev/s (argument), 44.1 kHz.
void playerBench(benchmark::State& state, zel::MechNoiseSource source) {
    const double rate = 44100.0;
    zel::MechNoisePlayer p(source, rate);
    p.setSlowLevel(1.0);
    p.setFastLevel(1.0);
    p.setDecelLevel(1.0);
    p.setMicDistance(0.5);
    const double speed = static_cast<double>(state.range(0)) / 10.0 / rate;
    double angle = 0.0;
    for (auto _ : state) {
        double acc = 0.0;
        for (int i = 0; i < kBlock; ++i) {
            angle += speed;
            if (angle >= 1.0) angle -= 1.0;
            p.handOver(0.8, angle, 0.1, speed);
            acc += p.process();
        }
        benchmark::DoNotOptimize(acc);
    }
    state.SetItemsProcessed(state.iterations() * kBlock);
}
void BM_HornPlayer(benchmark::State& state) {
    playerBench(state, zel::MechNoiseSource::HornUnit0);
}
void BM_DrumPlayer(benchmark::State& state) {
    playerBench(state, zel::MechNoiseSource::Drum);
}
// 0.5 rev/s: loop only; 4 rev/s: between; 8 rev/s: recording only.
BENCHMARK(BM_HornPlayer)->Arg(5)->Arg(40)->Arg(80);
BENCHMARK(BM_DrumPlayer)->Arg(5)->Arg(40)->Arg(80);

// The drum player while the rotor speeds up between the limits (1 to 7 rev/s
// over a second, then again): the speed moves every sample, so the drum re-tunes
// its two sections every sample.
void BM_DrumPlayerAccelerating(benchmark::State& state) {
    const double rate = 44100.0;
    zel::MechNoisePlayer p(zel::MechNoiseSource::Drum, rate);
    p.setSlowLevel(1.0);
    p.setFastLevel(1.0);
    p.setMicDistance(0.5);
    double angle = 0.0;
    int n = 0;
    for (auto _ : state) {
        double acc = 0.0;
        for (int i = 0; i < kBlock; ++i, n = (n + 1) % 44100) {
            const double speed = (1.0 + 6.0 * n / 44100.0) / rate;
            angle += speed;
            if (angle >= 1.0) angle -= 1.0;
            p.handOver(0.8, angle, 0.1, speed);
            acc += p.process();
        }
        benchmark::DoNotOptimize(acc);
    }
    state.SetItemsProcessed(state.iterations() * kBlock);
}
BENCHMARK(BM_DrumPlayerAccelerating);

void BM_BuildMotorNoiseTables(benchmark::State& state) {
    for (auto _ : state) {
        zel::MotorNoiseTables t = zel::buildMotorNoiseTables();
        benchmark::DoNotOptimize(t.drumRotor.samples.data());
    }
}
BENCHMARK(BM_BuildMotorNoiseTables)->Unit(benchmark::kMillisecond)->Iterations(10);

} // namespace

BENCHMARK_MAIN();
