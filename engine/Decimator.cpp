#include "engine/Decimator.h"

#include "engine/WidePaths.h"
#include "engine/data/DecimatorTables.h"

#include <algorithm>
#include <cstring>
#include <immintrin.h>

namespace zel {

static_assert(Decimator::kTaps == decimator::kTaps);

void Decimator::setFactor(int factor) noexcept {
    const decimator::Table* table = decimator::tableFor(factor);
    table_ = table ? table->data() : nullptr;
    factor_ = table ? factor : 1;
}

void Decimator::clear() noexcept {
    input_.fill(0.0f);
    outLeft_.fill(0.0f);
    outRight_.fill(0.0f);
    index_ = kStartIndex;
}

namespace {

using Float4 = float __attribute__((vector_size(16)));

// Partial j of a dot product adds the products of taps j, j + 8, j + 16 and
// j + 24, in that order; low holds partials 0..3, high 4..7.
struct Partials {
    Float4 low, high;
};

[[gnu::always_inline]] inline Float4 load4(const float* p) noexcept {
    Float4 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// Entries 0..3 of a history whose entry 0 was written just now: entry 0 read
// on its own (a read of exactly what was written comes straight from the
// write) and 1..3 read beside it. A wider read over entry 0 would have to wait
// until the write has reached the cache.
[[gnu::always_inline]] inline Float4 newestFour(const float* history) noexcept {
    const __m128 older = _mm_loadu_ps(history + 1); // entries 1..4
    return _mm_move_ss(_mm_shuffle_ps(older, older, _MM_SHUFFLE(2, 1, 0, 0)), _mm_load_ss(history));
}

[[gnu::always_inline]] inline Partials partials(const float* table, const float* history) noexcept {
    Partials p = {Float4{0, 0, 0, 0}, Float4{0, 0, 0, 0}};
    for (int k = 0; k < Decimator::kTaps; k += 8) {
        p.low += load4(table + k) * (k == 0 ? newestFour(history) : load4(history + k));
        p.high += load4(table + k + 4) * load4(history + k + 4);
    }
    return p;
}

// The same eight partial sums, one register of eight.
[[gnu::always_inline, gnu::target("avx2")]] inline __m256
partialsEight(const float* table, const float* history) noexcept {
    __m256 sum = _mm256_setzero_ps();
    for (int k = 0; k < Decimator::kTaps; k += 8) {
        const __m256 h = k == 0 ? _mm256_insertf128_ps(_mm256_castps128_ps256(newestFour(history)),
                                                       _mm_loadu_ps(history + 4), 1)
                                : _mm256_loadu_ps(history + k);
        sum = _mm256_add_ps(sum, _mm256_mul_ps(_mm256_loadu_ps(table + k), h));
    }
    return sum;
}

[[gnu::always_inline, gnu::target("avx2")]] inline Partials
partialsWide(const float* table, const float* history) noexcept {
    const __m256 sum = partialsEight(table, history);
    return {_mm256_castps256_ps128(sum), _mm256_extractf128_ps(sum, 1)};
}

// totals of two sets of eight partials (a, b) with both halves of each
// register reduced at once: the same sums of the same operands as totals.
[[gnu::always_inline, gnu::target("avx2")]] inline void totalsWide(__m256 a, __m256 b, float& ya,
                                                                   float& yb) noexcept {
    // Per half: a's neighbours summed, then b's: [a0+a1, a2+a3, b0+b1, b2+b3 |
    // a4+a5, a6+a7, b4+b5, b6+b7].
    const __m256 pairs = _mm256_add_ps(_mm256_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0)),
                                       _mm256_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1)));
    // [(a0+a1)+(a2+a3), (b0+b1)+(b2+b3), .. | (a4+a5)+(a6+a7), (b4+b5)+(b6+b7), ..].
    const __m256 quads = _mm256_add_ps(_mm256_shuffle_ps(pairs, pairs, _MM_SHUFFLE(2, 0, 2, 0)),
                                       _mm256_shuffle_ps(pairs, pairs, _MM_SHUFFLE(3, 1, 3, 1)));
    const __m128 sums = _mm_add_ps(_mm256_castps256_ps128(quads), _mm256_extractf128_ps(quads, 1));
    ya = _mm_cvtss_f32(sums);
    yb = _mm_cvtss_f32(_mm_shuffle_ps(sums, sums, _MM_SHUFFLE(1, 1, 1, 1)));
}

