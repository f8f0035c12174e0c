// The directivity sections of a unit's rays side by side: one gliding filter
// section per ray, each computing exactly what a BiquadFilter's gliding process
// computes for an enabled section (its glide steps, the coefficients rebuilt from
// the moving roots, the recursion and its guard), but stored value by value
// across the rays, four rays to a vector register where the processor has AVX2
// and two otherwise (SSE2, the baseline of both builds). One pass then does the
// same step for all rays. Audio-thread object.
#pragma once

#include "engine/BiquadFilter.h"
#include "engine/CpuFeatures.h"
#include "engine/OnePole.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace zel {

template <int N> class GlidingSections {
public:
    static_assert(N % 4 == 0, "rays go two or four to a register");
    static constexpr int kLanes = N;

    // A section at rest: coefficients c, no glide, cleared history; a glide over
    // `glideLength` samples follows each later target.
    void reset(int lane, const BiquadCoefficients& c, int32_t glideLength) noexcept {
        glideLength_ = glideLength;
        setCoefficients(lane, c);
        double values[BiquadFilter::kGlidedValues];
        BiquadFilter::glideValuesOf(c, values);
        for (int k = 0; k < BiquadFilter::kGlidedValues; ++k) {
            goal_[k][lane] = now_[k][lane] = values[k];
            step_[k][lane] = 0.0;
        }
        count_ = 0;
        x1_[lane] = x2_[lane] = y1_[lane] = y2_[lane] = 0.0;
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
        for (int k = 0; k < BiquadFilter::kGlidedValues; ++k) {
            goal_[k][lane] = values[k];
            step_[k][lane] = (values[k] - now_[k][lane]) * inv;
        }
        count_ = glideLength_;
        if (glideLength_ <= 0) snap(lane);
    }

    // New targets for the lanes with use[lane] set, exactly as setTarget would
    // set them one by one, two lanes at a time. The others keep their targets and
    // stop where they are (see freeze).
    void setTargets(const BiquadCoefficients* c, const bool* use) noexcept {
        bool any = false;
        for (int lane = 0; lane < N; ++lane) {
            if (!use[lane]) continue;
            setCoefficients(lane, c[lane]);
            any = true;
        }
        if (!any) return;
        const double inv = glideLength_ > 0 ? 1.0 / glideLength_ : 0.0;
        for (int i = 0; i < N; i += 2) {
            Vec2 values[BiquadFilter::kGlidedValues];
            glideValuesOf(i, values);
            const Mask2 taken = {use[i] ? -1 : 0, use[i + 1] ? -1 : 0};
            const Vec2 zero = {0.0, 0.0};
            for (int k = 0; k < BiquadFilter::kGlidedValues; ++k) {
                Vec2 goal, now, step;
                std::memcpy(&goal, &goal_[k][i], sizeof goal);
                std::memcpy(&now, &now_[k][i], sizeof now);
                std::memcpy(&step, &step_[k][i], sizeof step);
                goal = select(taken, values[k], goal);
                step = select(taken, (values[k] - now) * inv, zero);
                std::memcpy(&goal_[k][i], &goal, sizeof goal);
                std::memcpy(&step_[k][i], &step, sizeof step);
            }
        }
        count_ = glideLength_;
        if (glideLength_ <= 0) {
            for (int lane = 0; lane < N; ++lane)
                if (use[lane]) snap(lane);
        }
    }

    // The lane stops gliding where it is. The lanes share one glide count, which
    // the other lanes' targets keep restarting: a lane the unit leaves out of its
    // targets (a ray it does not hear) is frozen, or it would step on for ever.
    void freeze(int lane) noexcept {
        for (int k = 0; k < BiquadFilter::kGlidedValues; ++k) step_[k][lane] = 0.0;
    }

    // Finishes the glide (the lane's values reach their goals; the others stop
    // where they are).
    void snap(int lane) noexcept {
        for (int k = 0; k < BiquadFilter::kGlidedValues; ++k) now_[k][lane] = goal_[k][lane];
        endGlide();
    }

    // One sample for every lane: y[i] from x[i]. Four lanes to a register where
    // the processor has AVX2, two otherwise; the arithmetic is the same.
    void process(const double* x, double* y) noexcept {
        const bool gliding = count_ > 0;
        if (gliding) --count_;
        if (cpuHasAvx2())
            processWide(x, y, gliding);
        else
            processNarrow(x, y, gliding);
        if (gliding && count_ == 0) endGlide();
    }

    // The lane's target coefficients (a0, the normalizer, is not kept: 1).
    BiquadCoefficients target(int lane) const noexcept {
        return {1.0, a1_[lane], a2_[lane], b0_[lane], b1_[lane], b2_[lane]};
    }
    int32_t glideCount() const noexcept { return count_; }

private:
    enum { kZaRe, kZaIm, kZbRe, kZbIm, kPaRe, kPaIm, kPbRe, kPbIm, kGain };
    static_assert(BiquadFilter::kGlidedValues == kGain + 1);

    [[gnu::target("avx2")]] void processWide(const double* x, double* y, bool gliding) noexcept {
        run<Vec4>(x, y, gliding);
    }
    void processNarrow(const double* x, double* y, bool gliding) noexcept {
        run<Vec2>(x, y, gliding);
    }

    using Vec2 = double __attribute__((vector_size(16)));
    using Vec4 = double __attribute__((vector_size(32)));
    using Mask2 = long long __attribute__((vector_size(16)));

    // a where m is set, b elsewhere, bit for bit.
    static Vec2 select(Mask2 m, Vec2 a, Vec2 b) noexcept {
        return reinterpret_cast<Vec2>((reinterpret_cast<Mask2>(a) & m) |
                                      (reinterpret_cast<Mask2>(b) & ~m));
    }

    // BiquadFilter::glideValuesOf for the target coefficients of lanes i and
    // i + 1, with the same operations: the roots of the numerator (none for b0 =
    // 0) and the denominator, real or complex by the sign of the discriminant.
    void glideValuesOf(int i, Vec2* values) const noexcept {
        Vec2 b0, b1, b2, a1, a2;
        std::memcpy(&b0, &b0_[i], sizeof b0);
        std::memcpy(&b1, &b1_[i], sizeof b1);
        std::memcpy(&b2, &b2_[i], sizeof b2);
        std::memcpy(&a1, &a1_[i], sizeof a1);
        std::memcpy(&a2, &a2_[i], sizeof a2);
        const Vec2 zero = {0.0, 0.0};

        const Vec2 D = b1 * b1 - 4.0 * b0 * b2;
        const Vec2 twoB0 = 2.0 * b0;
        const Mask2 realZeros = D >= 0.0;
        const Vec2 absD = select(realZeros, D, -D);
        const Vec2 s = {std::sqrt(absD[0]), std::sqrt(absD[1])};
        const Vec2 zRe = -b1 / twoB0;
        const Mask2 hasZeros = b0 != 0.0;
        values[kZaRe] = select(hasZeros, select(realZeros, (-b1 - s) / twoB0, zRe), zero);
        values[kZaIm] = select(hasZeros, select(realZeros, zero, -s / twoB0), zero);
        values[kZbRe] = select(hasZeros, select(realZeros, (s - b1) / twoB0, zRe), zero);
        values[kZbIm] = select(hasZeros, select(realZeros, zero, s / twoB0), zero);

        const Vec2 E = a1 * a1 - 4.0 * a2;
        const Mask2 realPoles = E >= 0.0;
        const Vec2 absE = select(realPoles, E, -E);
        const Vec2 t = {std::sqrt(absE[0]), std::sqrt(absE[1])};
        const Vec2 pRe = -a1 * 0.5;
        values[kPaRe] = select(realPoles, (-a1 - t) * 0.5, pRe);
        values[kPaIm] = select(realPoles, zero, -t * 0.5);
        values[kPbRe] = select(realPoles, (t - a1) * 0.5, pRe);
        values[kPbIm] = select(realPoles, zero, t * 0.5);
        values[kGain] = b0;
    }

    // As many lanes at a time as Vec holds. Vectors are read and written with
    // memcpy (no helper takes or returns one: the wide ones would cross a call
    // boundary compiled without AVX).
    template <typename Vec>
    [[gnu::always_inline]] inline void run(const double* x, double* y, bool gliding) noexcept {
        constexpr int W = sizeof(Vec) / sizeof(double);
        constexpr size_t kBytes = sizeof(Vec);
        for (int i = 0; i < N; i += W) {
            Vec b0, b1, b2, a1, a2;
            if (gliding) {
                // The glide's step and the coefficients rebuilt from the roots.
                Vec zaRe, zaIm, zbRe, zbIm, paRe, paIm, pbRe, pbIm, gain;
                stepGlide(zaRe, kZaRe, i);
                stepGlide(zaIm, kZaIm, i);
                stepGlide(zbRe, kZbRe, i);
                stepGlide(zbIm, kZbIm, i);
                stepGlide(paRe, kPaRe, i);
                stepGlide(paIm, kPaIm, i);
                stepGlide(pbRe, kPbRe, i);
                stepGlide(pbIm, kPbIm, i);
                stepGlide(gain, kGain, i);
                b0 = gain;
                b1 = -(zaRe + zbRe) * gain;
                b2 = (zaRe * zbRe - zaIm * zbIm) * gain;
                a1 = -(paRe + pbRe);
                a2 = paRe * pbRe - paIm * pbIm;
            } else {
                std::memcpy(&b0, &b0_[i], kBytes);
                std::memcpy(&b1, &b1_[i], kBytes);
                std::memcpy(&b2, &b2_[i], kBytes);
                std::memcpy(&a1, &a1_[i], kBytes);
                std::memcpy(&a2, &a2_[i], kBytes);
            }
            // The recursion as BiquadFilter runs it: the history's share first,
            // then the guard.
            Vec in, x1, x2, y1, y2;
            std::memcpy(&in, x + i, kBytes);
            std::memcpy(&x1, &x1_[i], kBytes);
            std::memcpy(&x2, &x2_[i], kBytes);
            std::memcpy(&y1, &y1_[i], kBytes);
            std::memcpy(&y2, &y2_[i], kBytes);
            const Vec history = b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
            Vec out = b0 * in + history;
            out = out + kRecursionGuard;
            out = out - kRecursionGuard;
            std::memcpy(y + i, &out, kBytes);
            std::memcpy(&x2_[i], &x1, kBytes);
            std::memcpy(&x1_[i], &in, kBytes);
            std::memcpy(&y2_[i], &y1, kBytes);
            std::memcpy(&y1_[i], &out, kBytes);
        }
    }

    // One glided value of the lanes from i on: a step further, kept and handed
    // out in z.
    template <typename Vec>
    [[gnu::always_inline]] inline void stepGlide(Vec& z, int k, int i) noexcept {
        Vec now, step;
        std::memcpy(&now, &now_[k][i], sizeof(Vec));
        std::memcpy(&step, &step_[k][i], sizeof(Vec));
        z = now + step;
        std::memcpy(&now_[k][i], &z, sizeof(Vec));
    }

    // No glide runs: the values stay where they are until the next target.
    void endGlide() noexcept {
        count_ = 0;
        for (auto& values : step_)
            for (double& s : values) s = 0.0;
    }

    void setCoefficients(int lane, const BiquadCoefficients& c) noexcept {
        b0_[lane] = c.b0;
        b1_[lane] = c.b1;
        b2_[lane] = c.b2;
        a1_[lane] = c.a1;
        a2_[lane] = c.a2;
    }

    // Target coefficients (used once a glide is over).
    alignas(32) double b0_[N] = {}, b1_[N] = {}, b2_[N] = {}, a1_[N] = {}, a2_[N] = {};
    // The glided values now, their goals and their steps per sample.
    alignas(32) double now_[BiquadFilter::kGlidedValues][N] = {};
    alignas(32) double goal_[BiquadFilter::kGlidedValues][N] = {};
    alignas(32) double step_[BiquadFilter::kGlidedValues][N] = {};
    alignas(32) double x1_[N] = {}, x2_[N] = {}, y1_[N] = {}, y2_[N] = {};
    int32_t count_ = 0;
    int32_t glideLength_ = 0;
};

} // namespace zel
