// The engine's three cross-path rings, one write index for all: what the drum
// cross unit, the horn cross unit and the bass-reflex port sent, read back at
// fractional delays with linear interpolation (readLinear). The rings lie end
// to end in one block, so the four reads that feed the microphones every
// simulated frame can run as one AVX2 register (gathered from the block) where
// the processor has it; both ways give the same values to the bit.
// Audio-thread object.
#pragma once

#include "engine/CpuFeatures.h"
#include "engine/Interpolation.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <immintrin.h>
#include <memory>

namespace zel {

class CrossRings {
public:
    static constexpr int kLength = 1024;
    static constexpr unsigned kMask = kLength - 1;
    enum Ring { kDrum, kHorn, kBassReflex, kRings };

    CrossRings() : data_(std::make_unique<double[]>(kRings * kLength)) {}

    void clear() { std::fill(data_.get(), data_.get() + kRings * kLength, 0.0); }
    void write(unsigned r, double drum, double horn, double bassReflex) {
        const unsigned at = r & kMask;
        data_[kDrum * kLength + at] = drum;
        data_[kHorn * kLength + at] = horn;
        data_[kBassReflex * kLength + at] = bassReflex;
    }
    // The ring `delay` samples before index r.
    double read(Ring ring, unsigned r, double delay) const {
        return readLinear(data_.get() + ring * kLength, kMask, kLength,
                          static_cast<double>(r) - delay);
    }

    // The four feeds of the microphones, delays d[0] to d[3]: the drum cross
    // path and the port into the horn microphones, the horn cross path and the
    // port into the drum microphone.
    struct Feeds {
        double drumToHorn, portToHorn, hornToDrum, portToDrum;
    };
    Feeds feeds(unsigned r, const double* d) const { return feeds(r, d, cpuHasAvx2()); }
    // The same, with the choice of the AVX2 way made by the caller (wide only
    // where cpuHasAvx2()), once for many reads.
    Feeds feeds(unsigned r, const double* d, bool wide) const {
        return wide ? feedsWideCall(r, d) : feedsNarrow(r, d);
    }

    // readLinear four lanes wide, each lane in its own ring (cpuHasAvx2() only),
    // for callers that inline it into an AVX2 loop of their own.
    [[gnu::target("avx2"), gnu::always_inline]] inline Feeds feedsWide(unsigned r,
                                                                       const double* d) const {
        const __m256d len = _mm256_set1_pd(kLength);
        __m256d position =
            _mm256_sub_pd(_mm256_set1_pd(static_cast<double>(r)), _mm256_loadu_pd(d));
        position = _mm256_blendv_pd(position, _mm256_add_pd(position, len),
                                    _mm256_cmp_pd(position, _mm256_setzero_pd(), _CMP_LT_OQ));
        const __m256d inside =
            _mm256_and_pd(_mm256_cmp_pd(position, _mm256_setzero_pd(), _CMP_GE_OQ),
                          _mm256_cmp_pd(position, len, _CMP_LT_OQ));
        // A delay beyond the ring or not a number: the lanes one at a time.
        if (_mm256_movemask_pd(inside) != 0xF) return feedsNarrow(r, d);
        const __m128i whole = _mm256_cvttpd_epi32(position);
        const __m256d t = _mm256_sub_pd(position, _mm256_cvtepi32_pd(whole));
        const __m128i mask = _mm_set1_epi32(static_cast<int>(kMask));
        const __m128i a = _mm_and_si128(whole, mask);
        const __m128i b = _mm_and_si128(_mm_add_epi32(a, _mm_set1_epi32(1)), mask);
        const __m128i base = _mm_setr_epi32(kDrum * kLength, kBassReflex * kLength, kHorn * kLength,
                                            kBassReflex * kLength);
        const __m256d all = _mm256_castsi256_pd(_mm256_set1_epi32(-1));
        const __m256d va = _mm256_mask_i32gather_pd(_mm256_setzero_pd(), data_.get(),
                                                    _mm_add_epi32(a, base), all, 8);
        const __m256d vb = _mm256_mask_i32gather_pd(_mm256_setzero_pd(), data_.get(),
                                                    _mm_add_epi32(b, base), all, 8);
        const __m256d y = _mm256_add_pd(_mm256_mul_pd(_mm256_sub_pd(_mm256_set1_pd(1.0), t), va),
                                        _mm256_mul_pd(t, vb));
        // Straight into the result: the four values lie in it as in y.
        Feeds f;
        static_assert(sizeof f == sizeof y && offsetof(Feeds, portToDrum) == 3 * sizeof(double));
        _mm256_storeu_pd(&f.drumToHorn, y);
        return f;
    }

