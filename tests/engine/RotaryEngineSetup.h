// A complete, factory-like engine configuration for the engine tests (values as
// the default parameters give them, rounded), and small helpers to run blocks.
#pragma once

#include "engine/RotaryEngine.h"

#include <cmath>
#include <memory>
#include <vector>

namespace zel::test {

struct EngineOptions {
    double hostRate = 44100.0;
    int cpuMode = 0; // 0 "LowCPU", 1 "Brilliant"
    bool motorNoise = true;
    double hornSlowHz = 0.673;
    double hornFastHz = 6.77088;
    double drumSlowHz = 0.931;
    double drumFastHz = 6.5282;
};

inline void configureEngine(RotaryEngine& e, const EngineOptions& o = {}) {
    HornUnit* horns[] = {&e.hornUnit(0), &e.hornUnit(1), &e.hornCrossUnit()};
    DrumUnit* drums[] = {&e.drumMainUnit(), &e.drumCrossUnit()};
    for (HornUnit* h : horns) {
        h->setLever(1.0);
        h->setStop(0.0);
        h->setSlowSpeed(o.hornSlowHz);
        h->setFastSpeed(o.hornFastHz);
        h->setAccelTime(0.617);
        h->setDecelTime(0.784);
        h->setFmRadius(0.1504);
        h->setAttenuation(0.995);
        for (int i = 0; i < HornUnit::kRayLevelCount; ++i) h->setRayLevel(i, 0.5);
        h->setReflectionCoeff(0.825);
        h->setZAxisLevel(0.697);
        h->setFlip(1.0);
        h->setReflectionLpf(0.697);
        h->setAttenuationDistance(2.068);
        h->setStaticRayLevel(0.353);
        h->setAttDecayExp(1.0);
        h->setStaticFilterCutoff(650.3);
        h->setFilterSaturation(0.00318);
        h->setAmplitudeFloor(0.5946);
    }
    e.setHornAmRadius(0.2004);
    e.setHornFilterSaturation(0.00318);
    e.hornUnit(0).setMicAngle(0.19 - 0.5);
    e.hornUnit(1).setMicAngle(0.52 - 0.5);
    e.hornUnit(0).setMicDistance(1.0);
    e.hornUnit(1).setMicDistance(0.903);
    for (DrumUnit* d : drums) {
        d->setLever(1.0);
        d->setStop(0.0);
        d->setSlowSpeed(o.drumSlowHz);
        d->setFastSpeed(o.drumFastHz);
        d->setAccelTime(3.3);
        d->setDecelTime(4.6);
        d->setFmRadius(0.2004);
        d->setAttenuation(0.984);
        d->setReflectionCoeff(0.826);
        d->setFlip(1.0);
        for (int i = 0; i < DrumUnit::kRayLevelCount; ++i) d->setRayLevel(i, 0.5);
        d->setReflectionLpf(0.26);
        d->setAttenuationDistance(1.962);
        d->setAttDecayExp(1.0);
        d->setStaticRayLevel(0.0);
        d->setAmRadius(0.2024);
        d->setFilterSaturation(0.008);
        d->setStaticFilterCutoff(20000.0);
    }
    e.drumMainUnit().setMicAngle(0.0);
    e.drumMainUnit().setMicDistance(0.35);
    e.drumMainUnit().setSplitterFrequency(100.0);
    e.drumMainUnit().setLowStaticGain(0.531);

    const double mech = o.motorNoise ? 0.5 : 0.0;
    for (int i = 0; i < 2; ++i) {
        e.hornUnit(i).setMechLevel(mech);
        e.hornUnit(i).setSlowSampleLevel(0.795);
        e.hornUnit(i).setFastSampleLevel(1.434);
        e.hornUnit(i).setAccelSampleLevel(0.245);
        e.hornUnit(i).setDecelSampleLevel(0.151);
    }
    e.drumMainUnit().setMechLevel(mech * 18.53);
    e.drumMainUnit().setSlowSampleLevel(0.708);
    e.drumMainUnit().setFastSampleLevel(0.228);

    EarlyReflections& room = e.room();
    room.setRoomSize(0.6);
    room.setVirtualRoomSize(0.7);
    room.setLrDelay(0.261);
    room.setMainCutoff(5000.0);
    e.targets.roomReturnLevel = 0.02;
    e.amp.mechRoomSend = o.motorNoise ? 0.05 : 0.0;

    SmoothedTargets& t = e.targets;
    t.inputGain = 0.708;
    t.drive = 1.0;
    t.postDriveGain = 1.0;
    t.hornInputGain = 64.0;
    t.drumInputGain = 1.427;
    t.hornMicLevel = 1.0;
    t.mic2Gain = 1.174;
    t.drumMicLevel = 1.0;
    t.mic1PanLeft = 1.0;
    t.mic1PanRight = 0.0;
    t.mic2PanLeft = 0.0;
    t.mic2PanRight = 1.0;
    t.drumPanLeft = 0.733;
    t.drumPanRight = 0.680;
    t.drumToTubeFeedback = 0.705;
    t.hornToDrumFeedback = 0.467;
    t.brToTubeGain = 0.0707;
    t.brToDrumGain = 0.251;
    t.hornHighPassMix = 0.0;
    t.drumLowPassMix = 0.0;
    t.micMakeupGain = 1.0;
    t.mechPanNear = std::sin(0.8 * 1.5707963267948966);
    t.mechPanFar = std::sin(0.2 * 1.5707963267948966);

    AmpToneSettings& a = e.amp;
    a.ampType = 1;
    a.presenceQ = 0.7;
    a.colorA = 3.1;
    a.colorB = -6.1;
    a.hornHighPassHz = 20.0;
    a.drumLowPassHz = 0.0;
    a.speakerBypass = 0;
    a.cpuMode = o.cpuMode;
    e.setupPosition = 1;
    e.requests.toneEqDirty = true;
    e.requests.highLowPassDirty = true;
    e.hostRate = o.hostRate;
    e.runAllRebuildsDirectly();
}

// A new engine in that configuration.
inline std::unique_ptr<RotaryEngine> makeEngine(const EngineOptions& o = {}) {
    auto e = std::make_unique<RotaryEngine>();
    configureEngine(*e, o);
    return e;
}

// Runs the fade machine until it rests at the processed signal; returns the
// number of blocks it took (-1 if it did not settle).
inline int settle(RotaryEngine& e, int blockFrames = 512, int maxBlocks = 1000) {
    double l, r;
    for (int block = 0; block < maxBlocks; ++block) {
        e.startBlock();
        if (e.fadeState() == 0 && block > 0) return block;
        for (int i = 0; i < blockFrames; ++i) {
            e.stepFade();
            e.processSample(0.0, 0.0, l, r);
        }
        e.endBlock();
    }
    return -1;
}

// One block of a mono signal through the engine, appended to out (interleaved
// left, right).
inline void runBlock(RotaryEngine& e, const double* in, int frames, std::vector<double>& out) {
    e.startBlock();
    for (int i = 0; i < frames; ++i) {
        double l, r;
        e.stepFade();
        e.processSample(in[i], in[i], l, r);
        out.push_back(l);
        out.push_back(r);
    }
    e.endBlock();
}

} // namespace zel::test
