// The rotary speaker engine: one stereo frame in, one stereo frame out. The two
// inputs are summed to mono, pass the amplifier and its tone EQ, are decimated to
// the internal rate, feed the horn and drum units with their cross paths and the
// bass-reflex resonance, the room and the microphone mix, and are interpolated
// back to the host rate and crossfaded with a 3 kHz low-passed dry signal while a
// structural rebuild runs.
//
// Threads. Parameter application (any thread) writes only `targets`, `amp`,
// `requests`, `setupPosition`, `hostRate`, the unit and room setters and the
// setters marked "any thread" below. Everything else runs on the audio thread:
// startBlock before the frames of a block, then per frame stepFade and
// processSample, then endBlock. Structural work (rates, Setup, room, unit
// geometry, cross paths) happens inside startBlock while the output is dry, one
// task per block.
//
// Where parameter application puts things: smoothed levels in `targets` (the room
// return level too: the engine hands targets.roomReturnLevel to the room, so do
// not call room().setReturnLevel); "HHPF" and "DLPF" working frequencies in
// amp.hornHighPassHz / amp.drumLowPassHz with their mix targets in `targets`, then
// requests.highLowPassDirty; tone and "Color" dB values in `amp`, then
// requests.toneEqDirty; "CPUmode" in amp.cpuMode with requests.fullReset and
// requestFade(); the "Setup" position in setupPosition with requests.setup.
#pragma once

#include "engine/AmpStage.h"
#include "engine/BiquadFilter.h"
#include "engine/CrossPaths.h"
#include "engine/CrossRings.h"
#include "engine/Decimator.h"
#include "engine/DrumUnit.h"
#include "engine/EarlyReflections.h"
#include "engine/EngineSettings.h"
#include "engine/FadeMachine.h"
#include "engine/HornUnit.h"
#include "engine/MultiFilter.h"
#include "engine/Relaxed.h"

#include <array>
#include <cstdint>
#include <memory>

namespace zel {

// Implemented by the effect: the parts of a rebuild that go through the ordinary
// parameter path. Called on the audio thread from inside startBlock (and from the
// effect's constructor).
struct SetupApplier {
    // Applies the Setup preset of a position 0..5 (its eight parameters through the
    // automated path), then sets targets.micMakeupGain and targets.mechPanNear/Far.
    virtual void applySetupPreset(int position) = 0;
    // Full reset: "Horn Amplitude Clip" := (sqrt("HDistance" value) - 0.5) * 0.2 +
    // 0.795879 through the parameter path.
    virtual void applyAmplitudeClip() = 0;

protected:
    ~SetupApplier() = default;
};

class RotaryEngine {
public:
    static constexpr int kRingLength = 1024;
    static constexpr unsigned kRingMask = kRingLength - 1;
    // The engine never runs slower than this host rate.
    static constexpr double kMinHostRate = 22050.0;
    // Nor faster than this one (the filters' upper limit).
    static constexpr double kMaxHostRate = 400000.0;
    static constexpr double kDryCutoffHz = 3000.0;
    // The output's guard is coarser than the engine's 1e-12: it rounds to a grid of
    // 1.7e-21 (-414 dB), so silence comes out as exact zeros. The finer guards
    // leave one-pole recursions with poles above 0.5 stalled a few 1e-28 off zero
    // (rounding to nearest returns the same grid step), and these would otherwise
    // reach the output for ever.
    static constexpr double kOutputGuard = 1e-5;

    RotaryEngine();
    ~RotaryEngine();
    RotaryEngine(const RotaryEngine&) = delete;
    RotaryEngine& operator=(const RotaryEngine&) = delete;

    // ---- settings (any thread) ---------------------------------------------
    SmoothedTargets targets;
    AmpToneSettings amp;
    RebuildRequests requests;
    // "Setup" position 0..5, applied by the Setup task.
    Relaxed<int32_t> setupPosition{1};
    // The host's sample rate as last announced; read at a rate reset or full reset.
    Relaxed<double> hostRate{44100.0};

    HornUnit& hornUnit(int i) { return *hornUnits_[i & 1]; }
    HornUnit& hornCrossUnit() { return *hornCross_; }
    DrumUnit& drumMainUnit() { return *drumMain_; }
    DrumUnit& drumCrossUnit() { return *drumCross_; }
    EarlyReflections& room() { return *room_; }

