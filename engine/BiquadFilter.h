// A second-order filter section with eleven response types. Coefficient changes
// glide over 3 ms by moving the section's zeros, poles and gain in straight lines
// from their old to their new positions; an optional soft saturation sits inside
// the recursion. Audio-thread object: plain fields, called only by the thread
// that runs it.
#pragma once

#include "engine/OnePole.h"

#include <bit>
#include <cstdint>

namespace zel {

struct BiquadCoefficients {
    double a0 = 1, a1 = 0, a2 = 0, b0 = 1, b1 = 0, b2 = 0;
};

struct BiquadState {
    double x = 0, x1 = 0, x2 = 0, y = 0, y1 = 0, y2 = 0;
};

// Response types.
enum BiquadType : int32_t {
    kBiquadIdentity = 0,
    kBiquadHighPass = 1,
    kBiquadFirstOrderHighPass = 2,
    kBiquadLowShelf = 3,
    kBiquadPeaking = 4,
    kBiquadBandPass = 5,
    kBiquadNotch = 6,
    kBiquadHighShelf = 7,
    kBiquadLowPass = 8,
    kBiquadOnePoleLowPass = 9,
    kBiquadAllPass = 10,
};

class BiquadFilter {
public:
    static constexpr double kDefaultRate = 44100.0;
    // Accepted sample rates; anything else becomes kDefaultRate. The lower bound
    // covers the lowest internal rate the engine runs (a 20 kHz host decimated by 2).
    static constexpr double kMinRate = 10000.0;
    static constexpr double kMaxRate = 400000.0;
    static constexpr double kGlideSeconds = 0.003;
    static constexpr double kMinFrequency = 0.001;
    static constexpr double kMaxFrequencyRatio = 0.499; // of the rate
    static constexpr double kMinQ = 1e-4;
    static constexpr double kMaxQ = 1000.0;
    static constexpr double kMaxGainDb = 1000.0;
    static constexpr double kMaxBias = 0.25;
    static constexpr double kDefaultSatScale = 1000.0;

    BiquadFilter(double rate = kDefaultRate, int32_t type = kBiquadPeaking,
                 double frequency = 1000.0, double q = 1.0, double gainDb = 0.0) noexcept;

    // Setters; each recomputes the target coefficients and starts a glide (or snaps
    // in immediate mode).
    void setRate(double rate) noexcept;
    void setType(int32_t type) noexcept;
    void setFrequency(double hz) noexcept;
    void setFrequencyAndQ(double hz, double q) noexcept;
    void setAll(double hz, double q, double gainDb) noexcept;
    // Target coefficients computed elsewhere for this enabled section (a table of
    // its settings over a rotation); starts a glide like the setters. The
    // frequency, Q and gain read back keep the values last set.
    void setTarget(const BiquadCoefficients& c) noexcept;
    void setQ(double q) noexcept;
    void setGain(double gainDb) noexcept;
    void setEnabled(bool on) noexcept;
    void setImmediate(bool on) noexcept;
    void setSaturation(double amount) noexcept;
    void setBias(double bias) noexcept;
    // A section used only to compute target coefficients (tables of settings):
    // the setters then skip the glide set-up, whose roots nobody reads.
    void setDesignOnly(bool on) noexcept { designOnly_ = on ? 1 : 0; }

    // The values a glide moves in straight lines, in this order: zero A (re, im),
    // zero B (re, im), pole A (re, im), pole B (re, im), gain.
    static constexpr int kGlidedValues = 9;
    // Those values for a set of coefficients (the roots of its numerator and
    // denominator and its b0).
    static void glideValuesOf(const BiquadCoefficients& c, double* values) noexcept;

