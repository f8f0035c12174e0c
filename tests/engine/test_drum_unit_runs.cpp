// A drum unit's runs of samples (processRun: the frames' starts and the rays of
// every sample first, then the filters, the mix and the player) against the unit
// sample by sample (process, then the low static output and the motor-noise
// player): the same output, low static output and motor noise to the bit, for
// runs of any length up to and beyond a piece, through the lever moving to fast,
// a rebuild that moves the microphone and flips the rotor, at every rate, with
// the wide paths and with the baseline ones forced.
//
// And a cross unit that reuses the main unit's filtered input and rotor steps
// against one that filters its own input and steps its own rotor: the same
// output to the bit, whether it may reuse them (the same samples right after
// the main unit's run, the rotor on the same course) or must not (cleared,
// re-tuned, re-rated, turned or fed apart from the main unit, or the main unit
// not run), and it does reuse them whenever it may.
#include "CabinetUnitTestSupport.h"

#include "engine/CpuFeatures.h"
#include "engine/DrumUnit.h"
#include "engine/WidePaths.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <random>
#include <vector>

namespace zel::test {
namespace {

// Run lengths the tests cycle through: single samples, a short and an odd run,
// whole pieces and one longer than a piece.
constexpr int kRunLengths[] = {1, 2, 17, 64, 64, 5, 64, 33, 100, 64, 1, 63};

struct Settings {
    double rate;
    int factor;
    double fmRadius = 0.18;
    double micAngle = 0.1;
    double micDistance = 1.0;
};

void configure(DrumUnit& d, const Settings& s, bool wide) {
    d.setWideRays(wide);
    if (!d.isCross()) d.setMicDistance(s.micDistance);
    d.setMicAngle(s.micAngle);
    d.setFmRadius(s.fmRadius);
    d.setAmRadius(0.2);
    d.setReflectionCoeff(0.6);
    for (int r = 0; r < DrumUnit::kRayLevelCount; ++r) d.setRayLevel(r, 0.5 + 0.1 * r);
    d.setStaticRayLevel(0.7);
    d.setStaticFilterCutoff(6000);
    d.setSplitterFrequency(180);
    d.setLowStaticGain(1.5);
    d.setFilterSaturation(0.08);
    d.setMechLevel(1.0);
    d.setSlowSampleLevel(0.8);
    d.setFastSampleLevel(0.9);
    d.setDecelSampleLevel(0.5);
    d.setSlowSpeed(0.8);
    d.setFastSpeed(6.5);
    d.setAccelTime(0.25);
    d.setDecelTime(0.4);
    d.setLever(1.0);
    d.rebuild();
    d.setUnitRate(s.rate, s.factor);
}

uint64_t bits(double v) {
    return std::bit_cast<uint64_t>(v);
}

// Holds a unit driven in runs against one driven sample by sample.
class RunsAgainstSamples {
public:
    RunsAgainstSamples(DrumUnit::Kind kind, const Settings& s, bool wide)
        : runs_(kind), samples_(kind) {
        for (DrumUnit* d : {&runs_, &samples_}) configure(*d, s, wide);
    }

    template <typename Change> void change(Change&& f) {
        f(runs_);
        f(samples_);
    }

    // `count` samples of noise in runs cycling through kRunLengths; every
    // value must match to the bit.
    void compare(std::mt19937& rng, int count) {
        std::uniform_real_distribution<double> noise(-1.5, 1.5);
        const bool main = !runs_.isCross();
        for (int done = 0; done < count;) {
            const int n = kRunLengths[next_++ % std::size(kRunLengths)];
            std::vector<double> x(n), y(n), low(n), mech(n);
            for (double& v : x) v = noise(rng);
            runs_.processRun(x.data(), y.data(), main ? low.data() : nullptr,
                             main ? mech.data() : nullptr, n);
            for (int j = 0; j < n; ++j, ++done) {
                ASSERT_EQ(bits(y[j]), bits(samples_.process(x[j])))
                    << "sample " << done << " run of " << n << " at " << j;
                if (!main) continue;
                ASSERT_EQ(bits(low[j]), bits(samples_.lowStaticOutput())) << done;
                ASSERT_EQ(bits(mech[j]), bits(samples_.mechPlayer()->process())) << done;
            }
        }
    }

private:
    DrumUnit runs_, samples_;
    size_t next_ = 0;
};

void runThroughChanges(DrumUnit::Kind kind, const Settings& s, bool wide) {
    SCOPED_TRACE(kind == DrumUnit::Kind::Main ? "main unit" : "cross unit");
    std::mt19937 rng(11);
    RunsAgainstSamples units(kind, s, wide);
    units.compare(rng, 700);
    units.change([](DrumUnit& d) { d.setLever(0.0); }); // speeding up to fast
    units.compare(rng, 3000);
    units.change([](DrumUnit& d) {
        d.setMicAngle(-0.3); // another back region
        d.setFlip(1.0);      // re-rates and clears
        d.rebuild();
    });
    units.compare(rng, 1500);
    units.change([](DrumUnit& d) {
        d.startTransition();
        d.setLever(1.0);
        d.setSplitterFrequency(90);
    });
    units.compare(rng, 1500);
}

class DrumUnitRuns : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        if (wide() && !cpuHasAvx2()) GTEST_SKIP() << "no AVX2: only the baseline paths run here";
        forceBaselinePaths(!wide());
    }
    void TearDown() override { forceBaselinePaths(false); }
    bool wide() const { return GetParam(); }
};

