// Interpolated reads of delay buffers and tables, and the one-pole conventions.
#include "engine/Interpolation.h"
#include "engine/OnePole.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

TEST(Interpolation, LookupCubicClampsAtBothEnds) {
    std::vector<double> table(512);
    for (int i = 0; i < 512; ++i) table[i] = 1.0 / (1.0 + 0.01 * i);
    EXPECT_EQ(zel::lookupCubic(table.data(), 511, 511.5), table[511]);
    EXPECT_EQ(zel::lookupCubic(table.data(), 511, 9999.0), table[511]);
    EXPECT_EQ(zel::lookupCubic(table.data(), 511, -1.0), table[0]);
    EXPECT_EQ(zel::lookupCubic(table.data(), 511, 0.0), table[0]);
    EXPECT_EQ(zel::lookupCubic(table.data(), 511, std::nan("")), table[0]);
    EXPECT_EQ(zel::lookupCubic(table.data(), 511, 37.0), table[37]);
}

TEST(Interpolation, CatmullRomReproducesQuadratics) {
    // Cubic convolution with these weights is exact for polynomials up to degree
    // two; values near 1e4 carry rounding near 1e-12.
    std::vector<double> table(512);
    for (int i = 0; i < 512; ++i) table[i] = 0.5 * i * i - 3.0 * i + 2.0;
    auto f = [](double x) { return 0.5 * x * x - 3.0 * x + 2.0; };
    for (double p : {1.25, 10.5, 100.875, 509.1}) {
        EXPECT_NEAR(zel::lookupCubic(table.data(), 511, p), f(p), 1e-9) << p;
    }
    std::vector<double> ring(64 + 3);
    for (int i = 0; i < 64; ++i) ring[i] = 0.25 * i * i + i;
    for (int i = 0; i < 3; ++i) ring[64 + i] = ring[i];
    auto g = [](double x) { return 0.25 * x * x + x; };
    for (double p : {1.5, 20.25, 61.75})
        EXPECT_NEAR(zel::readCubic(ring.data(), 64, p), g(p), 1e-12) << p;
}

TEST(Interpolation, ReadCubicAtAnIntegerReturnsThatEntryAndWraps) {
    const int len = 16;
    std::vector<double> buf(len + 3);
    for (int i = 0; i < len; ++i) buf[i] = std::sin(0.7 * i) + 0.1 * i;
    for (int i = 0; i < 3; ++i) buf[len + i] = buf[i];
    for (int i = 0; i < len; ++i) EXPECT_EQ(zel::readCubic(buf.data(), len, i), buf[i]) << i;
    // Negative and past-the-end positions read around the ring.
    EXPECT_EQ(zel::readCubic(buf.data(), len, -3.0), buf[len - 3]);
    EXPECT_EQ(zel::readCubic(buf.data(), len, -0.25), zel::readCubic(buf.data(), len, len - 0.25));
    EXPECT_EQ(zel::readCubic(buf.data(), len, -100.5), zel::readCubic(buf.data(), len, 11.5));
    EXPECT_EQ(zel::readCubic(buf.data(), len, len + 2.0), buf[2]);
    // Between len - 1 and len the read blends the last entry into the first.
    const double mid = zel::readCubic(buf.data(), len, len - 0.5);
    EXPECT_GT(mid, std::min(buf[len - 1], buf[0]) - 0.5);
    EXPECT_LT(mid, std::max(buf[len - 1], buf[0]) + 0.5);
    EXPECT_TRUE(std::isfinite(zel::readCubic(buf.data(), len, std::nan(""))));
}

TEST(Interpolation, ReadLinearWrapsThroughTheMask) {
    std::vector<double> ring = {10, 11, 12, 13, 14, 15, 16, 17};
    EXPECT_EQ(zel::readLinear(ring.data(), 7u, 8, 7.5), 0.5 * 17 + 0.5 * 10);
    EXPECT_EQ(zel::readLinear(ring.data(), 7u, 8, -0.5), 0.5 * 17 + 0.5 * 10);
    EXPECT_EQ(zel::readLinear(ring.data(), 7u, 8, -8.5), 0.5 * 17 + 0.5 * 10);
    EXPECT_EQ(zel::readLinear(ring.data(), 7u, 8, 2.25), 0.75 * 12 + 0.25 * 13);
    EXPECT_EQ(zel::readLinear(ring.data(), 7u, 8, 10.0), 12.0);
    EXPECT_EQ(zel::readLinear(ring.data(), 7u, 8, 3.0), 13.0);
}

