// The engine's run path (processFrames, which takes the simulation unit by unit
// through a run of frames) against the frame-by-frame path (stepFade and
// processSample): the same output to the bit, through everything that changes
// between blocks: the lever, gliding levels and cross paths, the room's colour
// and the horn high-passes gliding, the room's return level, the speaker bypass, a rebuild under
// the fade, a cross path shorter than a sample (its ring reads then wait for the
// writes before them), and runs longer than the engine's pieces.
#include "RotaryEngineSetup.h"

#include "engine/RotaryEngine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <vector>

namespace zel {
namespace {

using test::EngineOptions;
using test::makeEngine;

constexpr double kTwoPi = 6.283185307179586;

double chord(int i, double rate, int channel) {
    const double t = i / rate;
    return 0.3 * std::sin(kTwoPi * 220.0 * t) + 0.2 * std::sin(kTwoPi * 329.63 * t + channel) +
           0.1 * std::sin(kTwoPi * 1760.0 * t);
}

void setLever(RotaryEngine& e, double lever) {
    for (HornUnit* h : {&e.hornUnit(0), &e.hornUnit(1), &e.hornCrossUnit()}) h->setLever(lever);
    for (DrumUnit* d : {&e.drumMainUnit(), &e.drumCrossUnit()}) d->setLever(lever);
}

// The change made before block b, the same on both engines.
void changeBefore(int b, RotaryEngine& e) {
    switch (b) {
    case 3:
        setLever(e, 0.0);
        break; // to "Tremolo": the rotors accelerate
    case 6:    // levels glide (they rest again later)
        e.targets.hornMicLevel = 0.6;
        e.targets.drumPanLeft = 0.2;
        e.targets.drumToTubeFeedback = 0.3;
        e.targets.roomReturnLevel = 0.08;
        break;
    case 9:
        e.amp.speakerBypass = 1;
        break;
    case 11:
        e.amp.speakerBypass = 0;
        break;
    case 13: // a rebuild of a horn unit and the cross paths behind the fade
        e.requests.hornUnit0 = true;
        e.requests.crossPaths = true;
        e.requestFade();
        break;
    case 20:
        setLever(e, 1.0);
        break; // back to "Chorale"
    case 22:   // the drum microphone next to the port: a cross path under a sample
        e.drumMainUnit().setMicDistance(0.001);
        e.requests.crossPaths = true;
        e.requestFade();
        break;
    case 30: // the room's colour and the horn high-passes glide
        e.amp.colorA = 4.0;
        e.amp.colorB = -3.0;
        e.amp.hornHighPassHz = 400.0;
        e.requests.toneEqDirty = true;
        e.requests.highLowPassDirty = true;
        break;
    default:
        break;
    }
}

struct Rendered {
    std::vector<double> left, right;
    // The shortest cross-path delay at the end (internal-rate samples).
    double shortestDelay = 0.0;
};

// Frame by frame, as the effect once drove the engine.
Rendered byFrames(const EngineOptions& o, const std::vector<int>& blocks) {
    auto e = makeEngine(o);
    Rendered out;
    int frame = 0;
    for (size_t b = 0; b < blocks.size(); ++b) {
        changeBefore(static_cast<int>(b), *e);
        e->startBlock();
        for (int i = 0; i < blocks[b]; ++i, ++frame) {
            double l = 0.0, r = 0.0;
            e->stepFade();
            e->processSample(chord(frame, o.hostRate, 0), chord(frame, o.hostRate, 1), l, r);
            out.left.push_back(l);
            out.right.push_back(r);
        }
        e->endBlock();
    }
    return out;
}

// Each block as one run.
Rendered byRuns(const EngineOptions& o, const std::vector<int>& blocks) {
    auto e = makeEngine(o);
    Rendered out;
    int frame = 0;
    for (size_t b = 0; b < blocks.size(); ++b) {
        changeBefore(static_cast<int>(b), *e);
        e->startBlock();
        const int n = blocks[b];
        std::vector<double> in0(n), in1(n), out0(n), out1(n);
        for (int i = 0; i < n; ++i) {
            in0[i] = chord(frame + i, o.hostRate, 0);
            in1[i] = chord(frame + i, o.hostRate, 1);
        }
        e->processFrames(in0.data(), in1.data(), out0.data(), out1.data(), n);
        frame += n;
        out.left.insert(out.left.end(), out0.begin(), out0.end());
        out.right.insert(out.right.end(), out1.begin(), out1.end());
        e->endBlock();
    }
    const std::array<double, 5>& delays = e->crossPaths().delay;
    out.shortestDelay = *std::min_element(delays.begin(), delays.end());
    return out;
}

double rms(const std::vector<double>& v) {
    double sum = 0.0;
    for (double x : v) sum += x * x;
    return std::sqrt(sum / static_cast<double>(v.size()));
}

TEST(RotaryEngineRuns, RunsGiveTheFrameByFrameOutputToTheBit) {
    // Block lengths around and beyond the engine's pieces, odd ones included so
    // that the decimated frames fall differently in each run; 400 blocks of 512
    // let the fade finish its rebuild.
    std::vector<int> blocks = {1, 7, 64, 65, 200, 513, 3, 128, 1000, 31, 64};
    for (int b = 0; b < 60; ++b) blocks.push_back(b % 2 ? 512 : 301);

    struct Case {
        double rate;
        int cpuMode;
    };
    for (const Case c : {Case{44100.0, 0}, Case{44100.0, 1}, Case{96000.0, 0}, Case{48000.0, 1}}) {
        EngineOptions o;
        o.hostRate = c.rate;
        o.cpuMode = c.cpuMode;
        const Rendered a = byFrames(o, blocks);
        const Rendered b = byRuns(o, blocks);
        const std::string what =
            std::to_string(static_cast<int>(c.rate)) + " Hz, mode " + std::to_string(c.cpuMode);
        ASSERT_EQ(a.left.size(), b.left.size()) << what;
        // The short cross path has arrived.
        EXPECT_LT(b.shortestDelay, 1.0) << what;
        // Not silence: the comparison has something to compare.
        EXPECT_GT(rms(a.left), 0.01) << what;
        EXPECT_GT(rms(a.right), 0.01) << what;
        size_t differing = 0, first = a.left.size();
        for (size_t i = 0; i < a.left.size(); ++i) {
            if (a.left[i] != b.left[i] || a.right[i] != b.right[i]) {
                ++differing;
                first = std::min(first, i);
            }
        }
        EXPECT_EQ(differing, 0u) << what << ": first differing frame " << first;
    }
}

// The drum's cross unit takes the main unit's filtered input in every run (the
// sound is the same either way, as above; this keeps the saving from being lost
// unnoticed).
TEST(RotaryEngineRuns, DrumCrossUnitReusesTheMainUnitsInput) {
    for (const int mode : {0, 1}) {
        EngineOptions o;
        o.cpuMode = mode;
        auto e = makeEngine(o);
        constexpr int kFrames = 300;
        std::vector<double> in0(kFrames), in1(kFrames), out0(kFrames), out1(kFrames);
        for (int b = 0; b < 20; ++b) {
            for (int i = 0; i < kFrames; ++i) {
                in0[i] = chord(b * kFrames + i, o.hostRate, 0);
                in1[i] = chord(b * kFrames + i, o.hostRate, 1);
            }
            e->startBlock();
            e->processFrames(in0.data(), in1.data(), out0.data(), out1.data(), kFrames);
            e->endBlock();
            EXPECT_TRUE(e->drumCrossUnit().reusedInput()) << "mode " << mode << ", block " << b;
        }
    }
}

} // namespace
} // namespace zel
