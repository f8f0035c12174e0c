// The synthesis of the motor-noise tables. The build runs it once
// (tools/make-motor-noise.cpp) and the plug-in ships the result; the tests run
// it again to check the shipped tables against it.
#include "engine/data/MotorNoiseTables.h"

#include "engine/CpuFeatures.h"
#include "engine/data/MotorNoiseRecipe.h"
#include "engine/data/SineTrack.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <immintrin.h>
#include <memory>
#include <numeric>
#include <type_traits>

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
    [[gnu::always_inline]] inline double next() { return toUniform(nextWhole()); }

    // The generator while a run of values is drawn: its state in a vector
    // register, where (built for AVX) each shift and exclusive-or is one
    // three-operand instruction and needs no copy.
    class Stream {
    public:
        explicit Stream(const NoiseSource& n)
            : s(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(&n.state))) {}
        void storeTo(NoiseSource& n) const {
            _mm_storel_epi64(reinterpret_cast<__m128i*>(&n.state), s);
        }
        // The next value's top 53 bits, as a double (exact); toUniform scales it.
        [[gnu::always_inline]] inline double whole() {
            s = _mm_xor_si128(s, _mm_srli_epi64(s, 12));
            s = _mm_xor_si128(s, _mm_slli_epi64(s, 25));
            s = _mm_xor_si128(s, _mm_srli_epi64(s, 27));
            uint64_t now;
            _mm_storel_epi64(reinterpret_cast<__m128i*>(&now), s);
            return wholeOf(now);
        }

    private:
        __m128i s;
    };
    static double toUniform(double whole) { return whole * (2.0 / 9007199254740992.0) - 1.0; }

private:
    // The top 53 bits of the next output, as a double (exact).
    [[gnu::always_inline]] inline double nextWhole() {
        state ^= state >> 12;
        state ^= state << 25;
        state ^= state >> 27;
        return wholeOf(state);
    }
    [[gnu::always_inline]] static inline double wholeOf(uint64_t s) {
        const uint64_t r = s * 2685821657736338717ull;
        // r >> 11 is below 2^53, so the signed conversion (one instruction)
        // gives the same exact value as the unsigned one.
        return static_cast<double>(static_cast<int64_t>(r >> 11));
    }
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
    // count filtered values of the noise, each times level, into out. A chunk at
    // a time: its inputs' scaling and feed-forward terms b0 x + b2 x2 are
    // independent of each other, so computed side by side; then its feedback,
    // the only part that must go sample by sample, in the same loop as the
    // generator's draws for the next chunk, so the processor overlaps the two
    // serial chains. Each sample takes the same operations in the same order as
    // process().
    void run(NoiseSource& noise, double level, int count, double* out) {
        if (count <= 0) return;
        if (cpuHasAvx2())
            runAvx2(noise, level, count, out);
        else
            runChunks(noise, level, count, out);
    }
    // Draws count values and only keeps the state they leave, which settles the
    // filter.
    void settle(NoiseSource& noise, int count) {
        double discarded[kChunk];
        for (int done = 0; done < count; done += kChunk)
            run(noise, 1.0, std::min(kChunk, count - done), discarded);
    }

