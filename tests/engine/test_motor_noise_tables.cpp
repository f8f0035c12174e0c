// The motor-noise tables: sizes, spare entries, the shipped tables against a
// fresh synthesis, levels, click-free loop points and ticks once per revolution.
#include "engine/data/MotorNoiseRecipe.h"
#include "engine/data/MotorNoiseTables.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

using zel::SampleTable;

struct Named {
    const char* name;
    const SampleTable& table;
};

// The seven tables in their recorded order; the alternative drum loop is kept
// apart (built only when asked for).
std::vector<Named> all(const zel::MotorNoiseTables& t, const SampleTable& secondDrumLoop) {
    return {{"horn loop A", t.hornLoopA},    {"horn loop B", t.hornLoopB},
            {"horn rotor", t.hornRotor},     {"drum loop", t.drumLoop},
            {"drum loop 2", secondDrumLoop}, {"drum rotor", t.drumRotor},
            {"transition", t.transition}};
}
std::vector<Named> all() {
    return all(zel::motorNoiseTables(), zel::secondDrumLoop());
}

uint64_t fnv1a(const std::vector<Named>& tables) {
    uint64_t h = 0xcbf29ce484222325ull;
    for (const Named& n : tables) {
        const auto* bytes = reinterpret_cast<const unsigned char*>(n.table.data());
        const size_t count = n.table.samples.size() * sizeof(float);
        for (size_t i = 0; i < count; ++i) {
            h ^= bytes[i];
            h *= 0x100000001b3ull;
        }
    }
    return h;
}

TEST(MotorNoiseTables, HaveTheRecordedSizes) {
    const zel::MotorNoiseTables& t = zel::motorNoiseTables();
    struct Size {
        const SampleTable& table;
        int used, stored;
    };
    for (Size s : {Size{t.hornLoopA, 63884, 63888}, Size{t.hornLoopB, 63884, 63888},
                   Size{t.hornRotor, 219418, 228564}, Size{t.drumLoop, 270144, 270148},
                   Size{zel::secondDrumLoop(), 270144, 270148}, Size{t.drumRotor, 627298, 627372},
                   Size{t.transition, 3955, 3956}}) {
        EXPECT_EQ(s.table.usedLength, s.used);
        EXPECT_EQ(s.table.storedLength(), s.stored);
    }
}

TEST(MotorNoiseTables, SpareEntriesRepeatTheFirstOnes) {
    for (const Named& n : all()) {
        const SampleTable& t = n.table;
        for (int i = t.usedLength; i < t.storedLength(); ++i)
            ASSERT_EQ(t.samples[i], t.samples[i - t.usedLength]) << n.name << " entry " << i;
    }
}

// The shipped tables are what the synthesis gives, to the bit: this catches
// recordings left stale by a change to the synthesis, or a broken embedding. The
// shipped tables are read in place, never built or copied at start-up.
TEST(MotorNoiseTables, ShippedTablesAreAFreshSynthesis) {
    const zel::MotorNoiseTables fresh = zel::buildMotorNoiseTables();
    const SampleTable freshSecond = zel::buildSecondDrumLoop();
    auto a = all();
    auto b = all(fresh, freshSecond);
    for (size_t i = 0; i < a.size(); ++i) {
        ASSERT_EQ(a[i].table.samples.size(), b[i].table.samples.size());
        EXPECT_EQ(a[i].table.usedLength, b[i].table.usedLength) << a[i].name;
        EXPECT_EQ(std::memcmp(a[i].table.data(), b[i].table.data(),
                              a[i].table.samples.size() * sizeof(float)),
                  0)
            << a[i].name;
    }
    const zel::MotorNoiseTables& shipped = zel::motorNoiseTables();
    for (const zel::MotorNoiseTableLayout& l : zel::kMotorNoiseLayout)
        EXPECT_EQ((shipped.*l.table).owned, nullptr);
    // The shipped tables lie one after the other, in the layout's order.
    const float* next = shipped.hornLoopA.data();
    for (const zel::MotorNoiseTableLayout& l : zel::kMotorNoiseLayout) {
        EXPECT_EQ((shipped.*l.table).data(), next);
        next += l.storedLength;
    }
    // Recorded once from the generator. It uses only correctly rounded arithmetic,
    // so the bytes are the same on every IEEE machine that does not fuse multiply
    // and add (the build uses ISO mode, which keeps contraction off).
    EXPECT_EQ(fnv1a(a), 0x0379e3150f76d1afull) << std::hex << fnv1a(a);
    EXPECT_EQ(fnv1a(b), 0x0379e3150f76d1afull) << std::hex << fnv1a(b);
}

