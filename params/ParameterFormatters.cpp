#include "params/ParameterFormatters.h"

#include "params/ParameterLaws.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace zel {

namespace {

constexpr double kKiloHertz = 1000.0;
constexpr double kLeverChoraleEnd = 0.005;
constexpr double kLeverTremoloStart = 0.995;
constexpr double kDistanceOffsetMetres = 0.35;

constexpr std::array<const char*, 3> kAmpTypeNames{"Thru", "Tube", "Solid"};
constexpr std::array<const char*, 6> kSetupFirstWords{"Amp",   "Front",    "Front",
                                                      "Front", "Opposite", "Mono"};
constexpr std::array<const char*, 6> kSetupSecondWords{"Only", "Side",     "Diagonal",
                                                       "Rear", "Diagonal", ""};
constexpr int kMidiChannelOff = 0;
constexpr int kMidiChannelOmni = 17;

template <typename... Args> void format(char* text, const char* pattern, Args... args) {
    if (text) std::snprintf(text, kParameterTextSize, pattern, args...);
}

void copy(char* text, const char* words) {
    format(text, "%s", words);
}

// Appends words to a text already written, within kParameterTextSize.
void append(char* text, const char* words) {
    if (!text) return;
    std::size_t n = ::strnlen(text, kParameterTextSize - 1);
    while (*words && n + 1 < kParameterTextSize) text[n++] = *words++;
    text[n] = '\0';
}

// The editor shows a number, a space and its unit.
void appendUnit(char* text, const char* unit) {
    append(text, " ");
    append(text, unit);
}

template <std::size_t N> const char* word(const std::array<const char*, N>& words, int i) {
    return i >= 0 && static_cast<std::size_t>(i) < N ? words[static_cast<std::size_t>(i)] : "";
}

int setupPosition(float x) {
    return law::rnd(5.0 * x);
}

void frequencyTextWithUnit(double hz, char* text) {
    frequencyOrOffText(hz, text);
    appendUnit(text, frequencyLabel(hz));
}

} // namespace

void decibelText(double gain, char* text) {
    if (gain > 0.0)
        format(text, "%.1f", 20.0 * std::log10(gain));
    else
        copy(text, "-oo");
}

void frequencyText(double hz, char* text) {
    if (hz >= kKiloHertz)
        format(text, "%.2f", hz / kKiloHertz);
    else
        format(text, "%.0f", hz);
}

void frequencyOrOffText(double hz, char* text) {
    if (hz == 0.0)
        copy(text, "Off");
    else
        frequencyText(hz, text);
}

const char* frequencyLabel(double hz) {
    if (hz == 0.0) return " ";
    return hz >= kKiloHertz ? "kHz" : "Hz";
}

void timeText(double seconds, char* text) {
    if (seconds >= 1.0)
        format(text, "%.1f", seconds);
    else
        format(text, "%.0f", seconds * 1000.0);
}

const char* timeLabel(double seconds) {
    return seconds >= 1.0 ? "s" : "ms";
}

double shownDistance(double metres) {
    return metres - kDistanceOffsetMetres;
}

void distanceText(double metres, char* text) {
    const double shown = shownDistance(metres);
    if (shown < 0.0)
        copy(text, "0");
    else if (shown >= 1.0)
        format(text, "%.2f", shown);
    else
        format(text, "%.0f", 100.0 * shown);
}

const char* distanceLabel(double metres) {
    return shownDistance(metres) >= 1.0 ? "m" : "cm";
}

void leverText(float x, char* text) {
    if (x <= kLeverChoraleEnd)
        copy(text, "Chorale");
    else if (x >= kLeverTremoloStart)
        copy(text, "Tremolo");
    else
        format(text, "%d", law::rnd(100.0 * x));
}

void ampTypeText(float x, char* text) {
    copy(text, word(kAmpTypeNames, law::rnd(2.0 * x)));
}

void panText(float x, char* text) {
    format(text, "%.1f", (2.0 * x - 1.0) * 100.0);
}

void midiChannelText(int channel, char* text) {
    if (channel == kMidiChannelOff)
        copy(text, "OFF");
    else if (channel == kMidiChannelOmni)
        copy(text, "OMNI");
    else if (channel > kMidiChannelOff && channel < kMidiChannelOmni)
        format(text, "Ch %d", channel);
    else
        copy(text, "");
}

const char* setupFirstWord(int position) {
    return word(kSetupFirstWords, position);
}

