// Turns a normalized parameter value into engine settings: kept and derived
// values, unit setters, smoothing targets, and requests for the rebuilds that
// the audio thread carries out behind the fade. One handler per index.
//
// Threads: apply runs on whichever thread sets the parameter (the host's
// threads, the editor, MIDI and the Setup rebuild on the audio thread). It only
// stores values: every field here and everything it writes in the engine is a
// relaxed atomic, and nothing is rebuilt, allocated or locked.
#pragma once

#include "engine/Relaxed.h"
#include "engine/RotaryEngine.h"
#include "params/ParameterTable.h"
#include "params/ParameterValues.h"

#include <array>
#include <cstdint>
#include <initializer_list>

namespace zel {

class AudioEffect;

class ParameterApplier final : public SetupApplier {
public:
    // The horn and drum microphone distance every instance starts with (metres).
    static constexpr float kStartDistance = 1.0f;

    // effect is the object whose setParameter is the one path for every value:
    // cross-dependencies go back through it.
    ParameterApplier(RotaryEngine& engine, ParameterValues& values, Relaxed<double>& bypassTarget,
                     AudioEffect& effect);

    // Keeps x as the value of index and applies it. x must be finite and within
    // 0..1 (the effect's setParameter sees to that); indices outside 0..119 are
    // ignored.
    void apply(int index, float x);

    // The rebuild's parts that go through the parameter path (audio thread).
    void applySetupPreset(int position) override;
    void applyAmplitudeClip() override;

    // "Horn Amplitude Clip" for an "HDistance" value: (sqrt(x) - 0.5) 0.2 +
    // 0.795879, computed in float.
    static float amplitudeClipFor(float hornDistanceValue);

    // Receive channel: 0 off, 1..16 one channel, 17 every channel.
    int32_t midiChannel() const noexcept { return midiChannel_; }

    // Kept values, for the editor and for tests.
    float lastLever() const noexcept { return lastLever_; }
    int32_t lastCpuMode() const noexcept { return lastCpuMode_; }
    int32_t lastSetupPosition() const noexcept { return lastSetup_; }
    int32_t lastRoomSize() const noexcept { return lastSize_; }
    float hornDistance() const noexcept { return hornDistance_; }
    float drumDistance() const noexcept { return drumDistance_; }
    double mic2Offset() const noexcept { return mic2Offset_; }
    double mechanicalLevel() const noexcept { return mechanicalLevel_; }
    double drumSampleFactor() const noexcept { return drumSampleFactor_; }
    double hornHighPassShownHz() const noexcept { return hornHighPassShown_; }
    double drumLowPassShownHz() const noexcept { return drumLowPassShown_; }
    double inverseDrive() const noexcept { return inverseDrive_; }

private:
    using Handler = void (ParameterApplier::*)(float x, float previous);
    static const std::array<Handler, kNumParameters> kHandlers;

    // Host parameter set.
    void bypass(float x, float);
    void cpuMode(float x, float);
    void lever(float x, float);
    void speed(float x, float previous);
    void stop(float x, float previous);
    void mech(float x, float);
    void bottom(float x, float);
    void loMid(float x, float);
    void presence(float x, float);
    void topShelf(float x, float);
    void setup(float x, float);
    void input(float x, float);
    void ampType(float x, float);
    void drive(float x, float);
    void size(float x, float);
    void color(float x, float);
    void amount(float x, float);
    void hornSlowSpeed(float x, float);
    void hornFastSpeed(float x, float);
    void hornAccel(float x, float);
    void hornDecel(float x, float);
    void hornMicDistance(float x, float);
    void hornHighPass(float x, float);
    void hornGain(float x, float);
    void drumSlowSpeed(float x, float);
    void drumFastSpeed(float x, float);
    void drumAccel(float x, float);
    void drumDecel(float x, float);
    void drumMicDistance(float x, float);
    void drumLowPass(float x, float);
    void drumGain(float x, float);
    void receiveChannel(float x, float);
    void keepOnly(float, float) {}

