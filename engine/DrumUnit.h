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
// The settings, rotor and rebuild steps it shares with the horn unit live in
// CabinetUnit.
//
// Threads: the setters store Relaxed values and may run on any thread. process,
// processRun, rebuild, clearState and setUnitRate run on the audio thread;
// geometry, filter re-tuning and flip are applied there.
#pragma once

#include "engine/BiquadFilter.h"
#include "engine/CabinetUnit.h"
#include "engine/CascadeRun.h"
#include "engine/CpuFeatures.h"
#include "engine/DecayPoleTable.h"
#include "engine/DirectivityTable.h"
#include "engine/DrumRayLanes.h"
#include "engine/GlidingSections.h"
#include "engine/MultiFilter.h"
#include "engine/RayBatch.h"
#include "engine/StagedTables.h"
#include "engine/data/DrumTables.h"

#include <array>
#include <cstdint>
#include <type_traits>

namespace zel {

class DrumUnit final : public CabinetUnit {
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
    static constexpr double kReflectionTopHz = 20000;

    explicit DrumUnit(Kind kind);

    // Audio thread (rebuild is the shared one).
    double process(double x);
    // n samples at once: y[j] = process(x[j]), lowStatic[j] the low static output
    // and mech[j] the motor-noise player's sample right after it (either may be
    // null; mech is 0 without a player), to the bit. First the input filter over
    // the run, then the frames' starts and every sample's rays in passes (the
    // processor overlaps the samples' chains), then (main unit) the splitters of
    // every sample and the sections a stretch between directivity updates at a
    // time, then the mix and the player sample by sample, their recursions side
    // by side. Settings are read once per run.
    void processRun(const double* x, double* y, double* lowStatic, double* mech, int n);
    // The samples processRun takes in one piece (longer runs go in pieces).
    static constexpr int kMaxRun = 64;
    void setUnitRate(double rate, int factor) override;
    int prepareRate(double rate, int budget) override;
    void clearState();
    // The low part of the static ray after the last process (main unit; 0 otherwise).
    double lowStaticOutput() const { return lowStaticOutput_; }
    // The unit whose runs this one's may reuse (null: none): the engine's cross
    // unit takes the main unit's, which runs just before it on the same samples.
    // A run takes `source`'s last run through its input filter whenever its own
    // input filter is in the state and tuning that run started from and the
    // samples are the same (it would compute the same values); otherwise it
    // filters them itself. It takes the source's rotor steps too where its rotor
    // is on the course the source's was on (see tookRotorSteps). `source` must
    // outlive this unit's runs.
    void reuseInputFrom(const DrumUnit* source) { inputSource_ = source; }
    // Whether the last run (its last piece) took the source's values.
    bool reusedInput() const { return reusedInput_; }
    // Whether the last run (its last piece) took the source's rotor steps: it
    // does where this unit's rotor was on the course the source's was on at the
    // start of the source's last run of as many samples (the steps follow from
    // the course alone, so they are the same to the bit).
    bool tookRotorSteps() const { return tookRotorSteps_; }

    // Settings (any thread), beside the shared ones. Filter saturation, splitter
    // and reflection low-pass take effect at the next sample (at the next run in
    // processRun).
    void setRayLevel(int ray, double level);
    void setSplitterFrequency(double hz) { splitterHz_.store(hz); }
    void setLowStaticGain(double gain) { lowStaticGain_.store(gain); }

    // Audio thread, valid after a rebuild.
    const RayPath& rayPath(int i) const { return rays_[i].path; }
    // The target coefficients of a ray's directivity low-pass (a0 not kept: 1).
    BiquadCoefficients directivity(int i) const { return sections_.target(i); }
    // The opening's displacement toward each ray at the last sample.
    double displacement(int i) const { return lastLambda_[i]; }
    double splitterPole() const { return splitterPole_; }

    Kind kind() const { return kind_; }

