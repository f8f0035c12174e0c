// Rate and CPU-mode changes between blocks, at every rate a host offers: the
// output stays finite, and the largest sample-to-sample step around the change
// is no larger than a steady render's own largest step plus what the fade to
// the dry signal and back can add.
#include "plugin/RotaryEffect.h"

#include "engine/FadeMachine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace zel {
namespace {

constexpr int32_t kCpuMode = 1;
constexpr int kBlock = 256;
constexpr double kSteadySeconds = 0.25;
constexpr double kMaxTransitionSeconds = 2.0;
// Every rate in turn, each reached from a lower and from a higher one.
constexpr double kRateTour[] = {44100, 22050, 192000, 32000, 176400, 48000, 96000, 88200, 44100};

intptr_t quietHost(vst::AEffect*, int32_t opcode, int32_t, intptr_t, void*, float) {
    return opcode == vst::audioMasterVersion ? 2400 : 0;
}

// Two sines at fixed frequencies in time, so the input runs on unbroken across
// a rate change.
double inputAt(double seconds) {
    constexpr double kTwoPi = 6.283185307179586;
    return 0.3 * std::sin(kTwoPi * 110.0 * seconds) + 0.1 * std::sin(kTwoPi * 440.0 * seconds);
}
constexpr double kInputPeak = 0.4;

struct Stretch {
    double largestStep = 0.0; // largest |y[n] - y[n-1]| on either channel
    double peak = 0.0;
    bool finite = true;
};

class RateRunner {
public:
    explicit RateRunner(double startRate) : fx(quietHost) { changeRate(startRate); }

    // What a host does: processing off, the new rate, processing on.
    void changeRate(double newRate) {
        rate = newRate;
        fx.suspend();
        fx.setSampleRate(static_cast<float>(rate));
        fx.resume();
    }
    void toggleCpuMode() {
        fx.setParameter(kCpuMode, fx.getParameter(kCpuMode) < 0.5f ? 1.f : 0.f);
    }

    Stretch render(double duration) {
        Stretch s;
        const int blocks = std::max(1, static_cast<int>(duration * rate / kBlock));
        for (int b = 0; b < blocks; ++b) block(s);
        return s;
    }
    // Until the fade has come back and nothing is pending; false if it never does.
    bool renderUntilSettled(Stretch& s) {
        const int maxBlocks = static_cast<int>(kMaxTransitionSeconds * rate / kBlock);
        for (int b = 0; b < maxBlocks; ++b) {
            block(s);
            const RotaryEngine& e = fx.getEngine();
            if (e.fadeState() == 0 && !e.requests.fade.load()) return true;
        }
        return false;
    }
    double currentRate() const { return rate; }

private:
    void block(Stretch& s) {
        double* inputs[2] = {in.data(), in.data()};
        double* outputs[2] = {outL.data(), outR.data()};
        for (int i = 0; i < kBlock; ++i) in[i] = inputAt(seconds + i / rate);
        seconds += kBlock / rate;
        fx.processDoubleReplacing(inputs, outputs, kBlock);
        for (int i = 0; i < kBlock; ++i) {
            const double y[2] = {outL[i], outR[i]};
            for (int c = 0; c < 2; ++c) {
                s.finite = s.finite && std::isfinite(y[c]);
                s.peak = std::max(s.peak, std::fabs(y[c]));
                if (havePrevious)
                    s.largestStep = std::max(s.largestStep, std::fabs(y[c] - previous[c]));
                previous[c] = y[c];
            }
            havePrevious = true;
        }
    }

    RotaryEffect fx;
    double rate = 44100.0;
    double seconds = 0.0;
    std::vector<double> in = std::vector<double>(kBlock);
    std::vector<double> outL = std::vector<double>(kBlock), outR = std::vector<double>(kBlock);
    double previous[2] = {0.0, 0.0};
    bool havePrevious = false;
};

// The fade mixes y = (1 - f) wet + f dry. From one sample to the next, beyond the
// wet and dry signals' own steps, y moves by the fade's own move times the gap
// between them: f moves by at most c20 = 1 - exp(-1 / (0.02 rate)) per sample,
// the gap is at most the wet peak plus the dry peak. The rebuild runs once f is
// above the dry threshold, so a wet signal restarting from cleared state steps by
// at most its peak times what is left of it, 1 - threshold.
double fadeAllowance(double slowerRate, double wetPeak) {
    const double c20 = 1.0 - std::exp(-1.0 / (FadeMachine::kFadeSeconds * slowerRate));
    const double dryPeak = kInputPeak; // the dry path's low-pass of the summed input, gain 1
    return c20 * (wetPeak + dryPeak) + (1.0 - FadeMachine::kDryThreshold) * wetPeak;
}

struct ChangeResult {
    double steadyStep;     // the larger of the steady renders' largest steps
    double transitionStep; // the largest step from the change until settled
    double allowed;
};

template <typename Change>
ChangeResult measureChange(RateRunner& runner, Change change, const std::string& what) {
    const Stretch before = runner.render(kSteadySeconds);
    const double rateBefore = runner.currentRate();
    change();
    Stretch transition;
    EXPECT_TRUE(runner.renderUntilSettled(transition)) << what << ": the fade never came back";
    const Stretch after = runner.render(kSteadySeconds);
    EXPECT_TRUE(before.finite && transition.finite && after.finite) << what;
    const double steady = std::max(before.largestStep, after.largestStep);
    const double wetPeak = std::max(before.peak, after.peak);
    const double allowed =
        steady + fadeAllowance(std::min(rateBefore, runner.currentRate()), wetPeak);
    EXPECT_LE(transition.largestStep, allowed)
        << what << ": steady steps " << before.largestStep << " and " << after.largestStep;
    return {steady, transition.largestStep, allowed};
}

TEST(RateChanges, EveryRateAndCpuModeChangeStaysWithinTheFade) {
    RateRunner runner(kRateTour[0]);
    Stretch start;
    ASSERT_TRUE(runner.renderUntilSettled(start));
    runner.render(0.5); // the smoothed levels reach their targets
    double worstShare = 0.0;
    for (std::size_t i = 1; i < std::size(kRateTour); ++i) {
        const double from = runner.currentRate();
        const double to = kRateTour[i];
        for (int mode = 0; mode < 2; ++mode) {
            const std::string what = "CPU mode change at " + std::to_string(int(from)) + " Hz";
            const ChangeResult r = measureChange(
                runner, [&] { runner.toggleCpuMode(); }, what);
            worstShare = std::max(worstShare, r.transitionStep / r.allowed);
        }
        const std::string what =
            "rate change " + std::to_string(int(from)) + " -> " + std::to_string(int(to)) + " Hz";
        const ChangeResult r = measureChange(
            runner, [&] { runner.changeRate(to); }, what);
        worstShare = std::max(worstShare, r.transitionStep / r.allowed);
    }
    std::printf("rate changes: the largest step at a change used %.0f %% of what the fade allows\n",
                100.0 * worstShare);
}

} // namespace
} // namespace zel
