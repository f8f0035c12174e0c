#include "engine/data/SineTrack.h"

#include "engine/CpuFeatures.h"
#include "engine/data/MotorNoiseRecipe.h"

#include <algorithm>
#include <cmath>
#include <immintrin.h>

// The tables must come out bit-identical on every build: no fused multiply-add,
// whatever the target's instruction set.
#if defined(__clang__)
#pragma clang fp contract(off)
#elif defined(__GNUC__)
#pragma GCC optimize("fp-contract=off")
#endif

namespace zel::motor_noise {

namespace {

constexpr double kPiValue = 3.14159265358979323846;

// The generator uses only +, -, *, / and sqrt (all correctly rounded), never the
// math library's transcendental functions, so the tables come out bit-identical
// wherever they are built.
double seriesSin(double x) { // x in [-pi, pi]
    const double x2 = x * x;
    double term = x;
    double sum = x;
    for (int n = 1; n <= 13; ++n) {
        term *= -x2 / static_cast<double>((2 * n) * (2 * n + 1));
        sum += term;
    }
    return sum;
}

// The four-lane runs keep the accumulators of four samples in 32-bit lanes: they
// take tones whose period fits with room for one step beyond it, and whose
// phase lies in [0, 1), so an unwrapped turn stays within the table's two
// periods.
constexpr int64_t kMaxLanePeriod = int64_t{1} << 30;
constexpr int kLanes = 4;

bool fitsLanes(const LoopTone& tone) {
    return tone.period > 0 && tone.period < kMaxLanePeriod && tone.cycles >= 0 &&
           tone.cycles < tone.period && tone.phase >= 0.0 && tone.phase < 1.0;
}

// The accumulators of the four samples from acc on, and the step that moves each
// four samples on.
struct Lanes {
    alignas(16) int32_t acc[kLanes];
    int32_t step;
};
Lanes lanesFrom(const LoopTone& tone, int64_t acc) {
    Lanes l;
    for (int j = 0; j < kLanes; ++j) {
        l.acc[j] = static_cast<int32_t>(acc);
        acc = tone.advance(acc);
    }
    l.step = static_cast<int32_t>((kLanes * tone.cycles) % tone.period);
    return l;
}

// Four samples on: each accumulator plus the step, less the period where it
// reaches it.
[[gnu::target("avx2")]] inline __m128i stepLanes(__m128i acc, __m128i step, __m128i last,
                                                 __m128i period) {
    acc = _mm_add_epi32(acc, step);
    return _mm_sub_epi32(acc, _mm_and_si128(_mm_cmpgt_epi32(acc, last), period));
}

// SineTable::at for four turns: the table's two neighbours, the same
// interpolation. Each index's pair of neighbours is one load, and the four pairs
// are regrouped into the lower and upper neighbours: cheaper than two gathers.
[[gnu::target("avx2")]] inline __m256d sineAt4(const double* table, __m256d turns) {
    const __m256d p = _mm256_mul_pd(turns, _mm256_set1_pd(SineTable::kSize));
    const __m128i i = _mm256_cvttpd_epi32(p);
    const __m256d f = _mm256_sub_pd(p, _mm256_cvtepi32_pd(i));
    // The turns lie in [0, 1), so the indices are not negative: read unsigned,
    // they index the table without a sign extension each.
    const __m128d p0 = _mm_loadu_pd(table + static_cast<uint32_t>(_mm_cvtsi128_si32(i)));
    const __m128d p1 = _mm_loadu_pd(table + static_cast<uint32_t>(_mm_extract_epi32(i, 1)));
    const __m128d p2 = _mm_loadu_pd(table + static_cast<uint32_t>(_mm_extract_epi32(i, 2)));
    const __m128d p3 = _mm_loadu_pd(table + static_cast<uint32_t>(_mm_extract_epi32(i, 3)));
    const __m256d p02 = _mm256_insertf128_pd(_mm256_castpd128_pd256(p0), p2, 1);
    const __m256d p13 = _mm256_insertf128_pd(_mm256_castpd128_pd256(p1), p3, 1);
    const __m256d lo = _mm256_unpacklo_pd(p02, p13);
    const __m256d hi = _mm256_unpackhi_pd(p02, p13);
    return _mm256_add_pd(lo, _mm256_mul_pd(f, _mm256_sub_pd(hi, lo)));
}

// What a run does with each value s: stores it, or adds s level, or
// s level swing[i], to x[i].
enum class Use { Store, Add, AddSwung };

// A loop tone's run four samples at a time; returns how many samples it did.
// The accumulators ride in double lanes (whole numbers below 2^30, so exact),
// which is the form the turn's formula takes them in. One copy per use, so the
// loop holds no branch.
template <Use use>
[[gnu::target("avx2")]] int loopToneRunAvx2(const double* table, const LoopTone& tone, int64_t& acc,
                                            int n, double* x, double level, const double* swing) {
    const Lanes l = lanesFrom(tone, acc);
    __m256d lanes = _mm256_cvtepi32_pd(_mm_load_si128(reinterpret_cast<const __m128i*>(l.acc)));
    const __m256d step = _mm256_set1_pd(l.step);
    const __m256d period = _mm256_set1_pd(static_cast<double>(tone.period));
    const __m256d inv = _mm256_set1_pd(tone.invPeriod);
    const __m256d phase = _mm256_set1_pd(tone.phase);
    const __m256d gain = _mm256_set1_pd(level);
    int i = 0;
    // Two rounds per pass share the loop's count and branch.
#pragma GCC unroll 2
    for (; i + kLanes <= n; i += kLanes) {
        // The turn is left in [0, 2) rather than brought back below 1: for t in
        // [1, 2), t - 1 is exact, so t kSize lies exactly kSize above the
        // wrapped turn's position, with the same fraction, and the table's
        // second period holds the same neighbours there.
        const __m256d v = sineAt4(table, _mm256_add_pd(_mm256_mul_pd(lanes, inv), phase));
        if constexpr (use == Use::Store) {
            _mm256_storeu_pd(x + i, v);
        } else if constexpr (use == Use::Add) {
            _mm256_storeu_pd(x + i, _mm256_add_pd(_mm256_loadu_pd(x + i), _mm256_mul_pd(v, gain)));
        } else {
            _mm256_storeu_pd(x + i, _mm256_add_pd(_mm256_loadu_pd(x + i),
                                                  _mm256_mul_pd(_mm256_mul_pd(v, gain),
                                                                _mm256_loadu_pd(swing + i))));
        }
        // Four samples on, less the period where that reaches it.
        lanes = _mm256_add_pd(lanes, step);
        lanes =
            _mm256_sub_pd(lanes, _mm256_and_pd(_mm256_cmp_pd(lanes, period, _CMP_GE_OQ), period));
    }
    acc = _mm_cvtsi128_si32(_mm256_cvttpd_epi32(lanes));
    return i;
}

// SineTable::at for two turns with SSE2 (the baseline): the same interpolation.
inline __m128d sineAt2(const double* table, __m128d turns) {
    const __m128d p = _mm_mul_pd(turns, _mm_set1_pd(SineTable::kSize));
    const __m128i i = _mm_cvttpd_epi32(p);
    const __m128d f = _mm_sub_pd(p, _mm_cvtepi32_pd(i));
    const __m128d p0 = _mm_loadu_pd(table + static_cast<uint32_t>(_mm_cvtsi128_si32(i)));
    const __m128d p1 =
        _mm_loadu_pd(table + static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(i, 4))));
    const __m128d lo = _mm_unpacklo_pd(p0, p1);
    const __m128d hi = _mm_unpackhi_pd(p0, p1);
    return _mm_add_pd(lo, _mm_mul_pd(f, _mm_sub_pd(hi, lo)));
}

