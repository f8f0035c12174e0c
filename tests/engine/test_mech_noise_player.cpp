// Motor-noise players: silence at rest, the crossfade between loop and recording
// by rotor speed, the one-shot transition at any rate, and requests from other
// threads applied by the audio thread.
#include "engine/MechNoisePlayer.h"

#include "engine/DrumUnit.h"
#include "engine/HornUnit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

namespace {

using zel::MechNoisePlayer;
using zel::MechNoiseSource;

constexpr MechNoiseSource kSources[] = {MechNoiseSource::HornUnit0, MechNoiseSource::HornUnit1,
                                        MechNoiseSource::Drum};

// Runs a player at a constant speed and returns the RMS of its output.
double rmsAt(MechNoisePlayer& p, double speed, int samples, double amplitude = 1.0) {
    double sum = 0.0;
    for (int i = 0; i < samples; ++i) {
        p.handOver(amplitude, 0.25, 0.1, speed);
        const double y = p.process();
        sum += y * y;
    }
    return std::sqrt(sum / samples);
}

MechNoisePlayer player(MechNoiseSource s, double rate, double slow, double fast,
                       double decel = 1.0) {
    MechNoisePlayer p(s, rate);
    p.setSlowLevel(slow);
    p.setFastLevel(fast);
    p.setDecelLevel(decel);
    p.setMicDistance(0.5);
    return p;
}

TEST(MechNoisePlayer, SilentAtRestAndWithoutAmplitude) {
    for (MechNoiseSource s : kSources) {
        MechNoisePlayer p = player(s, 22050.0, 1.0, 1.0);
        for (int i = 0; i < 20000; ++i) {
            p.handOver(1.0, 0.3, 0.1, 0.0);
            ASSERT_EQ(p.process(), 0.0) << static_cast<int>(s) << " sample " << i;
        }
        // Turning, but "Mech" at 0 hands over amplitude 0.
        MechNoisePlayer q = player(s, 22050.0, 1.0, 1.0);
        EXPECT_EQ(rmsAt(q, 3.0 / 22050.0, 5000, 0.0), 0.0);
        // The same turning player with amplitude sounds.
        EXPECT_GT(rmsAt(q, 3.0 / 22050.0, 5000, 1.0), 1e-4);
    }
}

TEST(MechNoisePlayer, LoopAtSlowSpeedsRecordingAtFastSpeeds) {
    const double rate = 22050.0;
    for (MechNoiseSource s : kSources) {
        MechNoisePlayer probe(s, rate);
        // The limits are 0.78 and 7.5 rev/s in revolutions per sample.
        EXPECT_NEAR(probe.slowLimit() * rate, 0.78, 1e-14);
        EXPECT_NEAR(probe.fastLimit() * rate, 7.5, 1e-14);
        const double slow = probe.slowLimit();
        const double fast = probe.fastLimit();
        const double between = slow + 0.2 * (fast - slow);
        struct Case {
            double speed;
            bool loop, recording;
        };
        for (Case c :
             {Case{0.5 * slow, true, false}, Case{slow, true, false}, Case{between, true, true},
              Case{fast, false, true}, Case{1.3 * fast, false, true}}) {
            MechNoisePlayer loopOnly = player(s, rate, 1.0, 0.0);
            MechNoisePlayer recOnly = player(s, rate, 0.0, 1.0);
            const double l = rmsAt(loopOnly, c.speed, 8000);
            const double r = rmsAt(recOnly, c.speed, 8000);
            // Silent means exactly zero; sounding means clearly above rounding (the
            // recording's weight near the slow end is x^4, small but not zero).
            if (c.loop) {
                EXPECT_GT(l, 1e-7) << static_cast<int>(s) << " at " << c.speed * rate;
            } else {
                EXPECT_EQ(l, 0.0) << static_cast<int>(s) << " at " << c.speed * rate;
            }
            if (c.recording) {
                EXPECT_GT(r, 1e-7) << static_cast<int>(s) << " at " << c.speed * rate;
            } else {
                EXPECT_EQ(r, 0.0) << static_cast<int>(s) << " at " << c.speed * rate;
            }
        }
    }
}

TEST(MechNoisePlayer, HornLoopLevelRisesWithTheSquareOfTheSpeed) {
    // The horn loop runs at its recorded pitch whatever the speed, so two players
    // at different slow speeds play the same samples scaled by (s / limit)^2; the
    // band-pass is linear, so the outputs keep that ratio up to rounding.
    const double rate = 44100.0;
    MechNoisePlayer a = player(MechNoiseSource::HornUnit1, rate, 1.0, 1.0);
    MechNoisePlayer b = player(MechNoiseSource::HornUnit1, rate, 1.0, 1.0);
    const double s = 0.6 * a.slowLimit();
    for (int i = 0; i < 5000; ++i) {
        a.handOver(1.0, 0.0, 0.0, s);
        b.handOver(1.0, 0.0, 0.0, 0.5 * s);
        const double ya = a.process();
        const double yb = b.process();
        EXPECT_NEAR(ya, 4.0 * yb, 1e-12 * (std::fabs(ya) + 1e-6));
    }
}

// Number of samples during which a transition is playing, at a given rate.
int transitionSamples(double rate) {
    MechNoisePlayer p = player(MechNoiseSource::Drum, rate, 1.0, 1.0);
    p.startTransition();
    EXPECT_FALSE(p.transitionActive()); // applied by the audio thread
    int n = 0;
    do {
        p.handOver(1.0, 0.0, 0.0, 0.0);
        p.process();
        ++n;
    } while (p.transitionActive() && n < 1000000);
    return n;
}

TEST(MechNoisePlayer, TransitionPlaysTheWholeSoundAtAnyRate) {
    for (double rate : {44100.0, 22050.0, 11025.0, 48000.0, 96000.0}) {
        const double step = 44100.0 / rate;
        const int n = transitionSamples(rate);
        // The table is read at positions 0, step, 2 step, ...; the sample that reads
        // past the last index (3955) is the last one played. So the samples before
        // the last cover the table: (n - 2) steps stay within it, (n - 1) pass it.
        EXPECT_LE((n - 2) * step, 3955.0) << rate;
        EXPECT_GT((n - 1) * step, 3955.0) << rate;
        // In time: 3955 / 44100 s, to within two samples at this rate.
        EXPECT_NEAR(n / rate, 3955.0 / 44100.0, 2.0 / rate) << rate;
    }
}

TEST(MechNoisePlayer, TransitionSoundsAtRestScaledByTheDecelLevel) {
    for (MechNoiseSource s : kSources) {
        MechNoisePlayer loud = player(s, 22050.0, 0.0, 0.0, 2.0);
        MechNoisePlayer soft = player(s, 22050.0, 0.0, 0.0, 0.5);
        MechNoisePlayer mute = player(s, 22050.0, 0.0, 0.0, 0.0);
        loud.startTransition();
        soft.startTransition();
        mute.startTransition();
        double el = 0.0, es = 0.0, em = 0.0;
        for (int i = 0; i < 3000; ++i) {
            loud.handOver(1.0, 0.0, 0.0, 0.0);
            soft.handOver(1.0, 0.0, 0.0, 0.0);
            mute.handOver(1.0, 0.0, 0.0, 0.0);
            const double yl = loud.process(), ys = soft.process();
            el += yl * yl;
            es += ys * ys;
            em += std::fabs(mute.process());
        }
        EXPECT_GT(el, 0.0);
        EXPECT_EQ(em, 0.0);
        // Linear in the level: the energies differ by (2 / 0.5)^2.
        EXPECT_NEAR(el / es, 16.0, 16.0 * 1e-9);
    }
}

TEST(MechNoisePlayer, StartTransitionRestartsARunningOne) {
    MechNoisePlayer p = player(MechNoiseSource::HornUnit0, 44100.0, 0.0, 0.0);
    p.startTransition();
    for (int i = 0; i < 1000; ++i) p.process();
    EXPECT_NEAR(p.transitionPosition(), 1000.0, 1e-9);
    p.startTransition();
    p.process();
    EXPECT_TRUE(p.transitionActive());
    EXPECT_EQ(p.transitionPosition(), 1.0);
}

TEST(MechNoisePlayer, MicDistanceIsAppliedByTheAudioThread) {
    MechNoisePlayer horn(MechNoiseSource::HornUnit0, 22050.0);
    MechNoisePlayer drum(MechNoiseSource::Drum, 22050.0);
    horn.setMicDistance(2.0);
    drum.setMicDistance(2.0);
    // Stored only: the filters are untouched until the next process.
    EXPECT_NE(horn.bandPass().q(), 0.55);
    EXPECT_NE(drum.bandPass().q(), 0.245);
    horn.process();
    drum.process();
    EXPECT_DOUBLE_EQ(horn.bandPass().q(), 2.0 * 0.25 + 0.05);
    EXPECT_DOUBLE_EQ(drum.bandPass().q(), 2.0 * 0.12 + 0.005);
    EXPECT_DOUBLE_EQ(horn.distanceFactor(), std::pow(0.3 / 2.0, 0.25));
    EXPECT_DOUBLE_EQ(drum.distanceFactor(), std::pow(0.3 / 2.0, 0.1));
    EXPECT_EQ(horn.bandPass().frequency(), 1100.0);
    EXPECT_EQ(drum.bandPass().frequency(), 1000.0);
    // A distance of zero would make the factor infinite; it is held at 1 cm.
    horn.setMicDistance(0.0);
    horn.process();
    EXPECT_TRUE(std::isfinite(horn.distanceFactor()));
}

TEST(MechNoisePlayer, RateChangeClearsPositionsAndKeepsFiltersBelowNyquist) {
    MechNoisePlayer p = player(MechNoiseSource::Drum, 44100.0, 1.0, 1.0);
    p.startTransition();
    for (int i = 0; i < 500; ++i) {
        p.handOver(1.0, 0.0, 0.0, 3.0 / 44100.0);
        p.process();
    }
    EXPECT_GT(p.loopPosition(), 0.0);
    EXPECT_GT(p.recordingPhase(), 0.0);
    p.setRate(11025.0);
    EXPECT_EQ(p.loopPosition(), 0.0);
    EXPECT_EQ(p.recordingPhase(), 0.0);
    EXPECT_FALSE(p.transitionActive());
    EXPECT_EQ(p.transitionStep(), 4.0);
    EXPECT_LT(p.lowPass().frequency(), 0.5 * 11025.0);
    EXPECT_LT(p.highShelf().frequency(), 0.5 * 11025.0);
    // Accelerating through the whole range at the low rate stays bounded: no
    // section is tuned past half the rate where it would ring.
    double peak = 0.0;
    for (int i = 0; i < 40000; ++i) {
        const double hz = 0.5 + 8.0 * i / 40000.0;
        p.handOver(1.0, 0.0, 0.0, hz / 11025.0);
        peak = std::max(peak, std::fabs(p.process()));
    }
    EXPECT_TRUE(std::isfinite(peak));
    EXPECT_LT(peak, 10.0);
    p.setRate(5000.0);
    EXPECT_EQ(p.rate(), 11025.0);
}

// The weights and steps a player keeps for the speed and the recording's
// placement it keeps for the microphone angle follow a rate change and a new
// angle: after a rate change (which clears the player) the output is, to the
// bit, that of a player made at the new rate and fed the same hand-overs, also
// at the speed it had before (which the new rate places between the limits).
TEST(MechNoisePlayer, RateChangeAndNewAngleGiveWhatAFreshPlayerGives) {
    constexpr double kSpeed = 2e-4; // rev/sample: above the fast limit at 44.1 kHz, below at 11.025
    for (const MechNoiseSource s : kSources) {
        SCOPED_TRACE(static_cast<int>(s));
        MechNoisePlayer used = player(s, 44100.0, 1.0, 1.0);
        for (int i = 0; i < 3000; ++i) {
            used.handOver(1.0, 0.0, 0.1, kSpeed);
            used.process();
        }
        used.setRate(11025.0);
        MechNoisePlayer fresh = player(s, 11025.0, 1.0, 1.0);
        for (int i = 0; i < 3000; ++i) {
            const double micAngle = i < 1000 ? 0.3 : 0.45;
            used.handOver(1.0, 0.0, micAngle, kSpeed);
            fresh.handOver(1.0, 0.0, micAngle, kSpeed);
            const double a = used.process(), b = fresh.process();
            ASSERT_EQ(a, b) << "sample " << i; // the same operations on the same values
        }
    }
}

} // namespace

