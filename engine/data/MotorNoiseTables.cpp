#include "engine/data/MotorNoiseTables.h"

#include "engine/data/MotorNoiseRecipe.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

// The tables must come out bit-identical on every build: no fused multiply-add,
// whatever the target's instruction set.
#if defined(__clang__)
#pragma clang fp contract(off)
#elif defined(__GNUC__)
#pragma GCC optimize("fp-contract=off")
#endif

namespace zel {

namespace {

using namespace motor_noise;

constexpr double kPiValue = 3.14159265358979323846;
constexpr double kFs = kMotorNoiseTableRate;

// xorshift64*: a small seeded generator; uniform values in [-1, 1).
class NoiseSource {
public:
    explicit NoiseSource(uint64_t seed) : state(seed != 0 ? seed : 0x853C49E6748FEA9Bull) {}
    double next() {
        state ^= state >> 12;
        state ^= state << 25;
        state ^= state >> 27;
        const uint64_t r = state * 2685821657736338717ull;
        return static_cast<double>(r >> 11) * (2.0 / 9007199254740992.0) - 1.0;
    }

private:
    uint64_t state;
};

// The generator uses only +, -, *, / and sqrt (all correctly rounded), never the
// math library's transcendental functions, so the tables come out bit-identical
// wherever they are built.
double seriesSin(double x) { // x in [-pi, pi]
    const double x2 = x * x;
    double term = x;
    double sum = x;
    for (int n = 1; n <= 13; ++n) {
        term *= -x2 / static_cast<double>((2 * n) * (2 * n + 1));
        sum += term;
    }
    return sum;
}

double seriesExp(double x) { // exp(x) for moderate |x|: halve, sum the series, square back
    int halvings = 0;
    while (x > 0.5 || x < -0.5) {
        x *= 0.5;
        ++halvings;
    }
    double term = 1.0;
    double sum = 1.0;
    for (int n = 1; n <= 18; ++n) {
        term *= x / n;
        sum += term;
    }
    for (int i = 0; i < halvings; ++i) sum *= sum;
    return sum;
}

// One period of a sine, read with linear interpolation by turns in [0, 1).
class SineTable {
public:
    SineTable() : v(kSineTableSize + 1) {
        for (int i = 0; i <= kSineTableSize; ++i) {
            double x = 2.0 * kPiValue * i / kSineTableSize;
            if (x > kPiValue) x -= 2.0 * kPiValue;
            v[i] = seriesSin(x);
        }
    }
    double at(double turns) const {
        const double p = turns * kSineTableSize;
        const int i = static_cast<int>(p);
        const double f = p - i;
        return v[i] + f * (v[i + 1] - v[i]);
    }
    double sinAngle(double radians) const { return at(fracTurns(radians / (2.0 * kPiValue))); }
    double cosAngle(double radians) const {
        return at(fracTurns(radians / (2.0 * kPiValue) + 0.25));
    }
    static double fracTurns(double t) {
        t -= std::floor(t);
        return t < 1.0 ? t : 0.0;
    }

private:
    std::vector<double> v;
};

// A tone with a whole number of cycles over the table length: the phase runs on
// an integer accumulator, so the last sample leads exactly into the first.
class LoopTone {
public:
    LoopTone(double hz, double phaseTurns, int length)
        : cycles(std::max<int64_t>(1, std::llround(hz * length / kFs))), period(length),
          invPeriod(1.0 / length), phase(phaseTurns) {}
    double next(const SineTable& sine) {
        double t = static_cast<double>(acc) * invPeriod + phase;
        if (t >= 1.0) t -= 1.0;
        acc += cycles;
        if (acc >= period) acc -= period;
        return sine.at(t);
    }

private:
    int64_t cycles;
    int64_t period;
    double invPeriod;
    double phase;
    int64_t acc = 0;
};

// Band-pass section (0 dB peak) for shaping noise.
class BandSection {
public:
    BandSection(const SineTable& sine, double hz, double q) {
        const double w = 2.0 * kPiValue * hz / kFs;
        const double alpha = sine.sinAngle(w) / (2.0 * q);
        const double n = 1.0 / (1.0 + alpha);
        b0 = alpha * n;
        b2 = -alpha * n;
        a1 = -2.0 * sine.cosAngle(w) * n;
        a2 = (1.0 - alpha) * n;
    }
    double process(double x) {
        const double y = b0 * x + b2 * x2 - a1 * y1 - a2 * y2;
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
        return y;
    }

private:
    double b0, b2, a1, a2;
    double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
};

// Band-limited noise of the given length that loops without a click: the stretch
// after the end is faded (equal power) into the start.
std::vector<double> loopedNoise(const SineTable& sine, uint64_t seed, const NoiseBand& band,
                                int length) {
    NoiseSource noise(seed);
    BandSection filter(sine, band.hz, band.q);
    for (int i = 0; i < kNoiseWarmUp; ++i) filter.process(noise.next());
    std::vector<double> raw(static_cast<size_t>(length) + kCrossfadeSamples);
    for (double& r : raw) r = filter.process(noise.next()) * band.level;
    std::vector<double> out(raw.begin(), raw.begin() + length);
    for (int i = 0; i < kCrossfadeSamples; ++i) {
        const double w = static_cast<double>(i) / kCrossfadeSamples;
        out[i] = std::sqrt(w) * raw[i] + std::sqrt(1.0 - w) * raw[static_cast<size_t>(length) + i];
    }
    return out;
}

double peakOf(const std::vector<double>& v) {
    double peak = 0.0;
    for (double x : v) peak = std::max(peak, std::fabs(x));
    return peak;
}

// Scales to the wanted peak, converts to float and appends the spare entries,
// which repeat the first ones.
SampleTable finish(const std::vector<double>& v, double wantedPeak, int stored) {
    SampleTable t;
    const int length = static_cast<int>(v.size());
    t.usedLength = length;
    t.samples.resize(static_cast<size_t>(stored));
    const double peak = peakOf(v);
    const double scale = peak > 0.0 ? wantedPeak / peak : 0.0;
    for (int i = 0; i < length; ++i) t.samples[i] = static_cast<float>(v[i] * scale);
    for (int i = length; i < stored; ++i) t.samples[i] = t.samples[(i - length) % length];
    return t;
}

SampleTable motorLoop(const SineTable& sine, const MotorLoopRecipe& r, int length, int stored) {
    std::vector<double> v = loopedNoise(sine, r.seed, r.rush, length);
    LoopTone hum[5] = {{r.hum[0].hz, r.hum[0].phase, length},
                       {r.hum[1].hz, r.hum[1].phase, length},
                       {r.hum[2].hz, r.hum[2].phase, length},
                       {r.hum[3].hz, r.hum[3].phase, length},
                       {r.hum[4].hz, r.hum[4].phase, length}};
    LoopTone whine[2] = {{r.whine[0].hz, r.whine[0].phase, length},
                         {r.whine[1].hz, r.whine[1].phase, length}};
    LoopTone wobble(r.wobbleHz, 0.0, length);
    for (int i = 0; i < length; ++i) {
        double x = v[i];
        for (int k = 0; k < 5; ++k) x += hum[k].next(sine) * r.hum[k].level;
        const double swing = 1.0 + r.wobbleDepth * wobble.next(sine);
        for (int k = 0; k < 2; ++k) x += whine[k].next(sine) * r.whine[k].level * swing;
        v[i] = x;
    }
    return finish(v, r.peak, stored);
}

SampleTable rotorRecording(const SineTable& sine, const RotorRecipe& r, int length, int revolutions,
                           int stored) {
    std::vector<double> v = loopedNoise(sine, r.seed, r.whoosh, length);
    LoopTone hum[3] = {{r.hum[0].hz, r.hum[0].phase, length},
                       {r.hum[1].hz, r.hum[1].phase, length},
                       {r.hum[2].hz, r.hum[2].phase, length}};
    // The whoosh swells once per revolution: the revolution phase is a tone with
    // exactly `revolutions` cycles over the recording.
    const int64_t period = length;
    int64_t acc = 0;
    for (int i = 0; i < length; ++i) {
        double turns = static_cast<double>(acc) / static_cast<double>(period) - r.swellPhase + 0.25;
        turns = SineTable::fracTurns(turns);
        acc += revolutions;
        if (acc >= period) acc -= period;
        const double c = 0.5 + 0.5 * sine.at(turns); // cosine around the swell
        const double env = r.swellFloor + (1.0 - r.swellFloor) * c * c;
        double x = v[i] * env;
        for (int k = 0; k < 3; ++k) x += hum[k].next(sine) * r.hum[k].level;
        v[i] = x;
    }
    // One tick per revolution at the same rotor position: each tick is the same
    // continuous-time burst sampled from its exact (fractional) start time.
    const double decay = seriesExp(-1.0 / (r.tickDecaySeconds * kFs));
    const double samplesPerRev = static_cast<double>(length) / revolutions;
    for (int k = 0; k < revolutions; ++k) {
        const double start = (k + r.tickPhase) * samplesPerRev;
        const double first = std::ceil(start);
        const double lead = first - start; // 0 <= lead < 1
        double envelope = seriesExp(-lead / (r.tickDecaySeconds * kFs));
        for (int m = 0; m < r.tickLength; ++m) {
            const double t = (lead + m) / kFs; // seconds since the tick began
            const double body = sine.at(SineTable::fracTurns(r.tickHz * t));
            const double over =
                sine.at(SineTable::fracTurns(r.tickHz * kTickOvertoneRatio * t)) * r.tickOvertone;
            const int64_t n = (static_cast<int64_t>(first) + m) % period;
            v[static_cast<size_t>(n)] += r.tickLevel * envelope * (body + over);
            envelope *= decay;
        }
    }
    return finish(v, r.peak, stored);
}

SampleTable switchClunk(const SineTable& sine, const ClunkRecipe& r, int length, int stored) {
    NoiseSource noise(r.seed);
    BandSection filter(sine, r.click.hz, r.click.q);
    for (int i = 0; i < kNoiseWarmUp; ++i) filter.process(noise.next());
    const double thumpDecay = seriesExp(-1.0 / (r.thumpDecaySeconds * kFs));
    const double clickDecay = seriesExp(-1.0 / (r.clickDecaySeconds * kFs));
    double thumpEnv = 1.0;
    double clickEnv = 1.0;
    std::vector<double> v(static_cast<size_t>(length));
    for (int i = 0; i < length; ++i) {
        const double t = i / kFs;
        double x = 0.0;
        for (const Partial& p : r.thump)
            x += sine.at(SineTable::fracTurns(p.hz * t + p.phase)) * p.level * thumpEnv;
        x += filter.process(noise.next()) * r.click.level * clickEnv;
        thumpEnv *= thumpDecay;
        clickEnv *= clickDecay;
        if (i < r.riseSamples) {
            const double u = static_cast<double>(i) / r.riseSamples;
            x *= u * u;
        }
        const int left = length - i;
        if (left <= r.fadeSamples) {
            const double u = static_cast<double>(left - 1) / r.fadeSamples;
            x *= u * u;
        }
        v[i] = x;
    }
    return finish(v, r.peak, stored);
}

} // namespace

MotorNoiseTables buildMotorNoiseTables() {
    const SineTable sine;
    MotorNoiseTables t;
    t.hornLoopA = motorLoop(sine, kHornLoopA, kHornLoopLength, kHornLoopStored);
    t.hornLoopB = motorLoop(sine, kHornLoopB, kHornLoopLength, kHornLoopStored);
    t.hornRotor =
        rotorRecording(sine, kHornRotor, kHornRotorLength, kHornRotorRevolutions, kHornRotorStored);
    t.drumLoop = motorLoop(sine, kDrumLoop, kDrumLoopLength, kDrumLoopStored);
    t.drumLoopSecond = motorLoop(sine, kDrumLoopSecond, kDrumLoopLength, kDrumLoopStored);
    t.drumRotor =
        rotorRecording(sine, kDrumRotor, kDrumRotorLength, kDrumRotorRevolutions, kDrumRotorStored);
    t.transition = switchClunk(sine, kTransitionClunk, kTransitionLength, kTransitionStored);
    return t;
}

const MotorNoiseTables& motorNoiseTables() {
    static const MotorNoiseTables tables = buildMotorNoiseTables();
    return tables;
}

} // namespace zel
