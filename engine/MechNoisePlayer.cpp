#include "engine/MechNoisePlayer.h"

#include "engine/FourCubicReads.h"
#include "engine/Interpolation.h"
#include "engine/data/MotorNoiseTables.h"

#include <algorithm>
#include <cmath>

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

double wrapUnit(double x) {
    if (x >= 1.0) x -= 1.0;
    if (!(x >= 0.0 && x < 1.0)) {
        x -= std::floor(x);
        if (!(x >= 0.0 && x < 1.0)) x = 0.0;
    }
    return x;
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
    dropReadsAhead();

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
    dropReadsAhead();
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
    readsPayAhead_ = readsPayAhead();
}

// Where the microphone places the rotor recording, in recorded revolutions
// (sign by the rotor's direction), computed again only when it moves.
double MechNoisePlayer::micTurn(int revolutions) noexcept {
    if (micAngle_ != turnedMicAngle_) {
        turnedMicAngle_ = micAngle_;
        micTurn_ =
            isHorn() ? direction_ * micAngle_ / revolutions : micAngle_ * direction_ / revolutions;
    }
    return micTurn_;
}

// Whether this sample's reads come from the reads ahead (making them if none
// are left): not on a sample that re-tuned the speed or moved the placement,
// whose reads are made alone (a speed or an angle that moves every sample
// would waste the reads ahead).
bool MechNoisePlayer::takeReadAhead(bool retuned) noexcept {
    if (!readsPayAhead_) return false; // then none were made since the speed was tuned
    if (recordingWeight_ != 0.0 && micAngle_ != turnedMicAngle_) {
        dropReadsAhead();
        return false;
    }
    if (ahead_.next < ahead_.count) return true;
    if (!readAhead_ || retuned) return false;
    if (isHorn())
        readHornAhead();
    else
        readDrumAhead();
    return true;
}

// Reads ahead pay where a sample reads the tables through the cubic: the horn's
// loop at a whole step (44.1 and 22.05 kHz) is read straight from its table.
bool MechNoisePlayer::readsPayAhead() const noexcept {
    if (!isHorn()) return loopWeight_ != 0.0 || recordingWeight_ != 0.0;
    return recordingWeight_ != 0.0 || (loopWeight_ != 0.0 && step_ != std::floor(step_));
}

// The horn's next reads, with the positions stepped as processHorn steps them.
void MechNoisePlayer::readHornAhead() noexcept {
    const bool loop = loopWeight_ != 0.0;
    const bool recording = recordingWeight_ != 0.0;
    const double turn = recording ? micTurn(kHornRotorRevolutions) : 0.0;
    double loopAt[kAhead], recordingAt[kAhead];
    double loopPos = loopPos_, phase = phase_;
    for (int k = 0; k < kAhead; ++k) {
        loopAt[k] = loopPos;
        recordingAt[k] = (phase + turn + offset_) * kHornRotorLength;
        loopPos += step_;
        if (loopPos >= kHornLoopLength) loopPos -= kHornLoopLength;
        phase = wrapUnit(phase + phaseStep_);
        ahead_.loopPos[k] = loopPos;
        ahead_.phase[k] = phase;
    }
    for (int k = 0; k < kAhead; k += 4) {
        if (loop) readTable4(loop_, kHornLoopLength, loopAt + k, ahead_.loop + k);
        if (recording)
            readCubicF4(recording_, kHornRotorLength, recordingAt + k, ahead_.recording + k);
    }
    ahead_.next = 0;
    ahead_.count = kAhead;
}