TEST_P(DrumUnitRuns, MainUnitMatchesSampleBySampleAtEveryRate) {
    for (const auto& [rate, factor] : kRobustnessRates) {
        SCOPED_TRACE(rate);
        runThroughChanges(DrumUnit::Kind::Main, {rate, factor}, wide());
        if (HasFatalFailure()) return;
    }
}

TEST_P(DrumUnitRuns, CrossUnitMatchesSampleBySampleAtEveryRate) {
    for (const auto& [rate, factor] : kRobustnessRates) {
        SCOPED_TRACE(rate);
        runThroughChanges(DrumUnit::Kind::Cross, {rate, factor}, wide());
        if (HasFatalFailure()) return;
    }
}

// Doppler radii so large that the delayed reads reach far back into the history
// and wrap round it, and a microphone close to the rotor: the runs still match.
TEST_P(DrumUnitRuns, LongDelaysAndCloseMicrophonesMatchToo) {
    for (const double fm : {8.0, 12.0, 30.0}) {
        SCOPED_TRACE(fm);
        Settings s{kRate, 1, fm, 0.05, 0.3};
        runThroughChanges(DrumUnit::Kind::Main, s, wide());
        runThroughChanges(DrumUnit::Kind::Cross, s, wide());
        if (HasFatalFailure()) return;
    }
}

// The engine's order: the main unit's run, then the cross unit's on the same
// samples (or on `crossInput` when given). `shared` reuses the main unit's
// input; `own` filters its own and must give the same to the bit.
class ReusedInput {
public:
    explicit ReusedInput(bool wide) : main_(DrumUnit::Kind::Main) {
        const Settings s{kRate, 1};
        for (DrumUnit* d : {&main_, &shared, &own}) configure(*d, s, wide);
        shared.reuseInputFrom(&main_);
    }

    DrumUnit& main() { return main_; }
    template <typename Change> void crossUnits(Change&& f) {
        f(shared);
        f(own);
    }
    template <typename Change> void allUnits(Change&& f) {
        f(main_);
        crossUnits(f);
    }

    // One run of n samples of noise through the main unit (unless `mainRuns`
    // is false) and both cross units; returns whether `shared` reused the input.
    bool run(int n, bool mainRuns = true, double crossGain = 1.0) {
        std::uniform_real_distribution<double> noise(-1.5, 1.5);
        std::vector<double> x(n), xc(n), y(n), low(n), mech(n), a(n), b(n);
        for (double& v : x) v = noise(rng_);
        for (int j = 0; j < n; ++j) xc[j] = x[j] * crossGain;
        if (mainRuns) main_.processRun(x.data(), y.data(), low.data(), mech.data(), n);
        shared.processRun(xc.data(), a.data(), nullptr, nullptr, n);
        own.processRun(xc.data(), b.data(), nullptr, nullptr, n);
        for (int j = 0; j < n; ++j)
            EXPECT_EQ(bits(a[j]), bits(b[j])) << "run of " << n << " at " << j;
        EXPECT_FALSE(own.reusedInput());
        return shared.reusedInput();
    }
    // `runs` runs of 64; whether each reused the input.
    void expectRuns(int runs, bool reused) {
        for (int k = 0; k < runs; ++k) EXPECT_EQ(run(64), reused) << "run " << k;
    }

    DrumUnit shared{DrumUnit::Kind::Cross}, own{DrumUnit::Kind::Cross};

private:
    DrumUnit main_;
    std::mt19937 rng_{5};
};

