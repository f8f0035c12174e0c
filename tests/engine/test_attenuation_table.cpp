// The attenuation table's padded copy: from entry n on lie the four neighbours a
// cubic read between entries n and n + 1 takes, clamped at the table's ends, for
// every n and after every rebuild (the wide ray reads take them with one load,
// so a stale or shifted copy would change their attenuations).
#include "engine/AttenuationTable.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace zel {
namespace {

bool same(double a, double b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

void expectClampedNeighbours(const AttenuationTable& table) {
    constexpr int kLast = cabinet::kAttenuationLast;
    const double* padded = table.clampedNeighbours();
    const auto entries = table.values();
    for (int n = 0; n <= kLast; ++n)
        for (int k = 0; k < 4; ++k) {
            const int entry = std::clamp(n - 1 + k, 0, kLast);
            ASSERT_TRUE(same(padded[n + k], entries[entry])) << "entry " << n << " neighbour " << k;
        }
}

TEST(AttenuationTable, PaddedCopyHoldsEachEntrysClampedNeighbours) {
    AttenuationTable table;
    expectClampedNeighbours(table);
    // Rebuilt with other settings (the ends change too), then with a reach past
    // the table, so the last entries still fall.
    table.build({0.05, 2.0, 0.3, 0.9});
    ASSERT_NE(table.values()[0], AttenuationTable().values()[0]);
    expectClampedNeighbours(table);
    table.build({0.25, 0.7, 20.0, 0.2});
    ASSERT_NE(table.values()[cabinet::kAttenuationLast],
              table.values()[cabinet::kAttenuationLast - 1]);
    expectClampedNeighbours(table);
}

TEST(AttenuationTable, ReadsAtAndBeyondTheEndsGiveTheEndEntries) {
    AttenuationTable table;
    table.build({0.18, 1.3, 0.7, 0.5});
    constexpr double kLast = cabinet::kAttenuationLast;
    const auto entries = table.values();
    EXPECT_TRUE(same(table.atPosition(0.0), entries[0]));
    EXPECT_TRUE(same(table.atPosition(-3.5), entries[0]));
    EXPECT_TRUE(same(table.atPosition(std::nan("")), entries[0]));
    EXPECT_TRUE(same(table.atPosition(kLast), entries[cabinet::kAttenuationLast]));
    EXPECT_TRUE(same(table.atPosition(kLast + 7.25), entries[cabinet::kAttenuationLast]));
    // At a whole position inside, the Catmull-Rom sum is the entry itself.
    EXPECT_TRUE(same(table.atPosition(1.0), entries[1]));
    EXPECT_TRUE(same(table.atPosition(kLast - 1), entries[cabinet::kAttenuationLast - 1]));
}

} // namespace
} // namespace zel
