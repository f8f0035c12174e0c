// Cost per sample of the engine's building blocks, and the one-time cost of
// synthesizing the motor-noise tables.
#include "engine/BiquadFilter.h"
#include "engine/CpuFeatures.h"
#include "engine/GlidingSections.h"
#include "engine/Interpolation.h"
#include "engine/MechNoisePlayer.h"
#include "engine/MultiFilter.h"
#include "engine/Rotor.h"
#include "engine/data/MotorNoiseTables.h"

#include <benchmark/benchmark.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <memory>
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

// One block of a player: each sample's hand-over at the speed nextSpeed() gives
// (rev per sample) and the angle it turns, then the output sample by sample
// (process after each hand-over) or in the engine's runs of 64 (hand-overs,
// then processRun). Returns the block's sum.
template <typename NextSpeed>
double playBlock(zel::MechNoisePlayer& p, bool runs, double& angle, NextSpeed nextSpeed) {
    constexpr int kRun = zel::MechNoisePlayer::kMaxRun;
    static_assert(kBlock % kRun == 0);
    double out[kRun];
    double acc = 0.0;
    for (int i = 0; i < kBlock; i += kRun) {
        for (int j = 0; j < kRun; ++j) {
            const double speed = nextSpeed();
            angle += speed;
            if (angle >= 1.0) angle -= 1.0;
            p.handOver(0.8, angle, 0.1, speed);
            if (!runs) out[j] = p.process();
        }
        if (runs) p.processRun(out, kRun);
        for (int j = 0; j < kRun; ++j) acc += out[j];
    }
    return acc;
}

// A player at a constant speed in rev/s (argument), 44.1 kHz.
template <bool Runs> void playerBench(benchmark::State& state, zel::MechNoiseSource source) {
    const double rate = 44100.0;
    zel::MechNoisePlayer p(source, rate);
    p.setSlowLevel(1.0);
    p.setFastLevel(1.0);
    p.setDecelLevel(1.0);
    p.setMicDistance(0.5);
    const double speed = static_cast<double>(state.range(0)) / 10.0 / rate;
    double angle = 0.0;
    for (auto _ : state)
        benchmark::DoNotOptimize(playBlock(p, Runs, angle, [speed] { return speed; }));
    state.SetItemsProcessed(state.iterations() * kBlock);
}
void BM_HornPlayer(benchmark::State& state) {
    playerBench<false>(state, zel::MechNoiseSource::HornUnit0);
}
void BM_DrumPlayer(benchmark::State& state) {
    playerBench<false>(state, zel::MechNoiseSource::Drum);
}
void BM_HornPlayerRuns(benchmark::State& state) {
    playerBench<true>(state, zel::MechNoiseSource::HornUnit0);
}
void BM_DrumPlayerRuns(benchmark::State& state) {
    playerBench<true>(state, zel::MechNoiseSource::Drum);
}
// 0.5 rev/s: loop only; 4 rev/s: between; 8 rev/s: recording only.
BENCHMARK(BM_HornPlayer)->Arg(5)->Arg(40)->Arg(80);
BENCHMARK(BM_DrumPlayer)->Arg(5)->Arg(40)->Arg(80);
BENCHMARK(BM_HornPlayerRuns)->Arg(5)->Arg(40)->Arg(80);
BENCHMARK(BM_DrumPlayerRuns)->Arg(5)->Arg(40)->Arg(80);

// The two horn players as the horn unit plays them, in runs of 64 with their
// band-passes side by side; items are samples of both.
void BM_HornPlayerPairRuns(benchmark::State& state) {
    const double rate = 44100.0;
    zel::MechNoisePlayer a(zel::MechNoiseSource::HornUnit0, rate);
    zel::MechNoisePlayer b(zel::MechNoiseSource::HornUnit1, rate);
    for (zel::MechNoisePlayer* p : {&a, &b}) {
        p->setSlowLevel(1.0);
        p->setFastLevel(1.0);
        p->setMicDistance(0.5);
    }
    const double speed = static_cast<double>(state.range(0)) / 10.0 / rate;
    double angle = 0.0;
    constexpr int kRun = zel::MechNoisePlayer::kMaxRun;
    double outA[kRun], outB[kRun];
    for (auto _ : state) {
        double acc = 0.0;
        for (int i = 0; i < kBlock; i += kRun) {
            for (int j = 0; j < kRun; ++j) {
                angle += speed;
                if (angle >= 1.0) angle -= 1.0;
                a.handOver(0.8, angle, 0.1, speed);
                b.handOver(0.8, angle, 0.1, speed);
            }
            zel::MechNoisePlayer::processRunPair(a, outA, b, outB, kRun);
            for (int j = 0; j < kRun; ++j) acc += outA[j] + outB[j];
        }
        benchmark::DoNotOptimize(acc);
    }
    state.SetItemsProcessed(state.iterations() * kBlock);
}
BENCHMARK(BM_HornPlayerPairRuns)->Arg(5)->Arg(40)->Arg(80);