    // Whether the rays run eight to a register in single precision (processors
    // with AVX2; on by default where there is one). Both ways give the same
    // values to single precision's rounding (DrumRayLanes); the switch lets the
    // tests hold one against the other.
    void setWideRays(bool on) { wide_ = on && cpuHasAvx2(); }
    bool wideRays() const { return wide_; }

private:
    // The settings a sample of the mix reads.
    struct MixLevels {
        std::array<double, kRayLevelCount> ray;
        double staticLevel, lowStaticGain, mech;
    };
    MixLevels mixLevels() const;
    void runPiece(const double* x, double* y, double* lowStatic, double* mech, int n);
    [[gnu::target("avx2,fma")]] void runPieceMain(const Frame& settings, int n, double* y,
                                                  double* lowStatic, double* mech);
    [[gnu::target("avx2,fma")]] void runPieceCross(const Frame& settings, int n, double* y);
    // A sample from the input filter's value on (process after the filter).
    double frameMain(double filtered);
    double frameCross(double filtered);
    // The main unit's rays up to their directivity low-passes, from RayBatch: the
    // splitters, the sections' inputs (silence for a side ray the back region
    // leaves out) and the gains. With the lanes (eight to a register): splitMain.
    void mainRaysNarrow(const Frame& f);
    // On directivity update samples: the heard rays' sections take the
    // coefficients for where the mouth points; the others stop where they are.
    template <typename Rays> void updateMainDirectivity(const Rays& rays);
    // The splitters, the sections' inputs and the gains from the lanes' values of
    // one sample.
    void splitMain(const double* sigma, const double* lambda, const double* attenuation);
    // The main unit's sample from the sections on: the directivity low-passes,
    // the reflections, the static ray (input sigma; the player gets its hand-over
    // with the rotor's angle and speed) and the splitter's low static part.
    // mixMainOn: the same with the sections' path given (a run takes it once).
    using SectionPath = GlidingSections<8>::Path;
    [[gnu::always_inline]] inline double mixMainOn(SectionPath path, const Frame& f,
                                                   const MixLevels& levels, double staticSigma,
                                                   double retardedAngle, double speed);
    double mixMain(const Frame& f, const MixLevels& levels, double staticSigma,
                   double retardedAngle, double speed);
    // The same from the sections' outputs (rays) and the rays' gains (alpha).
    [[gnu::always_inline]] inline double mixMainRays(const double* rays, const double* alpha,
                                                     const Frame& f, const MixLevels& levels,
                                                     double staticSigma, double retardedAngle,
                                                     double speed);
    // The mix from the rays' sum h and their levels' sum on: the static ray and
    // the splitter's low static part.
    [[gnu::always_inline]] inline double finishMain(const Frame& f, const MixLevels& levels,
                                                    double h, double levelSum, double staticSigma,
                                                    double retardedAngle, double speed);
    // A run's splitters, sections' inputs and gains (splitMain for each sample
    // of the run, each lane's splitter in a register), then its sections, a
    // stretch between directivity updates at a time.
    [[gnu::target("avx2,fma"), gnu::always_inline]] inline void splitRun(int n);
    [[gnu::target("avx2,fma"), gnu::always_inline]] inline void sectionsRun(SectionPath path,
                                                                            int n);
    // A cross unit's sample from the values of its lanes.
    // side: sideRay() (a run takes it once).
    double mixCross(const Frame& f, const MixLevels& levels, int side, const double* lambda,
                    const double* mu, const double* sigma, const double* attenuation,
                    double retardedAngle, double speed);
    // A cross unit's ray from its values this sample (from the lanes, or computed
    // here one ray at a time: crossRay).
    double crossRay(int i, double weight, const Frame& f);
    double crossRayFrom(int i, double weight, const Frame& f, double lambda, double mu,
                        double sigma, double attenuation);
    // The static ray from its input, delayed by the front ray's path.
    // The player (main unit) takes its hand-over from it: the rotor's retarded
    // angle along the front ray and its speed.
    [[gnu::always_inline]] inline double staticRay(const Frame& f, double sigma, double mechLevel,
                                                   double retardedAngle, double speed);
    // staticRay in a run's loop, with its low-pass state and coefficient held
    // by the run (in registers: in the members, each sample's step waited for
    // the last one's store, the output stores between them possibly aliasing).
    // The low-pass goes through staticLowPassed on update samples only, where
    // its corner may move. j: the run's sample, for the player's hand-over.
    struct HeldStatic {
        double low, coef, alpha;
    };
    HeldStatic holdStatic() const { return {staticLowPass_, staticCoef_, staticAlpha_}; }
    [[gnu::always_inline]] inline double staticRayHeld(HeldStatic& s, double sigma, bool update,
                                                       double mechLevel, int j);
    // The side ray the back region lets in (0 for none).
    int sideRay() const { return backRegion_ == 0 ? 1 : (backRegion_ == 2 ? 2 : 0); }
    bool heard(int ray) const { return !((ray == 1 || ray == 2) && ray != sideRay()); }
    // The lanes' geometry and which of them are heard, after a rebuild or rate
    // change.
    void loadLanes();

    void computeGeometry() override;
    void updateRateTerms() override;
    // Values that re-tune filters at once when they change: compared with what
    // was applied at every sample, so a change from any thread is picked up.
    void applyTuning() {
        if (reflectionLowPass_.load() != appliedReflectionLowPass_ ||
            splitterHz_.load() != appliedSplitterHz_ ||
            filterSaturation_.load() != appliedSaturation_)
            retune();
    }
    void retune();
    void configureInputFilter(double saturation);

    const Kind kind_;