    // Per sample.
    // Gliding, no saturation. A section with no glide running takes its target
    // coefficients here, inline, with the same arithmetic as the gliding path.
    double process(double x) noexcept {
        if (active_ && glideCount_ == 0) [[likely]] {
            const double y = recursion(target_, x);
            shift(x, y);
            return y;
        }
        return processGliding(x);
    }
    double processSaturated(double x) noexcept; // gliding, with saturation
    // Whether process takes its steady path now: the recursion runs and no
    // glide does.
    bool steady() const noexcept { return active_ && glideCount_ == 0; }
    // n samples through a chain of steady sections, in place: the same values as
    // process per sample and section, with the chain's histories held in locals
    // over the run instead of going through memory every sample.
    // Whether each section of a chain holds its predecessor's output history as
    // its input history, to the bit: so whenever the sections have run as a
    // chain since they were last cleared.
    template <int N> static bool chained(const BiquadFilter* const (&chain)[N]) noexcept;
    // For such a chain the histories held between sections are shared.
    template <int N>
    static void processSteadyChain(BiquadFilter* const (&chain)[N], double* x, int n) noexcept;
    // The same for four sections as a wavefront in one AVX2 register: lane k runs
    // section k on the sample lane k - 1 finished one step earlier, with each
    // lane's arithmetic that of processSteadyChain. Only where cpuHasAvx2().
    [[gnu::target("avx2")]] static void processSteadyChain4Wide(BiquadFilter* const (&chain)[4],
                                                                double* x, int n) noexcept;
    // Target coefficients only.
    double processPlain(double x) noexcept {
        const BiquadCoefficients& c = target_;
        double y =
            c.b0 * x + c.b1 * state_.x1 + c.b2 * state_.x2 - c.a1 * state_.y1 - c.a2 * state_.y2;
        y = denormalGuard(y, kCascadeGuard);
        shift(x, y);
        return y;
    }

    // Finishes any glide and zeroes the history.
    void clear() noexcept;
    // Finishes any glide, keeps the history.
    void snap() noexcept;

    double rate() const noexcept { return rate_; }
    int32_t type() const noexcept { return type_; }
    double frequency() const noexcept { return frequency_; }
    double q() const noexcept { return q_; }
    double gainDb() const noexcept { return gainDb_; }
    bool enabled() const noexcept { return enabled_ != 0; }
    bool immediate() const noexcept { return immediate_ != 0; }
    const BiquadCoefficients& target() const noexcept { return target_; }
    const BiquadCoefficients& current() const noexcept { return cur_; }
    const BiquadState& state() const noexcept { return state_; }
    int32_t glideCount() const noexcept { return glideCount_; }
    // process runs the recursion with the target coefficients: neither the
    // identity type nor disabled, and no glide running. Only the setters change it.
    bool settled() const noexcept { return active_ && glideCount_ == 0; }
    // The history as process leaves it after inputs x2, x1 and outputs y2, y1
    // (for code that runs a settled section elsewhere and hands it back).
    void setHistory(double x1, double x2, double y1, double y2) noexcept {
        state_.x = state_.x1 = x1;
        state_.x2 = x2;
        state_.y = state_.y1 = y1;
        state_.y2 = y2;
    }
    int32_t glideLength() const noexcept { return glideLength_; }
    bool saturationOn() const noexcept { return satOn_ != 0; }
    double saturationScale() const noexcept { return satScale_; }
    double saturationInverse() const noexcept { return satInverse_; }
    double saturationAmount() const noexcept { return satAmount_; }
    double saturationBias() const noexcept { return satBias_; }
    double slowCoef() const noexcept { return slowCoef_; }

private:
    enum GlideIndex {
        kZeroARe,
        kZeroAIm,
        kZeroBRe,
        kZeroBIm,
        kPoleARe,
        kPoleAIm,
        kPoleBRe,
        kPoleBIm,
        kGain,
        kGlidedCount
    };

