#include "params/ParameterTexts.h"

#include "params/ParameterFormatters.h"
#include "params/ParameterLaws.h"

#include <cmath>
#include <cstdio>

namespace zel {

namespace {

// Scale factors of the host texts that show a gain relative to the engine's own
// reference: the input trim (-3 dB) with the sum of two channels, and the room
// return level with its make-up.
constexpr double kInputTrim = 0.70794578438;
constexpr double kInputSum = 1.4142;
constexpr double kRoomReturnScale = 0.0316227766;
constexpr double kRoomReturnMakeUp = 31.62277660168379;
constexpr double kFlipThreshold = 0.5;

void write(char* text, const char* pattern, double value) {
    std::snprintf(text, kParameterTextSize, pattern, value);
}

void copy(char* text, const char* words) {
    std::snprintf(text, kParameterTextSize, "%s", words);
}

const char* switchText(double x, const char* on, const char* off) {
    return law::rnd(x) == 1 ? on : off;
}

} // namespace

double parameterQuantity(Quantity quantity, double x) {
    const float xf = static_cast<float>(x);
    switch (quantity) {
    case Quantity::Value:
        return x;
    case Quantity::Gain:
        return law::gainTaper(x);
    case Quantity::UnityGain:
        return law::unityGainTaper(x);
    case Quantity::InputGain:
        return law::gainTaper(x) * kInputTrim * kInputSum;
    case Quantity::RoomAmount:
        return law::gainTaper(x) * kRoomReturnScale * kRoomReturnMakeUp;
    case Quantity::DriveGain:
        return std::pow(10.0, (40.0 * x - 20.0) / 20.0);
    case Quantity::ToneDecibels:
        return 24.0 * x - 12.0;
    case Quantity::Percent:
        return 100.0 * x;
    case Quantity::Speed:
        return 10.0 * x;
    case Quantity::Time:
        return law::timeLaw(x);
    case Quantity::Distance:
        return law::distanceLaw(xf);
    case Quantity::HighPass:
        return law::highPassLaw(xf);
    case Quantity::LowPass:
        return law::lowPassLaw(xf);
    case Quantity::Frequency:
        return law::frequencyLaw(x);
    case Quantity::SplitterFrequency:
        return 50.0 * std::pow(10.0, x);
    case Quantity::Angle:
        return static_cast<float>(x - 0.5) * 360.0;
    case Quantity::Pan:
        return (2.0 * x - 1.0) * 100.0;
    case Quantity::MicOffsetPercent:
        return (0.4 * x - 0.2) * 100.0;
    case Quantity::RadiusCentimetres:
        return 100.0 * law::radiusLaw(x);
    case Quantity::Double:
        return 2.0 * x;
    case Quantity::HornAttDistanceCm:
        return 100.0 * 0.1 * std::pow(100.0, x);
    case Quantity::DrumAttDistanceCm:
        return 100.0 * 3.0 * x;
    case Quantity::DecayExponent:
        return 0.5 * std::pow(4.0, x);
    case Quantity::RoomSize:
        return 0.4 + 0.1 * std::pow(36.0, x);
    case Quantity::VirtualRoomSize:
        return 0.25 * std::pow(16.0, x);
    case Quantity::LrDelayCentimetres:
        return 100.0 * 0.15 * std::pow(10.0, x);
    }
    return x;
}

void parameterName(int index, char* text) {
    if (!text) return;
    const ParameterRow* row = parameterRow(index);
    copy(text, row ? row->name : "");
}

void parameterLabel(int index, double x, char* text) {
    if (!text) return;
    const ParameterRow* row = parameterRow(index);
    if (!row) {
        copy(text, " ");
        return;
    }
    const double shown = parameterQuantity(row->quantity, x);
    switch (row->unit) {
    case Unit::Text:
        copy(text, row->label);
        break;
    case Unit::Time:
        copy(text, timeLabel(shown));
        break;
    case Unit::Distance:
        copy(text, distanceLabel(shown));
        break;
    case Unit::Frequency:
        copy(text, frequencyLabel(shown));
        break;
    }
}

void parameterDisplay(int index, double x, char* text) {
    if (!text) return;
    const ParameterRow* row = parameterRow(index);
    if (!row) {
        copy(text, "");
        return;
    }
    const float xf = static_cast<float>(x);
    const double shown = parameterQuantity(row->quantity, x);
    switch (row->display) {
    case Display::None:
        copy(text, "");
        break;
    case Display::Decibel:
        decibelText(shown, text);
        break;
    case Display::Fixed0:
        write(text, "%.0f", shown);
        break;
    case Display::Fixed1:
        write(text, "%.1f", shown);
        break;
    case Display::Fixed2:
        write(text, "%.2f", shown);
        break;
    case Display::Percent1:
        write(text, "%.1f%%", shown);
        break;
    case Display::Time:
        timeText(shown, text);
        break;
    case Display::Distance:
        distanceText(shown, text);
        break;
    case Display::Frequency:
        frequencyText(shown, text);
        break;
    case Display::FrequencyOrOff:
        frequencyOrOffText(shown, text);
        break;
    case Display::OnOff:
        copy(text, switchText(x, "On", "Off"));
        break;
    case Display::CpuMode:
        copy(text, switchText(x, "Brilliant", "LowCPU"));
        break;
    case Display::Stopped:
        copy(text, switchText(x, "Stopped", "Running"));
        break;
    case Display::Flip:
        copy(text, x <= kFlipThreshold ? "Off" : "On");
        break;
    case Display::Lever:
        leverText(xf, text);
        break;
    case Display::Setup:
        setupText(xf, text);
        break;
    case Display::AmpType:
        ampTypeText(xf, text);
        break;
    case Display::Size:
        sizeText(xf, text);
        break;
    case Display::MidiChannel:
        midiChannelText(law::rnd(17.0 * x), text);
        break;
    case Display::NotImplemented:
        copy(text, "Not implemented");
        break;
    }
}

} // namespace zel