// A loop tone's run two samples at a time on any processor (the four-lane
// run's arithmetic, two lanes wide); returns how many samples it did.
template <Use use>
int loopToneRunSse2(const double* table, const LoopTone& tone, int64_t& acc, int n, double* x,
                    double level, const double* swing) {
    constexpr int kPair = 2;
    __m128d lanes = _mm_set_pd(static_cast<double>(tone.advance(acc)), static_cast<double>(acc));
    const __m128d step = _mm_set1_pd(static_cast<double>((kPair * tone.cycles) % tone.period));
    const __m128d period = _mm_set1_pd(static_cast<double>(tone.period));
    const __m128d inv = _mm_set1_pd(tone.invPeriod);
    const __m128d phase = _mm_set1_pd(tone.phase);
    const __m128d gain = _mm_set1_pd(level);
    int i = 0;
    for (; i + kPair <= n; i += kPair) {
        // Unwrapped turns, read in the table's second period (see the four-lane run).
        const __m128d v = sineAt2(table, _mm_add_pd(_mm_mul_pd(lanes, inv), phase));
        if constexpr (use == Use::Store) {
            _mm_storeu_pd(x + i, v);
        } else if constexpr (use == Use::Add) {
            _mm_storeu_pd(x + i, _mm_add_pd(_mm_loadu_pd(x + i), _mm_mul_pd(v, gain)));
        } else {
            _mm_storeu_pd(x + i,
                          _mm_add_pd(_mm_loadu_pd(x + i),
                                     _mm_mul_pd(_mm_mul_pd(v, gain), _mm_loadu_pd(swing + i))));
        }
        lanes = _mm_add_pd(lanes, step);
        lanes = _mm_sub_pd(lanes, _mm_and_pd(_mm_cmpge_pd(lanes, period), period));
    }
    acc = static_cast<int64_t>(_mm_cvtsd_f64(lanes));
    return i;
}

