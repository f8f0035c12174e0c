// Throughput of the whole plug-in through its real process entry: seconds of
// audio processed per CPU second at 44.1, 48 and 96 kHz in "LowCPU" and
// "Brilliant", 512-frame blocks of 32-bit floats, and the distribution of the
// per-block CPU time (median, 99.9th percentile, maximum), with structural
// rebuilds requested every two seconds (a new "HDistance" rebuilds the horn
// units, the cross units and the cross paths behind the fade) and the lever
// thrown between "Chorale" and "Tremolo". The blocks before the first rate reset
// has been carried out and faded back are not counted: until then the engine
// still runs at the rate it was built for, not at the case's rate.
//
// Each case runs several times on a fresh instance. The engine does the same
// work in the same block every time (its rebuilds run on the audio thread,
// behind the fade), so a block's least time over the passes is its own cost,
// and a block that is slow in one pass only was held up by the machine (an
// interrupt, another process, the hypervisor). The distribution is taken over
// those least times; "any max" is the slowest block seen in any pass.
//
//   build/bench/bench_engine_throughput [seconds-per-case] [passes]
#include "plugin/RotaryEffect.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <vector>

namespace {

constexpr int kBlock = 512;
constexpr int32_t kCpuMode = 1;
constexpr int32_t kLever = 2;
constexpr int32_t kHornDistance = 21;
constexpr int kMaxPasses = 20;

double threadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

// A drawbar-organ-like chord: a few partials of three notes with a slow swell.
void organ(std::vector<float>& left, std::vector<float>& right, long start, double fs) {
    const double notes[] = {220.0, 277.18, 329.63};
    const double partials[] = {1, 2, 3, 4, 6, 8};
    for (int i = 0; i < kBlock; ++i) {
        const double t = static_cast<double>(start + i) / fs;
        double v = 0.0;
        for (double f : notes)
            for (double p : partials) v += std::sin(6.283185307179586 * f * p * t) / (p * 8.0);
        v *= 0.6 + 0.4 * std::sin(0.5 * t);
        left[i] = static_cast<float>(v);
        right[i] = static_cast<float>(0.9 * v);
    }
}

struct Result {
    double realtime;
    double median, p999, max, maxRebuild, anyMax; // microseconds
    int rebuildBlocks;
};

// One pass: every counted block's CPU seconds, whether it ran a rebuild, and
// the pass's total.
struct Pass {
    std::vector<double> times;
    std::vector<bool> rebuilt;
    double total = 0.0;
};

Pass runPass(double fs, int cpuMode, double seconds) {
    auto fx = std::make_unique<zel::RotaryEffect>(nullptr);
    fx->setSampleRate(static_cast<float>(fs));
    fx->setParameter(kCpuMode, static_cast<float>(cpuMode));
    fx->suspend();
    fx->resume();

    std::vector<float> inL(kBlock), inR(kBlock), outL(kBlock), outR(kBlock);
    float* inputs[2] = {inL.data(), inR.data()};
    float* outputs[2] = {outL.data(), outR.data()};
    // Warm-up: the rate reset and full reset the host's suspend and resume ask
    // for, behind the fade, until the fade is back.
    const long warmUp = [&] {
        constexpr long kMaxWarmUpBlocks = 1000;
        const uint64_t tasksBefore = fx->getEngine().tasksRun();
        long b = 0;
        while (b < kMaxWarmUpBlocks &&
               (fx->getEngine().tasksRun() == tasksBefore || fx->getEngine().fadeState() != 0)) {
            organ(inL, inR, b * kBlock, fs);
            fx->processReplacing(inputs, outputs, kBlock);
            ++b;
        }
        return b;
    }();
    const long blocks = static_cast<long>(seconds * fs / kBlock);
    const long blocksPerTwoSeconds = static_cast<long>(2.0 * fs / kBlock);
    Pass pass;
    pass.times.reserve(static_cast<size_t>(blocks));
    pass.rebuilt.reserve(static_cast<size_t>(blocks));
    for (long b = 0; b < blocks; ++b) {
        if (b % blocksPerTwoSeconds == blocksPerTwoSeconds / 2) {
            const long n = b / blocksPerTwoSeconds;
            fx->setParameter(kHornDistance, n % 2 ? 0.5f : 0.6f);
            fx->setParameter(kLever, (n / 2) % 2 ? 0.0f : 1.0f);
        }
        organ(inL, inR, (warmUp + b) * kBlock, fs);
        const uint64_t tasks = fx->getEngine().tasksRun();
        const double t0 = threadSeconds();
        fx->processReplacing(inputs, outputs, kBlock);
        const double dt = threadSeconds() - t0;
        pass.total += dt;
        pass.times.push_back(dt);
        pass.rebuilt.push_back(fx->getEngine().tasksRun() != tasks);
    }
    return pass;
}

Result run(double fs, int cpuMode, double seconds, int passes) {
    Pass least = runPass(fs, cpuMode, seconds);
    double bestTotal = least.total;
    double anyMax = *std::max_element(least.times.begin(), least.times.end());
    for (int p = 1; p < passes; ++p) {
        const Pass next = runPass(fs, cpuMode, seconds);
        const size_t n = std::min(least.times.size(), next.times.size());
        for (size_t b = 0; b < n; ++b) {
            least.times[b] = std::min(least.times[b], next.times[b]);
            least.rebuilt[b] = least.rebuilt[b] || next.rebuilt[b];
        }
        bestTotal = std::min(bestTotal, next.total);
        anyMax = std::max(anyMax, *std::max_element(next.times.begin(), next.times.end()));
    }
    const std::vector<double>& times = least.times;
    std::vector<double> rebuildTimes;
    for (size_t b = 0; b < times.size(); ++b)
        if (least.rebuilt[b]) rebuildTimes.push_back(times[b]);
    std::vector<double> sorted = times;
    std::sort(sorted.begin(), sorted.end());
    auto at = [&sorted](double q) {
        const size_t i = std::min(sorted.size() - 1, static_cast<size_t>(q * sorted.size()));
        return 1e6 * sorted[i];
    };
    Result r{};
    r.realtime = static_cast<double>(times.size()) * kBlock / fs / bestTotal;
    r.median = at(0.5);
    r.p999 = at(0.999);
    r.max = 1e6 * sorted.back();
    r.maxRebuild = rebuildTimes.empty()
                       ? 0.0
                       : 1e6 * *std::max_element(rebuildTimes.begin(), rebuildTimes.end());
    r.rebuildBlocks = static_cast<int>(rebuildTimes.size());
    r.anyMax = 1e6 * anyMax;
    return r;
}

} // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 30.0;
    const int passes = argc > 2 ? std::atoi(argv[2]) : 3;
    if (!(seconds > 0.0) || passes < 1 || passes > kMaxPasses) {
        std::fprintf(stderr, "usage: bench_engine_throughput [seconds-per-case] [passes 1-%d]\n",
                     kMaxPasses);
        return 2;
    }
    std::printf("Zel Vortan through processReplacing, %d-frame blocks, %.0f s of audio per case, "
                "each block's least time over %d passes\n",
                kBlock, seconds, passes);
    std::printf("%8s %-9s %10s %9s %10s %9s %13s %9s %9s %10s\n", "rate", "mode", "x realtime",
                "median us", "p99.9 us", "max us", "rebuild max", "rebuilds", "any max",
                "block us");
    for (double fs : {44100.0, 48000.0, 96000.0}) {
        for (int mode : {0, 1}) {
            const Result r = run(fs, mode, seconds, passes);
            std::printf("%8.0f %-9s %10.1f %9.1f %10.1f %9.1f %13.1f %9d %9.1f %10.1f\n", fs,
                        mode ? "Brilliant" : "LowCPU", r.realtime, r.median, r.p999, r.max,
                        r.maxRebuild, r.rebuildBlocks, r.anyMax, 1e6 * kBlock / fs);
        }
    }
    return 0;
}