    // Asks the audio thread to fade to dry and work off the pending flags.
    void requestFade() { requests.fade = true; }
    // "Horn Filter Saturation": section 10 of the horn tone array and sections 2
    // and 7 of the horn cross tone array; applied at the next block start.
    void setHornFilterSaturation(double s) {
        hornSaturation_ = s;
        hornSaturationPending_ = true;
    }
    // "Horn AM Radius": sets the three horn units' AM radius and keeps the value
    // for the cross paths (R). Use this instead of the units' own setters.
    void setHornAmRadius(double metres) {
        hornAmRadius_ = metres;
        for (HornUnit* unit : {hornUnits_[0].get(), hornUnits_[1].get(), hornCross_.get()})
            unit->setAmRadius(metres);
    }
    // The object that applies Setup presets and the amplitude clip; may be null.
    void setSetupApplier(SetupApplier* applier) { applier_ = applier; }

    // Current configuration (any thread may read).
    double internalRate() const { return internalRate_.load(); }
    int decimationFactor() const { return factor_.load(); }
    // The host rate the engine was last configured for.
    double configuredHostRate() const { return configuredHostRate_.load(); }

    // ---- audio thread -----------------------------------------------------------
    // Block start: turns requests into the fade, applies the block-start filter
    // updates, and in the dry state runs one pending task.
    void startBlock();
    // Per frame, before processSample: advances the fade level.
    void stepFade() {
        fade_.step();
        ++blockFrames_;
    }
    void processSample(double in0, double in1, double& out0, double& out1);
    // A run of n frames: per frame stepFade and what processSample does, with the
    // same results bit for bit. The speaker simulation then works through the run
    // unit by unit (each unit's samples in their order, the mix after), so each
    // unit's histories and tables stay in cache while it runs. The frames are
    // taken in pieces of kRunSamples simulated samples (kRunSamples times the
    // decimation factor frames): the longer a piece, the less each unit's
    // start and end of a run weigh, but each unit takes at most kRunSamples.
    void processFrames(const double* in0, const double* in1, double* out0, double* out1, int n);
    static constexpr int kRunSamples = 64;
    static constexpr int kMaxDecimationFactor = 8;
    // The most frames one piece can have; callers that hand the engine their
    // blocks in parts gain nothing from shorter ones.
    static constexpr int kRunFrames = kRunSamples * kMaxDecimationFactor;
    // After the frames of a block: the fade's state transitions.
    void endBlock() { fade_.endBlock(); }

    // Structural operations (also the effect's virtual operations).
    void configureRate();
    void clearEngineState();
    void recomputeRateCoefficients();
    void resetForRate();
    void resetEngine();
    void updateCrossPaths();
    // Construction: every rebuild once, directly and without the fade.
    void runAllRebuildsDirectly();

    // ---- observation ---------------------------------------------------------
    int fadeState() const { return fade_.state(); }
    double fadeLevel() const { return fade_.level(); }
    double fadeTarget() const { return fade_.target(); }
    // c20 of the host rate, shared with the bypass glide.
    double glideCoefficient() const { return c20_; }
    uint32_t sampleCounter() const { return counter_; }
    unsigned ringIndex() const { return ring_; }
    const Decimator& decimator() const { return decimator_; }
    const AmpStage& ampStage() const { return ampStage_; }
    const CrossPathSettings& crossPaths() const { return crossCurrent_; }
    double hornSaturationApplied() const { return appliedHornSaturation_; }
    const BiquadFilter& hornToneSection(int i) const { return hornTone_[i]; }
    const BiquadFilter& hornCrossToneSection(int i) const { return hornCrossTone_[i]; }
    const BiquadFilter& hornMicHighPass(int i) const { return hornMicHighPass_[i & 1]; }
    const BiquadFilter& reconstructionLowPass(int i) const { return reconstructionLowPass_[i & 1]; }
    double dryState(int channel) const { return dry_[channel & 1]; }
    // The number of structural tasks run since construction (each block in the dry
    // state runs at most one).
    uint64_t tasksRun() const { return tasksRun_; }

private:
    // The engine's current smoothed values (audio thread), one per target.
    struct Levels {
        double inputGain, drive, postDriveGain, hornInputGain, drumInputGain;
        double hornMicLevel, micMakeupGain, mic2Gain, drumMicLevel;
        double mic1PanLeft, mic1PanRight, mic2PanLeft, mic2PanRight;
        double drumPanLeft, drumPanRight;
        double drumToTubeFeedback, hornToDrumFeedback, brToTubeGain, brToDrumGain;
        double hornHighPassMix, drumLowPassMix, mechPanNear, mechPanFar;
    };
    struct WetPair {
        double left;
        double right;
    };

