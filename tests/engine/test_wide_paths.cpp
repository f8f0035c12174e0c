// The rotating units take wide paths (AVX2 registers: the ray batch, the
// directivity sections and their targets, the horn's ray mix) where the
// processor has them, and the baseline paths (two to an SSE2 register)
// elsewhere. Both do the same operations in the same order, except that the wide
// ones fuse multiplies into the adds after them (rounded once, not twice) and
// compute the horn's and the drum's rays in float, so a unit must give the same output on either to
// that rounding, sample for sample: through reflections, the amplitude floor, directivity updates,
// speed changes, a rebuild that moves the microphone into the back half and a change of rate. Where
// the rays stay in double (the drum's cross unit), a ray's delayed input differs by at most the
// cubic's slope (below 25 times the largest sample, 1.3 here) times its ring position's rounding
// (an ulp of 4096, 9.1e-13), 3e-11; twelve rays at levels up to 1.1 and the sections after them
// (gain within a few units) keep the outputs within 1e-9 (about 1e-13 seen).
// The drum's main unit runs its rays in single precision on the wide path: its
// outputs agree to that rounding (kDrumSingleTolerance).
// The horn's float rays (FloatRayTolerances): a ray's displacement is off by at
// most kLambda (1.9e-6), which the Doppler radius (0.18 m, 23.3 samples) turns
// into 4.4e-5 samples of delay, 5.6e-5 with the rest of the delay's rounding
// (a cross unit's delay reaches three radii). The input's slope is at most
// 0.013 + 0.3 * 0.31 = 0.106 per sample; the cubic through its samples adds
// its second differences (below 0.029) to that, 2 * 1.5 + 3 times at most:
// below 0.3, so the read is off by 1.7e-5, and by 3.8e-6 more from the float
// sum of samples up to 1.3 (kCubicSteps): 2.1e-5. The attenuation is off by
// its sum's rounding (2.9e-6 of it) and its position's error (18 table steps
// per unit of displacement: 3.4e-5 steps) times the table's slope (below a
// tenth of an entry per step): 6.3e-6 of a value of 1.3 at most, 8.2e-6.
// Twelve rays at levels up to 1.1, the attenuation with the room factor and
// the sections (gain within a few units, 3), and the floor and ceiling taps
// that add the ray sum again twice at 0.7 * 0.6^2: 2.9e-5 * 12 * 1.1 * 3 *
// 1.5 = 1.7e-3, so 2e-3 (about 2.6e-7 seen; a ray missing or misplaced moves
// outputs of up to 2 by far more).
#include "CabinetUnitTestSupport.h"

