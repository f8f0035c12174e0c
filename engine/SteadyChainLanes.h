// Four steady BiquadFilter sections in series run as a wavefront in one AVX2
// register: at step t lane k runs section k on sample t - k, taking the sample
// lane k - 1 finished one step earlier (lane 0 the new sample). Each lane's
// arithmetic is term for term the section's own. Shared by the chain's own
// runs (BiquadFilter::processSteadyChain4Wide) and callers that feed it from a
// recursion of their own in the same loop, so the two recursions' waits
// overlap. Only where cpuHasAvx2().
#pragma once

#include "engine/BiquadFilter.h"
#include "engine/OnePole.h"

#include <immintrin.h>

namespace zel {

struct SteadyChainLanes {
    static constexpr int kLanes = 4;
    // Steps before the first sample reaches the last lane.
    static constexpr int kFill = kLanes - 1;

    __m256d b0, b1, b2, a1, a2;
    __m256d in1, in2, out1, out2;

    // The chain's target coefficients and histories (each section's input
    // history is its predecessor's output history).
    [[gnu::target("avx2")]] static SteadyChainLanes load(BiquadFilter* const (&chain)[kLanes]) {
        alignas(32) double b0[kLanes], b1[kLanes], b2[kLanes], a1[kLanes], a2[kLanes];
        alignas(32) double x1[kLanes], x2[kLanes], y1[kLanes], y2[kLanes];
        for (int k = 0; k < kLanes; ++k) {
            const BiquadCoefficients& c = chain[k]->target();
            b0[k] = c.b0;
            b1[k] = c.b1;
            b2[k] = c.b2;
            a1[k] = c.a1;
            a2[k] = c.a2;
            y1[k] = chain[k]->state().y1;
            y2[k] = chain[k]->state().y2;
        }
        x1[0] = chain[0]->state().x1;
        x2[0] = chain[0]->state().x2;
        for (int k = 1; k < kLanes; ++k) {
            x1[k] = y1[k - 1];
            x2[k] = y2[k - 1];
        }
        return {_mm256_load_pd(b0), _mm256_load_pd(b1), _mm256_load_pd(b2),
                _mm256_load_pd(a1), _mm256_load_pd(a2), _mm256_load_pd(x1),
                _mm256_load_pd(x2), _mm256_load_pd(y1), _mm256_load_pd(y2)};
    }

    // Hands the histories back to the sections.
    [[gnu::target("avx2")]] void store(BiquadFilter* const (&chain)[kLanes]) const {
        alignas(32) double x1[kLanes], x2[kLanes], y1[kLanes], y2[kLanes];
        _mm256_store_pd(y1, out1);
        _mm256_store_pd(y2, out2);
        _mm256_store_pd(x1, in1);
        _mm256_store_pd(x2, in2);
        chain[0]->setHistory(x1[0], x2[0], y1[0], y2[0]);
        for (int k = 1; k < kLanes; ++k) chain[k]->setHistory(y1[k - 1], y2[k - 1], y1[k], y2[k]);
    }

    // The lanes' inputs: the new sample in lane 0, each other lane its
    // predecessor's last output.
    [[gnu::target("avx2"), gnu::always_inline]] inline __m256d inputs(double sample) const {
        const __m256d up = _mm256_permute4x64_pd(out1, _MM_SHUFFLE(2, 1, 0, 0));
        return _mm256_blend_pd(up, _mm256_set1_pd(sample), 0x1);
    }

    // The recursion of each lane, term for term as a section computes it.
    [[gnu::target("avx2"), gnu::always_inline]] inline __m256d recursion(__m256d v) const {
        const __m256d guard = _mm256_set1_pd(kRecursionGuard);
        const __m256d history = _mm256_sub_pd(
            _mm256_sub_pd(_mm256_add_pd(_mm256_mul_pd(b1, in1), _mm256_mul_pd(b2, in2)),
                          _mm256_mul_pd(a1, out1)),
            _mm256_mul_pd(a2, out2));
        return _mm256_sub_pd(_mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(b0, v), history), guard),
                             guard);
    }

    // A step with every lane running.
    [[gnu::target("avx2"), gnu::always_inline]] inline void step(double sample) {
        const __m256d v = inputs(sample);
        const __m256d y = recursion(v);
        in2 = in1;
        in1 = v;
        out2 = out1;
        out1 = y;
    }

    // A step with only lanes first..last running; the others keep their
    // histories.
    [[gnu::target("avx2")]] void maskedStep(double sample, int first, int last) {
        alignas(32) int64_t bits[kLanes];
        for (int k = 0; k < kLanes; ++k) bits[k] = (k >= first && k <= last) ? -1 : 0;
        const __m256d running =
            _mm256_castsi256_pd(_mm256_load_si256(reinterpret_cast<const __m256i*>(bits)));
        const __m256d v = inputs(sample);
        const __m256d y = recursion(v);
        in2 = _mm256_blendv_pd(in2, in1, running);
        in1 = _mm256_blendv_pd(in1, v, running);
        out2 = _mm256_blendv_pd(out2, out1, running);
        out1 = _mm256_blendv_pd(out1, y, running);
    }

    // The chain's output of the step just taken (lane 3's).
    [[gnu::target("avx2"), gnu::always_inline]] inline double last() const {
        const __m128d high = _mm256_extractf128_pd(out1, 1);
        return _mm_cvtsd_f64(_mm_unpackhi_pd(high, high));
    }
};

} // namespace zel
