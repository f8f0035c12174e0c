// The process entries never allocate, also in the blocks that carry out
// suspend, resume, a Setup preset (applied through the parameter path on the
// audio thread) and a CPU mode change.
#include "plugin/RotaryEffect.h"
#include "tests/AllocationCounter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

namespace zel {
namespace {

using test::allocations;
using test::counting;

constexpr int32_t kCpuMode = 1;
constexpr int32_t kSetup = 10;
constexpr int kFrames = 256;

// A host that answers like a DAW (version 2.4, pins connected, automation
// accepted) and records nothing, so that every allocation seen is the plug-in's.
intptr_t quietHost(vst::AEffect*, int32_t opcode, int32_t, intptr_t, void*, float) {
    return opcode == vst::audioMasterVersion ? 2400 : 0;
}

struct Buffers {
    std::vector<float> inL = std::vector<float>(kFrames), inR = std::vector<float>(kFrames);
    std::vector<float> outL = std::vector<float>(kFrames), outR = std::vector<float>(kFrames);
    int frame = 0;

    // Processes until the engine has faded back; answers the allocations seen.
    long untilSettled(RotaryEffect& fx) {
        float* inputs[2] = {inL.data(), inR.data()};
        float* outputs[2] = {outL.data(), outR.data()};
        allocations = 0;
        for (int b = 0; b < 1000; ++b) {
            for (int i = 0; i < kFrames; ++i, ++frame) {
                inL[i] = static_cast<float>(0.3 * std::sin(0.05 * frame));
                inR[i] = -inL[i];
            }
            counting = true;
            fx.processReplacing(inputs, outputs, kFrames);
            counting = false;
            if (b > 0 && fx.getEngine().fadeState() == 0) break;
        }
        return allocations.load();
    }
};

TEST(ProcessRealtime, NoBlockAllocates) {
    RotaryEffect fx(quietHost);
    Buffers buffers;
    EXPECT_EQ(buffers.untilSettled(fx), 0); // the resets construction leaves pending
    fx.suspend();
    EXPECT_EQ(buffers.untilSettled(fx), 0);
    fx.resume();
    EXPECT_EQ(buffers.untilSettled(fx), 0);
    fx.setParameter(kSetup, 0.8f); // applied by the rebuild, on the audio thread
    EXPECT_EQ(buffers.untilSettled(fx), 0);
    fx.setParameter(kCpuMode, 1.0f);
    EXPECT_EQ(buffers.untilSettled(fx), 0);
    // The counter itself works.
    counting = true;
    auto probe = std::make_unique<double>(1.0);
    counting = false;
    EXPECT_EQ(allocations.load(), 1);
}

} // namespace
} // namespace zel
