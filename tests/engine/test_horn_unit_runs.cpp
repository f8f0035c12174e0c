// The horn units over runs of samples (processMicrophonesRun, processRun) against
// the same units sample by sample (processMicrophones, process, the motor-noise
// player after each sample): the same outputs to the bit, over runs of every
// length through a lever change, a rebuild and Doppler radii long enough that a
// run no longer fits the source history, on the wide and the baseline paths; and
// the rotor steps one unit takes from another.
#include "CabinetUnitTestSupport.h"

#include "engine/HornUnit.h"
#include "engine/WidePaths.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <random>
#include <vector>

namespace zel::test {
namespace {

// The run lengths, in turn: single samples, a run longer than the units' phases
// take at once, and odd lengths between.
constexpr int kRunLengths[] = {1, 2, 17, 64, 100, 5, 64, 33, 1, 64};

// A busy cabinet: every ray, reflections, floor and ceiling taps, the static ray,
// the amplitude floor and the motor noise.
void setBusyCabinet(HornUnit& h, double fmRadius, double micDistance) {
    setPlainCabinet(h, {.fmRadius = fmRadius, .attenuation = 1.2, .attenuationDistance = 0.8});
    h.setMicAngle(0.15);
    h.setMicDistance(micDistance);
    h.setReflectionCoeff(0.7);
    for (int r = 0; r < HornUnit::kRayLevelCount; ++r) h.setRayLevel(r, 0.4 + 0.08 * r);
    h.setZAxisLevel(0.6);
    h.setStaticRayLevel(0.5);
    h.setAmplitudeFloor(0.05);
    h.setReflectionLowPass(0.5);
    h.setMechLevel(2.0);
    h.setSlowSampleLevel(1.0);
    h.setFastSampleLevel(1.0);
    h.setSlowSpeed(0.8);
    h.setFastSpeed(6.7);
    h.setAccelTime(0.6);
    h.setDecelTime(1.2);
    h.setLever(1.0); // slow
    h.rebuild();
    h.setUnitRate(kRate, 1);
}

// Three horn units: the two microphones and the cross unit.
struct HornSet {
    std::unique_ptr<HornUnit> a = std::make_unique<HornUnit>(HornUnit::Kind::Microphone1);
    std::unique_ptr<HornUnit> b = std::make_unique<HornUnit>(HornUnit::Kind::Microphone2);
    std::unique_ptr<HornUnit> cross = std::make_unique<HornUnit>(HornUnit::Kind::Cross);