namespace {

// Correlation of the output's envelope with itself at the given lag.
double envelopeCorrelation(const std::vector<double>& env, int lag) {
    double sxy = 0.0, sxx = 0.0, syy = 0.0;
    for (size_t i = static_cast<size_t>(lag); i < env.size(); ++i) {
        sxy += env[i] * env[i - lag];
        sxx += env[i] * env[i];
        syy += env[i - lag] * env[i - lag];
    }
    return sxy / std::sqrt(sxx * syy);
}

} // namespace

// At fast speed the horn player plays its rotor recording in step with the rotor:
// one recorded revolution (one swell of the whoosh, one tick) per rotor
// revolution, while the horn unit hands over a retarded angle that turns too.
TEST(MechNoisePlayer, HornRecordingRepeatsOncePerRotorRevolution) {
    const double rate = 22050.0;
    const double revPerSecond = 8.0; // above the fast limit: the recording alone
    const double speed = revPerSecond / rate;
    const int revolution = static_cast<int>(std::lround(rate / revPerSecond));
    for (MechNoiseSource s : {MechNoiseSource::HornUnit0, MechNoiseSource::HornUnit1}) {
        MechNoisePlayer p = player(s, rate, 0.0, 1.0);
        double angle = 0.0; // the horn turns toward decreasing angle
        std::vector<double> env;
        double e = 0.0;
        for (int i = 0; i < 40 * revolution; ++i) {
            p.handOver(1.0, 1.0 - angle, 0.1, speed);
            const double y = p.process();
            e += (std::fabs(y) - e) * 0.02; // a few-millisecond envelope
            if (i >= 4 * revolution) env.push_back(e);
            angle -= speed;
            if (angle < 0.0) angle += 1.0;
        }
        // A whole revolution apart the envelope repeats; half a revolution apart
        // it does not (played at twice its pace it would repeat there too). The
        // margins leave room for the recording's noise, which differs between
        // revolutions.
        const double whole = envelopeCorrelation(env, revolution);
        const double half = envelopeCorrelation(env, revolution / 2);
        EXPECT_GT(whole, 0.9) << static_cast<int>(s);
        EXPECT_LT(half, whole - 0.1) << static_cast<int>(s);
    }
}

