#include "params/ParameterTexts.h"

#include "params/ParameterFormatters.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

using zel::parameterDisplay;
using zel::parameterLabel;
using zel::parameterName;

struct Expected {
    int index;
    float x;
    const char* display;
    const char* label;
};

std::string display(int index, float x) {
    char text[64];
    std::memset(text, '#', sizeof text);
    parameterDisplay(index, x, text);
    return text;
}

std::string label(int index, float x) {
    char text[64];
    std::memset(text, '#', sizeof text);
    parameterLabel(index, x, text);
    return text;
}

std::string name(int index) {
    char text[64];
    std::memset(text, '#', sizeof text);
    parameterName(index, text);
    return text;
}

void expectAll(const Expected* rows, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        const Expected& e = rows[i];
        SCOPED_TRACE("index " + std::to_string(e.index) + " at " + std::to_string(e.x));
        EXPECT_EQ(display(e.index, e.x), e.display);
        EXPECT_EQ(label(e.index, e.x), e.label);
    }
}

TEST(ParameterTexts, HostParameterNames) {
    const char* names[36] = {
        "Bypass",   "CPUmode",  "Lever",    "Speed",  "Stop",      "Mech",      "Bottom", "LoMid",
        "Presence", "TopShlf",  "Setup",    "Input",  "Type",      "Drive",     "Size",   "Color",
        "Amount",   "HSlowSpd", "HFastSpd", "HAccel", "HDecel",    "HDistance", "HHPF",   "HGain",
        "DSlowSpd", "DFastSpd", "DAccel",   "DDecel", "DDistance", "DLPF",      "DGain",  "",
        "",         "",         "",         "MIDIchl"};
    for (int i = 0; i < 36; ++i) EXPECT_EQ(name(i), names[i]) << "index " << i;
}

// Each host parameter at 0, 0.5 and 1. The numbers were worked out by hand from
// the laws: G(0.5) = 1.00037 (0.0 dB), G(1) = 3.98320 (+12.0 dB), t(0) = 0.1 s,
// t(0.5) = 1 s, d(0.5) - 0.35 = 0.65 m, h(0.5) = 200.04 Hz, h(1) = 1000.41 Hz,
// l(0) = 200 Hz, l(0.5) = 2000 Hz, rnd(2.5) = 3 for "Setup" and rnd(8.5) = 9 for
// "MIDIchl".
TEST(ParameterTexts, HostParametersAtZeroHalfAndOne) {
    const Expected rows[] = {
        {0, 0.0f, "Off", " "},      {0, 0.5f, "On", " "},         {0, 1.0f, "On", " "},
        {1, 0.0f, "LowCPU", " "},   {1, 0.5f, "Brilliant", " "},  {1, 1.0f, "Brilliant", " "},
        {2, 0.0f, "Chorale", " "},  {2, 0.5f, "50", " "},         {2, 1.0f, "Tremolo", " "},
        {3, 0.0f, "", " "},         {3, 0.5f, "", " "},           {3, 1.0f, "", " "},
        {4, 0.0f, "Running", " "},  {4, 0.5f, "Stopped", " "},    {4, 1.0f, "Stopped", " "},
        {5, 0.0f, "-oo", "dB"},     {5, 0.5f, "0.0", "dB"},       {5, 1.0f, "12.0", "dB"},
        {6, 0.0f, "-12.0", "dB"},   {6, 0.5f, "0.0", "dB"},       {6, 1.0f, "12.0", "dB"},
        {7, 0.0f, "-12.0", "dB"},   {7, 0.5f, "0.0", "dB"},       {7, 1.0f, "12.0", "dB"},
        {8, 0.0f, "-12.0", "dB"},   {8, 0.5f, "0.0", "dB"},       {8, 1.0f, "12.0", "dB"},
        {9, 0.0f, "-12.0", "dB"},   {9, 0.5f, "0.0", "dB"},       {9, 1.0f, "12.0", "dB"},
        {10, 0.0f, "AmpOnly", " "}, {10, 0.5f, "FrontRear", " "}, {10, 1.0f, "Mono", " "},
        {11, 0.0f, "-oo", "dB"},    {11, 0.5f, "0.0", "dB"},      {11, 1.0f, "12.0", "dB"},
        {12, 0.0f, "Thru", " "},    {12, 0.5f, "Tube", " "},      {12, 1.0f, "Solid", " "},
        {13, 0.0f, "-20.0", "dB"},  {13, 0.5f, "0.0", "dB"},      {13, 1.0f, "20.0", "dB"},
        {14, 0.0f, "1", " "},       {14, 0.5f, "3", " "},         {14, 1.0f, "5", " "},
        {15, 0.0f, "0.0", "%"},     {15, 0.5f, "50.0", "%"},      {15, 1.0f, "100.0", "%"},
        {16, 0.0f, "-oo", "dB"},    {16, 0.5f, "0.0", "dB"},      {16, 1.0f, "12.0", "dB"},
        {17, 0.0f, "0.00", "Hz"},   {17, 0.5f, "5.00", "Hz"},     {17, 1.0f, "10.00", "Hz"},
        {18, 0.0f, "0.00", "Hz"},   {18, 0.5f, "5.00", "Hz"},     {18, 1.0f, "10.00", "Hz"},
        {19, 0.0f, "100", "ms"},    {19, 0.5f, "1.0", "s"},       {19, 1.0f, "10.0", "s"},
        {20, 0.0f, "100", "ms"},    {20, 0.5f, "1.0", "s"},       {20, 1.0f, "10.0", "s"},
        {21, 0.0f, "0", "cm"},      {21, 0.5f, "65", "cm"},       {21, 1.0f, "1.30", "m"},
        {22, 0.0f, "Off", " "},     {22, 0.5f, "200", "Hz"},      {22, 1.0f, "1.00", "kHz"},
        {23, 0.0f, "-oo", "dB"},    {23, 0.5f, "0.0", "dB"},      {23, 1.0f, "12.0", "dB"},
        {24, 0.0f, "0.00", "Hz"},   {24, 0.5f, "5.00", "Hz"},     {24, 1.0f, "10.00", "Hz"},
        {25, 0.0f, "0.00", "Hz"},   {25, 0.5f, "5.00", "Hz"},     {25, 1.0f, "10.00", "Hz"},
        {26, 0.0f, "100", "ms"},    {26, 0.5f, "1.0", "s"},       {26, 1.0f, "10.0", "s"},
        {27, 0.0f, "100", "ms"},    {27, 0.5f, "1.0", "s"},       {27, 1.0f, "10.0", "s"},
        {28, 0.0f, "0", "cm"},      {28, 0.5f, "65", "cm"},       {28, 1.0f, "1.30", "m"},
        {29, 0.0f, "200", "Hz"},    {29, 0.5f, "2.00", "kHz"},    {29, 1.0f, "Off", " "},
        {30, 0.0f, "-oo", "dB"},    {30, 0.5f, "0.0", "dB"},      {30, 1.0f, "12.0", "dB"},
        {31, 0.5f, "", " "},        {32, 0.5f, "", " "},          {33, 1.0f, "", " "},
        {34, 0.5f, "", " "},        {35, 0.0f, "OFF", " "},       {35, 0.5f, "Ch 9", " "},
        {35, 1.0f, "OMNI", " "},
    };
    expectAll(rows, std::size(rows));
}

