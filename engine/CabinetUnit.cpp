#include "engine/CabinetUnit.h"

#include <algorithm>

namespace zel {

namespace {

double clampedRadius(double metres) {
    return std::clamp(metres, cabinet::kMinAmRadius, cabinet::kMaxAmRadius);
}

} // namespace

CabinetUnit::CabinetUnit(RotorDirection direction, bool cross, std::optional<MechNoiseSource> noise,
                         double micDistance)
    : cross_(cross), rotor_(direction), micDistance_(micDistance),
      appliedMicDistance_(micDistance) {
    if (noise) player_.emplace(*noise);
}

// ---- settings ---------------------------------------------------------------

void CabinetUnit::setMicDistance(double metres) {
    micDistance_.store(metres);
    if (player_) player_->setMicDistance(metres);
}

void CabinetUnit::setSlowSampleLevel(double v) {
    if (player_) player_->setSlowLevel(v);
}
void CabinetUnit::setFastSampleLevel(double v) {
    if (player_) player_->setFastLevel(v);
}
void CabinetUnit::setAccelSampleLevel(double v) {
    if (player_) player_->setAccelLevel(v);
}
void CabinetUnit::setDecelSampleLevel(double v) {
    if (player_) player_->setDecelLevel(v);
}
void CabinetUnit::startTransition() {
    if (player_) player_->startTransition();
}

MicPoint CabinetUnit::crossPathMicPosition() const {
    const double radius = clampedRadius(amRadius_.load());
    const MicPoint mic = micPoint(micAngle_.load(), micDistance_.load());
    return {mic.x / radius, mic.y / radius};
}

// ---- rebuild steps (audio thread) -------------------------------------------

void CabinetUnit::rebuild() {
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

CabinetUnit::Placement CabinetUnit::placeMicrophone(double firstWall, double secondWall) {
    appliedMicAngle_ = micAngle_.load();
    appliedMicDistance_ = micDistance_.load();
    appliedRadius_ = clampedRadius(amRadius_.load());
    table_.build(
        {appliedRadius_, attenuation_.load(), attenuationDistance_.load(), decayExponent_.load()});

    const bool unflipped = appliedFlip_ <= 0;
    const double side1 = unflipped ? firstWall : secondWall;
    const double side2 = unflipped ? secondWall : firstWall;
    return {cabinetHalf(facesBack(appliedMicAngle_), side1, side2),
            micPoint(appliedMicAngle_, appliedMicDistance_)};
}

void CabinetUnit::placeStaticRay(const RayPath& front, double power) {
    roomFactor_ = roomFactorOf(table_, front, appliedRadius_, power);
    staticAlpha_ = table_.at(front.distance) * roomFactor_;
}

void CabinetUnit::setRotorRate(double rate, int factor) {
    rotor_.setUnitRate(rate, factor);
    rate_ = rotor_.unitRate();
    updateMask_ = rotor_.directivityMask();
}

void CabinetUnit::updateSharedRateTerms() {
    samplesPerMetre_ = rate_ * cabinet::kSecondsPerMetre;
    coefGlide_ = smoothingCoef(kDirectivityCoefSeconds, rate_);
    staticCoefHz_ = -1; // the static low-pass's pole belongs to the old rate
}

void CabinetUnit::clearSharedState() {
    history_.clear();
    counter_ = 0;
    snapDirectivity_ = true;
    staticLowPass_ = 0;
    if (player_) player_->setRate(rate_);
}

} // namespace zel
