// The rotating mouth seen along one ray, per sample. Over one turn the mouth moves
// toward and away from the ray (its displacement lambda, -1 closest to the
// microphone, +1 farthest) with a phase mu; the short stretch of the turn within
// the lobe half-width either side of the closest point is where the mouth is in
// view of the ray's image source.
#pragma once

#include "engine/OnePole.h"

#include <algorithm>
#include <cmath>

namespace zel {

struct LobeShape {
    double halfWidth = 0.25;
    double edgeScale = kPi / 0.5;   // pi / (2 halfWidth)
    double middleScale = kPi / 0.5; // pi / (1 - 2 halfWidth)

    static constexpr double kMinHalfWidth = 1e-6;

    static LobeShape of(double halfWidth) {
        LobeShape shape;
        shape.halfWidth = std::clamp(halfWidth, kMinHalfWidth, 0.25);
        shape.edgeScale = kPi / (2 * shape.halfWidth);
        shape.middleScale = kPi / (1 - 2 * shape.halfWidth);
        return shape;
    }
};

// sin(mu) for the lobe's phases, mu in [-pi/2, pi]: folded into [-pi/2, pi/2] and
// summed as the sine's series to the 17th power, which is within 5e-14 of the sine
// there. Every ray asks for it every sample, and the library's sine, made for any
// argument, costs several times as much. lobeSineFolded is the series alone, for
// x already in [-pi/2, pi/2]; kLobeSineSeries holds 1 / (2n + 1)! with alternating
// signs, for the powers 3, 5, ..., 17.
inline constexpr double kLobeSineSeries[] = {
    -1.0 / 6.0,        1.0 / 120.0,        -1.0 / 5040.0,          1.0 / 362880.0,
    -1.0 / 39916800.0, 1.0 / 6227020800.0, -1.0 / 1307674368000.0, 1.0 / 355687428096000.0};
inline double lobeSineFolded(double x) {
    const double x2 = x * x;
    double sum = kLobeSineSeries[7];
    for (int n = 6; n >= 0; --n) sum = sum * x2 + kLobeSineSeries[n];
    return x + x * x2 * sum;
}
inline double lobeSine(double mu) {
    constexpr double kHalfPi = kPi / 2;
    return lobeSineFolded(mu > kHalfPi ? kPi - mu : mu);
}

struct LobePoint {
    double lambda; // displacement along the ray, -1..1
    double mu;     // phase, radians
};

// theta: the retarded angle relative to the ray, in [0, 1).
inline LobePoint lobePoint(double theta, const LobeShape& shape, double sign) {
    const double hw = shape.halfWidth;
    if (theta <= hw) {
        const double mu = (theta - hw) * shape.edgeScale;
        return {lobeSine(mu) * sign, mu * sign};
    }
    if (theta >= 1 - hw) {
        const double mu = (theta - (1 - hw)) * shape.edgeScale;
        return {-lobeSine(mu) * sign, mu * sign - kPi};
    }
    const double mu = (theta - hw) * shape.middleScale;
    return {lobeSine(mu) * sign, mu * sign};
}

// x - floor(x). Angles here lie within a few turns of zero, where truncating to
// an integer and stepping down for negative values gives floor exactly, in a few
// instructions (the library's floor needs SSE4.1 to be short); anything else
// takes the library's.
inline double fractionOf(double x) {
    constexpr double kIntRange = 1e9;
    if (!(x > -kIntRange && x < kIntRange)) return x - std::floor(x); // also NaN
    const int whole = static_cast<int>(x);
    const double down = static_cast<double>(whole) > x ? whole - 1 : whole;
    return x - down;
}

// Where the mouth points relative to the ray, in turns [0, 1): 0 facing it.
inline double facingTurn(double mu) {
    return fractionOf(mu / kTwoPi + 0.25);
}

// A position in a directivity table of `steps` steps (steps + 1 entries, the last
// equal to the first): the two entries around it and the weight of the second.
struct StepPosition {
    int index;
    int next;
    double weight;
};
inline StepPosition stepPosition(double turn, int steps) {
    const double pos = turn * steps;
    const int whole = std::clamp(static_cast<int>(pos), 0, steps);
    const int index = whole % steps;
    return {index, index + 1, std::clamp(pos - whole, 0.0, 1.0)};
}
template <typename Table> double stepLerp(const Table& table, const StepPosition& p) {
    return table[p.index] + (table[p.next] - table[p.index]) * p.weight;
}

} // namespace zel