// Lanes 0, 2, 4, 6 and lanes 1, 3, 5, 7 of a and b, added: neighbours summed.
[[gnu::always_inline]] inline Float4 neighbourSums(Float4 a, Float4 b) noexcept {
    const Float4 even = _mm_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0));
    const Float4 odd = _mm_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1));
    return even + odd;
}

// ((p0 + p1) + (p2 + p3)) + ((p4 + p5) + (p6 + p7)).
[[gnu::always_inline]] inline float total(const Partials& p) noexcept {
    const Float4 pairs = neighbourSums(p.low, p.high); // p0+p1, p2+p3, p4+p5, p6+p7
    const Float4 quads = neighbourSums(pairs, pairs);  // (p0+p1)+(p2+p3), (p4+p5)+(p6+p7), ..
    return quads[0] + quads[1];
}

// The totals of two dot products, reduced side by side.
[[gnu::always_inline]] inline void totals(const Partials& a, const Partials& b, float& ya,
                                          float& yb) noexcept {
    const Float4 quads = neighbourSums(neighbourSums(a.low, a.high), neighbourSums(b.low, b.high));
    const Float4 sums = neighbourSums(quads, quads); // a's total, b's total, ..
    ya = sums[0];
    yb = sums[1];
}

} // namespace

// The path is chosen when the decimator is made (a test may ask for the
// baseline one first).
Decimator::Decimator() noexcept : wide_(useWidePaths()) {}

float Decimator::dot(const float* table, const float* history) noexcept {
    return total(partials(table, history));
}

float Decimator::dotWide(const float* table, const float* history) noexcept {
    return total(partialsWide(table, history));
}

void Decimator::dotPair(const float* table, const float* a, const float* b, float& ya,
                        float& yb) noexcept {
    totals(partials(table, a), partials(table, b), ya, yb);
}

void Decimator::dotPairWide(const float* table, const float* a, const float* b, float& ya,
                            float& yb) noexcept {
    totalsWide(partialsEight(table, a), partialsEight(table, b), ya, yb);
}

void Decimator::pushOnly(double a) noexcept {
    index_ = (index_ + kTaps - 1) & (kTaps - 1);
    const float x = static_cast<float>(a);
    input_[index_] = x;
    input_[index_ + kTaps] = x;
}

double Decimator::pushInput(double a) noexcept {
    pushOnly(a);
    if (!table_) return static_cast<float>(a);
    return wide_ ? dotWide(table_, &input_[index_]) : dot(table_, &input_[index_]);
}

void Decimator::pushRun(const double* a, const int8_t* kind, int* index, double* filtered,
                        int n) noexcept {
    if (table_ && wide_) return pushFramesWide(a, kind, index, filtered, n);
    if (!table_) return pushFramesPlain(a, kind, index, filtered, n);
    int k = 0;
    for (int i = 0; i < n; ++i) {
        if (kind[i] == kSkip) continue;
        if (kind[i] == kPushAndFilter)
            filtered[k++] = pushInput(a[i]);
        else
            pushOnly(a[i]);
        index[i] = index_;
    }
}

// pushRun without a table: the pushes keep the history (a table may come with
// a new rate) and each filtered value is the input in single precision, with the
// history index in a register over the run.
void Decimator::pushFramesPlain(const double* a, const int8_t* kind, int* index, double* filtered,
                                int n) noexcept {
    int k = 0;
    int at = index_;
    for (int i = 0; i < n; ++i) {
        if (kind[i] == kSkip) continue;
        at = (at + kTaps - 1) & (kTaps - 1);
        const float x = static_cast<float>(a[i]);
        input_[at] = x;
        input_[at + kTaps] = x;
        if (kind[i] == kPushAndFilter) filtered[k++] = x;
        index[i] = at;
    }
    index_ = at;
}

inline int Decimator::writeOutput(int index, double left, double right) noexcept {
    index &= kTaps - 1;
    const double gain = factor_;
    const float l = static_cast<float>(left * gain);
    const float r = static_cast<float>(right * gain);
    outLeft_[index] = l;
    outLeft_[index + kTaps] = l;
    outRight_[index] = r;
    outRight_[index + kTaps] = r;
    return index;
}