TEST_P(DrumUnitRuns, CrossUnitReusesTheMainUnitsInputOnlyWhereItGivesTheSame) {
    ReusedInput units(wide());
    const auto clearAll = [&units] { units.allUnits([](DrumUnit& d) { d.clearState(); }); };
    units.expectRuns(8, true);
    for (const int n : {17, 1, 64, 33, 100}) EXPECT_TRUE(units.run(n)) << n;
    {
        SCOPED_TRACE("cross units cleared alone");
        units.crossUnits([](DrumUnit& d) { d.clearState(); });
        units.expectRuns(4, false);
        clearAll();
        units.expectRuns(4, true);
    }
    {
        SCOPED_TRACE("cross units re-tuned alone");
        units.crossUnits([](DrumUnit& d) { d.setFilterSaturation(0.3); });
        units.expectRuns(4, false);
        units.main().setFilterSaturation(0.3);
        clearAll();
        units.expectRuns(4, true);
    }
    {
        SCOPED_TRACE("cross units re-rated alone");
        units.crossUnits([](DrumUnit& d) { d.setUnitRate(48000, 1); });
        units.expectRuns(4, false);
        units.main().setUnitRate(48000, 1);
        clearAll();
        units.expectRuns(4, true);
    }
    {
        SCOPED_TRACE("the main unit cleared between its run and the cross units'");
        std::vector<double> x(64, 0.25), y(64), a(64), b(64);
        units.main().processRun(x.data(), y.data(), nullptr, nullptr, 64);
        units.main().clearState();
        units.shared.processRun(x.data(), a.data(), nullptr, nullptr, 64);
        units.own.processRun(x.data(), b.data(), nullptr, nullptr, 64);
        EXPECT_TRUE(units.shared.reusedInput()) << "the main unit's run still holds";
        for (int j = 0; j < 64; ++j) EXPECT_EQ(bits(a[j]), bits(b[j])) << j;
        units.expectRuns(2, false); // the main unit went on from silence
        clearAll();
    }
    {
        SCOPED_TRACE("another input, and the main unit not run");
        units.expectRuns(1, true);
        EXPECT_FALSE(units.run(64, true, 0.5));
        clearAll();
        units.expectRuns(1, true);
        EXPECT_FALSE(units.run(64, false));
        clearAll();
    }
    {
        SCOPED_TRACE("the main unit sample by sample");
        units.expectRuns(1, true);
        for (int j = 0; j < 64; ++j) units.main().process(0.1 * j);
        EXPECT_FALSE(units.run(64, false));
    }
}

// The cross unit takes the main unit's rotor steps (wide paths) where its rotor
// is on the course the main unit's was on: the same output to the bit as a cross
// unit that steps its own rotor, through the lever moving, and its own steps
// wherever the courses part (its rotor's settings or motion moved alone, the
// main unit not run).
TEST_P(DrumUnitRuns, CrossUnitTakesTheMainUnitsRotorStepsOnlyOnTheSameCourse) {
    ReusedInput units(wide());
    const auto expectRuns = [&](int runs, bool took) {
        for (int k = 0; k < runs; ++k) {
            units.run(64);
            EXPECT_EQ(units.shared.tookRotorSteps(), wide() && took) << "run " << k;
            EXPECT_FALSE(units.own.tookRotorSteps());
        }
    };
    const auto reRateAll = [&units] {
        units.allUnits([](DrumUnit& d) { d.setUnitRate(kRate, 1); });
    };
    expectRuns(4, true);
    {
        SCOPED_TRACE("the lever moved on every unit");
        units.allUnits([](DrumUnit& d) { d.setLever(0.0); });
        expectRuns(40, true);
    }
    {
        SCOPED_TRACE("the lever moved on the cross units alone");
        units.crossUnits([](DrumUnit& d) { d.setLever(1.0); });
        expectRuns(4, false);
        units.main().setLever(1.0);
        expectRuns(4, false); // the speeds went apart
        reRateAll();
        expectRuns(4, true);
    }
    {
        SCOPED_TRACE("the cross units flipped alone");
        units.crossUnits([](DrumUnit& d) {
            d.setFlip(1.0);
            d.rebuild();
        });
        expectRuns(4, false);
        units.main().setFlip(1.0);
        units.main().rebuild();
        reRateAll();
        expectRuns(4, true);
    }
    {
        SCOPED_TRACE("the main unit not run");
        units.run(64, false);
        EXPECT_FALSE(units.shared.tookRotorSteps());
    }
}

INSTANTIATE_TEST_SUITE_P(Paths, DrumUnitRuns, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& p) {
                             return p.param ? "Wide" : "Baseline";
                         });

} // namespace
} // namespace zel::test