namespace {

// One hand-over of a scripted run: the speed in rev/s and the microphone angle.
struct Cue {
    double revPerSecond, micAngle;
};

// The speed and angle at sample i of a script that holds each speed for runs of
// 1 to 23 samples (across the reads' groups of eight and four), glides the speed
// every sample in between, moves the angle now and then (also below zero and
// beyond a turn), and crosses both speed limits; one speed, far beyond any
// rotor's, wraps the recording's phase within a few thousand samples.
Cue cueAt(int i) {
    constexpr double kSpeeds[] = {0.5, 4.0, 9.0, 0.0, 2.5, 7.0, 3000.0, 0.78, 7.5};
    constexpr double kAngles[] = {0.1, -0.7, 0.3, 1.9, 0.45};
    const int block = i / 997;
    const double base = kSpeeds[block % 9];
    const int within = i % 997;
    const double glide = within > 900 ? (within - 900) * 0.01 : 0.0; // a speed per sample
    const int hold = 1 + (i / 23) % 23;
    const double step = (i / hold) % 3 == 0 ? 0.0 : 1e-3; // held runs, then a small move
    return {base + glide + step, kAngles[(i / 3001) % 5]};
}

} // namespace

uint64_t bits(double v) {
    return std::bit_cast<uint64_t>(v);
}

