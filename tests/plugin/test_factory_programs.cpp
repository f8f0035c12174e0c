// A new instance: its host parameters, its 32 programs, the microphone setup its
// program selects, and programs whose rotors do not turn.
#include "EffectDriver.h"

#include "params/FactoryPrograms.h"
#include "params/ParameterTable.h"
#include "plugin/RotaryEffect.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>

namespace zel {
namespace {

class NewInstance : public test::EffectFixture {
protected:
    bool sameValues(int a, int b) const {
        for (int i = 0; i < kNumProgramValues; ++i)
            if (fx->program(a).values[i].load() != fx->program(b).values[i].load()) return false;
        return true;
    }
};

TEST_F(NewInstance, HostParametersEqualTheDefaultProgram) {
    EXPECT_EQ(fx->getCurrentProgramIndex(), 0);
    EXPECT_STREQ(fx->program(0).name, "Default");
    for (int i = 0; i < kNumProgramValues; ++i) {
        EXPECT_EQ(fx->getParameter(i), kDefaultProgramValues[static_cast<std::size_t>(i)]) << i;
        EXPECT_EQ(fx->program(0).values[i].load(),
                  kDefaultProgramValues[static_cast<std::size_t>(i)])
            << i;
    }
    // "Default" runs in "LowCPU" (the defaults say "Brilliant"): the constructor's
    // rebuilds already run the speaker simulation at half the 44.1 kHz host rate.
    EXPECT_EQ(fx->getEngine().amp.cpuMode.load(), 0);
    EXPECT_EQ(fx->getParameterApplier().lastCpuMode(), 0);
    EXPECT_EQ(fx->getEngine().decimationFactor(), 2);
    // The tuning value the Setup of "Default" (FrontSide) gives.
    EXPECT_EQ(fx->getParameter(38), 0.19f);
    // A default that only setDefaults writes.
    EXPECT_EQ(fx->getParameter(116), 0.30103f);
    // The engine's reset set the amplitude clip from "HDistance" 0.5.
    EXPECT_EQ(fx->getParameter(119), (std::sqrt(0.5f) - 0.5f) * 0.2f + 0.795879f);
}

TEST_F(NewInstance, ProgramsByNameAndValue) {
    EXPECT_STREQ(fx->program(17).name, "Init");
    EXPECT_TRUE(sameValues(17, 0));
    EXPECT_STREQ(fx->program(1).name, "L'122");
    EXPECT_TRUE(sameValues(1, 0));
    EXPECT_STREQ(fx->program(2).name, "L'147");
    EXPECT_FALSE(sameValues(2, 0));
    // Names are zero-filled behind the text.
    for (int b = 5; b < kProgramNameSize; ++b) EXPECT_EQ(fx->program(17).name[b], '\0') << b;

    char text[40] = {};
    EXPECT_TRUE(fx->getProgramNameIndexed(0, 31, text));
    EXPECT_STREQ(text, "Init");
    EXPECT_TRUE(fx->getProgramNameIndexed(0, 12, text));
    EXPECT_STREQ(text, "Broken Horn Motor");
    std::strcpy(text, "unchanged");
    EXPECT_FALSE(fx->getProgramNameIndexed(0, 32, text));
    EXPECT_STREQ(text, "unchanged");

    // The host's program switch is not the plug-in's.
    fx->setProgram(5);
    EXPECT_EQ(fx->getCurrentProgramIndex(), 0);
    EXPECT_EQ(fx->getProgram(), 0);
    fx->getProgramName(text);
    EXPECT_STREQ(text, "Default");

    char longName[] = "A name of thirty characters!!!";
    ASSERT_EQ(std::strlen(longName), 30u);
    fx->setProgramName(longName);
    EXPECT_EQ(std::string(fx->program(0).name), std::string(longName, 23));
}

TEST_F(NewInstance, ProgramSetupPositions) {
    fx->selectProgram(16); // "Single Mic"
    EXPECT_EQ(fx->getParameterApplier().lastSetupPosition(), 5);
    EXPECT_EQ(fx->getEngine().setupPosition.load(), 5);
    ASSERT_TRUE(test::settle(*fx));
    // The rebuild applied "Mono": both horn microphones centred, the second one
    // silent, and its make-up gain.
    EXPECT_EQ(fx->getParameter(38), 0.5f);
    EXPECT_EQ(fx->getParameter(39), 0.5f);
    EXPECT_EQ(fx->getParameter(43), 0.0f);
    EXPECT_EQ(fx->getEngine().targets.micMakeupGain.load(), 1.99526231497);

    fx->selectProgram(15); // "Horn Mics"
    EXPECT_EQ(fx->getParameterApplier().lastSetupPosition(), 2);
    ASSERT_TRUE(test::settle(*fx));
    EXPECT_EQ(fx->getParameter(38), 0.35f);
    EXPECT_EQ(fx->getParameter(41), 0.3275f);
    EXPECT_EQ(fx->getEngine().targets.micMakeupGain.load(), 1.25892541179);
}

// With a program selected and processing switched on (which starts the rotors
// at their target speeds), a rotor whose two speeds are zero keeps its angle
// while the other one turns.
struct Turning {
    bool horn;
    bool drum;
};

Turning turningAfterProgram(RotaryEffect& fx, int program) {
    fx.selectProgram(program);
    fx.suspend();
    fx.resume();
    EXPECT_TRUE(test::settle(fx));
    test::runBlocks(fx, 40);
    const double horn = fx.getEngine().hornUnit(0).rotor().angle();
    const double drum = fx.getEngine().drumMainUnit().rotor().angle();
    test::runBlocks(fx, 80); // almost half a second
    return {fx.getEngine().hornUnit(0).rotor().angle() != horn,
            fx.getEngine().drumMainUnit().rotor().angle() != drum};
}

TEST_F(NewInstance, BrokenHornMotorAndStaticDrumDoNotTurn) {
    const Turning normal = turningAfterProgram(*fx, 0);
    EXPECT_TRUE(normal.horn);
    EXPECT_TRUE(normal.drum);

    const Turning broken = turningAfterProgram(*fx, 12);
    EXPECT_FALSE(broken.horn);
    EXPECT_TRUE(broken.drum);
    EXPECT_EQ(fx->getEngine().hornUnit(0).rotor().speedHz(), 0.0);

    const Turning staticDrum = turningAfterProgram(*fx, 14);
    EXPECT_TRUE(staticDrum.horn);
    EXPECT_FALSE(staticDrum.drum);
    EXPECT_EQ(fx->getEngine().drumMainUnit().rotor().speedHz(), 0.0);
}

} // namespace
} // namespace zel