    void recompute() noexcept;
    void computeTarget() noexcept;
    void setUpGlide() noexcept;
    void applySaturation() noexcept;
    void stepGlide() noexcept;
    // The coefficients for this sample (stepping a glide), or null when the
    // section passes its input unchanged: identity type, or disabled once the
    // glide is over (its history then reads zero).
    const BiquadCoefficients* coefficientsForSample() noexcept;
    double clampFrequency(double hz) const noexcept;
    double processGliding(double x) noexcept;
    // The history's share first: it does not wait for x, so a chain of sections
    // waits one multiply and one add per section.
    double recursion(const BiquadCoefficients& c, double x) const noexcept {
        const double history =
            c.b1 * state_.x1 + c.b2 * state_.x2 - c.a1 * state_.y1 - c.a2 * state_.y2;
        return denormalGuard(c.b0 * x + history, kRecursionGuard);
    }
    void shift(double x, double y) noexcept {
        state_.x = x;
        state_.x2 = state_.x1;
        state_.x1 = x;
        state_.y = y;
        state_.y2 = state_.y1;
        state_.y1 = y;
    }
    // Neither the identity type nor disabled: process runs the recursion.
    void updateActive() noexcept { active_ = type_ != kBiquadIdentity && enabled_ != 0; }

    double rate_;
    int32_t type_;
    double frequency_;
    double q_;
    double gainDb_;
    int32_t enabled_ = 0;
    BiquadCoefficients target_;
    BiquadCoefficients cur_;
    BiquadState state_;
    // The glided values (zeros, poles, gain): where each is now, where it is
    // going and its step per sample, each in its own array so a step is a few
    // packed additions.
    double glideNow_[kGlidedCount] = {};
    double glideTarget_[kGlidedCount] = {};
    double increment_[kGlidedCount] = {};
    int32_t glideCount_ = 0;
    int32_t glideLength_;
    double satScale_ = kDefaultSatScale;
    double satInverse_ = 1.0 / kDefaultSatScale;
    int32_t satOn_ = 0;
    double satAmount_ = 0;
    double satBias_ = 0;
    double slowCoef_ = 0;
    uint8_t immediate_ = 1;
    uint8_t designOnly_ = 0;
    bool active_ = false;
};

template <int N> bool BiquadFilter::chained(const BiquadFilter* const (&chain)[N]) noexcept {
    const auto same = [](double a, double b) {
        return std::bit_cast<uint64_t>(a) == std::bit_cast<uint64_t>(b);
    };
    for (int k = 1; k < N; ++k) {
        const BiquadState& in = chain[k]->state_;
        const BiquadState& out = chain[k - 1]->state_;
        if (!same(in.x1, out.y1) || !same(in.x2, out.y2)) return false;
    }
    return true;
}

template <int N>
void BiquadFilter::processSteadyChain(BiquadFilter* const (&chain)[N], double* x, int n) noexcept {
    if (n <= 0) return;
    BiquadCoefficients c[N];
    // in1, in2: the first section's input history; y1[k], y2[k]: section k's
    // output history, which is section k + 1's input history too.
    double in1 = chain[0]->state_.x1, in2 = chain[0]->state_.x2;
    double y1[N], y2[N];
    for (int k = 0; k < N; ++k) {
        c[k] = chain[k]->target_;
        y1[k] = chain[k]->state_.y1;
        y2[k] = chain[k]->state_.y2;
    }
    for (int i = 0; i < n; ++i) {
        double v = x[i];
        double p1 = in1, p2 = in2;
        in2 = in1;
        in1 = v;
        for (int k = 0; k < N; ++k) {
            // recursion() term for term.
            const double history = c[k].b1 * p1 + c[k].b2 * p2 - c[k].a1 * y1[k] - c[k].a2 * y2[k];
            const double y = denormalGuard(c[k].b0 * v + history, kRecursionGuard);
            p1 = y1[k];
            p2 = y2[k];
            y2[k] = y1[k];
            y1[k] = y;
            v = y;
        }
        x[i] = v;
    }
    chain[0]->state_ = {in1, in1, in2, y1[0], y1[0], y2[0]};
    for (int k = 1; k < N; ++k)
        chain[k]->state_ = {y1[k - 1], y1[k - 1], y2[k - 1], y1[k], y1[k], y2[k]};
}

} // namespace zel
