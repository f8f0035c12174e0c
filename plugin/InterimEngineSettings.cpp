// INTERIM: the engine settings that the parameter defaults and program 0
// ("Default") give, set directly through the engine's setters. Parameter
// application replaces this file with setDefaults, which reaches the same values
// through setParameter.
#include "plugin/RotaryEffect.h"

#include "params/ParameterLaws.h"

#include <algorithm>
#include <cmath>

namespace zel {

namespace {

constexpr double kHalfPi = 1.57079632679489661923;

double pow100(double x) {
    return std::pow(100.0, x);
}

} // namespace

void RotaryEffect::applyInterimEngineSettings() {
    RotaryEngine& e = *engine;
    using namespace law;
    HornUnit* horns[] = {&e.hornUnit(0), &e.hornUnit(1), &e.hornCrossUnit()};
    DrumUnit* drums[] = {&e.drumMainUnit(), &e.drumCrossUnit()};

    // Rotors: lever at "Chorale", brake off; speeds and times of program 0.
    for (HornUnit* h : horns) {
        h->setLever(1.0);
        h->setStop(0.0);
        h->setSlowSpeed(10.0 * 0.0673f);
        h->setFastSpeed(10.0 * 0.677088f);
        h->setAccelTime(timeLaw(0.395142f));
        h->setDecelTime(timeLaw(0.447158f));
    }
    for (DrumUnit* d : drums) {
        d->setLever(1.0);
        d->setStop(0.0);
        d->setSlowSpeed(10.0 * 0.0931f);
        d->setFastSpeed(10.0 * 0.65282f);
        d->setAccelTime(timeLaw(0.759256f));
        d->setDecelTime(timeLaw(0.831378f));
    }

    // Horn geometry and rays ("Setup" FrontSide: microphones at 0.19 and 0.52).
    const double hornDistance = distanceLaw(0.5f);
    e.hornUnit(0).setMicAngle(0.19f - 0.5);
    e.hornUnit(1).setMicAngle(0.52f - 0.5);
    e.hornUnit(0).setMicDistance(hornDistance);
    e.hornUnit(1).setMicDistance(std::max(0.3, (1.0 + (0.4 * 0.2575f - 0.2)) * hornDistance));
    e.setHornAmRadius(radiusLaw(0.658926f));
    const float hornRays[] = {0.497715f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.559258f};
    for (HornUnit* h : horns) {
        h->setFmRadius(radiusLaw(0.245586f));
        h->setAttenuation(2.0 * 0.497676f);
        for (int i = 0; i < HornUnit::kRayLevelCount; ++i) h->setRayLevel(i, hornRays[i]);
        h->setLpfCutLow(frequencyLaw(0.0));
        h->setLpfCutHigh(frequencyLaw(1.0));
        h->setReflectionCoeff(unityGainTaper(0.922695f));
        h->setZAxisLevel(0.696738f);
        h->setFlip(1.0);
        h->setReflectionLpf(2.0 * 0.348672f);
        h->setAttenuationDistance(0.1 * static_cast<float>(pow100(0.657754f)));
        h->setStaticRayLevel(0.353047f);
        h->setAttDecayExp(0.5 * std::exp(1.38629 * 0.5f));
        h->setStaticFilterCutoff(frequencyLaw(0.256055f));
        h->setFilterSaturation(static_cast<float>(0.0008 * pow100(0.3f)));
        h->setAmplitudeFloor(unityGainTaper(0.795879f));
        h->setOpenBackMode(0);
    }
    e.setHornFilterSaturation(static_cast<float>(0.0008 * pow100(0.3f)));

    // Drum geometry and rays.
    e.drumMainUnit().setMicAngle(0.0);
    e.drumMainUnit().setMicDistance(distanceLaw(0.0f));
    const float drumRays[] = {0.5f, 0.5f, 0.5f, 0.5f};
    for (DrumUnit* d : drums) {
        d->setFmRadius(radiusLaw(0.658691f));
        d->setAttenuation(2.0 * 0.492148f);
        d->setReflectionCoeff(unityGainTaper(0.923145f));
        d->setFlip(1.0);
        for (int i = 0; i < DrumUnit::kRayLevelCount; ++i) d->setRayLevel(i, drumRays[i]);
        d->setLpfCutLow(frequencyLaw(0.849902f));
        d->setLpfCutHigh(frequencyLaw(1.0));
        d->setReflectionLpf(2.0 * 0.13f);
        d->setAttenuationDistance(3.0f * 0.653926f);
        d->setAttDecayExp(0.5 * std::exp(1.38629 * 0.500977f));
        d->setStaticRayLevel(0.0);
        d->setAmRadius(radiusLaw(0.67334f));
        d->setFilterSaturation(static_cast<float>(0.0008 * pow100(0.5f)));
        d->setStaticFilterCutoff(frequencyLaw(1.0));
    }
    e.drumMainUnit().setSplitterFrequency(static_cast<float>(50.0 * std::pow(10.0, 0.30103f)));
    e.drumMainUnit().setLowStaticGain(gainTaper(0.328904f));

    // Motor noise.
    const double mech = gainTaper(0.5f) * 0.25;
    const double drumSampleFactor = gainTaper(0.789297f) * 7.96214341106;
    for (int i = 0; i < 2; ++i) {
        HornUnit& h = e.hornUnit(i);
        h.setMechLevel(2.0 * mech);
        h.setSlowSampleLevel(gainTaper(0.125f) * 5.01187233627);
        h.setFastSampleLevel(gainTaper(0.170079f) * 6.3095734448);
        h.setAccelSampleLevel(gainTaper(0.100002f) * 1.99053585276);
        h.setDecelSampleLevel(gainTaper(0.120002f) * 0.99763115748);
    }
    DrumUnit& drum = e.drumMainUnit();
    drum.setMechLevel(2.0 * mech * drumSampleFactor);
    drum.setSlowSampleLevel(gainTaper(0.125f) * 0.70794578438);
    drum.setFastSampleLevel(gainTaper(0.170079f));
    drum.setAccelSampleLevel(gainTaper(0.100002f) * 0.12559432155);
    drum.setDecelSampleLevel(gainTaper(0.120002f) * 0.06294627058);

    // Room ("Size" 1, "Amount" 0).
    EarlyReflections& room = e.room();
    room.setRoomSize(0.1 * std::exp(3.58352 * 0.193426f) + 0.4);
    room.setVirtualRoomSize(0.25 * std::exp(2.77259 * 0.371357f));
    room.setLrDelay(0.15 * std::exp(2.30259 * 0.241094f));
    room.setMainCutoff(frequencyLaw(0.69897f));
    room.setCrossCutoff(0.0);
    e.targets.roomReturnLevel = gainTaper(0.0) * 0.0316227766;
    e.amp.mechRoomSend = gainTaper(0.0) * 0.25f;

    // Levels.
    SmoothedTargets& t = e.targets;
    t.inputGain = gainTaper(0.500008f) * 0.70794578438;
    t.drive = std::pow(10.0, (40.0 * 0.5 - 20.0) * 0.05);
    t.postDriveGain = gainTaper(0.5f);
    t.hornInputGain = gainTaper(0.5f) * 64.0;
    t.drumInputGain = gainTaper(0.61418f);
    t.hornMicLevel = gainTaper(0.5f);
    t.mic2Gain = gainTaper(0.55f);
    t.drumMicLevel = gainTaper(0.5f);
    t.mic1PanLeft = std::sin(1.0 * kHalfPi);
    t.mic1PanRight = std::sin(0.0 * kHalfPi);
    t.mic2PanLeft = std::sin(0.0 * kHalfPi);
    t.mic2PanRight = std::sin(1.0 * kHalfPi);
    t.drumPanLeft = std::sin((1.0 - 0.476328f) * kHalfPi);
    t.drumPanRight = std::sin(0.476328f * kHalfPi);
    t.drumToTubeFeedback = gainTaper(0.4f);
    t.hornToDrumFeedback = gainTaper(0.3f);
    t.brToTubeGain = gainTaper(0.06f);
    t.brToDrumGain = gainTaper(0.184834f);
    t.hornHighPassMix = 0.0; // "HHPF" off
    t.drumLowPassMix = 0.0;  // "DLPF" off
    t.micMakeupGain = 1.0;   // FrontSide
    t.mechPanNear = std::sin(0.8 * kHalfPi);
    t.mechPanFar = std::sin(0.2 * kHalfPi);

    // Amp and tone: "Tube", "Presence" just above 0 dB, "Color" 0.508422.
    AmpToneSettings& a = e.amp;
    a.ampType = 1;
    a.bottomDb = 0.0;
    a.loMidDb = 0.0;
    a.loMidQ = 1.0;
    a.presenceDb = 24.0 * 0.501063f - 12.0;
    a.presenceQ = 0.7;
    a.topShelfDb = 0.0;
    a.colorA = 12.0 * 0.508422 - 3.0;
    a.colorB = -12.0 * 0.508422;
    a.hornHighPassHz = 20.0;
    a.drumLowPassHz = 0.0;
    a.speakerBypass = 0;
    a.cpuMode = 0;
    e.setupPosition = 1;
    requests.toneEqDirty = true;
    requests.highLowPassDirty = true;
}

} // namespace zel