private:
    static constexpr int kChunk = 256;

    // The same code, built for AVX2 as well: its three-operand instructions
    // need no register copies, and the side-by-side parts go four at a time.
    [[gnu::target("avx2")]] void runAvx2(NoiseSource& noise, double level, int count, double* out) {
        runChunks(noise, level, count, out);
    }
    [[gnu::always_inline]] inline void runChunks(NoiseSource& noise, double level, int count,
                                                 double* out) {
        // Each buffer holds the two inputs before a chunk, then the chunk's.
        double bufferA[kChunk + 2], bufferB[kChunk + 2];
        double* in = bufferA;
        double* next = bufferB;
        NoiseSource::Stream stream(noise);
        in[0] = x2;
        in[1] = x1;
        for (int i = 0; i < std::min(kChunk, count); ++i) in[i + 2] = stream.whole();
        const double f1 = a1, f2 = a2; // locals: no reload after each store to out
        double h1 = y1, h2 = y2;
        for (int done = 0; done < count;) {
            const int n = std::min(kChunk, count - done);
            const int nNext = std::min(kChunk, count - done - n);
            double* y = out + done;
            for (int i = 2; i < n + 2; ++i) in[i] = NoiseSource::toUniform(in[i]);
            feedForward(in, n, y);
            const int both = std::min(n, nNext);
            int i = 0;
            // Four samples a round, so the history's values take new roles
            // instead of moving.
            for (; i + 4 <= both; i += 4) {
                next[i + 2] = stream.whole();
                next[i + 3] = stream.whole();
                next[i + 4] = stream.whole();
                next[i + 5] = stream.whole();
                const double ya = y[i] - f1 * h1 - f2 * h2;
                const double yb = y[i + 1] - f1 * ya - f2 * h1;
                const double yc = y[i + 2] - f1 * yb - f2 * ya;
                const double yd = y[i + 3] - f1 * yc - f2 * yb;
                y[i] = ya * level;
                y[i + 1] = yb * level;
                y[i + 2] = yc * level;
                y[i + 3] = yd * level;
                h2 = yc;
                h1 = yd;
            }
            for (; i < both; ++i) {
                next[i + 2] = stream.whole();
                const double yi = y[i] - f1 * h1 - f2 * h2;
                y[i] = yi * level;
                h2 = h1;
                h1 = yi;
            }
            for (; i < n; ++i) {
                const double yi = y[i] - f1 * h1 - f2 * h2;
                y[i] = yi * level;
                h2 = h1;
                h1 = yi;
            }
            for (; i < nNext; ++i) next[i + 2] = stream.whole();
            next[0] = in[n];
            next[1] = in[n + 1];
            std::swap(in, next);
            done += n;
        }
        stream.storeTo(noise);
        x2 = in[0];
        x1 = in[1];
        y1 = h1;
        y2 = h2;
    }

    // y[i] = b0 in[i + 2] + b2 in[i]. The coefficients are copied to locals so
    // the compiler need not reload them after every store.
    [[gnu::always_inline]] inline void feedForward(const double* in, int n, double* y) const {
        const double c0 = b0, c2 = b2;
        for (int i = 0; i < n; ++i) y[i] = c0 * in[i + 2] + c2 * in[i];
    }

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

// Band-limited noise that loops without a click: the stretch after the table's
// end is faded (equal power) into its start. The whole table's noise is drawn
// in one run, before the other terms are added.
class LoopedNoise {
public:
    LoopedNoise(const SineTable& sine, uint64_t seed, const NoiseBand& band)
        : noise(seed), filter(sine, band.hz, band.q), level(band.level) {
        filter.settle(noise, kNoiseWarmUp);
    }
    // The next n values.
    void run(int n, double* out) { filter.run(noise, level, n, out); }
    // After the whole table: the stretch after the end, faded into v[0 .. head).
    void fadeInto(double* v, int head) {
        double tail[kCrossfadeSamples];
        run(kCrossfadeSamples, tail);
        for (int i = 0; i < std::min(kCrossfadeSamples, head); ++i) {
            const double w = static_cast<double>(i) / kCrossfadeSamples;
            v[i] = std::sqrt(w) * v[i] + std::sqrt(1.0 - w) * tail[i];
        }
    }

private:
    NoiseSource noise;
    BandSection filter;
    double level;
};

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

double peakOf(const double* v, int n) {
    // Two (or four) at a time; the largest value is the same in any order.
    if (cpuHasAvx2()) {
        double peak = 0.0;
        const int done = peakRunAvx2(v, n, peak);
        for (int i = done; i < n; ++i) peak = std::max(peak, std::fabs(v[i]));
        return peak;
    }
    const __m128d sign = _mm_set1_pd(-0.0);
    __m128d peak2 = _mm_setzero_pd();
    int i = 0;
    for (; i + 2 <= n; i += 2) peak2 = _mm_max_pd(_mm_andnot_pd(sign, _mm_loadu_pd(v + i)), peak2);
    alignas(16) double lanes[2];
    _mm_store_pd(lanes, peak2);
    double peak = std::max(lanes[0], lanes[1]);
    for (; i < n; ++i) peak = std::max(peak, std::fabs(v[i]));
    return peak;
}