    explicit HornSet(double fmRadius) {
        setBusyCabinet(*a, fmRadius, 0.9);
        setBusyCabinet(*b, fmRadius, 1.4);
        setBusyCabinet(*cross, fmRadius, 1.1);
    }
    void each(auto&& f) {
        for (HornUnit* h : {a.get(), b.get(), cross.get()}) f(*h);
    }
};

// The change made before run r, the same on both sets.
void changeBefore(int r, HornSet& s) {
    if (r == 3) s.each([](HornUnit& h) { h.setLever(0.0); }); // to fast: the rotors accelerate
    if (r == 6) {
        // A rebuild: the microphones move and the units clear.
        s.a->setMicDistance(1.2);
        s.cross->setMicDistance(0.8);
        s.each([](HornUnit& h) { h.rebuild(); });
    }
    if (r == 8) s.each([](HornUnit& h) { h.setReflectionLowPass(1.5); });
}

struct Outputs {
    std::vector<double> a, b, mechA, mechB, cross;
};

Outputs bySamples(HornSet& s, const std::vector<double>& x) {
    Outputs o;
    size_t i = 0;
    for (int r = 0; r < static_cast<int>(std::size(kRunLengths)); ++r) {
        changeBefore(r, s);
        for (int j = 0; j < kRunLengths[r]; ++j, ++i) {
            double ya = 0, yb = 0;
            HornUnit::processMicrophones(*s.a, *s.b, x[i], ya, yb);
            o.a.push_back(ya);
            o.b.push_back(yb);
            o.mechA.push_back(s.a->mechPlayer()->process());
            o.mechB.push_back(s.b->mechPlayer()->process());
            o.cross.push_back(s.cross->process(x[i]));
        }
    }
    return o;
}

Outputs byRuns(HornSet& s, const std::vector<double>& x) {
    Outputs o;
    o.a.resize(x.size());
    o.b.resize(x.size());
    o.mechA.resize(x.size());
    o.mechB.resize(x.size());
    o.cross.resize(x.size());
    size_t i = 0;
    for (int r = 0; r < static_cast<int>(std::size(kRunLengths)); ++r) {
        changeBefore(r, s);
        const int n = kRunLengths[r];
        HornUnit::processMicrophonesRun(*s.a, *s.b, &x[i], &o.a[i], &o.b[i], &o.mechA[i],
                                        &o.mechB[i], n);
        s.cross->processRun(&x[i], &o.cross[i], n, s.a.get()); // as the engine runs it
        i += n;
    }
    return o;
}

std::vector<double> noiseInput() {
    int total = 0;
    for (int n : kRunLengths) total += n;
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> noise(-1, 1);
    std::vector<double> x(total);
    for (double& v : x) v = noise(rng);
    return x;
}

void expectSameBits(const std::vector<double>& bySample, const std::vector<double>& byRun,
                    const char* what) {
    ASSERT_EQ(bySample.size(), byRun.size());
    for (size_t i = 0; i < bySample.size(); ++i)
        ASSERT_EQ(bySample[i], byRun[i]) << what << " at sample " << i;
}

// The FM radius in metres: across the settings' range (0.125 to 0.25 m) the runs
// fit the source history and go in phases. At 2 m a microphone unit's nearest
// rays read closer to the write index than the run's later samples allow, so it
// goes sample by sample (taking the phases anyway gives other bits there); the
// cross unit, whose delays start from twice the radius, still goes in phases.
// At 20 m the farthest rays reach beyond what the history holds, and both go
// sample by sample.
class HornUnitRuns : public testing::TestWithParam<std::tuple<bool, double>> {
protected:
    void TearDown() override { forceBaselinePaths(false); }
};

TEST_P(HornUnitRuns, GiveTheSampleBySampleOutputsToTheBit) {
    const auto [baseline, fmRadius] = GetParam();
    forceBaselinePaths(baseline);
    const std::vector<double> x = noiseInput();
    HornSet one(fmRadius), other(fmRadius);
    const Outputs expected = bySamples(one, x);
    const Outputs got = byRuns(other, x);
    expectSameBits(expected.a, got.a, "microphone 1");
    expectSameBits(expected.b, got.b, "microphone 2");
    expectSameBits(expected.mechA, got.mechA, "motor noise 1");
    expectSameBits(expected.mechB, got.mechB, "motor noise 2");
    expectSameBits(expected.cross, got.cross, "cross unit");
    // The comparison means something only if the units made sound.
    double peak = 0;
    for (const std::vector<double>* v : {&got.a, &got.b, &got.cross, &got.mechA})
        peak = std::max(peak, peakAbs(*v));
    EXPECT_GT(peak, 1e-3);
}

INSTANTIATE_TEST_SUITE_P(WideAndBaselinePaths, HornUnitRuns,
                         testing::Combine(testing::Bool(),
                                          testing::Values(0.125, 0.18, 0.25, 2.0, 20.0)));

// A cross unit among the two takes its own process; the microphone's player
// still runs after each sample.
TEST(HornUnitRunsMixed, CrossUnitAmongThePairGoesSampleBySample) {
    const std::vector<double> x = noiseInput();
    HornSet one(0.18), other(0.18);
    const int n = 64;
    std::vector<double> y1(n), y2(n), m1(n), r1(n), r2(n), rm1(n), unused(n);
    for (int j = 0; j < n; ++j) {
        HornUnit::processMicrophones(*one.a, *one.cross, x[j], y1[j], y2[j]);
        m1[j] = one.a->mechPlayer()->process();
    }
    HornUnit::processMicrophonesRun(*other.a, *other.cross, x.data(), r1.data(), r2.data(),
                                    rm1.data(), unused.data(), n);
    expectSameBits(y1, r1, "microphone");
    expectSameBits(y2, r2, "cross unit");
    expectSameBits(m1, rm1, "motor noise");
}

// A rotor takes another unit's steps only while both rotors are on the same
// course. Units run as the engine runs them (the second microphone and the cross
// unit after the first) against units run each on its own, while single units
// are retuned, cleared, re-rated, flipped or run for another length: the
// outputs and the rotors must stay the same to the bit. Runs where the rotors
// share a course come before, between and after those changes, so a hand-over
// that takes the wrong steps, or keeps following after a change, shows.
struct SharedRun {
    int n;      // the microphones' run
    int crossN; // the cross unit's
};
constexpr SharedRun kSharedRuns[] = {{64, 64}, {64, 64}, {17, 17}, {64, 64}, {64, 64},
                                     {64, 64}, {64, 17}, {33, 33}, {64, 64}, {64, 64},
                                     {64, 64}, {64, 64}, {64, 64}, {64, 64}};

void changeOneBefore(int r, HornSet& s) {
    const auto all = [&s](auto&& f) { s.each(f); };
    switch (r) {
    case 1:
        // The second microphone's rotor leaves the course: another target.
        s.b->setSlowSpeed(0.95);
        break;
    case 2:
        // The cross unit's history is cleared, not its rotor: it stays on course.
        s.cross->clearState();
        break;
    case 3:
        all([](HornUnit& h) { h.setLever(0.0); });
        break;
    case 4:
        // Re-rated alone: the second microphone's rotor starts over.
        s.b->setUnitRate(kRate, 1);
        break;
    case 5:
        // All start over at the fast speed: one course again.
        all([](HornUnit& h) { h.setUnitRate(kRate, 1); });
        break;
    case 7:
        // All start over, the microphones flipped (another offset): the motions
        // agree, the cross unit's course does not.
        for (HornUnit* h : {s.a.get(), s.b.get()}) {
            h->setFlip(-1.0);
            h->rebuild(); // re-rates and clears
        }
        s.cross->setUnitRate(kRate, 1);
        break;
    case 8:
        // The cross unit flipped too, and cleared on its own.
        s.cross->setFlip(-1.0);
        s.cross->rebuild();
        break;
    case 9:
        all([](HornUnit& h) { h.setUnitRate(kRate, 1); });
        break;
    case 10:
        // Toward slow, the first unit with its own law of slowing down: the
        // cross unit's course differs in that alone.
        s.a->setDecelTime(0.3);
        all([](HornUnit& h) { h.setLever(1.0); });
        break;
    case 11:
        // All start over at their slow speeds and speed up: the second
        // microphone's course differs in its speed alone (its slow speed is its
        // own).
        s.a->setDecelTime(1.2);
        all([](HornUnit& h) { h.setUnitRate(kRate, 1); });
        all([](HornUnit& h) { h.setLever(0.0); });
        break;
    case 12:
        // Once more, the first unit with its own law of speeding up.
        s.a->setAccelTime(0.3);
        all([](HornUnit& h) { h.setLever(1.0); });
        all([](HornUnit& h) { h.setUnitRate(kRate, 1); });
        all([](HornUnit& h) { h.setLever(0.0); });
        break;
    default:
        break;
    }
}

void expectSameRotor(const HornUnit& alone, const HornUnit& shared, const char* what, int r) {
    EXPECT_EQ(alone.rotor().speed(), shared.rotor().speed()) << what << " after run " << r;
    EXPECT_EQ(alone.rotor().angle(), shared.rotor().angle()) << what << " after run " << r;
    EXPECT_EQ(alone.rotor().heardAngle(), shared.rotor().heardAngle())
        << what << " after run " << r;
}

TEST(HornUnitRunsShared, RotorStepsAreTakenOnlyOnTheSameCourse) {
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> noise(-1, 1);
    std::vector<double> x(64);
    HornSet alone(0.18), shared(0.18);
    // The cross unit where the engine has it: there its runs fit the history and
    // go in phases (elsewhere in the set its side rays read too close to the
    // write index, and it goes sample by sample, with no steps to take).
    for (HornSet* s : {&alone, &shared}) {
        s->cross->setMicAngle(0.0);
        s->cross->setMicDistance(cabinet::kCrossMicDistance);
        s->cross->rebuild();
    }
    std::vector<double> ya(64), yb(64), yc(64), sa(64), sb(64), sc(64), ma(64), mb(64);
    double peak = 0;
    for (int r = 0; r < static_cast<int>(std::size(kSharedRuns)); ++r) {
        changeOneBefore(r, alone);
        changeOneBefore(r, shared);
        for (double& v : x) v = noise(rng);
        const auto [n, crossN] = kSharedRuns[r];
        alone.a->processRun(x.data(), ya.data(), n);
        alone.b->processRun(x.data(), yb.data(), n);
        alone.cross->processRun(x.data(), yc.data(), crossN);
        HornUnit::processMicrophonesRun(*shared.a, *shared.b, x.data(), sa.data(), sb.data(),
                                        ma.data(), mb.data(), n);
        shared.cross->processRun(x.data(), sc.data(), crossN, shared.a.get());
        for (int j = 0; j < n; ++j) {
            ASSERT_EQ(ya[j], sa[j]) << "microphone 1, run " << r << " sample " << j;
            ASSERT_EQ(yb[j], sb[j]) << "microphone 2, run " << r << " sample " << j;
        }
        for (int j = 0; j < crossN; ++j)
            ASSERT_EQ(yc[j], sc[j]) << "cross unit, run " << r << " sample " << j;
        peak = std::max({peak, peakAbs(sb), peakAbs(sc)});
        expectSameRotor(*alone.a, *shared.a, "microphone 1", r);
        expectSameRotor(*alone.b, *shared.b, "microphone 2", r);
        expectSameRotor(*alone.cross, *shared.cross, "cross unit", r);
    }
    EXPECT_GT(peak, 1e-3); // the units made sound
}

} // namespace
} // namespace zel::test
