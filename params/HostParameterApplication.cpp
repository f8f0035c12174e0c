// The host parameter set (indices 0..35) as engine settings.
#include "params/ParameterApplier.h"

#include "params/ParameterLaws.h"
#include "params/RoomSizes.h"
#include "plugin/AudioEffect.h"

#include <cmath>

namespace zel {

namespace {

constexpr int kStopIndex = 4;
constexpr int kAmplitudeClipIndex = 119;
constexpr int kHornDistanceMirrorIndex = 71; // shown by the editor only

constexpr double kToneRangeDb = 24.0;
constexpr double kToneOffsetDb = 12.0;
constexpr double kBoostQ = 0.7;
constexpr double kCutQ = 1.0;
constexpr double kInputTrim = 0.70794578438;      // -3 dB
constexpr double kRoomReturnScale = 0.0316227766; // -30 dB
constexpr double kMechRoomSendScale = 0.25;
constexpr double kSpeedScale = 10.0; // revolutions per second at x = 1
constexpr double kMinHighPassHz = 20.0;
constexpr int kSetupPositions = 5;
constexpr int kAmpTypes = 2;
constexpr int kRoomSizeSteps = 4;
constexpr int kMidiSettings = 17;

double toneDecibels(float x) {
    return kToneRangeDb * x - kToneOffsetDb;
}

// A boost is broader than a cut.
double toneQ(double decibels) {
    return decibels <= 0.0 ? kCutQ : kBoostQ;
}

} // namespace

float ParameterApplier::amplitudeClipFor(float hornDistanceValue) {
    return (std::sqrt(hornDistanceValue) - 0.5f) * 0.2f + 0.795879f;
}

void ParameterApplier::bypass(float x, float) {
    bypassTarget = law::rnd(x) >= 1 ? 1.0 : 0.0;
}

void ParameterApplier::cpuMode(float x, float) {
    const int32_t quality = law::rnd(x);
    if (quality == lastCpuMode_) return;
    engine.amp.cpuMode = quality;
    request({&engine.requests.fullReset});
    lastCpuMode_ = quality;
}

// Moving the lever releases the brake.
void ParameterApplier::lever(float x, float) {
    if (x == lastLever_.load()) return;
    const double slowShare = 1.0 - static_cast<double>(x);
    forHornUnits([slowShare](HornUnit& u) { u.setLever(slowShare); });
    forDrumUnits([slowShare](DrumUnit& u) { u.setLever(slowShare); });
    lastLever_ = x;
    if (values.getFloat(kStopIndex) >= 1.0f) effect.setParameterAutomated(kStopIndex, 0.0f);
}

// A throw of the speed switch plays the motor's speed-change sound.
void ParameterApplier::speed(float x, float previous) {
    if (law::rnd(x) == law::rnd(previous)) return;
    engine.hornUnit(0).startTransition();
    engine.hornUnit(1).startTransition();
    engine.drumMainUnit().startTransition();
}

void ParameterApplier::stop(float x, float previous) {
    const int stopped = law::rnd(x);
    if (stopped == law::rnd(previous)) return;
    lastLever_ = values.getFloat(2);
    forHornUnits([stopped](HornUnit& u) { u.setStop(stopped); });
    forDrumUnits([stopped](DrumUnit& u) { u.setStop(stopped); });
}

void ParameterApplier::mech(float x, float) {
    mechanicalLevel_ = law::gainTaper(x) * 0.25;
    applyMechLevels();
}

void ParameterApplier::bottom(float x, float) {
    engine.amp.bottomDb = toneDecibels(x);
    engine.requests.toneEqDirty = true;
}

void ParameterApplier::loMid(float x, float) {
    const double db = toneDecibels(x);
    engine.amp.loMidDb = db;
    engine.amp.loMidQ = toneQ(db);
    engine.requests.toneEqDirty = true;
}

void ParameterApplier::presence(float x, float) {
    const double db = toneDecibels(x);
    engine.amp.presenceDb = db;
    engine.amp.presenceQ = toneQ(db);
    engine.requests.toneEqDirty = true;
}

void ParameterApplier::topShelf(float x, float) {
    engine.amp.topShelfDb = toneDecibels(x);
    engine.requests.toneEqDirty = true;
}

// The microphone setup itself is applied by the rebuild, on the audio thread.
void ParameterApplier::setup(float x, float) {
    const int32_t position = law::rnd(kSetupPositions * static_cast<double>(x));
    if (position == lastSetup_) return;
    engine.setupPosition = position;
    request({&engine.requests.setup, &engine.requests.crossPaths});
    lastSetup_ = position;
}

void ParameterApplier::input(float x, float) {
    engine.targets.inputGain = law::gainTaper(x) * kInputTrim;
}

void ParameterApplier::ampType(float x, float) {
    engine.amp.ampType = law::rnd(kAmpTypes * static_cast<double>(x));
}

void ParameterApplier::drive(float x, float) {
    const double gain = std::pow(10.0, (40.0 * x - 20.0) * 0.05);
    engine.targets.drive = gain;
    inverseDrive_ = 1.0 / gain;
}

// A new room size sets the room's two size values at once.
void ParameterApplier::size(float x, float) {
    const int32_t size = law::rnd(kRoomSizeSteps * static_cast<double>(x)) + kSmallestRoom;
    if (size == lastSize_) return;
    const int slot = size - kSmallestRoom;
    if (slot >= 0 && slot < static_cast<int>(kRoomSizes.size())) {
        const RoomSize& room = kRoomSizes[static_cast<std::size_t>(slot)];
        effect.setParameterAutomated(kRoomSizeIndex, room.roomSize);
        effect.setParameterAutomated(kVirtualRoomSizeIndex, room.virtualRoomSize);
    }
    lastSize_ = size;
}

void ParameterApplier::color(float x, float) {
    const double value = x;
    engine.amp.colorA = 12.0 * value - 3.0;
    engine.amp.colorB = -12.0 * value;
    engine.requests.toneEqDirty = true;
}

void ParameterApplier::amount(float x, float) {
    engine.targets.roomReturnLevel = law::gainTaper(x) * kRoomReturnScale;
    engine.amp.mechRoomSend =
        static_cast<float>(law::gainTaper(static_cast<double>(x) / 2.0) * kMechRoomSendScale);
}

void ParameterApplier::hornSlowSpeed(float x, float) {
    const double hz = kSpeedScale * x;
    forHornUnits([hz](HornUnit& u) { u.setSlowSpeed(hz); });
}

void ParameterApplier::hornFastSpeed(float x, float) {
    const double hz = kSpeedScale * x;
    forHornUnits([hz](HornUnit& u) { u.setFastSpeed(hz); });
}

void ParameterApplier::hornAccel(float x, float) {
    const double seconds = law::timeLaw(x);
    forHornUnits([seconds](HornUnit& u) { u.setAccelTime(seconds); });
}

void ParameterApplier::hornDecel(float x, float) {
    const double seconds = law::timeLaw(x);
    forHornUnits([seconds](HornUnit& u) { u.setDecelTime(seconds); });
}

void ParameterApplier::hornMicDistance(float x, float) {
    const float d = law::distanceLaw(x);
    if (d == hornDistance_.load()) return;
    effect.setParameter(kAmplitudeClipIndex, amplitudeClipFor(x));
    hornDistance_ = d;
    engine.hornUnit(0).setMicDistance(d);
    setHornMic2Distance();
    RebuildRequests& q = engine.requests;
    request({&q.hornUnit0, &q.hornUnit1, &q.drumCrossUnit, &q.hornCrossUnit, &q.crossPaths});
    effect.setParameter(kHornDistanceMirrorIndex, x);
}

// The working frequency is limited to half the internal rate by the engine when
// it tunes the filters, so that it follows a later change of rate.
void ParameterApplier::hornHighPass(float x, float) {
    const double hz = law::highPassLaw(x);
    hornHighPassShown_ = hz;
    const bool on = hz > 0.0;
    engine.amp.hornHighPassHz = on ? hz : kMinHighPassHz;
    engine.targets.hornHighPassMix = on ? 1.0 : 0.0;
    engine.requests.highLowPassDirty = true;
}

void ParameterApplier::hornGain(float x, float) {
    engine.targets.hornMicLevel = law::gainTaper(x);
}

void ParameterApplier::drumSlowSpeed(float x, float) {
    const double hz = kSpeedScale * x;
    forDrumUnits([hz](DrumUnit& u) { u.setSlowSpeed(hz); });
}

void ParameterApplier::drumFastSpeed(float x, float) {
    const double hz = kSpeedScale * x;
    forDrumUnits([hz](DrumUnit& u) { u.setFastSpeed(hz); });
}

void ParameterApplier::drumAccel(float x, float) {
    const double seconds = law::timeLaw(x);
    forDrumUnits([seconds](DrumUnit& u) { u.setAccelTime(seconds); });
}

void ParameterApplier::drumDecel(float x, float) {
    const double seconds = law::timeLaw(x);
    forDrumUnits([seconds](DrumUnit& u) { u.setDecelTime(seconds); });
}

void ParameterApplier::drumMicDistance(float x, float) {
    const float d = law::distanceLaw(x);
    if (d == drumDistance_.load()) return;
    drumDistance_ = d;
    engine.drumMainUnit().setMicDistance(d);
    RebuildRequests& q = engine.requests;
    request({&q.drumMainUnit, &q.drumCrossUnit, &q.hornCrossUnit, &q.crossPaths});
}

// Off (x = 1) leaves the signal unfiltered; the engine then parks the filter at
// half the internal rate.
void ParameterApplier::drumLowPass(float x, float) {
    const double hz = law::lowPassLaw(x);
    drumLowPassShown_ = hz;
    const bool on = hz > 0.0;
    engine.amp.drumLowPassHz = on ? hz : 0.0;
    engine.targets.drumLowPassMix = on ? 1.0 : 0.0;
    engine.requests.highLowPassDirty = true;
}

void ParameterApplier::drumGain(float x, float) {
    engine.targets.drumMicLevel = law::gainTaper(x);
}

void ParameterApplier::receiveChannel(float x, float) {
    midiChannel_ = law::rnd(kMidiSettings * static_cast<double>(x));
}

} // namespace zel