#include "engine/CpuFeatures.h"
#include "engine/DrumUnit.h"
#include "engine/HornUnit.h"
#include "engine/WidePaths.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace zel::test {
namespace {

// Leaves the fastest paths on when a test ends, whatever it asserted.
struct BaselineGuard {
    ~BaselineGuard() { forceBaselinePaths(false); }
};

// The outputs' agreement where the paths differ by fused steps alone.
constexpr double kFusedTolerance = 1e-9;

// The drum's main unit runs its eight rays in single precision on the wide
// path (u = 2^-24): a ray's delayed input differs by the cubic's rounding
// (about 50 u of the largest sample, 1.3) plus the input's slope (below 0.11
// per sample here) times the ring position's error (22 u per sample of Doppler
// scale, below 40 samples at these rates, plus 2 u), its attenuation by about
// 50 u of itself; eight rays at levels below 0.8 and the drum's filters after
// them (gain within a few units) keep the outputs within 20 times one ray's
// error.
constexpr double kU = 0x1p-24;
constexpr double kDrumRayError = 50 * kU * 1.3 + 0.11 * (22 * kU * 40 + 2 * kU) + 50 * kU * 1.3;
constexpr double kDrumSingleTolerance = 20 * kDrumRayError;

void configureHorn(HornUnit& h) {
    setPlainCabinet(h);
    h.setMicAngle(0.1);
    h.setMicDistance(0.9);
    h.setReflectionCoeff(0.6);
    for (int r = 0; r < HornUnit::kRayLevelCount; ++r) h.setRayLevel(r, 0.5 + 0.1 * r);
    h.setZAxisLevel(0.7);
    h.setStaticRayLevel(0.4);
    h.setAmplitudeFloor(0.3);
    h.setMechLevel(0.5);
    h.setOpenBackMode(1);
}

void configureDrum(DrumUnit& d) {
    setPlainCabinet(d);
    d.setMicAngle(-0.05);
    d.setMicDistance(1.1);
    d.setReflectionCoeff(0.5);
    for (int r = 0; r < DrumUnit::kRayLevelCount; ++r) d.setRayLevel(r, 0.6 + 0.05 * r);
    d.setStaticRayLevel(0.5);
    d.setSplitterFrequency(250);
    d.setLowStaticGain(1);
    d.setFilterSaturation(0.1);
    d.setMechLevel(0.5);
}

// Runs two units alike, one on the baseline paths and one on the fastest, and
// expects outputs equal to the fused steps' rounding.
template <typename Unit>
void expectPathsAgree(Unit& baseline, Unit& wide, double tolerance = kFusedTolerance) {
    BaselineGuard guard;
    for (Unit* u : {&baseline, &wide}) {
        u->setSlowSpeed(0.8);
        u->setFastSpeed(6.7);
        u->setAccelTime(0.5);
        u->setDecelTime(0.5);
        startRotor(*u, kSpeedHz, kRate, 1);
    }
    constexpr int kSamples = 30000;
    for (int n = 0; n < kSamples; ++n) {
        if (n == 8000) {
            // The lever moves: the rotors speed up.
            for (Unit* u : {&baseline, &wide}) u->setLever(1.0);
        }
        if (n == 15000) {
            // The microphone moves into the back half (another back region).
            for (Unit* u : {&baseline, &wide}) {
                u->setMicAngle(0.4);
                u->rebuild();
            }
        }
        if (n == 22000) {
            // Half the rate, as the engine's decimated modes run the units.
            for (Unit* u : {&baseline, &wide}) u->setUnitRate(kRate / 2, 2);
        }
        const double x = std::sin(0.013 * n) + 0.3 * std::sin(0.31 * n);
        forceBaselinePaths(true);
        const double a = baseline.process(x);
        forceBaselinePaths(false);
        const double b = wide.process(x);
        ASSERT_NEAR(a, b, tolerance) << "sample " << n;
    }
}

TEST(WidePaths, HornUnitsSoundAlikeOnEitherPath) {
    if (!cpuHasAvx2()) GTEST_SKIP() << "no AVX2: only the baseline paths run here";
    for (HornUnit::Kind kind : {HornUnit::Kind::Microphone1, HornUnit::Kind::Cross}) {
        SCOPED_TRACE(kind == HornUnit::Kind::Cross ? "cross" : "microphone");
        auto baseline = std::make_unique<HornUnit>(kind);
        auto wide = std::make_unique<HornUnit>(kind);
        configureHorn(*baseline);
        configureHorn(*wide);
        constexpr double kFloatRayTolerance = 2e-3;
        expectPathsAgree(*baseline, *wide, kFloatRayTolerance);
    }
}

TEST(WidePaths, DrumUnitsSoundAlikeOnEitherPath) {
    if (!cpuHasAvx2()) GTEST_SKIP() << "no AVX2: only the baseline paths run here";
    for (DrumUnit::Kind kind : {DrumUnit::Kind::Main, DrumUnit::Kind::Cross}) {
        SCOPED_TRACE(kind == DrumUnit::Kind::Cross ? "cross" : "main");
        auto baseline = std::make_unique<DrumUnit>(kind);
        auto wide = std::make_unique<DrumUnit>(kind);
        configureDrum(*baseline);
        configureDrum(*wide);
        // The drum's ray lanes are chosen per unit, not by the baseline switch.
        baseline->setWideRays(false);
        expectPathsAgree(*baseline, *wide, kDrumSingleTolerance);
    }
}

} // namespace
} // namespace zel::test
