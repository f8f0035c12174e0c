// Runs audio through an effect for the parameter and MIDI tests.
#pragma once

#include "plugin/RotaryEffect.h"

#include <cmath>
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

} // namespace zel::test