const char* setupSecondWord(int position) {
    return word(kSetupSecondWords, position);
}

void setupText(float x, char* text) {
    const int position = setupPosition(x);
    copy(text, setupFirstWord(position));
    append(text, setupSecondWord(position));
}

void setupFirstWordText(float x, char* text) {
    copy(text, setupFirstWord(setupPosition(x)));
}

void setupSecondWordText(float x, char* text) {
    copy(text, setupSecondWord(setupPosition(x)));
}

void sizeText(float x, char* text) {
    format(text, "%lld", static_cast<long long>(law::rnd(4.0 * x)) + 1);
}

void toneGainText(float x, char* text) {
    format(text, "%.1f dB", 24.0 * x - 12.0);
}

void driveText(float x, char* text) {
    format(text, "%.1f dB", 40.0 * x - 20.0);
}

void percentText(float x, char* text) {
    format(text, "%.1f %%", 100.0 * x);
}

void timeTextWithUnit(float x, char* text) {
    const double seconds = law::timeLaw(x);
    timeText(seconds, text);
    appendUnit(text, timeLabel(seconds));
}

void highPassTextWithUnit(float x, char* text) {
    frequencyTextWithUnit(law::highPassLaw(x), text);
}

void lowPassTextWithUnit(float x, char* text) {
    frequencyTextWithUnit(law::lowPassLaw(x), text);
}

void distanceTextWithUnit(float x, char* text) {
    const double metres = law::distanceLaw(x);
    distanceText(metres, text);
    appendUnit(text, distanceLabel(metres));
}

void gainTextWithUnit(float x, char* text) {
    decibelText(law::gainTaper(x), text);
    append(text, " dB");
}

void speedTextWithUnit(float x, char* text) {
    format(text, "%.2f Hz", 10.0 * x);
}

namespace {

template <void (*Formatter)(float, char*)>
void withUserData(float x, char* text, const void* userData) {
    if (userData) Formatter(x, text);
}

// The readout under each knob, by host parameter index from kFirstKnob on.
constexpr int kFirstKnob = 5;
constexpr int kSetupIndex = 10;
constexpr std::array<ReadoutFormatter, 26> kKnobReadouts{
    withUserData<gainTextWithUnit>,     // 5 "Mech"
    withUserData<toneGainText>,         // 6 "Bottom"
    withUserData<toneGainText>,         // 7 "LoMid"
    withUserData<toneGainText>,         // 8 "Presence"
    withUserData<toneGainText>,         // 9 "TopShlf"
    withUserData<setupFirstWordText>,   // 10 "Setup", upper readout
    withUserData<gainTextWithUnit>,     // 11 "Input"
    withUserData<ampTypeText>,          // 12 "Type"
    withUserData<driveText>,            // 13 "Drive"
    withUserData<sizeText>,             // 14 "Size"
    withUserData<percentText>,          // 15 "Color"
    withUserData<gainTextWithUnit>,     // 16 "Amount"
    withUserData<speedTextWithUnit>,    // 17 "HSlowSpd"
    withUserData<speedTextWithUnit>,    // 18 "HFastSpd"
    withUserData<timeTextWithUnit>,     // 19 "HAccel"
    withUserData<timeTextWithUnit>,     // 20 "HDecel"
    withUserData<distanceTextWithUnit>, // 21 "HDistance"
    withUserData<highPassTextWithUnit>, // 22 "HHPF"
    withUserData<gainTextWithUnit>,     // 23 "HGain"
    withUserData<speedTextWithUnit>,    // 24 "DSlowSpd"
    withUserData<speedTextWithUnit>,    // 25 "DFastSpd"
    withUserData<timeTextWithUnit>,     // 26 "DAccel"
    withUserData<timeTextWithUnit>,     // 27 "DDecel"
    withUserData<distanceTextWithUnit>, // 28 "DDistance"
    withUserData<lowPassTextWithUnit>,  // 29 "DLPF"
    withUserData<gainTextWithUnit>,     // 30 "DGain"
};

} // namespace

ReadoutFormatter readoutFormatter(int index, int readout) {
    if (index == kSetupIndex && readout == 1) return withUserData<setupSecondWordText>;
    const int knob = index - kFirstKnob;
    if (readout != 0 || knob < 0 || knob >= static_cast<int>(kKnobReadouts.size())) return nullptr;
    return kKnobReadouts[static_cast<std::size_t>(knob)];
}

} // namespace zel
