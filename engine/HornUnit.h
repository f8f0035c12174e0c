// What one microphone hears from the rotating treble horn. The sound leaves the
// horn mouth, which circles the rotor axis, and reaches the microphone along the
// direct ray, eleven rays mirrored in the cabinet walls and a static ray; for each
// ray the unit follows the mouth's angle at the retarded time to get the Doppler
// delay, the distance attenuation and the horn's directivity toward that ray.
// Floor and ceiling taps, a fixed resonance EQ and an output gain finish the path.
//
// Two variants: a full unit (a horn microphone; it carries the microphone's motor
// noise player) and the reduced cross unit (the horn as heard at the drum
// microphone: four image rays and the static ray, one-pole directivity, delays
// measured from the microphone).
//
// Threads: the setters store Relaxed values and may run on any thread. process,
// rebuild, clearState and setUnitRate run on the audio thread; everything
// structural (geometry, filters, flip) happens there.
#pragma once

#include "engine/AttenuationTable.h"
#include "engine/BiquadFilter.h"
#include "engine/CabinetRays.h"
#include "engine/MechNoisePlayer.h"
#include "engine/MultiFilter.h"
#include "engine/RayTrack.h"
#include "engine/Relaxed.h"
#include "engine/Rotor.h"
#include "engine/data/HornTables.h"

#include <array>
#include <cstdint>
#include <optional>

namespace zel {

class HornUnit {
public:
    enum class Kind {
        Microphone1, // horn unit 0
        Microphone2, // horn unit 1
        Cross,       // the horn at the drum microphone
    };

    // The seven ray levels, in the order of the "Horn Ray ..." settings.
    enum RayLevel {
        kRayFront,     // "Horn Ray 1 (front)"
        kRayBackSides, // "Horn Ray 2 (back/sides)"
        kRayBackRight, // "Horn Ray 3 (back-right)"
        kRayBackLeft,  // "Horn Ray 4 (back-left)"
        kRayLbr,       // "Horn Ray 5 (LBR)"
        kRayRbl,       // "Horn Ray 6 (RBL)"
        kRayMisc,      // "Horn Rays 7-10 (misc)"
        kRayLevelCount
    };

    static constexpr int kImageRays = horn::kImageRays;
    static constexpr int kStaticEqCascades = 7;
    static constexpr int kCrossEqCascades = 2;
    static constexpr int kRayBufferLength = 512;
    static constexpr int kRayBufferMask = kRayBufferLength - 1;
    static constexpr double kDirectivityCoefSeconds = 0.005;
    static constexpr double kTableStepsPerMetre = 1.0 / cabinet::kAttenuationStep;

    explicit HornUnit(Kind kind);

    // Audio thread.
    double process(double x);
    void rebuild();
    void clearState();
    void setUnitRate(double rate, int factor);

    // Settings (any thread). Those that move the geometry take effect at the next
    // rebuild: microphone angle and distance, AM radius, attenuation, attenuation
    // distance, decay exponent, open back mode and flip.
    void setMicAngle(double turns) { micAngle_.store(turns); }
    void setMicDistance(double metres);
    void setFmRadius(double metres) { fmRadius_.store(metres); }
    void setAmRadius(double metres) { amRadius_.store(metres); }
    void setReflectionCoeff(double e) { reflection_.store(e); }
    void setAttenuation(double exponent) { attenuation_.store(exponent); }
    void setAttenuationDistance(double metres) { attenuationDistance_.store(metres); }
    void setAttDecayExp(double exponent) { decayExponent_.store(exponent); }
    void setRayLevel(int ray, double level);
    void setZAxisLevel(double level) { zAxisLevel_.store(level); }
    void setStaticRayLevel(double level) { staticRayLevel_.store(level); }
    void setStaticFilterCutoff(double hz) { staticCutoffHz_.store(hz); }
    void setAmplitudeFloor(double gain) { amplitudeFloor_.store(gain); }
    void setOpenBackMode(int32_t mode) { openBackMode_.store(mode); }
    void setFlip(double value) { flip_.store(value); }
    // Octave step between the reflection orders' low-passes; applied at the next sample.
    void setReflectionLowPass(double octaves) { reflectionLowPass_.store(octaves); }
    void setReflectionLpf(double octaves) { setReflectionLowPass(octaves); }
    // Kept for the settings' sake; the horn path has no filter they act on.
    void setLpfCutLow(double hz) { lpfCutLow_.store(hz); }
    void setLpfCutHigh(double hz) { lpfCutHigh_.store(hz); }
    void setFilterSaturation(double amount) { filterSaturation_.store(amount); }
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
    double outputGain() const { return outputGain_; }
    int backRegion() const { return backRegion_; }
    double openBackFactor() const { return openBack_; }
    const RayPath& rayPath(int i) const { return rays_[i].path; }
    const AttenuationTable& attenuationTable() const { return table_; }
    const BiquadFilter& directivityA(int i) const { return lobeA_[i]; }
    const BiquadFilter& directivityB(int i) const { return lobeB_[i]; }
    double zTapA() const { return zA_; }
    double zTapB() const { return zB_; }
    double unitRate() const { return rate_; }