    // read of one ring at four samples' indices r .. r + 3 (each masked) with
    // one delay, four wide (cpuHasAvx2() only): per lane the same operations as
    // read, for a delay in (-1, kLength], where every position lies within one
    // wrap of the ring and read takes no slow path.
    [[gnu::target("avx2"), gnu::always_inline]] inline __m256d readFour(Ring ring, unsigned r,
                                                                        double delay) const {
        const __m128i mask = _mm_set1_epi32(static_cast<int>(kMask));
        const __m128i index = _mm_and_si128(
            _mm_add_epi32(_mm_set1_epi32(static_cast<int>(r)), _mm_setr_epi32(0, 1, 2, 3)), mask);
        const __m256d len = _mm256_set1_pd(kLength);
        __m256d position = _mm256_sub_pd(_mm256_cvtepi32_pd(index), _mm256_set1_pd(delay));
        position = _mm256_blendv_pd(position, _mm256_add_pd(position, len),
                                    _mm256_cmp_pd(position, _mm256_setzero_pd(), _CMP_LT_OQ));
        const __m128i whole = _mm256_cvttpd_epi32(position);
        const __m256d t = _mm256_sub_pd(position, _mm256_cvtepi32_pd(whole));
        const __m128i a = _mm_and_si128(whole, mask);
        const __m128i b = _mm_and_si128(_mm_add_epi32(a, _mm_set1_epi32(1)), mask);
        const double* base = data_.get() + ring * kLength;
        // Usually the four lanes read four neighbouring slots, away from the
        // ring's end: two plain loads. Otherwise gathers.
        __m256d va, vb;
        const int a0 = _mm_cvtsi128_si32(a);
        const __m128i row = _mm_add_epi32(_mm_set1_epi32(a0), _mm_setr_epi32(0, 1, 2, 3));
        if (a0 + 4 < kLength && _mm_movemask_epi8(_mm_cmpeq_epi32(a, row)) == 0xFFFF) {
            va = _mm256_loadu_pd(base + a0);
            vb = _mm256_loadu_pd(base + a0 + 1);
        } else {
            const __m256d all = _mm256_castsi256_pd(_mm256_set1_epi32(-1));
            va = _mm256_mask_i32gather_pd(_mm256_setzero_pd(), base, a, all, 8);
            vb = _mm256_mask_i32gather_pd(_mm256_setzero_pd(), base, b, all, 8);
        }
        return _mm256_add_pd(_mm256_mul_pd(_mm256_sub_pd(_mm256_set1_pd(1.0), t), va),
                             _mm256_mul_pd(t, vb));
    }

private:
    // feedsWide as a call of its own, for callers without the AVX2 target.
    [[gnu::target("avx2"), gnu::noinline]] Feeds feedsWideCall(unsigned r, const double* d) const {
        return feedsWide(r, d);
    }
    [[gnu::noinline]] Feeds feedsNarrow(unsigned r, const double* d) const {
        return {read(kDrum, r, d[0]), read(kBassReflex, r, d[1]), read(kHorn, r, d[2]),
                read(kBassReflex, r, d[3])};
    }

    std::unique_ptr<double[]> data_;
};

} // namespace zel
