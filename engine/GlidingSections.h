// The directivity sections of a unit's rays side by side: one gliding filter
// section per ray, each computing exactly what a BiquadFilter's gliding process
// computes for an enabled section (its glide steps, the coefficients rebuilt from
// the moving roots, the recursion and its guard), but stored value by value
// across the rays, two rays to a vector register (SSE2, the baseline of both
// builds). One pass then does the same step for all rays. Audio-thread object.
#pragma once

#include "engine/BiquadFilter.h"
#include "engine/OnePole.h"

#include <cstdint>
#include <cstring>

namespace zel {

template <int N> class GlidingSections {
public:
    static_assert(N % 2 == 0, "rays go two to a register");
    static constexpr int kLanes = N;

    // A section at rest: coefficients c, no glide, cleared history; a glide over
    // `glideLength` samples follows each later target.
    void reset(int lane, const BiquadCoefficients& c, int32_t glideLength) noexcept {
        glideLength_ = glideLength;
        setCoefficients(lane, c);
        double values[BiquadFilter::kGlidedValues];
        BiquadFilter::glideValuesOf(c, values);
        const int v = lane / 2, j = lane % 2;
        for (int k = 0; k < BiquadFilter::kGlidedValues; ++k) {
            goal_[k][v][j] = now_[k][v][j] = values[k];
            step_[k][v][j] = 0.0;
        }
        count_ = 0;
        x1_[v][j] = x2_[v][j] = y1_[v][j] = y2_[v][j] = 0.0;
    }

    // New target coefficients: the section glides to them over the glide length
    // (BiquadFilter's setTarget on a section that is not in immediate mode). The
    // sections share one glide count: the unit sets its rays' targets on the same
    // samples.
    void setTarget(int lane, const BiquadCoefficients& c) noexcept {
        setCoefficients(lane, c);
        double values[BiquadFilter::kGlidedValues];
        BiquadFilter::glideValuesOf(c, values);
        const double inv = glideLength_ > 0 ? 1.0 / glideLength_ : 0.0;
        const int v = lane / 2, j = lane % 2;
        for (int k = 0; k < BiquadFilter::kGlidedValues; ++k) {
            goal_[k][v][j] = values[k];
            step_[k][v][j] = (values[k] - now_[k][v][j]) * inv;
        }
        count_ = glideLength_;
        if (glideLength_ <= 0) snap(lane);
    }

    // Finishes the glide (the lane's values reach their goals; the others stop
    // where they are).
    void snap(int lane) noexcept {
        const int v = lane / 2, j = lane % 2;
        for (int k = 0; k < BiquadFilter::kGlidedValues; ++k) now_[k][v][j] = goal_[k][v][j];
        endGlide();
    }

    // One sample for every lane: y[i] from x[i].
    void process(const double* x, double* y) noexcept {
        if (count_ > 0) {
            --count_;
            for (int v = 0; v < kVectors; ++v) {
                // The glide's step and the coefficients rebuilt from the roots.
                Vec z[BiquadFilter::kGlidedValues];
                for (int k = 0; k < BiquadFilter::kGlidedValues; ++k) {
                    z[k] = now_[k][v] + step_[k][v];
                    now_[k][v] = z[k];
                }
                const Vec gain = z[kGain];
                const Vec b1 = -(z[kZaRe] + z[kZbRe]) * gain;
                const Vec b2 = (z[kZaRe] * z[kZbRe] - z[kZaIm] * z[kZbIm]) * gain;
                const Vec a1 = -(z[kPaRe] + z[kPbRe]);
                const Vec a2 = z[kPaRe] * z[kPbRe] - z[kPaIm] * z[kPbIm];
                run(v, x, y, gain, b1, b2, a1, a2);
            }
            if (count_ == 0) endGlide();
        } else {
            for (int v = 0; v < kVectors; ++v) run(v, x, y, b0_[v], b1_[v], b2_[v], a1_[v], a2_[v]);
        }
    }

    // The lane's target coefficients (a0, the normalizer, is not kept: 1).
    BiquadCoefficients target(int lane) const noexcept {
        const int v = lane / 2, j = lane % 2;
        return {1.0, a1_[v][j], a2_[v][j], b0_[v][j], b1_[v][j], b2_[v][j]};
    }
    int32_t glideCount() const noexcept { return count_; }

private:
    using Vec = double __attribute__((vector_size(16)));
    static constexpr int kVectors = N / 2;
    enum { kZaRe, kZaIm, kZbRe, kZbIm, kPaRe, kPaIm, kPbRe, kPbIm, kGain };
    static_assert(BiquadFilter::kGlidedValues == kGain + 1);

    // The recursion as BiquadFilter runs it: the history's share first, then the
    // guard.
    void run(int v, const double* x, double* y, Vec b0, Vec b1, Vec b2, Vec a1, Vec a2) noexcept {
        Vec in;
        std::memcpy(&in, x + 2 * v, sizeof in);
        const Vec history = b1 * x1_[v] + b2 * x2_[v] - a1 * y1_[v] - a2 * y2_[v];
        Vec out = b0 * in + history;
        out = out + kRecursionGuard;
        out = out - kRecursionGuard;
        std::memcpy(y + 2 * v, &out, sizeof out);
        x2_[v] = x1_[v];
        x1_[v] = in;
        y2_[v] = y1_[v];
        y1_[v] = out;
    }

    // No glide runs: the values stay where they are until the next target.
    void endGlide() noexcept {
        count_ = 0;
        for (auto& values : step_)
            for (Vec& s : values) s = Vec{0.0, 0.0};
    }

    void setCoefficients(int lane, const BiquadCoefficients& c) noexcept {
        const int v = lane / 2, j = lane % 2;
        b0_[v][j] = c.b0;
        b1_[v][j] = c.b1;
        b2_[v][j] = c.b2;
        a1_[v][j] = c.a1;
        a2_[v][j] = c.a2;
    }

    // Target coefficients (used once a glide is over).
    Vec b0_[kVectors] = {}, b1_[kVectors] = {}, b2_[kVectors] = {};
    Vec a1_[kVectors] = {}, a2_[kVectors] = {};
    // The glided values now, their goals and their steps per sample.
    Vec now_[BiquadFilter::kGlidedValues][kVectors] = {};
    Vec goal_[BiquadFilter::kGlidedValues][kVectors] = {};
    Vec step_[BiquadFilter::kGlidedValues][kVectors] = {};
    Vec x1_[kVectors] = {}, x2_[kVectors] = {}, y1_[kVectors] = {}, y2_[kVectors] = {};
    int32_t count_ = 0;
    int32_t glideLength_ = 0;
};

} // namespace zel
