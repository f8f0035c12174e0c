// Runs audio through an effect for the parameter and MIDI tests, and the fixture
// that gives each of those tests a new effect on the recording test host.
#pragma once

#include "TestHost.h"

#include "plugin/RotaryEffect.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

namespace zel::test {

constexpr int kDriverBlock = 256;

// Processes blocks of a low sine; answers whether every output sample was finite.
inline bool runBlocks(RotaryEffect& effect, int blocks) {
    std::vector<double> inL(kDriverBlock), inR(kDriverBlock), outL(kDriverBlock),
        outR(kDriverBlock);
    double* inputs[2] = {inL.data(), inR.data()};
    double* outputs[2] = {outL.data(), outR.data()};
    static double phase = 0.0;
    bool finite = true;
    for (int b = 0; b < blocks; ++b) {
        for (int i = 0; i < kDriverBlock; ++i) {
            phase += 2.0 * 3.141592653589793 * 220.0 / 44100.0;
            inL[static_cast<std::size_t>(i)] = 0.25 * std::sin(phase);
            inR[static_cast<std::size_t>(i)] = 0.25 * std::sin(1.5 * phase);
        }
        effect.processDoubleReplacing(inputs, outputs, kDriverBlock);
        for (int i = 0; i < kDriverBlock; ++i)
            finite = finite && std::isfinite(outL[static_cast<std::size_t>(i)]) &&
                     std::isfinite(outR[static_cast<std::size_t>(i)]);
    }
    return finite;
}

// Processes until the engine has worked off every rebuild and faded back (or
// the block budget runs out); answers whether it settled.
inline bool settle(RotaryEffect& effect, int maxBlocks = 2000) {
    for (int b = 0; b < maxBlocks; ++b) {
        runBlocks(effect, 1);
        if (effect.getEngine().fadeState() == 0 && !effect.getEngine().requests.fade.load())
            return true;
    }
    return false;
}

// A new effect on a reset test host for every test; the host's record of calls
// starts after the effect's construction.
class EffectFixture : public ::testing::Test {
protected:
    void SetUp() override {
        resetTestHost();
        fx = std::make_unique<RotaryEffect>(testHostCallback);
        testHost.calls.clear();
    }

    std::unique_ptr<RotaryEffect> fx;
};

} // namespace zel::test
