// The tuning set (indices 36..119) as engine settings. Unless a handler says
// otherwise a horn setting goes to all three horn units and a drum setting to
// both drum units.
#include "params/ParameterApplier.h"

#include "params/ParameterLaws.h"

#include <cmath>
#include <numbers>

namespace zel {

namespace {

constexpr double kHalfPi = std::numbers::pi / 2.0;
constexpr double kHornInputScale = 64.0;
constexpr double kMic2OffsetSpan = 0.4;
constexpr double kMic2OffsetStart = -0.2;
constexpr double kSaturationBase = 0.0008;
constexpr double kDecayExpScale = 0.5;
constexpr double kDecayExpRate = 1.38629; // ln 4: 0.5 to 2.0
constexpr double kHornAttDistanceBase = 0.1;
constexpr float kDrumAttDistanceSpan = 3.0f;
constexpr double kSplitterBaseHz = 50.0;
constexpr double kDrumSampleScale = 7.96214341106;
constexpr double kRoomSizeScale = 0.1;
constexpr double kRoomSizeRate = 3.58352; // ln 36
constexpr double kRoomSizeOffset = 0.4;
constexpr double kVirtualSizeScale = 0.25;
constexpr double kVirtualSizeRate = 2.77259; // ln 16
constexpr double kLrDelayScale = 0.15;
constexpr double kLrDelayRate = 2.30259; // ln 10

// Motor-noise recording levels: horn microphones, drum microphone.
constexpr double kHornSlowSample = 5.01187233627;
constexpr double kDrumSlowSample = 0.70794578438;
constexpr double kHornFastSample = 6.3095734448;
constexpr double kHornAccelSample = 1.99053585276;
constexpr double kDrumAccelSample = 0.12559432155;
constexpr double kHornDecelSample = 0.99763115748;
constexpr double kDrumDecelSample = 0.06294627058;

// A microphone angle in turns, 0 straight ahead.
double micAngle(float x) {
    return static_cast<double>(x) - 0.5;
}

double panLeft(float x) {
    return std::sin((1.0 - x) * kHalfPi);
}

double panRight(float x) {
    return std::sin(x * kHalfPi);
}

// Flip: +1 up to 0.5, -1 above.
double flip(float x) {
    return x <= 0.5f ? 1.0 : -1.0;
}

double decayExponent(float x) {
    return kDecayExpScale * std::exp(kDecayExpRate * x);
}

float saturation(float x) {
    return static_cast<float>(kSaturationBase * std::pow(100.0, x));
}

} // namespace

void ParameterApplier::hornInputGain(float x, float) {
    engine.targets.hornInputGain = law::gainTaper(x) * kHornInputScale;
}

void ParameterApplier::hornMic1Angle(float x, float) {
    engine.hornUnit(0).setMicAngle(micAngle(x));
    RebuildRequests& q = engine.requests;
    request({&q.hornUnit0, &q.hornCrossUnit, &q.drumCrossUnit, &q.crossPaths});
}

void ParameterApplier::hornMic1Pan(float x, float) {
    engine.targets.mic1PanLeft = panLeft(x);
    engine.targets.mic1PanRight = panRight(x);
}

void ParameterApplier::hornMic2Angle(float x, float) {
    engine.hornUnit(1).setMicAngle(micAngle(x));
    RebuildRequests& q = engine.requests;
    request({&q.hornUnit1, &q.hornCrossUnit, &q.drumCrossUnit, &q.crossPaths});
}

void ParameterApplier::hornMic2Distance(float x, float) {
    mic2Offset_ = kMic2OffsetSpan * x + kMic2OffsetStart;
    setHornMic2Distance();
    RebuildRequests& q = engine.requests;
    request({&q.hornUnit0, &q.hornUnit1, &q.hornCrossUnit, &q.drumCrossUnit, &q.crossPaths});
}

void ParameterApplier::hornMic2Pan(float x, float) {
    engine.targets.mic2PanLeft = panLeft(x);
    engine.targets.mic2PanRight = panRight(x);
}

void ParameterApplier::hornMic2Gain(float x, float) {
    engine.targets.mic2Gain = law::gainTaper(x);
}

void ParameterApplier::hornFmRadius(float x, float) {
    const double metres = law::radiusLaw(x);
    forHornUnits([metres](HornUnit& u) { u.setFmRadius(metres); });
    requestCrossPaths();
}

void ParameterApplier::hornAttenuation(float x, float) {
    const double exponent = 2.0 * x;
    forHornUnits([exponent](HornUnit& u) { u.setAttenuation(exponent); });
    requestHornGeometry();
}

void ParameterApplier::hornLpfCutLow(float x, float) {
    const double hz = law::frequencyLaw(x);
    forHornUnits([hz](HornUnit& u) { u.setLpfCutLow(hz); });
}

void ParameterApplier::hornLpfCutHigh(float x, float) {
    const double hz = law::frequencyLaw(x);
    forHornUnits([hz](HornUnit& u) { u.setLpfCutHigh(hz); });
}

void ParameterApplier::hornReflectionCoeff(float x, float) {
    const double e = law::unityGainTaper(x);
    forHornUnits([e](HornUnit& u) { u.setReflectionCoeff(e); });
}

void ParameterApplier::hornZAxisRays(float x, float) {
    forHornUnits([x](HornUnit& u) { u.setZAxisLevel(x); });
}

void ParameterApplier::hornFlip(float x, float) {
    const double value = flip(x);
    forHornUnits([value](HornUnit& u) { u.setFlip(value); });
    requestHornGeometry();
}

void ParameterApplier::hornReflectionLpf(float x, float) {
    const double octaves = 2.0 * x;
    forHornUnits([octaves](HornUnit& u) { u.setReflectionLpf(octaves); });
}

void ParameterApplier::drumInputGain(float x, float) {
    engine.targets.drumInputGain = law::gainTaper(x);
}

void ParameterApplier::drumMicAngle(float x, float) {
    engine.drumMainUnit().setMicAngle(micAngle(x));
    RebuildRequests& q = engine.requests;
    request({&q.drumMainUnit, &q.drumCrossUnit, &q.hornCrossUnit, &q.crossPaths});
}

void ParameterApplier::drumMicPan(float x, float) {
    engine.targets.drumPanLeft = panLeft(x);
    engine.targets.drumPanRight = panRight(x);
}

void ParameterApplier::drumFmRadius(float x, float) {
    const double metres = law::radiusLaw(x);
    forDrumUnits([metres](DrumUnit& u) { u.setFmRadius(metres); });
    requestCrossPaths();
}

void ParameterApplier::drumAttenuation(float x, float) {
    const double exponent = 2.0 * x;
    forDrumUnits([exponent](DrumUnit& u) { u.setAttenuation(exponent); });
    requestDrumGeometry();
}

void ParameterApplier::drumReflectionCoeff(float x, float) {
    const double e = law::unityGainTaper(x);
    forDrumUnits([e](DrumUnit& u) { u.setReflectionCoeff(e); });
}

// 0 below 0.5, 1 from 0.5, 2 only at exactly 1.
void ParameterApplier::hornOpenBackMode(float x, float) {
    const auto mode = static_cast<int32_t>(2.0 * x);
    forHornUnits([mode](HornUnit& u) { u.setOpenBackMode(mode); });
    RebuildRequests& q = engine.requests;
    request({&q.hornUnit0, &q.hornUnit1, &q.hornCrossUnit});
}

void ParameterApplier::postDriveGain(float x, float) {
    engine.targets.postDriveGain = law::gainTaper(x);
}

void ParameterApplier::brToTubeGain(float x, float) {
    engine.targets.brToTubeGain = law::gainTaper(x);
}

void ParameterApplier::brToDrumGain(float x, float) {
    engine.targets.brToDrumGain = law::gainTaper(x);
}

void ParameterApplier::drumToTubeFeedback(float x, float) {
    engine.targets.drumToTubeFeedback = law::gainTaper(x);
    requestCrossPaths();
}

void ParameterApplier::hornToDrumFeedback(float x, float) {
    engine.targets.hornToDrumFeedback = law::gainTaper(x);
    requestCrossPaths();
}

void ParameterApplier::spareCrossValue(float x, float) {
    spareCross_ = 2.0 * x;
    requestCrossPaths();
}

void ParameterApplier::drumFlip(float x, float) {
    const double value = flip(x);
    forDrumUnits([value](DrumUnit& u) { u.setFlip(value); });
    requestDrumGeometry();
}

void ParameterApplier::drumLpfCutLow(float x, float) {
    const double hz = law::frequencyLaw(x);
    forDrumUnits([hz](DrumUnit& u) { u.setLpfCutLow(hz); });
}

void ParameterApplier::drumLpfCutHigh(float x, float) {
    const double hz = law::frequencyLaw(x);
    forDrumUnits([hz](DrumUnit& u) { u.setLpfCutHigh(hz); });
}

void ParameterApplier::drumReflectionLpf(float x, float) {
    const double octaves = 2.0 * x;
    forDrumUnits([octaves](DrumUnit& u) { u.setReflectionLpf(octaves); });
}

// 0.1 m to 10 m, the power taken in float.
void ParameterApplier::hornAttenuationDistance(float x, float) {
    const double metres = kHornAttDistanceBase * std::pow(100.0f, x);
    forHornUnits([metres](HornUnit& u) { u.setAttenuationDistance(metres); });
    requestHornGeometry();
}

void ParameterApplier::drumAttenuationDistance(float x, float) {
    const double metres = kDrumAttDistanceSpan * x;
    forDrumUnits([metres](DrumUnit& u) { u.setAttenuationDistance(metres); });
    RebuildRequests& q = engine.requests;
    request({&q.drumMainUnit, &q.drumCrossUnit, &q.hornCrossUnit, &q.crossPaths});
}

void ParameterApplier::hornStaticRay(float x, float) {
    forHornUnits([x](HornUnit& u) { u.setStaticRayLevel(x); });
}

void ParameterApplier::hornAttDecayExp(float x, float) {
    const double exponent = decayExponent(x);
    forHornUnits([exponent](HornUnit& u) { u.setAttDecayExp(exponent); });
    requestHornGeometry();
}

void ParameterApplier::drumAttDecayExp(float x, float) {
    const double exponent = decayExponent(x);
    forDrumUnits([exponent](DrumUnit& u) { u.setAttDecayExp(exponent); });
    requestDrumGeometry();
}

void ParameterApplier::drumStaticRay(float x, float) {
    forDrumUnits([x](DrumUnit& u) { u.setStaticRayLevel(x); });
}

// The engine keeps the horn's AM radius for the cross paths as well.
void ParameterApplier::hornAmRadius(float x, float) {
    engine.setHornAmRadius(law::radiusLaw(x));
    requestHornGeometry();
}

void ParameterApplier::drumAmRadius(float x, float) {
    const double metres = law::radiusLaw(x);
    forDrumUnits([metres](DrumUnit& u) { u.setAmRadius(metres); });
    requestDrumGeometry();
}

// The horn tone arrays take the new saturation at the next block start.
void ParameterApplier::hornFilterSaturation(float x, float) {
    const double s = saturation(x);
    engine.setHornFilterSaturation(s);
    forHornUnits([s](HornUnit& u) { u.setFilterSaturation(s); });
}

void ParameterApplier::roomSize(float x, float) {
    engine.room().setRoomSize(kRoomSizeScale * std::exp(kRoomSizeRate * x) + kRoomSizeOffset);
    request({&engine.requests.room});
}

void ParameterApplier::virtualRoomSize(float x, float) {
    engine.room().setVirtualRoomSize(kVirtualSizeScale * std::exp(kVirtualSizeRate * x));
    request({&engine.requests.room});
}

void ParameterApplier::lrDelay(float x, float) {
    engine.room().setLrDelay(kLrDelayScale * std::exp(kLrDelayRate * x));
    request({&engine.requests.room});
}

void ParameterApplier::slowSampleVolume(float x, float) {
    const double v = law::gainTaper(x);
    engine.hornUnit(0).setSlowSampleLevel(v * kHornSlowSample);
    engine.hornUnit(1).setSlowSampleLevel(v * kHornSlowSample);
    engine.drumMainUnit().setSlowSampleLevel(v * kDrumSlowSample);
}

void ParameterApplier::fastSampleVolume(float x, float) {
    const double v = law::gainTaper(x);
    engine.hornUnit(0).setFastSampleLevel(v * kHornFastSample);
    engine.hornUnit(1).setFastSampleLevel(v * kHornFastSample);
    engine.drumMainUnit().setFastSampleLevel(v);
}

void ParameterApplier::accelSampleVolume(float x, float) {
    const double v = law::gainTaper(x);
    engine.hornUnit(0).setAccelSampleLevel(v * kHornAccelSample);
    engine.hornUnit(1).setAccelSampleLevel(v * kHornAccelSample);
    engine.drumMainUnit().setAccelSampleLevel(v * kDrumAccelSample);
}

void ParameterApplier::decelSampleVolume(float x, float) {
    const double v = law::gainTaper(x);
    engine.hornUnit(0).setDecelSampleLevel(v * kHornDecelSample);
    engine.hornUnit(1).setDecelSampleLevel(v * kHornDecelSample);
    engine.drumMainUnit().setDecelSampleLevel(v * kDrumDecelSample);
}

void ParameterApplier::roomMainCutoff(float x, float) {
    engine.room().setMainCutoff(law::frequencyLaw(x));
    request({&engine.requests.room});
}

void ParameterApplier::roomCrossCutoff(float x, float) {
    engine.room().setCrossCutoff(x);
    request({&engine.requests.room});
}

void ParameterApplier::drumFilterSaturation(float x, float) {
    const double s = saturation(x);
    forDrumUnits([s](DrumUnit& u) { u.setFilterSaturation(s); });
}

void ParameterApplier::drumStaticFilterCutoff(float x, float) {
    const double hz = law::frequencyLaw(x);
    forDrumUnits([hz](DrumUnit& u) { u.setStaticFilterCutoff(hz); });
}

void ParameterApplier::hornStaticFilterCutoff(float x, float) {
    const double hz = law::frequencyLaw(x);
    forHornUnits([hz](HornUnit& u) { u.setStaticFilterCutoff(hz); });
}

void ParameterApplier::drumSampleVolume(float x, float) {
    drumSampleFactor_ = law::gainTaper(x) * kDrumSampleScale;
    applyMechLevels();
}

void ParameterApplier::drumSplitterFrequency(float x, float) {
    engine.drumMainUnit().setSplitterFrequency(
        static_cast<float>(kSplitterBaseHz * std::pow(10.0, x)));
}

void ParameterApplier::drumLpStaticGain(float x, float) {
    engine.drumMainUnit().setLowStaticGain(law::gainTaper(x));
}

void ParameterApplier::speakerBypass(float x, float) {
    engine.amp.speakerBypass = law::rnd(x);
}

void ParameterApplier::hornAmplitudeClip(float x, float) {
    const double floor = law::unityGainTaper(x);
    forHornUnits([floor](HornUnit& u) { u.setAmplitudeFloor(floor); });
}

} // namespace zel