// The edges of the texts: thresholds of the lever, the filters, the distance
// units and the rounding of the switch positions.
TEST(ParameterTexts, HostParametersAtTheirEdges) {
    const Expected rows[] = {
        {2, 0.005f, "Chorale", " "},
        {2, 0.006f, "1", " "},
        {2, 0.994f, "99", " "},
        {2, 0.995f, "Tremolo", " "},
        {22, 0.009f, "Off", " "},
        {22, 0.01f, "20", "Hz"}, // h(0.01) = 19.995 Hz
        {22, 1.0f, "1.00", "kHz"},
        {29, 0.99f, "19.10", "kHz"}, // 200 * 100^0.99 = 19099.85 Hz
        {29, 1.0f, "Off", " "},
        {21, 0.5f, "65", "cm"},
        {21, 1.0f, "1.30", "m"},
        {21, -0.1f, "0", "cm"},   // 1.3 * -0.1 is below the offset
        {21, 0.77f, "1.00", "m"}, // 1.3 * 0.77 = 1.001 m
        {19, 0.5f, "1.0", "s"},
        {19, 0.375887f, "565", "ms"}, // 0.1 * 100^0.375887 = 0.56464 s
        {10, 0.25f, "FrontSide", " "},
        {10, 0.8f, "OppositeDiagonal", " "},
        {10, 0.95f, "Mono", " "},
        {10, 0.6f, "FrontRear", " "},
        {10, 0.45f, "FrontDiagonal", " "},
        {35, 0.0f, "OFF", " "},
        {35, 15.0f / 17.0f, "Ch 15", " "},
        {35, 16.0f / 17.0f, "Ch 16", " "},
        {35, 1.0f, "OMNI", " "},
        {35, 1.0f / 17.0f, "Ch 1", " "},
        {5, 0.0f, "-oo", "dB"},
        {5, 1.0f, "12.0", "dB"},
        {12, 0.24f, "Thru", " "},
        {12, 0.75f, "Solid", " "},
        {14, 0.125f, "2", " "}, // rnd(0.5) rounds up
        {0, 0.49f, "Off", " "},
    };
    expectAll(rows, std::size(rows));
}

