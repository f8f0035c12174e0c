// The process entries: channel selection, the bypass crossfade and odd blocks.
#include "EffectDriver.h"
#include "TestHost.h"

#include "plugin/ChannelSelection.h"
#include "plugin/RotaryEffect.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>
#include <vector>

namespace zel {
namespace {

using test::testHost;
using test::testHostCallback;

constexpr double kSentinel = -12345.0;

vst::VstSpeakerArrangement arrangementOf(int32_t channels) {
    vst::VstSpeakerArrangement arrangement{};
    arrangement.numChannels = channels;
    return arrangement;
}

template <typename T> std::vector<T> ramp(int n, double start, double step) {
    std::vector<T> v(n);
    for (int i = 0; i < n; ++i) v[i] = static_cast<T>(start + step * i);
    return v;
}

class Process : public test::EffectFixture {
protected:
    void arrange(int32_t inputs, int32_t outputs) {
        vst::VstSpeakerArrangement in = arrangementOf(inputs);
        vst::VstSpeakerArrangement out = arrangementOf(outputs);
        ASSERT_TRUE(fx->setSpeakerArrangement(&in, &out));
    }

    // Bypass fully on or off with no glide: the resume snaps the level at the next block.
    void settleBypass(float value) {
        fx->setParameter(0, value);
        fx->resume();
        fx->processDoubleReplacing(nullptr, nullptr, 0);
        ASSERT_EQ(fx->getBypassLevel(), value >= 0.5f ? 1.0 : 0.0);
    }

