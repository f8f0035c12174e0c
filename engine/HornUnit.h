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
// The settings, rotor and rebuild steps it shares with the drum unit live in
// CabinetUnit.
//
// Threads: the setters store Relaxed values and may run on any thread. process,
// rebuild, clearState and setUnitRate run on the audio thread; everything
// structural (geometry, filters, flip) happens there.
#pragma once

#include "engine/BiquadFilter.h"
#include "engine/CabinetUnit.h"
#include "engine/DecayPoleTable.h"
#include "engine/DirectivityTable.h"
#include "engine/GlidingSections.h"
#include "engine/MultiFilter.h"
#include "engine/RayBatch.h"
#include "engine/StagedTables.h"
#include "engine/data/HornTables.h"

#include <array>
#include <cstdint>

namespace zel {

class HornUnit final : public CabinetUnit {
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

    explicit HornUnit(Kind kind);

    // Audio thread (rebuild is the shared one).
    double process(double x);
    // Two microphone units on the same input, as their process calls would give
    // (a cross unit among them is processed on its own); the static EQ cascades of
    // the two run side by side.
    static void processMicrophones(HornUnit& a, HornUnit& b, double x, double& ya, double& yb);
    // The same over n samples at once: y[j] is what the j-th process call would
    // give, and for a microphone unit mech[j] what its motor-noise player gives
    // right after that call. The samples go through in phases (all frame starts,
    // all rays, the rest sample by sample, the static EQ), so the processor
    // overlaps the samples' independent work; the results are the same to the
    // bit.
    // The second unit's rotor takes the first's steps where both rotors are on
    // the same course.
    static void processMicrophonesRun(HornUnit& a, HornUnit& b, const double* x, double* ya,
                                      double* yb, double* mechA, double* mechB, int n);
    // leader: a unit that has just run as long a run; where this unit's rotor is
    // on the course the leader's was on at its start, it takes the leader's rotor
    // steps instead of its own (the same values to the bit).
    void processRun(const double* x, double* y, int n, const HornUnit* leader = nullptr);
    // The samples one phase takes at a time; longer runs go in pieces.
    static constexpr int kRunLength = 64;
    void setUnitRate(double rate, int factor) override;
    int prepareRate(double rate, int budget) override;
    void clearState();

    // Settings (any thread), beside the shared ones. The open back mode takes
    // effect at the next rebuild, the others at the next sample.
    void setRayLevel(int ray, double level);
    void setZAxisLevel(double level) { zAxisLevel_.store(level); }
    void setAmplitudeFloor(double gain) { amplitudeFloor_.store(gain); }
    void setOpenBackMode(int32_t mode) { openBackMode_.store(mode); }

    // Audio thread, valid after a rebuild.
    double outputGain() const { return outputGain_; }
    double openBackFactor() const { return openBack_; }
    const RayPath& rayPath(int i) const { return rays_[i].path; }
    // The target coefficients of a ray's directivity sections (a0 not kept: 1).
    BiquadCoefficients directivityA(int i) const { return sectionsA_.target(i); }
    BiquadCoefficients directivityB(int i) const { return sectionsB_.target(i); }
    double zTapA() const { return zA_; }
    double zTapB() const { return zB_; }
    double reflectionPole(int order) const { return poles_[order]; }

    Kind kind() const { return kind_; }

private:
    // Per-sample settings, read once: the shared ones and the amplitude floor.
    struct Frame : CabinetUnit::Frame {
        double floor;
        double speed; // the rotor's, after its step
    };