// Out-of-range values go through the same formulas; the texts stay bounded and
// the enumerated ones are empty rather than read outside their word lists.
TEST(ParameterTexts, ValuesOutsideTheRangeGiveBoundedTexts) {
    EXPECT_EQ(display(10, 2.0f), "");  // position 10
    EXPECT_EQ(display(10, -1.0f), ""); // position -4
    EXPECT_EQ(display(12, 5.0f), "");
    EXPECT_EQ(display(35, 2.0f), "");
    EXPECT_EQ(display(14, 1e30f), "2147483648"); // rnd saturates, the + 1 does not wrap
    const std::string huge = display(6, 1e30f);  // "%.1f" of 2.4e31 would need 35 bytes
    EXPECT_EQ(huge.size(), zel::kParameterTextSize - 1);
    EXPECT_EQ(huge.substr(0, 10), "2400000036"); // 24 * 1e30f = 2.4000000361e31
}

struct Named {
    int index;
    const char* name;
};

TEST(ParameterTexts, TuningSetNames) {
    const Named names[] = {
        {37, "Horn Gain"},
        {38, "Horn Mic1 Angle"},
        {41, "Horn Mic2 Distance"},
        {47, "Horn Ray 2 (back/sides)"},
        {52, "Horn Rays 7-10 (misc)"},
        {56, "Horn Z-axis rays"},
        {73, "Drum Open Back Mode"},
        {77, "Drum->Tube feedback"},
        {90, "Horn Attenuation distance"},
        {100, "Early Refl. Virtual Room Size"},
        {111, "Drum Static Filter Cutoff"},
        {118, "Bypass Speakers (Amp Only)"},
        {119, "Horn Amplitude Clip"},
    };
    for (const Named& n : names) EXPECT_EQ(name(n.index), n.name) << "index " << n.index;
    EXPECT_EQ(name(100).size(), 29u);
    for (int unnamed : {36, 57, 59, 64, 65, 66, 67, 71, 79, 81, 82, 83, 84, 108})
        EXPECT_EQ(name(unnamed), "") << "index " << unnamed;
}

// A sample of the tuning set, worked out by hand: the angle is (x - 0.5) turns
// rounded to float in degrees, the pan (2x - 1) 100, the radius 100 r(x).
TEST(ParameterTexts, TuningSetSample) {
    const Expected rows[] = {
        {38, 0.19f, "-111.6", "deg"},
        {40, 0.52f, "7.2", "deg"},
        {62, 0.5f, "0.0", "deg"},
        {39, 0.0f, "-100.0", "%"},
        {42, 1.0f, "100.0", "%"},
        {63, 0.476328f, "-4.7", "%"},
        {41, 0.2575f, "-9.7%", "%"},
        {44, 0.245586f, "15.0", "cm"}, // r = 0.15 m
        {96, 0.658926f, "20.0", "cm"},
        {58, 0.5f, "Off", " "},
        {58, 0.51f, "On", " "},
        {80, 1.0f, "On", " "},
        {37, 0.5f, "0.0", "dB"},
        {55, 0.922695f, "-1.7", "dB"}, // Gu = 0.8227
        {45, 0.25f, "0.50", " "},
        {60, 0.348672f, "0.70", "oct"},
        {46, 0.497715f, "0.50", " "},
        {53, 0.0f, "200", "Hz"},
        {54, 1.0f, "20.00", "kHz"},
        {106, 0.69897f, "5.00", "kHz"}, // 200 * 100^0.69897 = 5000 Hz
        {111, 1.0f, "20.00", " "},      // shown without a unit
        {116, 0.30103f, "100", "Hz"},   // 50 * 10^0.30103
        {90, 0.657754f, "207", "cm"},
        {91, 0.5f, "150", "cm"},
        {93, 0.5f, "1.00", " "},
        {99, 0.193426f, "0.60", " "},
        {100, 0.371357f, "0.70", " "},
        {101, 0.241094f, "26.1", "cm"},
        {72, 0.5f, "On", " "},
        {73, 1.0f, "Not implemented", " "},
        {79, 1.0f, "", " "},
        {109, 0.0f, "Off", " "},
        {118, 1.0f, "On", " "},
        {119, 1.0f, "0.0", "dB"},
    };
    expectAll(rows, std::size(rows));
}

TEST(ParameterTexts, IndicesOutsideTheTableGiveEmptyTextsAndASpaceLabel) {
    for (int index : {-1, -1000, 120, 5000}) {
        EXPECT_EQ(name(index), "") << index;
        EXPECT_EQ(display(index, 0.5f), "") << index;
        EXPECT_EQ(label(index, 0.5f), " ") << index;
    }
    // A null buffer is left alone.
    parameterName(0, nullptr);
    parameterLabel(0, 0.5, nullptr);
    parameterDisplay(0, 0.5, nullptr);
}

} // namespace