// Plays the same hand-overs through one player in runs and through another
// sample by sample.
class RunsAndSamples {
public:
    RunsAndSamples(MechNoiseSource s, double rate, bool wide = true)
        : runs_(player(s, rate, 1.0, 1.0)), samples_(player(s, rate, 1.0, 1.0)) {
        runs_.setWideReads(wide);
    }

    template <typename Change> void change(Change&& f) {
        f(runs_);
        f(samples_);
    }
    MechNoisePlayer& runs() { return runs_; }

    void handOver(double amplitude, double micAngle, double speed) {
        runs_.handOver(amplitude, 0.0, micAngle, speed);
        pending_.push_back({amplitude, micAngle, speed});
    }

    // A run of n: the last hand-overs (at most kMaxRun) go with its last
    // samples; the samples before them take none. Every value must match to the
    // bit.
    void play(int n, const char* what) {
        std::vector<double> out(static_cast<size_t>(n));
        runs_.processRun(out.data(), n);
        const int fresh =
            std::min({static_cast<int>(pending_.size()), n, MechNoisePlayer::kMaxRun});
        for (int j = 0; j < n; ++j) {
            if (j >= n - fresh) {
                const Handed& h = pending_[pending_.size() - static_cast<size_t>(n - j)];
                samples_.handOver(h.amplitude, 0.0, h.micAngle, h.speed);
            }
            ASSERT_EQ(bits(out[static_cast<size_t>(j)]), bits(samples_.process()))
                << what << ": run of " << n << " at " << j << " after " << played_;
        }
        played_ += n;
        pending_.clear();
        ASSERT_EQ(bits(runs_.recordingPhase()), bits(samples_.recordingPhase())) << played_;
        ASSERT_EQ(bits(runs_.loopPosition()), bits(samples_.loopPosition())) << played_;
        ASSERT_EQ(runs_.transitionActive(), samples_.transitionActive()) << played_;
    }

private:
    struct Handed {
        double amplitude, micAngle, speed;
    };
    MechNoisePlayer runs_, samples_;
    std::vector<Handed> pending_;
    long played_ = 0;
};

