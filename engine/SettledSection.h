// Second-order sections that never glide, run inline: what BiquadFilter's
// process computes for an enabled section in immediate mode (its coefficients
// are its target at once): the history's share first, then the guard. The
// coefficients come from a BiquadFilter that keeps the section's settings, or
// from tables of them; SettledPair runs two such sections side by side in one
// SSE2 register. Audio-thread objects.
#pragma once

#include "engine/BiquadFilter.h"
#include "engine/OnePole.h"

#include <emmintrin.h>

namespace zel {

class SettledSection {
public:
    void setCoefficients(const BiquadCoefficients& c) noexcept { c_ = c; }
    const BiquadCoefficients& coefficients() const noexcept { return c_; }
    void clear() noexcept { x1_ = x2_ = y1_ = y2_ = 0.0; }

    double process(double x) noexcept {
        const double history = c_.b1 * x1_ + c_.b2 * x2_ - c_.a1 * y1_ - c_.a2 * y2_;
        const double y = denormalGuard(c_.b0 * x + history, kRecursionGuard);
        x2_ = x1_;
        x1_ = x;
        y2_ = y1_;
        y1_ = y;
        return y;
    }

private:
    friend class SettledPair;
    BiquadCoefficients c_;
    double x1_ = 0, x2_ = 0, y1_ = 0, y2_ = 0;
};

class SettledPair {
public:
    // Section 0 or 1.
    void setCoefficients(int section, const BiquadCoefficients& c) noexcept {
        b0_[section] = c.b0;
        b1_[section] = c.b1;
        b2_[section] = c.b2;
        a1_[section] = c.a1;
        a2_[section] = c.a2;
    }
    BiquadCoefficients coefficients(int section) const noexcept {
        return {1.0, a1_[section], a2_[section], b0_[section], b1_[section], b2_[section]};
    }
    void clear() noexcept {
        for (int i = 0; i < 2; ++i) x1_[i] = x2_[i] = y1_[i] = y2_[i] = 0.0;
    }

    // Section 0 or 1 takes a settled section's coefficients and state, or gives
    // its state back to one: two sections' runs side by side.
    void take(int section, const SettledSection& s) noexcept {
        setCoefficients(section, s.c_);
        x1_[section] = s.x1_;
        x2_[section] = s.x2_;
        y1_[section] = s.y1_;
        y2_[section] = s.y2_;
    }
    void give(int section, SettledSection& s) const noexcept {
        s.x1_ = x1_[section];
        s.x2_ = x2_[section];
        s.y1_ = y1_[section];
        s.y2_ = y2_[section];
    }

    // x's low half through section 0 and its high half through section 1, each
    // as SettledSection::process takes it; returns the two outputs.
    __m128d process(__m128d x) noexcept {
        const __m128d px1 = _mm_load_pd(x1_), px2 = _mm_load_pd(x2_);
        const __m128d py1 = _mm_load_pd(y1_), py2 = _mm_load_pd(y2_);
        const __m128d history = _mm_sub_pd(_mm_sub_pd(_mm_add_pd(_mm_mul_pd(_mm_load_pd(b1_), px1),
                                                                 _mm_mul_pd(_mm_load_pd(b2_), px2)),
                                                      _mm_mul_pd(_mm_load_pd(a1_), py1)),
                                           _mm_mul_pd(_mm_load_pd(a2_), py2));
        const __m128d guard = _mm_set1_pd(kRecursionGuard);
        const __m128d y = _mm_sub_pd(
            _mm_add_pd(_mm_add_pd(_mm_mul_pd(_mm_load_pd(b0_), x), history), guard), guard);
        _mm_store_pd(x2_, px1);
        _mm_store_pd(x1_, x);
        _mm_store_pd(y2_, py1);
        _mm_store_pd(y1_, y);
        return y;
    }

    // x0 through section 0 and x1 through section 1; returns the sum of the two
    // outputs.
    double processSum(double x0, double x1) noexcept {
        const __m128d y = process(_mm_set_pd(x1, x0));
        return _mm_cvtsd_f64(y) + _mm_cvtsd_f64(_mm_unpackhi_pd(y, y));
    }

private:
    alignas(16) double b0_[2] = {1.0, 1.0}, b1_[2] = {}, b2_[2] = {}, a1_[2] = {}, a2_[2] = {};
    alignas(16) double x1_[2] = {}, x2_[2] = {}, y1_[2] = {}, y2_[2] = {};
};

} // namespace zel