template <Use use>
int loopToneRunWide(const double* table, const LoopTone& tone, int64_t& acc, int n, double* x,
                    double level, const double* swing) {
    if (cpuHasAvx2()) return loopToneRunAvx2<use>(table, tone, acc, n, x, level, swing);
    return loopToneRunSse2<use>(table, tone, acc, n, x, level, swing);
}

void loopTone(const SineTable& sine, const LoopTone& tone, int64_t& acc, int n, double* x, Use use,
              double level, const double* swing) {
    int i = 0;
    if (fitsLanes(tone)) {
        switch (use) {
        case Use::Store:
            i = loopToneRunWide<Use::Store>(sine.values(), tone, acc, n, x, level, swing);
            break;
        case Use::Add:
            i = loopToneRunWide<Use::Add>(sine.values(), tone, acc, n, x, level, swing);
            break;
        case Use::AddSwung:
            i = loopToneRunWide<Use::AddSwung>(sine.values(), tone, acc, n, x, level, swing);
            break;
        }
    }
    for (; i < n; ++i) {
        double t = static_cast<double>(acc) * tone.invPeriod + tone.phase;
        if (t >= 1.0) t -= 1.0;
        acc = tone.advance(acc);
        const double v = sine.at(t);
        switch (use) {
        case Use::Store:
            x[i] = v;
            break;
        case Use::Add:
            x[i] += v * level;
            break;
        case Use::AddSwung:
            x[i] += v * level * swing[i];
            break;
        }
    }
}

// swellRun four samples at a time; returns how many samples it wrote.
[[gnu::target("avx2")]] int swellRunAvx2(const double* table, const LoopTone& tone, double lead,
                                         int64_t& acc, int n, double* out) {
    const Lanes l = lanesFrom(tone, acc);
    __m128i lanes = _mm_load_si128(reinterpret_cast<const __m128i*>(l.acc));
    const __m128i step = _mm_set1_epi32(l.step);
    const __m128i last = _mm_set1_epi32(static_cast<int32_t>(tone.period - 1));
    const __m128i period = _mm_set1_epi32(static_cast<int32_t>(tone.period));
    const __m256d periodLength = _mm256_set1_pd(static_cast<double>(tone.period));
    const __m256d leadTurns = _mm256_set1_pd(lead);
    const __m256d quarter = _mm256_set1_pd(0.25);
    const __m256d one = _mm256_set1_pd(1.0);
    int i = 0;
    for (; i + kLanes <= n; i += kLanes) {
        __m256d t = _mm256_div_pd(_mm256_cvtepi32_pd(lanes), periodLength);
        t = _mm256_add_pd(_mm256_sub_pd(t, leadTurns), quarter);
        t = _mm256_sub_pd(t, _mm256_floor_pd(t));
        t = _mm256_and_pd(_mm256_cmp_pd(t, one, _CMP_LT_OQ), t);
        _mm256_storeu_pd(out + i, sineAt4(table, t));
        lanes = stepLanes(lanes, step, last, period);
    }
    acc = _mm_cvtsi128_si32(lanes);
    return i;
}

// t - floor(t), and 0 where that rounds onto a whole turn: fracTurns for four.
[[gnu::target("avx2")]] inline __m256d fracTurns4(__m256d t) {
    t = _mm256_sub_pd(t, _mm256_floor_pd(t));
    return _mm256_and_pd(_mm256_cmp_pd(t, _mm256_set1_pd(1.0), _CMP_LT_OQ), t);
}

