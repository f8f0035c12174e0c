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

} // namespace

EarlyReflections::EarlyReflections()
    : lines_{std::vector<double>(kLineLength, 0.0), std::vector<double>(kLineLength, 0.0)} {
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
    for (int i = 0; i < kSide; ++i) {
        for (int side = 0; side < 2; ++side) {
            const Tap& tap = taps_[side * kSide + i];
            const double phi = tap.fraction;
            run_.newerWeight[i][side] = 1.0 - phi;
            run_.olderWeight[i][side] = phi;
            run_.gain[i][side] = tap.gain;
            run_.pole[i][side] = tap.pole;
            run_.delay[i][side] = tap.delay;
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
    if (!linesClear_)
        for (std::vector<double>& line : lines_) std::fill(line.begin(), line.end(), 0.0);
    linesClear_ = true;
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

// Each register holds [left 2k, right 2k, left 2k+1, right 2k+1]: the same
// operations per lane as the narrow form, and each side's sum still adds its
// taps in order.
void EarlyReflections::processRunWide(const double* left, const double* right, const double* level,
                                      double* outLeft, double* outRight, int count) {
    constexpr int kQuads = kSide / 2;
    static_assert(kSide % 2 == 0);
    __m256d newerWeight[kQuads], olderWeight[kQuads], gain[kQuads], pole[kQuads], state[kQuads];
    for (int k = 0; k < kQuads; ++k) {
        // Pairs 2k and 2k + 1 lie next to each other.
        newerWeight[k] = _mm256_loadu_pd(reinterpret_cast<const double*>(run_.newerWeight + 2 * k));
        olderWeight[k] = _mm256_loadu_pd(reinterpret_cast<const double*>(run_.olderWeight + 2 * k));
        gain[k] = _mm256_loadu_pd(reinterpret_cast<const double*>(run_.gain + 2 * k));
        pole[k] = _mm256_loadu_pd(reinterpret_cast<const double*>(run_.pole + 2 * k));
        state[k] = _mm256_loadu_pd(reinterpret_cast<const double*>(run_.state + 2 * k));
    }
    const __m256d guard = _mm256_set1_pd(kEngineGuard);
    int32_t n = n_;
    double* lineL = lines_[0].data() + 1;
    double* lineR = lines_[1].data() + 1;
    linesClear_ = linesClear_ && count <= 0;
    for (int j = 0; j < count; n &= room::kBufferMask) {
        ReadOffsets offset;
        const int end = j + straightStretch(n, count - j, offset);
        for (; j < end; ++j, ++n) {
            writeLines(lineL, lineR, n, left[j], right[j]);
            // One sample before the newer of each tap's two.
            const double* olderL = lineL + n - 1;
            const double* olderR = lineR + n - 1;
            __m128d sum = _mm_setzero_pd();
#pragma GCC unroll 6
            for (int k = 0; k < kQuads; ++k) {
                const int a = 2 * k, b = 2 * k + 1;
                // Each read is [older, newer] of one side and tap.
                const __m256d readsL = _mm256_set_m128d(_mm_loadu_pd(olderL + offset[b][0]),
                                                        _mm_loadu_pd(olderL + offset[a][0]));
                const __m256d readsR = _mm256_set_m128d(_mm_loadu_pd(olderR + offset[b][1]),
                                                        _mm_loadu_pd(olderR + offset[a][1]));
                const __m256d older = _mm256_unpacklo_pd(readsL, readsR);
                const __m256d newer = _mm256_unpackhi_pd(readsL, readsR);
                const __m256d v = _mm256_mul_pd(_mm256_add_pd(_mm256_mul_pd(newerWeight[k], newer),
                                                              _mm256_mul_pd(olderWeight[k], older)),
                                                gain[k]);
                __m256d s = _mm256_add_pd(v, _mm256_mul_pd(pole[k], _mm256_sub_pd(state[k], v)));
                s = _mm256_add_pd(s, guard);
                s = _mm256_sub_pd(s, guard);
                state[k] = s;
                sum = _mm_add_pd(sum, _mm256_castpd256_pd128(s));
                sum = _mm_add_pd(sum, _mm256_extractf128_pd(s, 1));
            }
            double pair[2];
            _mm_storeu_pd(pair, sum);
            outLeft[j] = denormalGuard(pair[0] * level[j]);
            outRight[j] = denormalGuard(pair[1] * level[j]);
        }
    }
    for (int k = 0; k < kQuads; ++k) {
        _mm256_storeu_pd(reinterpret_cast<double*>(run_.state + 2 * k), state[k]);
    }
    n_ = n;
}

} // namespace zel
