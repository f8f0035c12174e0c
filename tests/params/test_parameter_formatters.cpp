#include "params/ParameterFormatters.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

using namespace zel;

using Formatter = void (*)(float, char*);

std::string text(Formatter f, float x) {
    char buffer[64];
    std::memset(buffer, '#', sizeof buffer);
    f(x, buffer);
    return buffer;
}

std::string readout(int index, float x, int which = 0) {
    static const double context = 1.0;
    char buffer[64];
    std::memset(buffer, '#', sizeof buffer);
    ReadoutFormatter f = readoutFormatter(index, which);
    if (!f) return "<none>";
    f(x, buffer, &context);
    return buffer;
}

TEST(ParameterFormatters, BuildingBlocks) {
    char t[64];
    decibelText(1.0, t);
    EXPECT_STREQ(t, "0.0");
    decibelText(0.5, t); // 20 log10(0.5) = -6.02
    EXPECT_STREQ(t, "-6.0");
    decibelText(0.0, t);
    EXPECT_STREQ(t, "-oo");
    decibelText(-1.0, t);
    EXPECT_STREQ(t, "-oo");
    frequencyText(999.4, t);
    EXPECT_STREQ(t, "999");
    frequencyText(1000.0, t);
    EXPECT_STREQ(t, "1.00");
    frequencyOrOffText(0.0, t);
    EXPECT_STREQ(t, "Off");
    EXPECT_STREQ(frequencyLabel(0.0), " ");
    EXPECT_STREQ(frequencyLabel(999.9), "Hz");
    EXPECT_STREQ(frequencyLabel(1000.0), "kHz");
    timeText(0.9994, t);
    EXPECT_STREQ(t, "999");
    EXPECT_STREQ(timeLabel(0.9994), "ms");
    timeText(1.0, t);
    EXPECT_STREQ(t, "1.0");
    EXPECT_STREQ(timeLabel(1.0), "s");
    distanceText(0.3, t);
    EXPECT_STREQ(t, "0");
    distanceText(1.0, t);
    EXPECT_STREQ(t, "65");
    distanceText(1.35, t);
    EXPECT_STREQ(t, "1.00");
    EXPECT_STREQ(distanceLabel(1.35), "m");
    EXPECT_STREQ(distanceLabel(1.34), "cm");
    panText(0.25f, t);
    EXPECT_STREQ(t, "-50.0");
}

TEST(ParameterFormatters, MidiChannelText) {
    char t[64];
    const char* expected[] = {"OFF",   "Ch 1",  "Ch 2",  "Ch 3",  "Ch 4",  "Ch 5",
                              "Ch 6",  "Ch 7",  "Ch 8",  "Ch 9",  "Ch 10", "Ch 11",
                              "Ch 12", "Ch 13", "Ch 14", "Ch 15", "Ch 16", "OMNI"};
    for (int channel = 0; channel <= 17; ++channel) {
        midiChannelText(channel, t);
        EXPECT_STREQ(t, expected[channel]);
    }
    midiChannelText(18, t);
    EXPECT_STREQ(t, "");
    midiChannelText(-1, t);
    EXPECT_STREQ(t, "");
}

TEST(ParameterFormatters, SetupWordsJoinIntoTheHostText) {
    const char* first[] = {"Amp", "Front", "Front", "Front", "Opposite", "Mono"};
    const char* second[] = {"Only", "Side", "Diagonal", "Rear", "Diagonal", ""};
    const char* joined[] = {"AmpOnly",   "FrontSide",        "FrontDiagonal",
                            "FrontRear", "OppositeDiagonal", "Mono"};
    for (int p = 0; p <= 5; ++p) {
        const float x = 0.2f * static_cast<float>(p);
        EXPECT_STREQ(setupFirstWord(p), first[p]);
        EXPECT_STREQ(setupSecondWord(p), second[p]);
        EXPECT_EQ(text(setupText, x), joined[p]);
        EXPECT_EQ(text(setupFirstWordText, x), first[p]);
        EXPECT_EQ(text(setupSecondWordText, x), second[p]);
    }
    EXPECT_STREQ(setupFirstWord(6), "");
    EXPECT_STREQ(setupSecondWord(-1), "");
}

