#include "engine/data/MotorNoiseTables.h"

#include "engine/CpuFeatures.h"
#include "engine/data/MotorNoiseRecipe.h"
#include "engine/data/SineTrack.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <immintrin.h>
#include <memory>

// The tables must come out bit-identical on every build: no fused multiply-add,
// whatever the target's instruction set.
#if defined(__clang__)
#pragma clang fp contract(off)
#elif defined(__GNUC__)
#pragma GCC optimize("fp-contract=off")
#endif

namespace zel {

namespace {

using namespace motor_noise;

constexpr double kPiValue = 3.14159265358979323846;
constexpr double kFs = kMotorNoiseTableRate;

// xorshift64*: a small seeded generator; uniform values in [-1, 1).
class NoiseSource {
public:
    explicit NoiseSource(uint64_t seed) : state(seed != 0 ? seed : 0x853C49E6748FEA9Bull) {}
    double next() {
        state ^= state >> 12;
        state ^= state << 25;
        state ^= state >> 27;
        const uint64_t r = state * 2685821657736338717ull;
        return static_cast<double>(r >> 11) * (2.0 / 9007199254740992.0) - 1.0;
    }

private:
    uint64_t state;
};

double seriesExp(double x) { // exp(x) for moderate |x|: halve, sum the series, square back
    int halvings = 0;
    while (x > 0.5 || x < -0.5) {
        x *= 0.5;
        ++halvings;
    }
    double term = 1.0;
    double sum = 1.0;
    for (int n = 1; n <= 18; ++n) {
        term *= x / n;
        sum += term;
    }
    for (int i = 0; i < halvings; ++i) sum *= sum;
    return sum;
}

// Band-pass section (0 dB peak) for shaping noise.
class BandSection {
public:
    BandSection(const SineTable& sine, double hz, double q) {
        const double w = 2.0 * kPiValue * hz / kFs;
        const double alpha = sine.sinAngle(w) / (2.0 * q);
        const double n = 1.0 / (1.0 + alpha);
        b0 = alpha * n;
        b2 = -alpha * n;
        a1 = -2.0 * sine.cosAngle(w) * n;
        a2 = (1.0 - alpha) * n;
    }
    double process(double x) {
        const double y = b0 * x + b2 * x2 - a1 * y1 - a2 * y2;
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
        return y;
    }
    // count filtered values of the noise, each times level, into out: two
    // samples a round, so the history's values swap roles instead of moving.
    void run(NoiseSource& noise, double level, int count, double* out) {
        int i = 0;
        for (; i + 2 <= count; i += 2) {
            const double xa = noise.next();
            const double ya = b0 * xa + b2 * x2 - a1 * y1 - a2 * y2;
            const double xb = noise.next();
            const double yb = b0 * xb + b2 * x1 - a1 * ya - a2 * y1;
            out[i] = ya * level;
            out[i + 1] = yb * level;
            x2 = xa;
            x1 = xb;
            y2 = ya;
            y1 = yb;
        }
        for (; i < count; ++i) out[i] = process(noise.next()) * level;
    }

private:
    double b0, b2, a1, a2;
    double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
};

// The doubles a table is built in. One buffer, as long as the longest table,
// serves every table of a build in turn, so its memory is taken from the system
// once; it is not zeroed, as every entry is written before it is read.
class WorkBuffer {
public:
    explicit WorkBuffer(int capacity)
        : v(std::make_unique_for_overwrite<double[]>(static_cast<size_t>(capacity))),
          capacity_(capacity) {}
    int capacity() const { return capacity_; }
    double* data() { return v.get(); }

private:
    std::unique_ptr<double[]> v;
    int capacity_;
};

constexpr int kLongestTable = std::max(
    {kHornLoopLength, kHornRotorLength, kDrumLoopLength, kDrumRotorLength, kTransitionLength});

// A table's samples in double precision while it is built: the front of the
// work buffer.
struct Signal {
    double* v;
    int length;

