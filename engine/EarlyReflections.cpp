#include "engine/EarlyReflections.h"

#include "engine/OnePole.h"
#include "engine/data/CabinetGeometry.h"

#include <algorithm>
#include <cmath>

namespace zel {

EarlyReflections::EarlyReflections()
    : left_(room::kBufferLength, 0.0), right_(room::kBufferLength, 0.0) {
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
    std::fill(left_.begin(), left_.end(), 0.0);
    std::fill(right_.begin(), right_.end(), 0.0);
    for (Tap& tap : taps_) tap.state = 0;
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

// The line delayed by delay + fraction samples: between the sample `delay` back
// and the one before it.
double EarlyReflections::readTap(const std::vector<double>& line, int32_t n, const Tap& tap) {
    const double phi = tap.fraction;
    const double newer = line[(n - tap.delay) & room::kBufferMask];
    const double older = line[(n - tap.delay - 1) & room::kBufferMask];
    return (1.0 - phi) * newer + phi * older;
}

EarlyReflections::Output EarlyReflections::process(double left, double right) {
    left_[n_] = left;
    right_[n_] = right;
    double sumL = 0, sumR = 0;
    for (int i = 0; i < room::kTapsPerSide; ++i) {
        Tap& tap = taps_[i];
        tap.state = poleToward(tap.state, readTap(left_, n_, tap) * tap.gain, tap.pole);
        sumL += tap.state;
    }
    for (int i = room::kTapsPerSide; i < kTaps; ++i) {
        Tap& tap = taps_[i];
        tap.state = poleToward(tap.state, readTap(right_, n_, tap) * tap.gain, tap.pole);
        sumR += tap.state;
    }
    n_ = (n_ + 1) & room::kBufferMask;
    return {denormalGuard(sumL * level_), denormalGuard(sumR * level_)};
}

} // namespace zel
