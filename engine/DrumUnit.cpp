#include "engine/DrumUnit.h"

#include "engine/OnePole.h"

#include <algorithm>
#include <cmath>

namespace zel {

namespace {

constexpr double kRoomFactorPower = 0.7;
constexpr double kDefaultMicDistance = 1.0;

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
}

// Values that re-tune filters at once when they change: compared with what was
// applied at every sample, so a change from any thread is picked up here.
void DrumUnit::applyTuning() {
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

DrumUnit::Frame DrumUnit::beginFrame(double x) {
    applyTuning();
    return startFrame(input_.process(x));
}

void DrumUnit::mainRayInputs(const Frame& f, int side, const double* weights) {
    batch_.run(history_, table_, f.fmSamples, appliedRadius_, kTableStepsPerMetre,
               drum::kClosestApproach);
    for (int i = 0; i < kImageRays; ++i) {
        // A side ray the back region leaves out runs its low-pass on silence.
        if ((i == 1 || i == 2) && i != side) {
            rayInput_[i] = 0.0;
            if (f.update) sections_.freeze(i);
            continue;
        }
        RayTrack& ray = rays_[i];
        const double sigma = batch_.input(i);
        lastLambda_[i] = batch_.lambda(i);
        // The splitter keeps the low part out of the rotation.
        ray.split = poleToward(ray.split, sigma, splitterPole_);
        if (f.update) {
            sections_.setTarget(i, tables_.live().lowPass.at(facingTurn(batch_.mu(i))));
            if (snapDirectivity_) sections_.snap(i);
        }
        rayInput_[i] = sigma - ray.split;
        rayAlpha_[i] = batch_.attenuation(i) * roomFactor_;
        rayWeight_[i] = weights[i];
    }
}

double DrumUnit::crossRay(int i, double weight, const Frame& f) {
    RayTrack& ray = rays_[i];
    const LobePoint p = ray.lobeNow(history_);
    lastLambda_[i] = p.lambda;
    // Measured from the microphone, plus twice the radius so the nearest approach
    // keeps a positive delay.
    const double delay = (p.lambda + 2.0) * f.fmSamples + ray.pathSamples;
    const double alpha = alphaAt(ray, p.lambda);
    const double sigma = history_.inputBefore(delay);
    if (f.update) {
        ray.coefTarget = tables_.live().crossPoles.at(facingTurn(p.mu));
        if (snapDirectivity_) ray.coef = ray.coefTarget;
    }
    return ray.directivityLowPass(sigma, coefGlide_) * alpha * weight;
}

double DrumUnit::staticRay(const Frame& f) {
    // The static ray does not rotate: no Doppler, a fixed attenuation, a one-pole
    // low-pass. The cross unit measures it from the microphone.
    const double delay = rays_[0].pathSamples;
    const double low = staticLowPassed(history_.inputBefore(delay), f.update);
    if (player_)
        player_->handOver(staticAlpha_ * mechLevel_.load(), history_.angleBefore(delay),
                          appliedMicAngle_, rotor_.speed());
    return staticAlpha_ * low;
}

double DrumUnit::process(double x) {
    return isCross() ? processCross(x) : processMain(x);
}

double DrumUnit::processMain(double x) {
    const Frame f = beginFrame(x);
    std::array<double, kRayLevelCount> level;
    for (int n = 0; n < kRayLevelCount; ++n) level[n] = rayLevels_[n].load();
    const double e = f.e, e2 = e * e;

    // The side ray of the back region (none in region 1).
    const int side = backRegion_ == 0 ? 1 : (backRegion_ == 2 ? 2 : 0);
    const double weights[kImageRays] = {1.0, e, e, e, e2, e2};
    mainRayInputs(f, side, weights);
    std::array<double, kSectionLanes> ray;
    sections_.process(rayInput_.data(), ray.data());
    for (int i = 0; i < kImageRays; ++i) ray[i] = ray[i] * rayAlpha_[i] * rayWeight_[i];

    double h = ray[0] * level[kRayFront];
    double levelSum = level[kRayFront];
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

    const double st = staticRay(f);
    lowStatic_ = poleToward(lowStatic_, st, splitterPole_);
    lowStaticOutput_ = lowStatic_ * lowStaticGain_.load() * levelSum;
    const double y = (st - lowStatic_) * staticRayLevel_.load() + h;
    finishFrame(f.update);
    return y;
}

double DrumUnit::processCross(double x) {
    const Frame f = beginFrame(x);
    const double front = rayLevels_[kRayFront].load();
    const double sides = rayLevels_[kRayBackSides].load();
    const double e = f.e;

    double sum = crossRay(0, 1.0, f) * front;
    if (backRegion_ != 1) {
        const int side = backRegion_ == 0 ? 1 : 2;
        sum += rays_[side].reflect(crossRay(side, e, f) * sides, q1_);
    }
    sum += rays_[3].reflect(crossRay(3, e, f) * sides, q1_);
    const double y = staticRay(f) * staticRayLevel_.load() + sum;
    finishFrame(f.update);
    return y;
}

} // namespace zel
