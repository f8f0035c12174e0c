// Rate tables built ahead of a rate change, a few points per block, must be the
// tables the rate change would have built at once: the sound after the change
// may not depend on how the work was spread.
#include "engine/DirectivityTable.h"
#include "engine/DrumUnit.h"
#include "engine/HornUnit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace zel {
namespace {

TEST(StagedTables, DirectivityTableBuiltInPartsEqualsOneBuild) {
    auto setting = [](BiquadFilter& f, int index, double w) {
        f.setAll(1000.0 + 100.0 * (index + w), 1.0 + 0.1 * index, -6.0 * w);
    };
    auto whole = std::make_unique<DirectivityTable>();
    auto parts = std::make_unique<DirectivityTable>();
    whole->build(12, 48000.0, kBiquadPeaking, setting);
    parts->begin(12, 48000.0, kBiquadPeaking);
    int calls = 0;
    while (!parts->complete()) {
        EXPECT_GT(parts->extend(7, setting), 0);
        ++calls;
    }
    EXPECT_GT(calls, 10);
    EXPECT_EQ(parts->extend(7, setting), 0); // nothing left
    for (double turn = 0.0; turn <= 1.0; turn += 1.0 / 97.0) {
        const BiquadCoefficients a = whole->at(turn);
        const BiquadCoefficients b = parts->at(turn);
        // Same points from the same arithmetic: identical, not merely close.
        EXPECT_EQ(a.b0, b.b0);
        EXPECT_EQ(a.b1, b.b1);
        EXPECT_EQ(a.b2, b.b2);
        EXPECT_EQ(a.a1, b.a1);
        EXPECT_EQ(a.a2, b.a2);
    }
}

// Two units alike but for how their tables for the new rate came about: built
// ahead in small parts (with a change of mind about the rate on the way) or at
// the rate change. Their outputs afterwards are identical.
template <typename Unit, typename Kind> void expectSameAfterRateChange(Kind kind) {
    auto ahead = std::make_unique<Unit>(kind);
    auto atOnce = std::make_unique<Unit>(kind);
    for (Unit* u : {ahead.get(), atOnce.get()}) {
        u->setReflectionCoeff(0.7);
        u->setStaticRayLevel(0.5);
        u->setMechLevel(1.0);
        u->setTarget(3.0);
        for (int r = 0; r < 4; ++r) u->setRayLevel(r, 1.0);
        u->setUnitRate(44100.0, 1);
        u->rebuild();
    }
    while (ahead->prepareRate(32000.0, 50) > 0) {
    }
    int used = 0;
    while (const int n = ahead->prepareRate(24000.0, 50)) used += n;
    EXPECT_GT(used, 0);
    EXPECT_EQ(ahead->prepareRate(24000.0, 50), 0); // ready
    ahead->setUnitRate(24000.0, 2);
    atOnce->setUnitRate(24000.0, 2);
    for (int n = 0; n < 4000; ++n) {
        const double x = std::sin(0.05 * n) + 0.3 * std::sin(0.31 * n);
        ASSERT_EQ(ahead->process(x), atOnce->process(x)) << "sample " << n;
    }
}

TEST(StagedTables, UnitsSoundTheSameWhetherTablesWereBuiltAheadOrAtTheChange) {
    expectSameAfterRateChange<HornUnit>(HornUnit::Kind::Microphone1);
    expectSameAfterRateChange<HornUnit>(HornUnit::Kind::Cross);
    expectSameAfterRateChange<DrumUnit>(DrumUnit::Kind::Main);
    expectSameAfterRateChange<DrumUnit>(DrumUnit::Kind::Cross);
}

} // namespace
} // namespace zel
