// The data the effect starts from: the defaults of every index, the factory
// programs, the microphone setups and the room sizes.
#include "params/FactoryDefaults.h"
#include "params/FactoryPrograms.h"
#include "params/ParameterTable.h"
#include "params/RoomSizes.h"
#include "params/SetupPresets.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace zel {
namespace {

int positionInDefaults(int index) {
    for (std::size_t i = 0; i < kFactoryDefaults.size(); ++i)
        if (kFactoryDefaults[i].index == index) return static_cast<int>(i);
    return -1;
}

TEST(FactoryDefaults, EveryIndexOnceExceptTheSparesAndIndex36) {
    std::vector<int> seen(kNumParameters, 0);
    for (const DefaultValue& entry : kFactoryDefaults) {
        ASSERT_GE(entry.index, 0);
        ASSERT_LT(entry.index, kNumParameters);
        ++seen[static_cast<std::size_t>(entry.index)];
        EXPECT_GE(entry.value, 0.0f) << entry.index;
        EXPECT_LE(entry.value, 1.0f) << entry.index;
    }
    for (int i = 0; i < kNumParameters; ++i) {
        const bool absent = (i >= 31 && i <= 34) || i == 36;
        EXPECT_EQ(seen[static_cast<std::size_t>(i)], absent ? 0 : 1) << i;
    }
}

TEST(FactoryDefaults, DependentValuesComeAfterWhatTheyDependOn) {
    // The second microphone's distance is taken relative to the horn distance.
    EXPECT_LT(positionInDefaults(21), positionInDefaults(41));
    // "Drum Sample Volume" scales the level "Mech" sets.
    EXPECT_LT(positionInDefaults(5), positionInDefaults(115));
    // The own entry of "Horn Amplitude Clip" comes after "HDistance".
    EXPECT_LT(positionInDefaults(21), positionInDefaults(119));
    // The last three are the globals that are never moved by a program otherwise.
    const std::size_t n = kFactoryDefaults.size();
    EXPECT_EQ(kFactoryDefaults[n - 3].index, 1);
    EXPECT_EQ(kFactoryDefaults[n - 2].index, 35);
    EXPECT_EQ(kFactoryDefaults[n - 1].index, 0);
}

TEST(FactoryPrograms, EveryChangeNamesAHostParameterOnce) {
    for (const FactoryProgram& program : kFactoryPrograms) {
        std::set<int> indices;
        for (const ProgramChange& change : program.changes) {
            const int index = hostParameterIndex(change.parameter);
            EXPECT_GE(index, 0) << program.name << ": " << change.parameter;
            EXPECT_TRUE(indices.insert(index).second) << program.name << ": " << change.parameter;
            EXPECT_GE(change.value, 0.0f);
            EXPECT_LE(change.value, 1.0f);
        }
    }
    EXPECT_EQ(hostParameterIndex("HDistance"), 21);
    EXPECT_EQ(hostParameterIndex("MIDIchl"), 35);
    EXPECT_EQ(hostParameterIndex("Horn Mic1 Angle"), -1); // a tuning index
    EXPECT_EQ(hostParameterIndex(""), -1);                // the spares have no name
}

TEST(FactoryPrograms, NamesAndValuesByProgramNumber) {
    EXPECT_STREQ(factoryProgramName(0), "Default");
    EXPECT_STREQ(factoryProgramName(1), "L'122");
    EXPECT_STREQ(factoryProgramName(12), "Broken Horn Motor");
    EXPECT_STREQ(factoryProgramName(16), "Single Mic");
    for (int p = 17; p < 32; ++p) {
        EXPECT_STREQ(factoryProgramName(p), "Init") << p;
        EXPECT_EQ(factoryProgramValues(p), kDefaultProgramValues) << p;
    }
    std::set<std::string> names;
    for (int p = 0; p <= 16; ++p) {
        EXPECT_LE(std::strlen(factoryProgramName(p)), 23u);
        EXPECT_TRUE(names.insert(factoryProgramName(p)).second) << p;
    }
    EXPECT_EQ(factoryProgramValues(1), kDefaultProgramValues);

    // A program differs from "Default" exactly where its changes say.
    const ProgramValues swift = factoryProgramValues(8);
    EXPECT_EQ(swift[19], 0.0f); // "HAccel"
    EXPECT_EQ(swift[18], 0.685f);
    EXPECT_EQ(swift[5], kDefaultProgramValues[5]); // "Mech" untouched
    const ProgramValues broken = factoryProgramValues(12);
    EXPECT_EQ(broken[17], 0.0f);
    EXPECT_EQ(broken[18], 0.0f);
    const ProgramValues staticDrum = factoryProgramValues(14);
    EXPECT_EQ(staticDrum[24], 0.0f);
    EXPECT_EQ(staticDrum[25], 0.0f);
    for (int p = 2; p <= 16; ++p) {
        const ProgramValues values = factoryProgramValues(p);
        int differing = 0;
        for (int i = 0; i < kNumProgramValues; ++i)
            differing += values[static_cast<std::size_t>(i)] !=
                         kDefaultProgramValues[static_cast<std::size_t>(i)];
        // A listed value may equal the "Default" one, never more differ than listed.
        EXPECT_LE(differing, static_cast<int>(
                                 kFactoryPrograms[static_cast<std::size_t>(p - 1)].changes.size()))
            << p;
        EXPECT_GT(differing, 0) << p;
    }
}

TEST(SetupPresets, SizesAndTheMonoSetup) {
    // rnd(5x) positions 0..5 each have a setup.
    EXPECT_EQ(kSetupPresets.size(), 6u);
    for (const SetupPreset& preset : kSetupPresets)
        for (float v : preset.values) {
            EXPECT_GE(v, 0.0f);
            EXPECT_LE(v, 1.0f);
        }
    // Only "AmpOnly" bypasses the speakers; "Mono" pans both microphones centre.
    EXPECT_EQ(kSetupPresets[0].values[0], 1.0f);
    for (std::size_t p = 1; p < kSetupPresets.size(); ++p)
        EXPECT_EQ(kSetupPresets[p].values[0], 0.0f);
    EXPECT_EQ(kSetupPresets[5].values[6], 0.5f);
    EXPECT_EQ(kSetupPresets[5].values[7], 0.5f);
    EXPECT_EQ(SetupPreset::kIndices.front(), 118);
}

TEST(RoomSizes, MiddleSizeIsTheDocumentedPair) {
    ASSERT_EQ(kRoomSizes.size(), 5u);
    EXPECT_EQ(kRoomSizes[2].roomSize, 0.386852f);
    EXPECT_EQ(kRoomSizes[2].virtualRoomSize, 0.5f);
    // The room grows with the size.
    for (std::size_t i = 1; i < kRoomSizes.size(); ++i)
        EXPECT_GT(kRoomSizes[i].roomSize, kRoomSizes[i - 1].roomSize);
}

} // namespace
} // namespace zel