// Runs give, to the bit, what their samples played one by one give: through
// held speeds and gliding ones (so runs re-tune part way, the drum's sections
// too), angle moves, amplitude changes, level changes, transitions (one ends
// inside a run), a rate change, the positions' wraps, and runs of every length
// up to the longest against the tables' four-wide reads, on the baseline and
// with AVX2 where the processor has it.
TEST(MechNoisePlayer, RunsMatchSamplesPlayedOneByOne) {
    constexpr int kLengths[] = {1, 2, 3, 4, 5, 7, 8, 9, 64, 17, 23, 31, 63, 40, 64, 11};
    for (const MechNoiseSource s : kSources) {
        for (const auto& [rate, wide] :
             {std::pair{44100.0, true}, std::pair{48000.0, true}, std::pair{22050.0, true},
              std::pair{44100.0, false}, std::pair{48000.0, false}}) {
            SCOPED_TRACE(testing::Message() << static_cast<int>(s) << " at " << rate
                                            << (wide ? " wide" : " baseline"));
            RunsAndSamples p(s, rate, wide);
            int phaseWraps = 0, loopWraps = 0, transitionEnds = 0;
            double lastPhase = 0.0, lastLoop = 0.0;
            bool wasActive = false;
            int i = 0;
            for (size_t r = 0; i < 150000; ++r) {
                const int n = kLengths[r % std::size(kLengths)];
                const auto crosses = [&](int at) { return i <= at && at < i + n; };
                if (crosses(40000) || crosses(90000))
                    p.change([](MechNoisePlayer& q) { q.startTransition(); });
                if (crosses(60000))
                    p.change([](MechNoisePlayer& q) {
                        q.setSlowLevel(0.5);
                        q.setFastLevel(2.0);
                        q.setMicDistance(0.8);
                    });
                if (crosses(100000))
                    p.change([rate](MechNoisePlayer& q) { q.setRate(rate * 2.0); });
                for (int j = 0; j < n; ++j) {
                    const Cue c = cueAt(i + j);
                    p.handOver(0.8 + 0.1 * ((i + j) / 500 % 3), c.micAngle,
                               c.revPerSecond / p.runs().rate());
                }
                p.play(n, "in step");
                if (testing::Test::HasFatalFailure()) return;
                i += n;
                const MechNoisePlayer& q = p.runs();
                phaseWraps += q.recordingPhase() < lastPhase;
                loopWraps += q.loopPosition() < lastLoop;
                transitionEnds += wasActive && !q.transitionActive();
                lastPhase = q.recordingPhase();
                lastLoop = q.loopPosition();
                wasActive = q.transitionActive();
            }
            // The players sounded (a last run's output), and their positions
            // wrapped (a rate change also puts them back to the start).
            std::vector<double> out(64);
            for (int j = 0; j < 64; ++j) p.handOver(0.8, 0.1, 4.0 / p.runs().rate());
            p.runs().processRun(out.data(), 64);
            double energy = 0.0;
            for (double v : out) energy += v * v;
            EXPECT_GT(energy, 0.0);
            EXPECT_GT(phaseWraps, 3);
            EXPECT_GT(loopWraps, 1);
            EXPECT_EQ(transitionEnds, 2);
        }
    }
}

