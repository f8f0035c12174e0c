#include "engine/AmpStage.h"

#include "engine/CpuFeatures.h"
#include "engine/OnePole.h"
#include "engine/SteadyChainLanes.h"
#include "engine/WidePaths.h"
#include "engine/data/EngineFilterTables.h"

#include <algorithm>
#include <cmath>
#include <immintrin.h>

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
    if (n > 0 && std::all_of(type, type + n, [&](int32_t t) { return t == type[0]; })) {
        if (type[0] == kAmpTube) return tubeRun(m, drive, out, n);
        if (type[0] == kAmpSolid) return solidRun(m, drive, out, n);
    }
    for (int i = 0; i < n; ++i) out[i] = shape(m[i], type[i], drive[i]);
}

namespace {

using Double2 = __m128d;

// a where the mask is set, b elsewhere.
inline Double2 select(Double2 mask, Double2 a, Double2 b) noexcept {
    return _mm_or_pd(_mm_and_pd(mask, a), _mm_andnot_pd(mask, b));
}

inline Double2 splat(double v) noexcept {
    return _mm_set1_pd(v);
}

// |x|: the sign bit cleared.
inline Double2 magnitude(Double2 x) noexcept {
    return _mm_andnot_pd(splat(-0.0), x);
}

// -x: the sign bit flipped (as the scalar negation does, zeros included).
inline Double2 negate(Double2 x) noexcept {
    return _mm_xor_pd(splat(-0.0), x);
}

// The tube curve of two values: each takes its side's quotient, so the one
// division computes what the per-value branch would.
inline Double2 tubeCurve2(Double2 x) noexcept {
    const Double2 positive = _mm_cmpge_pd(x, _mm_setzero_pd());
    const Double2 num = select(positive, x, _mm_mul_pd(splat(2.0), x));
    const Double2 den = select(positive, _mm_add_pd(splat(1.0), _mm_mul_pd(splat(0.5), x)),
                               _mm_sub_pd(splat(2.0), _mm_mul_pd(splat(0.25), x)));
    const Double2 y = _mm_mul_pd(_mm_div_pd(num, den), splat(0.55));
    const Double2 cube = _mm_mul_pd(_mm_mul_pd(_mm_mul_pd(splat(0.5), y), y), y);
    return _mm_mul_pd(_mm_sub_pd(_mm_sub_pd(_mm_mul_pd(splat(1.5), y), cube), splat(0.3)),
                      splat(1.4));
}

// Frames whose input passes the curves unchanged.
inline Double2 quiet2(Double2 m) noexcept {
    return _mm_cmplt_pd(magnitude(m), splat(AmpStage::kQuietInput));
}

} // namespace

// The tube over a run (out may be m): the curve two frames at a time, the
// tracker frame by frame between them.
void AmpStage::tubeRun(const double* m, const double* drive, double* out, int n) noexcept {
    double dc = dc_;
    int i = useWidePaths() ? tubeQuads(m, drive, out, n, dc) : 0;
    for (; i + 2 <= n; i += 2) {
        const Double2 mm = _mm_loadu_pd(m + i);
        const Double2 g = _mm_loadu_pd(drive + i);
        const Double2 x = _mm_mul_pd(_mm_mul_pd(g, mm), splat(kTubeInputScale));
        const Double2 negT = negate(tubeCurve2(negate(tubeCurve2(x))));
        const double dc0 = smoothToward(dc, _mm_cvtsd_f64(negT), kdc_);
        dc = smoothToward(dc0, _mm_cvtsd_f64(_mm_unpackhi_pd(negT, negT)), kdc_);
        const Double2 shaped = _mm_div_pd(_mm_sub_pd(negT, _mm_set_pd(dc, dc0)), g);
        _mm_storeu_pd(out + i, select(quiet2(mm), mm, shaped));
    }
    dc_ = dc;
    for (; i < n; ++i) out[i] = shape(m[i], kAmpTube, drive[i]);
}

