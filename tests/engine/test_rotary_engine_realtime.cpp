// The audio thread never allocates: every engine call the process entry makes
// (block start with each kind of rebuild task, the frames, block end) runs while
// this program's allocation functions count.
#include "RotaryEngineSetup.h"

#include "engine/RotaryEngine.h"
#include "tests/AllocationCounter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace zel {
namespace {

using test::allocations;
using test::CountAllocations;

void runBlocks(RotaryEngine& e, int blocks, int frames) {
    double l, r;
    for (int b = 0; b < blocks; ++b) {
        e.startBlock();
        for (int i = 0; i < frames; ++i) {
            e.stepFade();
            const double x = 0.3 * std::sin(0.07 * (b * frames + i));
            e.processSample(x, -x, l, r);
        }
        e.endBlock();
    }
}

TEST(RotaryEngineRealtime, NoBlockAllocatesNotEvenWhileRebuilding) {
    auto e = test::makeEngine();
    {
        // The counter itself works: a visible allocation is seen.
        CountAllocations scope;
        auto probe = std::make_unique<int>(1);
        EXPECT_EQ(allocations.load(), 1);
    }
    allocations = 0;

    RebuildRequests& q = e->requests;
    CountAllocations scope;
    runBlocks(*e, 20, 512);
    // Every kind of task, one after another, each behind its own fade.
    for (Relaxed<bool>* flag :
         {&q.rateReset, &q.fullReset, &q.setup, &q.room, &q.hornUnit0, &q.hornUnit1,
          &q.hornCrossUnit, &q.drumMainUnit, &q.drumCrossUnit, &q.rateChange, &q.crossPaths}) {
        *flag = true;
        e->requestFade();
        int blocks = 0;
        do {
            runBlocks(*e, 1, 256);
        } while (e->fadeState() != 0 && ++blocks < 1000);
        EXPECT_EQ(e->fadeState(), 0);
    }
    // Block-start updates.
    e->setHornFilterSaturation(0.01);
    q.toneEqDirty = true;
    q.highLowPassDirty = true;
    runBlocks(*e, 2, 64);
    EXPECT_EQ(allocations.load(), 0);
}

} // namespace
} // namespace zel
