// The rotary engine's construction and its per-frame path.
#include "engine/RotaryEngine.h"

#include "engine/Interpolation.h"
#include "engine/OnePole.h"
#include "engine/SectionPair.h"
#include "engine/data/EngineFilterTables.h"

#include <algorithm>
#include <cmath>
#include <emmintrin.h>

namespace zel {

namespace {

// Scalings inside the cross paths and the mix.
constexpr double kUnitHalf = 0.5;          // each horn microphone hears half its unit
constexpr double kCrossUnitGain = 4.0;     // the cross units' outputs
constexpr double kBrGain = 4.0;            // the bass-reflex port into either microphone
constexpr double kBrDrive = 8.0;           // into and out of the bass-reflex resonator
constexpr double kHornToDrumScale = 0.25;  // the horn into the drum microphone
constexpr double kHornLeak = 0.1575;       // the horn's cross path into its own microphones
constexpr double kMixGain = 0.50118723362; // -6 dB on the output mix

void configure(BiquadFilter& f, const enginefilters::SectionSetting& s, double bias) {
    f.setType(s.type);
    f.setAll(s.hz, s.q, s.db);
    f.setBias(bias);
    f.setEnabled(s.enabled);
}

// The dry path of both channels side by side in an SSE2 register: dryStep's
// operations in its order on each lane.
class DryPair {
public:
    DryPair(double pole, double gain, const std::array<double, 2>& state) noexcept
        : pole_(_mm_set1_pd(pole)), scale_(_mm_set1_pd(gain)),
          state_(_mm_setr_pd(state[0], state[1])) {}
    // Frame i's pair into dry0[i] and dry1[i].
    void step(double in0, double in1, double& dry0, double& dry1) noexcept {
        const __m128d half = _mm_set1_pd(0.5);
        const __m128d guard = _mm_set1_pd(kEngineGuard);
        const __m128d target = _mm_mul_pd(_mm_mul_pd(scale_, _mm_setr_pd(in0, in1)), half);
        state_ = _mm_add_pd(target, _mm_mul_pd(pole_, _mm_sub_pd(state_, target)));
        state_ = _mm_sub_pd(_mm_add_pd(state_, guard), guard);
        _mm_storel_pd(&dry0, state_);
        _mm_storeh_pd(&dry1, state_);
    }
    void store(std::array<double, 2>& state) const noexcept {
        _mm_storel_pd(&state[0], state_);
        _mm_storeh_pd(&state[1], state_);
    }

private:
    __m128d pole_, scale_, state_;
};

} // namespace

static_assert(RotaryEngine::kRunSamples <= DrumUnit::kMaxRun, "a run is one piece for the drums");

struct RotaryEngine::RunScratch {
    template <typename T> using PerFrame = std::array<T, kRunFrames>;
    template <typename T> using PerSample = std::array<T, kRunSamples>;
    // Per frame: the dry path's pair and the fade's level.
    PerFrame<double> dry0, dry1, fade;
    // Whether the dry path waits for the back half, with the gain it takes
    // (a resting run: one gain for all of its frames).
    bool dryLater = false;
    double dryGain = 0.0;
    // Per frame: its kind and, unless bypassed, its decimator index; how many
    // of the run's frames are bypassed.
    PerFrame<int8_t> kind;
    int bypassed = 0;
    PerFrame<int> decimatorIndex;
    // Per frame: the drive curve's input, type, drive and the gain after it.
    PerFrame<double> ampIn, drive, postDrive;
    PerFrame<int32_t> ampType;
    // Per simulated sample: its smoothed values (a copy taken whenever they
    // moved: at most one per sample) and the decimated input.
    PerSample<SimLevels> levels;
    PerSample<const SimLevels*> sims;
    // The same for the cross paths, which glide apart from the levels.
    PerSample<CrossPathSettings> crosses;
    PerSample<const CrossPathSettings*> simCross;
    PerSample<double> simInput;
    // Per simulated sample: the paths' inputs, each unit's output and motor
    // noise, and the mix's result.
    PerSample<double> drumIn, hornIn, hornCrossIn, port;
    PerSample<double> drumOut, drumStatic, drumMech;
    std::array<PerSample<double>, 2> hornOut, hornMech;
    PerSample<double> drumCross, hornCross;
    // The mix's stages: the microphones before the room, the room's sends and
    // its return.
    PerSample<double> mic1, mic2, drumMic, sendL, sendR, roomLevel, roomL, roomR;
    PerSample<WetPair> wet;
    // Per frame that is not bypassed: its decimator index and its wet pair on
    // the way back to the host rate.
    PerFrame<int> wetIndex;
    PerFrame<double> wetLeft, wetRight;
};

RotaryEngine::RotaryEngine()
    : hornUnits_{std::make_unique<HornUnit>(HornUnit::Kind::Microphone1),
                 std::make_unique<HornUnit>(HornUnit::Kind::Microphone2)},
      hornCross_(std::make_unique<HornUnit>(HornUnit::Kind::Cross)),
      drumMain_(std::make_unique<DrumUnit>(DrumUnit::Kind::Main)),
      drumCross_(std::make_unique<DrumUnit>(DrumUnit::Kind::Cross)),
      room_(std::make_unique<EarlyReflections>()), run_(std::make_unique<RunScratch>()) {
    // The cross unit runs right after the main unit on the same input: while
    // their input filters agree it takes the main unit's filtered samples.
    drumCross_->reuseInputFrom(drumMain_.get());
    clearRings();
    configureFixedFilters();
    configureToneArrays();
    chooseFactor(fs_);
    recomputeSmoothingCoefficients();
}

RotaryEngine::~RotaryEngine() = default;

void RotaryEngine::configureFixedFilters() {
    using namespace enginefilters;
    configure(drumShelf_, kDrumShelf, kSaturationBias);
    configure(brResonator_, kBrResonator, kSaturationBias);
    for (int i = 0; i < 2; ++i) {
        configure(hornMicHighPass_[i], kHornMicHighPass, 0.0);
        configure(colorPeak_[i], kColorPeak, kSaturationBias);
        configure(colorShelf_[i], kColorShelf, kSaturationBias);
        configure(reconstructionLowPass_[i], kReconstructionLowPass, 0.0);
    }
}

void RotaryEngine::configureToneArrays() {
    using namespace enginefilters;
    for (size_t i = 0; i < kHornTone.size(); ++i)
        configure(hornTone_[i], kHornTone[i], kSaturationBias);
    for (size_t i = 0; i < kHornCrossTone.size(); ++i)
        configure(hornCrossTone_[i], kHornCrossTone[i], kSaturationBias);
    applyHornSaturation(hornSaturation_.load());
    copyToneArrays();
}

void RotaryEngine::applyHornSaturation(double s) {
    appliedHornSaturation_ = s;
    for (BiquadFilter& f : hornTone_) f.setSaturation(0.0);
    for (BiquadFilter& f : hornCrossTone_) f.setSaturation(0.0);
    for (int i : enginefilters::kHornToneSaturated) hornTone_[i].setSaturation(s);
    for (int i : enginefilters::kHornCrossToneSaturated) hornCrossTone_[i].setSaturation(s);
}

void RotaryEngine::copyToneArrays() {
    for (int c = 0; c < 3; ++c) hornToneCascades_[c].copyFrom(&hornTone_[c * 4]);
    for (int c = 0; c < 2; ++c) hornCrossCascades_[c].copyFrom(&hornCrossTone_[c * 4]);
}

// ---- per frame ----------------------------------------------------------------

// The smoothed values move toward their targets every frame. A value whose step
// leaves it where it is has reached its resting point for that target (the step
// is the same function of the value every frame). Once every value rests, the
// steps are skipped until a target is stored again, the cross paths change or
// the coefficients do: the values then are exactly what the steps would give.
// Inlined into the frame loop: at rest it is a few compares.
[[gnu::always_inline]] inline unsigned RotaryEngine::smoothLevels() {
    const uint32_t changes = targets.changes.count();
    unsigned stepped = 0;
    if (!levelsAtRest_ || changes != restChanges_ || room_->returnLevel() != restRoomLevel_) {
        stepLevels(changes);
        stepped |= kLevelsStepped;
    }
    if (!crossAtRest_) {
        stepCrossPaths();
        stepped |= kCrossStepped;
    }

    // The MIDI activity light falls back to 0 over half a second.
    const float activity = amp.modulationActivity.load();
    if (activity != 0.0f) fadeActivity(activity);
    return stepped;
}

void RotaryEngine::fadeActivity(float activity) {
    amp.modulationActivity = static_cast<float>(smoothToward(activity, 0.0, c500_));
}

void RotaryEngine::stepLevels(uint32_t changes) {
    const double k = c30_;
    Levels& v = levels_;
    const SmoothedTargets& t = targets;
    bool moved = false;
    const auto step = [&moved](double& value, double target, double coef) {
        const double next = smoothToward(value, target, coef);
        moved |= next != value;
        value = next;
    };
    step(v.inputGain, t.inputGain.load(), k);
    step(v.drive, t.drive.load(), c100_);
    step(v.postDriveGain, t.postDriveGain.load(), k);
    step(v.hornInputGain, t.hornInputGain.load(), k);
    step(v.drumInputGain, t.drumInputGain.load(), k);
    step(v.hornMicLevel, t.hornMicLevel.load(), k);
    step(v.micMakeupGain, t.micMakeupGain.load(), k);
    step(v.mic2Gain, t.mic2Gain.load(), k);
    step(v.drumMicLevel, t.drumMicLevel.load(), k);
    step(v.mic1PanLeft, t.mic1PanLeft.load(), k);
    step(v.mic1PanRight, t.mic1PanRight.load(), k);
    step(v.mic2PanLeft, t.mic2PanLeft.load(), k);
    step(v.mic2PanRight, t.mic2PanRight.load(), k);
    step(v.drumPanLeft, t.drumPanLeft.load(), k);
    step(v.drumPanRight, t.drumPanRight.load(), k);
    step(v.drumToTubeFeedback, t.drumToTubeFeedback.load(), k);
    step(v.hornToDrumFeedback, t.hornToDrumFeedback.load(), k);
    step(v.brToTubeGain, t.brToTubeGain.load(), k);
    step(v.brToDrumGain, t.brToDrumGain.load(), k);
    step(v.hornHighPassMix, t.hornHighPassMix.load(), k);
    step(v.drumLowPassMix, t.drumLowPassMix.load(), k);
    step(v.mechPanNear, t.mechPanNear.load(), k);
    step(v.mechPanFar, t.mechPanFar.load(), k);
    const double roomLevel = room_->returnLevel();
    room_->setReturnLevel(t.roomReturnLevel.load());
    room_->smoothReturnLevel(k);
    restRoomLevel_ = room_->returnLevel();
    levelsAtRest_ = !moved && restRoomLevel_ == roomLevel;
    restChanges_ = changes;
}

// The cross paths' delays and gains rest apart from the levels: their targets
// move only with a new geometry (which wakes them), and their glide toward it
// takes far longer than the levels' usually do.
void RotaryEngine::stepCrossPaths() {
    // smoothToward two values at a time: the same operations in the same order
    // on each lane.
    const __m128d k = _mm_set1_pd(c30_);
    const __m128d guard = _mm_set1_pd(kEngineGuard);
    CrossPathSettings& current = crossCurrent_;
    const CrossPathSettings& target = crossTarget_;
    int moved = 0;
    const auto step = [&](__m128d value, __m128d to) {
        const __m128d next = _mm_sub_pd(
            _mm_add_pd(_mm_add_pd(value, _mm_mul_pd(_mm_sub_pd(to, value), k)), guard), guard);
        moved |= _mm_movemask_pd(_mm_cmpneq_pd(next, value));
        return next;
    };
    static_assert(std::tuple_size_v<decltype(current.delay)> == 5);
    for (int i = 0; i < 4; i += 2) {
        _mm_storeu_pd(&current.delay[i],
                      step(_mm_loadu_pd(&current.delay[i]), _mm_loadu_pd(&target.delay[i])));
        _mm_storeu_pd(&current.gain[i],
                      step(_mm_loadu_pd(&current.gain[i]), _mm_loadu_pd(&target.gain[i])));
    }
    const __m128d last = step(_mm_setr_pd(current.delay[4], current.gain[4]),
                              _mm_setr_pd(target.delay[4], target.gain[4]));
    _mm_storel_pd(&current.delay[4], last);
    _mm_storeh_pd(&current.gain[4], last);
    crossAtRest_ = moved == 0;
}

void RotaryEngine::processSample(double in0, double in1, double& out0, double& out1) {
    runFrames(&in0, &in1, &out0, &out1, 1, false);
}

void RotaryEngine::processFrames(const double* in0, const double* in1, double* out0, double* out1,
                                 int n) {
    const int piece = kRunSamples * std::clamp(factor_.load(), 1, kMaxDecimationFactor);
    for (int done = 0; done < n; done += piece) {
        const int count = std::min(piece, n - done);
        runFrames(in0 + done, in1 + done, out0 + done, out1 + done, count, true);
    }
}

void RotaryEngine::runFrames(const double* in0, const double* in1, double* out0, double* out1,
                             int n, bool stepFades) {
    const int simulated = frontFrames(in0, in1, n, stepFades);
    simulateRun(simulated);
    backFrames(in0, in1, out0, out1, n);
}

[[gnu::always_inline]] inline void RotaryEngine::takeSimFrame(SimCopies& copies, int& simulated) {
    RunScratch& s = *run_;
    if (copies.levels == nullptr) {
        SimLevels& taken = s.levels[copies.levelCount++];
        taken.v = levels_;
        taken.roomLevel = room_->returnLevel();
        copies.levels = &taken;
    }
    if (copies.cross == nullptr) {
        s.crosses[copies.crossCount] = crossCurrent_;
        copies.cross = &s.crosses[copies.crossCount++];
    }
    s.simCross[simulated] = copies.cross;
    s.sims[simulated++] = copies.levels;
}

// Levels, amplifier, tone and the decimator's input side, in passes over
// the run: levels and dry path per frame; the drive curve; the tone filters; the
// decimator. The frames the simulation runs on keep their smoothed values for
// it. Returns the number of those frames.
int RotaryEngine::frontFrames(const double* in0, const double* in1, int n, bool stepFades) {
    if (restingRun(stepFades)) return restingFrames(in0, in1, n, stepFades);
    RunScratch& s = *run_;
    int simulated = 0;
    s.bypassed = 0;
    s.dryLater = false;
    // The copy of the smoothed values the run's next simulated frame takes, or
    // null where they moved since the last copy.
    SimCopies copies;
    for (int i = 0; i < n; ++i) {
        if (stepFades) stepFade();
        const unsigned stepped = smoothLevels();
        if (stepped & kLevelsStepped) copies.levels = nullptr;
        if (stepped & kCrossStepped) copies.cross = nullptr;
        const Levels& v = levels_;
        s.ampIn[i] = ((in0[i] + in1[i]) * 0.5) * v.inputGain;
        s.ampType[i] = amp.ampType.load();
        s.drive[i] = v.drive;
        s.postDrive[i] = v.postDriveGain;
        int8_t& kind = s.kind[i];
        kind = kBypassFrame;
        if (amp.speakerBypass.load() == 0) {
            if ((counter_ & decimationMask_) == 0) {
                takeSimFrame(copies, simulated);
                kind = kSimFrame;
            } else {
                kind = kQuietFrame;
            }
            ++counter_;
        } else {
            ++s.bypassed;
        }
        // The dry path the fade goes to.
        s.dry0[i] = dryStep(dry_[0], in0[i], v.inputGain);
        s.dry1[i] = dryStep(dry_[1], in1[i], v.inputGain);
        s.fade[i] = fade_.level();
    }
    ampRun(n);
    return simulated;
}

bool RotaryEngine::restingRun(bool stepFades) const {
    return (!stepFades || fade_.state() == FadeMachine::kNormal) && levelsAtRest_ &&
           targets.changes.count() == restChanges_ && room_->returnLevel() == restRoomLevel_ &&
           amp.modulationActivity.load() == 0.0f;
}

int RotaryEngine::restingFrames(const double* in0, const double* in1, int n, bool stepFades) {
    RunScratch& s = *run_;
    // An idle fade's steps leave its level as it is.
    if (stepFades) blockFrames_ += n;
    const Levels& v = levels_;
    const double gain = v.inputGain;
    for (int i = 0; i < n; ++i) s.ampIn[i] = ((in0[i] + in1[i]) * 0.5) * gain;
    std::fill_n(s.ampType.data(), n, amp.ampType.load());
    std::fill_n(s.drive.data(), n, v.drive);
    std::fill_n(s.postDrive.data(), n, v.postDriveGain);
    std::fill_n(s.fade.data(), n, fade_.level());

    const int simulated = crossAtRest_ ? restingKinds<false>(n) : restingKinds<true>(n);

    // The dry path's recursion runs beside the reconstruction low-pass's in the
    // back half, where neither then waits on the other.
    s.dryLater = true;
    s.dryGain = gain;
    ampRun(n);
    return simulated;
}

// The frames' kinds and the simulated frames' values. Where the cross paths
// glide, they are stepped per frame and copied for the simulated frames after
// each step.
template <bool Gliding> int RotaryEngine::restingKinds(int n) {
    RunScratch& s = *run_;
    int simulated = 0;
    const bool bypass = amp.speakerBypass.load() != 0;
    s.bypassed = bypass ? n : 0;
    if (!Gliding && !bypass) {
        // One copy of everything for the simulated frames, which follow the
        // counter.
        const uint32_t mask = decimationMask_;
        const uint32_t counter = counter_;
        for (int i = 0; i < n; ++i)
            s.kind[i] =
                ((counter + static_cast<uint32_t>(i)) & mask) == 0 ? kSimFrame : kQuietFrame;
        counter_ = counter + static_cast<uint32_t>(n);
        for (int i = 0; i < n; ++i) simulated += s.kind[i] == kSimFrame;
        if (simulated == 0) return 0;
        s.levels[0].v = levels_;
        s.levels[0].roomLevel = room_->returnLevel();
        s.crosses[0] = crossCurrent_;
        std::fill_n(s.sims.data(), simulated, &s.levels[0]);
        std::fill_n(s.simCross.data(), simulated, &s.crosses[0]);
        return simulated;
    }
    SimCopies copies;
    for (int i = 0; i < n; ++i) {
        if constexpr (Gliding) {
            if (!crossAtRest_) {
                stepCrossPaths();
                copies.cross = nullptr;
            }
        }
        int8_t kind = kBypassFrame;
        if (!bypass) {
            kind = kQuietFrame;
            if ((counter_ & decimationMask_) == 0) {
                takeSimFrame(copies, simulated);
                kind = kSimFrame;
            }
            ++counter_;
        }
        s.kind[i] = kind;
    }
    return simulated;
}

void RotaryEngine::ampRun(int n) {
    RunScratch& s = *run_;
    ampStage_.processRun(s.ampIn.data(), s.ampType.data(), s.drive.data(), s.postDrive.data(), n);
    decimator_.pushRun(s.ampIn.data(), s.kind.data(), s.decimatorIndex.data(), s.simInput.data(),
                       n);
}

// The decimator's output side (with a table: the reconstruction low-pass, then
// the interpolation, each over the run's frames in order), the dry path where
// it waited for it, then the fade and the output guard frame by frame.
void RotaryEngine::backFrames(const double* in0, const double* in1, double* out0, double* out1,
                              int n) {
    RunScratch& s = *run_;
    const bool interpolate = decimator_.hasTable();
    if (interpolate && s.dryLater)
        reconstructRun<true>(in0, in1, n);
    else if (interpolate)
        reconstructRun<false>(in0, in1, n);
    else if (s.dryLater)
        dryRun(in0, in1, n);
    int simulated = 0;
    if (interpolate && s.bypassed == 0) {
        // Every frame has its interpolated pair.
        for (int i = 0; i < n; ++i) {
            const double fade = s.fade[i];
            out0[i] = denormalGuard((1.0 - fade) * s.wetLeft[i] + fade * s.dry0[i], kOutputGuard);
            out1[i] = denormalGuard((1.0 - fade) * s.wetRight[i] + fade * s.dry1[i], kOutputGuard);
        }
        return;
    }
    int wetFrame = 0;
    for (int i = 0; i < n; ++i) {
        const int8_t kind = s.kind[i];
        WetPair wet{s.ampIn[i], s.ampIn[i]};
        if (kind != kBypassFrame) {
            if (interpolate) {
                wet = {s.wetLeft[wetFrame], s.wetRight[wetFrame]};
                ++wetFrame;
            } else {
                WetPair sim{0.0, 0.0};
                if (kind == kSimFrame) sim = s.wet[simulated++];
                wet = {static_cast<float>(sim.left), static_cast<float>(sim.right)};
            }
        }
        const double fade = s.fade[i];
        out0[i] = denormalGuard((1.0 - fade) * wet.left + fade * s.dry0[i], kOutputGuard);
        out1[i] = denormalGuard((1.0 - fade) * wet.right + fade * s.dry1[i], kOutputGuard);
    }
}

// The reconstruction low-pass over the run's frames that are not bypassed,
// then the interpolation; with DryLater the dry path of every frame in the
// same loop.
template <bool DryLater>
void RotaryEngine::reconstructRun(const double* in0, const double* in1, int n) {
    RunScratch& s = *run_;
    DryPair dry(kDry_, s.dryGain, dry_);
    int simulated = 0, wetFrames = 0;
    PlainSectionPair lowPass(reconstructionLowPass_[0], reconstructionLowPass_[1]);
    for (int i = 0; i < n; ++i) {
        if (DryLater) dry.step(in0[i], in1[i], s.dry0[i], s.dry1[i]);
        const int8_t kind = s.kind[i];
        if (kind == kBypassFrame) continue;
        WetPair sim{0.0, 0.0};
        if (kind == kSimFrame) sim = s.wet[simulated++];
        s.wetIndex[wetFrames] = s.decimatorIndex[i];
        const PlainSectionPair::Pair wet =
            lowPass.process(PlainSectionPair::Pair{sim.left, sim.right});
        s.wetLeft[wetFrames] = wet[0];
        s.wetRight[wetFrames] = wet[1];
        ++wetFrames;
    }
    lowPass.store();
    if (DryLater) dry.store(dry_);
    decimator_.interpolateRun(s.wetIndex.data(), s.wetLeft.data(), s.wetRight.data(), wetFrames);
}

void RotaryEngine::dryRun(const double* in0, const double* in1, int n) {
    RunScratch& s = *run_;
    DryPair dry(kDry_, s.dryGain, dry_);
    for (int i = 0; i < n; ++i) dry.step(in0[i], in1[i], s.dry0[i], s.dry1[i]);
    dry.store(dry_);
}

double RotaryEngine::dryStep(double& state, double in, double gain) const {
    state = poleToward(state, gain * in * 0.5, kDry_);
    return state;
}

// The speaker simulation at the internal rate. No unit hears another within a
// sample (the cross paths reach the microphones through the rings, read in the
// mix), so each unit runs through all of the run's samples before the next one.
void RotaryEngine::simulateRun(int count) {
    if (count <= 0) return;
    simulateInputs(count);
    simulateUnits(count);
    mixRun(count);
}

// The inputs of the drum and horn paths and of the bass-reflex port, then the
// horn's main (three cascades) and cross (two) tone chains over the run, side by
// side.
void RotaryEngine::simulateInputs(int count) {
    RunScratch& s = *run_;
    // The drum's shelf and the port's resonator side by side.
    PlainSectionPair drumAndPort(drumShelf_, brResonator_);
    for (int j = 0; j < count; ++j) {
        const SimLevels& sim = *s.sims[j];
        const double d = s.simInput[j];
        const PlainSectionPair::Pair shaped =
            drumAndPort.process(PlainSectionPair::Pair{d, d * kBrDrive});
        s.drumIn[j] = shaped[0] * sim.v.drumInputGain;
        hornDiff_ = denormalGuard(hornDiffPole_ * hornDiff_ + (d - previousD_));
        previousD_ = d;
        s.hornIn[j] = s.hornCrossIn[j] = hornDiff_ * sim.v.hornInputGain;
        s.port[j] = shaped[1] * sim.v.drumInputGain * kBrDrive;
    }
    drumAndPort.store();
    MultiFilter::processChainPairBlock(hornToneCascades_.data(), s.hornIn.data(), 3,
                                       hornCrossCascades_.data(), s.hornCrossIn.data(), 2, count);
}

void RotaryEngine::simulateUnits(int count) {
    RunScratch& s = *run_;
    DrumUnit& drum = *drumMain_;
    HornUnit& horn0 = *hornUnits_[0];
    HornUnit& horn1 = *hornUnits_[1];
    drum.processRun(s.drumIn.data(), s.drumOut.data(), s.drumStatic.data(), s.drumMech.data(),
                    count);
    HornUnit::processMicrophonesRun(horn0, horn1, s.hornIn.data(), s.hornOut[0].data(),
                                    s.hornOut[1].data(), s.hornMech[0].data(), s.hornMech[1].data(),
                                    count);
    for (int j = 0; j < count; ++j) {
        s.hornMech[0][j] *= kUnitHalf;
        s.hornMech[1][j] *= kUnitHalf;
    }
    drumCross_->processRun(s.drumIn.data(), s.drumCross.data(), nullptr, nullptr, count);
    for (int j = 0; j < count; ++j) s.drumCross[j] *= kCrossUnitGain;
    // The cross unit's rotor usually turns as the first microphone unit's did.
    hornCross_->processRun(s.hornCrossIn.data(), s.hornCross.data(), count, &horn0);
    for (int j = 0; j < count; ++j) s.hornCross[j] *= kCrossUnitGain;
}

// The mix of the run's samples in passes: the cross paths and the microphones
// (the ring reads stay interleaved with the writes, since a cross path's delay
// may be under one sample), the room, and the returns (mixReturns). Each pass
// keeps its own recursions in sample order.
void RotaryEngine::mixRun(int count) {
    RunScratch& s = *run_;
    mixSends(count);
    room_->processRun(s.sendL.data(), s.sendR.data(), s.roomLevel.data(), s.roomL.data(),
                      s.roomR.data(), count);
    if (cpuHasAvx2())
        mixReturnsWide(count);
    else
        mixReturns(count);
}

// The returns with the straight passes four wide.
void RotaryEngine::mixReturnsWide(int count) {
    mixReturns(count);
}

// The returns over the run, in passes that each keep one recursion in
// registers: the room's colour (left and right side by side), the room and the
// mechanical noise into the microphones, the horn high-passes (side by side)
// and the drum low-pass, then the output mix. Where the colour sections or the
// horn high-passes glide, they take their samples one at a time in their pass.
// The room's sends and return arrays, done with by then, hold the passes'
// results.
void RotaryEngine::mixReturns(int count) {
    RunScratch& s = *run_;
    if (SectionPair::settled(colorPeak_[0], colorPeak_[1]) &&
        SectionPair::settled(colorShelf_[0], colorShelf_[1])) {
        SectionPair peak(colorPeak_[0], colorPeak_[1]);
        SectionPair shelf(colorShelf_[0], colorShelf_[1]);
        for (int j = 0; j < count; ++j) {
            const SectionPair::Pair room =
                shelf.process(peak.process(SectionPair::Pair{s.roomL[j], s.roomR[j]}));
            s.roomL[j] = room[0];
            s.roomR[j] = room[1];
        }
        peak.store();
        shelf.store();
    } else {
        for (int j = 0; j < count; ++j) {
            s.roomL[j] = colorShelf_[0].process(colorPeak_[0].process(s.roomL[j]));
            s.roomR[j] = colorShelf_[1].process(colorPeak_[1].process(s.roomR[j]));
        }
    }

    // The levels read once where every sample of the run shares one set (the
    // usual case: none of them moved), from a local copy no store can reach.
    const SimLevels* first = s.sims[0];
    const bool oneSet = std::all_of(s.sims.begin(), s.sims.begin() + count,
                                    [first](const SimLevels* sim) { return sim == first; });
    const Levels shared = first->v;
    const auto sharedAt = [&shared](int) -> const Levels& { return shared; };
    const auto levelsAt = [&s](int j) -> const Levels& { return s.sims[j]->v; };
    if (oneSet) {
        returnsIntoMicrophones(count, sharedAt);
        filtersAndOutput(count, sharedAt);
    } else {
        returnsIntoMicrophones(count, levelsAt);
        filtersAndOutput(count, levelsAt);
    }
}

// The horn high-passes and the drum low-pass, and the output mix. Settled, the
// filters run side by side in one pass with the mix (neither waits on the
// other's recursion, and the mix fills their waits); gliding, in passes.
template <typename LevelsAt>
void RotaryEngine::filtersAndOutput(int count, const LevelsAt& levelsAt) {
    RunScratch& s = *run_;
    const double kD = kD_;
    double lowPass = drumLowPass_;
    if (SectionPair::settled(hornMicHighPass_[0], hornMicHighPass_[1])) {
        SectionPair highPass(hornMicHighPass_[0], hornMicHighPass_[1]);
        for (int j = 0; j < count; ++j) {
            const SectionPair::Pair h = highPass.process(SectionPair::Pair{s.mic1[j], s.mic2[j]});
            lowPass = poleToward(lowPass, s.drumMic[j], kD);
            s.wet[j] =
                outputFrame(levelsAt(j), s.mic1[j], s.mic2[j], s.drumMic[j], h[0], h[1], lowPass);
        }
        highPass.store();
        drumLowPass_ = lowPass;
        return;
    }
    for (int j = 0; j < count; ++j) {
        s.sendL[j] = hornMicHighPass_[0].process(s.mic1[j]);
        s.sendR[j] = hornMicHighPass_[1].process(s.mic2[j]);
    }
    for (int j = 0; j < count; ++j) {
        lowPass = poleToward(lowPass, s.drumMic[j], kD);
        s.roomL[j] = lowPass;
    }
    drumLowPass_ = lowPass;
    for (int j = 0; j < count; ++j)
        s.wet[j] = outputFrame(levelsAt(j), s.mic1[j], s.mic2[j], s.drumMic[j], s.sendL[j],
                               s.sendR[j], s.roomL[j]);
}

// The room's return and the mechanical noise into the microphones, over the
// run: the coloured return in roomL and roomR, the sums in place of the
// microphones' signals. levelsAt(j) gives sample j's levels.
template <typename LevelsAt>
void RotaryEngine::returnsIntoMicrophones(int count, const LevelsAt& levelsAt) {
    RunScratch& s = *run_;
    const double horn0Room = hornUnits_[0]->roomFactor();
    const double horn1Room = hornUnits_[1]->roomFactor();
    const double drumRoom = drumMain_->roomFactor();
    for (int j = 0; j < count; ++j) {
        const Levels& v = levelsAt(j);
        const double hornLevel = v.hornMicLevel * v.micMakeupGain;
        const double near = v.mechPanNear, far = v.mechPanFar;
        const double hornMech0 = s.hornMech[0][j];
        const double hornMech1 = s.hornMech[1][j];
        const double roomL = s.roomL[j];
        s.mic1[j] = denormalGuard(
            s.mic1[j] + (roomL * horn0Room + near * hornMech0 + far * hornMech1) * hornLevel);
        s.mic2[j] = denormalGuard(s.mic2[j] +
                                  (s.roomR[j] * horn1Room + near * hornMech1 + far * hornMech0) *
                                      hornLevel * v.mic2Gain);
        s.drumMic[j] =
            denormalGuard(s.drumMic[j] + (roomL * drumRoom + s.drumMech[j]) * v.drumMicLevel);
    }
}

// The horn high-passes' outputs h1, h2 and the drum low-pass's `low` each mixed
// with its input (the microphones m1, m2, dr), and the output mix.
RotaryEngine::WetPair RotaryEngine::outputFrame(const Levels& v, double m1, double m2, double dr,
                                                double h1, double h2, double low) {
    const double mixH = v.hornHighPassMix;
    const double l1 = denormalGuard((1.0 - mixH) * m1 + mixH * h1);
    const double l2 = denormalGuard((1.0 - mixH) * m2 + mixH * h2);
    const double mixD = v.drumLowPassMix;
    const double dl = denormalGuard((1.0 - mixD) * dr + mixD * low);
    return {
        denormalGuard((l2 * v.mic2PanLeft + l1 * v.mic1PanLeft + dl * v.drumPanLeft) * kMixGain),
        denormalGuard((l2 * v.mic2PanRight + l1 * v.mic1PanRight + dl * v.drumPanRight) *
                      kMixGain)};
}

// The run's simulated samples in order: what arrives over the cross paths, the
// microphones before the room, the ring writes and the room's sends. The ring
// index and the cross units' smoothers stay in registers over the run. Each way
// owns its loop, so the AVX2 ring reads inline into it.
void RotaryEngine::mixSends(int count) {
    if (cpuHasAvx2()) {
        mixSendsWide(count);
        return;
    }
    SendsState state = sendsState();
    for (int j = 0; j < count; ++j) {
        const unsigned r = state.ring;
        const CrossRings::Feeds in = rings_.feeds(r, run_->simCross[j]->delay.data(), false);
        mixSendsFrame(j, r, in, state);
        writeRings(j, state);
    }
    keepSendsState(state);
}

// The sends with the ring reads four wide, inlined into the loop. Where every
// delay of a run of samples reaches back past the sample before and not round
// to the samples the run writes (readsBehindWrites), no read sees a value
// written after it: the writes run ahead of the reads, and where the run's
// samples share their levels and cross paths the reads and the mix take four
// samples at a time (sendsQuads). A single sample keeps the reads before its
// write, the order the split must agree with.
void RotaryEngine::mixSendsWide(int count) {
    SendsState state = sendsState();
    const unsigned first = state.ring;
    if (count > 1 && readsBehindWrites(count)) {
        int written = 0, j = 0;
        if (sharedCopies(count)) j = sendsQuads(first, count, state, written);
        for (; written < count; ++written) writeRings(written, state);
        for (; j < count; ++j) {
            const unsigned r = (first + static_cast<unsigned>(j)) & kRingMask;
            mixSendsFrame(j, r, rings_.feedsWide(r, run_->simCross[j]->delay.data()), state);
        }
    } else {
        for (int j = 0; j < count; ++j) {
            const unsigned r = state.ring;
            const CrossRings::Feeds in = rings_.feedsWide(r, run_->simCross[j]->delay.data());
            mixSendsFrame(j, r, in, state);
            writeRings(j, state);
        }
    }
    keepSendsState(state);
}

// Whether every cross-path delay of the run's samples lies in (1, kLength -
// kRunSamples - 2]: a read of sample j then takes ring slots written 1 to
// kLength - kRunSamples - 1 samples before it, never one the run writes at or
// after sample j (nor the one at j with a weight other than zero). Not a
// number fails the test.
bool RotaryEngine::readsBehindWrites(int count) const {
    constexpr double kShortest = 1.0;
    constexpr double kLongest = static_cast<double>(kRingLength - kRunSamples - 2);
    const CrossPathSettings* checked = nullptr;
    for (int j = 0; j < count; ++j) {
        const CrossPathSettings* cp = run_->simCross[j];
        if (cp == checked) continue;
        for (const double d : cp->delay)
            if (!(d > kShortest && d <= kLongest)) return false;
        checked = cp;
    }
    return true;
}

RotaryEngine::SendsState RotaryEngine::sendsState() const {
    return {amp.mechRoomSend.load(), kA_, kB_, ring_, drumCrossSmooth_, hornCrossSmooth_};
}

void RotaryEngine::keepSendsState(const SendsState& state) {
    ring_ = state.ring;
    drumCrossSmooth_ = state.drumCrossSmooth;
    hornCrossSmooth_ = state.hornCrossSmooth;
}

bool RotaryEngine::sharedCopies(int count) const {
    const RunScratch& s = *run_;
    const SimLevels* levels = s.sims[0];
    const CrossPathSettings* cross = s.simCross[0];
    for (int j = 1; j < count; ++j)
        if (s.sims[j] != levels || s.simCross[j] != cross) return false;
    return true;
}

namespace {

using Quad = __m256d;
constexpr int kQuad = 4;

[[gnu::target("avx2"), gnu::always_inline]] inline Quad splatQuad(double v) {
    return _mm256_set1_pd(v);
}

// denormalGuard four wide.
[[gnu::target("avx2"), gnu::always_inline]] inline Quad guardQuad(Quad x) {
    const Quad g = splatQuad(kEngineGuard);
    return _mm256_sub_pd(_mm256_add_pd(x, g), g);
}

// Four samples of a run's array from sample j on.
template <size_t N>
[[gnu::target("avx2"), gnu::always_inline]] inline Quad load(const std::array<double, N>& a,
                                                             int j) {
    return _mm256_loadu_pd(&a[j]);
}

[[gnu::target("avx2"), gnu::always_inline]] inline Quad mul(Quad a, Quad b) {
    return _mm256_mul_pd(a, b);
}

[[gnu::target("avx2"), gnu::always_inline]] inline Quad add(Quad a, Quad b) {
    return _mm256_add_pd(a, b);
}

} // namespace

// mixSendsFrame four samples at a time where they share their levels and
// cross paths and the reads follow the writes (the ring reads four samples of
// one ring wide): per lane the same operations in the same order. Returns the
// samples done, a multiple of four.
int RotaryEngine::sendsQuads(unsigned first, int count, SendsState& kept, int& written) {
    RunScratch& s = *run_;
    // The smoothers in registers: the ring writes cannot reach them there.
    SendsState state = kept;
    int done = 0;
    // Local copies no store can reach.
    const Levels v = s.sims[0]->v;
    const CrossPathSettings cp = *s.simCross[0];
    const Quad roomLevel = splatQuad(s.sims[0]->roomLevel);
    const Quad g0 = splatQuad(cp.gain[0]), g1 = splatQuad(cp.gain[1]);
    const Quad g2 = splatQuad(cp.gain[2]), g3 = splatQuad(cp.gain[3]);
    const Quad g4 = splatQuad(cp.gain[4]);
    const Quad drumToTube = splatQuad(v.drumToTubeFeedback), brToTube = splatQuad(v.brToTubeGain);
    const Quad hornToDrum = splatQuad(v.hornToDrumFeedback), brToDrum = splatQuad(v.brToDrumGain);
    const Quad brGain = splatQuad(kBrGain), hornToDrumScale = splatQuad(kHornToDrumScale);
    const Quad hornLeakGain = splatQuad(kHornLeak), unitHalf = splatQuad(kUnitHalf);
    const Quad hornLevel = splatQuad(v.hornMicLevel * v.micMakeupGain);
    const Quad mic2Gain = splatQuad(v.mic2Gain), drumLevel = splatQuad(v.drumMicLevel);
    const Quad near = splatQuad(v.mechPanNear), far = splatQuad(v.mechPanFar);
    const Quad pan1L = splatQuad(v.mic1PanLeft), pan1R = splatQuad(v.mic1PanRight);
    const Quad pan2L = splatQuad(v.mic2PanLeft), pan2R = splatQuad(v.mic2PanRight);
    const Quad panDL = splatQuad(v.drumPanLeft), panDR = splatQuad(v.drumPanRight);
    const Quad send = splatQuad(state.mechSend);
    int j = 0;
    // The writes run four samples ahead of the reads, so that the smoothers'
    // recursion overlaps the reads' work and no read waits on a fresh write.
    for (; done < std::min(kQuad, count); ++done) writeRings(done, state);
    for (; j + kQuad <= count; j += kQuad) {
        for (; done < std::min(j + 2 * kQuad, count); ++done) writeRings(done, state);
        const unsigned r = first + static_cast<unsigned>(j);
        const Quad drumToHornIn = rings_.readFour(CrossRings::kDrum, r, cp.delay[0]);
        const Quad portToHornIn = rings_.readFour(CrossRings::kBassReflex, r, cp.delay[1]);
        const Quad hornToDrumIn = rings_.readFour(CrossRings::kHorn, r, cp.delay[2]);
        const Quad portToDrumIn = rings_.readFour(CrossRings::kBassReflex, r, cp.delay[3]);
        const Quad leakIn = rings_.readFour(CrossRings::kHorn, r, cp.delay[4]);

        const Quad tubeFeed = guardQuad(add(mul(mul(drumToHornIn, g0), drumToTube),
                                            mul(mul(mul(portToHornIn, brToTube), g1), brGain)));
        const Quad drumFeed =
            guardQuad(add(mul(mul(mul(hornToDrumIn, g2), hornToDrum), hornToDrumScale),
                          mul(mul(mul(portToDrumIn, brToDrum), g3), brGain)));
        const Quad hornLeak = mul(mul(leakIn, g4), hornLeakGain);

        const Quad drumSig =
            guardQuad(add(add(load(s.drumOut, j), drumFeed), load(s.drumStatic, j)));
        const Quad drumMech = load(s.drumMech, j);
        const Quad mic1 =
            guardQuad(add(add(mul(load(s.hornOut[0], j), unitHalf), tubeFeed), hornLeak));
        const Quad mic2 =
            guardQuad(add(add(mul(load(s.hornOut[1], j), unitHalf), tubeFeed), hornLeak));
        const Quad hornMech0 = load(s.hornMech[0], j);
        const Quad hornMech1 = load(s.hornMech[1], j);

        const Quad m1 = mul(mic1, hornLevel);
        const Quad m2 = mul(mul(mic2, hornLevel), mic2Gain);
        const Quad dr = mul(drumSig, drumLevel);
        _mm256_storeu_pd(&s.mic1[j], m1);
        _mm256_storeu_pd(&s.mic2[j], m2);
        _mm256_storeu_pd(&s.drumMic[j], dr);

        const Quad mechL = guardQuad(add(add(mul(near, hornMech0), mul(far, hornMech1)), drumMech));
        const Quad mechR = guardQuad(add(add(mul(near, hornMech1), mul(far, hornMech0)), drumMech));
        _mm256_storeu_pd(&s.roomLevel[j], roomLevel);
        _mm256_storeu_pd(&s.sendL[j],
                         guardQuad(add(add(add(mul(m2, pan2L), mul(m1, pan1L)), mul(dr, panDL)),
                                       mul(mechL, send))));
        _mm256_storeu_pd(&s.sendR[j],
                         guardQuad(add(add(add(mul(m2, pan2R), mul(m1, pan1R)), mul(dr, panDR)),
                                       mul(mechR, send))));
    }
    kept = state;
    written = done;
    return j;
}

// The cross units feed the rings at simulated sample j.
void RotaryEngine::writeRings(int j, SendsState& state) {
    const RunScratch& s = *run_;
    state.drumCrossSmooth = poleToward(state.drumCrossSmooth, s.drumCross[j], state.kA);
    state.hornCrossSmooth = poleToward(state.hornCrossSmooth, s.hornCross[j], state.kB);
    rings_.write(state.ring, state.drumCrossSmooth, state.hornCrossSmooth, s.port[j]);
    state.ring = (state.ring + 1) & kRingMask;
}

// Simulated sample j of the sends, read at ring index r: `in` what arrives over
// the cross paths.
void RotaryEngine::mixSendsFrame(int j, unsigned r, const CrossRings::Feeds& in,
                                 const SendsState& state) {
    RunScratch& s = *run_;
    const SimLevels& sim = *s.sims[j];
    const Levels& v = sim.v;
    const CrossPathSettings& cp = *s.simCross[j];

    // What arrives over the cross paths.
    const double tubeFeed = denormalGuard(in.drumToHorn * cp.gain[0] * v.drumToTubeFeedback +
                                          in.portToHorn * v.brToTubeGain * cp.gain[1] * kBrGain);
    const double drumFeed =
        denormalGuard(in.hornToDrum * cp.gain[2] * v.hornToDrumFeedback * kHornToDrumScale +
                      in.portToDrum * v.brToDrumGain * cp.gain[3] * kBrGain);
    const double hornLeak = rings_.read(CrossRings::kHorn, r, cp.delay[4]) * cp.gain[4] * kHornLeak;

    const double drumSig = denormalGuard(s.drumOut[j] + drumFeed + s.drumStatic[j]);
    const double drumMech = s.drumMech[j];
    const double mic1 = denormalGuard(s.hornOut[0][j] * kUnitHalf + tubeFeed + hornLeak);
    const double mic2 = denormalGuard(s.hornOut[1][j] * kUnitHalf + tubeFeed + hornLeak);
    const double hornMech0 = s.hornMech[0][j];
    const double hornMech1 = s.hornMech[1][j];

    // Microphone levels.
    const double hornLevel = v.hornMicLevel * v.micMakeupGain;
    const double m1 = mic1 * hornLevel;
    const double m2 = mic2 * hornLevel * v.mic2Gain;
    const double dr = drumSig * v.drumMicLevel;
    s.mic1[j] = m1;
    s.mic2[j] = m2;
    s.drumMic[j] = dr;

    // The room's sends.
    const double near = v.mechPanNear, far = v.mechPanFar;
    const double mechL = denormalGuard(near * hornMech0 + far * hornMech1 + drumMech);
    const double mechR = denormalGuard(near * hornMech1 + far * hornMech0 + drumMech);
    s.roomLevel[j] = sim.roomLevel;
    s.sendL[j] = denormalGuard(m2 * v.mic2PanLeft + m1 * v.mic1PanLeft + dr * v.drumPanLeft +
                               mechL * state.mechSend);
    s.sendR[j] = denormalGuard(m2 * v.mic2PanRight + m1 * v.mic1PanRight + dr * v.drumPanRight +
                               mechR * state.mechSend);
}

} // namespace zel