    Kind kind() const { return kind_; }
    bool isCross() const { return kind_ == Kind::Cross; }
    Rotor& rotor() { return rotor_; }
    const Rotor& rotor() const { return rotor_; }
    // The full units' motor-noise player; null for the cross unit.
    MechNoisePlayer* mechPlayer() { return player_ ? &*player_ : nullptr; }

    double reflectionPole(int order) const { return poles_[order]; }
    double lpfCutLow() const { return lpfCutLow_.load(); }
    double lpfCutHigh() const { return lpfCutHigh_.load(); }
    double filterSaturation() const { return filterSaturation_.load(); }

private:
    // Per-sample settings, read once.
    struct Frame {
        double e;
        double fmSamples;
        double floor;
        bool update;
    };

    double processFull(double x);
    double processCross(double x);
    Frame beginFrame(double x);
    void endFrame(const Frame& f);
    double fullRay(int i, double weight, const Frame& f);
    double crossRay(int i, double weight, const Frame& f);
    double staticRay(const Frame& f);
    void updateDirectivityFull(int i, double mu);
    void updateDirectivityCross(RayTrack& ray, double mu);

    void computeGeometry();
    void updateRateTerms();
    void updateReflectionPoles(double octaves);
    void configureStaticEq();

    const Kind kind_;
    Rotor rotor_;
    std::optional<MechNoisePlayer> player_;

    // Settings.
    Relaxed<double> micAngle_{0.0};
    Relaxed<double> micDistance_{cabinet::kCrossMicDistance};
    Relaxed<double> fmRadius_{0.18};
    Relaxed<double> amRadius_{0.18};
    Relaxed<double> reflection_{0.0};
    Relaxed<double> attenuation_{1.0};
    Relaxed<double> attenuationDistance_{1.0};
    Relaxed<double> decayExponent_{0.5};
    std::array<Relaxed<double>, kRayLevelCount> rayLevels_{};
    Relaxed<double> zAxisLevel_{0.0};
    Relaxed<double> staticRayLevel_{0.0};
    Relaxed<double> staticCutoffHz_{11025.0};
    Relaxed<double> amplitudeFloor_{0.0};
    Relaxed<int32_t> openBackMode_{0};
    Relaxed<double> flip_{0.0};
    Relaxed<double> reflectionLowPass_{0.3333};
    Relaxed<double> lpfCutLow_{0.0};
    Relaxed<double> lpfCutHigh_{0.0};
    Relaxed<double> filterSaturation_{0.0};
    Relaxed<double> mechLevel_{0.0};

    // Geometry as of the last rebuild.
    double appliedFlip_ = 0;
    double appliedMicAngle_ = 0;
    double appliedMicDistance_ = cabinet::kCrossMicDistance;
    double appliedRadius_ = 0.18;
    std::array<RayTrack, kImageRays> rays_{};
    AttenuationTable table_;
    int backRegion_ = 1;
    double openBack_ = 1;
    double roomFactor_ = 1;
    double outputGain_ = 1;
    double staticAlpha_ = 1; // static ray's attenuation (times the room factor)

    // Rate terms.
    double rate_ = 44100;
    double samplesPerMetre_ = 44100 * cabinet::kSecondsPerMetre;
    unsigned updateMask_ = 15;
    double zA_ = 0, zB_ = 0;
    double coefGlide_ = 0; // 5 ms
    std::array<double, horn::kReflectionPoles> poles_{};
    double appliedReflectionLowPass_ = -1;

    // Audio state.
    SourceHistory history_;
    std::array<double, kRayBufferLength> raySums_{}; // the thirteen rays' sum per sample
    int j_ = 0;
    uint32_t counter_ = 0;
    bool snapDirectivity_ = true;
    double staticLowPass_ = 0;
    double staticCoef_ = 0;
    std::array<BiquadFilter, kImageRays> lobeA_;
    std::array<BiquadFilter, kImageRays> lobeB_;
    std::array<MultiFilter, kStaticEqCascades> staticEq_;
};

} // namespace zel
