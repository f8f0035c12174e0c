// What the horn and drum units share: a rotating source heard at a microphone in
// the cabinet. The settings that place the microphone and shape the rays, the
// rotor, the motor-noise player of a microphone unit, the source history, the
// attenuation table and the steps of a rebuild that are the same for both (flip,
// microphone placement, room factor, rate terms, state). Each unit keeps its own
// rays, filters and per-sample mix. Only the rebuild's unit-specific steps are
// virtual; the per-sample helpers here are plain inline calls, so the per-sample
// path has no virtual calls.
//
// Threads: the setters store Relaxed values and may run on any thread. Everything
// else runs on the audio thread.
#pragma once

#include "engine/AttenuationTable.h"
#include "engine/CabinetRays.h"
#include "engine/MechNoisePlayer.h"
#include "engine/OnePole.h"
#include "engine/RayTrack.h"
#include "engine/Relaxed.h"
#include "engine/Rotor.h"
#include "engine/SourceHistory.h"

#include <cstdint>
#include <optional>

namespace zel {

class CabinetUnit {
public:
    static constexpr double kDirectivityCoefSeconds = 0.005;
    static constexpr double kTableStepsPerMetre = 1.0 / cabinet::kAttenuationStep;

    // Audio thread. rebuild applies the settings that move the geometry; a changed
    // flip also goes to the rotor, and the unit is re-rated and cleared.
    void rebuild();
    // The unit rate (at least 11025) and the engine's decimation factor; clears.
    virtual void setUnitRate(double rate, int factor) = 0;
    // Ahead of a rate change to the engine rate `rate`: builds up to `budget`
    // points of the tables that rate needs, so that setUnitRate finds them ready;
    // returns the points computed.
    virtual int prepareRate(double rate, int budget) = 0;
    // The unit rate an engine rate gives (the rotor's lower limit).
    static double unitRateFor(double rate) {
        return rate >= Rotor::kMinUnitRate ? rate : Rotor::kMinUnitRate; // also NaN
    }

    // Settings (any thread). Microphone angle and distance, AM radius,
    // attenuation, attenuation distance, decay exponent and flip take effect at
    // the next rebuild; the others at the next sample.
    void setMicAngle(double turns) { micAngle_.store(turns); }
    void setMicDistance(double metres);
    void setFmRadius(double metres) { fmRadius_.store(metres); }
    void setAmRadius(double metres) { amRadius_.store(metres); }
    void setReflectionCoeff(double e) { reflection_.store(e); }
    void setAttenuation(double exponent) { attenuation_.store(exponent); }
    void setAttenuationDistance(double metres) { attenuationDistance_.store(metres); }
    void setAttDecayExp(double exponent) { decayExponent_.store(exponent); }
    void setStaticRayLevel(double level) { staticRayLevel_.store(level); }
    void setStaticFilterCutoff(double hz) { staticCutoffHz_.store(hz); }
    void setFilterSaturation(double amount) { filterSaturation_.store(amount); }
    void setFlip(double value) { flip_.store(value); }
    // Octave step between the reflection orders' low-passes.
    void setReflectionLowPass(double octaves) { reflectionLowPass_.store(octaves); }
    void setReflectionLpf(double octaves) { setReflectionLowPass(octaves); }
    // Kept for the settings' sake; neither unit has a filter they act on.
    void setLpfCutLow(double hz) { lpfCutLow_.store(hz); }
    void setLpfCutHigh(double hz) { lpfCutHigh_.store(hz); }
    // The motor noise (microphone units; the cross units ignore them).
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
    const AttenuationTable& attenuationTable() const { return table_; }
    double unitRate() const { return rate_; }
    double lpfCutLow() const { return lpfCutLow_.load(); }
    double lpfCutHigh() const { return lpfCutHigh_.load(); }
    double filterSaturation() const { return filterSaturation_.load(); }

    bool isCross() const { return cross_; }
    Rotor& rotor() { return rotor_; }
    const Rotor& rotor() const { return rotor_; }
    // The microphone units' motor-noise player; null for the cross units.
    MechNoisePlayer* mechPlayer() { return player_ ? &*player_ : nullptr; }

protected:
    // A microphone unit plays its motor noise from `noise`; a cross unit has none.
    CabinetUnit(RotorDirection direction, bool cross, std::optional<MechNoiseSource> noise,
                double micDistance);
    ~CabinetUnit() = default;

