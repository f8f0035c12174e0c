#include "engine/DrumUnit.h"

#include "engine/OnePole.h"

#include <algorithm>
#include <cmath>
#include <immintrin.h>
#include <limits>

namespace zel {

namespace {

constexpr double kRoomFactorPower = 0.7;
constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr double kDefaultMicDistance = 1.0;

// Four lanes' heard flags (all bits set or clear) as a mask.
[[gnu::target("avx2"), gnu::always_inline]] inline __m256d heardMask(const void* flags) {
    return _mm256_castsi256_pd(_mm256_load_si256(static_cast<const __m256i*>(flags)));
}

// One sample of four lanes' splitters: each heard lane's splitter moves toward
// sigma (poleToward, guarded) and its section takes the high part, sigma less
// the splitter; a lane not heard keeps its splitter and feeds its section
// silence.
[[gnu::target("avx2"), gnu::always_inline]] inline __m256d
splitStep(__m256d sigma, __m256d pole, __m256d guard, __m256d heard, __m256d& split) {
    __m256d next = _mm256_add_pd(sigma, _mm256_mul_pd(pole, _mm256_sub_pd(split, sigma)));
    next = _mm256_sub_pd(_mm256_add_pd(next, guard), guard);
    split = _mm256_blendv_pd(split, next, heard);
    return _mm256_and_pd(heard, _mm256_sub_pd(sigma, next));
}

} // namespace

DrumUnit::DrumUnit(Kind kind)
    : CabinetUnit(RotorDirection::Drum, kind == Kind::Cross,
                  kind == Kind::Main ? std::optional(MechNoiseSource::Drum) : std::nullopt,
                  kind == Kind::Cross ? cabinet::kCrossMicDistance : kDefaultMicDistance),
      kind_(kind) {
    for (BiquadFilter& f : lowPass_) {
        f = BiquadFilter(rate_, drum::kRayLowPass, drum::kLowPassHz[0], drum::kLowPassQ[0]);
        f.setEnabled(true);
        f.setImmediate(false); // directivity changes glide over 3 ms
    }
    for (int k = 0; k < MultiFilter::kSections; ++k) {
        const horn::EqSection& s = drum::kInputEq[k];
        inputSections_[k] = BiquadFilter(rate_, s.type, s.hz, s.q, s.db);
        inputSections_[k].setEnabled(s.enabled);
        inputSections_[k].setBias(drum::kInputSaturationBias);
    }
    applyTuning();
    tables_.configure([kind](RateTables& t) { t.cross = kind == Kind::Cross; });
    tables_.use(rate_);
    rebuild();
}

// ---- settings ---------------------------------------------------------------

void DrumUnit::setRayLevel(int ray, double level) {
    if (ray >= 0 && ray < kRayLevelCount) rayLevels_[ray].store(level);
}

// ---- structure (audio thread) ----------------------------------------------

void DrumUnit::computeGeometry() {
    // W1 (toward positive x) is the narrow side unless flipped.
    const auto [half, mic] = placeMicrophone(cabinet::kNarrowSideWall, cabinet::kWideSideWall);

    const double direct = directAngle(mic, half.r);
    backRegion_ =
        zel::backRegion(direct, cornerAngle(half, half.w2), cornerAngle(half, half.w1), half.r);

    for (int i = 0; i < kImageRays; ++i)
        rays_[i].place(traceRay(drum::kImages[i], half, mic, appliedRadius_), table_);

    placeStaticRay(rays_[0].path, kRoomFactorPower);
}

void DrumUnit::setUnitRate(double rate, int factor) {
    setRotorRate(rate, factor);
    for (BiquadFilter& f : lowPass_) f.setRate(rate_);
    for (BiquadFilter& f : inputSections_) f.setRate(rate_);
    appliedReflectionLowPass_ = appliedSplitterHz_ = appliedSaturation_ = -1; // re-derive all
    applyTuning();
    tables_.use(rate_);
    updateRateTerms();
    clearState();
}

int DrumUnit::prepareRate(double rate, int budget) {
    const double unitRate = unitRateFor(rate);
    const int used = tables_.prepare(unitRate, budget);
    return player_ ? used + player_->prepareRate(unitRate, budget - used) : used;
}

void DrumUnit::RateTables::begin(double rate) {
    if (cross)
        crossPoles.begin(drum::kCrossHz, rate);
    else
        lowPass.begin(drum::kLobeSteps, rate, drum::kRayLowPass);
}

int DrumUnit::RateTables::extend(int budget) {
    if (cross) return crossPoles.extend(budget, drum::kCrossHz);
    return lowPass.extend(budget, [](BiquadFilter& f, int index, double w) {
        f.setFrequencyAndQ(
            drum::kLowPassHz[index] + (drum::kLowPassHz[index + 1] - drum::kLowPassHz[index]) * w,
            drum::kLowPassQ[index] + (drum::kLowPassQ[index + 1] - drum::kLowPassQ[index]) * w);
    });
}

bool DrumUnit::RateTables::complete() const {
    return cross ? crossPoles.complete() : lowPass.complete();
}

void DrumUnit::updateRateTerms() {
    updateSharedRateTerms();
    for (RayTrack& ray : rays_) ray.setRate(samplesPerMetre_, delayOrigin());
    for (int i = 0; i < kImageRays; ++i) batch_.load(i, rays_[i]);
    loadLanes();
}

void DrumUnit::loadLanes() {
    const double staticPath = rays_[0].pathSamples;
    if (isCross()) {
        const int side = sideRay();
        lanes_.load(0, rays_[0]);
        lanes_.load(kCrossSideLane, rays_[side != 0 ? side : 1]);
        lanes_.load(kCrossBackLane, rays_[3]);
        lanes_.loadFixed(kCrossStaticLane, staticPath);
        for (int i = kCrossLanes; i < kRayLanes; ++i) lanes_.loadFixed(i, staticPath);
    } else {
        for (int i = 0; i < kImageRays; ++i) lanes_.load(i, rays_[i]);
        for (int i = kMainStaticLane; i < kRayLanes; ++i) lanes_.loadFixed(i, staticPath);
    }
    for (int i = 0; i < kSectionLanes; ++i)
        heard_[i] = i < kImageRays && heard(i) ? ~uint64_t{0} : uint64_t{0};
}

void DrumUnit::retune() {
    const double octaves = reflectionLowPass_.load();
    if (octaves != appliedReflectionLowPass_) {
        appliedReflectionLowPass_ = octaves;
        q1_ = poleFromFrequency(kReflectionTopHz, rate_);
        q2_ = poleFromFrequency(kReflectionTopHz * std::exp2(-octaves), rate_);
    }
    const double splitHz = splitterHz_.load();
    if (splitHz != appliedSplitterHz_) {
        appliedSplitterHz_ = splitHz;
        splitterPole_ = poleFromFrequency(splitHz, rate_);
    }
    const double saturation = filterSaturation_.load();
    if (saturation != appliedSaturation_) {
        appliedSaturation_ = saturation;
        configureInputFilter(saturation);
    }
}

void DrumUnit::configureInputFilter(double saturation) {
    for (BiquadFilter& f : inputSections_) f.setSaturation(saturation);
    input_.copyFrom(inputSections_.data());
}

void DrumUnit::clearState() {
    clearSharedState();
    for (RayTrack& ray : rays_) ray.clear();
    lastLambda_.fill(0.0);
    split_.fill(0.0);
    lowStatic_ = 0;
    lowStaticOutput_ = 0;
    for (BiquadFilter& f : lowPass_) f.clear();
    for (int i = 0; i < kSectionLanes; ++i) {
        const BiquadFilter& rest = lowPass_[std::min(i, kImageRays - 1)];
        sections_.reset(i, rest.target(), rest.glideLength());
    }
    rayInput_.fill(0.0);
    input_.clearState();
}

// ---- per sample -------------------------------------------------------------

// The splitter keeps the low part out of the rotation; a side ray the back region
// leaves out runs its low-pass on silence, its splitter where it was.
[[gnu::target("avx2")]] void DrumUnit::splitMain(const double* sigmas, const double* lambdas,
                                                 const double* attenuations) {
    const __m256d pole = _mm256_set1_pd(splitterPole_);
    const __m256d room = _mm256_set1_pd(roomFactor_);
    const __m256d guard = _mm256_set1_pd(kEngineGuard);
    for (int i = 0; i < kSectionLanes; i += 4) {
        const __m256d heard = heardMask(&heard_[i]);
        __m256d split = _mm256_load_pd(&split_[i]);
        _mm256_store_pd(&rayInput_[i],
                        splitStep(_mm256_load_pd(sigmas + i), pole, guard, heard, split));
        _mm256_store_pd(&split_[i], split);
        _mm256_store_pd(&rayAlpha_[i], _mm256_mul_pd(_mm256_load_pd(attenuations + i), room));
        _mm256_store_pd(&lastLambda_[i], _mm256_blendv_pd(_mm256_load_pd(&lastLambda_[i]),
                                                          _mm256_load_pd(lambdas + i), heard));
    }
}

void DrumUnit::mainRaysNarrow(const Frame& f) {
    // The two-ray path (the batch's wide path is the ray lanes' business).
    batch_.runNarrow({history_, table_, f.fmSamples, appliedRadius_, kTableStepsPerMetre,
                      drum::kClosestApproach});
    for (int i = 0; i < kImageRays; ++i) {
        if (!heard_[i]) {
            rayInput_[i] = 0.0;
            continue;
        }
        const double sigma = batch_.input(i);
        lastLambda_[i] = batch_.lambda(i);
        split_[i] = poleToward(split_[i], sigma, splitterPole_);
        rayInput_[i] = sigma - split_[i];
        rayAlpha_[i] = batch_.attenuation(i) * roomFactor_;
    }
    if (f.update) updateMainDirectivity(batch_);
}

template <typename Rays> void DrumUnit::updateMainDirectivity(const Rays& rays) {
    BiquadCoefficients targets[kSectionLanes];
    bool use[kSectionLanes] = {};
    for (int i = 0; i < kImageRays; ++i) {
        use[i] = heard_[i] != 0;
        if (use[i]) targets[i] = tables_.live().lowPass.at(facingTurn(rays.mu(i)));
    }
    sections_.setTargets(targets, use);
    if (snapDirectivity_)
        for (int i = 0; i < kImageRays; ++i)
            if (use[i]) sections_.snap(i);
}

double DrumUnit::crossRay(int i, double weight, const Frame& f) {
    RayTrack& ray = rays_[i];
    const LobePoint p = ray.lobeNow(history_);
    // Measured from the microphone, plus twice the radius so the nearest approach
    // keeps a positive delay.
    const double delay = (p.lambda + 2.0) * f.fmSamples + ray.pathSamples;
    const double attenuation =
        table_.atPosition(ray.tablePos + p.lambda * appliedRadius_ * kTableStepsPerMetre);
    return crossRayFrom(i, weight, f, p.lambda, p.mu, history_.inputBefore(delay), attenuation);
}

// Inline: a cross unit's sample takes three, and a call costs about as much as
// the ray's own arithmetic.
[[gnu::always_inline]] inline double DrumUnit::crossRayFrom(int i, double weight, const Frame& f,
                                                            double lambda, double mu, double sigma,
                                                            double attenuation) {
    RayTrack& ray = rays_[i];
    lastLambda_[i] = lambda;
    const double alpha = attenuation * roomFactor_;
    if (f.update) {
        ray.coefTarget = tables_.live().crossPoles.at(facingTurn(mu));
        if (snapDirectivity_) ray.coef = ray.coefTarget;
    }
    return ray.directivityLowPass(sigma, coefGlide_) * alpha * weight;
}

// Inline: every sample of either unit takes it, and the call cost about as much
// as its own arithmetic.
[[gnu::always_inline]] inline double DrumUnit::staticRay(const Frame& f, double sigma,
                                                         double mechLevel, double retardedAngle,
                                                         double speed) {
    // The static ray does not rotate: no Doppler, a fixed attenuation, a one-pole
    // low-pass. The cross unit measures it from the microphone.
    const double low = staticLowPassed(sigma, f.update);
    if (player_)
        player_->handOver(staticAlpha_ * mechLevel, retardedAngle, appliedMicAngle_, speed);
    return staticAlpha_ * low;
}

[[gnu::always_inline]] inline double DrumUnit::staticRayHeld(HeldStatic& s, double sigma,
                                                             bool update, double mechLevel, int j) {
    if (update) {
        staticLowPass_ = s.low;
        s.low = staticLowPassed(sigma, true);
        s.coef = staticCoef_;
    } else {
        s.low = poleToward(s.low, sigma, s.coef);
    }
    if (player_)
        player_->handOver(s.alpha * mechLevel, runRetarded_[j], appliedMicAngle_, runSpeed_[j]);
    return s.alpha * s.low;
}

DrumUnit::MixLevels DrumUnit::mixLevels() const {
    MixLevels m;
    for (int n = 0; n < kRayLevelCount; ++n) m.ray[n] = rayLevels_[n].load();
    m.staticLevel = staticRayLevel_.load();
    m.lowStaticGain = lowStaticGain_.load();
    m.mech = mechLevel_.load();
    return m;
}

double DrumUnit::process(double x) {
    applyTuning();
    const double filtered = input_.process(x);
    return isCross() ? frameCross(filtered) : frameMain(filtered);
}

double DrumUnit::frameMain(double filtered) {
    const Frame f = startFrame(filtered);
    const MixLevels levels = mixLevels();
    double staticSigma;
    if (wide_) {
        lanes_.run(history_, table_, f.fmSamples, appliedRadius_, kTableStepsPerMetre,
                   {drum::kClosestApproach, false});
        splitMain(lanes_.inputs(), lanes_.lambdas(), lanes_.attenuations());
        if (f.update) updateMainDirectivity(lanes_);
        staticSigma = lanes_.input(kMainStaticLane);
    } else {
        mainRaysNarrow(f);
        staticSigma = history_.inputBefore(rays_[0].pathSamples);
    }
    const double y =
        mixMain(f, levels, staticSigma, history_.angleBefore(rays_[0].pathSamples), rotor_.speed());
    finishFrame(f.update);
    return y;
}

double DrumUnit::mixMain(const Frame& f, const MixLevels& levels, double staticSigma,
                         double retardedAngle, double speed) {
    return mixMainOn(sections_.fastestPath(), f, levels, staticSigma, retardedAngle, speed);
}

double DrumUnit::mixMainOn(SectionPath path, const Frame& f, const MixLevels& levels,
                           double staticSigma, double retardedAngle, double speed) {
    alignas(32) std::array<double, kSectionLanes> ray;
    sections_.process(rayInput_.data(), ray.data(), path);
    return mixMainRays(ray.data(), rayAlpha_.data(), f, levels, staticSigma, retardedAngle, speed);
}

double DrumUnit::mixMainRays(const double* sectionOut, const double* rayAlpha, const Frame& f,
                             const MixLevels& levels, double staticSigma, double retardedAngle,
                             double speed) {
    const std::array<double, kRayLevelCount>& level = levels.ray;
    const double e = f.e, e2 = e * e;
    // Each ray's gain, then its order's weight (1, e, e, e, e^2, e^2), from
    // registers: weights built in memory one by one and read back in pairs would
    // wait for the stores.
    double ray[kImageRays];
    ray[0] = sectionOut[0] * rayAlpha[0] * 1.0;
    for (int i = 1; i < 4; ++i) ray[i] = sectionOut[i] * rayAlpha[i] * e;
    for (int i = 4; i < kImageRays; ++i) ray[i] = sectionOut[i] * rayAlpha[i] * e2;

    double h = ray[0] * level[kRayFront];
    double levelSum = level[kRayFront];
    const int side = sideRay();
    if (side != 0) {
        h += rays_[side].reflect(ray[side] * level[kRayBackSides], q1_);
        levelSum += level[kRayBackSides];
    }
    h += rays_[3].reflect(ray[3] * level[kRayBackSides], q1_);
    levelSum += level[kRayBackSides];
    h += rays_[4].reflect(ray[4] * level[kRayBackLeft], q2_);
    levelSum += level[kRayBackLeft];
    h += rays_[5].reflect(ray[5] * level[kRayBackRight], q2_);
    levelSum += level[kRayBackRight];

    return finishMain(f, levels, h, levelSum, staticSigma, retardedAngle, speed);
}

double DrumUnit::finishMain(const Frame& f, const MixLevels& levels, double h, double levelSum,
                            double staticSigma, double retardedAngle, double speed) {
    const double st = staticRay(f, staticSigma, levels.mech, retardedAngle, speed);
    lowStatic_ = poleToward(lowStatic_, st, splitterPole_);
    lowStaticOutput_ = lowStatic_ * levels.lowStaticGain * levelSum;
    return (st - lowStatic_) * levels.staticLevel + h;
}

double DrumUnit::frameCross(double filtered) {
    const Frame f = startFrame(filtered);
    const MixLevels levels = mixLevels();
    double y;
    if (wide_) {
        lanes_.run(history_, table_, f.fmSamples, appliedRadius_, kTableStepsPerMetre,
                   {-kInfinity, true}, kCrossLanes);
        y = mixCross(f, levels, sideRay(), lanes_.lambdas(), lanes_.mus(), lanes_.inputs(),
                     lanes_.attenuations(), history_.angleBefore(rays_[0].pathSamples),
                     rotor_.speed());
    } else {
        const double e = f.e;
        const int side = sideRay();
        const double sides = levels.ray[kRayBackSides];
        double sum = crossRay(0, 1.0, f) * levels.ray[kRayFront];
        if (side != 0) sum += rays_[side].reflect(crossRay(side, e, f) * sides, q1_);
        sum += rays_[3].reflect(crossRay(3, e, f) * sides, q1_);
        const double st = staticRay(f, history_.inputBefore(rays_[0].pathSamples), levels.mech,
                                    history_.angleBefore(rays_[0].pathSamples), rotor_.speed());
        y = st * levels.staticLevel + sum;
    }
    finishFrame(f.update);
    return y;
}

double DrumUnit::mixCross(const Frame& f, const MixLevels& levels, int side, const double* lambda,
                          const double* mu, const double* sigma, const double* attenuation,
                          double retardedAngle, double speed) {
    const double e = f.e;
    const double sides = levels.ray[kRayBackSides];
    const auto ray = [&](int lane, int i, double weight) {
        return crossRayFrom(i, weight, f, lambda[lane], mu[lane], sigma[lane], attenuation[lane]);
    };
    double sum = ray(0, 0, 1.0) * levels.ray[kRayFront];
    if (side != 0) sum += rays_[side].reflect(ray(kCrossSideLane, side, e) * sides, q1_);
    sum += rays_[3].reflect(ray(kCrossBackLane, 3, e) * sides, q1_);
    const double st = staticRay(f, sigma[kCrossStaticLane], levels.mech, retardedAngle, speed);
    return st * levels.staticLevel + sum;
}

// ---- runs of samples ------------------------------------------------------------

namespace {

// The lanes' displacement phases of one sample, as updateMainDirectivity asks
// for them.
struct LanePhases {
    const double* values;
    double mu(int i) const { return values[i]; }
};

} // namespace

void DrumUnit::processRun(const double* x, double* y, double* lowStatic, double* mech, int n) {
    for (int done = 0; done < n; done += kMaxRun) {
        const int count = std::min(kMaxRun, n - done);
        runPiece(x + done, y + done, lowStatic ? lowStatic + done : nullptr,
                 mech ? mech + done : nullptr, count);
    }
}

void DrumUnit::runPiece(const double* x, double* y, double* lowStatic, double* mech, int n) {
    applyTuning();
    // The source's values for these samples, where it has them.
    const double* shared = inputSource_ ? inputSource_->inputRun_.reuse(input_, x, n) : nullptr;
    reusedInput_ = shared != nullptr;
    Frame settings;
    settings.e = reflection_.load();
    settings.fmSamples = fmRadius_.load() * samplesPerMetre_;
    settings.update = false;
    if (!wide_) {
        tookRotorSteps_ = false;
        double* filtered = shared ? nullptr : inputRun_.begin(input_, x, n);
        for (int j = 0; j < n; ++j) {
            const double v = shared ? shared[j] : (filtered[j] = input_.process(x[j]));
            y[j] = isCross() ? frameCross(v) : frameMain(v);
            if (lowStatic) lowStatic[j] = lowStaticOutput_;
        }
        if (mech && player_)
            player_->processRun(mech, n);
        else if (mech)
            std::fill_n(mech, n, 0.0);
        if (!shared) inputRun_.finish(input_);
        return;
    }

    // The input filter's values (filtered here unless the source's are taken),
    // then the rays.
    double* values = shared ? nullptr : inputRun_.begin(input_, x, n);
    if (isCross())
        startFramesAny<true>(x, shared, values, n, settings.fmSamples);
    else
        startFramesAny<false>(x, shared, values, n, settings.fmSamples);
    if (!shared) inputRun_.finish(input_);
    // The filters and the mix, sample by sample.
    if (isCross())
        runPieceCross(settings, n, y);
    else
        runPieceMain(settings, n, y, lowStatic, mech);
}

template <bool Cross>
void DrumUnit::startFramesAny(const double* x, const double* shared, double* filtered, int n,
                              double fmSamples) {
    if (shared) {
        startFramesWide<Cross>(shared, n, fmSamples);
        return;
    }
    // The input filter over the whole run first: its sections run as a
    // wavefront, each sample waiting for one section's step instead of four.
    if (input_.wideKernels()) {
        std::copy(x, x + n, filtered);
        MultiFilter::chainBlockWide(&input_, 1, filtered, n);
    } else {
        for (int j = 0; j < n; ++j) filtered[j] = input_.process(x[j]);
    }
    startFramesWide<Cross>(filtered, n, fmSamples);
}

// The frames' starts and every sample's rays from the input filter's values:
// the cross unit's register of lanes with a lead and no clamp, or the main
// unit's with the clamp and no lead. The rotor takes the source's steps where
// it can (see tookRotorSteps). In three passes: the rotor's angles with each
// sample's retarded angles, then the lobes (where each sample's reads go),
// then the delayed reads. A sample's work in one pass is a long chain of
// dependent steps; split up, the processor runs several samples' chains side
// by side. Each pass writes into the history what the others would have found
// there sample by sample (angles, then inputs), so every read sees what it
// would have seen in one pass.
template <bool Cross>
void DrumUnit::startFramesWide(const double* values, int n, double fmSamples) {
    using Lanes = DrumRayLanes<kRayLanes>;
    constexpr int kLanesRun = Cross ? kCrossLanes : kRayLanes;
    const Lanes::Shape shape{Cross ? -kInfinity : drum::kClosestApproach, Cross};
    Lanes::Constants c(lanes_, 0, fmSamples, appliedRadius_, kTableStepsPerMetre, shape);
    const Rotor::Course before = rotor_.course();
    const DrumUnit* source = stepsSource(before, n);
    const int start = history_.writeIndex();
    const auto outAt = [this](int j) {
        const int at = j * kRayLanes;
        return Lanes::Out{runLanes_.lambda + at, runLanes_.mu + at, runLanes_.input + at,
                          runLanes_.attenuation + at};
    };
    // The first pass, once with the source's steps and once with the rotor's
    // own: the angles and each sample's retarded angles.
    const auto angles = [&](auto follow) __attribute__((always_inline, target("avx2,fma"))) {
        for (int j = 0; j < n; ++j) {
            double angle;
            if constexpr (follow) {
                angle = source->runAngle_[j];
                runSpeed_[j] = source->runSpeed_[j];
            } else {
                angle = rotor_.step();
                runSpeed_[j] = rotor_.speed();
            }
            runAngle_[j] = angle;
            history_.writeAngleAhead(j, angle);
            runRetarded_[j] = history_.angleBeforeAhead(j, rays_[0].pathSamples);
            lanes_.angleShaped<kLanesRun>(history_, c, (start + j) & SourceHistory::kMask,
                                          runReads_[j]);
        }
    };
    if (source)
        angles(std::true_type{});
    else
        angles(std::false_type{});
    // The second: the lobes, and where the reads go.
    bool odd = false;
    for (int j = 0; j < n; ++j)
        lanes_.placeShaped<kLanesRun, !Cross, Cross>(c, (start + j) & SourceHistory::kMask,
                                                     outAt(j), runReads_[j], odd);
    // The third: the reads. Where no read looks at a sample written after its own,
    // the run's inputs go in first: a read then never waits for the store of
    // an input a few samples before it (the processor cannot hand a wide load
    // the values of narrower stores still on their way).
    if (!odd && lanes_.readsStayBehind(fmSamples, shape, kLanesRun)) {
        history_.writeInputsAhead(values, n);
        for (int j = 0; j < n; ++j)
            Lanes::readShaped<kLanesRun>(history_, table_, runReads_[j], outAt(j));
    } else {
        for (int j = 0; j < n; ++j) {
            history_.writeInputAhead(j, values[j]);
            Lanes::readShaped<kLanesRun>(history_, table_, runReads_[j], outAt(j));
        }
    }
    history_.advanceBy(n);
    if (source) rotor_.takeMotion(source->rotorSteps_.after);
    tookRotorSteps_ = source != nullptr;
    rotorSteps_ = rotor_.stepsSince(before, n);
}

const DrumUnit* DrumUnit::stepsSource(const Rotor::Course& course, int n) const {
    const DrumUnit* s = inputSource_;
    return s && s != this && s->rotorSteps_.fit(course, n) ? s : nullptr;
}

// In three passes: the splitters of every sample, the sections of every sample
// (taking new targets on the update samples), then the mix and the player
// sample by sample.
void DrumUnit::runPieceMain(const Frame& settings, int n, double* y, double* lowStatic,
                            double* mech) {
    const MixLevels levels = mixLevels();
    // The sections' path for the whole run (either gives the same values).
    const SectionPath path = sections_.fastestPath();
    splitRun(n);
    sectionsRun(path, n);
    // The mix of mixMainRays with the four reflected rays (the side ray the back
    // region lets in, rays 3, 4 and 5) side by side in one register, each lane
    // through the same operations, their states kept there for the run; a side
    // lane the back region leaves out keeps its state and is not heard.
    const std::array<double, kRayLevelCount>& level = levels.ray;
    const int side = sideRay();
    const int sideLane = side != 0 ? side : 1;
    double levelSum = level[kRayFront];
    if (side != 0) levelSum += level[kRayBackSides];
    levelSum += level[kRayBackSides];
    levelSum += level[kRayBackLeft];
    levelSum += level[kRayBackRight];
    const double e = settings.e, e2 = e * e;
    const __m256d weight = _mm256_setr_pd(e, e, e2, e2);
    const __m256d rayLevel = _mm256_setr_pd(level[kRayBackSides], level[kRayBackSides],
                                            level[kRayBackLeft], level[kRayBackRight]);
    const __m256d pole = _mm256_setr_pd(q1_, q1_, q2_, q2_);
    const __m256d guard = _mm256_set1_pd(kEngineGuard);
    const double roomFactor = roomFactor_;
    const __m256d room = _mm256_set1_pd(roomFactor);
    const __m256d keep = _mm256_castsi256_pd(_mm256_setr_epi64x(side != 0 ? 0 : -1, 0, 0, 0));
    __m256d state = _mm256_setr_pd(rays_[sideLane].reflected, rays_[3].reflected,
                                   rays_[4].reflected, rays_[5].reflected);
    // The static ray's and the splitter's one-poles kept in registers for the
    // run (finishMain's steps on them), as staticRayHeld says.
    HeldStatic held = holdStatic();
    double lowState = lowStatic_;
    double lowOutput = lowStaticOutput_;
    const double splitterPole = splitterPole_;
    const double staticLevel = levels.staticLevel;
    for (int j = 0; j < n; ++j) {
        const bool update = (counter_ & updateMask_) == 0;
        const int at = j * kRayLanes;
        const double* out = runLanes_.sectionOut + at;
        // The rays' gains: attenuation times the room factor.
        const double* attenuation = runLanes_.attenuation + at;
        const __m256d alpha = _mm256_mul_pd(
            _mm256_setr_pd(attenuation[sideLane], attenuation[3], attenuation[4], attenuation[5]),
            room);
        const __m256d rays = _mm256_mul_pd(
            _mm256_mul_pd(
                _mm256_mul_pd(_mm256_setr_pd(out[sideLane], out[3], out[4], out[5]), alpha),
                weight),
            rayLevel);
        // poleToward, lane by lane.
        __m256d next = _mm256_add_pd(rays, _mm256_mul_pd(pole, _mm256_sub_pd(state, rays)));
        next = _mm256_sub_pd(_mm256_add_pd(next, guard), guard);
        state = _mm256_blendv_pd(next, state, keep);
        const __m128d low = _mm256_castpd256_pd128(state);
        const __m128d high = _mm256_extractf128_pd(state, 1);
        double h = out[0] * (attenuation[0] * roomFactor) * 1.0 * level[kRayFront];
        if (side != 0) h += _mm_cvtsd_f64(low);
        h += _mm_cvtsd_f64(_mm_unpackhi_pd(low, low));
        h += _mm_cvtsd_f64(high);
        h += _mm_cvtsd_f64(_mm_unpackhi_pd(high, high));
        // finishMain and staticRay with the states above.
        const double st =
            staticRayHeld(held, runLanes_.input[at + kMainStaticLane], update, levels.mech, j);
        lowState = poleToward(lowState, st, splitterPole);
        lowOutput = lowState * levels.lowStaticGain * levelSum;
        y[j] = (st - lowState) * staticLevel + h;
        ++counter_;
        if (lowStatic) lowStatic[j] = lowOutput;
    }
    staticLowPass_ = held.low;
    lowStatic_ = lowState;
    lowStaticOutput_ = lowOutput;
    alignas(32) double reflected[4];
    _mm256_store_pd(reflected, state);
    rays_[sideLane].reflected = reflected[0];
    rays_[3].reflected = reflected[1];
    rays_[4].reflected = reflected[2];
    rays_[5].reflected = reflected[3];
    if (mech && player_)
        player_->processRun(mech, n);
    else if (mech)
        std::fill_n(mech, n, 0.0);
}

void DrumUnit::splitRun(int n) {
    if (n <= 0) return;
    // The two registers of lanes side by side in one loop: each splitter's
    // recursion waits for its own last step only, so the two overlap.
    static_assert(kSectionLanes == 8);
    const __m256d pole = _mm256_set1_pd(splitterPole_);
    const __m256d guard = _mm256_set1_pd(kEngineGuard);
    const __m256d heardLow = heardMask(&heard_[0]), heardHigh = heardMask(&heard_[4]);
    __m256d splitLow = _mm256_load_pd(&split_[0]), splitHigh = _mm256_load_pd(&split_[4]);
    for (int j = 0; j < n; ++j) {
        const int at = j * kRayLanes;
        _mm256_store_pd(runLanes_.sectionIn + at, splitStep(_mm256_load_pd(runLanes_.input + at),
                                                            pole, guard, heardLow, splitLow));
        _mm256_store_pd(
            runLanes_.sectionIn + at + 4,
            splitStep(_mm256_load_pd(runLanes_.input + at + 4), pole, guard, heardHigh, splitHigh));
    }
    _mm256_store_pd(&split_[0], splitLow);
    _mm256_store_pd(&split_[4], splitHigh);
    const double* lambdas = runLanes_.lambda + (n - 1) * kRayLanes;
    _mm256_store_pd(&lastLambda_[0], _mm256_blendv_pd(_mm256_load_pd(&lastLambda_[0]),
                                                      _mm256_load_pd(lambdas), heardLow));
    _mm256_store_pd(&lastLambda_[4], _mm256_blendv_pd(_mm256_load_pd(&lastLambda_[4]),
                                                      _mm256_load_pd(lambdas + 4), heardHigh));
}

void DrumUnit::sectionsRun(SectionPath path, int n) {
    uint32_t counter = counter_;
    for (int j = 0; j < n;) {
        if ((counter & updateMask_) == 0) {
            updateMainDirectivity(LanePhases{runLanes_.mu + j * kRayLanes});
            snapDirectivity_ = false;
        }
        // The stretch up to the next update sample.
        int length = 1;
        while (j + length < n && ((counter + length) & updateMask_) != 0) ++length;
        sections_.processSpan(runLanes_.sectionIn + j * kRayLanes,
                              runLanes_.sectionOut + j * kRayLanes, length, path);
        j += length;
        counter += length;
    }
}

// mixCross for each sample, with the three rays (ray 0, the side ray the back
// region lets in, ray 3: the lanes' first three) side by side in one AVX2
// register of double, their directivity one-poles' and reflections' states kept
// there for the run. Each lane goes through the same operations as the ray does
// in mixCross, and the sum is taken in the same order; a side ray the back
// region leaves out keeps its states (as the static lane does) and is not
// heard.
void DrumUnit::runPieceCross(const Frame& settings, int n, double* y) {
    if (n <= 0) return;
    const MixLevels levels = mixLevels();
    const int side = sideRay();
    const int sideRay = side != 0 ? side : 1;
    RayTrack* rays[kCrossLanes] = {&rays_[0], &rays_[sideRay], &rays_[3], &rays_[3]};
    alignas(32) double buffer[kCrossLanes];
    const auto gather = [&](double RayTrack::*member) __attribute__((target("avx2,fma"))) {
        for (int i = 0; i < kCrossLanes; ++i) buffer[i] = rays[i]->*member;
        return _mm256_load_pd(buffer);
    };
    const auto scatter = [&](double RayTrack::*member, __m256d v, bool withSide)
        __attribute__((target("avx2,fma"))) {
        _mm256_store_pd(buffer, v);
        rays[0]->*member = buffer[0];
        if (withSide) rays[kCrossSideLane]->*member = buffer[kCrossSideLane];
        rays[kCrossBackLane]->*member = buffer[kCrossBackLane];
    };
    // Lanes that go on: ray 0 and ray 3, the side ray where heard; for the
    // reflections the side ray (where heard) and ray 3.
    const __m256d on = _mm256_castsi256_pd(_mm256_setr_epi64x(-1, side != 0 ? -1 : 0, -1, 0));
    const __m256d reflects = _mm256_castsi256_pd(_mm256_setr_epi64x(0, side != 0 ? -1 : 0, -1, 0));
    __m256d coef = gather(&RayTrack::coef);
    __m256d target = gather(&RayTrack::coefTarget);
    __m256d lowPass = gather(&RayTrack::lowPass);
    __m256d reflected = gather(&RayTrack::reflected);
    const __m256d glide = _mm256_set1_pd(coefGlide_);
    const __m256d room = _mm256_set1_pd(roomFactor_);
    const __m256d guard = _mm256_set1_pd(kEngineGuard);
    const __m256d q1 = _mm256_set1_pd(q1_);
    const __m256d sides = _mm256_set1_pd(levels.ray[kRayBackSides]);
    const double e = settings.e;
    const __m256d weight = _mm256_setr_pd(1.0, e, e, e);
    const double front = levels.ray[kRayFront];
    // The static ray's low-pass in a register for the run.
    HeldStatic held = holdStatic();
    for (int j = 0; j < n; ++j) {
        Frame f = settings;
        f.update = (counter_ & updateMask_) == 0;
        const int at = j * kRayLanes;
        if (f.update) {
            _mm256_store_pd(buffer, target);
            for (int i = 0; i < kCrossLanes; ++i)
                if (i != kCrossStaticLane && (i != kCrossSideLane || side != 0))
                    buffer[i] = tables_.live().crossPoles.at(facingTurn(runLanes_.mu[at + i]));
            target = _mm256_load_pd(buffer);
            if (snapDirectivity_) coef = _mm256_blendv_pd(coef, target, on);
        }
        // directivityLowPass: the coefficient glides (smoothToward), then the
        // one-pole (poleToward), each guarded.
        const __m256d sigma = _mm256_load_pd(runLanes_.input + at);
        __m256d nextCoef = _mm256_add_pd(coef, _mm256_mul_pd(_mm256_sub_pd(target, coef), glide));
        nextCoef = _mm256_sub_pd(_mm256_add_pd(nextCoef, guard), guard);
        coef = _mm256_blendv_pd(coef, nextCoef, on);
        __m256d nextLow = _mm256_add_pd(sigma, _mm256_mul_pd(coef, _mm256_sub_pd(lowPass, sigma)));
        nextLow = _mm256_sub_pd(_mm256_add_pd(nextLow, guard), guard);
        lowPass = _mm256_blendv_pd(lowPass, nextLow, on);
        const __m256d alpha = _mm256_mul_pd(_mm256_load_pd(runLanes_.attenuation + at), room);
        const __m256d ray = _mm256_mul_pd(_mm256_mul_pd(lowPass, alpha), weight);
        // The reflections (poleToward toward the ray at its level).
        const __m256d level = _mm256_mul_pd(ray, sides);
        __m256d nextReflected =
            _mm256_add_pd(level, _mm256_mul_pd(q1, _mm256_sub_pd(reflected, level)));
        nextReflected = _mm256_sub_pd(_mm256_add_pd(nextReflected, guard), guard);
        reflected = _mm256_blendv_pd(reflected, nextReflected, reflects);
        const __m128d low = _mm256_castpd256_pd128(reflected);
        double sum = _mm_cvtsd_f64(_mm256_castpd256_pd128(ray)) * front;
        if (side != 0) sum += _mm_cvtsd_f64(_mm_unpackhi_pd(low, low));
        sum += _mm_cvtsd_f64(_mm256_extractf128_pd(reflected, 1));
        // staticRay with the state above.
        const double st =
            staticRayHeld(held, runLanes_.input[at + kCrossStaticLane], f.update, levels.mech, j);
        y[j] = st * levels.staticLevel + sum;
        if (f.update) snapDirectivity_ = false;
        ++counter_;
    }
    staticLowPass_ = held.low;
    scatter(&RayTrack::coef, coef, side != 0);
    scatter(&RayTrack::coefTarget, target, side != 0);
    scatter(&RayTrack::lowPass, lowPass, side != 0);
    scatter(&RayTrack::reflected, reflected, side != 0);
    const double* lambda = runLanes_.lambda + (n - 1) * kRayLanes;
    lastLambda_[0] = lambda[0];
    if (side != 0) lastLambda_[side] = lambda[kCrossSideLane];
    lastLambda_[3] = lambda[kCrossBackLane];
}

} // namespace zel