// The editor's texts with their units, worked out by hand: t(0.375887) = 0.565 s,
// h(0.5) = 200.04 Hz, l(0.99) = 19099.85 Hz, d(0.5) - 0.35 = 0.65 m.
TEST(ParameterFormatters, EditorTextsCarryTheirUnits) {
    EXPECT_EQ(text(sizeText, 0.75f), "4");
    EXPECT_EQ(text(toneGainText, 0.25f), "-6.0 dB");
    EXPECT_EQ(text(driveText, 0.75f), "10.0 dB");
    EXPECT_EQ(text(percentText, 0.508422f), "50.8 %");
    EXPECT_EQ(text(timeTextWithUnit, 0.375887f), "565 ms");
    EXPECT_EQ(text(timeTextWithUnit, 1.0f), "10.0 s");
    EXPECT_EQ(text(highPassTextWithUnit, 0.0f), "Off  ");
    EXPECT_EQ(text(highPassTextWithUnit, 0.5f), "200 Hz");
    EXPECT_EQ(text(highPassTextWithUnit, 1.0f), "1.00 kHz");
    EXPECT_EQ(text(lowPassTextWithUnit, 1.0f), "Off  ");
    EXPECT_EQ(text(lowPassTextWithUnit, 0.99f), "19.10 kHz");
    EXPECT_EQ(text(distanceTextWithUnit, 0.5f), "65 cm");
    EXPECT_EQ(text(distanceTextWithUnit, 1.0f), "1.30 m");
    EXPECT_EQ(text(gainTextWithUnit, 0.0f), "-oo dB");
    EXPECT_EQ(text(gainTextWithUnit, 1.0f), "12.0 dB");
    EXPECT_EQ(text(speedTextWithUnit, 0.677088f), "6.77 Hz");
    EXPECT_EQ(text(ampTypeText, 1.0f), "Solid");
    EXPECT_EQ(text(leverText, 0.5f), "50");
}

TEST(ParameterFormatters, NullBufferIsLeftAlone) {
    // Each of these would write through the pointer if it did not check it.
    for (Formatter f :
         {setupFirstWordText, setupSecondWordText, sizeText, toneGainText, driveText, percentText,
          timeTextWithUnit, highPassTextWithUnit, lowPassTextWithUnit, distanceTextWithUnit,
          gainTextWithUnit, speedTextWithUnit, ampTypeText, leverText, panText, setupText})
        f(0.5f, nullptr);
    decibelText(1.0, nullptr);
    midiChannelText(3, nullptr);
    for (int index = 5; index <= 30; ++index) readoutFormatter(index)(0.5f, nullptr, &index);
}

TEST(ParameterFormatters, ReadoutsWriteNothingWithoutUserData) {
    for (int index = 5; index <= 30; ++index) {
        char buffer[8] = "keep";
        readoutFormatter(index)(0.5f, buffer, nullptr);
        EXPECT_STREQ(buffer, "keep") << "index " << index;
    }
    char buffer[8] = "keep";
    readoutFormatter(10, 1)(0.5f, buffer, nullptr);
    EXPECT_STREQ(buffer, "keep");
}

TEST(ParameterFormatters, EachKnobHasItsReadout) {
    EXPECT_EQ(readout(5, 0.5f), "0.0 dB");
    EXPECT_EQ(readout(6, 1.0f), "12.0 dB");
    EXPECT_EQ(readout(9, 0.0f), "-12.0 dB");
    EXPECT_EQ(readout(10, 0.8f, 0), "Opposite");
    EXPECT_EQ(readout(10, 0.8f, 1), "Diagonal");
    EXPECT_EQ(readout(10, 1.0f, 1), "");
    EXPECT_EQ(readout(11, 1.0f), "12.0 dB");
    EXPECT_EQ(readout(12, 0.5f), "Tube");
    EXPECT_EQ(readout(13, 0.0f), "-20.0 dB");
    EXPECT_EQ(readout(14, 0.0f), "1");
    EXPECT_EQ(readout(15, 1.0f), "100.0 %");
    EXPECT_EQ(readout(16, 0.0f), "-oo dB");
    EXPECT_EQ(readout(17, 0.0673f), "0.67 Hz");
    EXPECT_EQ(readout(18, 1.0f), "10.00 Hz");
    EXPECT_EQ(readout(19, 0.5f), "1.0 s");
    EXPECT_EQ(readout(20, 0.0f), "100 ms");
    EXPECT_EQ(readout(21, 0.5f), "65 cm");
    EXPECT_EQ(readout(22, 0.0f), "Off  ");
    EXPECT_EQ(readout(23, 0.5f), "0.0 dB");
    EXPECT_EQ(readout(24, 0.0931f), "0.93 Hz");
    EXPECT_EQ(readout(25, 0.5f), "5.00 Hz");
    EXPECT_EQ(readout(26, 1.0f), "10.0 s");
    EXPECT_EQ(readout(27, 0.375887f), "565 ms");
    EXPECT_EQ(readout(28, 1.0f), "1.30 m");
    EXPECT_EQ(readout(29, 0.5f), "2.00 kHz");
    EXPECT_EQ(readout(30, 1.0f), "12.0 dB");
    for (int none : {-1, 0, 2, 4, 31, 35, 36, 119, 120}) EXPECT_EQ(readout(none, 0.5f), "<none>");
    EXPECT_EQ(readout(5, 0.5f, 1), "<none>");
}

TEST(ParameterFormatters, UnitTextsStayWithinTheTextSize) {
    // A gain far outside the range: the number fills the text and the unit is cut.
    char buffer[64];
    std::memset(buffer, '#', sizeof buffer);
    speedTextWithUnit(1e30f, buffer);
    EXPECT_EQ(std::strlen(buffer), kParameterTextSize - 1);
    std::memset(buffer, '#', sizeof buffer);
    distanceTextWithUnit(1e30f, buffer);
    EXPECT_EQ(std::strlen(buffer), kParameterTextSize - 1);
}

} // namespace
