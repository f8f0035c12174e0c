// A directivity filter's target coefficients over one turn of the mouth. The
// filter's settings come from a table of a few steps per turn, interpolated
// linearly within a step; the coefficients those settings give are computed at
// the unit rate for many points per step when the rate changes, and a
// directivity update reads them back with linear interpolation. An update then
// costs a few multiplies instead of the sines, cosines and powers of the
// coefficient formulas, and the coefficients stay within a few millionths of the
// formulas' (the error of a linear reading falls with the square of the spacing).
#pragma once

#include "engine/BiquadFilter.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace zel {

class DirectivityTable {
public:
    static constexpr int kPointsPerStep = 32;
    static constexpr int kMaxSteps = 36;
    static constexpr int kMaxPoints = kMaxSteps * kPointsPerStep;

    // setting(filter, index, weight) gives a section of `type` at `rate` its
    // settings `weight` of the way from entry index to entry index + 1 of the
    // settings table. Steps beyond kMaxSteps are not kept.
    template <typename Setting> void build(int steps, double rate, int32_t type, Setting setting) {
        begin(steps, rate, type);
        extend(kMaxPoints + 1, setting);
    }

    // The same in parts: begin forgets the table and takes its layout, each extend
    // computes up to `budget` more points (the same setting every time) and
    // returns how many it computed. The table is whole once complete() holds.
    void begin(int steps, double rate, int32_t type) {
        steps_ = std::clamp(steps, 1, kMaxSteps);
        points_ = steps_ * kPointsPerStep;
        rate_ = rate;
        type_ = type;
        built_ = 0;
    }
    template <typename Setting> int extend(int budget, Setting setting) {
        const int count = std::min(points_ + 1 - built_, std::max(budget, 0));
        const int end = built_ + count;
        if (count <= 0) return 0;
        // One section for every point: each setting recomputes its target once.
        BiquadFilter f(rate_, type_);
        f.setDesignOnly(true);
        f.setEnabled(true);
        for (int k = built_; k < end; ++k) {
            const int index = std::min(k / kPointsPerStep, steps_ - 1);
            const double weight = static_cast<double>(k - index * kPointsPerStep) / kPointsPerStep;
            setting(f, index, weight);
            coef_[k] = f.target();
        }
        built_ = end;
        return count;
    }
    bool complete() const { return built_ > points_; }
    double rate() const { return rate_; }

    // The coefficients at `turn` (0..1) of the settings table.
    BiquadCoefficients at(double turn) const {
        const double pos = turn * points_;
        const int k = std::clamp(static_cast<int>(pos), 0, points_ - 1);
        const double t = pos - k;
        const double w = t > 1.0 ? 1.0 : (t >= 0.0 ? t : 0.0); // also NaN
        const BiquadCoefficients& p = coef_[k];
        const BiquadCoefficients& q = coef_[k + 1];
        return {p.a0 + (q.a0 - p.a0) * w, p.a1 + (q.a1 - p.a1) * w, p.a2 + (q.a2 - p.a2) * w,
                p.b0 + (q.b0 - p.b0) * w, p.b1 + (q.b1 - p.b1) * w, p.b2 + (q.b2 - p.b2) * w};
    }

private:
    std::array<BiquadCoefficients, kMaxPoints + 1> coef_{};
    int steps_ = 1;
    int points_ = 1;
    int built_ = 0;
    double rate_ = BiquadFilter::kDefaultRate;
    int32_t type_ = kBiquadIdentity;
};

} // namespace zel
