// The fade that covers structural changes: requests from other threads, one task
// per block in priority order while dry, the dry signal itself, block-start
// updates and the rate reset.
#include "RotaryEngineSetup.h"

#include "engine/RotaryEngine.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

namespace zel {
namespace {

using test::EngineOptions;
using test::makeEngine;

constexpr double kTwoPi = 6.283185307179586;

double input(int i) {
    return 0.4 * std::sin(kTwoPi * 440.0 * i / 44100.0) +
           0.2 * std::sin(kTwoPi * 5000.0 * i / 44100.0);
}

// What one block did.
struct BlockRecord {
    int stateAtStart; // after the block-start work
    int stateAtEnd;
    uint64_t tasks; // structural tasks run by this block
};

struct Runner {
    explicit Runner(RotaryEngine& engine) : e(engine) {}

    RotaryEngine& e;
    int frame = 0;
    std::vector<double> left;

    BlockRecord block(int frames) {
        const uint64_t before = e.tasksRun();
        e.startBlock();
        BlockRecord r{e.fadeState(), 0, e.tasksRun() - before};
        for (int i = 0; i < frames; ++i, ++frame) {
            double l, rr;
            e.stepFade();
            e.processSample(input(frame), input(frame), l, rr);
            left.push_back(l);
        }
        e.endBlock();
        r.stateAtEnd = e.fadeState();
        return r;
    }
};

TEST(RotaryEngineFade, RebuildFadesToTheLowPassedDrySignalOneTaskPerBlockAndBack) {
    auto e = makeEngine();
    e->targets.inputGain = 1.0;
    Runner run(*e);
    for (int b = 0; b < 100; ++b) run.block(512); // the gain glides to 1 (50 ms)

    e->requests.hornUnit0 = true;
    e->requests.crossPaths = true;
    e->requestFade();
    const int blockFrames = 256;
    std::vector<BlockRecord> blocks;
    int framesFadingOut = 0;
    const double pole = std::exp(-kTwoPi * 3000.0 / 44100.0);
    for (int b = 0; b < 200 && (blocks.empty() || blocks.back().stateAtEnd != 0); ++b) {
        const double dryStart = e->dryState(0);
        const size_t first = run.left.size();
        blocks.push_back(run.block(blockFrames));
        const BlockRecord& r = blocks.back();
        if (r.stateAtStart == 1) framesFadingOut += blockFrames;
        if (r.stateAtStart == 2) {
            // Fully dry: the output is the one-pole 3 kHz low-pass of half the left
            // input. The engine's gain has settled to 1 within a few 1e-16, the
            // replica's and the engine's roundings differ by a few 1e-17 per step.
            double dry = dryStart;
            for (int i = 0; i < blockFrames; ++i) {
                const double x = 0.5 * input(run.frame - blockFrames + i);
                dry = x + pole * (dry - x);
                ASSERT_NEAR(run.left[first + i], dry, 1e-12) << "block " << b << " frame " << i;
            }
        }
    }
    ASSERT_EQ(blocks.back().stateAtEnd, 0);
    // States in order 1..1, 2..2, 3..3, 0; the dry blocks run one task each, and
    // the block after the last task finds nothing and starts the way back.
    std::string states;
    uint64_t tasks = 0;
    for (const BlockRecord& r : blocks) {
        states += static_cast<char>('0' + r.stateAtStart);
        EXPECT_LE(r.tasks, 1u);
        if (r.stateAtStart != 2) {
            EXPECT_EQ(r.tasks, 0u);
        }
        tasks += r.tasks;
    }
    EXPECT_EQ(tasks, 2u);
    const size_t firstDry = states.find('2');
    ASSERT_NE(firstDry, std::string::npos);
    EXPECT_EQ(states.substr(firstDry, 3), "223") << states;
    EXPECT_EQ(states.find_first_not_of('1'), firstDry) << states;
    EXPECT_FALSE(e->requests.hornUnit0.load());
    EXPECT_FALSE(e->requests.crossPaths.load());
    // The fade to dry leaves state 1 once 1 - (1 - c20)^n passes 0.968, after
    // about 3.45 time constants of 20 ms: 3044 frames at 44.1 kHz, rounded up to
    // whole blocks.
    const double c20 = 1.0 - std::exp(-1.0 / (0.02f * 44100.0));
    const double needed = std::log(1.0 - 0.96837722339) / std::log(1.0 - c20);
    EXPECT_GE(framesFadingOut, needed);
    EXPECT_LT(framesFadingOut, needed + blockFrames);
}

TEST(RotaryEngineFade, AFlagWithoutTheFadeRequestStillStartsTheFade) {
    auto e = makeEngine();
    ASSERT_EQ(e->fadeState(), 0);
    e->requests.room = true; // as if the fade request had been lost
    e->startBlock();
    EXPECT_EQ(e->fadeState(), 1);
    EXPECT_EQ(e->fadeTarget(), 1.0);
}

TEST(RotaryEngineFade, RequestsArrivingDuringTheFadeAreAllCarriedOut) {
    auto e = makeEngine();
    Runner run(*e);
    e->requests.hornUnit0 = true;
    e->requestFade();
    run.block(64);
    ASSERT_EQ(e->fadeState(), 1);
    // Arrives while fading out: done before the way back.
    e->requests.drumMainUnit = true;
    e->requestFade();
    uint64_t tasks = 0;
    while (e->fadeState() != 3) tasks += run.block(64).tasks;
    EXPECT_EQ(tasks, 2u);
    // Arrives while fading back: the fade turns round.
    e->requests.drumCrossUnit = true;
    e->requestFade();
    const BlockRecord r = run.block(64);
    EXPECT_EQ(r.stateAtStart, 1);
    EXPECT_EQ(e->fadeTarget(), 1.0);
    while (e->fadeState() != 0) tasks += run.block(64).tasks;
    EXPECT_EQ(tasks, 3u);
    EXPECT_FALSE(e->requests.drumCrossUnit.load());
}

// Records what the engine asks of the effect.
struct RecordingApplier final : SetupApplier {
    std::vector<std::string> calls;
    void applySetupPreset(int position) override {
        calls.push_back("setup " + std::to_string(position));
    }
    void applyAmplitudeClip() override { calls.push_back("clip"); }
};

TEST(RotaryEngineFade, TasksRunInPriorityOrder) {
    auto e = makeEngine();
    RecordingApplier applier;
    e->setSetupApplier(&applier);
    e->setupPosition = 3;
    RebuildRequests& q = e->requests;
    q.crossPaths = true;
    q.rateChange = true;
    q.drumCrossUnit = true;
    q.hornUnit1 = true;
    q.room = true;
    q.setup = true;
    q.rateReset = true;
    e->requestFade();
    Runner run(*e);
    while (e->fadeState() != 2) run.block(128);
    // Each dry block takes the most urgent pending task and clears its flags.
    auto pending = [&q] {
        std::string s;
        s += q.rateReset ? "R" : "";
        s += q.setup ? "S" : "";
        s += q.room ? "M" : "";
        s += q.hornUnit1 ? "H" : "";
        s += q.drumCrossUnit ? "D" : "";
        s += q.rateChange ? "C" : "";
        s += q.crossPaths ? "X" : "";
        return s;
    };
    std::vector<std::string> after;
    while (e->fadeState() == 2) {
        run.block(128);
        after.push_back(pending());
    }
    // Six tasks, then a block that finds nothing left and turns back.
    const std::vector<std::string> expected = {"SMHDCX", "HDCX", "DCX", "CX", "X", "", ""};
    EXPECT_EQ(after, expected);
    // The Setup and room task applied the stored Setup position once.
    EXPECT_EQ(applier.calls, std::vector<std::string>{"setup 3"});
}

TEST(RotaryEngineFade, FullResetDoesEverythingInOneBlockAndTurnsBack) {
    auto e = makeEngine();
    RecordingApplier applier;
    e->setSetupApplier(&applier);
    e->setupPosition = 5;
    RebuildRequests& q = e->requests;
    q.fullReset = true;
    q.hornUnit0 = true;
    q.drumMainUnit = true;
    q.crossPaths = true;
    q.setup = true;
    e->requestFade();
    Runner run(*e);
    while (e->fadeState() != 2) run.block(128);
    const BlockRecord r = run.block(128);
    EXPECT_EQ(r.tasks, 1u);
    EXPECT_EQ(r.stateAtStart, 3); // turned back within the block
    EXPECT_EQ(e->fadeTarget(), 0.0);
    for (bool flag : {q.fullReset.load(), q.hornUnit0.load(), q.drumMainUnit.load(),
                      q.crossPaths.load(), q.setup.load(), q.fade.load()})
        EXPECT_FALSE(flag);
    // The reset re-derived the amplitude clip and applied the Setup preset.
    EXPECT_EQ(applier.calls, (std::vector<std::string>{"clip", "setup 5"}));
}

TEST(RotaryEngineFade, HornFilterSaturationAppliesAtTheNextBlockStart) {
    auto e = makeEngine();
    e->setHornFilterSaturation(0.02);
    EXPECT_NE(e->hornToneSection(10).saturationAmount(), 0.02);
    e->startBlock();
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(e->hornToneSection(i).saturationAmount(), i == 10 ? 0.02 : 0.0) << i;
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(e->hornCrossToneSection(i).saturationAmount(), (i == 2 || i == 7) ? 0.02 : 0.0)
            << i;
    // The disabled section 7 keeps its saturation.
    EXPECT_FALSE(e->hornCrossToneSection(7).enabled());
    EXPECT_TRUE(e->hornCrossToneSection(7).saturationOn());
}

TEST(RotaryEngineFade, BlockStartRetunesToneAndMicrophoneFilters) {
    auto e = makeEngine(); // "LowCPU" at 44.1 kHz: internal rate 22050
    e->amp.presenceDb = 6.0;
    e->amp.presenceQ = 0.7;
    e->amp.topShelfDb = -8.0;
    e->amp.hornHighPassHz = 5.0;
    e->requests.toneEqDirty = true;
    e->requests.highLowPassDirty = true;
    e->startBlock();
    EXPECT_EQ(e->ampStage().presence().gainDb(), 6.0);
    EXPECT_EQ(e->ampStage().presence().q(), 0.7);
    EXPECT_EQ(e->ampStage().topShelf().gainDb(), -6.0); // three quarters
    // The microphone high-passes run in the simulation, at its rate, from 20 Hz.
    EXPECT_EQ(e->hornMicHighPass(0).frequency(), 20.0);
    EXPECT_EQ(e->hornMicHighPass(1).rate(), 22050.0);
    e->amp.hornHighPassHz = 900.0;
    e->requests.highLowPassDirty = true;
    e->startBlock();
    EXPECT_EQ(e->hornMicHighPass(1).frequency(), 900.0);
    EXPECT_FALSE(e->requests.toneEqDirty.load());
    EXPECT_FALSE(e->requests.highLowPassDirty.load());
}

TEST(RotaryEngineFade, RateResetReadsTheNewHostRate) {
    auto e = makeEngine();
    ASSERT_EQ(e->configuredHostRate(), 44100.0);
    e->hostRate = 96000.0;
    // Only stored: nothing changes until a reset.
    Runner run(*e);
    run.block(64);
    EXPECT_EQ(e->configuredHostRate(), 44100.0);
    e->requests.rateReset = true;
    e->requestFade();
    while (e->fadeState() != 3) run.block(256);
    EXPECT_EQ(e->configuredHostRate(), 96000.0);
    EXPECT_EQ(e->decimationFactor(), 4); // "LowCPU"
    EXPECT_EQ(e->internalRate(), 24000.0);
    EXPECT_EQ(e->hornUnit(0).unitRate(), 24000.0);
    // The engine's own filters follow the new rates at once.
    EXPECT_EQ(e->reconstructionLowPass(0).rate(), 96000.0);
    EXPECT_EQ(e->hornMicHighPass(0).rate(), 24000.0);
    EXPECT_DOUBLE_EQ(e->glideCoefficient(), 1.0 - std::exp(-1.0 / (0.02f * 96000.0)));
    // The rate reset leaves the filters in immediate mode for the reset to come.
    EXPECT_TRUE(e->reconstructionLowPass(0).immediate());
    e->resetEngine();
    EXPECT_FALSE(e->reconstructionLowPass(0).immediate());
}

} // namespace
} // namespace zel
