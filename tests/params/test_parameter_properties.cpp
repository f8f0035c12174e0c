#include "params/ParameterProperties.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

using namespace zel;

// A record filled with a marker, so that the test sees which fields were written.
vst::VstParameterProperties propertiesOf(int index) {
    vst::VstParameterProperties p;
    std::memset(&p, 0x5A, sizeof p);
    fillParameterProperties(index, p);
    return p;
}

void expectHostFieldsUntouched(const vst::VstParameterProperties& p) {
    vst::VstParameterProperties marker;
    std::memset(&marker, 0x5A, sizeof marker);
    EXPECT_EQ(p.minInteger, marker.minInteger);
    EXPECT_EQ(p.maxInteger, marker.maxInteger);
    EXPECT_EQ(p.stepInteger, marker.stepInteger);
    EXPECT_EQ(p.largeStepInteger, marker.largeStepInteger);
    EXPECT_EQ(p.displayIndex, marker.displayIndex);
    EXPECT_EQ(p.category, marker.category);
    EXPECT_EQ(p.numParametersInCategory, marker.numParametersInCategory);
    EXPECT_EQ(0, std::memcmp(p.categoryLabel, marker.categoryLabel, sizeof p.categoryLabel));
    EXPECT_EQ(0, std::memcmp(p.future, marker.future, sizeof p.future));
}

TEST(ParameterProperties, SwitchesStepByOne) {
    for (int index : {0, 1, 3, 4}) {
        const auto p = propertiesOf(index);
        EXPECT_EQ(p.flags, 0x5) << index;
        EXPECT_EQ(p.stepFloat, 1.0f);
        EXPECT_EQ(p.smallStepFloat, 1.0f);
        EXPECT_EQ(p.largeStepFloat, 1.0f);
        expectHostFieldsUntouched(p);
    }
    EXPECT_STREQ(propertiesOf(0).label, "Bypass");
    EXPECT_STREQ(propertiesOf(1).shortLabel, "CPUmode");
}

TEST(ParameterProperties, SteppedKnobs) {
    const struct {
        int index;
        float step;
        const char* label;
    } rows[] = {{10, 0.2f, "Setup"}, {12, 0.5f, "Type"}, {14, 0.25f, "Size"}};
    for (const auto& row : rows) {
        const auto p = propertiesOf(row.index);
        EXPECT_EQ(p.flags, 0x4);
        EXPECT_EQ(p.stepFloat, row.step);
        EXPECT_EQ(p.smallStepFloat, row.step);
        EXPECT_EQ(p.largeStepFloat, row.step);
        EXPECT_STREQ(p.label, row.label);
        EXPECT_STREQ(p.shortLabel, row.label);
        expectHostFieldsUntouched(p);
    }
}

TEST(ParameterProperties, ContinuousValuesStepByThirtyFifths) {
    for (int index : {2, 5, 35, 37, 100, 119, 36, 120, -1}) {
        const auto p = propertiesOf(index);
        EXPECT_EQ(p.flags, 0x4) << index;
        // 1/35 and 1/70 as the nearest floats.
        EXPECT_FLOAT_EQ(p.stepFloat, 0.028571429f);
        EXPECT_FLOAT_EQ(p.smallStepFloat, 0.014285714f);
        EXPECT_FLOAT_EQ(p.largeStepFloat, 0.028571429f);
        expectHostFieldsUntouched(p);
    }
    const auto midi = propertiesOf(35);
    EXPECT_STREQ(midi.label, "MIDIchl");
    EXPECT_STREQ(midi.shortLabel, "MIDIchl");
}

TEST(ParameterProperties, ShortLabelIsTheFirstSevenCharacters) {
    const auto p = propertiesOf(100);
    EXPECT_STREQ(p.label, "Early Refl. Virtual Room Size");
    EXPECT_STREQ(p.shortLabel, "Early R");
    EXPECT_EQ(p.shortLabel[7], '\0');
    EXPECT_STREQ(propertiesOf(21).shortLabel, "HDistan");
    EXPECT_STREQ(propertiesOf(120).label, "");
    EXPECT_STREQ(propertiesOf(120).shortLabel, "");
}

} // namespace
