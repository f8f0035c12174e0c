// The built-in organ demo: length, level, determinism and content.
#include "host/DemoSignal.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <numbers>
#include <vector>

namespace zel::vortan {
namespace {

std::vector<double> readAll(DemoSignal& demo, int64_t block) {
    std::vector<double> all;
    std::vector<double> buffer(static_cast<size_t>(block));
    for (;;) {
        const int64_t got = demo.read(buffer.data(), block);
        all.insert(all.end(), buffer.begin(), buffer.begin() + got);
        if (got < block) return all;
    }
}

// Magnitude of one frequency in a Hann-windowed stretch (Goertzel).
double magnitudeAt(const std::vector<double>& signal, size_t from, size_t count, double frequency,
                   double rate) {
    const double w = 2.0 * std::numbers::pi * frequency / rate;
    double s1 = 0.0, s2 = 0.0;
    for (size_t i = 0; i < count; ++i) {
        const double hann = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * i / (count - 1));
        const double s0 = signal[from + i] * hann + 2.0 * std::cos(w) * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    return std::sqrt(s1 * s1 + s2 * s2 - 2.0 * std::cos(w) * s1 * s2) / count;
}

double rmsOfDifferences(const std::vector<double>& signal, size_t from, size_t count) {
    double sum = 0.0;
    for (size_t i = from; i < from + count; ++i) {
        const double d = signal[i] - signal[i - 1];
        sum += d * d;
    }
    return std::sqrt(sum / count);
}

TEST(DemoSignal, LastsTwentySecondsAtEveryRate) {
    for (double rate : {22050.0, 44100.0, 96000.0}) {
        DemoSignal demo(rate);
        EXPECT_EQ(demo.channels(), 1);
        EXPECT_EQ(demo.sampleRate(), rate);
        EXPECT_EQ(demo.frames(), static_cast<int64_t>(20 * rate));
        EXPECT_EQ(static_cast<int64_t>(readAll(demo, 4096).size()), demo.frames());
    }
}

TEST(DemoSignal, SameSamplesWhateverTheBlockSize) {
    DemoSignal a(44100.0);
    DemoSignal b(44100.0);
    const std::vector<double> large = readAll(a, 8192);
    const std::vector<double> small = readAll(b, 77);
    ASSERT_EQ(large.size(), small.size());
    EXPECT_TRUE(large == small);
    EXPECT_EQ(large[123456], a.sampleAt(123456));
}

TEST(DemoSignal, StaysBelowFullScaleAndEveryChordSounds) {
    const double rate = 44100.0;
    DemoSignal demo(rate);
    const std::vector<double> signal = readAll(demo, 4096);
    double peak = 0.0;
    for (double s : signal) {
        ASSERT_TRUE(std::isfinite(s));
        peak = std::max(peak, std::fabs(s));
    }
    EXPECT_LT(peak, 0.95);
    EXPECT_GT(peak, 0.3);
    // The middle second of each 2.5 s chord (the last chord starts at 17 s).
    for (double start : {0.0, 2.5, 5.0, 7.5, 10.0, 12.5, 15.0, 17.0}) {
        const size_t from = static_cast<size_t>((start + 0.7) * rate);
        double sum = 0.0;
        for (size_t i = from; i < from + static_cast<size_t>(rate); ++i)
            sum += signal[i] * signal[i];
        EXPECT_GT(std::sqrt(sum / rate), 0.05) << "chord at " << start << " s";
    }
    // Released at the end.
    EXPECT_EQ(signal.back(), 0.0);
}

TEST(DemoSignal, FirstChordHoldsItsPitchesAndClicksAtTheStart) {
    const double rate = 44100.0;
    DemoSignal demo(rate);
    const std::vector<double> signal = readAll(demo, 4096);
    const size_t from = static_cast<size_t>(0.5 * rate);
    const size_t count = static_cast<size_t>(rate);
    // Middle C (note 60, 261.63 Hz) sounds in the C major chord; 280 Hz lies
    // between the chord's partials, more than 10 Hz from the nearest.
    const double inChord = magnitudeAt(signal, from, count, 261.6256, rate);
    const double between = magnitudeAt(signal, from, count, 280.0, rate);
    EXPECT_GT(inChord, 100.0 * between);
    // The key click makes the first milliseconds of a chord much rougher than
    // its sustain.
    const size_t clickFrames = static_cast<size_t>(0.004 * rate);
    const size_t secondChord = static_cast<size_t>(2.5 * rate);
    EXPECT_GT(rmsOfDifferences(signal, secondChord + 1, clickFrames),
              3.0 * rmsOfDifferences(signal, secondChord + count, clickFrames));
}

} // namespace
} // namespace zel::vortan
