#include "engine/EarlyReflections.h"

#include "engine/OnePole.h"
#include "engine/data/CabinetGeometry.h"

#include <algorithm>
#include <cmath>
#include <immintrin.h>

namespace zel {

namespace {

// Each line's entries and, in front of them, the copy of its last one.
constexpr int kLineLength = room::kBufferLength + 1;

// The single-precision taps' guard. A decaying low-pass stops where its step
// falls under half the guard's rounding step (2^-90 here), at most 2^-90 / (2 (1
// - pole)), about 3e-25 for the 20 Hz floor at 96 kHz: far below the engine's
// output guard, which turns it into exact zeros (float's step at the double
// path's guard, 1e-12, would leave some 4e-17).
constexpr float kFloatGuard = 1e-20f;

} // namespace

EarlyReflections::EarlyReflections()
    : lines_{std::vector<double>(kLineLength, 0.0), std::vector<double>(kLineLength, 0.0)},
      floatLines_{std::vector<float>(kLineLength, 0.0f), std::vector<float>(kLineLength, 0.0f)} {
    rebuild();
}

void EarlyReflections::rebuild() {
    const double size = roomSize_.load();
    const double spread = size * virtualSize_.load();
    const double lr = lrDelay_.load();
    // The farthest path of the cross sets is heard 20 dB down; everything else
    // falls linearly in dB with its own path length.
    double farthest = 0;
    for (int i = 0; i < room::kTapsPerSide; ++i)
        farthest = std::max(
            {farthest, room::kCrossPathsA[i] * spread + lr, room::kCrossPathsB[i] * spread + lr});
    const double dbPerMetre = farthest > 0 ? room::kFarthestTapDb / farthest : 0.0;
    const double cutoff = mainCutoff_.load();
    buildSide(0, room::kLeftPaths, room::kLeftCutoffFactors, size, dbPerMetre, cutoff);
    buildSide(room::kTapsPerSide, room::kRightPaths, room::kRightCutoffFactors, size, dbPerMetre,
              cutoff);
    prepareRun();
}

void EarlyReflections::prepareRun() {
    int32_t longest = 0;
    for (const Tap& tap : taps_) longest = std::max(longest, tap.delay);
    run_.blocks = longest < room::kBufferLength - kBlock - 1;
    for (int i = 0; i < kSide; ++i) {
        for (int side = 0; side < 2; ++side) {
            const Tap& tap = taps_[side * kSide + i];
            const double phi = tap.fraction;
            run_.newerWeight[i][side] = 1.0 - phi;
            run_.olderWeight[i][side] = phi;
            run_.gain[i][side] = tap.gain;
            run_.pole[i][side] = tap.pole;
            run_.delay[i][side] = tap.delay;
            const int lane = 2 * i + side;
            run_.newerGain[lane] = static_cast<float>((1.0 - phi) * tap.gain);
            run_.olderGain[lane] = static_cast<float>(phi * tap.gain);
            run_.rise[lane] = static_cast<float>(1.0 - tap.pole);
        }
    }
}

void EarlyReflections::buildSide(int first, const std::array<double, room::kTapsPerSide>& paths,
                                 const std::array<double, room::kTapsPerSide>& cutoffFactors,
                                 double size, double dbPerMetre, double cutoff) {
    constexpr double kLongest = room::kBufferLength - 2; // the read takes one older sample
    for (int i = 0; i < room::kTapsPerSide; ++i) {
        Tap& tap = taps_[first + i];
        const double metres = paths[i] * size;
        tap.gain = std::pow(10.0, metres * dbPerMetre / 20.0);
        const double delay = std::clamp(metres * rate_ * cabinet::kSecondsPerMetre, 0.0, kLongest);
        tap.delay = static_cast<int32_t>(delay);
        tap.fraction = static_cast<float>(delay - tap.delay);
        const double hz =
            std::clamp(cutoffFactors[i] * cutoff, room::kMinCutoffHz, room::kMaxCutoffHz);
        tap.pole = poleFromFrequency(hz, rate_);
    }
}

void EarlyReflections::reset() {
    snapReturnLevel();
    rebuild();
    if (!linesClear_) {
        for (std::vector<double>& line : lines_) std::fill(line.begin(), line.end(), 0.0);
        for (std::vector<float>& line : floatLines_) std::fill(line.begin(), line.end(), 0.0f);
    }
    linesClear_ = true;
    floatLinesStale_ = false;
    for (auto& pair : run_.state) pair[0] = pair[1] = 0.0;
    n_ = 0;
}

void EarlyReflections::smoothReturnLevel(double coef) {
    level_ = smoothToward(level_, levelTarget_.load(), coef);
}

double EarlyReflections::longestDelay() const {
    double longest = 0;
    for (const Tap& tap : taps_) longest = std::max(longest, tap.delay + double(tap.fraction));
    return longest;
}

EarlyReflections::Output EarlyReflections::process(double left, double right, double level) {
    Output out;
    processRunNarrow(&left, &right, &level, &out.left, &out.right, 1);
    return out;
}

// Tap i of a side reads at (n - delay) & mask while the write position n moves
// on; as long as neither reaches the end of the line, that is n plus a fixed
// offset. Returns how many of the next `count` samples from n on are such a
// stretch (at least one), with the offsets.
int EarlyReflections::straightStretch(int32_t n, int count, ReadOffsets& offset) const {
    int stretch = std::min(count, room::kBufferLength - n);
    for (int i = 0; i < kSide; ++i) {
        for (int side = 0; side < 2; ++side) {
            const int32_t at = (n - run_.delay[i][side]) & room::kBufferMask;
            offset[i][side] = at - n;
            stretch = std::min(stretch, room::kBufferLength - at);
        }
    }
    return stretch;
}

namespace {
// Both lines' entry n, and the copy in front of each line's first entry when n
// is the last.
inline void writeLines(double* lineL, double* lineR, int32_t n, double l, double r) {
    lineL[n] = l;
    lineR[n] = r;
    if (n == room::kBufferMask) {
        lineL[-1] = l;
        lineR[-1] = r;
    }
}
} // namespace

// A tap delayed by delay + fraction samples reads between the sample `delay`
// back and the one before it: (1 - fraction) newer + fraction older. The copy
// in front of each line's first entry covers the wrap.
void EarlyReflections::processRunNarrow(const double* left, const double* right,
                                        const double* level, double* outLeft, double* outRight,
                                        int count) {
    int32_t n = n_;
    double* lineL = lines_[0].data() + 1;
    double* lineR = lines_[1].data() + 1;
    linesClear_ = linesClear_ && count <= 0;
    floatLinesStale_ = floatLinesStale_ || count > 0;
    Pair state[kSide];
    for (int i = 0; i < kSide; ++i) state[i] = run_.state[i];
    for (int j = 0; j < count; n &= room::kBufferMask) {
        ReadOffsets offset;
        const int end = j + straightStretch(n, count - j, offset);
        for (; j < end; ++j, ++n) {
            writeLines(lineL, lineR, n, left[j], right[j]);
            Pair sum = {0.0, 0.0};
#pragma GCC unroll 12
            for (int i = 0; i < kSide; ++i) {
                const double* atL = lineL + n + offset[i][0];
                const double* atR = lineR + n + offset[i][1];
                const Pair newer = {atL[0], atR[0]};
                const Pair older = {atL[-1], atR[-1]};
                const Pair v =
                    (run_.newerWeight[i] * newer + run_.olderWeight[i] * older) * run_.gain[i];
                Pair s = v + run_.pole[i] * (state[i] - v);
                s = s + kEngineGuard;
                s = s - kEngineGuard;
                state[i] = s;
                sum += s;
            }
            outLeft[j] = denormalGuard(sum[0] * level[j]);
            outRight[j] = denormalGuard(sum[1] * level[j]);
        }
    }
    for (int i = 0; i < kSide; ++i) run_.state[i] = state[i];
    n_ = n;
}

namespace {

// A tap of both sides: [older, newer] of the left side, then of the right,
// from the reads' start (one sample before the newer) and the tap's offsets.
[[gnu::always_inline, gnu::target("avx2,fma")]] inline __m128
readTap(const float* left, const float* right, const std::ptrdiff_t (&offset)[2]) {
    const __m128 l =
        _mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(left + offset[0])));
    return _mm_loadh_pi(l, reinterpret_cast<const __m64*>(right + offset[1]));
}