    void run(std::vector<double>& inL, std::vector<double>& inR, std::vector<double>& outL,
             std::vector<double>& outR) {
        double* inputs[2] = {inL.data(), inR.data()};
        double* outputs[2] = {outL.data(), outR.data()};
        fx->processDoubleReplacing(inputs, outputs, static_cast<int32_t>(outL.size()));
    }
};

TEST_F(Process, BypassGivesEachChannelItsOwnInput) {
    settleBypass(1.0f);
    auto inL = ramp<double>(64, 0.25, 0.01);
    auto inR = ramp<double>(64, -0.5, -0.003);
    std::vector<double> outL(64, kSentinel), outR(64, kSentinel);
    run(inL, inR, outL, outR);
    // With the level exactly 1 the crossfade is 0 * wet + 1 * dry: exact.
    EXPECT_EQ(outL, inL);
    EXPECT_EQ(outR, inR);

    std::vector<float> fL = ramp<float>(64, 0.25, 0.01), fR = ramp<float>(64, -0.5, -0.003);
    std::vector<float> gL(64, 9.0f), gR(64, 9.0f);
    float* inputs[2] = {fL.data(), fR.data()};
    float* outputs[2] = {gL.data(), gR.data()};
    fx->processReplacing(inputs, outputs, 64);
    EXPECT_EQ(gL, fL);
    EXPECT_EQ(gR, fR);
}

// Runs silence until the fade that construction (or a resume) leaves pending has
// gone out, rebuilt and come back: from then on the output is the engine's wet
// signal alone.
void settleFade(RotaryEffect& effect) {
    std::vector<double> silence(512, 0.0), outL(512), outR(512);
    double* inputs[2] = {silence.data(), silence.data()};
    double* outputs[2] = {outL.data(), outR.data()};
    for (int block = 0; block < 400; ++block) {
        effect.processDoubleReplacing(inputs, outputs, 512);
        if (effect.getEngine().fadeState() == 0 && block > 0) return;
    }
    FAIL() << "the fade did not settle";
}

TEST_F(Process, ProcessedSignalIsTheEnginesMonoSum) {
    // Twin instances see the same calls; one gets its inputs swapped. The engine
    // sums the two inputs first, so with the fade settled (no dry share) the
    // outputs agree exactly.
    RotaryEffect twin(testHostCallback);
    settleBypass(0.0f);
    twin.setParameter(0, 0.0f);
    twin.resume();
    settleFade(*fx);
    settleFade(twin);
    ASSERT_EQ(fx->getEngine().sampleCounter(), twin.getEngine().sampleCounter());
    auto inL = ramp<double>(256, 0.25, 0.001);
    auto inR = ramp<double>(256, -0.5, -0.0003);
    std::vector<double> outL(256), outR(256), twinL(256), twinR(256);
    run(inL, inR, outL, outR);
    double* swapped[2] = {inR.data(), inL.data()};
    double* twinOut[2] = {twinL.data(), twinR.data()};
    twin.processDoubleReplacing(swapped, twinOut, 256);
    EXPECT_EQ(outL, twinL);
    EXPECT_EQ(outR, twinR);
    double energy = 0.0;
    for (int i = 0; i < 256; ++i) energy += outL[i] * outL[i] + outR[i] * outR[i];
    EXPECT_GT(energy, 0.0);
}

TEST_F(Process, MonoInputFeedsBothOutputs) {
    arrange(1, 2);
    settleBypass(1.0f);
    auto in = ramp<double>(48, 0.1, 0.02);
    std::vector<double> unused(48, kSentinel); // would show up if it were read
    std::vector<double> outL(48), outR(48);
    run(in, unused, outL, outR);
    EXPECT_EQ(outL, in);
    EXPECT_EQ(outR, in);

    // Processed: the engine gets the left input on both sides, exactly as a stereo
    // twin that is handed the left input twice.
    RotaryEffect twin(testHostCallback);
    twin.setParameter(0, 1.0f);
    twin.resume();
    std::vector<double> twinL(48), twinR(48);
    double* twinIn[2] = {in.data(), in.data()};
    double* twinOut[2] = {twinL.data(), twinR.data()};
    twin.processDoubleReplacing(twinIn, twinOut, 48);
    settleBypass(0.0f);
    twin.setParameter(0, 0.0f);
    twin.resume();
    for (int block = 0; block < 3; ++block) {
        run(in, unused, outL, outR);
        twin.processDoubleReplacing(twinIn, twinOut, 48);
        EXPECT_EQ(outL, twinL);
        EXPECT_EQ(outR, twinR);
    }
}

TEST(ChannelSelection, SecondChannelOnlyWhenConnectedStereoAndDistinct) {
    float a[1], b[1];
    float* distinct[2] = {a, b};
    float* same[2] = {a, a};
    float* missing[2] = {a, nullptr};
    EXPECT_EQ(selectChannels(distinct, true, true).right, b);
    EXPECT_EQ(selectChannels(distinct, false, true).right, a);
    EXPECT_EQ(selectChannels(distinct, true, false).right, a);
    EXPECT_EQ(selectChannels(same, true, true).right, a);
    EXPECT_EQ(selectChannels(missing, true, true).right, a);
    for (bool connected : {false, true})
        for (bool stereo : {false, true})
            EXPECT_EQ(selectChannels(distinct, connected, stereo).left, a);
}

TEST_F(Process, SameInputBufferTwiceIsMono) {
    settleBypass(1.0f);
    auto in = ramp<double>(16, 0.3, -0.04);
    std::vector<double> outL(16), outR(16);
    run(in, in, outL, outR);
    EXPECT_EQ(outL, in);
    EXPECT_EQ(outR, in);
}

TEST_F(Process, OneOutputNeverWritesTheSecondBuffer) {
    arrange(2, 1);
    settleBypass(1.0f);
    auto inL = ramp<double>(40, 0.5, -0.01);
    auto inR = ramp<double>(40, -0.2, 0.03);
    std::vector<double> outL(40, 0.0), outR(40, kSentinel);
    run(inL, inR, outL, outR);
    EXPECT_EQ(outR, std::vector<double>(40, kSentinel));
    // Right is written first, left second: the left result remains.
    EXPECT_EQ(outL, inL);

    std::vector<float> fL = ramp<float>(40, 0.5, -0.01), fR = ramp<float>(40, -0.2, 0.03);
    std::vector<float> gL(40, 0.0f), gR(40, 7.0f);
    float* inputs[2] = {fL.data(), fR.data()};
    float* outputs[2] = {gL.data(), gR.data()};
    fx->processReplacing(inputs, outputs, 40);
    EXPECT_EQ(gR, std::vector<float>(40, 7.0f));
    EXPECT_EQ(gL, fL);
}

TEST_F(Process, SameOutputBufferTwiceKeepsTheLeftResult) {
    settleBypass(1.0f);
    auto inL = ramp<double>(20, 0.5, -0.01);
    auto inR = ramp<double>(20, -0.2, 0.03);
    std::vector<double> out(20, kSentinel);
    double* inputs[2] = {inL.data(), inR.data()};
    double* outputs[2] = {out.data(), out.data()};
    fx->processDoubleReplacing(inputs, outputs, 20);
    EXPECT_EQ(out, inL);
}

TEST_F(Process, SixOutputsAreRefusedAndStereoIsKept) {
    arrange(1, 1);
    vst::VstSpeakerArrangement in = arrangementOf(2);
    vst::VstSpeakerArrangement out = arrangementOf(6);
    EXPECT_FALSE(fx->setSpeakerArrangement(&in, &out));
    settleBypass(1.0f);
    auto inL = ramp<double>(8, 0.5, 0.01);
    auto inR = ramp<double>(8, -0.5, 0.01);
    std::vector<double> outL(8), outR(8, kSentinel);
    run(inL, inR, outL, outR);
    EXPECT_EQ(outL, inL);
    EXPECT_EQ(outR, inR);
}

TEST_F(Process, UnconnectedPinsMeanMonoOnThatSide) {
    settleBypass(1.0f);
    auto inL = ramp<double>(12, 0.5, 0.01);
    auto inR = ramp<double>(12, -0.5, 0.02);
    std::vector<double> outL(12), outR(12, kSentinel);

    testHost.inputPin1Answer = 1;
    testHost.calls.clear();
    run(inL, inR, outL, outR);
    EXPECT_EQ(outL, inL);
    EXPECT_EQ(outR, inL);
    // Asked once per call for input pin 1 and once for output pin 1, nothing else.
    EXPECT_EQ(testHost.count(vst::audioMasterPinConnected, 1, 0), 1);
    EXPECT_EQ(testHost.count(vst::audioMasterPinConnected, 1, 1), 1);
    EXPECT_EQ(testHost.count(vst::audioMasterPinConnected), 2);

    testHost.inputPin1Answer = 0;
    testHost.outputPin1Answer = 1;
    std::fill(outR.begin(), outR.end(), kSentinel);
    run(inL, inR, outL, outR);
    EXPECT_EQ(outL, inL);
    EXPECT_EQ(outR, std::vector<double>(12, kSentinel));
}

TEST_F(Process, EmptyAndMissingBuffers) {
    settleBypass(0.0f);
    std::vector<double> inL(4, 0.5), inR(4, 0.5), outL(4, kSentinel), outR(4, kSentinel);
    double* inputs[2] = {inL.data(), inR.data()};
    double* outputs[2] = {outL.data(), outR.data()};
    for (int32_t frames : {0, -1, -1000}) {
        fx->processDoubleReplacing(inputs, outputs, frames);
        EXPECT_EQ(outL, std::vector<double>(4, kSentinel));
        EXPECT_EQ(outR, std::vector<double>(4, kSentinel));
    }
    // No output buffer: nothing to write, no crash.
    fx->processDoubleReplacing(inputs, nullptr, 4);
    double* noOutput[2] = {nullptr, nullptr};
    fx->processDoubleReplacing(inputs, noOutput, 4);
    // No input buffer: the block is silent.
    fx->processDoubleReplacing(nullptr, outputs, 4);
    EXPECT_EQ(outL, std::vector<double>(4, 0.0));
    EXPECT_EQ(outR, std::vector<double>(4, 0.0));
}

TEST_F(Process, ZeroLengthBlockStillDoesTheBlockStartWork) {
    settleBypass(0.0f);
    fx->setParameter(0, 1.0f);
    fx->resume();
    fx->processReplacing(nullptr, nullptr, 0);
    EXPECT_EQ(fx->getBypassLevel(), 1.0);
}

// Bypass level from an output frame: a twin instance with the bypass held off
// gives the wet signal of the same frame, so out = wet + level * (dry - wet).
double levelFrom(double out, double wet, double dry) {
    return (out - wet) / (dry - wet);
}

// Glides fx's bypass on while the twin stays processed.
void expectGlide(RotaryEffect& fx, RotaryEffect& twin, double rate) {
    const double tau = rate * static_cast<double>(0.02f); // frames per time constant
    const int frames = static_cast<int>(std::lround(tau));
    std::vector<double> inL(frames, 1.0), inR(frames, 0.0), outL(frames), outR(frames);
    std::vector<double> wetL(frames), wetR(frames);
    double* inputs[2] = {inL.data(), inR.data()};
    double* outputs[2] = {outL.data(), outR.data()};
    double* wet[2] = {wetL.data(), wetR.data()};
    fx.setParameter(0, 1.0f);
    fx.processDoubleReplacing(inputs, outputs, frames);
    twin.processDoubleReplacing(inputs, wet, frames);
    // level_n = 1 - (1 - c20)^n with 1 - c20 = exp(-1 / tau). Each step rounds
    // and adds/subtracts the 1e-12 guard: a few 1e-16 per step over ~2000 steps,
    // and the power in the reference magnifies exp's rounding by n; recovering the
    // level divides rounding errors of the output (< 1e-16) by |dry - wet| > 0.5.
    // 1e-11 covers all of it.
    for (int n = 1; n <= frames; ++n) {
        ASSERT_GT(std::abs(inL[n - 1] - wetL[n - 1]), 0.5) << "frame " << n;
        ASSERT_NEAR(levelFrom(outL[n - 1], wetL[n - 1], inL[n - 1]), 1.0 - std::exp(-n / tau),
                    1e-11)
            << "frame " << n;
    }
    // After one time constant the level is 1 - 1/e; the frame count differs from
    // tau by less than half a frame, i.e. by at most 0.5 / tau in the exponent.
    EXPECT_NEAR(levelFrom(outL[frames - 1], wetL[frames - 1], 1.0), 1.0 - std::exp(-1.0),
                0.5 / tau * std::exp(-1.0) + 1e-11);
    // Not an instant switch: after one frame the level is about 1/tau.
    EXPECT_NEAR(levelFrom(outL[0], wetL[0], 1.0), 1.0 / tau, 1.0 / (tau * tau));
}

TEST_F(Process, BypassGlidesWithATwentyMillisecondTimeConstant) {
    RotaryEffect twin(testHostCallback);
    settleBypass(0.0f);
    twin.resume();
    expectGlide(*fx, twin, 44100.0);
}

TEST_F(Process, GlideFollowsTheHostRateAfterTheReset) {
    RotaryEffect twin(testHostCallback);
    settleBypass(0.0f); // a first block at 44.1 kHz
    for (RotaryEffect* effect : {fx.get(), &twin}) {
        effect->setSampleRate(96000.0f);
        effect->suspend();
        effect->resume();
        // The engine's full reset, behind the fade, re-reads the host rate.
        settleFade(*effect);
        EXPECT_EQ(effect->getEngine().configuredHostRate(), 96000.0);
    }
    expectGlide(*fx, twin, 96000.0);
}

TEST_F(Process, BypassSettledAfterAGlideGivesTheInput) {
    settleBypass(0.0f);
    fx->setParameter(0, 1.0f);
    std::vector<double> inL(44100, 0.5), inR(44100, -0.25), outL(44100), outR(44100);
    run(inL, inR, outL, outR); // one second: over 50 time constants
    // The glide stalls just below 1: once (1 - level) * c20 is below half an ulp
    // (2^-54) a step no longer moves it, so 1 - level < 2^-54 / c20 < 5e-14.
    EXPECT_LT(1.0 - fx->getBypassLevel(), 5e-14);
    auto dL = ramp<double>(64, 0.25, 0.01);
    auto dR = ramp<double>(64, -0.5, -0.003);
    std::vector<double> eL(64), eR(64);
    run(dL, dR, eL, eR);
    // The leftover wet share is below 5e-14 of |wet - dry| < 2.
    for (int i = 0; i < 64; ++i) {
        EXPECT_NEAR(eL[i], dL[i], 1e-13) << i;
        EXPECT_NEAR(eR[i], dR[i], 1e-13) << i;
    }
    // In float that leftover is far below half an ulp of these inputs (|x| >= 0.1,
    // half an ulp >= 3e-9), so the float entry returns the inputs exactly.
    std::vector<float> fL = ramp<float>(64, 0.25, 0.01), fR = ramp<float>(64, -0.5, -0.003);
    std::vector<float> gL(64), gR(64);
    float* inputs[2] = {fL.data(), fR.data()};
    float* outputs[2] = {gL.data(), gR.data()};
    fx->processReplacing(inputs, outputs, 64);
    EXPECT_EQ(gL, fL);
    EXPECT_EQ(gR, fR);
}

TEST_F(Process, ResumeJumpsToTheBypassTarget) {
    settleBypass(0.0f);
    std::vector<double> inL(100, 1.0), inR(100, 0.0), outL(100), outR(100);
    fx->setParameter(0, 1.0f);
    run(inL, inR, outL, outR);
    ASSERT_GT(fx->getBypassLevel(), 0.05);
    ASSERT_LT(fx->getBypassLevel(), 0.5);
    fx->resume();
    run(inL, inR, outL, outR);
    EXPECT_EQ(outL, inL); // level exactly 1 from the first frame
    EXPECT_EQ(outR, inR);

    // Bypass values are limited to off and on.
    fx->setParameter(0, 7.0f);
    fx->resume();
    run(inL, inR, outL, outR);
    EXPECT_EQ(fx->getBypassLevel(), 1.0);
    // A value that is not a number is ignored: the bypass stays on.
    fx->setParameter(0, NAN);
    fx->resume();
    run(inL, inR, outL, outR);
    EXPECT_EQ(fx->getBypassLevel(), 1.0);
    fx->setParameter(0, -3.0f);
    fx->resume();
    run(inL, inR, outL, outR);
    EXPECT_EQ(fx->getBypassLevel(), 0.0);
}

TEST_F(Process, FloatAndDoubleEntriesAgree) {
    RotaryEffect other(testHostCallback);
    std::mt19937 generator(7);
    std::uniform_real_distribution<float> sample(-1.0f, 1.0f);
    const int frames = 2048;
    std::vector<float> fL(frames), fR(frames), gL(frames), gR(frames);
    std::vector<double> dL(frames), dR(frames), eL(frames), eR(frames);
    for (int i = 0; i < frames; ++i) {
        fL[i] = sample(generator);
        fR[i] = sample(generator);
        dL[i] = fL[i];
        dR[i] = fR[i];
    }
    float* fIn[2] = {fL.data(), fR.data()};
    float* fOut[2] = {gL.data(), gR.data()};
    double* dIn[2] = {dL.data(), dR.data()};
    double* dOut[2] = {eL.data(), eR.data()};
    for (RotaryEffect* effect : {fx.get(), &other}) effect->setParameter(0, 1.0f); // glide starts
    for (int block = 0; block < 3; ++block) {
        if (block == 2)
            for (RotaryEffect* effect : {fx.get(), &other}) effect->setParameter(0, 0.0f);
        fx->processReplacing(fIn, fOut, frames);
        other.processDoubleReplacing(dIn, dOut, frames);
        // The float entry rounds the wet signal and the result to float. Both are
        // below 1 in magnitude, so each rounding errs by at most half an ulp,
        // 2^-25: together at most 2^-24.
        const double tolerance = std::ldexp(1.0, -24);
        for (int i = 0; i < frames; ++i) {
            ASSERT_NEAR(gL[i], eL[i], tolerance) << block << ":" << i;
            ASSERT_NEAR(gR[i], eR[i], tolerance) << block << ":" << i;
        }
    }
    EXPECT_EQ(fx->getBypassLevel(), other.getBypassLevel());
}

TEST_F(Process, InPlaceProcessingReadsBeforeWriting) {
    settleBypass(1.0f);
    auto inL = ramp<double>(16, 0.5, 0.01);
    auto inR = ramp<double>(16, -0.5, 0.01);
    auto bufL = inL, bufR = inR;
    double* inputs[2] = {bufL.data(), bufR.data()};
    // Outputs swapped onto the inputs: each frame's inputs are read before either write.
    double* outputs[2] = {bufR.data(), bufL.data()};
    fx->processDoubleReplacing(inputs, outputs, 16);
    EXPECT_EQ(bufR, inL);
    EXPECT_EQ(bufL, inR);
}

} // namespace
} // namespace zel
