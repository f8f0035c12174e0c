// The handler table and the steps the handlers share.
#include "params/ParameterApplier.h"

#include "plugin/AudioEffect.h"

#include <algorithm>

namespace zel {

namespace {

constexpr double kMinHornMic2Distance = 0.3; // metres

} // namespace

ParameterApplier::ParameterApplier(RotaryEngine& rotaryEngine, ParameterValues& valueStore,
                                   Relaxed<double>& bypass, AudioEffect& owner)
    : engine(rotaryEngine), values(valueStore), bypassTarget(bypass), effect(owner) {
    // The units start at the distance kept here, so that a first "HDistance" or
    // "DDistance" equal to it (0.5 gives exactly 1 m) leaves nothing out of step.
    engine.hornUnit(0).setMicDistance(kStartDistance);
    engine.hornUnit(1).setMicDistance(kStartDistance);
    engine.drumMainUnit().setMicDistance(kStartDistance);
    engine.setSetupApplier(this);
}

void ParameterApplier::apply(int index, float x) {
    if (index < 0 || index >= kNumParameters) return;
    // The value is kept before it is applied, so that a cross-dependency that
    // comes back through the effect already reads it.
    const float previous = values.getFloat(index);
    values.set(index, x);
    (this->*kHandlers[static_cast<std::size_t>(index)])(x, previous);
}

// The motor-noise level of the two horn microphones and of the drum microphone,
// whose recordings are scaled by the drum sample factor. "Mech" and "Drum Sample
// Volume" both set them this one way.
void ParameterApplier::applyMechLevels() {
    const double level = 2.0 * mechanicalLevel_.load();
    engine.hornUnit(0).setMechLevel(level);
    engine.hornUnit(1).setMechLevel(level);
    engine.drumMainUnit().setMechLevel(level * drumSampleFactor_.load());
}

// Horn microphone 2 sits at the horn distance moved by its offset, never closer
// than 0.3 m.
void ParameterApplier::setHornMic2Distance() {
    const double d = (1.0 + mic2Offset_.load()) * static_cast<double>(hornDistance_.load());
    engine.hornUnit(1).setMicDistance(std::max(kMinHornMic2Distance, d));
}

void ParameterApplier::request(std::initializer_list<Relaxed<bool>*> flags) {
    for (Relaxed<bool>* flag : flags) *flag = true;
    engine.requestFade();
}

void ParameterApplier::requestCrossPaths() {
    request({&engine.requests.crossPaths});
}

// Horn units 0 and 1, the horn cross unit and the cross paths.
void ParameterApplier::requestHornGeometry() {
    RebuildRequests& q = engine.requests;
    request({&q.hornUnit0, &q.hornUnit1, &q.hornCrossUnit, &q.crossPaths});
}

// Both drum units and the cross paths.
void ParameterApplier::requestDrumGeometry() {
    RebuildRequests& q = engine.requests;
    request({&q.drumMainUnit, &q.drumCrossUnit, &q.crossPaths});
}

using A = ParameterApplier;

const std::array<A::Handler, kNumParameters> ParameterApplier::kHandlers{{
    // The host parameter set.
    &A::bypass,          // 0 "Bypass"
    &A::cpuMode,         // 1 "CPUmode"
    &A::lever,           // 2 "Lever"
    &A::speed,           // 3 "Speed"
    &A::stop,            // 4 "Stop"
    &A::mech,            // 5 "Mech"
    &A::bottom,          // 6 "Bottom"
    &A::loMid,           // 7 "LoMid"
    &A::presence,        // 8 "Presence"
    &A::topShelf,        // 9 "TopShlf"
    &A::setup,           // 10 "Setup"
    &A::input,           // 11 "Input"
    &A::ampType,         // 12 "Type"
    &A::drive,           // 13 "Drive"
    &A::size,            // 14 "Size"
    &A::color,           // 15 "Color"
    &A::amount,          // 16 "Amount"
    &A::hornSlowSpeed,   // 17 "HSlowSpd"
    &A::hornFastSpeed,   // 18 "HFastSpd"
    &A::hornAccel,       // 19 "HAccel"
    &A::hornDecel,       // 20 "HDecel"
    &A::hornMicDistance, // 21 "HDistance"
    &A::hornHighPass,    // 22 "HHPF"
    &A::hornGain,        // 23 "HGain"
    &A::drumSlowSpeed,   // 24 "DSlowSpd"
    &A::drumFastSpeed,   // 25 "DFastSpd"
    &A::drumAccel,       // 26 "DAccel"
    &A::drumDecel,       // 27 "DDecel"
    &A::drumMicDistance, // 28 "DDistance"
    &A::drumLowPass,     // 29 "DLPF"
    &A::drumGain,        // 30 "DGain"
    &A::keepOnly,        // 31 spare
    &A::keepOnly,        // 32 spare
    &A::keepOnly,        // 33 spare
    &A::keepOnly,        // 34 spare
    &A::receiveChannel,  // 35 "MIDIchl"
    // The tuning set.
    &A::keepOnly,                         // 36
    &A::hornInputGain,                    // 37 "Horn Gain"
    &A::hornMic1Angle,                    // 38 "Horn Mic1 Angle"
    &A::hornMic1Pan,                      // 39 "Horn Mic1 Panorama"
    &A::hornMic2Angle,                    // 40 "Horn Mic2 Angle"
    &A::hornMic2Distance,                 // 41 "Horn Mic2 Distance"
    &A::hornMic2Pan,                      // 42 "Horn Mic2 Panorama"
    &A::hornMic2Gain,                     // 43 "Horn Mic2 Gain"
    &A::hornFmRadius,                     // 44 "Horn FM Radius"
    &A::hornAttenuation,                  // 45 "Horn Attenuation"
    &A::hornRay<HornUnit::kRayFront>,     // 46 "Horn Ray 1 (front)"
    &A::hornRay<HornUnit::kRayBackSides>, // 47 "Horn Ray 2 (back/sides)"
    &A::hornRay<HornUnit::kRayBackRight>, // 48 "Horn Ray 3 (back-right)"
    &A::hornRay<HornUnit::kRayBackLeft>,  // 49 "Horn Ray 4 (back-left)"
    &A::hornRay<HornUnit::kRayLbr>,       // 50 "Horn Ray 5 (LBR)"
    &A::hornRay<HornUnit::kRayRbl>,       // 51 "Horn Ray 6 (RBL)"
    &A::hornRay<HornUnit::kRayMisc>,      // 52 "Horn Rays 7-10 (misc)"
    &A::hornLpfCutLow,                    // 53 "Horn LPF cut low"
    &A::hornLpfCutHigh,                   // 54 "Horn LPF cut high"
    &A::hornReflectionCoeff,              // 55 "Horn Reflection coeff"
    &A::hornZAxisRays,                    // 56 "Horn Z-axis rays"
    &A::keepOnly,                         // 57
    &A::hornFlip,                         // 58 "Horn Flip"
    &A::keepOnly,                         // 59
    &A::hornReflectionLpf,                // 60 "Horn Reflection LPF"
    &A::drumInputGain,                    // 61 "Drum Gain"
    &A::drumMicAngle,                     // 62 "Drum Mic1 Angle"
    &A::drumMicPan,                       // 63 "Drum Mic1 Pan"
    &A::keepOnly,                         // 64
    &A::keepOnly,                         // 65
    &A::keepOnly,                         // 66
    &A::keepOnly,                         // 67
    &A::drumFmRadius,                     // 68 "Drum FM Radius"
    &A::drumAttenuation,                  // 69 "Drum Attenuation"
    &A::drumReflectionCoeff,              // 70 "Drum Reflection coeff"
    &A::keepOnly,                         // 71 (the editor's copy of "HDistance")
    &A::hornOpenBackMode,                 // 72 "Horn Open Back Mode"
    &A::keepOnly,                         // 73 "Drum Open Back Mode"
    &A::postDriveGain,                    // 74 "Amp Post-drive Gain"
    &A::brToTubeGain,                     // 75 "BR to Tube Mic Gain"
    &A::brToDrumGain,                     // 76 "BR to Drum Mic Gain"
    &A::drumToTubeFeedback,               // 77 "Drum->Tube feedback"
    &A::hornToDrumFeedback,               // 78 "Horn->Drum feedback"
    &A::spareCrossValue,                  // 79
    &A::drumFlip,                         // 80 "Drum Flip"
    &A::keepOnly,                         // 81
    &A::keepOnly,                         // 82
    &A::keepOnly,                         // 83
    &A::keepOnly,                         // 84
    &A::drumRay<DrumUnit::kRayFront>,     // 85 "Drum Ray 1 (front)"
    &A::drumRay<DrumUnit::kRayBackSides>, // 86 "Drum Ray 2 (back/sides)"
    &A::drumLpfCutLow,                    // 87 "Drum LPF cut low"
    &A::drumLpfCutHigh,                   // 88 "Drum LPF cut high"
    &A::drumReflectionLpf,                // 89 "Drum Reflection LPF"
    &A::hornAttenuationDistance,          // 90 "Horn Attenuation distance"
    &A::drumAttenuationDistance,          // 91 "Drum Attenuation distance"
    &A::hornStaticRay,                    // 92 "Horn Static Ray"
    &A::hornAttDecayExp,                  // 93 "Horn Att Decay Exp"
    &A::drumAttDecayExp,                  // 94 "Drum Att Decay Exp"
    &A::drumStaticRay,                    // 95 "Drum Static Ray"
    &A::hornAmRadius,                     // 96 "Horn AM Radius"
    &A::drumAmRadius,                     // 97 "Drum AM Radius"
    &A::hornFilterSaturation,             // 98 "Horn Filter Saturation"
    &A::roomSize,                         // 99 "Early Refl. Room Size"
    &A::virtualRoomSize,                  // 100 "Early Refl. Virtual Room Size"
    &A::lrDelay,                          // 101 "Early Refl. LR Delay"
    &A::slowSampleVolume,                 // 102 "Slow Sample Volume"
    &A::fastSampleVolume,                 // 103 "Fast Sample Volume"
    &A::accelSampleVolume,                // 104 "Accel Sample Volume"
    &A::decelSampleVolume,                // 105 "Decel Sample Volume"
    &A::roomMainCutoff,                   // 106 "Early Refl. Main Cutoff"
    &A::roomCrossCutoff,                  // 107 "Early Refl. X Cutoff"
    &A::keepOnly,                         // 108
    &A::keepOnly,                         // 109 "Slow Speed Button"
    &A::drumFilterSaturation,             // 110 "Drum Filter Saturation"
    &A::drumStaticFilterCutoff,           // 111 "Drum Static Filter Cutoff"
    &A::hornStaticFilterCutoff,           // 112 "Horn Static Filter Cutoff"
    &A::drumRay<DrumUnit::kRayBackLeft>,  // 113 "Drum Ray 3 (back-left)"
    &A::drumRay<DrumUnit::kRayBackRight>, // 114 "Drum Ray 4 (back-right)"
    &A::drumSampleVolume,                 // 115 "Drum Sample Volume"
    &A::drumSplitterFrequency,            // 116 "Drum Splitter Frequency"
    &A::drumLpStaticGain,                 // 117 "Drum LP Static Gain"
    &A::speakerBypass,                    // 118 "Bypass Speakers (Amp Only)"
    &A::hornAmplitudeClip,                // 119 "Horn Amplitude Clip"
}};

} // namespace zel