    void configureFixedFilters();
    void configureToneArrays();
    void applyHornSaturation(double s);
    void copyToneArrays();
    void forEachEngineFilter(void (*action)(BiquadFilter&));
    void rateFilters();
    int factorFor(double fs) const;
    void chooseFactor(double fs);
    void prepareRateTables(int frames);
    double readHostRate() const;
    void tellUnitsRate();
    void clearRings();
    void keepDryPath();
    void snapLevels();
    void recomputeSmoothingCoefficients();
    void applyHighLowPass();
    void applyTone();

    void takeRequests();
    bool anyStructuralRequest() const;
    void runOneTask();
    void fullResetTask();
    void rebuildHornUnits(bool unit0, bool unit1);

    // What smoothLevels stepped (either may then have moved).
    enum Stepped : unsigned { kLevelsStepped = 1, kCrossStepped = 2 };
    // Returns the Stepped flags of what it stepped.
    unsigned smoothLevels();
    [[gnu::noinline]] void stepLevels(uint32_t changes);
    [[gnu::noinline]] void stepCrossPaths();
    // The MIDI activity light's step toward 0.
    [[gnu::noinline]] void fadeActivity(float activity);
    // The smoothed values must be stepped again (their targets, coefficients or
    // values were set by other means than the steps).
    void wakeLevels() {
        levelsAtRest_ = false;
        crossAtRest_ = false;
    }
    // What the simulation takes from the frame it runs on: the smoothed values
    // of that frame (shared by the frames of a run between which none moved)
    // and the decimated input.
    struct SimLevels {
        Levels v;
        double roomLevel;
    };
    // A frame's kind is also what the decimator does with it.
    enum FrameKind : int8_t {
        kBypassFrame = Decimator::kSkip,
        kQuietFrame = Decimator::kPushOnly,
        kSimFrame = Decimator::kPushAndFilter
    };
    // The per-run arrays (kRunFrames per frame, kRunSamples per simulated
    // sample), made with the engine.
    struct RunScratch;

    // The frames of one run: the front half per frame (levels, amplifier,
    // decimation, the dry path), the simulation's samples, the back half per frame.
    void runFrames(const double* in0, const double* in1, double* out0, double* out1, int n,
                   bool stepFades);
    int frontFrames(const double* in0, const double* in1, int n, bool stepFades);
    // Whether nothing the front half steps per frame but the cross paths can
    // move in this run: the smoothed values rest, no target was stored since,
    // the activity light is dark and the fade (where it is stepped) is idle.
    bool restingRun(bool stepFades) const;
    // frontFrames for such a run: the same values with the levels, the fade and
    // the switches read once and only the cross paths stepped per frame.
    int restingFrames(const double* in0, const double* in1, int n, bool stepFades);
    // restingFrames' kinds of frames and copies of the values; returns the
    // number of simulated frames.
    template <bool Gliding> int restingKinds(int n);
    // The copies of the smoothed values a run's simulated frames point to: a
    // new one only where they moved since the last (null: take one).
    struct SimCopies {
        const SimLevels* levels = nullptr;
        const CrossPathSettings* cross = nullptr;
        int levelCount = 0, crossCount = 0;
    };
    // The next simulated frame: its copies, taken where needed.
    void takeSimFrame(SimCopies& copies, int& simulated);
    // The drive curve, the tone filters and the decimator over the run's frames.
    void ampRun(int n);
    void backFrames(const double* in0, const double* in1, double* out0, double* out1, int n);
    template <bool DryLater> void reconstructRun(const double* in0, const double* in1, int n);
    // The dry path of a resting run's frames.
    void dryRun(const double* in0, const double* in1, int n);
    // The simulation's samples of a run, unit by unit.
    void simulateRun(int count);
    void simulateInputs(int count);
    void simulateUnits(int count);
    void mixRun(int count);
    [[gnu::target("avx2")]] void mixReturnsWide(int count);
    [[gnu::always_inline]] inline void mixReturns(int count);
    template <typename LevelsAt>
    [[gnu::always_inline]] inline void returnsIntoMicrophones(int count, const LevelsAt& levelsAt);
    template <typename LevelsAt>
    [[gnu::always_inline]] inline void filtersAndOutput(int count, const LevelsAt& levelsAt);
    [[gnu::always_inline]] static inline WetPair
    outputFrame(const Levels& v, double m1, double m2, double dr, double h1, double h2, double low);
    void mixSends(int count);
    // The sends where the ring reads run four wide (cpuHasAvx2()).
    [[gnu::target("avx2")]] void mixSendsWide(int count);
    // What the sends carry from one sample to the next, and their constants.
    struct SendsState {
        double mechSend, kA, kB;
        unsigned ring;
        double drumCrossSmooth, hornCrossSmooth;
    };
    SendsState sendsState() const;
    void keepSendsState(const SendsState& state);
    // Whether the run's ring reads may all follow its writes.
    bool readsBehindWrites(int count) const;
    // Whether the run's samples share one copy of the levels and one of the
    // cross paths.
    bool sharedCopies(int count) const;
    // The sends four samples at a time from ring index `first` on, with the
    // ring writes ahead of them (how many in `written`); returns the samples
    // done.
    [[gnu::target("avx2")]] int sendsQuads(unsigned first, int count, SendsState& state,
                                           int& written);
    [[gnu::always_inline]] inline void writeRings(int j, SendsState& state);
    [[gnu::always_inline]] inline void mixSendsFrame(int j, unsigned r, const CrossRings::Feeds& in,
                                                     const SendsState& state);
    double dryStep(double& state, double in, double gain) const;

