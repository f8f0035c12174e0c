// Parameter application as the engine sees it: the lever and the brake, change
// detection, the room size and microphone distances, the filter switches, the
// global parameters, the editor notification and values a host should not send.
#include "EffectDriver.h"
#include "TestHost.h"

#include "params/FactoryPrograms.h"
#include "params/ParameterLaws.h"
#include "plugin/RotaryEffect.h"
#include "presets/CPresetSystemEditor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <vector>

namespace zel {
namespace {

using test::resetTestHost;
using test::testHost;
using test::testHostCallback;

constexpr int kLever = 2;
constexpr int kStop = 4;

class ParameterApplication : public test::EffectFixture {
protected:
    RotaryEngine& engine() { return fx->getEngine(); }

    std::vector<Rotor*> rotors() {
        RotaryEngine& e = engine();
        return {&e.hornUnit(0).rotor(), &e.hornUnit(1).rotor(), &e.hornCrossUnit().rotor(),
                &e.drumMainUnit().rotor(), &e.drumCrossUnit().rotor()};
    }

    // Lowers every request flag, as if the audio thread had worked them off.
    void clearRequests() {
        RebuildRequests& q = engine().requests;
        for (Relaxed<bool>* flag :
             {&q.fullReset, &q.rateReset, &q.rateChange, &q.setup, &q.room, &q.hornUnit0,
              &q.hornUnit1, &q.hornCrossUnit, &q.drumMainUnit, &q.drumCrossUnit, &q.crossPaths,
              &q.toneEqDirty, &q.highLowPassDirty, &q.fade})
            *flag = false;
    }

    bool anyRequest() {
        RebuildRequests& q = engine().requests;
        for (Relaxed<bool>* flag : {&q.fullReset, &q.rateReset, &q.rateChange, &q.setup, &q.room,
                                    &q.hornUnit0, &q.hornUnit1, &q.hornCrossUnit, &q.drumMainUnit,
                                    &q.drumCrossUnit, &q.crossPaths, &q.fade})
            if (flag->load()) return true;
        return false;
    }

