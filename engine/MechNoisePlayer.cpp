#include "engine/MechNoisePlayer.h"

#include "engine/CpuFeatures.h"
#include "engine/FourCubicReads.h"
#include "engine/Interpolation.h"
#include "engine/data/MotorNoiseTables.h"

#include <algorithm>
#include <cmath>
#include <emmintrin.h>

namespace zel {

namespace {

constexpr double kMinSpan = 1e-10;
constexpr double kMinMicDistance = 0.01; // metres; keeps the distance factor finite
constexpr double kInitialMicDistance = 1.0;
constexpr double kDistanceReference = 0.3;

// Horn: one band-pass whose width follows the microphone distance.
constexpr double kHornBandPassHz = 1100.0;
constexpr double kHornQPerMetre = 0.25;
constexpr double kHornQBase = 0.05;
constexpr double kHornDistanceExponent = 0.25;

// Drum: the loop passes a low-pass and the recording a high shelf, both moving
// with the speed between the limits, then a band-pass.
constexpr double kDrumBandPassHz = 1000.0;
constexpr double kDrumQPerMetre = 0.12;
constexpr double kDrumQBase = 0.005;
constexpr double kDrumDistanceExponent = 0.1;
constexpr double kDrumLowPassHz = 18000.0;
constexpr double kDrumLowPassQ = 0.7;
constexpr double kDrumLowPassExponent = 0.06;
constexpr double kDrumShelfHz = 2000.0;
constexpr double kDrumShelfQ = 0.707;
constexpr double kDrumShelfBaseHz = 3500.0;
constexpr double kDrumShelfSpanHz = 9500.0;
constexpr double kDrumShelfSpanDb = 12.0;
constexpr double kDrumLoopSpeedScale = 0.2;
// The drum tables: the low-pass over the square root of its corner, the shelf
// over the squared speed position; the shelf's settings are straight lines in
// that position, so half the steps do.
constexpr int kDrumTableSteps = DirectivityTable::kMaxSteps;
constexpr int kDrumShelfSteps = kDrumTableSteps / 2;

// The highest corner the drum's low-pass can take at a rate.
double drumLowPassTop(double rate) {
    return std::min(kDrumLowPassHz, BiquadFilter::kMaxFrequencyRatio * rate);
}

// readCubicF, with a whole-number position (the horn's loop steps whole samples
// at 44.1 and 22.05 kHz) read straight from the table: the Catmull-Rom sum at
// fraction 0 is its second point, which is the entry itself (at position 0 the
// spare entry after the end, equal to the first).
float readTable(const float* table, int length, double position) {
    if (position >= 0.0 && position < static_cast<double>(length)) {
        const int whole = static_cast<int>(position);
        if (position == static_cast<double>(whole)) return table[whole];
    }
    return readCubicF(table, length, position);
}

// Whether readTable takes a position straight from the table, and its entry.
bool readsWhole(int length, double position, int& whole) {
    if (!(position >= 0.0 && position < static_cast<double>(length))) return false;
    whole = static_cast<int>(position);
    return position == static_cast<double>(whole);
}

// out[k] = readTable(table, length, position[k]) for k = 0..3.
void readTable4(const float* table, int length, const double* position, float* out) {
    int whole[4] = {};
    bool direct[4];
    for (int k = 0; k < 4; ++k) direct[k] = readsWhole(length, position[k], whole[k]);
    if (!(direct[0] && direct[1] && direct[2] && direct[3]))
        readCubicF4(table, length, position, out);
    for (int k = 0; k < 4; ++k)
        if (direct[k]) out[k] = table[whole[k]];
}

// The run readers below with AVX2: the cubic reads' neighbours gathered, four
// at a time.
[[gnu::target("avx2")]] void readCubicRunAvx2(const float* table, int length,
                                              const double* position, float* out, int n) {
    int k = 0;
    for (; k + 4 <= n; k += 4) readCubicF4Avx2(table, length, position + k, out + k);
    for (; k < n; ++k) out[k] = readCubicF(table, length, position[k]);
}

[[gnu::target("avx2")]] void readTableRunAvx2(const float* table, int length,
                                              const double* position, float* out, int n) {
    const __m256d len = _mm256_set1_pd(static_cast<double>(length));
    int k = 0;
    for (; k + 4 <= n; k += 4) {
        // Any whole position in the table is read straight from it.
        const __m256d p = _mm256_loadu_pd(position + k);
        const __m256d whole =
            _mm256_and_pd(_mm256_cmp_pd(_mm256_round_pd(p, _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC),
                                        p, _CMP_EQ_OQ),
                          _mm256_and_pd(_mm256_cmp_pd(p, _mm256_setzero_pd(), _CMP_GE_OQ),
                                        _mm256_cmp_pd(p, len, _CMP_LT_OQ)));
        if (_mm256_movemask_pd(whole) == 0)
            readCubicF4Avx2(table, length, position + k, out + k);
        else
            readTable4(table, length, position + k, out + k);
    }
    for (; k < n; ++k) out[k] = readTable(table, length, position[k]);
}

// out[k] = readTable(table, length, position[k]) for k < n, four at a time.
void readTableRun(const float* table, int length, const double* position, float* out, int n,
                  bool wide) {
    if (wide) {
        readTableRunAvx2(table, length, position, out, n);
        return;
    }
    int k = 0;
    for (; k + 4 <= n; k += 4) readTable4(table, length, position + k, out + k);
    for (; k < n; ++k) out[k] = readTable(table, length, position[k]);
}

// out[k] = readCubicF(table, length, position[k]) for k < n, four at a time.
void readCubicRun(const float* table, int length, const double* position, float* out, int n,
                  bool wide) {
    if (wide) {
        readCubicRunAvx2(table, length, position, out, n);
        return;
    }
    int k = 0;
    for (; k + 4 <= n; k += 4) readCubicF4(table, length, position + k, out + k);
    for (; k < n; ++k) out[k] = readCubicF(table, length, position[k]);
}

double wrapUnit(double x) {
    if (x >= 1.0) x -= 1.0;
    if (!(x >= 0.0 && x < 1.0)) {
        x -= std::floor(x);
        if (!(x >= 0.0 && x < 1.0)) x = 0.0;
    }
    return x;
}

// Steps a phase n times as wrapUnit(phase + step) does, handing body(k, phase)
// each sample's phase before its step. From a phase in [0, 1) by a step in
// [0, 1) the sum lies in [0, 2) and one subtraction of 1 (exact there) brings it
// back, so wrapUnit's further checks never fire and are left out.
template <typename Body>
[[gnu::always_inline]] inline double stepPhase(double phase, double step, int n, Body&& body) {
    if (phase >= 0.0 && phase < 1.0 && step >= 0.0 && step < 1.0) {
        for (int k = 0; k < n; ++k) {
            body(k, phase);
            phase += step;
            if (phase >= 1.0) phase -= 1.0;
        }
    } else {
        for (int k = 0; k < n; ++k) {
            body(k, phase);
            phase = wrapUnit(phase + step);
        }
    }
    return phase;
}

// The end of the stretch from j (of n) whose speeds equal s: the first sample
// after j at another speed, or n. Two samples are compared at a time.
int stretchEnd(const double* speed, int j, int n, double s) {
    int end = j + 1;
    const __m128d at = _mm_set1_pd(s);
    for (; end + 2 <= n; end += 2) {
        const int differ = _mm_movemask_pd(_mm_cmpneq_pd(_mm_loadu_pd(speed + end), at));
        if (differ != 0) return end + ((differ & 1) != 0 ? 0 : 1);
    }
    if (end < n && speed[end] == s) ++end;
    return end;
}

} // namespace

MechNoisePlayer::MechNoisePlayer(MechNoiseSource source, double rate)
    : source_(source), offset_(0.0), direction_(source == MechNoiseSource::Drum ? 1.0 : -1.0),
      bandPass_(44100.0, kBiquadBandPass,
                source == MechNoiseSource::Drum ? kDrumBandPassHz : kHornBandPassHz, 1.0, 0.0),
      lowPass_(44100.0, kBiquadLowPass, kDrumLowPassHz, kDrumLowPassQ, 0.0),
      highShelf_(44100.0, kBiquadHighShelf, kDrumShelfHz, kDrumShelfQ, 0.0) {
    const MotorNoiseTables& t = motorNoiseTables();
    transition_ = t.transition.data();
    switch (source) {
    case MechNoiseSource::HornUnit0:
        loop_ = t.hornLoopA.data();
        recording_ = t.hornRotor.data();
        offset_ = kHornOffset0;
        break;
    case MechNoiseSource::HornUnit1:
        loop_ = t.hornLoopB.data();
        recording_ = t.hornRotor.data();
        offset_ = kHornOffset1;
        break;
    case MechNoiseSource::Drum:
        loop_ = t.drumLoop.data();
        recording_ = t.drumRotor.data();
        offset_ = kDrumOffset;
        break;
    }
    bandPass_.setEnabled(true);
    if (!isHorn()) {
        lowPass_.setEnabled(true);
        highShelf_.setEnabled(true);
    }
    requestedDistance_.store(kInitialMicDistance);
    setRate(rate);
}

void MechNoisePlayer::setRate(double rate) noexcept {
    rate_ = rate >= kMinRate ? rate : kMinRate;
    invRate_ = 1.0 / rate_;
    slowLimit_ = kSlowLimitHz * invRate_;
    fastLimit_ = kFastLimitHz * invRate_;
    invSlowLimit_ = 1.0 / slowLimit_;
    invSpan_ = 1.0 / std::max(fastLimit_ - slowLimit_, kMinSpan);
    loopPos_ = 0.0;
    phase_ = 0.0;
    transitionActive_ = false;
    transitionPos_ = 0.0;
    step_ = kMotorNoiseTableRate * invRate_;
    tunedSpeed_ = kUntuned;

    bandPass_.setRate(rate_);
    applyMicDistance(requestedDistance_.load());
    bandPass_.setFrequency(isHorn() ? kHornBandPassHz : kDrumBandPassHz);
    bandPass_.clear();
    band_.setCoefficients(bandPass_.target());
    if (!isHorn()) {
        // Frequencies are kept below half the rate: a section tuned beyond it
        // would ring at an aliased resonance instead of passing the signal.
        lowPass_.setRate(rate_);
        lowPass_.setFrequency(kDrumLowPassHz);
        lowPass_.clear();
        highShelf_.setRate(rate_);
        highShelf_.setAll(std::min(kDrumShelfHz, BiquadFilter::kMaxFrequencyRatio * rate_),
                          kDrumShelfQ, 0.0);
        highShelf_.clear();
        drumPair_.setCoefficients(kDrumLoopSection, lowPass_.target());
        drumPair_.setCoefficients(kDrumRecordingSection, highShelf_.target());
        drumPair_.clear();
        lowPassTop_ = drumLowPassTop(rate_);
        tables_.use(rate_);
    }
    band_.clear();
}

int MechNoisePlayer::prepareRate(double rate, int budget) noexcept {
    if (isHorn()) return 0;
    return tables_.prepare(rate >= kMinRate ? rate : kMinRate, budget);
}

void MechNoisePlayer::DrumTables::begin(double rate) {
    lowPass.begin(kDrumTableSteps, rate, kBiquadLowPass);
    shelf.begin(kDrumShelfSteps, rate, kBiquadHighShelf);
}

int MechNoisePlayer::DrumTables::extend(int budget) {
    const double top = drumLowPassTop(lowPass.rate());
    const int a = lowPass.extend(budget, [top](BiquadFilter& f, int index, double w) {
        const double root = (index + w) / kDrumTableSteps;
        f.setFrequencyAndQ(top * root * root, kDrumLowPassQ);
    });
    const double shelfTop = BiquadFilter::kMaxFrequencyRatio * shelf.rate();
    const int b = shelf.extend(budget - a, [shelfTop](BiquadFilter& f, int index, double w) {
        const double x2 = (index + w) / kDrumShelfSteps;
        f.setAll(std::min(x2 * kDrumShelfSpanHz + kDrumShelfBaseHz, shelfTop), kDrumShelfQ,
                 x2 * kDrumShelfSpanDb - kDrumShelfSpanDb);
    });
    return a + b;
}

void MechNoisePlayer::setMicDistance(double metres) noexcept {
    if (!(metres >= kMinMicDistance)) metres = kMinMicDistance; // also NaN
    requestedDistance_.store(metres);
}

void MechNoisePlayer::startTransition() noexcept {
    transitionRequests_.store(transitionRequests_.load() + 1u);
}

void MechNoisePlayer::applyMicDistance(double metres) noexcept {
    appliedDistance_ = metres;
    if (isHorn()) {
        bandPass_.setQ(metres * kHornQPerMetre + kHornQBase);
        distanceFactor_ = std::pow(kDistanceReference / metres, kHornDistanceExponent);
    } else {
        bandPass_.setQ(metres * kDrumQPerMetre + kDrumQBase);
        distanceFactor_ = std::pow(kDistanceReference / metres, kDrumDistanceExponent);
    }
    band_.setCoefficients(bandPass_.target());
}

void MechNoisePlayer::applyRequests() noexcept {
    const double d = requestedDistance_.load();
    if (d != appliedDistance_) applyMicDistance(d);
    const uint32_t n = transitionRequests_.load();
    if (n != transitionsSeen_) {
        transitionsSeen_ = n;
        transitionActive_ = true;
        transitionPos_ = 0.0;
        transitionGain_ = 1.0;
        transitionLevel_ = decelLevel_.load() * kTransitionLevel;
    }
}

double MechNoisePlayer::transitionSample() noexcept {
    if (!transitionActive_) return 0.0;
    const double v =
        static_cast<double>(lookupCubicF(transition_, kTransitionLength, transitionPos_)) *
        transitionGain_ * transitionLevel_;
    if (transitionPos_ > static_cast<double>(kTransitionLength)) transitionActive_ = false;
    transitionPos_ += step_;
    return v;
}

// The horn's crossfade weights and phase step for a speed, computed again only
// when the speed moves.
void MechNoisePlayer::tuneHorn(double s) noexcept {
    tunedSpeed_ = s;
    phaseStep_ = s / kHornRotorRevolutions;
    if (s > slowLimit_) {
        loopWeight_ = 0.0;
        recordingWeight_ = 1.0;
        if (s < fastLimit_) {
            const double x = (s - slowLimit_) * invSpan_;
            const double d = 1.0 - 2.5 * x;
            loopWeight_ = x < 0.4 ? d * d : 0.0;
            const double x2 = x * x;
            recordingWeight_ = x2 * x2;
        }
    } else {
        const double r = s * invSlowLimit_;
        loopWeight_ = r * r;
        recordingWeight_ = 0.0;
    }
}

// The drum's crossfade weights and filter tuning for a speed. Between the limits
// the low-pass and the shelf follow the speed; they are tuned again only when the
// speed moves. Like every section of the player they take new coefficients at
// once (immediate mode: no glide).
void MechNoisePlayer::tuneDrum(double s) noexcept {
    tunedSpeed_ = s;
    phaseStep_ = s / kDrumRotorRevolutions;
    loopStep_ = s * kDrumLoopSpeedScale;
    if (s > slowLimit_) {
        loopWeight_ = 0.0;
        recordingWeight_ = 1.0;
        if (s < fastLimit_) {
            const double x = (s - slowLimit_) * invSpan_;
            const double x2 = x * x;
            const double hz = kDrumLowPassHz - kDrumLowPassHz * std::pow(x, kDrumLowPassExponent);
            const double share = std::clamp(hz, 0.0, lowPassTop_) / lowPassTop_;
            drumPair_.setCoefficients(kDrumLoopSection,
                                      tables_.live().lowPass.at(std::sqrt(share)));
            loopWeight_ = std::sqrt(std::sqrt(1.0 - x)); // the fourth root
            recordingWeight_ = x2;
            drumPair_.setCoefficients(kDrumRecordingSection, tables_.live().shelf.at(x2));
        }
    } else {
        const double r = s * invSlowLimit_;
        loopWeight_ = r * r;
        recordingWeight_ = 0.0;
    }
}

// Where the microphone places the rotor recording, in recorded revolutions
// (sign by the rotor's direction), computed again only when it moves.
double MechNoisePlayer::micTurn(double micAngle, int revolutions) noexcept {
    if (micAngle != turnedMicAngle_) {
        turnedMicAngle_ = micAngle;
        micTurn_ = turnOf(micAngle, revolutions);
    }
    return micTurn_;
}

double MechNoisePlayer::turnOf(double micAngle, int revolutions) const noexcept {
    return isHorn() ? direction_ * micAngle / revolutions : micAngle * direction_ / revolutions;
}

// ---- one sample ------------------------------------------------------------------

inline double MechNoisePlayer::processHorn() noexcept {
    const double s = speed_;
    if (s != tunedSpeed_) tuneHorn(s);
    const double wl = loopWeight_;
    const double wr = recordingWeight_;

    double o = 0.0;
    if (wl != 0.0) {
        o += static_cast<double>(readTable(loop_, kHornLoopLength, loopPos_)) * slowLevel_.load() *
             wl;
    }
    if (wr != 0.0) {
        // The recording advances one recorded revolution per rotor revolution
        // through its phase; the microphone angle places it, as for the drum.
        // (The retarded angle also moves once per revolution, so adding it
        // would play the recording at twice its pace and jump back a
        // revolution every turn.)
        const double pos =
            (phase_ + micTurn(micAngle_, kHornRotorRevolutions) + offset_) * kHornRotorLength;
        o += static_cast<double>(readCubicF(recording_, kHornRotorLength, pos)) *
             fastLevel_.load() * wr;
    }
    loopPos_ += step_;
    if (loopPos_ >= kHornLoopLength) loopPos_ -= kHornLoopLength;
    phase_ = wrapUnit(phase_ + phaseStep_);
    o += transitionSample();
    o = band_.process(o);
    return o * distanceFactor_ * amplitude_;
}

inline double MechNoisePlayer::processDrum() noexcept {
    const double s = speed_;
    if (s != tunedSpeed_) tuneDrum(s);
    const double wl = loopWeight_;
    const double wr = recordingWeight_;

    double rec = 0.0;
    double loop = 0.0;
    if (wr != 0.0) {
        const double pos =
            (micTurn(micAngle_, kDrumRotorRevolutions) + phase_ + offset_) * kDrumRotorLength;
        rec = static_cast<double>(readCubicF(recording_, kDrumRotorLength, pos)) *
              fastLevel_.load() * wr;
    }
    if (wl != 0.0) {
        loop = static_cast<double>(readCubicF(loop_, kDrumLoopLength, loopPos_ * kDrumLoopLength)) *
               slowLevel_.load() * wl;
    }
    phase_ = wrapUnit(phase_ + phaseStep_);
    loopPos_ = wrapUnit(loopPos_ + loopStep_);
    double t = drumPair_.processSum(loop, rec);
    t += transitionSample();
    t = band_.process(t);
    return t * distanceFactor_ * amplitude_;
}

double MechNoisePlayer::process() noexcept {
    if (handCount_ != 0) {
        const int k = (handCount_ - 1) & (kMaxRun - 1);
        amplitude_ = hand_.amplitude[k];
        micAngle_ = hand_.micAngle[k];
        speed_ = hand_.speed[k];
        handCount_ = 0;
    }
    if (requestedDistance_.load() != appliedDistance_ ||
        transitionRequests_.load() != transitionsSeen_)
        applyRequests();
    return isHorn() ? processHorn() : processDrum();
}

// ---- runs ------------------------------------------------------------------------

// A run plays what its samples would play one by one: the requests from other
// threads are taken at its start (a sample later than process would take them,
// as if they had come a little later), and it goes in stretches at one speed,
// re-tuning where the speed moves as process re-tunes. Within a stretch the
// weights, steps and the drum's sections stay put: the positions step sample by
// sample, the tables are read four at a time, and the sections run with their
// state in registers, each sample through the same operations in the same order
// as process.
void MechNoisePlayer::processRun(double* out, int n) noexcept {
    if (n <= 0) return;
    applyPendingRequests();
    for (int done = 0; done < n;) {
        const int m = std::min(kMaxRun, n - done);
        HandOvers scratch;
        const RunValues v = takeValues(n - done, m, scratch);
        if (isHorn()) {
            alignas(16) double in[kMaxRun];
            hornInputs(v, in, m);
            SettledSection band = band_;
            const double distance = distanceFactor_;
            for (int k = 0; k < m; ++k)
                out[done + k] = band.process(in[k]) * distance * v.amplitude[k];
            band_ = band;
        } else {
            drumRun(v, out + done, m);
        }
        keepValues(v, m);
        done += m;
    }
    handCount_ = 0;
}

// Two horn players' runs: their band-passes run side by side, each in its own
// half of one register with its own operations.
void MechNoisePlayer::processRunPair(MechNoisePlayer& a, double* outA, MechNoisePlayer& b,
                                     double* outB, int n) noexcept {
    if (!a.isHorn() || !b.isHorn() || n > kMaxRun || &a == &b) {
        a.processRun(outA, n);
        b.processRun(outB, n);
        return;
    }
    if (n <= 0) return;
    a.applyPendingRequests();
    b.applyPendingRequests();
    HandOvers scratchA, scratchB;
    const RunValues va = a.takeValues(n, n, scratchA);
    const RunValues vb = b.takeValues(n, n, scratchB);
    alignas(16) double inA[kMaxRun];
    alignas(16) double inB[kMaxRun];
    a.hornInputs(va, inA, n);
    b.hornInputs(vb, inB, n);
    SettledPair bands;
    bands.take(0, a.band_);
    bands.take(1, b.band_);
    const __m128d distance = _mm_set_pd(b.distanceFactor_, a.distanceFactor_);
#pragma GCC unroll 2 // the histories move by renaming, not by copies
    for (int k = 0; k < n; ++k) {
        const __m128d y = bands.process(_mm_set_pd(inB[k], inA[k]));
        const __m128d o =
            _mm_mul_pd(_mm_mul_pd(y, distance), _mm_set_pd(vb.amplitude[k], va.amplitude[k]));
        _mm_storel_pd(outA + k, o);
        _mm_storeh_pd(outB + k, o);
    }
    bands.give(0, a.band_);
    bands.give(1, b.band_);
    a.keepValues(va, n);
    b.keepValues(vb, n);
    a.handCount_ = 0;
    b.handCount_ = 0;
}

void MechNoisePlayer::applyPendingRequests() noexcept {
    if (requestedDistance_.load() != appliedDistance_ ||
        transitionRequests_.load() != transitionsSeen_)
        applyRequests();
}

// The values of the next m samples of the `remaining` a run has left: its last
// samples take the hand-overs kept (one each, the latest last), the samples
// before them the values held.
MechNoisePlayer::RunValues MechNoisePlayer::takeValues(int remaining, int m,
                                                       HandOvers& scratch) const noexcept {
    const int fresh = std::min({handCount_, kMaxRun, remaining});
    const int held = remaining - fresh;
    if (held == 0 && m == remaining && handCount_ <= kMaxRun) {
        const int first = handCount_ - m;
        return {hand_.amplitude + first, hand_.micAngle + first, hand_.speed + first};
    }
    for (int i = 0; i < m; ++i) {
        if (i < held) {
            scratch.amplitude[i] = amplitude_;
            scratch.micAngle[i] = micAngle_;
            scratch.speed[i] = speed_;
        } else {
            const int k = (handCount_ - (remaining - i)) & (kMaxRun - 1);
            scratch.amplitude[i] = hand_.amplitude[k];
            scratch.micAngle[i] = hand_.micAngle[k];
            scratch.speed[i] = hand_.speed[k];
        }
    }
    return {scratch.amplitude, scratch.micAngle, scratch.speed};
}

// The values held after m samples: the last sample's.
void MechNoisePlayer::keepValues(const RunValues& v, int m) noexcept {
    amplitude_ = v.amplitude[m - 1];
    micAngle_ = v.micAngle[m - 1];
    speed_ = v.speed[m - 1];
}

// Calls stretch(first, count) for each stretch of n <= kMaxRun samples at one
// speed, tuned for it.
template <typename Stretch>
inline void MechNoisePlayer::inStretches(const double* speed, int n, Stretch&& stretch) noexcept {
    for (int j = 0; j < n;) {
        const double s = speed[j];
        if (s != tunedSpeed_) {
            if (isHorn())
                tuneHorn(s);
            else
                tuneDrum(s);
        }
        const int end = stretchEnd(speed, j, n, tunedSpeed_);
        stretch(j, end - j);
        j = end;
    }
}

// The horn's band-pass inputs of n <= kMaxRun samples: the weighted sum and the
// transition.
void MechNoisePlayer::hornInputs(const RunValues& v, double* in, int n) noexcept {
    const double slow = slowLevel_.load();
    const double fast = fastLevel_.load();
    inStretches(v.speed, n,
                [&](int j, int count) { hornStretch(v.micAngle + j, in + j, count, slow, fast); });
    if (transitionActive_) {
        for (int k = 0; k < n; ++k) in[k] += transitionSample();
    } else {
        for (int k = 0; k < n; ++k) in[k] += 0.0;
    }
}

// The recording's phase over a stretch and, where it sounds, its reads.
template <int Revolutions, bool TurnFirst>
inline void MechNoisePlayer::readRecording(const double* micAngle, int length, float* read,
                                           int n) noexcept {
    double phase = phase_;
    const double phaseStep = phaseStep_;
    if (recordingWeight_ == 0.0) {
        phase_ = stepPhase(phase, phaseStep, n, [](int, double) {});
        return;
    }
    alignas(32) double at[kMaxRun];
    double angle = turnedMicAngle_, turn = micTurn_;
    const double offset = offset_, len = static_cast<double>(length);
    phase_ = stepPhase(phase, phaseStep, n, [&](int k, double p) {
        if (micAngle[k] != angle) {
            angle = micAngle[k];
            turn = turnOf(angle, Revolutions);
        }
        at[k] = (TurnFirst ? turn + p + offset : p + turn + offset) * len;
    });
    turnedMicAngle_ = angle;
    micTurn_ = turn;
    readCubicRun(recording_, length, at, read, n, wideReads_);
}

// With AVX2 as the drum's stretch: the same operations, the same values.
void MechNoisePlayer::hornStretch(const double* micAngle, double* in, int n, double slow,
                                  double fast) noexcept {
    if (wideReads_)
        hornStretchAvx2(micAngle, in, n, slow, fast);
    else
        hornStretchOf(micAngle, in, n, slow, fast);
}

[[gnu::target("avx2")]] void MechNoisePlayer::hornStretchAvx2(const double* micAngle, double* in,
                                                              int n, double slow,
                                                              double fast) noexcept {
    hornStretchOf(micAngle, in, n, slow, fast);
}

inline void MechNoisePlayer::hornStretchOf(const double* micAngle, double* in, int n, double slow,
                                           double fast) noexcept {
    const double wl = loopWeight_;
    const double wr = recordingWeight_;
    alignas(16) float recordingRead[kMaxRun];
    readRecording<kHornRotorRevolutions, false>(micAngle, kHornRotorLength, recordingRead, n);

    // The loop; at a whole step from a whole position (44.1 and 22.05 kHz) every
    // position is whole, and whole numbers step exactly as whole doubles do.
    alignas(16) float loopRead[kMaxRun];
    const bool loop = wl != 0.0;
    int whole = 0, wholeStep = 0;
    if (readsWhole(kHornLoopLength, loopPos_, whole) &&
        readsWhole(kHornLoopLength, step_, wholeStep)) {
        if (wholeStep > 0) {
            // In pieces up to the loop's end: the positions within a piece are
            // whole + i wholeStep, the wrap comes after its last.
            for (int k = 0; k < n;) {
                const int room = (kHornLoopLength - 1 - whole) / wholeStep + 1;
                const int m = std::min(n - k, room);
                if (loop)
                    for (int i = 0; i < m; ++i) loopRead[k + i] = loop_[whole + i * wholeStep];
                whole += m * wholeStep;
                if (whole >= kHornLoopLength) whole -= kHornLoopLength;
                k += m;
            }
        } else if (loop) {
            std::fill_n(loopRead, n, loop_[whole]);
        }
        loopPos_ = whole;
    } else {
        alignas(32) double loopAt[kMaxRun];
        double loopPos = loopPos_;
        const double step = step_;
        for (int k = 0; k < n; ++k) {
            loopAt[k] = loopPos;
            loopPos += step;
            if (loopPos >= kHornLoopLength) loopPos -= kHornLoopLength;
        }
        loopPos_ = loopPos;
        if (loop) readTableRun(loop_, kHornLoopLength, loopAt, loopRead, n, wideReads_);
    }

    if (loop && wr != 0.0) {
        for (int k = 0; k < n; ++k)
            in[k] = 0.0 + static_cast<double>(loopRead[k]) * slow * wl +
                    static_cast<double>(recordingRead[k]) * fast * wr;
    } else if (loop) {
        for (int k = 0; k < n; ++k) in[k] = 0.0 + static_cast<double>(loopRead[k]) * slow * wl;
    } else if (wr != 0.0) {
        for (int k = 0; k < n; ++k) in[k] = 0.0 + static_cast<double>(recordingRead[k]) * fast * wr;
    } else {
        std::fill_n(in, n, 0.0);
    }
}

// The drum's n <= kMaxRun samples.
void MechNoisePlayer::drumRun(const RunValues& v, double* out, int n) noexcept {
    const double slow = slowLevel_.load();
    const double fast = fastLevel_.load();
    inStretches(v.speed, n, [&](int j, int count) {
        const RunValues at{v.amplitude + j, v.micAngle + j, v.speed + j};
        drumStretch(at, out + j, count, slow, fast);
    });
}

// Where the processor has AVX2 the stretch takes the same operations in the
// same order with its three-operand encodings (no multiply is fused into an
// add): fewer copies between registers, the same values to the bit.
void MechNoisePlayer::drumStretch(const RunValues& v, double* out, int n, double slow,
                                  double fast) noexcept {
    if (wideReads_)
        drumStretchAvx2(v, out, n, slow, fast);
    else
        drumStretchOf(v, out, n, slow, fast);
}

[[gnu::target("avx2")]] void MechNoisePlayer::drumStretchAvx2(const RunValues& v, double* out,
                                                              int n, double slow,
                                                              double fast) noexcept {
    drumStretchOf(v, out, n, slow, fast);
}

inline void MechNoisePlayer::drumStretchOf(const RunValues& v, double* out, int n, double slow,
                                           double fast) noexcept {
    if (n <= 0) return; // a stretch has a sample at least
    const double wl = loopWeight_;
    const double wr = recordingWeight_;
    alignas(16) float read[kMaxRun];
    alignas(16) double recordingIn[kMaxRun];
    readRecording<kDrumRotorRevolutions, true>(v.micAngle, kDrumRotorLength, read, n);
    if (wr != 0.0) {
        for (int k = 0; k < n; ++k) recordingIn[k] = static_cast<double>(read[k]) * fast * wr;
    } else {
        std::fill_n(recordingIn, n, 0.0);
    }

    alignas(32) double loopAt[kMaxRun];
    loopPos_ = stepPhase(loopPos_, loopStep_, n,
                         [&](int k, double p) { loopAt[k] = p * kDrumLoopLength; });
    alignas(16) double loopIn[kMaxRun];
    if (wl != 0.0) {
        readCubicRun(loop_, kDrumLoopLength, loopAt, read, n, wideReads_);
        for (int k = 0; k < n; ++k) loopIn[k] = static_cast<double>(read[k]) * slow * wl;
    } else {
        std::fill_n(loopIn, n, 0.0);
    }

    // The sections, the transition, the band-pass and the levels, as process
    // takes each sample through them.
    SettledPair pair = drumPair_;
    SettledSection band = band_;
    const double distance = distanceFactor_;
    const auto finish = [&](auto transition) {
#pragma GCC unroll 2 // the histories move by renaming, not by copies
        for (int k = 0; k < n; ++k) {
            double t = pair.processSum(loopIn[k], recordingIn[k]);
            t += transition();
            t = band.process(t);
            out[k] = t * distance * v.amplitude[k];
        }
    };
    if (transitionActive_)
        finish([this] { return transitionSample(); });
    else
        finish([] { return 0.0; });
    drumPair_ = pair;
    band_ = band;
}

} // namespace zel