Decimator::Pair Decimator::interpolateAt(int index, double left, double right) noexcept {
    if (!table_) return {static_cast<float>(left), static_cast<float>(right)};
    index = writeOutput(index, left, right);
    float yl, yr;
    if (wide_)
        dotPairWide(table_, &outLeft_[index], &outRight_[index], yl, yr);
    else
        dotPair(table_, &outLeft_[index], &outRight_[index], yl, yr);
    return {yl, yr};
}

// The frames of a run with the processor's choice of dot product made once
// and the dot products inlined into the loop.
void Decimator::interpolateFrames(const int* index, double* left, double* right, int n) noexcept {
    for (int i = 0; i < n; ++i) {
        const int at = writeOutput(index[i], left[i], right[i]);
        float yl, yr;
        totals(partials(table_, &outLeft_[at]), partials(table_, &outRight_[at]), yl, yr);
        left[i] = yl;
        right[i] = yr;
    }
}

namespace {

// Whether the frames' indices follow each other, each one below the last (as
// the pushes of a run without bypassed frames leave them).
bool consecutive(const int* index, int n) noexcept {
    for (int i = 1; i < n; ++i)
        if (((index[0] - i) & (Decimator::kTaps - 1)) != (index[i] & (Decimator::kTaps - 1)))
            return false;
    return true;
}

// The outputs of eight frames at once, one lane each, for two histories:
// frame i's taps read history[i - k] (history oldest first, frame 0's newest
// entry at history[0]). The products go into four sums (taps k, k + 4, ...) by
// fused multiply-adds, added pairwise at the end. Another order than the
// one-frame dot products (which reduce eight partial sums across a register):
// the sums of 32 products differ by a few of float's 2^-24 steps of the
// products' magnitude.
[[gnu::always_inline, gnu::target("avx2,fma")]] inline void
eightFrames(const float* table, const float* left, const float* right, __m256& yl,
            __m256& yr) noexcept {
    __m256 l[4], r[4];
    for (int j = 0; j < 4; ++j) l[j] = r[j] = _mm256_setzero_ps();
#pragma GCC unroll 32
    for (int k = 0; k < Decimator::kTaps; ++k) {
        const __m256 t = _mm256_broadcast_ss(table + k);
        l[k % 4] = _mm256_fmadd_ps(t, _mm256_loadu_ps(left - k), l[k % 4]);
        r[k % 4] = _mm256_fmadd_ps(t, _mm256_loadu_ps(right - k), r[k % 4]);
    }
    yl = _mm256_add_ps(_mm256_add_ps(l[0], l[1]), _mm256_add_ps(l[2], l[3]));
    yr = _mm256_add_ps(_mm256_add_ps(r[0], r[1]), _mm256_add_ps(r[2], r[3]));
}

[[gnu::always_inline, gnu::target("avx2,fma")]] inline void widen(__m256 y, double* to) noexcept {
    _mm256_storeu_pd(to, _mm256_cvtps_pd(_mm256_castps256_ps128(y)));
    _mm256_storeu_pd(to + 4, _mm256_cvtps_pd(_mm256_extractf128_ps(y, 1)));
}

} // namespace