    // Settings.
    std::array<Relaxed<double>, kRayLevelCount> rayLevels_{};
    Relaxed<double> splitterHz_{drum::kDefaultSplitterHz};
    Relaxed<double> lowStaticGain_{0.0};

    // Geometry as of the last rebuild.
    std::array<RayTrack, kImageRays> rays_{};
    RayBatch<kImageRays> batch_; // the main unit's rays, side by side
    // The rays eight to a register. The main unit: rays 0 to 5 in lanes 0 to 5,
    // the static ray in lanes 6 and 7. The cross unit: ray 0, the side ray the
    // back region lets in (ray 1 when none), ray 3, the static ray (in lanes 3
    // to 7).
    static constexpr int kRayLanes = 8;
    static constexpr int kMainStaticLane = 6;
    static constexpr int kCrossLanes = 4;
    static constexpr int kCrossSideLane = 1;
    static constexpr int kCrossBackLane = 2;
    static constexpr int kCrossStaticLane = 3;
    DrumRayLanes<kRayLanes> lanes_;
    // A run's frame starts and every sample's rays from the lanes (the cross
    // unit's or the main unit's), from the input filter's values.
    template <bool Cross>
    [[gnu::target("avx2,fma")]] void startFramesWide(const double* values, int n, double fmSamples);
    template <bool Cross>
    void startFramesAny(const double* x, const double* shared, double* filtered, int n,
                        double fmSamples);
    // The unit whose rotor steps a run of n samples may take (the source, where
    // its last run started from `course`), or null.
    const DrumUnit* stepsSource(const Rotor::Course& course, int n) const;
    bool wide_ = cpuHasAvx2();

    // Tuning as applied.
    double q1_ = 0, q2_ = 0;
    double splitterPole_ = 0;
    double appliedSplitterHz_ = -1;
    double appliedSaturation_ = -1;

    // Audio state.
    double lowStatic_ = 0;
    double lowStaticOutput_ = 0;
    // The rays' low-passes at rest (their settings at the rate), and as they run,
    // side by side (two lanes spare).
    std::array<BiquadFilter, kImageRays> lowPass_;
    static constexpr int kSectionLanes = 8;
    static_assert(kSectionLanes == kRayLanes);
    static_assert(std::is_same_v<SectionPath, GlidingSections<kSectionLanes>::Path>);
    GlidingSections<kSectionLanes> sections_;
    // Per section lane (main unit): heard (all bits set) or not, the splitter's
    // low part, the displacement, the section's input and the ray's attenuation.
    alignas(32) std::array<uint64_t, kSectionLanes> heard_{};
    alignas(32) std::array<double, kSectionLanes> split_{};
    alignas(32) std::array<double, kSectionLanes> lastLambda_{};
    alignas(32) std::array<double, kSectionLanes> rayInput_{};
    alignas(32) std::array<double, kSectionLanes> rayAlpha_{};
    // The rays' low-pass coefficients over the turn (main unit) or the one-pole's
    // poles (cross unit), for one rate.
    struct RateTables {
        bool cross = false;
        DirectivityTable lowPass;
        DecayPoleTable crossPoles;
        void begin(double rate);
        int extend(int budget);
        bool complete() const;
    };
    StagedTables<RateTables> tables_;
    std::array<BiquadFilter, MultiFilter::kSections> inputSections_;
    MultiFilter input_;
    // The last run this unit filtered itself, and the unit whose runs it may
    // reuse.
    static_assert(kMaxRun <= CascadeRun::kMaxSamples);
    CascadeRun inputRun_;
    const DrumUnit* inputSource_ = nullptr;
    bool reusedInput_ = false;
    bool tookRotorSteps_ = false;
    // The rotor's part of the last run.
    Rotor::Steps rotorSteps_;

    // A run's values per sample: the rotor's speed and heard angle, its retarded
    // angle along the front ray for the player, and the lanes' values (sample
    // j's lane i at [j kRayLanes + i]).
    std::array<double, kMaxRun> runAngle_{};
    std::array<double, kMaxRun> runSpeed_{};
    std::array<double, kMaxRun> runRetarded_{};
    struct RunLanes {
        alignas(32) double lambda[kMaxRun * kRayLanes];
        alignas(32) double mu[kMaxRun * kRayLanes];
        alignas(32) double input[kMaxRun * kRayLanes];
        alignas(32) double attenuation[kMaxRun * kRayLanes];
        // The main unit's sections: their inputs and outputs.
        alignas(32) double sectionIn[kMaxRun * kRayLanes];
        alignas(32) double sectionOut[kMaxRun * kRayLanes];
    };
    RunLanes runLanes_{};
    // Where each sample's delayed reads go, between a run's two passes.
    std::array<DrumRayLanes<kRayLanes>::SampleReads, kMaxRun> runReads_{};
};

} // namespace zel
