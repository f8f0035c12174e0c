#include "engine/HornUnit.h"

#include "engine/OnePole.h"

#include <algorithm>
#include <cmath>

namespace zel {

namespace {

// The full unit's room factor is softened by this power.
constexpr double kRoomFactorPower = 0.7;

// Output gain against the microphone distance.
constexpr double kGainBase = 1.3;
constexpr double kGainSlope = 0.5;
constexpr double kGainDistanceStart = 0.35;
constexpr double kGainDistanceScale = 0.6060606060606061;
constexpr double kGainDistanceOffset = 0.1;
constexpr double kGainPower = 0.75;

void configureCascade(MultiFilter& cascade, const horn::EqSection* sections, double rate) {
    std::array<BiquadFilter, MultiFilter::kSections> s;
    for (int k = 0; k < MultiFilter::kSections; ++k) {
        s[k] = BiquadFilter(rate, sections[k].type, sections[k].hz, sections[k].q, sections[k].db);
        s[k].setEnabled(sections[k].enabled);
    }
    cascade.copyFrom(s.data());
}

} // namespace

HornUnit::HornUnit(Kind kind) : kind_(kind), rotor_(RotorDirection::Horn) {
    if (kind == Kind::Microphone1) player_.emplace(MechNoiseSource::HornUnit0);
    if (kind == Kind::Microphone2) player_.emplace(MechNoiseSource::HornUnit1);
    for (int i = 0; i < kImageRays; ++i) {
        const auto& a = horn::kLobeA[0];
        lobeA_[i] = BiquadFilter(rate_, kBiquadPeaking, a.hz, a.q, a.db);
        lobeB_[i] =
            BiquadFilter(rate_, kBiquadHighShelf, horn::kLobeBHz, horn::kLobeBQ, horn::kLobeBDb[0]);
        for (BiquadFilter* f : {&lobeA_[i], &lobeB_[i]}) {
            f->setEnabled(true);
            f->setImmediate(false); // directivity changes glide over 3 ms
        }
    }
    configureStaticEq();
    updateReflectionPoles(reflectionLowPass_.load());
    rebuild();
}

// ---- settings ---------------------------------------------------------------

void HornUnit::setMicDistance(double metres) {
    micDistance_.store(metres);
    if (player_) player_->setMicDistance(metres);
}

void HornUnit::setRayLevel(int ray, double level) {
    if (ray >= 0 && ray < kRayLevelCount) rayLevels_[ray].store(level);
}

void HornUnit::setSlowSampleLevel(double v) {
    if (player_) player_->setSlowLevel(v);
}
void HornUnit::setFastSampleLevel(double v) {
    if (player_) player_->setFastLevel(v);
}
void HornUnit::setAccelSampleLevel(double v) {
    if (player_) player_->setAccelLevel(v);
}
void HornUnit::setDecelSampleLevel(double v) {
    if (player_) player_->setDecelLevel(v);
}
void HornUnit::startTransition() {
    if (player_) player_->startTransition();
}

MicPoint HornUnit::crossPathMicPosition() const {
    const double radius =
        std::clamp(amRadius_.load(), cabinet::kMinAmRadius, cabinet::kMaxAmRadius);
    const MicPoint mic = micPoint(micAngle_.load(), micDistance_.load());
    return {mic.x / radius, mic.y / radius};
}

// ---- structure (audio thread) ----------------------------------------------

void HornUnit::rebuild() {
    const double flip = flip_.load();
    const bool flipped = flip != appliedFlip_;
    if (flipped) {
        appliedFlip_ = flip;
        rotor_.setFlip(flip);
    }
    computeGeometry();
    if (flipped)
        setUnitRate(rate_, rotor_.decimationFactor()); // re-rates and clears
    else
        updateRateTerms();
}

void HornUnit::computeGeometry() {
    appliedMicAngle_ = micAngle_.load();
    appliedMicDistance_ = micDistance_.load();
    appliedRadius_ = std::clamp(amRadius_.load(), cabinet::kMinAmRadius, cabinet::kMaxAmRadius);
    const double radius = appliedRadius_;

    // The first side wall (toward negative x) is the wide one unless flipped.
    const bool wideFirst = appliedFlip_ <= 0;
    const double side1 = wideFirst ? cabinet::kWideSideWall : cabinet::kNarrowSideWall;
    const double side2 = wideFirst ? cabinet::kNarrowSideWall : cabinet::kWideSideWall;
    const CabinetHalf half = cabinetHalf(facesBack(appliedMicAngle_), side1, side2);
    const MicPoint mic = micPoint(appliedMicAngle_, appliedMicDistance_);

    const double direct = directAngle(mic, half.r);
    backRegion_ =
        zel::backRegion(direct, cornerAngle(half, half.w1), cornerAngle(half, half.w2), half.r);

    table_.build({radius, attenuation_.load(), attenuationDistance_.load(), decayExponent_.load()});

    for (int i = 0; i < kImageRays; ++i) {
        const cabinet::ImageSource& image =
            i < horn::kFixedRays ? horn::kFixedImages[i]
                                 : horn::kRegionImages[backRegion_][i - horn::kFixedRays];
        rays_[i].place(traceRay(image, half, mic, radius), table_);
    }

    const bool openBack =
        !isCross() && backRegion_ == 1 && openBackMode_.load() != 0 && appliedFlip_ * half.r < 0;
    openBack_ = openBack ? cabinet::kOpenBackFactor : 1.0;

    const RayPath& front = rays_[0].path;
    roomFactor_ = roomFactorOf(table_, front, radius, isCross() ? 1.0 : kRoomFactorPower);
    staticAlpha_ = table_.at(front.distance) * roomFactor_;

    const double reach = std::max(
        (appliedMicDistance_ - kGainDistanceStart) * kGainDistanceScale + kGainDistanceOffset, 0.0);
    outputGain_ = (kGainBase - kGainSlope * std::pow(reach, kGainPower)) * horn::kOutputTrim;
}

void HornUnit::setUnitRate(double rate, int factor) {
    rotor_.setUnitRate(rate, factor);
    rate_ = rotor_.unitRate();
    updateMask_ = rotor_.directivityMask();
    for (int i = 0; i < kImageRays; ++i) {
        lobeA_[i].setRate(rate_);
        lobeB_[i].setRate(rate_);
    }
    configureStaticEq();
    updateReflectionPoles(reflectionLowPass_.load());
    updateRateTerms();
    clearState();
}

void HornUnit::updateRateTerms() {
    samplesPerMetre_ = rate_ * cabinet::kSecondsPerMetre;
    zA_ = horn::kFloorTapMetres * samplesPerMetre_;
    zB_ = horn::kCeilingTapMetres * samplesPerMetre_;
    coefGlide_ = smoothingCoef(kDirectivityCoefSeconds, rate_);
    // A cross unit measures its delays from the microphone.
    const double measuredFrom = isCross() ? appliedMicDistance_ : 0.0;
    for (RayTrack& ray : rays_) ray.setRate(samplesPerMetre_, measuredFrom);
}

void HornUnit::updateReflectionPoles(double octaves) {
    appliedReflectionLowPass_ = octaves;
    for (int n = 0; n < horn::kReflectionPoles; ++n)
        poles_[n] = poleFromFrequency(horn::kReflectionTopHz * std::exp2(-n * octaves), rate_);
}

void HornUnit::configureStaticEq() {
    if (isCross()) {
        for (int c = 0; c < kCrossEqCascades; ++c)
            configureCascade(staticEq_[c], &horn::kCrossEq[c * MultiFilter::kSections], rate_);
    } else {
        for (int c = 0; c < kStaticEqCascades; ++c)
            configureCascade(staticEq_[c], &horn::kStaticEq[c * MultiFilter::kSections], rate_);
    }
}

void HornUnit::clearState() {
    history_.clear();
    raySums_.fill(0.0);
    j_ = 0;
    counter_ = 0;
    snapDirectivity_ = true;
    for (RayTrack& ray : rays_) ray.clear();
    staticLowPass_ = 0;
    for (int i = 0; i < kImageRays; ++i) {
        lobeA_[i].clear();
        lobeB_[i].clear();
    }
    for (MultiFilter& cascade : staticEq_) cascade.clearState();
    if (player_) player_->setRate(rate_);
}

// ---- per sample -------------------------------------------------------------

HornUnit::Frame HornUnit::beginFrame(double x) {
    const double lowPassOctaves = reflectionLowPass_.load();
    if (lowPassOctaves != appliedReflectionLowPass_) updateReflectionPoles(lowPassOctaves);
    Frame f;
    f.e = reflection_.load();
    f.fmSamples = fmRadius_.load() * samplesPerMetre_;
    f.floor = amplitudeFloor_.load();
    f.update = (counter_ & updateMask_) == 0;
    history_.write(x, rotor_.step());
    return f;
}

void HornUnit::endFrame(const Frame& f) {
    if (f.update) snapDirectivity_ = false;
    ++counter_;
    history_.advance();
    j_ = (j_ + 1) & kRayBufferMask;
}

void HornUnit::updateDirectivityFull(int i, double mu) {
    const double turn = 1.0 - facingTurn(mu);
    const StepPosition pa = stepPosition(turn, horn::kLobeASteps);
    const auto& a0 = horn::kLobeA[pa.index];
    const auto& a1 = horn::kLobeA[pa.next];
    const double w = pa.weight;
    lobeA_[i].setAll(a0.hz + (a1.hz - a0.hz) * w, a0.q + (a1.q - a0.q) * w,
                     a0.db + (a1.db - a0.db) * w);
    const StepPosition pb = stepPosition(turn, horn::kLobeBSteps);
    lobeB_[i].setAll(horn::kLobeBHz, horn::kLobeBQ, stepLerp(horn::kLobeBDb, pb));
    if (snapDirectivity_) {
        lobeA_[i].snap();
        lobeB_[i].snap();
    }
}

void HornUnit::updateDirectivityCross(RayTrack& ray, double mu) {
    const StepPosition p = stepPosition(1.0 - facingTurn(mu), horn::kCrossLobeSteps);
    ray.coefTarget = poleFromDecay(stepLerp(horn::kCrossLobeHz, p), rate_);
    if (snapDirectivity_) ray.coef = ray.coefTarget;
}

double HornUnit::fullRay(int i, double weight, const Frame& f) {
    const RayTrack& ray = rays_[i];
    const LobePoint p = ray.lobeNow(history_);
    const double delay = p.lambda * f.fmSamples + ray.pathSamples;
    const double alpha =
        table_.atPosition(ray.tablePos + p.lambda * appliedRadius_ * kTableStepsPerMetre) *
        roomFactor_;
    const double sigma = history_.inputBefore(delay);
    if (f.update) updateDirectivityFull(i, p.mu);
    return lobeB_[i].process(lobeA_[i].process(sigma)) * std::max(alpha, f.floor) * weight;
}

double HornUnit::crossRay(int i, double weight, const Frame& f) {
    RayTrack& ray = rays_[i];
    const LobePoint p = ray.lobeNow(history_);
    // The mouth's extra path, measured from the microphone: its displacement plus
    // twice the radius, so the nearest approach still has a positive delay.
    const double delay = (p.lambda + 2.0) * f.fmSamples + ray.pathSamples;
    const double alpha =
        table_.atPosition(ray.tablePos + p.lambda * appliedRadius_ * kTableStepsPerMetre) *
        roomFactor_;
    const double sigma = history_.inputBefore(delay);
    if (f.update) updateDirectivityCross(ray, p.mu);
    return ray.directivityLowPass(sigma, coefGlide_) * alpha * weight;
}

double HornUnit::staticRay(const Frame& f) {
    // The static ray does not rotate: no Doppler, a fixed attenuation, a one-pole
    // low-pass. The cross unit measures it from the microphone.
    const double delay = isCross() ? rays_[0].pathSamples + f.fmSamples : rays_[0].retardSamples;
    const double alpha = isCross() ? staticAlpha_ : std::max(staticAlpha_, f.floor);
    const double sigma = history_.inputBefore(delay);
    if (f.update) staticCoef_ = poleFromDecay(staticCutoffHz_.load(), rate_);
    staticLowPass_ = poleToward(staticLowPass_, sigma, staticCoef_);
    if (player_)
        player_->handOver(alpha * mechLevel_.load(), 1.0 - history_.angleBefore(delay),
                          appliedMicAngle_, rotor_.speed());
    return staticLowPass_ * staticRayLevel_.load() * alpha;
}

double HornUnit::process(double x) {
    return isCross() ? processCross(x) : processFull(x);
}

double HornUnit::processFull(double x) {
    const Frame f = beginFrame(x);
    std::array<double, kRayLevelCount> level;
    for (int n = 0; n < kRayLevelCount; ++n) level[n] = rayLevels_[n].load();
    const double e = f.e, e2 = e * e, e3 = e2 * e, e4 = e3 * e, e5 = e4 * e;
    const double g = openBack_;

    double sum = fullRay(0, 1.0, f) * level[kRayFront];
    if (backRegion_ == 0)
        sum += rays_[6].reflect(fullRay(6, e, f) * level[kRayBackSides], poles_[0]);
    if (backRegion_ == 2)
        sum += rays_[7].reflect(fullRay(7, e, f) * level[kRayBackSides], poles_[0]);
    sum += rays_[1].reflect(fullRay(1, g * e, f) * level[kRayBackSides], poles_[0]);
    sum += rays_[2].reflect(fullRay(2, g * e2, f) * level[kRayBackRight], poles_[1]);
    sum += rays_[3].reflect(fullRay(3, g * e2, f) * level[kRayBackLeft], poles_[1]);
    sum += rays_[4].reflect(fullRay(4, g * e3, f) * level[kRayLbr], poles_[2]);
    sum += rays_[5].reflect(fullRay(5, g * e3, f) * level[kRayRbl], poles_[2]);
    sum += rays_[8].reflect(fullRay(8, e4, f) * level[kRayMisc], poles_[3]);
    sum += rays_[9].reflect(fullRay(9, e4, f) * level[kRayMisc], poles_[3]);
    sum += rays_[10].reflect(fullRay(10, e5, f) * level[kRayMisc], poles_[4]);
    sum += rays_[11].reflect(fullRay(11, e5, f) * level[kRayMisc], poles_[4]);
    sum += staticRay(f);

    // Floor and ceiling: the same rays arriving a little later.
    raySums_[j_] = sum;
    const double floor = readLinear(raySums_.data(), kRayBufferMask, kRayBufferLength, j_ - zA_);
    const double ceiling = readLinear(raySums_.data(), kRayBufferMask, kRayBufferLength, j_ - zB_);
    double y = sum + (floor + ceiling) * zAxisLevel_.load() * e2;

    for (int c = 0; c < kStaticEqCascades; ++c) y = staticEq_[c].process(y);
    endFrame(f);
    return y * outputGain_;
}

double HornUnit::processCross(double x) {
    const Frame f = beginFrame(x);
    const double front = rayLevels_[kRayFront].load();
    const double sides = rayLevels_[kRayBackSides].load();
    const double e = f.e;

    double sum = crossRay(0, 1.0, f) * front;
    if (backRegion_ == 0) sum += rays_[6].reflect(crossRay(6, e, f) * sides, poles_[0]);
    if (backRegion_ == 2) sum += rays_[7].reflect(crossRay(7, e, f) * sides, poles_[0]);
    sum += rays_[1].reflect(crossRay(1, e, f) * sides, poles_[0]);
    sum += staticRay(f);

    double y = sum;
    for (int c = 0; c < kCrossEqCascades; ++c) y = staticEq_[c].process(y);
    endFrame(f);
    return y;
}

} // namespace zel
