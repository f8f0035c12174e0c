// A kept run of a cascade: a second cascade takes its values only when it is in
// the very state and tuning the run started from and is fed the same samples,
// and then ends where the run ended, exactly as if it had filtered them itself.
// sameAs, which decides it, tells apart every kind of difference.
#include "engine/CascadeRun.h"

#include "engine/MultiFilter.h"
#include "engine/data/DrumTables.h"

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>

namespace zel::test {
namespace {

constexpr double kRate = 44100;
constexpr int kRun = CascadeRun::kMaxSamples;

// The drum's input cascade, saturating by `saturation`; the last section's
// frequency times `lastHz`.
MultiFilter inputCascade(double saturation, double lastHz = 1.0) {
    std::array<BiquadFilter, MultiFilter::kSections> s;
    for (int k = 0; k < MultiFilter::kSections; ++k) {
        const horn::EqSection& e = drum::kInputEq[k];
        const double hz = k == MultiFilter::kSections - 1 ? e.hz * lastHz : e.hz;
        s[k] = BiquadFilter(kRate, e.type, hz, e.q, e.db);
        s[k].setEnabled(e.enabled);
        s[k].setBias(drum::kInputSaturationBias);
        s[k].setSaturation(saturation);
    }
    MultiFilter m;
    m.copyFrom(s.data());
    return m;
}

std::array<double, kRun> samples(int seed) {
    std::array<double, kRun> x;
    for (int j = 0; j < kRun; ++j) x[j] = 1.3 * std::sin(0.37 * (j + kRun * seed)) + 0.2 * seed;
    return x;
}

uint64_t bits(double v) {
    return std::bit_cast<uint64_t>(v);
}

// Runs `m` over x into `run`, the way a unit does.
const double* keep(CascadeRun& run, MultiFilter& m, const std::array<double, kRun>& x, int n) {
    double* values = run.begin(m, x.data(), n);
    for (int j = 0; j < n; ++j) values[j] = m.process(x[j]);
    run.finish(m);
    return values;
}

TEST(MultiFilterSameAs, TellsApartTuningSaturationAndHistory) {
    MultiFilter a = inputCascade(0.08), b = inputCascade(0.08);
    EXPECT_TRUE(a.sameAs(b));
    a.process(0.5);
    EXPECT_FALSE(a.sameAs(b)) << "history";
    b.process(0.5);
    EXPECT_TRUE(a.sameAs(b)) << "the same sample gives the same history";
    EXPECT_FALSE(a.sameAs(inputCascade(0.09))) << "saturation";
    // Without saturation (whose scale follows the frequency), only the
    // coefficients differ.
    EXPECT_FALSE(inputCascade(0.0).sameAs(inputCascade(0.0, 1.01))) << "coefficients";
    a.clearState();
    EXPECT_TRUE(a.sameAs(inputCascade(0.08))) << "cleared: the state it was made with";
}

TEST(CascadeRun, ReusedOnlyFromTheSameStateAndSamples) {
    MultiFilter source = inputCascade(0.08);
    for (int k = 0; k < 3; ++k) source.process(0.7 * k); // some history
    MultiFilter twin = source, alone = source;
    CascadeRun run;
    EXPECT_EQ(run.reuse(twin, samples(1).data(), kRun), nullptr) << "nothing kept yet";

    const std::array<double, kRun> x = samples(1);
    const double* kept = keep(run, source, x, kRun);
    const double* taken = run.reuse(twin, x.data(), kRun);
    ASSERT_NE(taken, nullptr);
    for (int j = 0; j < kRun; ++j) ASSERT_EQ(bits(taken[j]), bits(alone.process(x[j]))) << j;
    EXPECT_TRUE(twin.sameAs(alone)) << "ends where its own run would have";
    EXPECT_EQ(kept, taken);

    // The twin has moved on: the same run does not fit it again.
    EXPECT_EQ(run.reuse(twin, x.data(), kRun), nullptr);

    // Another start, another length, one other sample: refused, state untouched.
    MultiFilter before = inputCascade(0.08);
    for (int k = 0; k < 3; ++k) before.process(0.7 * k);
    MultiFilter other = before;
    other.process(0.0);
    const MultiFilter otherBefore = other;
    EXPECT_EQ(run.reuse(other, x.data(), kRun), nullptr);
    EXPECT_TRUE(other.sameAs(otherBefore));
    MultiFilter shortRun = before;
    EXPECT_EQ(run.reuse(shortRun, x.data(), kRun - 1), nullptr);
    std::array<double, kRun> changed = x;
    changed[kRun - 1] = std::nextafter(changed[kRun - 1], 2.0);
    MultiFilter changedInput = before;
    EXPECT_EQ(run.reuse(changedInput, changed.data(), kRun), nullptr);
    EXPECT_TRUE(changedInput.sameAs(before));
    MultiFilter fits = before;
    EXPECT_NE(run.reuse(fits, x.data(), kRun), nullptr) << "the run's own start still fits";

    // Whatever happens to the source afterwards, the kept run stays true.
    source.clearState();
    MultiFilter late = before;
    EXPECT_NE(run.reuse(late, x.data(), kRun), nullptr);
    EXPECT_TRUE(late.sameAs(alone));

    // A run begun and not finished is not there to take.
    MultiFilter next = alone;
    run.begin(source, x.data(), kRun);
    EXPECT_EQ(run.reuse(next, x.data(), kRun), nullptr);
}

} // namespace
} // namespace zel::test
