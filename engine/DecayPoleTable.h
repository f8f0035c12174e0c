// A cross unit's one-pole directivity over one turn of the mouth: the pole
// 0.005^(f / rate) for a corner f taken from a table of a few steps per turn and
// interpolated linearly within a step. Computed at the unit rate for many points
// per step when the rate changes and read back with linear interpolation, so a
// directivity update needs no power; the poles stay within a few millionths of
// the formula's.
#pragma once

#include "engine/OnePole.h"

#include <algorithm>
#include <array>

namespace zel {

class DecayPoleTable {
public:
    static constexpr int kPointsPerStep = 32;
    static constexpr int kMaxSteps = 18;
    static constexpr int kMaxPoints = kMaxSteps * kPointsPerStep;

    // hz holds steps + 1 corners, the last equal to the first.
    template <typename Table> void build(const Table& hz, double rate) {
        begin(hz, rate);
        extend(kMaxPoints + 1, hz);
    }

    // The same in parts: begin forgets the table, each extend computes up to
    // `budget` more points from the same corners and returns how many.
    template <typename Table> void begin(const Table& hz, double rate) {
        steps_ = std::clamp(static_cast<int>(hz.size()) - 1, 1, kMaxSteps);
        points_ = steps_ * kPointsPerStep;
        rate_ = rate;
        built_ = 0;
    }
    template <typename Table> int extend(int budget, const Table& hz) {
        const int count = std::min(points_ + 1 - built_, std::max(budget, 0));
        if (count <= 0) return 0;
        const int end = built_ + count;
        for (int k = built_; k < end; ++k) {
            const int index = std::min(k / kPointsPerStep, steps_ - 1);
            const double w = static_cast<double>(k - index * kPointsPerStep) / kPointsPerStep;
            pole_[k] = poleFromDecay(hz[index] + (hz[index + 1] - hz[index]) * w, rate_);
        }
        built_ = end;
        return count;
    }
    bool complete() const { return built_ > points_; }

    // The pole at `turn` (0..1) of the corner table.
    double at(double turn) const {
        const double pos = turn * points_;
        const int k = std::clamp(static_cast<int>(pos), 0, points_ - 1);
        const double t = pos - k;
        const double w = t > 1.0 ? 1.0 : (t >= 0.0 ? t : 0.0); // also NaN
        return pole_[k] + (pole_[k + 1] - pole_[k]) * w;
    }

private:
    std::array<double, kMaxPoints + 1> pole_{};
    int steps_ = 1;
    int points_ = 1;
    int built_ = 0;
    double rate_ = 44100.0;
};

} // namespace zel
