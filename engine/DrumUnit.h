// What the drum microphone hears from the rotating bass drum: a rotating baffle
// with one opening around a fixed woofer. Same ray model as the horn (image
// sources, Doppler and distance attenuation from the opening's retarded angle)
// with its own input filter, six image rays and a static ray, one angle-dependent
// low-pass per ray, a limit on how close the opening comes, and a splitter that
// keeps the low part of the sound out of the rotation: the main unit hands that
// part to the engine as its low static output.
//
// Two variants: the main unit (the drum microphone; it carries the drum's motor
// noise player) and the cross unit (the drum as heard at the horn microphones:
// four image rays, one-pole directivity, delays measured from the microphone, no
// splitter).
//
// Threads: the setters store Relaxed values and may run on any thread. process,
// rebuild, clearState and setUnitRate run on the audio thread; geometry, filter
// re-tuning and flip are applied there.
#pragma once

#include "engine/AttenuationTable.h"
#include "engine/BiquadFilter.h"
#include "engine/CabinetRays.h"
#include "engine/MechNoisePlayer.h"
#include "engine/MultiFilter.h"
#include "engine/RayTrack.h"
#include "engine/Relaxed.h"
#include "engine/Rotor.h"
#include "engine/SourceHistory.h"
#include "engine/data/DrumTables.h"

#include <array>
#include <cstdint>
#include <optional>

namespace zel {

class DrumUnit {
public:
    enum class Kind {
        Main,  // the drum microphone
        Cross, // the drum at the horn microphones
    };

    // The four ray levels, in the order of the "Drum Ray ..." settings.
    enum RayLevel {
        kRayFront,     // "Drum Ray 1 (front)"
        kRayBackSides, // "Drum Ray 2 (back/sides)"
        kRayBackLeft,  // "Drum Ray 3 (back-left)"
        kRayBackRight, // "Drum Ray 4 (back-right)"
        kRayLevelCount
    };

    static constexpr int kImageRays = drum::kImageRays;
    static constexpr double kDirectivityCoefSeconds = 0.005;
    static constexpr double kTableStepsPerMetre = 1.0 / cabinet::kAttenuationStep;
    static constexpr double kReflectionTopHz = 20000;

    explicit DrumUnit(Kind kind);

    // Audio thread.
    double process(double x);
    void rebuild();
    void clearState();
    void setUnitRate(double rate, int factor);
    // The low part of the static ray after the last process (main unit; 0 otherwise).
    double lowStaticOutput() const { return lowStaticOutput_; }

    // Settings (any thread). Microphone angle and distance, AM radius,
    // attenuation, attenuation distance, decay exponent and flip take effect at
    // the next rebuild; filter saturation, splitter and reflection low-pass at the
    // next sample.
    void setMicAngle(double turns) { micAngle_.store(turns); }
    void setMicDistance(double metres);
    void setFmRadius(double metres) { fmRadius_.store(metres); }
    void setAmRadius(double metres) { amRadius_.store(metres); }
    void setReflectionCoeff(double e) { reflection_.store(e); }
    void setAttenuation(double exponent) { attenuation_.store(exponent); }
    void setAttenuationDistance(double metres) { attenuationDistance_.store(metres); }
    void setAttDecayExp(double exponent) { decayExponent_.store(exponent); }
    void setRayLevel(int ray, double level);
    void setStaticRayLevel(double level) { staticRayLevel_.store(level); }
    void setStaticFilterCutoff(double hz) { staticCutoffHz_.store(hz); }
    void setSplitterFrequency(double hz) { splitterHz_.store(hz); }
    void setLowStaticGain(double gain) { lowStaticGain_.store(gain); }
    void setFilterSaturation(double amount) { filterSaturation_.store(amount); }
    void setFlip(double value) { flip_.store(value); }
    void setReflectionLowPass(double octaves) { reflectionLowPass_.store(octaves); }
    void setReflectionLpf(double octaves) { setReflectionLowPass(octaves); }
    // Kept for the settings' sake; the drum path has no filter they act on.
    void setLpfCutLow(double hz) { lpfCutLow_.store(hz); }
    void setLpfCutHigh(double hz) { lpfCutHigh_.store(hz); }
    void setMechLevel(double level) { mechLevel_.store(level); }
    void setSlowSampleLevel(double v);
    void setFastSampleLevel(double v);
    void setAccelSampleLevel(double v);
    void setDecelSampleLevel(double v);
    void startTransition();

    // Rotor, passed through.
    void setSlowSpeed(double hz) { rotor_.setSlowSpeed(hz); }
    void setFastSpeed(double hz) { rotor_.setFastSpeed(hz); }
    void setLever(double x) { rotor_.setLever(x); }
    void setStop(double x) { rotor_.setStop(x); }
    void setAccelTime(double seconds) { rotor_.setAccelTime(seconds); }
    void setDecelTime(double seconds) { rotor_.setDecelTime(seconds); }
    void setTarget(double hz) { rotor_.setTarget(hz); }