namespace {

using Double4 = __m256d;

[[gnu::always_inline, gnu::target("avx2")]] inline Double4 splat4(double v) noexcept {
    return _mm256_set1_pd(v);
}

[[gnu::always_inline, gnu::target("avx2")]] inline Double4 negate4(Double4 x) noexcept {
    return _mm256_xor_pd(splat4(-0.0), x);
}

// tubeCurve2 four wide: per lane the same operations.
[[gnu::always_inline, gnu::target("avx2")]] inline Double4 tubeCurve4(Double4 x) noexcept {
    const Double4 positive = _mm256_cmp_pd(x, _mm256_setzero_pd(), _CMP_GE_OS);
    const Double4 num = _mm256_blendv_pd(_mm256_mul_pd(splat4(2.0), x), x, positive);
    const Double4 den =
        _mm256_blendv_pd(_mm256_sub_pd(splat4(2.0), _mm256_mul_pd(splat4(0.25), x)),
                         _mm256_add_pd(splat4(1.0), _mm256_mul_pd(splat4(0.5), x)), positive);
    const Double4 y = _mm256_mul_pd(_mm256_div_pd(num, den), splat4(0.55));
    const Double4 cube = _mm256_mul_pd(_mm256_mul_pd(_mm256_mul_pd(splat4(0.5), y), y), y);
    return _mm256_mul_pd(
        _mm256_sub_pd(_mm256_sub_pd(_mm256_mul_pd(splat4(1.5), y), cube), splat4(0.3)),
        splat4(1.4));
}

} // namespace

// The curve four frames at a time, the tracker frame by frame between them.
int AmpStage::tubeQuads(const double* m, const double* drive, double* out, int n,
                        double& dc) noexcept {
    const double k = kdc_;
    int i = 0;
    for (; i + 4 <= n; i += 4) {
        const Double4 mm = _mm256_loadu_pd(m + i);
        const Double4 g = _mm256_loadu_pd(drive + i);
        const Double4 x = _mm256_mul_pd(_mm256_mul_pd(g, mm), splat4(kTubeInputScale));
        const Double4 negT = negate4(tubeCurve4(negate4(tubeCurve4(x))));
        const __m128d low = _mm256_castpd256_pd128(negT);
        const __m128d high = _mm256_extractf128_pd(negT, 1);
        const double dc0 = smoothToward(dc, _mm_cvtsd_f64(low), k);
        const double dc1 = smoothToward(dc0, _mm_cvtsd_f64(_mm_unpackhi_pd(low, low)), k);
        const double dc2 = smoothToward(dc1, _mm_cvtsd_f64(high), k);
        dc = smoothToward(dc2, _mm_cvtsd_f64(_mm_unpackhi_pd(high, high)), k);
        const Double4 shaped =
            _mm256_div_pd(_mm256_sub_pd(negT, _mm256_setr_pd(dc0, dc1, dc2, dc)), g);
        const Double4 quiet =
            _mm256_cmp_pd(_mm256_andnot_pd(splat4(-0.0), mm), splat4(kQuietInput), _CMP_LT_OS);
        _mm256_storeu_pd(out + i, _mm256_blendv_pd(shaped, mm, quiet));
    }
    return i;
}

bool AmpStage::toneSteady() const noexcept {
    const BiquadFilter* const sections[] = {&presence_, &loMid_, &topShelf_, &bottom_};
    bool steady = BiquadFilter::chained(sections);
    for (const BiquadFilter* f : sections) steady = steady && f->steady();
    return steady;
}

void AmpStage::processRun(double* x, const int32_t* type, const double* drive,
                          const double* postDrive, int n) noexcept {
    const bool quads = n >= kFused && n <= kMaxFused && n % kFused == 0;
    if (quads && useWidePaths() &&
        std::all_of(type, type + n, [](int32_t t) { return t == kAmpTube; }) && toneSteady()) {
        tubeToneQuads(x, drive, postDrive, n);
        return;
    }
    shapeRun(x, type, drive, x, n);
    for (int i = 0; i < n; ++i) x[i] *= postDrive[i];
    toneRun(x, n);
}