    // The unit's own rebuild steps: its geometry (rays, back region, gains) and the
    // rate terms that depend on it.
    virtual void computeGeometry() = 0;
    virtual void updateRateTerms() = 0;

    // Per-sample settings, read once.
    struct Frame {
        double e;         // reflection coefficient
        double fmSamples; // FM radius in samples
        bool update;      // a directivity update sample
    };

    // ---- rebuild steps (audio thread) ----
    // Takes the microphone and the rotor radius as set now and rebuilds the
    // attenuation table. The half the microphone faces has `firstWall` as its
    // first side wall, `secondWall` as its second; flipped, the other way round.
    struct Placement {
        CabinetHalf half;
        MicPoint mic;
    };
    Placement placeMicrophone(double firstWall, double secondWall);
    // Room factor (softened by `power`) and the static ray's attenuation from the
    // front ray.
    void placeStaticRay(const RayPath& front, double power);
    // The rotor's rate and the rate of directivity updates.
    void setRotorRate(double rate, int factor);
    // Samples per metre and the directivity glide at the current rate.
    void updateSharedRateTerms();
    // The distance a unit's delays are counted from: a cross unit's microphone
    // distance, 0 otherwise.
    double delayOrigin() const { return cross_ ? appliedMicDistance_ : 0.0; }
    // Source history, update counter, static low-pass; re-rates the player.
    void clearSharedState();

    // ---- per sample ----
    // Reads the frame's settings and writes the input with the rotor's new angle.
    Frame startFrame(double input) {
        Frame f;
        f.e = reflection_.load();
        f.fmSamples = fmRadius_.load() * samplesPerMetre_;
        f.update = (counter_ & updateMask_) == 0;
        history_.write(input, rotor_.step());
        return f;
    }
    void finishFrame(bool update) {
        if (update) snapDirectivity_ = false;
        ++counter_;
        history_.advance();
    }
    // A ray's attenuation with the mouth displaced by lambda (radii) toward it.
    double alphaAt(const RayTrack& ray, double lambda) const {
        return table_.atPosition(ray.tablePos + lambda * appliedRadius_ * kTableStepsPerMetre) *
               roomFactor_;
    }
    // The static ray's one-pole low-pass; its corner follows the setting on
    // update samples.
    double staticLowPassed(double sigma, bool update) {
        if (update) {
            // The corner rarely moves: its power is taken again only when it does.
            const double hz = staticCutoffHz_.load();
            if (hz != staticCoefHz_) {
                staticCoefHz_ = hz;
                staticCoef_ = poleFromDecay(hz, rate_);
            }
        }
        staticLowPass_ = poleToward(staticLowPass_, sigma, staticCoef_);
        return staticLowPass_;
    }

    const bool cross_;
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
    Relaxed<double> staticRayLevel_{0.0};
    Relaxed<double> staticCutoffHz_{0.25 * 44100.0};
    Relaxed<double> filterSaturation_{0.0};
    Relaxed<double> flip_{0.0};
    Relaxed<double> reflectionLowPass_{0.3333};
    Relaxed<double> lpfCutLow_{0.0};
    Relaxed<double> lpfCutHigh_{0.0};
    Relaxed<double> mechLevel_{0.0};

    // Geometry as of the last rebuild.
    double appliedFlip_ = 0;
    double appliedMicAngle_ = 0;
    double appliedMicDistance_;
    double appliedRadius_ = 0.18;
    AttenuationTable table_;
    int backRegion_ = 1;
    double roomFactor_ = 1;
    double staticAlpha_ = 1; // static ray's attenuation (times the room factor)

    // Rate terms.
    double rate_ = 44100;
    double samplesPerMetre_ = 44100 * cabinet::kSecondsPerMetre;
    unsigned updateMask_ = 15;
    double coefGlide_ = 0; // 5 ms
    double appliedReflectionLowPass_ = -1;

    // Audio state.
    SourceHistory history_;
    uint32_t counter_ = 0;
    bool snapDirectivity_ = true;
    double staticLowPass_ = 0;
    double staticCoef_ = 0;
    double staticCoefHz_ = -1; // the corner staticCoef_ belongs to; -1 none
};

} // namespace zel