// The drum player while the rotor speeds up between the limits (1 to 7 rev/s
// over a second, then again): the speed moves every sample, so the drum re-tunes
// its two sections every sample. Argument 1: in the engine's runs of 64.
void BM_DrumPlayerAccelerating(benchmark::State& state) {
    const double rate = 44100.0;
    const bool runs = state.range(0) != 0;
    zel::MechNoisePlayer p(zel::MechNoiseSource::Drum, rate);
    p.setSlowLevel(1.0);
    p.setFastLevel(1.0);
    p.setMicDistance(0.5);
    double angle = 0.0;
    int n = 0;
    const auto accelerating = [&n, rate] {
        const double speed = (1.0 + 6.0 * n / 44100.0) / rate;
        n = (n + 1) % 44100;
        return speed;
    };
    for (auto _ : state) benchmark::DoNotOptimize(playBlock(p, runs, angle, accelerating));
    state.SetItemsProcessed(state.iterations() * kBlock);
}
BENCHMARK(BM_DrumPlayerAccelerating)->Arg(0)->Arg(1);

// A horn's twelve rays through their two directivity sections in series, as a
// turning mouth drives them: new targets every 16 samples (their glided values
// computed ahead), so the sections glide all the time. Arg 0: no new targets
// after the first, the sections settled.
template <zel::GlidingSections<12>::Path P> void glidingSectionsBench(benchmark::State& state) {
    using Sections = zel::GlidingSections<12>;
    if (P == Sections::Path::Wide && !zel::cpuHasAvx2()) {
        state.SkipWithError("no AVX2");
        return;
    }
    constexpr int kLanes = Sections::kLanes;
    constexpr int kTargetSets = 64;
    constexpr int kUpdateEvery = 16;
    const bool turning = state.range(0) != 0;
    struct Set {
        Sections::Targets a, b;
        Sections::Glides ga, gb;
    };
    std::vector<Set> sets(kTargetSets);
    zel::BiquadFilter a(44100.0, zel::kBiquadPeaking, 3000.0, 1.0, 6.0);
    zel::BiquadFilter b(44100.0, zel::kBiquadHighShelf, 5000.0, 0.7, -6.0);
    for (int s = 0; s < kTargetSets; ++s) {
        for (int lane = 0; lane < kLanes; ++lane) {
            const double turn = (s + lane * 5.3) / kTargetSets;
            a.setAll(2000.0 + 1500.0 * turn, 1.0, 6.0 - 12.0 * turn);
            b.setAll(5000.0, 0.7, -9.0 * turn);
            const zel::BiquadCoefficients ca = a.target(), cb = b.target();
            sets[s].a.b0[lane] = ca.b0, sets[s].a.b1[lane] = ca.b1, sets[s].a.b2[lane] = ca.b2;
            sets[s].a.a1[lane] = ca.a1, sets[s].a.a2[lane] = ca.a2;
            sets[s].b.b0[lane] = cb.b0, sets[s].b.b1[lane] = cb.b1, sets[s].b.b2[lane] = cb.b2;
            sets[s].b.a1[lane] = cb.a1, sets[s].b.a2[lane] = cb.a2;
        }
        Sections::glidesOf(sets[s].a, sets[s].ga);
        Sections::glidesOf(sets[s].b, sets[s].gb);
    }
    auto sa = std::make_unique<Sections>();
    auto sb = std::make_unique<Sections>();
    for (int lane = 0; lane < kLanes; ++lane) {
        sa->reset(lane, a.target(), 132);
        sb->reset(lane, b.target(), 132);
    }
    bool use[kLanes];
    for (bool& u : use) u = true;
    const std::vector<double> in = noiseBlock();
    alignas(32) double x[kLanes], mid[kLanes], y[kLanes];
    int n = 0;
    for (auto _ : state) {
        for (int i = 0; i < kBlock; ++i, ++n) {
            if (n % kUpdateEvery == 0 && (turning || n == 0)) {
                const Set& s = sets[(n / kUpdateEvery) % kTargetSets];
                sa->setTargets(s.a, s.ga, use, P);
                sb->setTargets(s.b, s.gb, use, P);
            }
            for (int lane = 0; lane < kLanes; ++lane) x[lane] = in[(i + 7 * lane) % kBlock];
            sa->process(x, mid, P);
            sb->process(mid, y, P);
            benchmark::DoNotOptimize(y[kLanes - 1]);
        }
    }
    state.SetItemsProcessed(state.iterations() * kBlock);
}
void BM_GlidingSectionsNarrow(benchmark::State& state) {
    glidingSectionsBench<zel::GlidingSections<12>::Path::Narrow>(state);
}
void BM_GlidingSectionsWide(benchmark::State& state) {
    glidingSectionsBench<zel::GlidingSections<12>::Path::Wide>(state);
}
BENCHMARK(BM_GlidingSectionsNarrow)->Arg(1)->Arg(0);
BENCHMARK(BM_GlidingSectionsWide)->Arg(1)->Arg(0);

