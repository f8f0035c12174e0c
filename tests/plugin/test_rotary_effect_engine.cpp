// The effect around its engine: the rebuilds a new instance leaves pending,
// suspend and resume, and parameters whose effect the engine carries out behind
// the fade.
#include "EffectDriver.h"

#include "plugin/RotaryEffect.h"

#include <gtest/gtest.h>

#include <memory>
#include <regex>
#include <string>

namespace zel {
namespace {

constexpr int32_t kCpuMode = 1;
constexpr int32_t kLever = 2;
constexpr int32_t kSetup = 10;
constexpr int32_t kHornMic1Angle = 38;

class EffectEngine : public test::EffectFixture {
protected:
    // Runs blocks until the fade is back at 0. Each block is written as the fade
    // state it found ('0' to '3'), or 'T' when it ran a structural task.
    std::string runFade(int maxBlocks = 2000) {
        std::string blocks;
        const RotaryEngine& e = fx->getEngine();
        for (int b = 0; b < maxBlocks; ++b) {
            const uint64_t before = e.tasksRun();
            const int state = e.fadeState();
            test::runBlocks(*fx, 1);
            tasks += e.tasksRun() - before;
            blocks += e.tasksRun() != before ? 'T' : static_cast<char>('0' + state);
            if (e.fadeState() == 0) return blocks;
        }
        ADD_FAILURE() << "the fade did not come back";
        return blocks;
    }

    uint64_t tasks = 0;
};

TEST_F(EffectEngine, NewInstanceRunsARateResetAndAFullResetBehindTheFade) {
    const RotaryEngine& e = fx->getEngine();
    EXPECT_EQ(e.fadeState(), 0); // nothing happens before the first block
    EXPECT_TRUE(e.requests.rateReset.load());
    EXPECT_TRUE(e.requests.fullReset.load());
    const std::string blocks = runFade();
    // Fading out, the rate reset, the full reset (which turns back at once),
    // fading back.
    EXPECT_EQ(tasks, 2u) << blocks;
    EXPECT_TRUE(std::regex_match(blocks, std::regex("01+TT3+"))) << blocks;
    EXPECT_EQ(e.fadeLevel(), 0.0);
    EXPECT_FALSE(e.requests.fullReset.load());
    EXPECT_FALSE(e.requests.hornUnit0.load());
}

TEST_F(EffectEngine, SuspendThenProcessingFadesResetsTheRateAndFadesBack) {
    ASSERT_TRUE(test::settle(*fx));
    EXPECT_EQ(fx->getEngine().configuredHostRate(), 44100.0);
    fx->setSampleRate(48000.0f);
    fx->suspend();
    tasks = 0;
    const std::string blocks = runFade();
    // Fading out, one block for the rate reset, one that finds nothing left and
    // turns round, fading back.
    EXPECT_EQ(tasks, 1u) << blocks;
    EXPECT_TRUE(std::regex_match(blocks, std::regex("01+T23+"))) << blocks;
    EXPECT_EQ(fx->getEngine().configuredHostRate(), 48000.0);
    EXPECT_EQ(fx->getEngine().internalRate(), 24000.0); // "LowCPU"
}

TEST_F(EffectEngine, ResumeRebuildsEverythingInOneFullReset) {
    ASSERT_TRUE(test::settle(*fx));
    fx->resume();
    tasks = 0;
    runFade();
    // The unit and cross-path flags resume raises are covered by the full reset.
    EXPECT_EQ(tasks, 1u);
}

TEST_F(EffectEngine, SetupPresetIsAppliedByTheRebuild) {
    ASSERT_TRUE(test::settle(*fx));
    fx->setParameter(kSetup, 1.0f); // position 5, "Mono"
    // Only requested so far: the preset's values arrive with the rebuild.
    EXPECT_NE(fx->getParameter(kHornMic1Angle), 0.5f);
    ASSERT_TRUE(test::settle(*fx));
    EXPECT_EQ(fx->getParameter(kHornMic1Angle), 0.5f);
    EXPECT_EQ(fx->getEngine().targets.micMakeupGain.load(), 1.99526231497);
}

TEST_F(EffectEngine, CpuModeChoosesTheSimulationRate) {
    ASSERT_TRUE(test::settle(*fx));
    EXPECT_EQ(fx->getEngine().decimationFactor(), 2); // program 0: "LowCPU"
    fx->setParameter(kCpuMode, 1.0f);
    ASSERT_TRUE(test::settle(*fx));
    EXPECT_EQ(fx->getEngine().decimationFactor(), 1);
    EXPECT_EQ(fx->getEngine().internalRate(), 44100.0);
    EXPECT_EQ(fx->getEngine().hornUnit(0).unitRate(), 44100.0);
}

TEST_F(EffectEngine, TheLeverSpeedsTheHornUpAndDown) {
    ASSERT_TRUE(test::settle(*fx));
    const Rotor& horn = fx->getEngine().hornUnit(0).rotor();
    // Program 0: "HSlowSpd" 0.0673 and "HFastSpd" 0.677088 (10 rev/s full scale).
    // The rotor settles exponentially; after a few acceleration times it is
    // within a thousandth of its target.
    EXPECT_NEAR(horn.speedHz(), 0.673, 0.001);
    fx->setParameter(kLever, 1.0f); // "Tremolo"
    test::runBlocks(*fx, 4 * 44100 / test::kDriverBlock);
    EXPECT_NEAR(horn.speedHz(), 6.77088, 0.007);
    fx->setParameter(kLever, 0.0f);
    test::runBlocks(*fx, 6 * 44100 / test::kDriverBlock);
    EXPECT_NEAR(horn.speedHz(), 0.673, 0.001);
}

} // namespace
} // namespace zel