// Frames that follow each other read one stretch of the history: it is laid
// out oldest first, and eight frames are computed side by side (eightFrames),
// with no sums across a register. Frames that skip indices take the one-frame
// dot products.
void Decimator::interpolateFramesWide(const int* index, double* left, double* right,
                                      int n) noexcept {
    if (!consecutive(index, n)) {
        for (int i = 0; i < n; ++i) {
            const int at = writeOutput(index[i], left[i], right[i]);
            float yl, yr;
            totalsWide(partialsEight(table_, &outLeft_[at]), partialsEight(table_, &outRight_[at]),
                       yl, yr);
            left[i] = yl;
            right[i] = yr;
        }
        return;
    }
    constexpr int kChunk = 64, kOlder = kTaps - 1;
    for (int c = 0; c < n; c += kChunk) {
        const int m = std::min(kChunk, n - c);
        // Entries kOlder before the chunk's first frame, its frames, and zeros
        // up to the next eight.
        alignas(32) float histLeft[kOlder + kChunk + 8], histRight[kOlder + kChunk + 8];
        const int first = index[c] & (kTaps - 1);
        for (int k = 1; k <= kOlder; ++k) {
            histLeft[kOlder - k] = outLeft_[first + k];
            histRight[kOlder - k] = outRight_[first + k];
        }
        // The chunk's pairs scaled and rounded as writeOutput does, four at a
        // time; only the last kTaps of them are still in the history after
        // the chunk (the indices run through all of its slots).
        const __m256d gain = _mm256_set1_pd(factor_);
        int f = 0;
        for (; f + 4 <= m; f += 4) {
            _mm_storeu_ps(histLeft + kOlder + f,
                          _mm256_cvtpd_ps(_mm256_mul_pd(_mm256_loadu_pd(left + c + f), gain)));
            _mm_storeu_ps(histRight + kOlder + f,
                          _mm256_cvtpd_ps(_mm256_mul_pd(_mm256_loadu_pd(right + c + f), gain)));
        }
        for (; f < m; ++f) {
            histLeft[kOlder + f] = static_cast<float>(left[c + f] * factor_);
            histRight[kOlder + f] = static_cast<float>(right[c + f] * factor_);
        }
        for (f = std::max(0, m - kTaps); f < m; ++f) {
            const int at = index[c + f] & (kTaps - 1);
            outLeft_[at] = outLeft_[at + kTaps] = histLeft[kOlder + f];
            outRight_[at] = outRight_[at + kTaps] = histRight[kOlder + f];
        }
        for (int i = m; i < ((m + 7) & ~7); ++i) histLeft[kOlder + i] = histRight[kOlder + i] = 0;
        for (int i = 0; i < m; i += 8) {
            __m256 yl, yr;
            eightFrames(table_, histLeft + kOlder + i, histRight + kOlder + i, yl, yr);
            if (m - i >= 8) {
                widen(yl, left + c + i);
                widen(yr, right + c + i);
            } else {
                double l[8], r[8];
                widen(yl, l);
                widen(yr, r);
                std::copy(l, l + (m - i), left + c + i);
                std::copy(r, r + (m - i), right + c + i);
            }
        }
    }
}

namespace {

// Whether the frames of a run (at most 64) filter every other push from their
// first filtered one on (as the engine's runs at a factor of 2 do).
bool everyOtherPush(const int8_t* kind, int n) noexcept {
    int pushes = 0, first = -1, filters = 0;
    for (int i = 0; i < n; ++i) {
        if (kind[i] == Decimator::kSkip) continue;
        if (kind[i] == Decimator::kPushAndFilter) {
            if (first < 0) first = pushes;
            if (pushes != first + 2 * filters) return false;
            ++filters;
        }
        ++pushes;
    }
    return true;
}

// The filtered values of eight pushes that follow each other two apart, one
// lane each: the even taps read `even` (the pushes at the filtered ones'
// places, oldest first, output 0's newest at even[0]) and the odd taps read
// `odd` (the pushes one before them), each tap's products into one of four
// sums by fused multiply-adds, added pairwise at the end: float's rounding of
// the same 32 products as the one-frame dot products, in another order.
[[gnu::always_inline, gnu::target("avx2,fma")]] inline __m256
everyOtherEight(const float* table, const float* even, const float* odd) noexcept {
    __m256 sum[4];
    for (int j = 0; j < 4; ++j) sum[j] = _mm256_setzero_ps();
#pragma GCC unroll 16
    for (int u = 0; u < Decimator::kTaps / 2; ++u) {
        sum[u % 2] = _mm256_fmadd_ps(_mm256_broadcast_ss(table + 2 * u), _mm256_loadu_ps(even - u),
                                     sum[u % 2]);
        sum[2 + u % 2] = _mm256_fmadd_ps(_mm256_broadcast_ss(table + 2 * u + 1),
                                         _mm256_loadu_ps(odd - u), sum[2 + u % 2]);
    }
    return _mm256_add_ps(_mm256_add_ps(sum[0], sum[1]), _mm256_add_ps(sum[2], sum[3]));
}

} // namespace