// The tube's curves four frames at a time (they wait on nothing), then frame
// by frame its tracker, the gain after it and the tone chain's wavefront: the
// tracker and the chain are recursions of their own, so in one loop each runs
// while the other waits. Per frame the same operations as tubeQuad and
// processSteadyChain4Wide.
void AmpStage::tubeToneQuads(double* x, const double* drive, const double* postDrive,
                             int n) noexcept {
    alignas(32) double curve[kMaxFused];
    for (int i = 0; i < n; i += kFused) {
        const Double4 g = _mm256_loadu_pd(drive + i);
        const Double4 in =
            _mm256_mul_pd(_mm256_mul_pd(g, _mm256_loadu_pd(x + i)), splat4(kTubeInputScale));
        _mm256_store_pd(curve + i, negate4(tubeCurve4(negate4(tubeCurve4(in)))));
    }
    BiquadFilter* const chain[] = {&presence_, &loMid_, &topShelf_, &bottom_};
    SteadyChainLanes tone = SteadyChainLanes::load(chain);
    constexpr int kFill = SteadyChainLanes::kFill;
    const double k = kdc_;
    double dc = dc_;
    const auto shaped = [&](int i) {
        dc = smoothToward(dc, curve[i], k);
        const double m = x[i];
        return (std::abs(m) < kQuietInput ? m : (curve[i] - dc) / drive[i]) * postDrive[i];
    };
    int t = 0;
    for (; t < kFill; ++t) tone.maskedStep(shaped(t), 0, t);
    for (; t < n; ++t) {
        tone.step(shaped(t));
        x[t - kFill] = tone.last();
    }
    for (; t < n + kFill; ++t) {
        tone.maskedStep(0.0, t - n + 1, kFill);
        x[t - kFill] = tone.last();
    }
    tone.store(chain);
    dc_ = dc;
}

// The solid curve over a run, two frames at a time.
void AmpStage::solidRun(const double* m, const double* drive, double* out, int n) noexcept {
    int i = 0;
    for (; i + 2 <= n; i += 2) {
        const Double2 mm = _mm_loadu_pd(m + i);
        const Double2 g = _mm_loadu_pd(drive + i);
        const Double2 o = _mm_mul_pd(_mm_mul_pd(g, mm), splat(kSolidInputScale));
        const Double2 q = _mm_mul_pd(
            _mm_sub_pd(magnitude(_mm_add_pd(o, splat(1.0))), magnitude(_mm_sub_pd(o, splat(1.0)))),
            splat(0.5));
        const Double2 cube = _mm_mul_pd(_mm_mul_pd(_mm_mul_pd(splat(0.5), q), q), q);
        const Double2 shaped =
            _mm_div_pd(_mm_mul_pd(_mm_sub_pd(_mm_mul_pd(splat(1.5), q), cube), splat(0.5)), g);
        _mm_storeu_pd(out + i, select(quiet2(mm), mm, shaped));
    }
    for (; i < n; ++i) out[i] = shape(m[i], kAmpSolid, drive[i]);
}

double AmpStage::tone(double x) noexcept {
    return bottom_.process(topShelf_.process(loMid_.process(presence_.process(x))));
}

void AmpStage::toneRun(double* x, int n) noexcept {
    BiquadFilter* const chain[] = {&presence_, &loMid_, &topShelf_, &bottom_};
    if (toneSteady()) {
        // No glide starts within a run, so every sample takes the steady path.
        if (cpuHasAvx2())
            BiquadFilter::processSteadyChain4Wide(chain, x, n);
        else
            BiquadFilter::processSteadyChain(chain, x, n);
        return;
    }
    for (int i = 0; i < n; ++i) x[i] = tone(x[i]);
}

} // namespace zel