// A drum's eight directivity sections as a turning mouth drives them: new
// targets every 16 samples, so they glide all the time; sample by sample
// (process, Arg 0) or the 16 samples between targets in one span (processSpan,
// Arg 1), on the fastest path.
void BM_DrumSections(benchmark::State& state) {
    using Sections = zel::GlidingSections<8>;
    constexpr int kLanes = Sections::kLanes;
    constexpr int kUpdateEvery = 16;
    constexpr int kTargetSets = 64;
    const bool spans = state.range(0) != 0;
    std::vector<std::array<zel::BiquadCoefficients, kLanes>> sets(kTargetSets);
    zel::BiquadFilter f(44100.0, zel::kBiquadLowPass, 3000.0, 0.8, 0.0);
    for (int s = 0; s < kTargetSets; ++s) {
        for (int lane = 0; lane < kLanes; ++lane) {
            f.setAll(1500.0 + 2500.0 * ((s + lane * 5.3) / kTargetSets), 0.8, 0.0);
            sets[s][lane] = f.target();
        }
    }
    auto sections = std::make_unique<Sections>();
    for (int lane = 0; lane < kLanes; ++lane) sections->reset(lane, f.target(), 132);
    bool use[kLanes];
    for (bool& u : use) u = true;
    const std::vector<double> in = noiseBlock();
    std::vector<double> x(kBlock * kLanes), y(kBlock * kLanes);
    for (int i = 0; i < kBlock; ++i)
        for (int lane = 0; lane < kLanes; ++lane)
            x[i * kLanes + lane] = in[(i + 7 * lane) % kBlock];
    static_assert(kBlock % kUpdateEvery == 0);
    int n = 0;
    for (auto _ : state) {
        for (int i = 0; i < kBlock; i += kUpdateEvery, n += kUpdateEvery) {
            sections->setTargets(sets[(n / kUpdateEvery) % kTargetSets].data(), use);
            if (spans) {
                sections->processSpan(&x[i * kLanes], &y[i * kLanes], kUpdateEvery);
            } else {
                for (int j = i; j < i + kUpdateEvery; ++j)
                    sections->process(&x[j * kLanes], &y[j * kLanes]);
            }
        }
        benchmark::DoNotOptimize(y.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kBlock);
}
BENCHMARK(BM_DrumSections)->Arg(0)->Arg(1);

void BM_BuildMotorNoiseTables(benchmark::State& state) {
    for (auto _ : state) {
        zel::MotorNoiseTables t = zel::buildMotorNoiseTables();
        benchmark::DoNotOptimize(t.drumRotor.samples.data());
    }
}
BENCHMARK(BM_BuildMotorNoiseTables)->Unit(benchmark::kMillisecond)->Iterations(10);

} // namespace

BENCHMARK_MAIN();