    // The engine's cross-path geometry: the microphone relative to the rotor axis,
    // (cos t, sin t) * distance / AM radius with t = 2 pi (angle - 0.25).
    MicPoint crossPathMicPosition() const;
    // Audio thread, valid after a rebuild.
    double attenuation(double distance) const { return table_.at(distance); }
    double roomFactor() const { return roomFactor_; }
    int backRegion() const { return backRegion_; }
    const RayPath& rayPath(int i) const { return rays_[i].path; }
    const AttenuationTable& attenuationTable() const { return table_; }
    const BiquadFilter& directivity(int i) const { return lowPass_[i]; }
    // The opening's displacement toward each ray at the last sample.
    double displacement(int i) const { return lastLambda_[i]; }
    double splitterPole() const { return splitterPole_; }
    double unitRate() const { return rate_; }
    double lpfCutLow() const { return lpfCutLow_.load(); }
    double lpfCutHigh() const { return lpfCutHigh_.load(); }

    Kind kind() const { return kind_; }
    bool isCross() const { return kind_ == Kind::Cross; }
    Rotor& rotor() { return rotor_; }
    const Rotor& rotor() const { return rotor_; }
    // The main unit's motor-noise player; null for the cross unit.
    MechNoisePlayer* mechPlayer() { return player_ ? &*player_ : nullptr; }

private:
    struct Frame {
        double e;
        double fmSamples;
        bool update;
    };

    double processMain(double x);
    double processCross(double x);
    Frame beginFrame(double x);
    void endFrame(const Frame& f);
    double mainRay(int i, double weight, const Frame& f);
    double crossRay(int i, double weight, const Frame& f);
    double staticRay(const Frame& f);
    double alphaAt(const RayTrack& ray, double lambda) const;

    void computeGeometry();
    void updateRateTerms();
    void applyTuning();
    void configureInputFilter(double saturation);

    const Kind kind_;
    Rotor rotor_;
    std::optional<MechNoisePlayer> player_;

    // Settings.
    Relaxed<double> micAngle_{0.0};
    Relaxed<double> micDistance_;
    Relaxed<double> fmRadius_{0.18};
    Relaxed<double> amRadius_{0.18};
    Relaxed<double> reflection_{0.0};
    Relaxed<double> attenuation_{1.0};
    Relaxed<double> attenuationDistance_{1.0};
    Relaxed<double> decayExponent_{0.5};
    std::array<Relaxed<double>, kRayLevelCount> rayLevels_{};
    Relaxed<double> staticRayLevel_{0.0};
    Relaxed<double> staticCutoffHz_{0.25 * 44100.0};
    Relaxed<double> splitterHz_{drum::kDefaultSplitterHz};
    Relaxed<double> lowStaticGain_{0.0};
    Relaxed<double> filterSaturation_{0.0};
    Relaxed<double> flip_{0.0};
    Relaxed<double> reflectionLowPass_{0.3333};
    Relaxed<double> lpfCutLow_{0.0};
    Relaxed<double> lpfCutHigh_{0.0};
    Relaxed<double> mechLevel_{0.0};

    // Geometry as of the last rebuild.
    double appliedFlip_ = 0;
    double appliedMicAngle_ = 0;
    double appliedMicDistance_ = 1;
    double appliedRadius_ = 0.18;
    std::array<RayTrack, kImageRays> rays_{};
    AttenuationTable table_;
    int backRegion_ = 1;
    double roomFactor_ = 1;
    double staticAlpha_ = 1;

    // Rate terms and tuning as applied.
    double rate_ = 44100;
    double samplesPerMetre_ = 44100 * cabinet::kSecondsPerMetre;
    unsigned updateMask_ = 15;
    double coefGlide_ = 0;
    double q1_ = 0, q2_ = 0;
    double splitterPole_ = 0;
    double appliedReflectionLowPass_ = -1;
    double appliedSplitterHz_ = -1;
    double appliedSaturation_ = -1;

    // Audio state.
    SourceHistory history_;
    uint32_t counter_ = 0;
    bool snapDirectivity_ = true;
    double staticLowPass_ = 0;
    double staticCoef_ = 0;
    double lowStatic_ = 0;
    double lowStaticOutput_ = 0;
    std::array<double, kImageRays> lastLambda_{};
    std::array<BiquadFilter, kImageRays> lowPass_;
    std::array<BiquadFilter, MultiFilter::kSections> inputSections_;
    MultiFilter input_;
};

} // namespace zel