TEST(Interpolation, SinglePrecisionTwinsFollowTheDoubleReads) {
    std::vector<float> buf(100 + 3);
    std::vector<double> bufd(100 + 3);
    for (int i = 0; i < 103; ++i) {
        buf[i] = static_cast<float>(std::sin(0.3 * (i % 100)));
        bufd[i] = buf[i];
    }
    for (double p : {0.0, 12.0, 12.3, 57.77, 99.9, -0.4}) {
        // Float weights and sums: a few float ulps of values below 1.
        EXPECT_NEAR(zel::readCubicF(buf.data(), 100, p), zel::readCubic(bufd.data(), 100, p), 1e-6)
            << p;
        EXPECT_NEAR(zel::lookupCubicF(buf.data(), 99, p), zel::lookupCubic(bufd.data(), 99, p),
                    1e-6)
            << p;
    }
    EXPECT_EQ(zel::readCubicF(buf.data(), 100, 42.0), buf[42]);
    EXPECT_EQ(zel::lookupCubicF(buf.data(), 99, 99.5), buf[99]);
    // Positions beyond 2^24 keep their fraction (they stay double).
    std::vector<float> big(627298 + 3);
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<float>(i % 2);
    EXPECT_NEAR(zel::readCubicF(big.data(), 627298, 600001.5), 0.5f, 1e-6);
}

TEST(OnePole, DenormalGuardFlushesTinyValuesAndKeepsOthers) {
    // Values far below the guard vanish, ordinary values pass unchanged.
    EXPECT_EQ(zel::denormalGuard(1e-310), 0.0);
    EXPECT_EQ(zel::denormalGuard(-1e-300), 0.0);
    EXPECT_EQ(zel::denormalGuard(1e-29), 0.0);
    EXPECT_EQ(zel::denormalGuard(1e-50, zel::kRecursionGuard), 0.0);
    EXPECT_EQ(zel::denormalGuard(1e-48, zel::kCascadeGuard), 0.0);
    EXPECT_EQ(zel::denormalGuard(0.5), 0.5);
    EXPECT_EQ(zel::denormalGuard(-3.0), -3.0);
    // Near the guard a value keeps its size within half an ulp of the guard.
    EXPECT_NEAR(zel::denormalGuard(3e-13), 3e-13, 1e-28);
}

TEST(OnePole, SmoothingReachesOneMinusOneOverEAfterItsTimeConstant) {
    const double rate = 48000.0;
    const double k = zel::smoothingCoefSingle(0.03f, rate);
    const int steps = static_cast<int>(std::lround(static_cast<double>(0.03f) * rate));
    double v = 0.0;
    for (int i = 0; i < steps; ++i) v = zel::smoothToward(v, 1.0, k);
    // (1 - k)^n = exp(-n / (T rate)), with T the float nearest 0.03 (so T rate is
    // not quite 1440); 1440 guarded steps add at most 1440 * 1e-16.
    EXPECT_NEAR(v, 1.0 - std::exp(-steps / (static_cast<double>(0.03f) * rate)), 1e-12);

    // A decay-rate pole falls to 0.005 after rate / f samples.
    const double p = zel::poleFromDecay(500.0, rate);
    EXPECT_NEAR(std::pow(p, rate / 500.0), 0.005, 1e-14);
    // A frequency pole: the one-pole low-pass with p = exp(-2 pi f / rate) has its
    // -3 dB point near f for f well below the rate (here within 0.1 %).
    const double pf = zel::poleFromFrequency(100.0, rate);
    double y = 0.0, x = 1.0;
    int n = 0;
    for (; n < 100000 && y < 1.0 - std::exp(-1.0); ++n) y = zel::poleToward(y, x, pf);
    EXPECT_NEAR(n / rate, 1.0 / (2.0 * zel::kPi * 100.0), 1.0 / rate);
}

} // namespace