TEST(MotorNoiseTables, PeakLevelsAreModest) {
    for (const Named& n : all()) {
        const SampleTable& t = n.table;
        float peak = 0.0f;
        for (int i = 0; i < t.usedLength; ++i) peak = std::max(peak, std::fabs(t.samples[i]));
        EXPECT_GE(peak, 0.1f) << n.name;
        EXPECT_LE(peak, 0.3f) << n.name;
    }
}

// The step from the last used entry to the first is no larger than the steps a
// table takes between neighbours anyway (its 99th percentile).
TEST(MotorNoiseTables, LoopsWrapWithoutAStep) {
    const zel::MotorNoiseTables& t = zel::motorNoiseTables();
    for (const Named& n : all()) {
        if (&n.table == &t.transition) continue; // one-shot, checked below
        const SampleTable& s = n.table;
        const int len = s.usedLength;
        std::vector<float> steps(static_cast<size_t>(len - 1));
        for (int i = 1; i < len; ++i) steps[i - 1] = std::fabs(s.samples[i] - s.samples[i - 1]);
        std::nth_element(steps.begin(), steps.begin() + steps.size() * 99 / 100, steps.end());
        const float p99 = steps[steps.size() * 99 / 100];
        EXPECT_LE(std::fabs(s.samples[len - 1] - s.samples[0]), p99) << n.name;
    }
    // The clunk rises from silence and decays back to it.
    const SampleTable& c = t.transition;
    EXPECT_EQ(c.samples[0], 0.0f);
    EXPECT_LT(std::fabs(c.samples[c.usedLength - 1]), 1e-4f);
}

// Each revolution's sharpest sample-to-sample change is its tick, and it sits at
// the same rotor position in every revolution: within the tick's first two
// periods after the tick position.
void expectTickEveryRevolution(const SampleTable& s, int revolutions,
                               const zel::motor_noise::RotorRecipe& r) {
    const double perRev = static_cast<double>(s.usedLength) / revolutions;
    const double window = 2.0 * zel::kMotorNoiseTableRate / r.tickHz;
    for (int k = 0; k < revolutions; ++k) {
        const int a = static_cast<int>(std::ceil(k * perRev)) + 1;
        const int b = std::min(static_cast<int>(std::ceil((k + 1) * perRev)), s.usedLength);
        int best = a;
        for (int i = a; i < b; ++i) {
            if (std::fabs(s.samples[i] - s.samples[i - 1]) >
                std::fabs(s.samples[best] - s.samples[best - 1]))
                best = i;
        }
        const double tick = (k + r.tickPhase) * perRev;
        EXPECT_GE(best, tick) << "revolution " << k;
        EXPECT_LE(best, tick + window) << "revolution " << k;
    }
}

TEST(MotorNoiseTables, RotorRecordingsTickOncePerRevolution) {
    const zel::MotorNoiseTables& t = zel::motorNoiseTables();
    expectTickEveryRevolution(t.hornRotor, zel::kHornRotorRevolutions,
                              zel::motor_noise::kHornRotor);
    expectTickEveryRevolution(t.drumRotor, zel::kDrumRotorRevolutions,
                              zel::motor_noise::kDrumRotor);
}

} // namespace
