// The sine source of the synthesized motor-noise tables and the runs of tone
// values the generator takes from it. A tone is read a run of samples at a time
// (one tone over many samples, not many tones per sample), which lets a processor
// with AVX2 compute four samples at once: the same operations in the same order
// as the one-sample code, so either path gives the same values to the bit.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

namespace zel::motor_noise {

// One period of a sine, read with linear interpolation by turns in [0, 1).
class SineTable {
public:
    SineTable();
    double at(double turns) const {
        const double p = turns * kSize;
        const int i = static_cast<int>(p);
        const double f = p - i;
        return v_[i] + f * (v_[i + 1] - v_[i]);
    }
    double sinAngle(double radians) const;
    double cosAngle(double radians) const;
    // Two periods, 2 kSize + 1 entries: the second repeats the first (its last
    // entry is one period on from the first), so a read at a turn in [1, 2)
    // gives what the same read a turn earlier does.
    const double* values() const { return v_.data(); }

    static constexpr int kSize = 16384;

private:
    std::vector<double> v_;
};

// t - floor(t), and 0 for the rare t that rounds onto a whole turn. Within the
// int range, truncating and stepping down below zero is floor exactly (the
// library's floor is a call without SSE4.1).
inline double fracTurns(double t) {
    constexpr double kIntRange = 1e9;
    double whole;
    if (t > -kIntRange && t < kIntRange) {
        const int w = static_cast<int>(t);
        whole = static_cast<double>(w) > t ? w - 1 : w;
    } else {
        whole = std::floor(t);
    }
    t -= whole;
    return t < 1.0 ? t : 0.0;
}

// A tone with a whole number of cycles over a table's length: its phase runs on
// an integer accumulator (acc, advanced by `cycles` modulo `period` every
// sample), so the last sample leads exactly into the first.
struct LoopTone {
    int64_t cycles = 1;
    int64_t period = 1;
    double invPeriod = 1.0;
    double phase = 0.0; // turns

    static LoopTone of(double hz, double phaseTurns, int length, double rate);
    // The accumulator `samples` samples after 0.
    int64_t accumulatorAt(int64_t samples) const {
        return samples % period * (cycles % period) % period;
    }
    int64_t advance(int64_t acc) const {
        acc += cycles;
        return acc >= period ? acc - period : acc;
    }
};

// The next n values of the tone from accumulator acc (left after them):
// the sine at the turn acc / period + phase, less a turn when that reaches 1.
void loopToneRun(const SineTable& sine, const LoopTone& tone, int64_t& acc, int n, double* out);

// Adds the tone's next n values times level, and times swing[i] when swing is
// given, to x[i] (x + v level, x + v level swing).
void addLoopTone(const SineTable& sine, const LoopTone& tone, int64_t& acc, int n, double level,
                 const double* swing, double* x);

// The next n values of a swell: the sine at the turn acc / period - lead + 0.25
// (brought into [0, 1)), the cosine of the turns since `lead`.
void swellRun(const SineTable& sine, const LoopTone& tone, double lead, int64_t& acc, int n,
              double* out);

// A tick's burst: two partials at hz and overHz, the second times overtone, read
// at t = (lead + m) / rate seconds for m = 0 .. n-1; out[m] = level envelope[m]
// (body + over) with body and over the sine at the turns' fractions.
struct TickBurst {
    double hz;
    double overHz;
    double overtone;
    double level;
    double lead;
    double rate;
};
void tickBurstRun(const SineTable& sine, const TickBurst& tick, const double* envelope, int n,
                  double* out);

} // namespace zel::motor_noise
