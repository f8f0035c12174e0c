// Cost of the cabinet's sound paths per internal-rate sample: a full horn unit
// (all thirteen rays and the floor/ceiling taps on), the horn cross unit, the drum
// units (sample by sample and in runs) and the room (sample by sample and in
// runs).
#include "engine/DrumUnit.h"
#include "engine/EarlyReflections.h"
#include "engine/HornUnit.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

namespace {

constexpr double kRate = 44100;
constexpr int kBlock = 1024;

std::vector<double> testSignal() {
    std::vector<double> x(kBlock);
    for (int i = 0; i < kBlock; ++i) x[i] = 0.5 * std::sin(0.05 * i) + 0.2 * std::sin(0.31 * i);
    return x;
}

void configure(zel::HornUnit& h) {
    h.setMicAngle(0.1);
    h.setMicDistance(1.0);
    h.setReflectionCoeff(0.5);
    for (int r = 0; r < zel::HornUnit::kRayLevelCount; ++r) h.setRayLevel(r, 1);
    h.setZAxisLevel(1);
    h.setStaticRayLevel(1);
    h.setStaticFilterCutoff(8000);
    h.setMechLevel(1);
    h.setTarget(6.8);
    h.rebuild();
    h.setUnitRate(kRate, 1);
}

void BM_HornUnitFull(benchmark::State& state) {
    zel::HornUnit h(zel::HornUnit::Kind::Microphone1);
    configure(h);
    const std::vector<double> x = testSignal();
    for (auto _ : state)
        for (double v : x) benchmark::DoNotOptimize(h.process(v));
    state.SetItemsProcessed(state.iterations() * kBlock);
}
BENCHMARK(BM_HornUnitFull);

void BM_HornUnitCross(benchmark::State& state) {
    zel::HornUnit h(zel::HornUnit::Kind::Cross);
    configure(h);
    const std::vector<double> x = testSignal();
    for (auto _ : state)
        for (double v : x) benchmark::DoNotOptimize(h.process(v));
    state.SetItemsProcessed(state.iterations() * kBlock);
}
BENCHMARK(BM_HornUnitCross);

// The two microphone units and their motor noise as the engine runs them: sample
// by sample, or in runs of 64 (its pieces).
constexpr int kEngineRun = 64;

void BM_HornMicrophonePairSamples(benchmark::State& state) {
    zel::HornUnit a(zel::HornUnit::Kind::Microphone1), b(zel::HornUnit::Kind::Microphone2);
    configure(a);
    configure(b);
    const std::vector<double> x = testSignal();
    for (auto _ : state) {
        for (double v : x) {
            double ya = 0, yb = 0;
            zel::HornUnit::processMicrophones(a, b, v, ya, yb);
            benchmark::DoNotOptimize(ya + yb + a.mechPlayer()->process() +
                                     b.mechPlayer()->process());
        }
    }
    state.SetItemsProcessed(state.iterations() * kBlock);
}
BENCHMARK(BM_HornMicrophonePairSamples);

void BM_HornMicrophonePairRuns(benchmark::State& state) {
    zel::HornUnit a(zel::HornUnit::Kind::Microphone1), b(zel::HornUnit::Kind::Microphone2);
    configure(a);
    configure(b);
    const std::vector<double> x = testSignal();
    std::vector<double> ya(kBlock), yb(kBlock), ma(kBlock), mb(kBlock);
    for (auto _ : state) {
        for (int i = 0; i < kBlock; i += kEngineRun)
            zel::HornUnit::processMicrophonesRun(a, b, &x[i], &ya[i], &yb[i], &ma[i], &mb[i],
                                                 kEngineRun);
        benchmark::DoNotOptimize(ya.data());
        benchmark::DoNotOptimize(mb.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kBlock);
}
BENCHMARK(BM_HornMicrophonePairRuns);

void BM_HornUnitCrossRuns(benchmark::State& state) {
    zel::HornUnit h(zel::HornUnit::Kind::Cross);
    configure(h);
    const std::vector<double> x = testSignal();
    std::vector<double> y(kBlock);
    for (auto _ : state) {
        for (int i = 0; i < kBlock; i += kEngineRun) h.processRun(&x[i], &y[i], kEngineRun);
        benchmark::DoNotOptimize(y.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kBlock);
}
BENCHMARK(BM_HornUnitCrossRuns);

void configure(zel::DrumUnit& d) {
    d.setMicAngle(0.05);
    d.setMicDistance(1.0);
    d.setReflectionCoeff(0.5);
    for (int r = 0; r < zel::DrumUnit::kRayLevelCount; ++r) d.setRayLevel(r, 1);
    d.setStaticRayLevel(1);
    d.setLowStaticGain(1);
    d.setFilterSaturation(0.08);
    d.setMechLevel(1);
    d.setSlowSampleLevel(1);
    d.setFastSampleLevel(1);
    d.setTarget(5.9);
    d.rebuild();
    d.setUnitRate(kRate, 1);
}

void BM_DrumUnitMain(benchmark::State& state) {
    zel::DrumUnit d(zel::DrumUnit::Kind::Main);
    configure(d);
    const std::vector<double> x = testSignal();
    for (auto _ : state)
        for (double v : x) benchmark::DoNotOptimize(d.process(v));
    state.SetItemsProcessed(state.iterations() * kBlock);
}
BENCHMARK(BM_DrumUnitMain);

// The drum units as the engine drives them, with their motor noise: sample by
// sample (the argument 1) or in runs of the engine's length (64).
void BM_DrumUnitMainWithNoise(benchmark::State& state) {
    zel::DrumUnit d(zel::DrumUnit::Kind::Main);
    configure(d);
    const std::vector<double> x = testSignal();
    std::vector<double> y(kBlock), low(kBlock), mech(kBlock);
    const int run = static_cast<int>(state.range(0));
    for (auto _ : state) {
        if (run == 1) {
            for (int i = 0; i < kBlock; ++i) {
                y[i] = d.process(x[i]);
                low[i] = d.lowStaticOutput();
                mech[i] = d.mechPlayer()->process();
            }
        } else {
            for (int i = 0; i < kBlock; i += run)
                d.processRun(x.data() + i, y.data() + i, low.data() + i, mech.data() + i, run);
        }
        benchmark::DoNotOptimize(y.data());
        benchmark::DoNotOptimize(mech.data());
    }
    state.SetItemsProcessed(state.iterations() * kBlock);
}
BENCHMARK(BM_DrumUnitMainWithNoise)->Arg(1)->Arg(64);

void BM_DrumUnitCross(benchmark::State& state) {
    zel::DrumUnit d(zel::DrumUnit::Kind::Cross);
    configure(d);
    const std::vector<double> x = testSignal();
    std::vector<double> y(kBlock);
    const int run = static_cast<int>(state.range(0));
    for (auto _ : state) {
        if (run == 1) {
            for (int i = 0; i < kBlock; ++i) y[i] = d.process(x[i]);
        } else {
            for (int i = 0; i < kBlock; i += run)
                d.processRun(x.data() + i, y.data() + i, nullptr, nullptr, run);
        }
        benchmark::DoNotOptimize(y.data());
    }
    state.SetItemsProcessed(state.iterations() * kBlock);
}
BENCHMARK(BM_DrumUnitCross)->Arg(1)->Arg(64);

// Both drum units as the engine drives them, in runs of its length: the main
// unit with its motor noise, then the cross unit on the same samples, taking
// the main unit's filtered input (the first argument 1) or filtering it itself
// (0); with the rays four to a register where the processor has it (the second
// argument 1) or the baseline ones (0).
void BM_DrumUnitPair(benchmark::State& state) {
    zel::DrumUnit main(zel::DrumUnit::Kind::Main), cross(zel::DrumUnit::Kind::Cross);
    for (zel::DrumUnit* d : {&main, &cross}) {
        configure(*d);
        d->setWideRays(state.range(1) != 0);
    }
    if (state.range(0) != 0) cross.reuseInputFrom(&main);
    const std::vector<double> x = testSignal();
    std::vector<double> y(kBlock), low(kBlock), mech(kBlock), yc(kBlock);
    for (auto _ : state) {
        for (int i = 0; i < kBlock; i += kEngineRun) {
            main.processRun(&x[i], &y[i], &low[i], &mech[i], kEngineRun);
            cross.processRun(&x[i], &yc[i], nullptr, nullptr, kEngineRun);
        }
        benchmark::DoNotOptimize(y.data());
        benchmark::DoNotOptimize(yc.data());
    }
    state.SetItemsProcessed(state.iterations() * kBlock);
}
BENCHMARK(BM_DrumUnitPair)->Args({0, 1})->Args({1, 1})->Args({0, 0})->Args({1, 0});

// A mid-sized room at the benchmarks' rate, cleared.
void setUpRoom(zel::EarlyReflections& room) {
    room.setRate(kRate);
    room.setRoomSize(2);
    room.setReturnLevel(0.1);
    room.reset();
}

void BM_EarlyReflections(benchmark::State& state) {
    zel::EarlyReflections room;
    setUpRoom(room);
    const std::vector<double> x = testSignal();
    for (auto _ : state)
        for (double v : x) benchmark::DoNotOptimize(room.process(v, -v));
    state.SetItemsProcessed(state.iterations() * kBlock);
}
BENCHMARK(BM_EarlyReflections);

// The room as the engine runs it: runs of 64 samples, each with its level.
void BM_EarlyReflectionsRun(benchmark::State& state) {
    constexpr int kRun = 64;
    zel::EarlyReflections room;
    setUpRoom(room);
    const std::vector<double> x = testSignal();
    std::vector<double> minus(kBlock), level(kRun, 0.1), left(kRun), right(kRun);
    for (int i = 0; i < kBlock; ++i) minus[i] = -x[i];
    for (auto _ : state) {
        for (int i = 0; i < kBlock; i += kRun) {
            room.processRun(x.data() + i, minus.data() + i, level.data(), left.data(), right.data(),
                            kRun);
            benchmark::DoNotOptimize(left.data());
            benchmark::DoNotOptimize(right.data());
        }
    }
    state.SetItemsProcessed(state.iterations() * kBlock);
}
BENCHMARK(BM_EarlyReflectionsRun);

} // namespace

BENCHMARK_MAIN();