// Eight rows of eight, transposed: row q of the result holds entry q of each
// row of the input.
[[gnu::always_inline, gnu::target("avx2,fma")]] inline void transposeEight(__m256 (&r)[8]) {
    __m256 t[8], u[8];
    for (int i = 0; i < 8; i += 2) {
        t[i] = _mm256_unpacklo_ps(r[i], r[i + 1]);
        t[i + 1] = _mm256_unpackhi_ps(r[i], r[i + 1]);
    }
    for (int i = 0; i < 8; i += 4) {
        u[i] = _mm256_shuffle_ps(t[i], t[i + 2], _MM_SHUFFLE(1, 0, 1, 0));
        u[i + 1] = _mm256_shuffle_ps(t[i], t[i + 2], _MM_SHUFFLE(3, 2, 3, 2));
        u[i + 2] = _mm256_shuffle_ps(t[i + 1], t[i + 3], _MM_SHUFFLE(1, 0, 1, 0));
        u[i + 3] = _mm256_shuffle_ps(t[i + 1], t[i + 3], _MM_SHUFFLE(3, 2, 3, 2));
    }
    for (int i = 0; i < 4; ++i) {
        r[i] = _mm256_permute2f128_ps(u[i], u[i + 4], 0x20);
        r[i + 4] = _mm256_permute2f128_ps(u[i], u[i + 4], 0x31);
    }
}

} // namespace