// Scales from the signal's peak to the wanted one, converts to float and appends
// the spare entries, which repeat the first ones.
SampleTable finish(const Signal& s, double peak, double wantedPeak, int stored) {
    SampleTable t;
    const double* v = s.data();
    const int length = s.length;
    t.usedLength = length;
    t.owned = std::make_unique_for_overwrite<float[]>(static_cast<size_t>(stored));
    float* out = t.owned.get();
    t.samples = {out, static_cast<size_t>(stored)};
    const double scale = peak > 0.0 ? wantedPeak / peak : 0.0;
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

// A table is built in two passes: its noise (one run in order, then the fade of
// the stretch after the end into the head), then every other term, added block
// by block in the recipe's order. Every sample's sum takes the same terms in the
// same order as a sample-by-sample loop would.
constexpr int kBlock = 1024;

// Split a table into f equal stretches. A tone with c whole cycles over the
// table repeats every length / gcd(c, length) samples, so with d = gcd(c, f)
// its values in stretch j are those of stretch j mod (f / d). The second pass
// works on the f stretches side by side and computes each tone's values for a
// block in its first f / d stretches only, adding them to the others as well.
// The fold is the f (at most kMaxFold, dividing the length) that leaves the
// fewest tone values to compute.
constexpr int kMaxFold = 64;

// The stretches whose values a tone with the given cycles computes.
int distinctStretches(int64_t cycles, int fold) {
    return fold / static_cast<int>(std::gcd(cycles, static_cast<int64_t>(fold)));
}

template <size_t N> int foldFor(int length, const std::array<int64_t, N>& cycles) {
    int best = 1;
    double bestWork = static_cast<double>(N); // tone values computed, in table lengths
    for (int f = 2; f <= kMaxFold; ++f) {
        if (length % f != 0) continue;
        double work = 0.0;
        for (const int64_t c : cycles) work += static_cast<double>(distinctStretches(c, f)) / f;
        // A larger fold only when it spares work (the tolerance ignores rounding).
        if (work < bestWork - 1e-9) {
            best = f;
            bestWork = work;
        }
    }
    return best;
}

// The second pass: addTerms(n, x) adds the terms after the noise to the blocks
// x[0 .. fold) of n samples, one in each stretch, at the same place in each.
template <typename AddTerms>
void buildFolded(LoopedNoise& noise, Signal& v, int head, int fold, AddTerms addTerms) {
    noise.run(v.length, v.data());
    noise.fadeInto(v.data(), head);
    const int stretch = v.length / fold;
    double* x[kMaxFold];
    for (int start = 0; start < stretch; start += kBlock) {
        for (int j = 0; j < fold; ++j) x[j] = v.data() + j * stretch + start;
        addTerms(std::min(kBlock, stretch - start), x);
    }
}

// The sums that take a block's values. Each is a plain loop over independent
// samples, which the compiler does two (or, built for AVX, four) at a time with
// the same operations per sample as one at a time.
// swing = 1 + depth * w
[[gnu::always_inline]] inline void swingBody(const double* w, double depth, double* swing, int n) {
    for (int i = 0; i < n; ++i) swing[i] = 1.0 + depth * w[i];
}
[[gnu::target("avx2")]] void swingAvx2(const double* w, double depth, double* swing, int n) {
    swingBody(w, depth, swing, n);
}
void swingOf(const double* w, double depth, double* swing, int n) {
    if (cpuHasAvx2())
        swingAvx2(w, depth, swing, n);
    else
        swingBody(w, depth, swing, n);
}
// x *= floor + (1 - floor) c^2 with c = (1 + s) / 2, the swell's envelope.
[[gnu::always_inline]] inline void swellBody(double* x, const double* s, double floor, int n) {
    const double rest = 1.0 - floor;
    for (int i = 0; i < n; ++i) {
        const double c = 0.5 + 0.5 * s[i];
        x[i] *= floor + rest * c * c;
    }
}
[[gnu::target("avx2")]] void swellAvx2(double* x, const double* s, double floor, int n) {
    swellBody(x, s, floor, n);
}
void applySwell(double* x, const double* s, double floor, int n) {
    if (cpuHasAvx2())
        swellAvx2(x, s, floor, n);
    else
        swellBody(x, s, floor, n);
}
// x += v level, or x += v level swing when swing is given: what addLoopTone
// does with the values it computes.
[[gnu::always_inline]] inline void addValuesBody(const double* v, double level, const double* swing,
                                                 int n, double* x) {
    if (swing) {
        for (int i = 0; i < n; ++i) x[i] += v[i] * level * swing[i];
    } else {
        for (int i = 0; i < n; ++i) x[i] += v[i] * level;
    }
}
[[gnu::target("avx2")]] void addValuesAvx2(const double* v, double level, const double* swing,
                                           int n, double* x) {
    addValuesBody(v, level, swing, n, x);
}
void addValues(const double* v, double level, const double* swing, int n, double* x) {
    if (cpuHasAvx2())
        addValuesAvx2(v, level, swing, n, x);
    else
        addValuesBody(v, level, swing, n, x);
}

// A tone read block by block in the stretches of a folded table: one
// accumulator for each stretch whose values it computes.
struct FoldedTone {
    LoopTone tone;
    int fold;
    int distinct; // the stretches computed; stretch j takes those of j mod distinct
    std::vector<int64_t> acc;

    FoldedTone(const LoopTone& t, int f)
        : tone(t), fold(f), distinct(distinctStretches(t.cycles, f)),
          acc(static_cast<size_t>(distinct)) {
        const int64_t stretch = t.period / f;
        for (int j = 0; j < distinct; ++j) acc[j] = tone.accumulatorAt(j * stretch);
    }
    // The tone's next n values in stretch j < distinct.
    void read(const SineTable& sine, int j, int n, double* values) {
        loopToneRun(sine, tone, acc[j], n, values);
    }
    // x[j] += value level, times swingOf(j) when that is given, in every stretch.
    template <typename SwingOf>
    void addTo(const SineTable& sine, int n, double level, SwingOf swingOf, double* const* x,
               double* values) {
        if (distinct == fold) {
            for (int j = 0; j < fold; ++j)
                addLoopTone(sine, tone, acc[j], n, level, swingOf(j), x[j]);
            return;
        }
        for (int j = 0; j < distinct; ++j) {
            read(sine, j, n, values);
            for (int k = j; k < fold; k += distinct) addValues(values, level, swingOf(k), n, x[k]);
        }
    }
};

template <size_t N> std::array<int64_t, N> cyclesOf(const std::array<LoopTone, N>& tones) {
    std::array<int64_t, N> c;
    for (size_t k = 0; k < N; ++k) c[k] = tones[k].cycles;
    return c;
}

SampleTable motorLoop(const SineTable& sine, const MotorLoopRecipe& r, int length, int stored,
                      WorkBuffer& work) {
    LoopedNoise noise(sine, r.seed, r.rush);
    Signal v(work, length);
    length = v.length;
    const int head = std::min(kCrossfadeSamples, length);
    constexpr size_t kHums = std::extent_v<decltype(MotorLoopRecipe::hum)>;
    constexpr size_t kWhines = std::extent_v<decltype(MotorLoopRecipe::whine)>;
    // The hums, the wobble, the whines.
    std::array<LoopTone, kHums + 1 + kWhines> tones;
    for (size_t k = 0; k < kHums; ++k)
        tones[k] = LoopTone::of(r.hum[k].hz, r.hum[k].phase, length, kFs);
    tones[kHums] = LoopTone::of(r.wobbleHz, 0.0, length, kFs);
    for (size_t k = 0; k < kWhines; ++k)
        tones[kHums + 1 + k] = LoopTone::of(r.whine[k].hz, r.whine[k].phase, length, kFs);
    const int fold = foldFor(length, cyclesOf(tones));
    std::vector<FoldedTone> folded;
    for (const LoopTone& t : tones) folded.emplace_back(t, fold);
    FoldedTone& wobble = folded[kHums];
    std::vector<double> values(kBlock), swing(static_cast<size_t>(kBlock) * wobble.distinct);
    const auto noSwing = [](int) -> const double* { return nullptr; };
    const auto swingOfStretch = [&](int j) -> const double* {
        return swing.data() + static_cast<size_t>(j % wobble.distinct) * kBlock;
    };
    buildFolded(noise, v, head, fold, [&](int n, double* const* x) {
        for (size_t k = 0; k < kHums; ++k)
            folded[k].addTo(sine, n, r.hum[k].level, noSwing, x, values.data());
        for (int j = 0; j < wobble.distinct; ++j) {
            wobble.read(sine, j, n, values.data());
            swingOf(values.data(), r.wobbleDepth, swing.data() + static_cast<size_t>(j) * kBlock,
                    n);
        }
        for (size_t k = 0; k < kWhines; ++k)
            folded[kHums + 1 + k].addTo(sine, n, r.whine[k].level, swingOfStretch, x,
                                        values.data());
    });
    return finish(v, peakOf(v.data(), v.length), r.peak, stored);
}

// One tick per revolution at the same rotor position: each tick is the same
// continuous-time burst sampled from its exact (fractional) start time, added
// after the recording's other terms, in the ticks' order.
class RotorTicks {
public:
    RotorTicks(const RotorRecipe& r, int length, int revolutions)
        : period(length), tickLength(std::clamp(r.tickLength, 0, length)),
          decay(seriesExp(-1.0 / (r.tickDecaySeconds * kFs))),
          decaySamples(r.tickDecaySeconds * kFs),
          tick{r.tickHz, r.tickHz * kTickOvertoneRatio, r.tickOvertone, r.tickLevel, 0.0, kFs},
          envelope(static_cast<size_t>(tickLength)), burst(static_cast<size_t>(tickLength)) {
        const double samplesPerRev = static_cast<double>(length) / revolutions;
        for (int k = 0; k < revolutions; ++k) {
            const double start = (k + r.tickPhase) * samplesPerRev;
            const double first = std::ceil(start);
            starts.push_back({static_cast<int64_t>(first) % period, first - start});
        }
    }

    // Adds every tick to the table's x[0 .. period).
    void addTo(const SineTable& sine, double* x) {
        for (const Start& s : starts) {
            const double* b = burstOf(sine, s.lead);
            // The tick's samples from its start, and those that wrap round to
            // the table's start.
            const int64_t inside = std::min<int64_t>(tickLength, period - s.first);
            for (int64_t m = 0; m < inside; ++m) x[s.first + m] += b[m];
            for (int64_t m = inside; m < tickLength; ++m) x[s.first + m - period] += b[m];
        }
    }

private:
    struct Start {
        int64_t first; // first sample, within the table
        double lead;   // from the tick's exact start to that sample, 0 <= lead < 1
    };

    const double* burstOf(const SineTable& sine, double lead) {
        tick.lead = lead;
        double e = seriesExp(-tick.lead / decaySamples);
        for (int m = 0; m < tickLength; ++m) {
            envelope[m] = e;
            e *= decay;
        }
        tickBurstRun(sine, tick, envelope.data(), tickLength, burst.data());
        return burst.data();
    }

    int64_t period;
    int tickLength;
    double decay;
    double decaySamples;
    TickBurst tick;
    std::vector<Start> starts;
    std::vector<double> envelope, burst;
};

SampleTable rotorRecording(const SineTable& sine, const RotorRecipe& r, int length, int revolutions,
                           int stored, WorkBuffer& work) {
    LoopedNoise noise(sine, r.seed, r.whoosh);
    Signal v(work, length);
    length = v.length;
    const int head = std::min(kCrossfadeSamples, length);
    constexpr size_t kHums = std::extent_v<decltype(RotorRecipe::hum)>;
    // The whoosh swells once per revolution: the revolution phase is a tone with
    // exactly `revolutions` cycles over the recording. Then the hums.
    std::array<LoopTone, 1 + kHums> tones;
    tones[0].cycles = revolutions;
    tones[0].period = length;
    tones[0].invPeriod = 1.0 / length;
    for (size_t k = 0; k < kHums; ++k)
        tones[1 + k] = LoopTone::of(r.hum[k].hz, r.hum[k].phase, length, kFs);
    const int fold = foldFor(length, cyclesOf(tones));
    std::vector<FoldedTone> folded;
    for (const LoopTone& t : tones) folded.emplace_back(t, fold);
    std::vector<double> values(kBlock);
    const auto noSwing = [](int) -> const double* { return nullptr; };
    buildFolded(noise, v, head, fold, [&](int n, double* const* x) {
        FoldedTone& revolution = folded[0];
        for (int j = 0; j < revolution.distinct; ++j) {
            swellRun(sine, revolution.tone, r.swellPhase, revolution.acc[j], n, values.data());
            for (int k = j; k < fold; k += revolution.distinct)
                applySwell(x[k], values.data(), r.swellFloor, n);
        }
        for (size_t k = 0; k < kHums; ++k)
            folded[1 + k].addTo(sine, n, r.hum[k].level, noSwing, x, values.data());
    });
    RotorTicks ticks(r, length, revolutions);
    ticks.addTo(sine, v.data());
    return finish(v, peakOf(v.data(), v.length), r.peak, stored);
}

SampleTable switchClunk(const SineTable& sine, const ClunkRecipe& r, int length, int stored,
                        WorkBuffer& work) {
    NoiseSource noise(r.seed);
    BandSection filter(sine, r.click.hz, r.click.q);
    filter.settle(noise, kNoiseWarmUp);
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
    return finish(v, peakOf(v.data(), v.length), r.peak, stored);
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

const SampleTable& secondDrumLoop() {
    static const SampleTable table = buildSecondDrumLoop();
    return table;
}

} // namespace zel