    // A microphone's distance from its rotor axis, read back from the position the
    // unit hands the cross paths ((cos, sin) * distance / AM radius).
    static double micDistance(const HornUnit& unit, double amRadius) {
        const MicPoint p = unit.crossPathMicPosition();
        return std::hypot(p.x, p.y) * amRadius;
    }
    double hornAmRadius() { return law::radiusLaw(fx->getParameter(96)); }
};

TEST_F(ParameterApplication, LeverAtItsOwnValueCallsNothingAndKeepsTheBrake) {
    fx->setParameter(kLever, 0.25f);
    fx->setParameter(kStop, 1.0f);
    // A value written behind the parameter's back shows whether the lever is set again.
    for (Rotor* rotor : rotors()) rotor->setLever(0.5);
    testHost.calls.clear();

    fx->setParameter(kLever, 0.25f);

    for (Rotor* rotor : rotors()) EXPECT_EQ(rotor->leverInput(), 0.5);
    EXPECT_EQ(fx->getParameter(kStop), 1.0f);
    for (Rotor* rotor : rotors()) EXPECT_EQ(rotor->stopInput(), 1.0);
    EXPECT_EQ(testHost.count(vst::audioMasterAutomate), 0);
}

TEST_F(ParameterApplication, MovingTheLeverReleasesTheBrakeThroughAutomation) {
    fx->setParameter(kStop, 1.0f);
    for (Rotor* rotor : rotors()) EXPECT_EQ(rotor->stopInput(), 1.0);
    testHost.calls.clear();

    fx->setParameter(kLever, 0.75f);

    EXPECT_EQ(fx->getParameter(kStop), 0.0f);
    ASSERT_EQ(testHost.count(vst::audioMasterAutomate), 1);
    const test::HostCall& call = testHost.calls.back();
    EXPECT_EQ(call.index, kStop);
    EXPECT_EQ(call.opt, 0.0f);
    for (Rotor* rotor : rotors()) {
        EXPECT_EQ(rotor->stopInput(), 0.0);
        EXPECT_EQ(rotor->leverInput(), 1.0 - 0.75f); // 1 = the slow end
    }
    // The brake is global: every program holds the released value.
    for (int p = 0; p < kNumStoredPrograms; ++p) EXPECT_EQ(fx->program(p).values[kStop], 0.0f);
    EXPECT_EQ(fx->getParameterApplier().lastLever(), 0.75f);
}

TEST_F(ParameterApplication, SetupRequestsOnlyARealChangeOfPosition) {
    fx->setParameter(10, 0.8f); // position 4
    EXPECT_EQ(engine().setupPosition.load(), 4);
    clearRequests();

    fx->setParameter(10, 0.25f); // position 1
    EXPECT_TRUE(engine().requests.setup.load());
    EXPECT_TRUE(engine().requests.crossPaths.load());
    EXPECT_TRUE(engine().requests.fade.load());
    EXPECT_EQ(engine().setupPosition.load(), 1);
    clearRequests();

    fx->setParameter(10, 0.26f); // still position 1
    EXPECT_FALSE(anyRequest());
    EXPECT_EQ(fx->getParameter(10), 0.26f);
}

TEST_F(ParameterApplication, SizeSetsBothRoomSizesOnce) {
    fx->setParameter(14, 0.0f); // size 1, as after construction
    testHost.calls.clear();

    fx->setParameter(14, 0.5f); // size 3
    EXPECT_EQ(fx->getParameter(99), 0.3868519961833954f);
    EXPECT_EQ(fx->getParameter(100), 0.5f);
    EXPECT_EQ(testHost.count(vst::audioMasterAutomate), 2);
    EXPECT_EQ(fx->getParameterApplier().lastRoomSize(), 3);
    EXPECT_TRUE(engine().requests.room.load());

    // Another value of the same size leaves the room alone, even if moved by hand.
    fx->setParameter(99, 0.7f);
    testHost.calls.clear();
    fx->setParameter(14, 0.55f);
    EXPECT_EQ(fx->getParameter(99), 0.7f);
    EXPECT_EQ(testHost.count(vst::audioMasterAutomate), 0);
}

TEST_F(ParameterApplication, HornDistancesFollowHDistanceAndTheSecondMicrophoneOffset) {
    // Distances are products of a few doubles: compare to 1e-12 m.
    const double tolerance = 1e-12;
    RotaryEngine& e = engine();
    fx->setParameter(21, 0.5f);
    fx->setParameter(41, 0.2575f);
    EXPECT_EQ(fx->getParameterApplier().hornDistance(), 1.0f);
    EXPECT_NEAR(micDistance(e.hornUnit(0), hornAmRadius()), 1.0, tolerance);
    // (1 + 0.4 * 0.2575 - 0.2) * 1.0 m, the offset computed from the float 0.2575.
    EXPECT_NEAR(micDistance(e.hornUnit(1), hornAmRadius()), 0.903, 1e-7);

    // A new distance moves both microphones, asks for the rebuilds and sets the
    // amplitude clip from it.
    clearRequests();
    fx->setParameter(21, 0.7f);
    const double d = 1.3f * 0.7f + 0.35f;
    EXPECT_NEAR(micDistance(e.hornUnit(0), hornAmRadius()), d, tolerance);
    EXPECT_NEAR(micDistance(e.hornUnit(1), hornAmRadius()), (1.0 + (0.4 * 0.2575f - 0.2)) * d,
                tolerance);
    EXPECT_EQ(fx->getParameter(119), (std::sqrt(0.7f) - 0.5f) * 0.2f + 0.795879f);
    RebuildRequests& q = e.requests;
    EXPECT_TRUE(q.hornUnit0.load() && q.hornUnit1.load() && q.hornCrossUnit.load() &&
                q.drumCrossUnit.load() && q.crossPaths.load() && q.fade.load());

    // The same distance again asks for nothing and leaves the clip alone.
    clearRequests();
    fx->setParameter(119, 0.25f);
    fx->setParameter(21, 0.7f);
    EXPECT_FALSE(anyRequest());
    EXPECT_EQ(fx->getParameter(119), 0.25f);

    // Microphone 2 never comes closer than 0.3 m.
    fx->setParameter(21, 0.0f); // 0.35 m
    fx->setParameter(41, 0.0f); // -20 %: 0.28 m
    EXPECT_NEAR(micDistance(e.hornUnit(1), hornAmRadius()), 0.3, tolerance);
}

TEST_F(ParameterApplication, HornHighPassAndDrumLowPassSwitchOff) {
    RotaryEngine& e = engine();
    fx->setParameter(22, 0.5f);
    EXPECT_EQ(e.targets.hornHighPassMix.load(), 1.0);
    EXPECT_EQ(e.amp.hornHighPassHz.load(), law::highPassLaw(0.5f));
    e.requests.highLowPassDirty = false;
    fx->setParameter(22, 0.005f); // below the onset: off
    EXPECT_EQ(e.targets.hornHighPassMix.load(), 0.0);
    EXPECT_EQ(e.amp.hornHighPassHz.load(), 20.0);
    EXPECT_EQ(fx->getParameterApplier().hornHighPassShownHz(), 0.0);
    EXPECT_TRUE(e.requests.highLowPassDirty.load());

    fx->setParameter(29, 0.5f); // 2 kHz, the power taken in float
    EXPECT_EQ(e.targets.drumLowPassMix.load(), 1.0);
    EXPECT_EQ(e.amp.drumLowPassHz.load(), 200.0 * static_cast<double>(std::pow(100.0f, 0.5f)));
    fx->setParameter(29, 1.0f);
    EXPECT_EQ(e.targets.drumLowPassMix.load(), 0.0);
    EXPECT_EQ(fx->getParameterApplier().drumLowPassShownHz(), 0.0);
}

TEST_F(ParameterApplication, BypassReachesEveryProgramAlsoWhileLoading) {
    fx->setParameter(0, 1.0f);
    for (int p = 0; p < kNumStoredPrograms; ++p) EXPECT_EQ(fx->program(p).values[0], 1.0f) << p;

    // Loading a program whose bypass is off: the loaded value is global too.
    fx->setProgramValue(3, 0, 0.0f);
    ASSERT_EQ(fx->program(4).values[0], 1.0f);
    fx->selectProgram(3);
    for (int p = 0; p < kNumStoredPrograms; ++p) EXPECT_EQ(fx->program(p).values[0], 0.0f) << p;
    // A per-program value pushed by loading stays where it was.
    fx->setParameter(5, 0.9f);
    EXPECT_EQ(fx->program(3).values[5], 0.9f);
    EXPECT_NE(fx->program(4).values[5], 0.9f);
}

TEST_F(ParameterApplication, CpuModeAsksForAFullResetOnlyOnAChange) {
    RotaryEngine& e = engine();
    const int32_t mode = fx->getParameterApplier().lastCpuMode();
    clearRequests();
    fx->setParameter(1, mode == 1 ? 0.9f : 0.1f); // same mode
    EXPECT_FALSE(e.requests.fullReset.load());
    fx->setParameter(1, mode == 1 ? 0.1f : 0.9f);
    EXPECT_TRUE(e.requests.fullReset.load());
    EXPECT_TRUE(e.requests.fade.load());
    EXPECT_EQ(e.amp.cpuMode.load(), mode == 1 ? 0 : 1);
}

// Records what the effect tells its editor object.
class RecordingEditor : public CPresetSystemEditor {
public:
    using CPresetSystemEditor::CPresetSystemEditor;
    struct Note {
        int32_t index;
        float value;
    };
    std::vector<Note> notes;
    void setParameter(int32_t index, float value) override { notes.push_back({index, value}); }
    bool seen(int32_t index, float value) const {
        return std::any_of(notes.begin(), notes.end(),
                           [&](const Note& n) { return n.index == index && n.value == value; });
    }
};

TEST_F(ParameterApplication, TheEditorHearsOfEveryIndex) {
    auto recorder = std::make_unique<RecordingEditor>(fx.get());
    RecordingEditor* editor = recorder.get();
    fx->setEditor(std::move(recorder));

    fx->setParameter(12, 0.5f);
    fx->setParameter(57, 0.25f); // keeps nothing, still told
    fx->setParameter(200, 0.75f);
    EXPECT_TRUE(editor->seen(12, 0.5f));
    EXPECT_TRUE(editor->seen(57, 0.25f));
    EXPECT_TRUE(editor->seen(200, 0.75f));

    // A new horn distance tells the editor about 71 as well (its own copy).
    editor->notes.clear();
    fx->setParameter(21, 0.9f);
    EXPECT_TRUE(editor->seen(21, 0.9f));
    EXPECT_TRUE(editor->seen(71, 0.9f));
    EXPECT_TRUE(editor->seen(119, (std::sqrt(0.9f) - 0.5f) * 0.2f + 0.795879f));
    EXPECT_EQ(fx->getParameter(71), 0.0f); // 71 keeps nothing
}

TEST_F(ParameterApplication, ValuesOutsideTheRangeAreHeldAndNonFiniteOnesIgnored) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    fx->setParameter(23, 0.5f);
    for (float bad : {nan, inf, -inf}) {
        fx->setParameter(23, bad);
        EXPECT_EQ(fx->getParameter(23), 0.5f);
        EXPECT_EQ(fx->program(0).values[23], 0.5f);
    }
    fx->setParameter(23, -1.0f);
    EXPECT_EQ(fx->getParameter(23), 0.0f);
    EXPECT_EQ(engine().targets.hornMicLevel.load(), 0.0);
    fx->setParameter(23, 2.0f);
    EXPECT_EQ(fx->getParameter(23), 1.0f);
    EXPECT_EQ(fx->program(0).values[23], 1.0f);
    EXPECT_EQ(engine().targets.hornMicLevel.load(), law::gainTaper(1.0));
}

TEST(BadHostValues, EveryHostParameterKeepsTheOutputFinite) {
    resetTestHost();
    RotaryEffect fx(testHostCallback);
    ASSERT_TRUE(test::settle(fx));
    const float bad[] = {std::numeric_limits<float>::quiet_NaN(),
                         std::numeric_limits<float>::infinity(), -1.0f, 2.0f};
    for (int index = 0; index < 36; ++index) {
        for (float value : bad) {
            fx.setParameter(index, value);
            EXPECT_TRUE(test::runBlocks(fx, 4)) << index << " " << value;
            const float kept = fx.getParameter(index);
            EXPECT_TRUE(kept >= 0.0f && kept <= 1.0f) << index << " " << value;
        }
        // Back to the program's value before the next index.
        fx.setParameter(index, kDefaultProgramValues[static_cast<std::size_t>(index)]);
    }
    EXPECT_TRUE(test::settle(fx));
    EXPECT_TRUE(test::runBlocks(fx, 8));
}

} // namespace
} // namespace zel