    // Tuning set.
    void hornInputGain(float x, float);
    void hornMic1Angle(float x, float);
    void hornMic1Pan(float x, float);
    void hornMic2Angle(float x, float);
    void hornMic2Distance(float x, float);
    void hornMic2Pan(float x, float);
    void hornMic2Gain(float x, float);
    void hornFmRadius(float x, float);
    void hornAttenuation(float x, float);
    // A ray weight, written as the double value itself (no rebuild).
    template <int Ray> void hornRay(float x, float) {
        forHornUnits([x](HornUnit& u) { u.setRayLevel(Ray, x); });
    }
    void hornLpfCutLow(float x, float);
    void hornLpfCutHigh(float x, float);
    void hornReflectionCoeff(float x, float);
    void hornZAxisRays(float x, float);
    void hornFlip(float x, float);
    void hornReflectionLpf(float x, float);
    void drumInputGain(float x, float);
    void drumMicAngle(float x, float);
    void drumMicPan(float x, float);
    void drumFmRadius(float x, float);
    void drumAttenuation(float x, float);
    void drumReflectionCoeff(float x, float);
    void hornOpenBackMode(float x, float);
    void postDriveGain(float x, float);
    void brToTubeGain(float x, float);
    void brToDrumGain(float x, float);
    void drumToTubeFeedback(float x, float);
    void hornToDrumFeedback(float x, float);
    void spareCrossValue(float x, float);
    void drumFlip(float x, float);
    template <int Ray> void drumRay(float x, float) {
        forDrumUnits([x](DrumUnit& u) { u.setRayLevel(Ray, x); });
    }
    void drumLpfCutLow(float x, float);
    void drumLpfCutHigh(float x, float);
    void drumReflectionLpf(float x, float);
    void hornAttenuationDistance(float x, float);
    void drumAttenuationDistance(float x, float);
    void hornStaticRay(float x, float);
    void hornAttDecayExp(float x, float);
    void drumAttDecayExp(float x, float);
    void drumStaticRay(float x, float);
    void hornAmRadius(float x, float);
    void drumAmRadius(float x, float);
    void hornFilterSaturation(float x, float);
    void roomSize(float x, float);
    void virtualRoomSize(float x, float);
    void lrDelay(float x, float);
    void slowSampleVolume(float x, float);
    void fastSampleVolume(float x, float);
    void accelSampleVolume(float x, float);
    void decelSampleVolume(float x, float);
    void roomMainCutoff(float x, float);
    void roomCrossCutoff(float x, float);
    void drumFilterSaturation(float x, float);
    void drumStaticFilterCutoff(float x, float);
    void hornStaticFilterCutoff(float x, float);
    void drumSampleVolume(float x, float);
    void drumSplitterFrequency(float x, float);
    void drumLpStaticGain(float x, float);
    void speakerBypass(float x, float);
    void hornAmplitudeClip(float x, float);

    // Shared steps.
    template <typename F> void forHornUnits(F&& f) {
        f(engine.hornUnit(0));
        f(engine.hornUnit(1));
        f(engine.hornCrossUnit());
    }
    template <typename F> void forDrumUnits(F&& f) {
        f(engine.drumMainUnit());
        f(engine.drumCrossUnit());
    }
    void applyMechLevels();
    void setHornMic2Distance();
    // Fade to dry and raise the named rebuild flags.
    void request(std::initializer_list<Relaxed<bool>*> flags);
    void requestCrossPaths();
    void requestHornGeometry();
    void requestDrumGeometry();

    RotaryEngine& engine;
    ParameterValues& values;
    Relaxed<double>& bypassTarget;
    AudioEffect& effect;

    Relaxed<float> lastLever_{-1.0f};
    Relaxed<int32_t> lastCpuMode_{-1};
    Relaxed<int32_t> lastSetup_{-1};
    Relaxed<int32_t> lastSize_{-1};
    Relaxed<int32_t> midiChannel_{0};
    Relaxed<float> hornDistance_{kStartDistance};
    Relaxed<float> drumDistance_{kStartDistance};
    Relaxed<double> mic2Offset_{0.0};
    Relaxed<double> mechanicalLevel_{0.0};
    Relaxed<double> drumSampleFactor_{0.0};
    Relaxed<double> hornHighPassShown_{0.0};
    Relaxed<double> drumLowPassShown_{0.0};
    Relaxed<double> inverseDrive_{1.0};
    Relaxed<double> spareCross_{0.0}; // index 79 (2x), kept and not used
};

} // namespace zel