inline double MechNoisePlayer::processHorn() noexcept {
    const double s = speed_;
    const bool retuned = s != tunedSpeed_;
    if (retuned) tuneHorn(s);
    const double wl = loopWeight_;
    const double wr = recordingWeight_;

    double o = 0.0;
    if (takeReadAhead(retuned)) {
        const int k = ahead_.next++;
        if (wl != 0.0) o += static_cast<double>(ahead_.loop[k]) * slowLevel_.load() * wl;
        if (wr != 0.0) o += static_cast<double>(ahead_.recording[k]) * fastLevel_.load() * wr;
        loopPos_ = ahead_.loopPos[k];
        phase_ = ahead_.phase[k];
    } else {
        if (wl != 0.0) {
            o += static_cast<double>(readTable(loop_, kHornLoopLength, loopPos_)) *
                 slowLevel_.load() * wl;
        }
        if (wr != 0.0) {
            // The recording advances one recorded revolution per rotor revolution
            // through its phase; the microphone angle places it, as for the drum.
            // (The retarded angle also moves once per revolution, so adding it
            // would play the recording at twice its pace and jump back a
            // revolution every turn.)
            const double pos =
                (phase_ + micTurn(kHornRotorRevolutions) + offset_) * kHornRotorLength;
            o += static_cast<double>(readCubicF(recording_, kHornRotorLength, pos)) *
                 fastLevel_.load() * wr;
        }
        loopPos_ += step_;
        if (loopPos_ >= kHornLoopLength) loopPos_ -= kHornLoopLength;
        phase_ = wrapUnit(phase_ + phaseStep_);
    }
    o += transitionSample();
    o = band_.process(o);
    return o * distanceFactor_ * amplitude_;
}

// The drum's crossfade weights and filter tuning for a speed. Between the limits
// the low-pass and the shelf follow the speed; they are tuned again only when the
// speed moves. Like every section of the player they take new coefficients at
// once (immediate mode: no glide).
void MechNoisePlayer::tuneDrum(double s) noexcept {
    tunedSpeed_ = s;
    dropReadsAhead();
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
    readsPayAhead_ = readsPayAhead();
}

// The drum's next reads, with the positions stepped as processDrum steps them.
void MechNoisePlayer::readDrumAhead() noexcept {
    const bool loop = loopWeight_ != 0.0;
    const bool recording = recordingWeight_ != 0.0;
    const double turn = recording ? micTurn(kDrumRotorRevolutions) : 0.0;
    double loopAt[kAhead], recordingAt[kAhead];
    double loopPos = loopPos_, phase = phase_;
    for (int k = 0; k < kAhead; ++k) {
        recordingAt[k] = (turn + phase + offset_) * kDrumRotorLength;
        loopAt[k] = loopPos * kDrumLoopLength;
        phase = wrapUnit(phase + phaseStep_);
        loopPos = wrapUnit(loopPos + loopStep_);
        ahead_.phase[k] = phase;
        ahead_.loopPos[k] = loopPos;
    }
    for (int k = 0; k < kAhead; k += 4) {
        if (recording)
            readCubicF4(recording_, kDrumRotorLength, recordingAt + k, ahead_.recording + k);
        if (loop) readCubicF4(loop_, kDrumLoopLength, loopAt + k, ahead_.loop + k);
    }
    ahead_.next = 0;
    ahead_.count = kAhead;
}

inline double MechNoisePlayer::processDrum() noexcept {
    const double s = speed_;
    const bool retuned = s != tunedSpeed_;
    if (retuned) tuneDrum(s);
    const double wl = loopWeight_;
    const double wr = recordingWeight_;

    double rec = 0.0;
    double loop = 0.0;
    if (takeReadAhead(retuned)) {
        const int k = ahead_.next++;
        if (wr != 0.0) rec = static_cast<double>(ahead_.recording[k]) * fastLevel_.load() * wr;
        if (wl != 0.0) loop = static_cast<double>(ahead_.loop[k]) * slowLevel_.load() * wl;
        phase_ = ahead_.phase[k];
        loopPos_ = ahead_.loopPos[k];
    } else {
        if (wr != 0.0) {
            const double pos =
                (micTurn(kDrumRotorRevolutions) + phase_ + offset_) * kDrumRotorLength;
            rec = static_cast<double>(readCubicF(recording_, kDrumRotorLength, pos)) *
                  fastLevel_.load() * wr;
        }
        if (wl != 0.0) {
            loop = static_cast<double>(
                       readCubicF(loop_, kDrumLoopLength, loopPos_ * kDrumLoopLength)) *
                   slowLevel_.load() * wl;
        }
        phase_ = wrapUnit(phase_ + phaseStep_);
        loopPos_ = wrapUnit(loopPos_ + loopStep_);
    }
    double t = drumPair_.processSum(loop, rec);
    t += transitionSample();
    t = band_.process(t);
    return t * distanceFactor_ * amplitude_;
}

double MechNoisePlayer::process() noexcept {
    if (requestedDistance_.load() != appliedDistance_ ||
        transitionRequests_.load() != transitionsSeen_)
        applyRequests();
    return isHorn() ? processHorn() : processDrum();
}

} // namespace zel
