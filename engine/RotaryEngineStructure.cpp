// The rotary engine's structural side: block-start updates, the fade-protected
// rebuild tasks, rate configuration and resets. Audio thread only.
#include "engine/RotaryEngine.h"

#include "engine/OnePole.h"
#include "engine/data/CabinetGeometry.h"
#include "engine/data/EngineFilterTables.h"

#include <algorithm>
#include <cmath>

namespace zel {

namespace {

// Smoothing time constants, taken in single precision.
constexpr float kLevelSeconds = 0.03f;
constexpr float kDriveSeconds = 0.1f;
constexpr float kActivitySeconds = 0.5f;

constexpr double kCrossDrumCutoffHz = 3200; // smoother of the drum cross unit
constexpr double kCrossHornCutoffHz = 4500; // smoother of the horn cross unit
constexpr double kHornDiffHz = 500;         // leaky differentiator into the horn
constexpr double kMinHighPassHz = 20;

// Rate thresholds of the decimation factor, and the factors ("LowCPU" doubles).
constexpr double kBrilliantSingleBelow = 50000;
constexpr double kDoubleBelow = 100000;
constexpr double kQuadrupleBelow = 200000;

// The units' tables that belong to a rate: a little more than the points of all
// of them together. Ahead of a rate change they are built at a pace that spreads
// them evenly over most of the fade to dry (which takes about 70 ms), so the
// blocks of the fade each carry a small share and the task finds them ready.
constexpr double kRateTablePoints = 7000;
constexpr double kTableBuildSeconds = 0.06;
constexpr int kMinTablePointsPerBlock = 16;

} // namespace

// ---- block start --------------------------------------------------------------

bool RotaryEngine::anyStructuralRequest() const {
    const RebuildRequests& q = requests;
    return q.fullReset || q.rateReset || q.rateChange || q.setup || q.room || q.hornUnit0 ||
           q.hornUnit1 || q.hornCrossUnit || q.drumMainUnit || q.drumCrossUnit || q.crossPaths;
}

// A fade request, or a flag that arrived without one, starts the fade unless the
// engine is already on its way to (or in) the dry state, where every flag will be
// worked off before it fades back.
void RotaryEngine::takeRequests() {
    const bool asked = requests.fade.load();
    if (asked) requests.fade = false;
    const int state = fade_.state();
    if (state != FadeMachine::kNormal && state != FadeMachine::kFadingBack) return;
    if (asked || anyStructuralRequest()) fade_.fadeOut();
}

void RotaryEngine::startBlock() {
    const int frames = blockFrames_;
    blockFrames_ = 0;
    takeRequests();
    if (hornSaturationPending_.load()) {
        hornSaturationPending_ = false;
        applyHornSaturation(hornSaturation_.load());
        copyToneArrays();
    }
    if (requests.highLowPassDirty.load()) {
        requests.highLowPassDirty = false;
        applyHighLowPass();
    }
    if (requests.toneEqDirty.load()) {
        requests.toneEqDirty = false;
        applyTone();
    }
    prepareRateTables(frames);
    if (fade_.state() == FadeMachine::kRebuilding) runOneTask();
}

// While the output fades to dry for a pending rate reset or rate change, the
// units build the tables of the rate it will bring, a share per block, so the
// task itself finds them ready.
void RotaryEngine::prepareRateTables(int frames) {
    const int state = fade_.state();
    if (state != FadeMachine::kFadingOut && state != FadeMachine::kRebuilding) return;
    const RebuildRequests& q = requests;
    const bool rereadRate = q.rateReset.load() || q.fullReset.load();
    if (!rereadRate && !q.rateChange.load()) return;
    const double fs = rereadRate ? readHostRate() : fs_;
    const double rate = fs / factorFor(fs);
    const double perFrame = kRateTablePoints / (kTableBuildSeconds * fs_);
    int budget = std::max(kMinTablePointsPerBlock, static_cast<int>(std::ceil(frames * perFrame)));
    for (CabinetUnit* unit :
         {static_cast<CabinetUnit*>(hornUnits_[0].get()),
          static_cast<CabinetUnit*>(hornUnits_[1].get()),
          static_cast<CabinetUnit*>(hornCross_.get()), static_cast<CabinetUnit*>(drumMain_.get()),
          static_cast<CabinetUnit*>(drumCross_.get())}) {
        budget -= unit->prepareRate(rate, budget);
        if (budget <= 0) return;
    }
}

void RotaryEngine::applyHighLowPass() {
    const double nyquist = 0.5 * internalRate_.load();
    const double hp = std::clamp(amp.hornHighPassHz.load(), kMinHighPassHz, nyquist);
    for (BiquadFilter& f : hornMicHighPass_) f.setFrequency(hp);
    double lp = amp.drumLowPassHz.load();
    if (!(lp > 0.0) || lp > nyquist) lp = nyquist;
    kD_ = poleFromDecay(lp, internalRate_.load());
}

void RotaryEngine::applyTone() {
    ampStage_.setTone({amp.bottomDb.load(), amp.loMidDb.load(), amp.loMidQ.load(),
                       amp.presenceDb.load(), amp.presenceQ.load(), amp.topShelfDb.load()});
    const double colorA = amp.colorA.load();
    const double colorB = amp.colorB.load();
    for (int i = 0; i < 2; ++i) {
        colorPeak_[i].setGain(colorA);
        colorShelf_[i].setGain(colorB);
    }
}

// ---- the rebuild tasks, one per block while dry ----------------------------

namespace {
// Test-and-clear of a request flag. A request that arrives after the clear stays
// pending and is carried out by a later block.
bool take(Relaxed<bool>& flag) {
    if (!flag.load()) return false;
    flag = false;
    return true;
}
} // namespace

void RotaryEngine::runOneTask() {
    RebuildRequests& q = requests;
    ++tasksRun_;
    if (take(q.rateReset)) {
        resetForRate();
    } else if (take(q.fullReset)) {
        fullResetTask();
    } else if (q.setup || q.room) {
        if (take(q.setup) && applier_) applier_->applySetupPreset(setupPosition.load());
        if (take(q.room)) room_->rebuild();
    } else if (q.hornUnit0 || q.hornUnit1) {
        rebuildHornUnits(take(q.hornUnit0), take(q.hornUnit1));
    } else if (q.hornCrossUnit || q.drumMainUnit || q.drumCrossUnit) {
        if (take(q.hornCrossUnit)) hornCross_->rebuild();
        if (take(q.drumMainUnit)) drumMain_->rebuild();
        if (take(q.drumCrossUnit)) drumCross_->rebuild();
    } else if (take(q.rateChange)) {
        configureRate();
    } else if (take(q.crossPaths)) {
        updateCrossPaths();
    } else {
        --tasksRun_;
        fade_.fadeBack();
    }
}

void RotaryEngine::rebuildHornUnits(bool unit0, bool unit1) {
    if (unit0) hornUnits_[0]->rebuild();
    if (unit1) hornUnits_[1]->rebuild();
}

// Everything at once; the flags the Setup preset raises are covered by the
// rebuilds that follow it, so they are cleared before those run.
void RotaryEngine::fullResetTask() {
    resetEngine();
    if (applier_) applier_->applySetupPreset(setupPosition.load());
    RebuildRequests& q = requests;
    for (Relaxed<bool>* flag :
         {&q.fullReset, &q.rateReset, &q.rateChange, &q.setup, &q.room, &q.hornUnit0, &q.hornUnit1,
          &q.hornCrossUnit, &q.drumMainUnit, &q.drumCrossUnit, &q.crossPaths, &q.fade})
        *flag = false;
    room_->rebuild();
    hornUnits_[0]->rebuild();
    hornUnits_[1]->rebuild();
    hornCross_->rebuild();
    drumMain_->rebuild();
    drumCross_->rebuild();
    updateCrossPaths();
    fade_.fadeBack();
}

void RotaryEngine::runAllRebuildsDirectly() {
    if (applier_) applier_->applySetupPreset(setupPosition.load());
    hornUnits_[0]->rebuild();
    hornUnits_[1]->rebuild();
    hornCross_->rebuild();
    drumMain_->rebuild();
    drumCross_->rebuild();
    configureRate();
    updateCrossPaths();
    resetForRate();
    resetEngine();
    RebuildRequests& q = requests;
    for (Relaxed<bool>* flag :
         {&q.fullReset, &q.rateReset, &q.rateChange, &q.setup, &q.room, &q.hornUnit0, &q.hornUnit1,
          &q.hornCrossUnit, &q.drumMainUnit, &q.drumCrossUnit, &q.crossPaths, &q.fade})
        *flag = false;
}

// ---- rates ----------------------------------------------------------------------

double RotaryEngine::readHostRate() const {
    const double fs = hostRate.load();
    if (!(fs > 0.0)) return BiquadFilter::kDefaultRate; // also NaN
    return std::clamp(fs, kMinHostRate, kMaxHostRate);
}

// "Brilliant" runs the simulation at the host rate below 50 kHz and halves it per
// octave above; "LowCPU" runs it at half that. From 200 kHz on both use factor 8,
// so the rotors and the Doppler model never run at a rate they were not told.
int RotaryEngine::factorFor(double fs) const {
    const bool brilliant = amp.cpuMode.load() != 0;
    if (fs < kBrilliantSingleBelow) return brilliant ? 1 : 2;
    if (fs < kDoubleBelow) return brilliant ? 2 : 4;
    if (fs < kQuadrupleBelow) return brilliant ? 4 : 8;
    return 8;
}

void RotaryEngine::chooseFactor(double fs) {
    const int factor = factorFor(fs);
    factor_ = factor;
    decimationMask_ = static_cast<uint32_t>(factor - 1);
    internalRate_ = fs / factor;
    decimator_.setFactor(factor);
}

void RotaryEngine::tellUnitsRate() {
    const double rate = internalRate_.load();
    const int factor = factor_.load();
    for (HornUnit* unit : {hornUnits_[0].get(), hornUnits_[1].get(), hornCross_.get()})
        unit->setUnitRate(rate, factor);
    for (DrumUnit* unit : {drumMain_.get(), drumCross_.get()}) unit->setUnitRate(rate, factor);
    room_->setRate(rate);
}

// The units re-apply their reflection low-passes (the values parameter application
// stored, already doubled) at the new rate inside setUnitRate.
void RotaryEngine::configureRate() {
    chooseFactor(fs_);
    tellUnitsRate();
    clearEngineState();
    recomputeRateCoefficients();
    forEachEngineFilter([](BiquadFilter& f) { f.setImmediate(false); });
    ampStage_.setImmediate(false);
}

void RotaryEngine::forEachEngineFilter(void (*action)(BiquadFilter&)) {
    action(drumShelf_);
    action(brResonator_);
    for (int i = 0; i < 2; ++i) {
        action(hornMicHighPass_[i]);
        action(colorPeak_[i]);
        action(colorShelf_[i]);
        action(reconstructionLowPass_[i]);
    }
    for (BiquadFilter& f : hornTone_) action(f);
    for (BiquadFilter& f : hornCrossTone_) action(f);
}

void RotaryEngine::clearEngineState() {
    for (MultiFilter& m : hornToneCascades_) m.clearState();
    for (MultiFilter& m : hornCrossCascades_) m.clearState();
    ampStage_.clear();
    hornDiff_ = previousD_ = 0.0;
    drumLowPass_ = 0.0;
    drumCrossSmooth_ = hornCrossSmooth_ = 0.0;
    keepDryPath();
    if (internalRate_.load() < fs_) {
        const double hz = internalRate_.load() + fs_ / enginefilters::kReconstructionOffsetDivisor;
        for (BiquadFilter& f : reconstructionLowPass_) f.setFrequency(hz);
    }
    forEachEngineFilter([](BiquadFilter& f) { f.clear(); });
    for (HornUnit* unit : {hornUnits_[0].get(), hornUnits_[1].get(), hornCross_.get()})
        unit->clearState();
    for (DrumUnit* unit : {drumMain_.get(), drumCross_.get()}) unit->clearState();
}

// The dry path is what the output rests on while a rebuild runs: clearing it
// there would step the output from the dry signal to zero, the very click the
// fade is there to hide. Only a state that is no number any more starts again.
void RotaryEngine::keepDryPath() {
    for (double& state : dry_)
        if (!std::isfinite(state)) state = 0.0;
}

void RotaryEngine::rateFilters() {
    const double internal = internalRate_.load();
    ampStage_.setRate(fs_);
    drumShelf_.setRate(internal);
    brResonator_.setRate(internal);
    for (int i = 0; i < 2; ++i) {
        // The microphone high-passes run inside the simulation, at its rate.
        hornMicHighPass_[i].setRate(internal);
        colorPeak_[i].setRate(internal);
        colorShelf_[i].setRate(internal);
        reconstructionLowPass_[i].setRate(fs_);
    }
    for (BiquadFilter& f : hornTone_) f.setRate(internal);
    for (BiquadFilter& f : hornCrossTone_) f.setRate(internal);
}

void RotaryEngine::recomputeRateCoefficients() {
    const double internal = internalRate_.load();
    rateFilters();
    if (internal < fs_) {
        const double hz = internal + fs_ / enginefilters::kReconstructionOffsetDivisor;
        for (BiquadFilter& f : reconstructionLowPass_) f.setFrequency(hz);
    }
    applyTone();
    copyToneArrays();
    applyHighLowPass();
    hornDiffPole_ = poleFromDecay(kHornDiffHz, internal);
    kA_ = poleFromFrequency(kCrossDrumCutoffHz, internal);
    kB_ = poleFromFrequency(kCrossHornCutoffHz, internal);
    // The dry path runs once per host frame, so its pole belongs to the host rate.
    kDry_ = poleFromFrequency(kDryCutoffHz, fs_);
}

void RotaryEngine::recomputeSmoothingCoefficients() {
    c30_ = smoothingCoefSingle(kLevelSeconds, fs_);
    c100_ = smoothingCoefSingle(kDriveSeconds, fs_);
    c20_ = smoothingCoefSingle(FadeMachine::kFadeSeconds, fs_);
    c500_ = smoothingCoefSingle(kActivitySeconds, fs_);
    fade_.setRate(fs_);
    wakeLevels();
}

void RotaryEngine::clearRings() {
    rings_.clear();
}

// The rate reset: re-reads the host rate, tells the units, clears every state.
// When the rate or factor really changed it also recomputes the engine's own
// rate-dependent coefficients, so the engine never runs its filters at a rate it
// no longer has.
void RotaryEngine::resetForRate() {
    const double previousRate = fs_;
    const int previousFactor = factor_.load();
    fs_ = readHostRate();
    configuredHostRate_ = fs_;
    chooseFactor(fs_);
    tellUnitsRate();
    clearEngineState();
    clearRings();
    decimator_.clear();
    keepDryPath();
    forEachEngineFilter([](BiquadFilter& f) { f.setImmediate(true); });
    ampStage_.setImmediate(true);
    if (fs_ != previousRate || factor_.load() != previousFactor) {
        recomputeRateCoefficients();
        recomputeSmoothingCoefficients();
    }
}

void RotaryEngine::snapLevels() {
    const SmoothedTargets& t = targets;
    levels_ = Levels{t.inputGain,          t.drive,        t.postDriveGain, t.hornInputGain,
                     t.drumInputGain,      t.hornMicLevel, t.micMakeupGain, t.mic2Gain,
                     t.drumMicLevel,       t.mic1PanLeft,  t.mic1PanRight,  t.mic2PanLeft,
                     t.mic2PanRight,       t.drumPanLeft,  t.drumPanRight,  t.drumToTubeFeedback,
                     t.hornToDrumFeedback, t.brToTubeGain, t.brToDrumGain,  t.hornHighPassMix,
                     t.drumLowPassMix,     t.mechPanNear,  t.mechPanFar};
    crossCurrent_ = crossTarget_;
    wakeLevels();
}

void RotaryEngine::resetEngine() {
    fs_ = readHostRate();
    configuredHostRate_ = fs_;
    configureRate();
    snapLevels();
    recomputeSmoothingCoefficients();
    clearRings();
    ring_ &= kRingMask;
    room_->setRate(internalRate_.load());
    room_->setReturnLevel(targets.roomReturnLevel.load());
    room_->reset();
    decimator_.clear();
    if (applier_) applier_->applyAmplitudeClip();
}

void RotaryEngine::updateCrossPaths() {
    const double radius =
        std::clamp(hornAmRadius_.load(), cabinet::kMinAmRadius, cabinet::kMaxAmRadius);
    const CrossPathGeometry geometry{drumMain_->crossPathMicPosition(),
                                     hornUnits_[0]->crossPathMicPosition(), radius,
                                     internalRate_.load()};
    crossTarget_ =
        computeCrossPaths(geometry, drumCross_->attenuationTable(), hornCross_->attenuationTable());
    wakeLevels();
}

} // namespace zel