    double processFull(double x);
    // The full unit's rays and floor/ceiling taps, before the static EQ and gain.
    double mixFull(double x);
    // The same after the frame start and the ray batch: the rays' values r and
    // the static ray's reads s.
    using FullRays = RayBatch<kImageRays>::Results;
    using Sections = GlidingSections<kImageRays>;
    using CrossRays = RayBatch<4>::Results;
    // looked: the directivity targets of an update sample, looked up already
    // (null: looked up here). Inlined into its two callers (a call per sample
    // and unit costs more than its copy).
    struct LobeTargets;
    struct StaticReads;
    [[gnu::always_inline]] inline double mixRays(const Frame& f, const FullRays& r,
                                                 const StaticReads& s, const LobeTargets* looked);
    // A run of n <= kRunLength samples of mixFull: the frame starts and the rays
    // of all (false if the run does not fit the history: nothing has changed),
    // then sample by sample the rest.
    bool startMixRun(const double* x, int n, const HornUnit* leader);
    [[gnu::always_inline]] inline double mixRunSample(int j);
    // mixFull over a run of n <= kRunLength samples into y, in phases if it can.
    void mixRun(const double* x, double* y, int n, const HornUnit* leader);
    // The cross unit's ray sum (before its EQ) after the ray batch.
    [[gnu::always_inline]] inline double crossSum(const Frame& f, const CrossRays& r,
                                                  const StaticReads& s);
    // processCross over a run of n <= kRunLength samples into y.
    void crossRun(const double* x, double* y, int n, const HornUnit* leader);
    // The static EQ of two microphone units over n samples, in place.
    static void staticEqPair(HornUnit& a, double* ya, HornUnit& b, double* yb, int n);
    // Each ray's weight and level this sample.
    struct LaneFactors {
        alignas(32) double weight[kImageRays];
        alignas(32) double level[kImageRays];
    };
    // This sample's lane factors for reflection coefficient e.
    [[gnu::always_inline]] inline const LaneFactors& laneFactors(double e);
    // Whether the lane factors made last are those of e and the settings now.
    [[gnu::always_inline]] inline bool factorsFit(double e) const;
    // The lane factors made again (a setting moved).
    [[gnu::noinline]] const LaneFactors& makeLaneFactors(double e);
    // The rays (inputs: their section inputs) through their directivity
    // sections and on, all at once: each
    // ray's amplitude (at least the floor), weight and level, and its
    // reflection low-pass where it passes one; heard[i] is what ray i adds to
    // the sum. Two or four rays to a register (AVX2), the same arithmetic; a
    // group of rays goes on from its sections in registers.
    template <typename Vec>
    [[gnu::always_inline]] inline void mixLanes(const double* inputs, const double* attenuations,
                                                const LaneFactors& m, double floor, double* heard);
    [[gnu::target("avx2,fma"), gnu::flatten]] void mixLanesWide(const double* inputs,
                                                                const double* attenuations,
                                                                const LaneFactors& m, double floor,
                                                                double* heard);
    // The lanes of a started run's n samples, span by span: a span runs from
    // a sample up to the next that takes new directivity targets, new lane
    // factors, a new amplitude floor or new reflection poles; over it each group of rays goes
    // through its sections and on to what it adds to the sum (heardRun_), the
    // sections' and the low-passes' state in registers.
    void mixLanesRun(int n);
    // One span: length samples from sample first on, with lane factors m.
    struct SpanArgs {
        HornUnit& unit;
        const LaneFactors& m;
        int first;
    };
    template <typename Vec> struct SpanMix;
    template <typename Vec>
    [[gnu::always_inline]] inline void mixSpan(int first, int length, const LaneFactors& m);
    [[gnu::target("avx2,fma"), gnu::flatten]] void mixSpanWide(int first, int length,
                                                               const LaneFactors& m);
    // Whether sample j of a run takes the lane factors, amplitude floor and
    // reflection poles of the span that starts at sample first.
    bool sameLaneTerms(int first, int j) const;
    // The sum of the rays from what each adds (heard), the static ray and the
    // floor and ceiling taps.
    [[gnu::always_inline]] inline double sumRays(const Frame& f, const double* heard,
                                                 const StaticReads& s);
    double processCross(double x);
    Frame beginFrame(double x);
    void endFrame(const Frame& f);
    // The reflection low-passes follow their setting.
    void followReflectionLowPass();
    // A run's frame starts, all at once (rotor steps, history writes, settings),
    // if the run fits the history: no ray of any of its samples reads where a
    // later sample of the run writes. Otherwise false, and nothing has changed.
    // The rotor takes the leader's steps where it can (see processRun).
    bool startRun(const double* x, int n, const HornUnit* leader);
    bool runFitsHistory(int n) const;
    // Sample j of a started run: its frame, and its end.
    Frame runFrame(int j);
    // The same without following the reflection low-pass (the run's lanes
    // followed it already).
    Frame runFrameOf(int j) const;
    void endRunFrame(const Frame& f);
    int runWriteIndex(int j) const { return (run_.firstWrite + j) & SourceHistory::kMask; }
    // Which rays take new targets on an update sample (rayUpdated_).
    void markUpdatedRays();
    // Cross ray i (slot: its place in the cross batch), after the batch ran.
    double crossRay(int i, int slot, double weight, const Frame& f, const CrossRays& r);
    // The static ray: its delayed input and the rotor angle it left the mouth at,
    // read from the history with write index w, and the ray from those.
    struct StaticReads {
        double input;
        double angle;
    };
    StaticReads staticReads(double fmSamples, int w) const;
    [[gnu::always_inline]] inline double staticRay(const Frame& f, const StaticReads& s);
    // The static ray's reads of a started run's n samples; the wide path reads
    // the whole groups of four among them and returns how many it read.
    void readStatics(int n);
    [[gnu::target("avx2,fma")]] int readStaticsWide(int n);
    // The two directivity sections' targets of every ray, from where its mouth
    // faces, and their glided values (the roots the sections glide along).
    using Targets = GlidingSections<kImageRays>::Targets;
    using Glides = GlidingSections<kImageRays>::Glides;
    struct LobeTargets {
        Targets a, b;
        Glides glidesA, glidesB;
    };
    // The targets and glides of rays whose lobe phases are mu.
    void lookUpDirectivity(const double* mu, LobeTargets& out) const;
    // The targets t of the rays marked in rayUpdated_, all at once.
    void updateDirectivityFull(const LobeTargets& t);
    void updateDirectivityCross(RayTrack& ray, double mu);