    Signal(WorkBuffer& work, int n) : v(work.data()), length(std::min(n, work.capacity())) {}
    double* data() { return v; }
    const double* data() const { return v; }
};

// Band-limited noise of the given length that loops without a click: the stretch
// after the end is faded (equal power) into the start.
Signal loopedNoise(const SineTable& sine, uint64_t seed, const NoiseBand& band, int length,
                   WorkBuffer& work) {
    NoiseSource noise(seed);
    BandSection filter(sine, band.hz, band.q);
    for (int i = 0; i < kNoiseWarmUp; ++i) filter.process(noise.next());
    // The stretch after the end, then the table.
    double tail[kCrossfadeSamples];
    Signal out(work, length);
    length = out.length;
    filter.run(noise, band.level, length, out.data());
    filter.run(noise, band.level, kCrossfadeSamples, tail);
    double* v = out.data();
    for (int i = 0; i < std::min(kCrossfadeSamples, length); ++i) {
        const double w = static_cast<double>(i) / kCrossfadeSamples;
        v[i] = std::sqrt(w) * v[i] + std::sqrt(1.0 - w) * tail[i];
    }
    return out;
}

// The largest magnitude of v[0] .. v[n-1] from four at a time; returns how many
// it took.
[[gnu::target("avx2")]] int peakRunAvx2(const double* v, int n, double& peak) {
    const __m256d sign = _mm256_set1_pd(-0.0);
    __m256d peak4 = _mm256_setzero_pd();
    int i = 0;
    for (; i + 4 <= n; i += 4)
        peak4 = _mm256_max_pd(_mm256_andnot_pd(sign, _mm256_loadu_pd(v + i)), peak4);
    alignas(32) double lanes[4];
    _mm256_store_pd(lanes, peak4);
    peak = std::max(std::max(lanes[0], lanes[1]), std::max(lanes[2], lanes[3]));
    return i;
}

// out[i] = float(v[i] scale) four at a time; returns how many it wrote.
[[gnu::target("avx2")]] int toFloatRunAvx2(const double* v, double scale, int n, float* out) {
    const __m256d scale4 = _mm256_set1_pd(scale);
    int i = 0;
    for (; i + 4 <= n; i += 4)
        _mm_storeu_ps(out + i, _mm256_cvtpd_ps(_mm256_mul_pd(_mm256_loadu_pd(v + i), scale4)));
    return i;
}

double peakOf(const Signal& s) {
    // Two (or four) at a time; the largest value is the same in any order.
    const double* v = s.data();
    if (cpuHasAvx2()) {
        double peak = 0.0;
        const int done = peakRunAvx2(v, s.length, peak);
        for (int i = done; i < s.length; ++i) peak = std::max(peak, std::fabs(v[i]));
        return peak;
    }
    const __m128d sign = _mm_set1_pd(-0.0);
    __m128d peak2 = _mm_setzero_pd();
    int i = 0;
    for (; i + 2 <= s.length; i += 2)
        peak2 = _mm_max_pd(_mm_andnot_pd(sign, _mm_loadu_pd(v + i)), peak2);
    alignas(16) double lanes[2];
    _mm_store_pd(lanes, peak2);
    double peak = std::max(lanes[0], lanes[1]);
    for (; i < s.length; ++i) peak = std::max(peak, std::fabs(v[i]));
    return peak;
}

// Scales to the wanted peak, converts to float and appends the spare entries,
// which repeat the first ones.
SampleTable finish(const Signal& s, double wantedPeak, int stored) {
    SampleTable t;
    const double* v = s.data();
    const int length = s.length;
    t.usedLength = length;
    t.samples.resize(static_cast<size_t>(stored));
    const double peak = peakOf(s);
    const double scale = peak > 0.0 ? wantedPeak / peak : 0.0;
    float* out = t.samples.data();
    const __m128d scale2 = _mm_set1_pd(scale);
    int i = cpuHasAvx2() ? toFloatRunAvx2(v, scale, length, out) : 0;
    for (; i + 2 <= length; i += 2) {
        const __m128 f = _mm_cvtpd_ps(_mm_mul_pd(_mm_loadu_pd(v + i), scale2));
        _mm_storel_pi(reinterpret_cast<__m64*>(out + i), f);
    }
    for (; i < length; ++i) out[i] = static_cast<float>(v[i] * scale);
    for (int k = length; k < stored; ++k) out[k] = out[(k - length) % length];
    return t;
}

// The generator works through a table a block at a time: each tone's values for
// the block, then added in the recipe's order. Every sample's sum takes the same
// terms in the same order as a sample-by-sample loop would.
constexpr int kBlock = 1024;

// The sums that take a block's values, two samples at a time (the same
// operations per sample as one at a time).
// swing = 1 + depth * w
void swingOf(const double* w, double depth, double* swing, int n) {
    const __m128d d = _mm_set1_pd(depth);
    const __m128d one = _mm_set1_pd(1.0);
    int i = 0;
    for (; i + 2 <= n; i += 2)
        _mm_storeu_pd(swing + i, _mm_add_pd(one, _mm_mul_pd(d, _mm_loadu_pd(w + i))));
    for (; i < n; ++i) swing[i] = 1.0 + depth * w[i];
}
// x *= floor + (1 - floor) c^2 with c = (1 + s) / 2, the swell's envelope.
void applySwell(double* x, const double* s, double floor, int n) {
    const __m128d half = _mm_set1_pd(0.5);
    const __m128d f = _mm_set1_pd(floor);
    const __m128d rest = _mm_set1_pd(1.0 - floor);
    int i = 0;
    for (; i + 2 <= n; i += 2) {
        const __m128d c = _mm_add_pd(half, _mm_mul_pd(half, _mm_loadu_pd(s + i)));
        const __m128d env = _mm_add_pd(f, _mm_mul_pd(_mm_mul_pd(rest, c), c));
        _mm_storeu_pd(x + i, _mm_mul_pd(_mm_loadu_pd(x + i), env));
    }
    for (; i < n; ++i) {
        const double c = 0.5 + 0.5 * s[i];
        x[i] *= floor + (1.0 - floor) * c * c;
    }
}

// A tone and its accumulator, read a block at a time.
struct ToneReader {
    LoopTone tone;
    int64_t acc = 0;
    ToneReader(const Partial& p, int length) : tone(LoopTone::of(p.hz, p.phase, length, kFs)) {}
    ToneReader(double hz, int length) : tone(LoopTone::of(hz, 0.0, length, kFs)) {}
    const double* read(const SineTable& sine, int n, double* buffer) {
        loopToneRun(sine, tone, acc, n, buffer);
        return buffer;
    }
    // x += value level (times swing, when given).
    void addTo(const SineTable& sine, int n, double level, const double* swing, double* x) {
        addLoopTone(sine, tone, acc, n, level, swing, x);
    }
};

SampleTable motorLoop(const SineTable& sine, const MotorLoopRecipe& r, int length, int stored,
                      WorkBuffer& work) {
    Signal v = loopedNoise(sine, r.seed, r.rush, length, work);
    length = v.length;
    std::vector<ToneReader> hum, whine;
    for (const Partial& p : r.hum) hum.emplace_back(p, length);
    for (const Partial& p : r.whine) whine.emplace_back(p, length);
    ToneReader wobble(r.wobbleHz, length);
    double values[kBlock], swing[kBlock];
    for (int start = 0; start < length; start += kBlock) {
        const int n = std::min(kBlock, length - start);
        double* x = v.data() + start;
        for (size_t k = 0; k < hum.size(); ++k) hum[k].addTo(sine, n, r.hum[k].level, nullptr, x);
        swingOf(wobble.read(sine, n, values), r.wobbleDepth, swing, n);
        for (size_t k = 0; k < whine.size(); ++k)
            whine[k].addTo(sine, n, r.whine[k].level, swing, x);
    }
    return finish(v, r.peak, stored);
}

SampleTable rotorRecording(const SineTable& sine, const RotorRecipe& r, int length, int revolutions,
                           int stored, WorkBuffer& work) {
    Signal v = loopedNoise(sine, r.seed, r.whoosh, length, work);
    length = v.length;
    std::vector<ToneReader> hum;
    for (const Partial& p : r.hum) hum.emplace_back(p, length);
    // The whoosh swells once per revolution: the revolution phase is a tone with
    // exactly `revolutions` cycles over the recording.
    LoopTone revolution;
    revolution.cycles = revolutions;
    revolution.period = length;
    revolution.invPeriod = 1.0 / length;
    int64_t revolutionAcc = 0;
    double values[kBlock];
    for (int start = 0; start < length; start += kBlock) {
        const int n = std::min(kBlock, length - start);
        double* x = v.data() + start;
        swellRun(sine, revolution, r.swellPhase, revolutionAcc, n, values);
        applySwell(x, values, r.swellFloor, n);
        for (size_t k = 0; k < hum.size(); ++k) hum[k].addTo(sine, n, r.hum[k].level, nullptr, x);
    }
    // One tick per revolution at the same rotor position: each tick is the same
    // continuous-time burst sampled from its exact (fractional) start time.
    const int64_t period = length;
    const double decay = seriesExp(-1.0 / (r.tickDecaySeconds * kFs));
    const double samplesPerRev = static_cast<double>(length) / revolutions;
    const int tickLength = std::max(r.tickLength, 0);
    std::vector<double> envelope(static_cast<size_t>(tickLength));
    std::vector<double> burst(static_cast<size_t>(tickLength));
    TickBurst tick{r.tickHz, r.tickHz * kTickOvertoneRatio, r.tickOvertone, r.tickLevel, 0.0, kFs};
    for (int k = 0; k < revolutions; ++k) {
        const double start = (k + r.tickPhase) * samplesPerRev;
        const double first = std::ceil(start);
        tick.lead = first - start; // 0 <= lead < 1
        double e = seriesExp(-tick.lead / (r.tickDecaySeconds * kFs));
        for (int m = 0; m < tickLength; ++m) {
            envelope[m] = e;
            e *= decay;
        }
        tickBurstRun(sine, tick, envelope.data(), tickLength, burst.data());
        for (int m = 0; m < tickLength; ++m) {
            const int64_t n = (static_cast<int64_t>(first) + m) % period;
            v.data()[n] += burst[m];
        }
    }
    return finish(v, r.peak, stored);
}

SampleTable switchClunk(const SineTable& sine, const ClunkRecipe& r, int length, int stored,
                        WorkBuffer& work) {
    NoiseSource noise(r.seed);
    BandSection filter(sine, r.click.hz, r.click.q);
    for (int i = 0; i < kNoiseWarmUp; ++i) filter.process(noise.next());
    const double thumpDecay = seriesExp(-1.0 / (r.thumpDecaySeconds * kFs));
    const double clickDecay = seriesExp(-1.0 / (r.clickDecaySeconds * kFs));
    double thumpEnv = 1.0;
    double clickEnv = 1.0;
    Signal v(work, length);
    length = v.length;
    for (int i = 0; i < length; ++i) {
        const double t = i / kFs;
        double x = 0.0;
        for (const Partial& p : r.thump)
            x += sine.at(fracTurns(p.hz * t + p.phase)) * p.level * thumpEnv;
        x += filter.process(noise.next()) * r.click.level * clickEnv;
        thumpEnv *= thumpDecay;
        clickEnv *= clickDecay;
        if (i < r.riseSamples) {
            const double u = static_cast<double>(i) / r.riseSamples;
            x *= u * u;
        }
        const int left = length - i;
        if (left <= r.fadeSamples) {
            const double u = static_cast<double>(left - 1) / r.fadeSamples;
            x *= u * u;
        }
        v.data()[i] = x;
    }
    return finish(v, r.peak, stored);
}

} // namespace

MotorNoiseTables buildMotorNoiseTables() {
    const SineTable sine;
    WorkBuffer work(kLongestTable);
    MotorNoiseTables t;
    t.hornLoopA = motorLoop(sine, kHornLoopA, kHornLoopLength, kHornLoopStored, work);
    t.hornLoopB = motorLoop(sine, kHornLoopB, kHornLoopLength, kHornLoopStored, work);
    t.hornRotor = rotorRecording(sine, kHornRotor, kHornRotorLength, kHornRotorRevolutions,
                                 kHornRotorStored, work);
    t.drumLoop = motorLoop(sine, kDrumLoop, kDrumLoopLength, kDrumLoopStored, work);
    t.drumRotor = rotorRecording(sine, kDrumRotor, kDrumRotorLength, kDrumRotorRevolutions,
                                 kDrumRotorStored, work);
    t.transition = switchClunk(sine, kTransitionClunk, kTransitionLength, kTransitionStored, work);
    return t;
}

SampleTable buildSecondDrumLoop() {
    const SineTable sine;
    WorkBuffer work(kDrumLoopLength);
    return motorLoop(sine, kDrumLoopSecond, kDrumLoopLength, kDrumLoopStored, work);
}

const MotorNoiseTables& motorNoiseTables() {
    static const MotorNoiseTables tables = buildMotorNoiseTables();
    return tables;
}

const SampleTable& secondDrumLoop() {
    static const SampleTable table = buildSecondDrumLoop();
    return table;
}

} // namespace zel