// Single precision, eight lanes: register k holds [left 4k, right 4k, left 4k
// + 1, right 4k + 1, ...]. The taps' sums are not recursive and each low-pass
// is stepped as state + (1 - pole) (v - state), so float's relative step of
// 2^-24 stays a step of the output (the low-pass's noise gain is about
// sqrt(1 / (2 (1 - pole))), at most 20 for a 20 Hz corner at 96 kHz), far below
// what the room's return adds to the mix.
void EarlyReflections::processRunWide(const double* left, const double* right, const double* level,
                                      double* outLeft, double* outRight, int count) {
    constexpr int kRegisters = kSide / 4;
    static_assert(kSide % 4 == 0);
    if (floatLinesStale_) {
        for (int side = 0; side < 2; ++side)
            std::copy(lines_[side].begin(), lines_[side].end(), floatLines_[side].begin());
        floatLinesStale_ = false;
    }
    __m256 newerGain[kRegisters], olderGain[kRegisters], rise[kRegisters], state[kRegisters];
    for (int k = 0; k < kRegisters; ++k) {
        newerGain[k] = _mm256_loadu_ps(run_.newerGain + 8 * k);
        olderGain[k] = _mm256_loadu_ps(run_.olderGain + 8 * k);
        rise[k] = _mm256_loadu_ps(run_.rise + 8 * k);
        state[k] = _mm256_setr_m128(
            _mm256_cvtpd_ps(_mm256_loadu_pd(reinterpret_cast<const double*>(run_.state + 4 * k))),
            _mm256_cvtpd_ps(
                _mm256_loadu_pd(reinterpret_cast<const double*>(run_.state + 4 * k + 2))));
    }
    const __m256 guard = _mm256_set1_ps(kFloatGuard);
    int32_t n = n_;
    double* lineL = lines_[0].data() + 1;
    double* lineR = lines_[1].data() + 1;
    float* floatL = floatLines_[0].data() + 1;
    float* floatR = floatLines_[1].data() + 1;
    linesClear_ = linesClear_ && count <= 0;
    for (int j = 0; j < count; n &= room::kBufferMask) {
        ReadOffsets offset;
        const int end = j + straightStretch(n, count - j, offset);
        while (j < end) {
            if (run_.blocks && end - j >= kBlock) {
                // kBlock samples written, then each lane's taps read for all of
                // them (the same products per sample), turned into one register
                // per sample and stepped through the low-passes in order.
                for (int q = 0; q < kBlock; ++q) {
                    writeLines(lineL, lineR, n + q, left[j + q], right[j + q]);
                    const float l = static_cast<float>(left[j + q]);
                    const float r = static_cast<float>(right[j + q]);
                    floatL[n + q] = l;
                    floatR[n + q] = r;
                    if (n + q == room::kBufferMask) {
                        floatL[-1] = l;
                        floatR[-1] = r;
                    }
                }
                // Each register's low-passes run on their own; the sums over the
                // registers are added in the registers' order, as per sample.
                __m256 sum[kBlock];
                for (int q = 0; q < kBlock; ++q) sum[q] = _mm256_setzero_ps();
#pragma GCC unroll 3
                for (int k = 0; k < kRegisters; ++k) {
                    __m256 v[kBlock];
#pragma GCC unroll 8
                    for (int lane = 0; lane < 8; ++lane) {
                        const int side = lane & 1;
                        const float* older =
                            (side ? floatR : floatL) + n - 1 + offset[4 * k + lane / 2][side];
                        v[lane] = _mm256_fmadd_ps(
                            _mm256_broadcast_ss(run_.newerGain + 8 * k + lane),
                            _mm256_loadu_ps(older + 1),
                            _mm256_mul_ps(_mm256_broadcast_ss(run_.olderGain + 8 * k + lane),
                                          _mm256_loadu_ps(older)));
                    }
                    transposeEight(v);
                    __m256 st = state[k];
#pragma GCC unroll 8
                    for (int q = 0; q < kBlock; ++q) {
                        st = _mm256_fmadd_ps(rise[k], _mm256_sub_ps(v[q], st), st);
                        st = _mm256_add_ps(st, guard);
                        st = _mm256_sub_ps(st, guard);
                        sum[q] = _mm256_add_ps(sum[q], st);
                    }
                    state[k] = st;
                }
                for (int q = 0; q < kBlock; ++q) {
                    const __m128 quad = _mm_add_ps(_mm256_castps256_ps128(sum[q]),
                                                   _mm256_extractf128_ps(sum[q], 1));
                    const __m128 pair = _mm_add_ps(quad, _mm_movehl_ps(quad, quad));
                    double sides[2];
                    _mm_storeu_pd(sides, _mm_cvtps_pd(pair));
                    outLeft[j + q] = denormalGuard(sides[0] * level[j + q]);
                    outRight[j + q] = denormalGuard(sides[1] * level[j + q]);
                }
                j += kBlock;
                n += kBlock;
                continue;
            }
            writeLines(lineL, lineR, n, left[j], right[j]);
            const float l = static_cast<float>(left[j]), r = static_cast<float>(right[j]);
            floatL[n] = l;
            floatR[n] = r;
            if (n == room::kBufferMask) {
                floatL[-1] = l;
                floatR[-1] = r;
            }
            // One sample before the newer of each tap's two.
            const float* olderL = floatL + n - 1;
            const float* olderR = floatR + n - 1;
            __m256 sum = _mm256_setzero_ps();
#pragma GCC unroll 3
            for (int k = 0; k < kRegisters; ++k) {
                const int t = 4 * k;
                const __m256 even = _mm256_setr_m128(readTap(olderL, olderR, offset[t]),
                                                     readTap(olderL, olderR, offset[t + 2]));
                const __m256 odd = _mm256_setr_m128(readTap(olderL, olderR, offset[t + 1]),
                                                    readTap(olderL, olderR, offset[t + 3]));
                const __m256 older = _mm256_shuffle_ps(even, odd, _MM_SHUFFLE(2, 0, 2, 0));
                const __m256 newer = _mm256_shuffle_ps(even, odd, _MM_SHUFFLE(3, 1, 3, 1));
                const __m256 v =
                    _mm256_fmadd_ps(newerGain[k], newer, _mm256_mul_ps(olderGain[k], older));
                __m256 s = _mm256_fmadd_ps(rise[k], _mm256_sub_ps(v, state[k]), state[k]);
                s = _mm256_add_ps(s, guard);
                s = _mm256_sub_ps(s, guard);
                state[k] = s;
                sum = _mm256_add_ps(sum, s);
            }
            // [left, right, left, right] twice, then once.
            const __m128 quad =
                _mm_add_ps(_mm256_castps256_ps128(sum), _mm256_extractf128_ps(sum, 1));
            const __m128 pair = _mm_add_ps(quad, _mm_movehl_ps(quad, quad));
            double sides[2];
            _mm_storeu_pd(sides, _mm_cvtps_pd(pair));
            outLeft[j] = denormalGuard(sides[0] * level[j]);
            outRight[j] = denormalGuard(sides[1] * level[j]);
            ++j;
            ++n;
        }
    }
    for (int k = 0; k < kRegisters; ++k) {
        const __m128 low = _mm256_castps256_ps128(state[k]);
        const __m128 high = _mm256_extractf128_ps(state[k], 1);
        _mm256_storeu_pd(reinterpret_cast<double*>(run_.state + 4 * k), _mm256_cvtps_pd(low));
        _mm256_storeu_pd(reinterpret_cast<double*>(run_.state + 4 * k + 2), _mm256_cvtps_pd(high));
    }
    n_ = n;
}

} // namespace zel