// A run takes the hand-overs made since the last sample played: fewer than its
// samples (the first keep the values held), more (the last ones count), more
// than a run keeps (the ring's last kMaxRun), and runs longer than kMaxRun.
TEST(MechNoisePlayer, RunsTakeTheHandOversMadeSinceTheLastSample) {
    for (const MechNoiseSource s : kSources) {
        SCOPED_TRACE(static_cast<int>(s));
        RunsAndSamples p(s, 44100.0);
        struct Case {
            int handOvers, samples;
        };
        int i = 0;
        for (const Case c :
             {Case{10, 10}, Case{0, 5}, Case{3, 12}, Case{20, 8}, Case{64, 64}, Case{100, 64},
              Case{130, 20}, Case{127, 128}, Case{10, 150}, Case{200, 200}, Case{64, 64}}) {
            for (int j = 0; j < c.handOvers; ++j, ++i) {
                // Speeds across the limits and moving angles, so each hand-over counts.
                p.handOver(0.5 + 0.01 * (i % 7), 0.1 * (i % 5), (0.5 + (i % 90) * 0.1) / 44100.0);
            }
            p.play(c.samples, "hand-overs and samples apart");
            if (testing::Test::HasFatalFailure()) return;
        }
    }
}

// Two horn players' runs side by side give what each gives alone, sample by
// sample: different distances (so different band-passes), angles and speeds,
// a transition on one of them, and a run longer than kMaxRun.
TEST(MechNoisePlayer, HornPairRunsMatchSamplesPlayedOneByOne) {
    constexpr int kLengths[] = {64, 1, 17, 64, 3, 100, 40, 64, 8};
    for (const double rate : {44100.0, 48000.0}) {
        SCOPED_TRACE(rate);
        MechNoisePlayer runA = player(MechNoiseSource::HornUnit0, rate, 1.0, 1.0);
        MechNoisePlayer runB = player(MechNoiseSource::HornUnit1, rate, 0.7, 1.5);
        runB.setMicDistance(1.3);
        MechNoisePlayer oneA = runA, oneB = runB;
        int i = 0;
        for (size_t r = 0; i < 60000; ++r) {
            const int n = kLengths[r % std::size(kLengths)];
            if (i <= 20000 && 20000 < i + n) {
                runB.startTransition();
                oneB.startTransition();
            }
            std::vector<double> outA(static_cast<size_t>(n)), outB(outA);
            for (int j = 0; j < n; ++j) {
                const Cue c = cueAt(i + j), d = cueAt(i + j + 5000);
                runA.handOver(0.8, 0.0, c.micAngle, c.revPerSecond / rate);
                runB.handOver(0.6, 0.0, d.micAngle, d.revPerSecond / rate);
            }
            MechNoisePlayer::processRunPair(runA, outA.data(), runB, outB.data(), n);
            // Past kMaxRun the first samples keep the values held before.
            const int kept = std::min(n, MechNoisePlayer::kMaxRun);
            for (int j = 0; j < n; ++j) {
                if (j >= n - kept) {
                    const Cue c = cueAt(i + j), d = cueAt(i + j + 5000);
                    oneA.handOver(0.8, 0.0, c.micAngle, c.revPerSecond / rate);
                    oneB.handOver(0.6, 0.0, d.micAngle, d.revPerSecond / rate);
                }
                ASSERT_EQ(bits(outA[static_cast<size_t>(j)]), bits(oneA.process())) << i + j;
                ASSERT_EQ(bits(outB[static_cast<size_t>(j)]), bits(oneB.process())) << i + j;
            }
            i += n;
        }
        EXPECT_NE(runA.micDistance(), runB.micDistance());
    }
}

// Each unit plays its run's samples in one call; its runs fit the player's.
static_assert(zel::DrumUnit::kMaxRun <= MechNoisePlayer::kMaxRun);
static_assert(zel::HornUnit::kRunLength <= MechNoisePlayer::kMaxRun);
