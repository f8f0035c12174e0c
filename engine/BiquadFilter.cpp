#include "engine/BiquadFilter.h"

#include "engine/OnePole.h"
#include "engine/SteadyChainLanes.h"

#include <algorithm>
#include <cmath>
#include <immintrin.h>

namespace zel {

namespace {

// Near-Nyquist widening: the bandwidth of a section grows as its frequency nears
// half the rate.
constexpr double kWideningEdge = 0.5001;
constexpr double kLowPassWideningEdge = 0.50001;
constexpr double kHighPassWidening = 6.0;
constexpr double kLowShelfWidening = 3.5;
constexpr double kPeakWidening = 2.8;
constexpr double kHighShelfWidening = 4.0;
constexpr double kLowPassWidening = 8.0;

// Saturation law constants.
constexpr double kSatReferenceRate = 44100.0;
constexpr double kSatFrequencyScale = 0.01 * 3.0;
constexpr double kSatQExponent = 0.75;
constexpr double kSlowDecay = 0.005;
constexpr double kSlowDecayHz = 30.0;

bool finite(const BiquadCoefficients& c) {
    return std::isfinite(c.a0) && std::isfinite(c.a1) && std::isfinite(c.a2) &&
           std::isfinite(c.b0) && std::isfinite(c.b1) && std::isfinite(c.b2);
}

double acceptedRate(double r) {
    return (r >= BiquadFilter::kMinRate && r <= BiquadFilter::kMaxRate)
               ? r
               : BiquadFilter::kDefaultRate;
}

int32_t glideLengthFor(double rate) {
    return static_cast<int32_t>(rate * BiquadFilter::kGlideSeconds);
}

} // namespace

BiquadFilter::BiquadFilter(double rate, int32_t type, double frequency, double q,
                           double gainDb) noexcept
    : rate_(acceptedRate(rate)), type_(type), frequency_(frequency), q_(q), gainDb_(gainDb),
      glideLength_(glideLengthFor(rate_)) {
    glideNow_[kGain] = glideTarget_[kGain] = 1.0;
    cur_ = target_;
    updateActive();
}

double BiquadFilter::clampFrequency(double hz) const noexcept {
    if (!(hz >= kMinFrequency)) return kMinFrequency; // also NaN
    const double top = kMaxFrequencyRatio * rate_;
    return hz > top ? top : hz;
}

static double clampQ(double q) {
    if (!(q >= BiquadFilter::kMinQ)) return BiquadFilter::kMinQ;
    return q > BiquadFilter::kMaxQ ? BiquadFilter::kMaxQ : q;
}

void BiquadFilter::setRate(double rate) noexcept {
    rate_ = acceptedRate(rate);
    glideLength_ = glideLengthFor(rate_);
    recompute();
    applySaturation();
}

void BiquadFilter::setType(int32_t type) noexcept {
    type_ = type;
    updateActive();
    recompute();
}

void BiquadFilter::setFrequency(double hz) noexcept {
    frequency_ = clampFrequency(hz);
    recompute();
}

void BiquadFilter::setFrequencyAndQ(double hz, double q) noexcept {
    frequency_ = clampFrequency(hz);
    q_ = clampQ(q);
    recompute();
}

void BiquadFilter::setAll(double hz, double q, double gainDb) noexcept {
    frequency_ = hz;
    q_ = q;
    gainDb_ = gainDb;
    recompute();
}

void BiquadFilter::setTarget(const BiquadCoefficients& c) noexcept {
    target_ = c;
    setUpGlide();
}

void BiquadFilter::setQ(double q) noexcept {
    q_ = clampQ(q);
    recompute();
    applySaturation();
}

void BiquadFilter::setGain(double gainDb) noexcept {
    if (!(gainDb >= -kMaxGainDb)) gainDb = -kMaxGainDb;
    if (gainDb > kMaxGainDb) gainDb = kMaxGainDb;
    gainDb_ = gainDb;
    recompute();
}

void BiquadFilter::setEnabled(bool on) noexcept {
    const int32_t e = on ? 1 : 0;
    if (e == enabled_) return;
    enabled_ = e;
    updateActive();
    recompute();
    snap();
}

void BiquadFilter::setImmediate(bool on) noexcept {
    const uint8_t b = on ? 1 : 0;
    if (b == immediate_) return;
    immediate_ = b;
    if (!on) snap();
}

void BiquadFilter::setSaturation(double amount) noexcept {
    satAmount_ = amount;
    applySaturation();
}

void BiquadFilter::applySaturation() noexcept {
    if (satAmount_ > 0.0) {
        const double b = frequency_ * kSatFrequencyScale * (kSatReferenceRate / rate_) * satAmount_;
        const double k = kDefaultSatScale / (b / std::pow(q_, kSatQExponent));
        satOn_ = 1;
        satScale_ = k;
        satInverse_ = 1.0 / k;
    } else {
        satOn_ = 0;
        satScale_ = kDefaultSatScale;
        satInverse_ = 1.0 / kDefaultSatScale;
    }
    slowCoef_ = 1.0 - std::pow(kSlowDecay, kSlowDecayHz / rate_);
}

void BiquadFilter::setBias(double bias) noexcept {
    if (!(bias >= -kMaxBias)) bias = -kMaxBias;
    if (bias > kMaxBias) bias = kMaxBias;
    satBias_ = bias;
}

void BiquadFilter::recompute() noexcept {
    computeTarget();
    if (!designOnly_) setUpGlide();
}

void BiquadFilter::computeTarget() noexcept {
    BiquadCoefficients c; // identity
    target_ = c;
    if (!enabled_) return;

    const double w = kTwoPi * frequency_ / rate_;
    const double cw = std::cos(w);
    const double sw = std::sin(w);
    const double A = std::pow(10.0, gainDb_ / 40.0);
    const double edge = frequency_ / (rate_ * kWideningEdge);
    auto widen = [edge](double p) { return 1.0 - std::pow(edge, p); };

    switch (type_) {
    case kBiquadHighPass: {
        const double alpha = sw / (widen(kHighPassWidening) * q_ * 2.0);
        const double n = 1.0 / (1.0 + alpha);
        c.a0 = 1.0 + alpha;
        c.b0 = c.b2 = (1.0 + cw) * 0.5 * n;
        c.b1 = -(1.0 + cw) * n;
        c.a1 = -2.0 * cw * n;
        c.a2 = (1.0 - alpha) * n;
        break;
    }
    case kBiquadFirstOrderHighPass: {
        const double beta = cw / (sw + 1.0);
        c.a1 = -beta;
        c.b0 = (beta + 1.0) * 0.5;
        c.b1 = -(beta + 1.0) * 0.5;
        c.a2 = c.b2 = 0.0;
        break;
    }
    case kBiquadLowShelf: {
        const double S = sw * std::sqrt(A) / (widen(kLowShelfWidening) * q_);
        c.a0 = (A + 1.0) + (A - 1.0) * cw + S;
        const double n = 1.0 / c.a0;
        c.b0 = A * ((A + 1.0) - (A - 1.0) * cw + S) * n;
        c.b1 = 2.0 * A * ((A - 1.0) - (A + 1.0) * cw) * n;
        c.b2 = A * ((A + 1.0) - (A - 1.0) * cw - S) * n;
        c.a1 = -2.0 * ((A - 1.0) + (A + 1.0) * cw) * n;
        c.a2 = ((A + 1.0) + (A - 1.0) * cw - S) * n;
        break;
    }
    case kBiquadPeaking: {
        const double alpha = sw / (widen(kPeakWidening) * q_ * 2.0);
        c.a0 = 1.0 + alpha / A;
        const double n = 1.0 / c.a0;
        c.b0 = (1.0 + alpha * A) * n;
        c.b1 = c.a1 = -2.0 * cw * n;
        c.b2 = (1.0 - alpha * A) * n;
        c.a2 = (1.0 - alpha / A) * n;
        break;
    }
    case kBiquadBandPass:
    case kBiquadNotch: {
        const double alpha = sw / (widen(kPeakWidening) * q_ * 2.0);
        c.a0 = 1.0 + alpha;
        const double n = 1.0 / c.a0;
        if (type_ == kBiquadBandPass) {
            c.b0 = alpha * n;
            c.b1 = 0.0;
            c.b2 = -alpha * n;
        } else {
            c.b0 = c.b2 = n;
            c.b1 = -2.0 * cw * n;
        }
        c.a1 = -2.0 * cw * n;
        c.a2 = (1.0 - alpha) * n;
        break;
    }
    case kBiquadHighShelf: {
        const double S = sw * std::sqrt(A) / (widen(kHighShelfWidening) * q_);
        c.a0 = (A + 1.0) - (A - 1.0) * cw + S;
        const double n = 1.0 / c.a0;
        c.b0 = A * ((A + 1.0) + (A - 1.0) * cw + S) * n;
        c.b1 = -2.0 * A * ((A - 1.0) + (A + 1.0) * cw) * n;
        c.b2 = A * ((A + 1.0) + (A - 1.0) * cw - S) * n;
        c.a1 = 2.0 * ((A - 1.0) - (A + 1.0) * cw) * n;
        c.a2 = ((A + 1.0) - (A - 1.0) * cw - S) * n;
        break;
    }
    case kBiquadLowPass: {
        const double r8 = std::pow(frequency_ / (rate_ * kLowPassWideningEdge), kLowPassWidening);
        const double alpha = sw / ((1.0 - r8) * q_ * 2.0);
        c.a0 = 1.0 + alpha;
        const double n = 1.0 / c.a0;
        c.b0 = c.b2 = (1.0 - cw) * 0.5 * n;
        c.b1 = (1.0 - cw) * n;
        c.a1 = -2.0 * cw * n;
        c.a2 = (1.0 - alpha) * n;
        break;
    }
    case kBiquadOnePoleLowPass: {
        const double m = 2.0 - cw;
        const double a = std::sqrt(m * m - 1.0) - m;
        c.a1 = a;
        c.b0 = 1.0 + a;
        c.b1 = c.a2 = c.b2 = 0.0;
        break;
    }
    case kBiquadAllPass: {
        const double alpha = sw / (2.0 * q_);
        c.a0 = 1.0 + alpha;
        const double n = 1.0 / c.a0;
        c.b0 = (1.0 - alpha) * n;
        c.b1 = c.a1 = -2.0 * cw * n;
        c.a2 = (1.0 - alpha) * n;
        c.b2 = (1.0 + alpha) * n;
        break;
    }
    default: // identity
        break;
    }
    // Settings the setters pass unclamped (setAll) can put a section on a pole of
    // its formulas; such a section stays transparent instead of emitting NaN.
    if (finite(c)) target_ = c;
}

void BiquadFilter::glideValuesOf(const BiquadCoefficients& c, double* values) noexcept {
    double zaRe = 0, zaIm = 0, zbRe = 0, zbIm = 0;
    if (c.b0 != 0.0) {
        const double D = c.b1 * c.b1 - 4.0 * c.b0 * c.b2;
        const double twoB0 = 2.0 * c.b0;
        if (D >= 0.0) {
            const double s = std::sqrt(D);
            zaRe = (-c.b1 - s) / twoB0;
            zbRe = (s - c.b1) / twoB0;
        } else {
            const double s = std::sqrt(-D);
            zaRe = zbRe = -c.b1 / twoB0;
            zaIm = -s / twoB0;
            zbIm = s / twoB0;
        }
    }
    double paRe, paIm = 0, pbRe, pbIm = 0;
    const double E = c.a1 * c.a1 - 4.0 * c.a2;
    if (E >= 0.0) {
        const double s = std::sqrt(E);
        paRe = (-c.a1 - s) * 0.5;
        pbRe = (s - c.a1) * 0.5;
    } else {
        const double s = std::sqrt(-E);
        paRe = pbRe = -c.a1 * 0.5;
        paIm = -s * 0.5;
        pbIm = s * 0.5;
    }
    values[kZeroARe] = zaRe;
    values[kZeroAIm] = zaIm;
    values[kZeroBRe] = zbRe;
    values[kZeroBIm] = zbIm;
    values[kPoleARe] = paRe;
    values[kPoleAIm] = paIm;
    values[kPoleBRe] = pbRe;
    values[kPoleBIm] = pbIm;
    values[kGain] = c.b0;
}

void BiquadFilter::setUpGlide() noexcept {
    double targets[kGlidedCount];
    glideValuesOf(target_, targets);
    glideCount_ = glideLength_;
    const double inv = glideLength_ > 0 ? 1.0 / glideLength_ : 0.0;
    for (int i = 0; i < kGlidedCount; ++i) {
        glideTarget_[i] = targets[i];
        increment_[i] = (targets[i] - glideNow_[i]) * inv;
    }
    if (immediate_ || glideLength_ <= 0) snap();
}

void BiquadFilter::snap() noexcept {
    for (int i = 0; i < kGlidedCount; ++i) {
        glideNow_[i] = glideTarget_[i];
        increment_[i] = 0.0;
    }
    glideCount_ = 0;
    cur_ = target_;
}

void BiquadFilter::clear() noexcept {
    snap();
    state_ = BiquadState{};
}

void BiquadFilter::stepGlide() noexcept {
    --glideCount_;
    for (int i = 0; i < kGlidedCount; ++i) glideNow_[i] += increment_[i];
    const double gain = glideNow_[kGain];
    const double zaRe = glideNow_[kZeroARe], zaIm = glideNow_[kZeroAIm];
    const double zbRe = glideNow_[kZeroBRe], zbIm = glideNow_[kZeroBIm];
    const double paRe = glideNow_[kPoleARe], paIm = glideNow_[kPoleAIm];
    const double pbRe = glideNow_[kPoleBRe], pbIm = glideNow_[kPoleBIm];
    cur_.b0 = gain;
    cur_.b1 = -(zaRe + zbRe) * gain;
    cur_.b2 = (zaRe * zbRe - zaIm * zbIm) * gain;
    cur_.a1 = -(paRe + pbRe);
    cur_.a2 = paRe * pbRe - paIm * pbIm;
}

const BiquadCoefficients* BiquadFilter::coefficientsForSample() noexcept {
    if (type_ == kBiquadIdentity) return nullptr;
    if (!enabled_ && glideCount_ == 0) {
        state_.x1 = state_.x2 = state_.y1 = state_.y2 = 0.0;
        return nullptr;
    }
    if (glideCount_ > 0) {
        stepGlide();
        return &cur_;
    }
    return &target_;
}

double BiquadFilter::processGliding(double x) noexcept {
    const BiquadCoefficients* c = coefficientsForSample();
    if (c == nullptr) return x;
    const double y = recursion(*c, x);
    shift(x, y);
    return y;
}

double BiquadFilter::processSaturated(double x) noexcept {
    const BiquadCoefficients* c = coefficientsForSample();
    if (c == nullptr) return x;
    double y = recursion(*c, x);
    if (satOn_) y = y / (std::fabs(y + satBias_) * satInverse_ + 1.0);
    shift(x, y);
    return y;
}

// Step t runs lane k on sample t - k where that lies in the run; the steps at
// either end, where some lanes have no sample, keep those lanes' histories.
void BiquadFilter::processSteadyChain4Wide(BiquadFilter* const (&chain)[4], double* x,
                                           int n) noexcept {
    if (n <= 0) return;
    SteadyChainLanes l = SteadyChainLanes::load(chain);
    constexpr int kFill = SteadyChainLanes::kFill;
    const int steps = n + kFill;
    int t = 0;
    // Filling: lane k starts at step k.
    for (; t < kFill; ++t) l.maskedStep(t < n ? x[t] : 0.0, std::max(0, t - n + 1), t);
    // Every lane running.
    for (; t < n; ++t) {
        l.step(x[t]);
        x[t - kFill] = l.last();
    }
    // Draining: lane k stops after step n - 1 + k.
    for (; t < steps; ++t) {
        l.maskedStep(0.0, t - n + 1, kFill);
        x[t - kFill] = l.last();
    }
    l.store(chain);
}

} // namespace zel