    SetupApplier* applier_ = nullptr;

    std::unique_ptr<HornUnit> hornUnits_[2];
    std::unique_ptr<HornUnit> hornCross_;
    std::unique_ptr<DrumUnit> drumMain_;
    std::unique_ptr<DrumUnit> drumCross_;
    std::unique_ptr<EarlyReflections> room_;
    std::unique_ptr<RunScratch> run_;

    // Fixed filters.
    AmpStage ampStage_;
    BiquadFilter drumShelf_;
    BiquadFilter brResonator_;
    std::array<BiquadFilter, 2> hornMicHighPass_;
    std::array<BiquadFilter, 2> colorPeak_;
    std::array<BiquadFilter, 2> colorShelf_;
    std::array<BiquadFilter, 2> reconstructionLowPass_;
    // The horn tone arrays and their cascades (T1 T2 T3, X1 X2).
    std::array<BiquadFilter, 12> hornTone_;
    std::array<BiquadFilter, 8> hornCrossTone_;
    std::array<MultiFilter, 3> hornToneCascades_;
    std::array<MultiFilter, 2> hornCrossCascades_;
    Relaxed<double> hornSaturation_{0.0};
    Relaxed<bool> hornSaturationPending_{false};
    double appliedHornSaturation_ = 0.0;
    Relaxed<double> hornAmRadius_{0.18};

    // Cross-path rings with one write index.
    CrossRings rings_;
    static_assert(CrossRings::kLength == kRingLength);
    unsigned ring_ = 0;
    CrossPathSettings crossTarget_;
    CrossPathSettings crossCurrent_;

    Decimator decimator_;
    FadeMachine fade_;

    // Configuration.
    Relaxed<double> internalRate_{44100.0};
    Relaxed<int32_t> factor_{1};
    Relaxed<double> configuredHostRate_{44100.0};
    double fs_ = 44100.0; // host rate in use
    uint32_t decimationMask_ = 0;
    uint32_t counter_ = 0;

    // Coefficients.
    double c30_ = 0, c100_ = 0, c20_ = 0, c500_ = 0;
    double hornDiffPole_ = 0; // p = 0.005^(500 / internal rate)
    double kA_ = 0, kB_ = 0;  // cross-unit smoothers
    double kD_ = 0;           // drum low-pass
    double kDry_ = 0;

    // Audio state.
    Levels levels_{};
    // Every smoothed value rests (see smoothLevels) as of the target store count
    // restChanges_, with the room's return level at restRoomLevel_.
    bool levelsAtRest_ = false;
    uint32_t restChanges_ = 0;
    double restRoomLevel_ = 0.0;
    // The cross paths' delays and gains rest at their targets' values (their
    // targets change only through updateCrossPaths, which wakes them).
    bool crossAtRest_ = false;
    double hornDiff_ = 0, previousD_ = 0;
    double drumCrossSmooth_ = 0, hornCrossSmooth_ = 0;
    double drumLowPass_ = 0;
    std::array<double, 2> dry_{};
    uint64_t tasksRun_ = 0;
    int blockFrames_ = 0; // frames since the last block start
};

} // namespace zel
