// A drum unit's runs of samples (processRun: the frames' starts and the rays of
// every sample first, then the filters, the mix and the player) against the unit
// sample by sample (process, then the low static output and the motor-noise
// player): the same output, low static output and motor noise to the bit, for
// runs of any length up to and beyond a piece, through the lever moving to fast,
// a rebuild that moves the microphone and flips the rotor, at every rate, with
// the wide paths and with the baseline ones forced.
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

INSTANTIATE_TEST_SUITE_P(Paths, DrumUnitRuns, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& p) {
                             return p.param ? "Wide" : "Baseline";
                         });

} // namespace
} // namespace zel::test