// pushOnly for each of n frames, with each frame's index after its push in
// index[i] and its rounded value in pushed[i]: the values four at a time (the
// same rounding as pushOnly's) and, of the history's slots, only those the
// last kTaps pushes leave (the indices run through all of them). Returns n.
int Decimator::pushEvery(const double* a, int* index, float* pushed, int n) noexcept {
    int i = 0;
    for (; i + 4 <= n; i += 4) _mm_storeu_ps(pushed + i, _mm256_cvtpd_ps(_mm256_loadu_pd(a + i)));
    for (; i < n; ++i) pushed[i] = static_cast<float>(a[i]);
    const int start = index_;
    for (i = 0; i < n; ++i) index[i] = (start - 1 - i) & (kTaps - 1);
    for (i = std::max(0, n - kTaps); i < n; ++i) {
        input_[index[i]] = pushed[i];
        input_[index[i] + kTaps] = pushed[i];
    }
    if (n > 0) index_ = index[n - 1];
    return n;
}

// pushRun with the AVX2 dot product inlined into the loop; at a factor of 2,
// where every other push is filtered, the filtered values eight at a time
// (everyOtherEight), without the one-frame dot products' sums across a
// register.
void Decimator::pushFramesWide(const double* a, const int8_t* kind, int* index, double* filtered,
                               int n) noexcept {
    int k = 0;
    // The longest run at a factor of 2 (the engine's runs there are 128
    // frames, 64 of them filtered).
    constexpr int kChunk = 128;
    if (factor_ != 2 || n > kChunk || !everyOtherPush(kind, n)) {
        for (int i = 0; i < n; ++i) {
            if (kind[i] == kSkip) continue;
            pushOnly(a[i]);
            if (kind[i] == kPushAndFilter)
                filtered[k++] = total(partialsWide(table_, &input_[index_]));
            index[i] = index_;
        }
        return;
    }
    // The history oldest first: the kOlder entries before the run, then its
    // pushes.
    constexpr int kOlder = kTaps - 1, kHalf = kTaps / 2 - 1;
    float history[kOlder + kChunk];
    for (int j = 0; j < kOlder; ++j) history[kOlder - 1 - j] = input_[index_ + j];
    int pushes = 0, first = -1, filters = 0;
    if (std::none_of(kind, kind + n, [](int8_t kindOf) { return kindOf == kSkip; })) {
        pushes = pushEvery(a, index, history + kOlder, n);
        for (int i = 0; i < n; ++i) {
            if (kind[i] != kPushAndFilter) continue;
            if (first < 0) first = i;
            ++filters;
        }
    } else {
        for (int i = 0; i < n; ++i) {
            if (kind[i] == kSkip) continue;
            pushOnly(a[i]);
            index[i] = index_;
            history[kOlder + pushes] = input_[index_];
            if (kind[i] == kPushAndFilter) {
                if (first < 0) first = pushes;
                ++filters;
            }
            ++pushes;
        }
    }
    if (filters == 0) return;
    // Filtered push j at history[at + 2 j]: its even taps read at + 2 (j - u),
    // its odd ones at + 2 (j - u) - 1, for u = 0 .. 15 (at - 31 = first >= 0).
    const int at = kOlder + first;
    const int padded = (filters + 7) & ~7;
    float even[kHalf + kChunk / 2 + 8], odd[kHalf + kChunk / 2 + 8];
    for (int j = -kHalf; j < filters; ++j) {
        even[kHalf + j] = history[at + 2 * j];
        odd[kHalf + j] = history[at + 2 * j - 1];
    }
    for (int j = filters; j < padded; ++j) even[kHalf + j] = odd[kHalf + j] = 0.0f;
    alignas(32) float y[kChunk / 2 + 8];
    for (int j = 0; j < filters; j += 8)
        _mm256_store_ps(y + j, everyOtherEight(table_, even + kHalf + j, odd + kHalf + j));
    for (int j = 0; j < filters; ++j) filtered[j] = y[j];
}

void Decimator::interpolateRun(const int* index, double* left, double* right, int n) noexcept {
    if (wide_)
        interpolateFramesWide(index, left, right, n);
    else
        interpolateFrames(index, left, right, n);
}

} // namespace zel