// tickBurstRun four samples at a time; returns how many samples it wrote.
[[gnu::target("avx2")]] int tickBurstRunAvx2(const double* table, const TickBurst& tick,
                                             const double* envelope, int n, double* out) {
    const __m256d hz = _mm256_set1_pd(tick.hz);
    const __m256d overHz = _mm256_set1_pd(tick.overHz);
    const __m256d overtone = _mm256_set1_pd(tick.overtone);
    const __m256d level = _mm256_set1_pd(tick.level);
    const __m256d lead = _mm256_set1_pd(tick.lead);
    const __m256d rate = _mm256_set1_pd(tick.rate);
    __m256d m = _mm256_set_pd(3.0, 2.0, 1.0, 0.0);
    const __m256d four = _mm256_set1_pd(kLanes);
    int i = 0;
    for (; i + kLanes <= n; i += kLanes) {
        const __m256d t = _mm256_div_pd(_mm256_add_pd(lead, m), rate);
        const __m256d body = sineAt4(table, fracTurns4(_mm256_mul_pd(hz, t)));
        const __m256d over =
            _mm256_mul_pd(sineAt4(table, fracTurns4(_mm256_mul_pd(overHz, t))), overtone);
        const __m256d gain = _mm256_mul_pd(level, _mm256_loadu_pd(envelope + i));
        _mm256_storeu_pd(out + i, _mm256_mul_pd(gain, _mm256_add_pd(body, over)));
        m = _mm256_add_pd(m, four);
    }
    return i;
}

} // namespace

SineTable::SineTable() : v_(2 * kSize + 1) {
    static_assert(kSize == kSineTableSize);
    for (int i = 0; i <= kSize; ++i) {
        double x = 2.0 * kPiValue * i / kSize;
        if (x > kPiValue) x -= 2.0 * kPiValue;
        v_[i] = seriesSin(x);
    }
    std::copy(v_.begin() + 1, v_.begin() + kSize + 1, v_.begin() + kSize + 1);
}

double SineTable::sinAngle(double radians) const {
    return at(fracTurns(radians / (2.0 * kPiValue)));
}

double SineTable::cosAngle(double radians) const {
    return at(fracTurns(radians / (2.0 * kPiValue) + 0.25));
}

LoopTone LoopTone::of(double hz, double phaseTurns, int length, double rate) {
    LoopTone tone;
    tone.cycles = std::max<int64_t>(1, std::llround(hz * length / rate));
    tone.period = length;
    tone.invPeriod = 1.0 / length;
    tone.phase = phaseTurns;
    return tone;
}

void loopToneRun(const SineTable& sine, const LoopTone& tone, int64_t& acc, int n, double* out) {
    loopTone(sine, tone, acc, n, out, Use::Store, 0.0, nullptr);
}

void addLoopTone(const SineTable& sine, const LoopTone& tone, int64_t& acc, int n, double level,
                 const double* swing, double* x) {
    loopTone(sine, tone, acc, n, x, swing ? Use::AddSwung : Use::Add, level, swing);
}

void swellRun(const SineTable& sine, const LoopTone& tone, double lead, int64_t& acc, int n,
              double* out) {
    int i = 0;
    if (cpuHasAvx2() && fitsLanes(tone)) i = swellRunAvx2(sine.values(), tone, lead, acc, n, out);
    for (; i < n; ++i) {
        double turns = static_cast<double>(acc) / static_cast<double>(tone.period) - lead + 0.25;
        turns = fracTurns(turns);
        acc = tone.advance(acc);
        out[i] = sine.at(turns);
    }
}

void tickBurstRun(const SineTable& sine, const TickBurst& tick, const double* envelope, int n,
                  double* out) {
    int i = 0;
    if (cpuHasAvx2()) i = tickBurstRunAvx2(sine.values(), tick, envelope, n, out);
    for (; i < n; ++i) {
        const double t = (tick.lead + i) / tick.rate;
        const double body = sine.at(fracTurns(tick.hz * t));
        const double over = sine.at(fracTurns(tick.overHz * t)) * tick.overtone;
        out[i] = tick.level * envelope[i] * (body + over);
    }
}

} // namespace zel::motor_noise
