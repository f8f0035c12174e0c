// The engine's own pieces: the decimator tables and their filter, the amp curves,
// the fade machine and the cross-path geometry.
#include "BiquadStateExpect.h"
#include "engine/AmpStage.h"
#include "engine/CrossPaths.h"
#include "engine/Decimator.h"
#include "engine/FadeMachine.h"
#include "engine/WidePaths.h"
#include "engine/data/DecimatorTables.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace zel {
namespace {

TEST(DecimatorTables, DcGainsAndPeaksAreThoseOfTheDesign) {
    struct Expect {
        int factor;
        double dcGain;
        int peak;
    };
    // The published DC gains have six digits; the taps are given to six digits
    // each, so the sum of 32 of them is within 32 * 5e-7 of the exact sum.
    for (Expect x : {Expect{2, 0.984453, 1}, Expect{4, 0.977072, 4}, Expect{8, 0.956461, 7}}) {
        const decimator::Table* table = decimator::tableFor(x.factor);
        ASSERT_NE(table, nullptr);
        double sum = 0.0;
        for (float tap : *table) sum += tap;
        EXPECT_NEAR(sum, x.dcGain, 32 * 5e-7) << "factor " << x.factor;
        const auto peak = std::max_element(table->begin(), table->end()) - table->begin();
        if (x.factor == 2)
            EXPECT_TRUE(peak == 1 || peak == 2);
        else
            EXPECT_EQ(peak, x.peak) << "factor " << x.factor;
        EXPECT_EQ(table->back(), 0.0f);
    }
    EXPECT_EQ(decimator::tableFor(1), nullptr);
    EXPECT_EQ(decimator::tableFor(3), nullptr);
}

TEST(Decimator, WithoutATableBothDirectionsRoundToFloat) {
    Decimator d;
    d.setFactor(1);
    EXPECT_FALSE(d.hasTable());
    const double x = 0.1; // not a float
    EXPECT_EQ(d.pushInput(x), static_cast<double>(static_cast<float>(x)));
    const Decimator::Pair p = d.interpolate(x, -x);
    EXPECT_EQ(p.left, static_cast<double>(static_cast<float>(x)));
    EXPECT_EQ(p.right, -static_cast<double>(static_cast<float>(x)));
}

TEST(Decimator, ImpulseComesOutAsTheTableNewestTapFirst) {
    for (int factor : {2, 4, 8}) {
        Decimator d;
        d.setFactor(factor);
        d.clear();
        const decimator::Table& table = *decimator::tableFor(factor);
        // Input side: an impulse, then zeros, reads the taps in order.
        for (int k = 0; k < 40; ++k) {
            const double y = d.pushInput(k == 0 ? 1.0 : 0.0);
            // Each output is one tap times 1 plus zeros: exact.
            EXPECT_EQ(y, k < Decimator::kTaps ? table[k] : 0.0f) << factor << ":" << k;
        }
        // Output side: the impulse is scaled by the factor (zero stuffing).
        Decimator o;
        o.setFactor(factor);
        o.clear();
        for (int k = 0; k < 40; ++k) {
            o.pushInput(0.0);
            const Decimator::Pair p = o.interpolate(k == 0 ? 1.0 : 0.0, k == 0 ? -0.5 : 0.0);
            const float tap = k < Decimator::kTaps ? table[k] : 0.0f;
            // factor * tap in float: one rounding of an exact product of a power of two.
            EXPECT_EQ(p.left, static_cast<float>(factor) * tap) << factor << ":" << k;
            EXPECT_EQ(p.right, -0.5f * static_cast<float>(factor) * tap) << factor << ":" << k;
        }
    }
}

TEST(Decimator, ConstantInputSettlesAtTheDcGainAndTheIndexWraps) {
    Decimator d;
    d.setFactor(4);
    d.clear();
    EXPECT_EQ(d.index(), Decimator::kStartIndex);
    double y = 0.0;
    for (int k = 0; k < 100; ++k) {
        y = d.pushInput(0.5);
        EXPECT_GE(d.index(), 0);
        EXPECT_LT(d.index(), Decimator::kTaps);
        EXPECT_EQ(d.index(), ((Decimator::kStartIndex - (k + 1)) % 32 + 32) % 32);
    }
    // Sum of 32 float products: each rounding within 2^-24 relative of the sum.
    EXPECT_NEAR(y, 0.5 * 0.977072, 32 * 0.5 * 6e-8 + 0.5 * 16e-6);
}

TEST(AmpStage, QuietInputsPassTheCurvesUnchanged) {
    AmpStage amp;
    amp.setRate(44100.0);
    for (int32_t type : {kAmpThru, kAmpTube, kAmpSolid}) {
        for (double m : {9.99e-9, -9.99e-9, 1e-12, 0.0}) {
            EXPECT_EQ(amp.shape(m, type, 3.0), m) << type;
        }
    }
}

TEST(AmpStage, TubeTrackerKeepsFollowingWhileTheInputIsQuiet) {
    AmpStage amp;
    amp.setRate(44100.0);
    // "Solid" and "Thru" have no tracker.
    for (int i = 0; i < 100; ++i) {
        amp.shape(1e-12, kAmpSolid, 3.0);
        amp.shape(1e-12, kAmpThru, 3.0);
    }
    EXPECT_EQ(amp.tracker(), 0.0);
    // A quiet "Tube" input passes unchanged, but the tracker settles on the
    // curve's resting value -T(-T(o)). After one second it is within
    // (1 - kdc)^44100 (about e^-44) of it; the 1e-12 guard adds at most a few
    // 1e-28 per step.
    const double m = 1e-12, g = 3.0;
    for (int i = 0; i < 44100; ++i) ASSERT_EQ(amp.shape(m, kAmpTube, g), m);
    const double rest =
        -AmpStage::tubeCurve(-AmpStage::tubeCurve(g * m * AmpStage::kTubeInputScale));
    EXPECT_NEAR(amp.tracker(), rest, 1e-12);
    EXPECT_GT(std::abs(rest), 0.01); // about 0.024: the tracker really moved
}

TEST(AmpStage, CurvesShapeLoudInputs) {
    AmpStage amp;
    amp.setRate(44100.0);
    // "Solid": a hard clip then a cubic, scaled back by the drive. Far above the
    // clip the output is (1.5 - 0.5) * 0.5 / g, whatever the input.
    EXPECT_DOUBLE_EQ(amp.shape(10.0, kAmpSolid, 2.0), 0.25);
    EXPECT_DOUBLE_EQ(amp.shape(-10.0, kAmpSolid, 2.0), -0.25);
    // Small inputs: o = 1.34349 g m, q = o, and the cubic is nearly linear.
    const double m = 1e-4, g = 1.0;
    const double o = g * m * AmpStage::kSolidInputScale;
    // The clip computes q as (|o + 1| - |o - 1|) / 2: the difference of two values
    // near 1 carries their rounding, up to one ulp of 1 (2.2e-16), and the cubic
    // scales it by 0.75 / g.
    EXPECT_NEAR(amp.shape(m, kAmpSolid, g), (1.5 * o - 0.5 * o * o * o) * 0.5 / g,
                0.75 * 2.3e-16 / g);
    // "Thru" is the identity.
    EXPECT_EQ(amp.shape(0.7, kAmpThru, 5.0), 0.7);

    // "Tube": the curve is asymmetric and its DC is tracked away.
    EXPECT_NEAR(AmpStage::tubeCurve(0.0), -0.42, 1e-15);
    double last = 0.0;
    for (int i = 0; i < 44100; ++i) last = amp.shape(0.3, kAmpTube, 1.0);
    // A constant input becomes a constant curve value minus the tracker: the
    // tracker converges to it, leaving (1 - kdc)^n of the start: far below 1e-9.
    EXPECT_NEAR(last, 0.0, 1e-9);
    EXPECT_NE(amp.tracker(), 0.0);
    amp.clear();
    EXPECT_EQ(amp.tracker(), 0.0);
}

// The run form is the per-frame curve in a loop: the same values to the bit,
// the tube's tracker included, with the type and the drive changing from frame
// to frame and quiet frames among loud ones.
TEST(AmpStage, ShapeRunMatchesTheCurvePerFrame) {
    AmpStage a, b;
    constexpr int kFrames = 64;
    double m[kFrames], drive[kFrames], out[kFrames];
    int32_t type[kFrames];
    for (int i = 0; i < kFrames; ++i) {
        m[i] = (i % 7 == 0) ? 1e-10 : std::sin(0.37 * i) * (1.0 + 0.1 * i);
        drive[i] = 0.5 + 0.05 * i;
        type[i] = (i / 16) % 2 == 0 ? kAmpTube : (i % 3 == 0 ? kAmpSolid : kAmpThru);
    }
    for (int pass = 0; pass < 3; ++pass) {
        b.shapeRun(m, type, drive, out, kFrames);
        for (int i = 0; i < kFrames; ++i) ASSERT_EQ(a.shape(m[i], type[i], drive[i]), out[i]) << i;
        EXPECT_EQ(a.tracker(), b.tracker());
    }
    EXPECT_NE(a.tracker(), 0.0); // the tube frames moved it
}

// Leaves the fastest paths on when a test ends, whatever it asserted.
struct FastestPathsAfter {
    ~FastestPathsAfter() { forceBaselinePaths(false); }
};

// Runs of one type take a two-at-a-time path (the tube four at a time where
// the wide paths run): the same values to the bit as the per-frame curve, in
// place, over runs of odd and even lengths, with quiet, zero, negative and
// overdriven frames, the drive changing from frame to frame. On either path.
TEST(AmpStage, ShapeRunOfOneTypeMatchesTheCurvePerFrame) {
    FastestPathsAfter restore;
    for (bool baseline : {false, true})
        for (int32_t kind : {kAmpTube, kAmpSolid}) {
            SCOPED_TRACE(baseline ? "baseline path" : "fastest path");
            forceBaselinePaths(baseline);
            AmpStage a, b;
            for (int n : {64, 63, 1, 2, 37, 6, 7}) {
                double m[64], drive[64], out[64];
                int32_t type[64];
                for (int i = 0; i < n; ++i) {
                    m[i] = i % 11 == 0  ? 0.0
                           : i % 7 == 0 ? -3e-9
                                        : std::sin(0.37 * i + n) * (1.0 + 0.2 * (i % 13));
                    drive[i] = 0.3 + 0.17 * i;
                    type[i] = kind;
                }
                std::copy(m, m + n, out);
                b.shapeRun(out, type, drive, out, n); // in place, as the engine runs it
                for (int i = 0; i < n; ++i) {
                    const double want = a.shape(m[i], kind, drive[i]);
                    ASSERT_EQ(std::signbit(want), std::signbit(out[i]))
                        << kind << " " << n << " " << i;
                    ASSERT_EQ(want, out[i]) << kind << " " << n << " " << i;
                }
                EXPECT_EQ(a.tracker(), b.tracker());
            }
            if (kind == kAmpTube) {
                EXPECT_NE(a.tracker(), 0.0);
            }
        }
}

// The run form of the tone filters is the per-sample chain in a loop: the same
// values to the bit, and the same histories after the run, while steady and
// while a tone change glides (runs cut short and uneven included).
TEST(AmpStage, ToneRunMatchesTheChainPerSample) {
    AmpStage a, b;
    for (AmpStage* amp : {&a, &b}) {
        amp->setRate(44100.0);
        amp->setTone({4.0, -3.0, 0.7, 6.0, 2.0, -5.0});
    }
    constexpr int kFrames = 64;
    double x[kFrames];
    int t = 0;
    for (int pass = 0; pass < 12; ++pass) {
        if (pass == 4) {
            // A glide of 3 ms: a few runs long.
            for (AmpStage* amp : {&a, &b}) {
                amp->setImmediate(false);
                amp->setTone({-6.0, 5.0, 2.0, -4.0, 0.5, 3.0});
            }
            ASSERT_GT(b.presence().glideCount(), 0);
        }
        const int n = pass % 3 == 2 ? 17 : kFrames;
        for (int i = 0; i < n; ++i, ++t) x[i] = std::sin(0.05 * t) + 0.3 * std::sin(1.3 * t);
        b.toneRun(x, n);
        for (int i = 0; i < n; ++i) {
            const int at = t - n + i;
            ASSERT_EQ(a.tone(std::sin(0.05 * at) + 0.3 * std::sin(1.3 * at)), x[i])
                << pass << " " << i;
        }
        for (auto part :
             {&AmpStage::presence, &AmpStage::loMid, &AmpStage::topShelf, &AmpStage::bottom}) {
            test::expectSameBiquadState((a.*part)().state(), (b.*part)().state());
        }
    }
    EXPECT_EQ(b.presence().glideCount(), 0); // the last passes ran steady
}

// The amplifier's run (the curve, the gain after it and the tone chain, in
// one loop where the tube feeds a steady chain) is the three per frame in
// turn: the same values to the bit and the same tracker and histories after,
// for runs of the tube of every length the loop takes and of others, quiet
// frames among them, of mixed types, and while a tone change glides.
TEST(AmpStage, ProcessRunIsTheCurveTheGainAndTheToneInTurn) {
    FastestPathsAfter restore;
    for (bool baseline : {false, true}) {
        SCOPED_TRACE(baseline ? "baseline path" : "fastest path");
        forceBaselinePaths(baseline);
        AmpStage a, b;
        for (AmpStage* amp : {&a, &b}) {
            amp->setRate(44100.0);
            amp->setTone({4.0, -3.0, 0.7, 6.0, 2.0, -5.0});
        }
        constexpr int kLongest = 512;
        std::vector<double> x(kLongest), drive(kLongest), post(kLongest);
        std::vector<int32_t> type(kLongest);
        int t = 0;
        const int lengths[] = {128, 4, 512, 64, 8, 130, 7, 128, 128, 64, 3, 128};
        for (int pass = 0; pass < 12; ++pass) {
            if (pass == 8) {
                for (AmpStage* amp : {&a, &b}) {
                    amp->setImmediate(false);
                    amp->setTone({-6.0, 5.0, 2.0, -4.0, 0.5, 3.0});
                }
                ASSERT_GT(b.presence().glideCount(), 0);
            }
            const int n = lengths[pass];
            for (int i = 0; i < n; ++i, ++t) {
                x[i] = t % 11 == 0 ? 1e-9 : std::sin(0.05 * t) + 0.8 * std::sin(1.3 * t);
                drive[i] = 0.5 + 0.3 * std::sin(0.01 * t);
                post[i] = 0.7 + 0.1 * std::sin(0.02 * t);
                type[i] = pass == 5 && i % 3 == 0 ? kAmpSolid : kAmpTube;
            }
            std::vector<double> want(x.begin(), x.begin() + n);
            for (int i = 0; i < n; ++i)
                want[i] = a.tone(a.shape(want[i], type[i], drive[i]) * post[i]);
            b.processRun(x.data(), type.data(), drive.data(), post.data(), n);
            for (int i = 0; i < n; ++i) ASSERT_EQ(want[i], x[i]) << pass << " " << i;
            EXPECT_EQ(a.tracker(), b.tracker()) << pass;
            for (auto part :
                 {&AmpStage::presence, &AmpStage::loMid, &AmpStage::topShelf, &AmpStage::bottom}) {
                test::expectSameBiquadState((a.*part)().state(), (b.*part)().state());
            }
        }
        EXPECT_NE(b.tracker(), 0.0);
    }
}

TEST(AmpStage, TrackerCoefficientFollowsTheRate) {
    AmpStage amp;
    for (double fs : {44100.0, 96000.0}) {
        amp.setRate(fs);
        EXPECT_DOUBLE_EQ(amp.trackerCoefficient(), 1.0 - std::pow(0.109, 2.0 / (0.1 * fs)));
    }
}

TEST(FadeMachine, FadesOutRebuildsAndComesBack) {
    FadeMachine f;
    f.setRate(44100.0);
    const double c20 = 1.0 - std::exp(-1.0 / (0.02f * 44100.0));
    EXPECT_DOUBLE_EQ(f.coefficient(), c20);
    // In state 0 the level stays put.
    for (int i = 0; i < 100; ++i) f.step();
    EXPECT_EQ(f.level(), 0.0);
    f.fadeOut();
    EXPECT_EQ(f.state(), FadeMachine::kFadingOut);
    int frames = 0;
    while (f.state() == FadeMachine::kFadingOut) {
        for (int i = 0; i < 64; ++i, ++frames) f.step();
        f.endBlock();
    }
    EXPECT_EQ(f.state(), FadeMachine::kRebuilding);
    EXPECT_EQ(f.level(), 1.0);
    // 1 - (1 - c20)^n > 0.96837722339 first after n = ln(0.0316...) / ln(1 - c20)
    // frames, about 3.45 time constants; the block boundary adds up to 63.
    const double needed = std::log(1.0 - FadeMachine::kDryThreshold) / std::log(1.0 - c20);
    EXPECT_GE(frames, needed);
    EXPECT_LT(frames, needed + 64);
    f.fadeBack();
    while (f.state() == FadeMachine::kFadingBack) {
        for (int i = 0; i < 64; ++i) f.step();
        f.endBlock();
    }
    EXPECT_EQ(f.state(), FadeMachine::kNormal);
    EXPECT_EQ(f.level(), 0.0);
}

TEST(CrossPaths, DelaysAndGainsFollowTheGeometry) {
    AttenuationTable drum, horn;
    drum.build({0.2, 1.0, 2.0, 1.0});
    horn.build({0.2, 1.5, 2.0, 1.0});
    const double rate = 22050.0;
    const double perMetre = rate * kSecondsPerMetreOfAir;
    const CrossPathGeometry g{{0.3, 0.4}, {-1.2, 0.5}, 0.2, rate};
    const CrossPathSettings s = computeCrossPaths(g, drum, horn);
    // Path 4 is the drum microphone's distance from the axis, 0.5.
    EXPECT_DOUBLE_EQ(s.delay[3], 0.5 * perMetre);
    EXPECT_DOUBLE_EQ(s.gain[3], drum.at(0.5));
    // Paths 1 and 2 share the slant distance from the horn microphone; they
    // differ by the height difference.
    const double o = std::sqrt(1.44 + 0.25 + 0.5929);
    EXPECT_DOUBLE_EQ(s.delay[1], o * perMetre);
    EXPECT_NEAR(s.delay[1] - s.delay[0], 0.77 * perMetre, 1e-12 * perMetre);
    EXPECT_EQ(s.gain[0], s.gain[1]);
    EXPECT_DOUBLE_EQ(s.gain[0], drum.at(o));
    // Paths 3 and 5 are measured from the horn's offset R; never negative.
    const double f = std::sqrt((0.4 - 0.2) * (0.4 - 0.2) + 0.09 + 0.5929);
    EXPECT_NEAR(s.delay[2], (f - 0.77) * perMetre, 1e-12 * perMetre);
    EXPECT_DOUBLE_EQ(s.gain[2], horn.at(f));
    const double l = std::sqrt((0.5 - 0.2) * (0.5 - 0.2) + 1.44 + 0.5929);
    EXPECT_NEAR(s.delay[4], (l - 0.77) * perMetre, 1e-12 * perMetre);
    for (double d : s.delay) EXPECT_GE(d, 0.0);
    // Twice the rate, twice the delays, the same gains.
    const CrossPathSettings t =
        computeCrossPaths({g.drumMic, g.hornMic1, 0.2, 2 * rate}, drum, horn);
    for (int i = 0; i < 5; ++i) {
        EXPECT_NEAR(t.delay[i], 2 * s.delay[i], 1e-12 * t.delay[i] + 1e-15);
        EXPECT_EQ(t.gain[i], s.gain[i]);
    }
}

} // namespace
} // namespace zel