    void computeGeometry() override;
    void updateRateTerms() override;
    void updateReflectionPoles(double octaves);
    void configureStaticEq();

    const Kind kind_;

    // Settings.
    std::array<Relaxed<double>, kRayLevelCount> rayLevels_{};
    Relaxed<double> zAxisLevel_{0.0};
    Relaxed<double> amplitudeFloor_{0.0};
    Relaxed<int32_t> openBackMode_{0};

    // Geometry as of the last rebuild.
    std::array<RayTrack, kImageRays> rays_{};
    RayBatch<kImageRays> batch_; // the full unit's rays, side by side
    // The cross unit's rays (front, back and the two sides), side by side.
    static constexpr int kCrossRays[] = {0, 1, 6, 7};
    RayBatch<4> crossBatch_;
    double openBack_ = 1;
    double outputGain_ = 1;

    // Rate terms.
    double zA_ = 0, zB_ = 0;
    std::array<double, horn::kReflectionPoles> poles_{};

    // Audio state.
    std::array<double, kRayBufferLength> raySums_{}; // the thirteen rays' sum per sample
    int j_ = 0;
    // The directivity sections at rest (their settings at the rate), and the
    // sections as they run, all rays side by side.
    std::array<BiquadFilter, kImageRays> lobeA_;
    std::array<BiquadFilter, kImageRays> lobeB_;
    GlidingSections<kImageRays> sectionsA_;
    GlidingSections<kImageRays> sectionsB_;
    // Whether the back region has the ray (all bits set, else clear): a side
    // ray it leaves out runs its sections on silence.
    alignas(32) std::array<int64_t, kImageRays> rayHeard_{};
    // Each ray's reflection low-pass: its pole, whether the ray passes it (all
    // bits set, else clear) and its state.
    alignas(32) std::array<double, kImageRays> rayPole_{};
    alignas(32) std::array<int64_t, kImageRays> reflects_{};
    alignas(32) std::array<double, kImageRays> reflected_{};
    // The room factor in every lane of a register.
    alignas(32) std::array<double, 4> roomFactors_{};
    // On update samples: which rays ran.
    std::array<bool, kImageRays> rayUpdated_{};
    // The two directivity sections' coefficients over the turn (full units) or
    // the one-pole's poles (cross unit), for one rate.
    struct RateTables {
        bool cross = false;
        DirectivityTable lobeA;
        DirectivityTable lobeB;
        DecayPoleTable crossPoles;
        void begin(double rate);
        int extend(int budget);
        bool complete() const;
    };
    StagedTables<RateTables> tables_;
    std::array<MultiFilter, kStaticEqCascades> staticEq_;

    // A run in progress: each sample's settings and rotor speed, and its rays.
    struct RunFrames {
        int firstWrite = 0; // the history's write index at the run's first sample
        std::array<double, kRunLength> fmSamples{}, e{}, floor{}, speed{};
        std::array<double, kRunLength> angle{}; // the rotor's heard angle
        std::array<bool, kRunLength> update{};
        std::array<StaticReads, kRunLength> statics{};
    };
    RunFrames run_;
    // Whether the started run takes the wide paths (its rays' values in float).
    bool runWide_ = false;
    // The rotor's part of the last started run.
    Rotor::Steps rotorSteps_;
    // The lane factors and what they were made from: the reflection coefficient,
    // the open back factor and the ray levels.
    using FactorKey = std::array<double, 2 + kRayLevelCount>;
    LaneFactors factors_{};
    FactorKey factorKey_{};
    bool factorsMade_ = false;
    std::array<FullRays, kRunLength> fullRun_{};
    std::array<CrossRays, kRunLength> crossRun_{};
    std::array<LobeTargets, kRunLength> runTargets_{}; // on the run's update samples
    // What each ray adds to the sum, per sample of the run.
    alignas(32) std::array<std::array<double, kImageRays>, kRunLength> heardRun_{};
};

} // namespace zel
