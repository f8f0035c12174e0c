#include "engine/AmpStage.h"

#include "engine/OnePole.h"
#include "engine/data/EngineFilterTables.h"

#include <cmath>

namespace zel {

namespace {

// The tracker follows the curve's DC with a decay to 0.109 over 50 ms.
constexpr double kTrackerDecay = 0.109;
constexpr double kTrackerSeconds = 0.1;

void configure(BiquadFilter& f, const enginefilters::SectionSetting& s) {
    f.setType(s.type);
    f.setAll(s.hz, s.q, s.db);
    f.setEnabled(s.enabled);
}

} // namespace

AmpStage::AmpStage() noexcept {
    configure(presence_, enginefilters::kPresence);
    configure(loMid_, enginefilters::kLoMid);
    configure(topShelf_, enginefilters::kTopShelf);
    configure(bottom_, enginefilters::kBottom);
    setRate(BiquadFilter::kDefaultRate);
}

void AmpStage::setRate(double hostRate) noexcept {
    for (BiquadFilter* f : {&presence_, &loMid_, &topShelf_, &bottom_}) f->setRate(hostRate);
    kdc_ = 1.0 - std::pow(kTrackerDecay, 2.0 / (kTrackerSeconds * hostRate));
}

void AmpStage::setTone(const ToneSettings& t) noexcept {
    presence_.setAll(enginefilters::kPresence.hz, t.presenceQ, t.presenceDb);
    loMid_.setAll(enginefilters::kLoMid.hz, t.loMidQ, t.loMidDb);
    topShelf_.setAll(enginefilters::kTopShelf.hz, enginefilters::kTopShelf.q,
                     t.topShelfDb * kShelfDbScale);
    bottom_.setAll(enginefilters::kBottom.hz, enginefilters::kBottom.q, t.bottomDb * kShelfDbScale);
}

void AmpStage::clear() noexcept {
    for (BiquadFilter* f : {&presence_, &loMid_, &topShelf_, &bottom_}) f->clear();
    dc_ = 0.0;
}

void AmpStage::setImmediate(bool on) noexcept {
    for (BiquadFilter* f : {&presence_, &loMid_, &topShelf_, &bottom_}) f->setImmediate(on);
}

double AmpStage::tubeCurve(double x) noexcept {
    double y = x >= 0.0 ? x / (1.0 + 0.5 * x) : 2.0 * x / (2.0 - 0.25 * x);
    y *= 0.55;
    return (1.5 * y - 0.5 * y * y * y - 0.3) * 1.4;
}

double AmpStage::shape(double m, int32_t type, double drive) noexcept {
    if (type != kAmpTube && type != kAmpSolid) return m;
    if (type == kAmpTube) {
        // The tracker follows the curve also while the input is quiet, so that it
        // has settled on the curve's resting value when the signal comes back.
        const double t = tubeCurve(-tubeCurve(drive * m * kTubeInputScale));
        dc_ = smoothToward(dc_, -t, kdc_);
        if (std::abs(m) < kQuietInput) return m;
        return (-t - dc_) / drive;
    }
    if (std::abs(m) < kQuietInput) return m;
    const double o = drive * m * kSolidInputScale;
    const double q = (std::abs(o + 1.0) - std::abs(o - 1.0)) * 0.5;
    return (1.5 * q - 0.5 * q * q * q) * 0.5 / drive;
}

void AmpStage::shapeRun(const double* m, const int32_t* type, const double* drive, double* out,
                        int n) noexcept {
    for (int i = 0; i < n; ++i) out[i] = shape(m[i], type[i], drive[i]);
}

double AmpStage::tone(double x) noexcept {
    return bottom_.process(topShelf_.process(loMid_.process(presence_.process(x))));
}

} // namespace zel
