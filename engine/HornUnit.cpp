#include "engine/HornUnit.h"

#include "engine/OnePole.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <immintrin.h>
#include <iterator>
#include <limits>

namespace zel {

namespace {

using Vec2 = double __attribute__((vector_size(16)));
using Vec4 = double __attribute__((vector_size(32)));

// Each image ray's level setting and the order of its reflection low-pass (-1:
// the direct ray has none).
constexpr HornUnit::RayLevel kRayLevelOf[HornUnit::kImageRays] = {
    HornUnit::kRayFront, HornUnit::kRayBackSides, HornUnit::kRayBackRight, HornUnit::kRayBackLeft,
    HornUnit::kRayLbr,   HornUnit::kRayRbl,       HornUnit::kRayBackSides, HornUnit::kRayBackSides,
    HornUnit::kRayMisc,  HornUnit::kRayMisc,      HornUnit::kRayMisc,      HornUnit::kRayMisc};
constexpr int kReflectionOrderOf[HornUnit::kImageRays] = {-1, 0, 1, 1, 2, 2, 0, 0, 3, 3, 4, 4};

// The horn's rays follow the mouth wherever it goes.
constexpr double kAnyDisplacement = -std::numeric_limits<double>::infinity();

// The cross unit's mouth offset: its delays are measured from the microphone,
// the mouth's displacement plus twice the radius, so the nearest approach still
// has a positive delay.
constexpr double kCrossMouthOffset = 2.0;

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

std::optional<MechNoiseSource> noiseOf(HornUnit::Kind kind) {
    if (kind == HornUnit::Kind::Microphone1) return MechNoiseSource::HornUnit0;
    if (kind == HornUnit::Kind::Microphone2) return MechNoiseSource::HornUnit1;
    return std::nullopt;
}

// Four floats from p widened to double (exact). The vector comes by
// reference: the callers' AVX target does not reach a template's signature;
// mixSpanWide inlines it (flatten).
[[gnu::target("avx2,fma")]] inline void widen(const float* p, Vec4& out) {
    out = _mm256_cvtps_pd(_mm_loadu_ps(p));
}

// A group of rays after their sections: the attenuation times the room
// factor (room, in every lane) and floored, the ray weighted and levelled,
// and where a ray reflects, its low-pass (poleToward(state, value, pole),
// guard and all) in place of the value. The vectors come by reference: the
// callers' AVX target does not reach a template's signature.
template <typename Vec, typename Mask>
[[gnu::always_inline]] inline void
levelAndReflect(const Vec& ray, const Vec& attenuation, const Vec& room, const Vec& floors,
                const Vec& weight, const Vec& level, const Vec& pole, const Mask& reflects,
                Vec& state, Vec& out) {
    const Vec raw = attenuation * room;
    const Vec alpha = raw < floors ? floors : raw; // std::max(raw, floor)
    const Vec value = ray * alpha * weight * level;
    Vec low = value + pole * (state - value);
    low = low + kEngineGuard;
    low = low - kEngineGuard;
    state = reflects ? low : state;
    out = reflects ? low : value;
}

} // namespace

HornUnit::HornUnit(Kind kind)
    : CabinetUnit(RotorDirection::Horn, kind == Kind::Cross, noiseOf(kind),
                  cabinet::kCrossMicDistance),
      kind_(kind) {
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
    tables_.configure([kind](RateTables& t) { t.cross = kind == Kind::Cross; });
    tables_.use(rate_);
    updateReflectionPoles(reflectionLowPass_.load());
    rebuild();
}

// ---- settings ---------------------------------------------------------------

void HornUnit::setRayLevel(int ray, double level) {
    if (ray >= 0 && ray < kRayLevelCount) rayLevels_[ray].store(level);
}

// ---- structure (audio thread) ----------------------------------------------

void HornUnit::computeGeometry() {
    // The first side wall (toward negative x) is the wide one unless flipped.
    const auto [half, mic] = placeMicrophone(cabinet::kWideSideWall, cabinet::kNarrowSideWall);
    const double radius = appliedRadius_;

    const double direct = directAngle(mic, half.r);
    backRegion_ =
        zel::backRegion(direct, cornerAngle(half, half.w1), cornerAngle(half, half.w2), half.r);

    for (int i = 0; i < kImageRays; ++i) {
        const cabinet::ImageSource& image =
            i < horn::kFixedRays ? horn::kFixedImages[i]
                                 : horn::kRegionImages[backRegion_][i - horn::kFixedRays];
        rays_[i].place(traceRay(image, half, mic, radius), table_);
    }

    const bool openBack =
        !isCross() && backRegion_ == 1 && openBackMode_.load() != 0 && appliedFlip_ * half.r < 0;
    openBack_ = openBack ? cabinet::kOpenBackFactor : 1.0;

    placeStaticRay(rays_[0].path, isCross() ? 1.0 : kRoomFactorPower);
    roomFactors_.fill(roomFactor_);

    // Which rays pass their reflection low-pass: all but the direct ray, and of
    // the side rays only the one this back region has.
    for (int i = 0; i < kImageRays; ++i) reflects_[i] = kReflectionOrderOf[i] < 0 ? 0 : -1;
    if (backRegion_ != 0) reflects_[6] = 0;
    if (backRegion_ != 2) reflects_[7] = 0;
    // The side rays are heard only in the back region that has them.
    rayHeard_.fill(-1);
    if (backRegion_ != 0) rayHeard_[6] = 0;
    if (backRegion_ != 2) rayHeard_[7] = 0;

    const double reach = std::max(
        (appliedMicDistance_ - kGainDistanceStart) * kGainDistanceScale + kGainDistanceOffset, 0.0);
    outputGain_ = (kGainBase - kGainSlope * std::pow(reach, kGainPower)) * horn::kOutputTrim;
}

void HornUnit::setUnitRate(double rate, int factor) {
    setRotorRate(rate, factor);
    for (int i = 0; i < kImageRays; ++i) {
        lobeA_[i].setRate(rate_);
        lobeB_[i].setRate(rate_);
    }
    configureStaticEq();
    tables_.use(rate_);
    updateReflectionPoles(reflectionLowPass_.load());
    updateRateTerms();
    clearState();
}

int HornUnit::prepareRate(double rate, int budget) {
    return tables_.prepare(unitRateFor(rate), budget);
}

void HornUnit::RateTables::begin(double rate) {
    if (cross) {
        crossPoles.begin(horn::kCrossLobeHz, rate);
        return;
    }
    lobeA.begin(horn::kLobeASteps, rate, kBiquadPeaking);
    lobeB.begin(horn::kLobeBSteps, rate, kBiquadHighShelf);
}

int HornUnit::RateTables::extend(int budget) {
    if (cross) return crossPoles.extend(budget, horn::kCrossLobeHz);
    const int a = lobeA.extend(budget, [](BiquadFilter& f, int index, double w) {
        const auto& a0 = horn::kLobeA[index];
        const auto& a1 = horn::kLobeA[index + 1];
        f.setAll(a0.hz + (a1.hz - a0.hz) * w, a0.q + (a1.q - a0.q) * w,
                 a0.db + (a1.db - a0.db) * w);
    });
    const int b = lobeB.extend(budget - a, [](BiquadFilter& f, int index, double w) {
        const double db0 = horn::kLobeBDb[index];
        const double db1 = horn::kLobeBDb[index + 1];
        f.setAll(horn::kLobeBHz, horn::kLobeBQ, db0 + (db1 - db0) * w);
    });
    return a + b;
}

bool HornUnit::RateTables::complete() const {
    return cross ? crossPoles.complete() : lobeA.complete() && lobeB.complete();
}

void HornUnit::updateRateTerms() {
    updateSharedRateTerms();
    zA_ = horn::kFloorTapMetres * samplesPerMetre_;
    zB_ = horn::kCeilingTapMetres * samplesPerMetre_;
    for (RayTrack& ray : rays_) ray.setRate(samplesPerMetre_, delayOrigin());
    for (int i = 0; i < kImageRays; ++i) batch_.load(i, rays_[i]);
    for (int slot = 0; slot < 4; ++slot) crossBatch_.load(slot, rays_[kCrossRays[slot]]);
}

void HornUnit::updateReflectionPoles(double octaves) {
    appliedReflectionLowPass_ = octaves;
    for (int n = 0; n < horn::kReflectionPoles; ++n)
        poles_[n] = poleFromFrequency(horn::kReflectionTopHz * std::exp2(-n * octaves), rate_);
    for (int i = 0; i < kImageRays; ++i) {
        const int order = kReflectionOrderOf[i];
        rayPole_[i] = order < 0 ? 0.0 : poles_[order];
    }
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
    clearSharedState();
    raySums_.fill(0.0);
    j_ = 0;
    for (RayTrack& ray : rays_) ray.clear();
    reflected_.fill(0.0);
    for (int i = 0; i < kImageRays; ++i) {
        lobeA_[i].clear();
        lobeB_[i].clear();
        sectionsA_.reset(i, lobeA_[i].target(), lobeA_[i].glideLength());
        sectionsB_.reset(i, lobeB_[i].target(), lobeB_[i].glideLength());
    }
    for (MultiFilter& cascade : staticEq_) cascade.clearState();
}

// ---- per sample -------------------------------------------------------------

void HornUnit::followReflectionLowPass() {
    const double lowPassOctaves = reflectionLowPass_.load();
    if (lowPassOctaves != appliedReflectionLowPass_) updateReflectionPoles(lowPassOctaves);
}

HornUnit::Frame HornUnit::beginFrame(double x) {
    followReflectionLowPass();
    Frame f{startFrame(x), amplitudeFloor_.load(), 0.0};
    f.speed = rotor_.speed();
    return f;
}

void HornUnit::endFrame(const Frame& f) {
    finishFrame(f.update);
    j_ = (j_ + 1) & kRayBufferMask;
}

void HornUnit::lookUpDirectivity(const double* mu, LobeTargets& out) const {
    std::array<double, kImageRays> turn; // where each ray's mouth faces
    DirectivityTable::facingTurns(mu, kImageRays, turn.data());
    const RateTables& t = tables_.live();
    Targets& a = out.a;
    Targets& b = out.b;
    t.lobeA.at(turn.data(), kImageRays, {a.b0, a.b1, a.b2, a.a1, a.a2});
    t.lobeB.at(turn.data(), kImageRays, {b.b0, b.b1, b.b2, b.a1, b.a2});
    GlidingSections<kImageRays>::glidesOf(a, out.glidesA);
    GlidingSections<kImageRays>::glidesOf(b, out.glidesB);
}

void HornUnit::updateDirectivityFull(const LobeTargets& t) {
    sectionsA_.setTargets(t.a, t.glidesA, rayUpdated_.data());
    sectionsB_.setTargets(t.b, t.glidesB, rayUpdated_.data());
    if (!snapDirectivity_) return;
    for (int i = 0; i < kImageRays; ++i) {
        if (!rayUpdated_[i]) continue;
        sectionsA_.snap(i);
        sectionsB_.snap(i);
    }
}

void HornUnit::updateDirectivityCross(RayTrack& ray, double mu) {
    ray.coefTarget = tables_.live().crossPoles.at(1.0 - facingTurn(mu));
    if (snapDirectivity_) ray.coef = ray.coefTarget;
}

void HornUnit::markUpdatedRays() {
    // A side ray the back region leaves out takes no targets and stops
    // gliding.
    for (int i = 0; i < kImageRays; ++i) rayUpdated_[i] = rayHeard_[i] != 0;
}

double HornUnit::crossRay(int i, int slot, double weight, const Frame& f, const CrossRays& r) {
    RayTrack& ray = rays_[i];
    const double alpha = r.attenuation[slot] * roomFactor_;
    if (f.update) updateDirectivityCross(ray, r.mu[slot]);
    return ray.directivityLowPass(r.input[slot], coefGlide_) * alpha * weight;
}

HornUnit::StaticReads HornUnit::staticReads(double fmSamples, int w) const {
    // The history as it stood at write index w: SourceHistory::inputBefore and
    // angleBefore with that index. The cross unit measures the static ray from
    // the microphone.
    constexpr int kLength = SourceHistory::kLength;
    const double delay = isCross() ? rays_[0].pathSamples + fmSamples : rays_[0].retardSamples;
    return {readCubic(history_.inputs(), kLength, w - delay),
            history_.angles()[static_cast<int>(w - delay + kLength) & SourceHistory::kMask]};
}

inline double HornUnit::staticRay(const Frame& f, const StaticReads& s) {
    // The static ray does not rotate: no Doppler, a fixed attenuation, a one-pole
    // low-pass.
    const double alpha = isCross() ? staticAlpha_ : std::max(staticAlpha_, f.floor);
    const double low = staticLowPassed(s.input, f.update);
    if (player_)
        player_->handOver(alpha * mechLevel_.load(), 1.0 - s.angle, appliedMicAngle_, f.speed);
    return low * staticRayLevel_.load() * alpha;
}

double HornUnit::process(double x) {
    return isCross() ? processCross(x) : processFull(x);
}

double HornUnit::processFull(double x) {
    const double y = MultiFilter::processChain(staticEq_.data(), kStaticEqCascades, mixFull(x));
    return y * outputGain_;
}

void HornUnit::processMicrophones(HornUnit& a, HornUnit& b, double x, double& ya, double& yb) {
    if (a.isCross() || b.isCross()) {
        ya = a.process(x);
        yb = b.process(x);
        return;
    }
    double y1 = a.mixFull(x);
    double y2 = b.mixFull(x);
    MultiFilter::processChainPair(a.staticEq_.data(), y1, b.staticEq_.data(), y2,
                                  kStaticEqCascades);
    ya = y1 * a.outputGain_;
    yb = y2 * b.outputGain_;
}

double HornUnit::mixFull(double x) {
    const Frame f = beginFrame(x);
    batch_.run(history_, table_, f.fmSamples, appliedRadius_, kTableStepsPerMetre,
               kAnyDisplacement);
    const double y =
        mixRays(f, batch_.results(), staticReads(f.fmSamples, history_.writeIndex()), nullptr);
    endFrame(f);
    return y;
}

inline double HornUnit::mixRays(const Frame& f, const FullRays& r, const StaticReads& s,
                                const LobeTargets* looked) {
    const LaneFactors& m = laneFactors(f.e);
    if (f.update) {
        markUpdatedRays();
        if (looked) {
            updateDirectivityFull(*looked);
        } else {
            LobeTargets t;
            lookUpDirectivity(r.mu, t);
            updateDirectivityFull(t);
        }
    }
    alignas(32) std::array<double, kImageRays> heard;
    if (useWidePaths())
        mixLanesWide(r.input, r.attenuation, m, f.floor, heard.data());
    else
        mixLanes<Vec2>(r.input, r.attenuation, m, f.floor, heard.data());
    return sumRays(f, heard.data(), s);
}

inline double HornUnit::sumRays(const Frame& f, const double* heard, const StaticReads& s) {
    const double e = f.e, e2 = e * e;
    // The rays in their fixed order; a side ray only in the back region that has
    // it.
    double sum = heard[0];
    if (backRegion_ == 0) sum += heard[6];
    if (backRegion_ == 2) sum += heard[7];
    for (int i : {1, 2, 3, 4, 5, 8, 9, 10, 11}) sum += heard[i];
    sum += staticRay(f, s);

    // Floor and ceiling: the same rays arriving a little later.
    raySums_[j_] = sum;
    const double floor = readLinear(raySums_.data(), kRayBufferMask, kRayBufferLength, j_ - zA_);
    const double ceiling = readLinear(raySums_.data(), kRayBufferMask, kRayBufferLength, j_ - zB_);
    return sum + (floor + ceiling) * zAxisLevel_.load() * e2;
}

inline const HornUnit::LaneFactors& HornUnit::laneFactors(double e) {
    // They change only with the settings: taken again when one of those moved,
    // the same values otherwise (compared bit by bit: signed zeros and not a
    // number included). Almost every sample finds them unchanged, so the check
    // leaves at the first difference.
    return factorsFit(e) ? factors_ : makeLaneFactors(e);
}

inline bool HornUnit::factorsFit(double e) const {
    const auto sameBits = [](double a, double b) {
        return std::bit_cast<uint64_t>(a) == std::bit_cast<uint64_t>(b);
    };
    if (!(factorsMade_ && sameBits(e, factorKey_[0]) && sameBits(openBack_, factorKey_[1])))
        return false;
    bool same = true;
#pragma GCC unroll 7 // a load and a compare each
    for (int n = 0; n < kRayLevelCount && same; ++n)
        same = sameBits(rayLevels_[n].load(), factorKey_[2 + n]);
    return same;
}

const HornUnit::LaneFactors& HornUnit::makeLaneFactors(double e) {
    FactorKey key;
    key[0] = e;
    key[1] = openBack_;
    for (int n = 0; n < kRayLevelCount; ++n) key[2 + n] = rayLevels_[n].load();
    factorKey_ = key;
    factorsMade_ = true;
    const double e2 = e * e, e3 = e2 * e, e4 = e3 * e, e5 = e4 * e;
    const double g = openBack_;
    const double weights[kImageRays] = {1.0, g * e, g * e2, g * e2, g * e3, g * e3,
                                        e,   e,     e4,     e4,     e5,     e5};
    for (int i = 0; i < kImageRays; ++i) {
        factors_.weight[i] = weights[i];
        factors_.level[i] = key[2 + kRayLevelOf[i]];
    }
    return factors_;
}

template <typename Vec>
[[gnu::always_inline]] inline void
HornUnit::mixLanes(const double* inputs, const double* attenuations, const LaneFactors& m,
                   double floor, double* heard) {
    using Mask = decltype(Vec{} < Vec{});
    constexpr size_t kBytes = sizeof(Vec);
    const Vec floors = Vec{} + floor;
    // Each group of rays straight from its sections.
    const auto mixGroup = [&](int i, const Vec& ray) __attribute__((always_inline)) {
        Vec attenuation, weight, level, pole, state;
        Mask reflects;
        std::memcpy(&attenuation, attenuations + i, kBytes);
        std::memcpy(&weight, m.weight + i, kBytes);
        std::memcpy(&level, m.level + i, kBytes);
        std::memcpy(&pole, &rayPole_[i], kBytes);
        std::memcpy(&state, &reflected_[i], kBytes);
        std::memcpy(&reflects, &reflects_[i], kBytes);
        Vec out;
        Vec room;
        std::memcpy(&room, roomFactors_.data(), kBytes);
        levelAndReflect(ray, attenuation, room, floors, weight, level, pole, reflects, state, out);
        std::memcpy(&reflected_[i], &state, kBytes);
        std::memcpy(heard + i, &out, kBytes);
    };
    // The rays' inputs; a side ray the back region leaves out runs its
    // sections on silence (+0: the mask clears every bit).
    const auto takeInput = [&](int i, Vec& in) __attribute__((always_inline)) {
        Vec input;
        Mask has;
        std::memcpy(&input, inputs + i, kBytes);
        std::memcpy(&has, &rayHeard_[i], kBytes);
        in = has ? input : Vec{};
    };
    Sections::processPairThen<Vec>(sectionsA_, sectionsB_, takeInput, mixGroup);
}

void HornUnit::mixLanesWide(const double* inputs, const double* attenuations, const LaneFactors& m,
                            double floor, double* heard) {
    mixLanes<Vec4>(inputs, attenuations, m, floor, heard);
}

double HornUnit::processCross(double x) {
    const Frame f = beginFrame(x);
    crossBatch_.run({history_, table_, f.fmSamples, appliedRadius_, kTableStepsPerMetre,
                     kAnyDisplacement, kCrossMouthOffset});
    const double sum =
        crossSum(f, crossBatch_.results(), staticReads(f.fmSamples, history_.writeIndex()));
    const double y = MultiFilter::processChain(staticEq_.data(), kCrossEqCascades, sum);
    endFrame(f);
    return y;
}

inline double HornUnit::crossSum(const Frame& f, const CrossRays& r, const StaticReads& s) {
    const double front = rayLevels_[kRayFront].load();
    const double sides = rayLevels_[kRayBackSides].load();
    const double e = f.e;
    double sum = crossRay(0, 0, 1.0, f, r) * front;
    if (backRegion_ == 0) sum += rays_[6].reflect(crossRay(6, 2, e, f, r) * sides, poles_[0]);
    if (backRegion_ == 2) sum += rays_[7].reflect(crossRay(7, 3, e, f, r) * sides, poles_[0]);
    sum += rays_[1].reflect(crossRay(1, 1, e, f, r) * sides, poles_[0]);
    return sum + staticRay(f, s);
}

// ---- runs of samples ----------------------------------------------------------

namespace {

// The least and greatest of fm[0..n), n >= 1, as std::min and std::max from
// fm[0] on find them, a lane of Vec for every few samples: each lane keeps
// std::min's pick (x < low ? x : low), so a not-a-number past the first is
// passed over as there, and one at the first stays in every lane to the end.
// (Where zeros of both signs tie, the lanes may keep the other one: the
// bounds it is compared in do not tell them apart.)
template <typename Vec>
[[gnu::always_inline]] inline void fmRange(const double* fm, int n, double& low, double& high) {
    constexpr int W = sizeof(Vec) / sizeof(double);
    Vec lows = fm[0] - Vec{}, highs = lows; // x - (+0) is x in every lane
    int j = 0;
    for (; j + W <= n; j += W) {
        Vec x;
        std::memcpy(&x, fm + j, sizeof x);
        lows = x < lows ? x : lows;
        highs = highs < x ? x : highs;
    }
    low = lows[0];
    high = highs[0];
    for (int l = 1; l < W; ++l) {
        low = std::min(low, lows[l]);
        high = std::max(high, highs[l]);
    }
    for (; j < n; ++j) {
        low = std::min(low, fm[j]);
        high = std::max(high, fm[j]);
    }
}

[[gnu::target("avx2")]] void fmRangeWide(const double* fm, int n, double& low, double& high) {
    fmRange<Vec4>(fm, n, low, high);
}

} // namespace

bool HornUnit::runFitsHistory(int n) const {
    // Sample j of the run reads the history at delays behind its own write
    // index; the run's later samples have written the n - 1 - j entries ahead of
    // it, which sample j must not reach (per sample they still held older
    // samples). A cubic read at delay d touches delays ceil(d) - 2 .. ceil(d) + 1,
    // an angle read the delay ceil(d). Every delay then lies within
    // [kNearest, kLength - n - kFarMargin].
    constexpr double kNearest = 2.0;
    constexpr double kFarMargin = 3.0;
    // The displacement stays within [-1, 1] (the lobe's sine series is within
    // 5e-14 of the sine); the bound leaves room.
    constexpr double kLambdaBound = 1.0625;
    const double farthest = SourceHistory::kLength - n - kFarMargin;
    double fmLow, fmHigh;
    if (useWidePaths())
        fmRangeWide(run_.fmSamples.data(), n, fmLow, fmHigh);
    else
        fmRange<Vec2>(run_.fmSamples.data(), n, fmLow, fmHigh);
    // NaN or an infinity fails here and in every comparison below.
    if (!(fmHigh - fmLow < std::numeric_limits<double>::infinity())) return false;
    const auto within = [&](double low, double high) {
        return low >= kNearest && high <= farthest; // false for NaN too
    };
    // The static ray.
    const RayTrack& front = rays_[0];
    if (isCross()) {
        if (!within(front.pathSamples + fmLow, front.pathSamples + fmHigh)) return false;
    } else if (!within(front.retardSamples, front.retardSamples)) {
        return false;
    }
    // The batch's rays: their angle reads at the retarded delay, their input reads
    // at (lambda + mouth offset) * fmSamples + path, lambda + offset within
    // [offset - kLambdaBound, offset + kLambdaBound].
    const double offset = isCross() ? kCrossMouthOffset : 0.0;
    const double corners[] = {(offset - kLambdaBound) * fmLow, (offset - kLambdaBound) * fmHigh,
                              (offset + kLambdaBound) * fmLow, (offset + kLambdaBound) * fmHigh};
    const double swingLow = *std::min_element(std::begin(corners), std::end(corners));
    const double swingHigh = *std::max_element(std::begin(corners), std::end(corners));
    const auto fits = [&](const RayTrack& ray) {
        return ray.retardSamples >= 0.0 && ray.retardSamples <= farthest &&
               within(ray.pathSamples + swingLow, ray.pathSamples + swingHigh);
    };
    if (isCross()) {
        for (int i : kCrossRays)
            if (!fits(rays_[i])) return false;
        return true;
    }
    for (const RayTrack& ray : rays_)
        if (!fits(ray)) return false;
    return true;
}

bool HornUnit::startRun(const double* x, int n, const HornUnit* leader) {
    rotorSteps_.valid = false;
    // The settings are read once per sample, as the per-sample frames read them.
    for (int j = 0; j < n; ++j) run_.fmSamples[j] = fmRadius_.load() * samplesPerMetre_;
    if (!runFitsHistory(n)) return false;
    run_.firstWrite = history_.writeIndex();
    const Rotor::Course before = rotor_.course();
    const bool follow = n > 0 && leader && leader != this && leader->rotorSteps_.fit(before, n);
    // The counter in a register (the stores below could reach it, as far as
    // the compiler knows).
    uint32_t counter = counter_;
    const unsigned updateMask = updateMask_;
    for (int j = 0; j < n; ++j) {
        run_.e[j] = reflection_.load();
        run_.floor[j] = amplitudeFloor_.load();
        run_.update[j] = (counter & updateMask) == 0;
        ++counter;
    }
    counter_ = counter;
    if (follow) {
        std::copy_n(leader->run_.angle.begin(), n, run_.angle.begin());
        std::copy_n(leader->run_.speed.begin(), n, run_.speed.begin());
        rotor_.takeMotion(leader->rotorSteps_.after);
    } else {
        for (int j = 0; j < n; ++j) {
            run_.angle[j] = rotor_.step();
            run_.speed[j] = rotor_.speed();
        }
    }
    // The samples with their rotor angles, as write and advance store them.
    history_.writeRun(x, run_.angle.data(), n);
    rotorSteps_ = rotor_.stepsSince(before, n);
    return true;
}

HornUnit::Frame HornUnit::runFrame(int j) {
    followReflectionLowPass();
    return runFrameOf(j);
}

HornUnit::Frame HornUnit::runFrameOf(int j) const {
    Frame f;
    f.e = run_.e[j];
    f.fmSamples = run_.fmSamples[j];
    f.update = run_.update[j];
    f.floor = run_.floor[j];
    f.speed = run_.speed[j];
    return f;
}

void HornUnit::readStatics(int n) {
    int j = useWidePaths() ? readStaticsWide(n) : 0;
    for (; j < n; ++j) run_.statics[j] = staticReads(run_.fmSamples[j], runWriteIndex(j));
}

namespace {

// Whether four ring indices are first, first + 1, first + 2 and first + 3.
[[gnu::target("avx2"), gnu::always_inline]] inline bool followOneAnother(__m128i index, int first) {
    const __m128i row = _mm_add_epi32(_mm_set1_epi32(first), _mm_setr_epi32(0, 1, 2, 3));
    return _mm_movemask_epi8(_mm_cmpeq_epi32(index, row)) == 0xffff;
}

} // namespace

int HornUnit::readStaticsWide(int n) {
    // staticReads of four samples at a time, with the same operations: the
    // position and its wrap, the Catmull-Rom read (each sample's four neighbours
    // read whole and turned into lanes) and the angle read. A group with a
    // position the plain wrap does not bring into the history is read sample by
    // sample.
    constexpr int kLength = SourceHistory::kLength;
    const double* inputs = history_.inputs();
    const double* angles = history_.angles();
    const __m256d length = _mm256_set1_pd(kLength);
    const __m256d zero = _mm256_setzero_pd();
    const __m128i mask = _mm_set1_epi32(SourceHistory::kMask);
    const __m256d base = _mm256_set1_pd(isCross() ? rays_[0].pathSamples : rays_[0].retardSamples);
    int j = 0;
    for (; j + 4 <= n; j += 4) {
        const __m128i w = _mm_and_si128(
            _mm_add_epi32(_mm_set1_epi32(run_.firstWrite + j), _mm_setr_epi32(0, 1, 2, 3)), mask);
        const __m256d delay =
            isCross() ? _mm256_add_pd(base, _mm256_loadu_pd(&run_.fmSamples[j])) : base;
        const __m256d position = _mm256_sub_pd(_mm256_cvtepi32_pd(w), delay);
        const __m256d wrapped = _mm256_blendv_pd(position, _mm256_add_pd(position, length),
                                                 _mm256_cmp_pd(position, zero, _CMP_LT_OQ));
        const __m256d inside = _mm256_and_pd(_mm256_cmp_pd(wrapped, zero, _CMP_GE_OQ),
                                             _mm256_cmp_pd(wrapped, length, _CMP_LT_OQ));
        if (_mm256_movemask_pd(inside) != 0xf) {
            for (int l = j; l < j + 4; ++l)
                run_.statics[l] = staticReads(run_.fmSamples[l], runWriteIndex(l));
            continue;
        }
        const __m128i whole = _mm256_cvttpd_epi32(wrapped);
        const __m256d t = _mm256_sub_pd(wrapped, _mm256_cvtepi32_pd(whole));
        const __m128i first = _mm_and_si128(_mm_add_epi32(whole, mask), mask);
        // The samples' delays are (nearly) the same, so their first neighbours
        // usually follow one another: then each neighbour of the four samples
        // is one load (the history's copy past its end keeps them in a row).
        const int first0 = _mm_cvtsi128_si32(first);
        __m256d p0, p1, p2, p3;
        if (followOneAnother(first, first0)) {
            p0 = _mm256_loadu_pd(inputs + first0);
            p1 = _mm256_loadu_pd(inputs + first0 + 1);
            p2 = _mm256_loadu_pd(inputs + first0 + 2);
            p3 = _mm256_loadu_pd(inputs + first0 + 3);
        } else {
            wide_rays::neighbours(inputs, first, p0, p1, p2, p3);
        }
        // catmullRom(t, p0, p1, p2, p3), term by term.
        const __m256d half = _mm256_set1_pd(0.5);
        const __m256d c1 = _mm256_mul_pd(half, _mm256_sub_pd(p2, p0));
        const __m256d c2 =
            _mm256_sub_pd(_mm256_add_pd(_mm256_sub_pd(p0, _mm256_mul_pd(_mm256_set1_pd(2.5), p1)),
                                        _mm256_mul_pd(_mm256_set1_pd(2.0), p2)),
                          _mm256_mul_pd(half, p3));
        const __m256d c3 = _mm256_add_pd(_mm256_mul_pd(half, _mm256_sub_pd(p3, p0)),
                                         _mm256_mul_pd(_mm256_set1_pd(1.5), _mm256_sub_pd(p1, p2)));
        __m256d input = _mm256_add_pd(_mm256_mul_pd(c3, t), c2);
        input = _mm256_add_pd(_mm256_mul_pd(input, t), c1);
        input = _mm256_add_pd(_mm256_mul_pd(input, t), p1);
        // The angle at int(w - delay + length), masked.
        const __m128i at =
            _mm_and_si128(_mm256_cvttpd_epi32(_mm256_add_pd(position, length)), mask);
        // In a row unless the ring's end falls among them (the angles have no
        // copy past it).
        const int at0 = _mm_cvtsi128_si32(at);
        const __m256d angle = followOneAnother(at, at0)
                                  ? _mm256_loadu_pd(angles + at0)
                                  : _mm256_setr_pd(angles[at0], angles[_mm_extract_epi32(at, 1)],
                                                   angles[_mm_extract_epi32(at, 2)],
                                                   angles[_mm_extract_epi32(at, 3)]);
        // Sample by sample: input, angle.
        const __m256d low = _mm256_unpacklo_pd(input, angle);
        const __m256d high = _mm256_unpackhi_pd(input, angle);
        static_assert(sizeof(StaticReads) == 2 * sizeof(double));
        _mm256_storeu_pd(&run_.statics[j].input, _mm256_permute2f128_pd(low, high, 0x20));
        _mm256_storeu_pd(&run_.statics[j + 2].input, _mm256_permute2f128_pd(low, high, 0x31));
    }
    return j;
}

void HornUnit::endRunFrame(const Frame& f) {
    // The counter and the history moved on when the run started.
    if (f.update) snapDirectivity_ = false;
    j_ = (j_ + 1) & kRayBufferMask;
}

bool HornUnit::startMixRun(const double* x, int n, const HornUnit* leader) {
    if (!startRun(x, n, leader)) return false;
    // The wide path's rays hand their values on in float, which its lanes
    // (mixSpanWide) widen where they read them; the path is chosen once for
    // the run, so that the batch and the lanes agree on it. The lobe phases
    // are read on update samples alone (the look-ups below).
    runWide_ = useWidePaths();
    const RayBatch<kImageRays>::Inputs in{
        history_,         table_, 0.0,      appliedRadius_,    kTableStepsPerMetre,
        kAnyDisplacement, 0.0,    runWide_, run_.update.data()};
    if (runWide_)
        batch_.runSeriesWide(in, run_.firstWrite, run_.fmSamples.data(), n, fullRun_.data());
    else
        batch_.runSeriesNarrow(in, run_.firstWrite, run_.fmSamples.data(), n, fullRun_.data());
    // The directivity sections' targets of the update samples and their glided
    // values (table look-ups, square roots and divisions that depend on the rays
    // alone) and the static ray's reads.
    for (int j = 0; j < n; ++j) {
        if (!run_.update[j]) continue;
        const FullRays& r = fullRun_[j];
        if (!runWide_) {
            lookUpDirectivity(r.mu, runTargets_[j]);
            continue;
        }
        alignas(32) std::array<double, kImageRays> mu;
        for (int i = 0; i < kImageRays; ++i) mu[i] = r.muSingle[i]; // exact
        lookUpDirectivity(mu.data(), runTargets_[j]);
    }
    readStatics(n);
    mixLanesRun(n);
    return true;
}

void HornUnit::mixLanesRun(int n) {
    for (int j = 0; j < n;) {
        // Sample j's steps ahead of its lanes, as mixRays takes them.
        followReflectionLowPass();
        const LaneFactors& m = laneFactors(run_.e[j]);
        if (run_.update[j]) {
            markUpdatedRays();
            updateDirectivityFull(runTargets_[j]);
            snapDirectivity_ = false;
        }
        int end = j + 1;
        while (end < n && !run_.update[end] && sameLaneTerms(j, end)) ++end;
        if (runWide_)
            mixSpanWide(j, end - j, m);
        else
            mixSpan<Vec2>(j, end - j, m);
        j = end;
    }
}

bool HornUnit::sameLaneTerms(int first, int j) const {
    // The ray levels and the reflection low-pass are read once a span, as a
    // run reads its other settings once (startRun): the lane factors then
    // change only with the reflection coefficient. The amplitude floor, which
    // a span holds in registers, is the span's first sample's too. Both are
    // compared bit by bit.
    const auto same = [](double a, double b) {
        return std::bit_cast<uint64_t>(a) == std::bit_cast<uint64_t>(b);
    };
    return same(run_.e[j], run_.e[first]) && same(run_.floor[j], run_.floor[first]);
}

template <typename Vec> struct HornUnit::SpanMix {
    using Mask = decltype(Vec{} < Vec{});
    static constexpr size_t kBytes = sizeof(Vec);
    int i;
    Vec state, pole, weight, level, room, floors;
    Mask reflects, has;
    [[gnu::always_inline]] inline void begin(const SpanArgs& a, int lanes) {
        i = lanes;
        const HornUnit& u = a.unit;
        // The room factor and the amplitude floor hold over the span (see
        // sameLaneTerms).
        std::memcpy(&room, u.roomFactors_.data(), kBytes);
        floors = Vec{} + u.run_.floor[a.first];
        std::memcpy(&state, &u.reflected_[i], kBytes);
        std::memcpy(&pole, &u.rayPole_[i], kBytes);
        std::memcpy(&weight, a.m.weight + i, kBytes);
        std::memcpy(&level, a.m.level + i, kBytes);
        std::memcpy(&reflects, &u.reflects_[i], kBytes);
        std::memcpy(&has, &u.rayHeard_[i], kBytes);
    }
    // A value of the rays from i on: the wide path's rays hand theirs on in
    // float (widened exactly here), the narrow path's in double.
    [[gnu::always_inline]] inline void rayValues(const double* doubles, const float* singles,
                                                 Vec& v) const {
        if constexpr (sizeof(Vec) == sizeof(Vec4)) {
            widen(singles + i, v);
        } else {
            std::memcpy(&v, doubles + i, kBytes);
        }
    }
    // The rays' inputs; a side ray the back region leaves out runs its
    // sections on silence (+0: the mask clears every bit).
    [[gnu::always_inline]] inline void take(const SpanArgs& a, int j, Vec& in) const {
        const FullRays& r = a.unit.fullRun_[a.first + j];
        Vec input;
        rayValues(r.input, r.inputSingle, input);
        in = has ? input : Vec{};
    }
    // mixLanes's steps after the sections.
    [[gnu::always_inline]] inline void then(const SpanArgs& a, int j, const Vec& ray) {
        HornUnit& u = a.unit;
        const int at = a.first + j;
        const FullRays& r = u.fullRun_[at];
        Vec attenuation;
        rayValues(r.attenuation, r.attenuationSingle, attenuation);
        Vec out;
        levelAndReflect(ray, attenuation, room, floors, weight, level, pole, reflects, state, out);
        std::memcpy(&u.heardRun_[at][i], &out, kBytes);
    }
    [[gnu::always_inline]] inline void end(const SpanArgs& a, int) {
        std::memcpy(&a.unit.reflected_[i], &state, kBytes);
    }
};

template <typename Vec>
[[gnu::always_inline]] inline void HornUnit::mixSpan(int first, int length, const LaneFactors& m) {
    SpanArgs args{*this, m, first};
    Sections::processPairSpan<Vec, SpanMix<Vec>>(sectionsA_, sectionsB_, length, args);
}

void HornUnit::mixSpanWide(int first, int length, const LaneFactors& m) {
    mixSpan<Vec4>(first, length, m);
}

inline double HornUnit::mixRunSample(int j) {
    const Frame f = runFrameOf(j);
    const double y = sumRays(f, heardRun_[j].data(), run_.statics[j]);
    endRunFrame(f);
    return y;
}

void HornUnit::mixRun(const double* x, double* y, int n, const HornUnit* leader) {
    const bool phased = startMixRun(x, n, leader);
    for (int j = 0; j < n; ++j) y[j] = phased ? mixRunSample(j) : mixFull(x[j]);
}

void HornUnit::crossRun(const double* x, double* y, int n, const HornUnit* leader) {
    if (!startRun(x, n, leader)) {
        for (int j = 0; j < n; ++j) y[j] = processCross(x[j]);
        return;
    }
    // The lobe phases are read on update samples alone (crossRay).
    crossBatch_.runSeries({history_, table_, 0.0, appliedRadius_, kTableStepsPerMetre,
                           kAnyDisplacement, kCrossMouthOffset, false, run_.update.data()},
                          run_.firstWrite, run_.fmSamples.data(), n, crossRun_.data());
    readStatics(n);
    for (int j = 0; j < n; ++j) {
        const Frame f = runFrame(j);
        y[j] = crossSum(f, crossRun_[j], run_.statics[j]);
        endRunFrame(f);
    }
    // The EQ over the whole run as a wavefront: its cascades' sections then
    // overlap with each other instead of waiting sample by sample.
    MultiFilter::processChainBlock(staticEq_.data(), kCrossEqCascades, y, n);
}

void HornUnit::staticEqPair(HornUnit& a, double* ya, HornUnit& b, double* yb, int n) {
    MultiFilter::processChainPairBlock(a.staticEq_.data(), ya, b.staticEq_.data(), yb,
                                       kStaticEqCascades, n);
}

void HornUnit::processMicrophonesRun(HornUnit& a, HornUnit& b, const double* x, double* ya,
                                     double* yb, double* mechA, double* mechB, int n) {
    if (a.isCross() || b.isCross()) {
        for (int j = 0; j < n; ++j) {
            processMicrophones(a, b, x[j], ya[j], yb[j]);
            if (MechNoisePlayer* p = a.mechPlayer()) mechA[j] = p->process();
            if (MechNoisePlayer* p = b.mechPlayer()) mechB[j] = p->process();
        }
        return;
    }
    for (int done = 0; done < n; done += kRunLength) {
        const int m = std::min(kRunLength, n - done);
        double* outA = ya + done;
        double* outB = yb + done;
        // Each unit goes in phases if its run fits its history, else sample by
        // sample; the two units' samples alternate, so that one's recursions
        // overlap with the other's. Each player then plays its unit's hand-overs.
        const bool phasedA = a.startMixRun(x + done, m, nullptr);
        const bool phasedB = b.startMixRun(x + done, m, &a);
        for (int j = 0; j < m; ++j) {
            outA[j] = phasedA ? a.mixRunSample(j) : a.mixFull(x[done + j]);
            outB[j] = phasedB ? b.mixRunSample(j) : b.mixFull(x[done + j]);
        }
        MechNoisePlayer::processRunPair(*a.player_, mechA + done, *b.player_, mechB + done, m);
        staticEqPair(a, outA, b, outB, m);
        for (int j = 0; j < m; ++j) {
            outA[j] *= a.outputGain_;
            outB[j] *= b.outputGain_;
        }
    }
}

void HornUnit::processRun(const double* x, double* y, int n, const HornUnit* leader) {
    for (int done = 0; done < n; done += kRunLength) {
        const int m = std::min(kRunLength, n - done);
        double* out = y + done;
        if (isCross()) {
            crossRun(x + done, out, m, leader);
        } else {
            mixRun(x + done, out, m, leader);
            for (int j = 0; j < m; ++j)
                out[j] = MultiFilter::processChain(staticEq_.data(), kStaticEqCascades, out[j]) *
                         outputGain_;
        }
    }
}

} // namespace zel
