// The sound of the rotor mechanics for one microphone: a motor loop that
// dominates at slow speed, a rotor recording played in step with the rotor at
// fast speed, crossfaded by the rotor's current speed, and a one-shot transition
// sound when the speed switch changes.
//
// handOver, process, processRun and setRate run on the audio thread.
// setMicDistance, startTransition and the level setters may run on parameter
// threads: they only store values (Relaxed); process and processRun apply a new
// distance (re-tuning the band-pass) or start a requested transition at their
// start.
#pragma once

#include "engine/BiquadFilter.h"
#include "engine/CpuFeatures.h"
#include "engine/DirectivityTable.h"
#include "engine/Relaxed.h"
#include "engine/SettledSection.h"
#include "engine/StagedTables.h"

#include <cstdint>
#include <limits>

namespace zel {

struct MotorNoiseTables;

enum class MechNoiseSource {
    HornUnit0, // horn microphone 1: horn loop A
    HornUnit1, // horn microphone 2: horn loop B
    Drum,      // drum microphone: drum loop
};

class MechNoisePlayer {
public:
    static constexpr double kMinRate = 11025.0;
    static constexpr double kSlowLimitHz = 0.78;              // at or below: loop only
    static constexpr double kFastLimitHz = 7.5;               // at or above: recording only
    static constexpr double kTransitionLevel = 0.25118864315; // -12 dB of the decel level
    static constexpr double kHornOffset0 = -0.003676470588235294;
    static constexpr double kHornOffset1 = 0.23161764705882354;
    static constexpr double kDrumOffset = -0.0014204545454545455;

    explicit MechNoisePlayer(MechNoiseSource source, double rate = 44100.0);

    // The longest run processRun takes in one piece, and the hand-overs a player
    // keeps for it.
    static constexpr int kMaxRun = 64;

    // Audio thread. A unit hands over its values once per sample; process plays
    // one sample with the latest hand-over, processRun plays n samples (the
    // engine's runs) with the hand-overs made since the last sample played, one
    // per sample in order: the last n of them when there were more; with fewer,
    // the samples before them keep the values the player held. A run gives what
    // playing its samples one by one after their hand-overs gives, to the bit.
    void handOver(double amplitude, double /*retardedAngle*/, double micAngle,
                  double speed) noexcept {
        const int k = handCount_ & (kMaxRun - 1);
        hand_.amplitude[k] = amplitude;
        hand_.micAngle[k] = micAngle;
        hand_.speed[k] = speed;
        // Past kMaxRun the oldest are overwritten; the count stays below twice
        // kMaxRun with the same slot.
        handCount_ += handCount_ == 2 * kMaxRun - 1 ? 1 - kMaxRun : 1;
    }
    double process() noexcept;
    void processRun(double* out, int n) noexcept;
    // Two players' runs at once (as a.processRun(outA, n), b.processRun(outB, n)):
    // two horn players' band-passes run side by side.
    static void processRunPair(MechNoisePlayer& a, double* outA, MechNoisePlayer& b, double* outB,
                               int n) noexcept;
    void setRate(double rate) noexcept;
    // Ahead of a change to `rate`: builds up to `budget` points of the drum's
    // tables for it; returns the points computed (none for a horn player).
    int prepareRate(double rate, int budget) noexcept;

    // Any thread.
    void setMicDistance(double metres) noexcept;
    void startTransition() noexcept;
    void setSlowLevel(double v) noexcept { slowLevel_.store(v); }
    void setFastLevel(double v) noexcept { fastLevel_.store(v); }
    void setAccelLevel(double v) noexcept { accelLevel_.store(v); } // stored only
    void setDecelLevel(double v) noexcept { decelLevel_.store(v); }

    MechNoiseSource source() const noexcept { return source_; }
    bool isHorn() const noexcept { return source_ != MechNoiseSource::Drum; }
    double rate() const noexcept { return rate_; }
    double slowLimit() const noexcept { return slowLimit_; } // rev/sample
    double fastLimit() const noexcept { return fastLimit_; }
    double slowLevel() const noexcept { return slowLevel_.load(); }
    double fastLevel() const noexcept { return fastLevel_.load(); }
    double accelLevel() const noexcept { return accelLevel_.load(); }
    double decelLevel() const noexcept { return decelLevel_.load(); }
    double recordingOffset() const noexcept { return offset_; }
    double micDistance() const noexcept { return appliedDistance_; }
    double distanceFactor() const noexcept { return distanceFactor_; }
    bool transitionActive() const noexcept { return transitionActive_; }
    double transitionPosition() const noexcept { return transitionPos_; }
    double transitionStep() const noexcept { return step_; }
    double loopPosition() const noexcept { return loopPos_; }
    double recordingPhase() const noexcept { return phase_; }
    const BiquadFilter& bandPass() const noexcept { return bandPass_; }
    const BiquadFilter& lowPass() const noexcept { return lowPass_; }
    const BiquadFilter& highShelf() const noexcept { return highShelf_; }

    // Tests only: whether runs read the tables with AVX2 where the processor has
    // it (the default) or on the baseline. Both give the same values to the bit.
    void setWideReads(bool on) noexcept { wideReads_ = on && cpuHasAvx2(); }

private:
    // Hand-overs kept for a run, or a run's values.
    struct HandOvers {
        double amplitude[kMaxRun];
        double micAngle[kMaxRun];
        double speed[kMaxRun];
    };
    // The values of a run's samples, one per sample.
    struct RunValues {
        const double* amplitude;
        const double* micAngle;
        const double* speed;
    };

    void applyRequests() noexcept;
    void applyPendingRequests() noexcept;
    void applyMicDistance(double metres) noexcept;
    double transitionSample() noexcept;
    // Inlined into process, the one caller.
    [[gnu::always_inline]] inline double processHorn() noexcept;
    [[gnu::always_inline]] inline double processDrum() noexcept;
    RunValues takeValues(int remaining, int m, HandOvers& scratch) const noexcept;
    void keepValues(const RunValues& v, int m) noexcept;
    template <typename Stretch>
    void inStretches(const double* speed, int n, Stretch&& stretch) noexcept;
    void hornInputs(const RunValues& v, double* in, int n) noexcept;
    void hornStretch(const double* micAngle, double* in, int n, double slow, double fast) noexcept;
    [[gnu::target("avx2")]] void hornStretchAvx2(const double* micAngle, double* in, int n,
                                                 double slow, double fast) noexcept;
    [[gnu::always_inline]] inline void hornStretchOf(const double* micAngle, double* in, int n,
                                                     double slow, double fast) noexcept;
    template <int Revolutions, bool TurnFirst>
    [[gnu::always_inline]] inline void readRecording(const double* micAngle, int length,
                                                     float* read, int n) noexcept;
    void drumRun(const RunValues& v, double* out, int n) noexcept;
    void drumStretch(const RunValues& v, double* out, int n, double slow, double fast) noexcept;
    [[gnu::target("avx2")]] void drumStretchAvx2(const RunValues& v, double* out, int n,
                                                 double slow, double fast) noexcept;
    [[gnu::always_inline]] inline void drumStretchOf(const RunValues& v, double* out, int n,
                                                     double slow, double fast) noexcept;
    void tuneHorn(double speed) noexcept;
    void tuneDrum(double speed) noexcept;
    double micTurn(double micAngle, int revolutions) noexcept;
    double turnOf(double micAngle, int revolutions) const noexcept;

    const MechNoiseSource source_;
    const float* loop_;
    const float* recording_;
    const float* transition_;
    double offset_;
    double direction_; // horn -1, drum +1

    double rate_ = 44100.0;
    double invRate_ = 1.0 / 44100.0;
    double slowLimit_ = 0, fastLimit_ = 0, invSlowLimit_ = 0, invSpan_ = 0;
    double step_ = 1.0;

    // The values the player plays with (the last hand-over it took), and the
    // hand-overs not yet played, counted in handCount_ (at or beyond kMaxRun:
    // the ring is full; hand-over i lies at i mod kMaxRun).
    double amplitude_ = 0, micAngle_ = 0, speed_ = 0;
    HandOvers hand_{};
    int handCount_ = 0;
    bool wideReads_ = cpuHasAvx2();

    double loopPos_ = 0; // horn: samples; drum: fraction of the loop
    double phase_ = 0;   // fraction of the rotor recording

    Relaxed<double> slowLevel_{0.0};
    Relaxed<double> fastLevel_{0.0};
    Relaxed<double> accelLevel_{0.0};
    Relaxed<double> decelLevel_{0.0};

    // Requests from other threads, applied at the start of process.
    Relaxed<double> requestedDistance_{1.0};
    Relaxed<uint32_t> transitionRequests_{0u};
    uint32_t transitionsSeen_ = 0;
    double appliedDistance_ = 1.0;
    double distanceFactor_ = 1.0;

    bool transitionActive_ = false;
    double transitionPos_ = 0;
    double transitionGain_ = 1.0;
    double transitionLevel_ = 0;

    // The sections' settings; they run as settled sections (immediate mode: new
    // coefficients take effect at once), the drum's two side by side.
    BiquadFilter bandPass_;
    BiquadFilter lowPass_;   // drum only
    BiquadFilter highShelf_; // drum only
    SettledSection band_;
    static constexpr int kDrumLoopSection = 0;      // the loop's low-pass
    static constexpr int kDrumRecordingSection = 1; // the recording's high shelf
    SettledPair drumPair_;
    // Between the speed limits the drum re-tunes both sections every sample; their
    // coefficients come from tables computed when the rate changes: the low-pass
    // over the square root of its corner (as a share of the highest corner, which
    // keeps the low corners' points close), the shelf over the squared speed
    // position.
    struct DrumTables {
        DirectivityTable lowPass;
        DirectivityTable shelf;
        void begin(double rate);
        int extend(int budget);
        bool complete() const { return lowPass.complete() && shelf.complete(); }
    };
    StagedTables<DrumTables> tables_;
    double lowPassTop_ = 0; // Hz, the highest corner the low-pass can take
    // The speed the weights, steps (and the drum's sections) were last tuned for
    // (none yet: a value no speed has), the crossfade weights and the phases'
    // steps per sample.
    static constexpr double kUntuned = -1.0;
    double tunedSpeed_ = kUntuned;
    double loopWeight_ = 0;
    double recordingWeight_ = 0;
    double phaseStep_ = 0; // rotor recording, fraction per sample
    double loopStep_ = 0;  // drum loop, fraction per sample
    // The microphone angle the recording's placement was last computed for
    // (none yet: not a number), and the placement.
    double turnedMicAngle_ = std::numeric_limits<double>::quiet_NaN();
    double micTurn_ = 0;
};

} // namespace zel
