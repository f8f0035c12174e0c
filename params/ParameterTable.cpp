#include "params/ParameterTable.h"

#include <array>

namespace zel {

namespace {

using enum Quantity;
using D = Display;
using S = Stepping;

constexpr ParameterRow global(const char* name, Display display, Stepping stepping) {
    return {name, " ", Unit::Text, Value, display, stepping, Scope::Global, Storage::Float};
}

constexpr ParameterRow program(const char* name, const char* label, Quantity quantity,
                               Display display, Stepping stepping = S::Continuous,
                               Storage storage = Storage::Float) {
    return {name, label, Unit::Text, quantity, display, stepping, Scope::Program, storage};
}

constexpr ParameterRow programIn(const char* name, Unit unit, Quantity quantity, Display display) {
    return {name, " ", unit, quantity, display, S::Continuous, Scope::Program, Storage::Float};
}

constexpr ParameterRow tuning(const char* name, const char* label, Quantity quantity,
                              Display display, Storage storage = Storage::Float) {
    return {name, label, Unit::Text, quantity, display, S::Continuous, Scope::Tuning, storage};
}

constexpr ParameterRow tuningIn(const char* name, Unit unit, Quantity quantity, Display display) {
    return {name, " ", unit, quantity, display, S::Continuous, Scope::Tuning, Storage::Float};
}

// A raw tuning value, shown as "%.2f" of x and kept in double precision.
constexpr ParameterRow raw(const char* name) {
    return tuning(name, " ", Value, D::Fixed2, Storage::Double);
}

// An index without a name or display; spare values still keep their setting.
constexpr ParameterRow unnamed(Scope scope, Storage storage) {
    return {"", " ", Unit::Text, Value, D::None, S::Continuous, scope, storage};
}

constexpr ParameterRow spare = unnamed(Scope::Program, Storage::Float);
constexpr ParameterRow unused = unnamed(Scope::Tuning, Storage::None);

constexpr std::array<ParameterRow, kNumParameters> kParameterTable{{
    // The host parameter set.
    global("Bypass", D::OnOff, S::Switch),                                     // 0
    global("CPUmode", D::CpuMode, S::Switch),                                  // 1
    global("Lever", D::Lever, S::Continuous),                                  // 2
    global("Speed", D::None, S::Switch),                                       // 3
    global("Stop", D::Stopped, S::Switch),                                     // 4
    program("Mech", "dB", Gain, D::Decibel),                                   // 5
    program("Bottom", "dB", ToneDecibels, D::Fixed1),                          // 6
    program("LoMid", "dB", ToneDecibels, D::Fixed1),                           // 7
    program("Presence", "dB", ToneDecibels, D::Fixed1),                        // 8
    program("TopShlf", "dB", ToneDecibels, D::Fixed1),                         // 9
    program("Setup", " ", Value, D::Setup, S::Fifths),                         // 10
    program("Input", "dB", InputGain, D::Decibel),                             // 11
    program("Type", " ", Value, D::AmpType, S::Halves),                        // 12
    program("Drive", "dB", DriveGain, D::Decibel),                             // 13
    program("Size", " ", Value, D::Size, S::Quarters),                         // 14
    program("Color", "%", Percent, D::Fixed1, S::Continuous, Storage::Double), // 15
    program("Amount", "dB", RoomAmount, D::Decibel),                           // 16
    program("HSlowSpd", "Hz", Speed, D::Fixed2),                               // 17
    program("HFastSpd", "Hz", Speed, D::Fixed2),                               // 18
    programIn("HAccel", Unit::Time, Time, D::Time),                            // 19
    programIn("HDecel", Unit::Time, Time, D::Time),                            // 20
    programIn("HDistance", Unit::Distance, Distance, D::Distance),             // 21
    programIn("HHPF", Unit::Frequency, HighPass, D::FrequencyOrOff),           // 22
    program("HGain", "dB", Gain, D::Decibel),                                  // 23
    program("DSlowSpd", "Hz", Speed, D::Fixed2),                               // 24
    program("DFastSpd", "Hz", Speed, D::Fixed2),                               // 25
    programIn("DAccel", Unit::Time, Time, D::Time),                            // 26
    programIn("DDecel", Unit::Time, Time, D::Time),                            // 27
    programIn("DDistance", Unit::Distance, Distance, D::Distance),             // 28
    programIn("DLPF", Unit::Frequency, LowPass, D::FrequencyOrOff),            // 29
    program("DGain", "dB", Gain, D::Decibel),                                  // 30
    spare,                                                                     // 31
    spare,                                                                     // 32
    spare,                                                                     // 33
    spare,                                                                     // 34
    global("MIDIchl", D::MidiChannel, S::Continuous),                          // 35
    // The tuning set.
    unused,                                                                        // 36
    tuning("Horn Gain", "dB", Gain, D::Decibel),                                   // 37
    tuning("Horn Mic1 Angle", "deg", Angle, D::Fixed1),                            // 38
    tuning("Horn Mic1 Panorama", "%", Pan, D::Fixed1),                             // 39
    tuning("Horn Mic2 Angle", "deg", Angle, D::Fixed1),                            // 40
    tuning("Horn Mic2 Distance", "%", MicOffsetPercent, D::Percent1),              // 41
    tuning("Horn Mic2 Panorama", "%", Pan, D::Fixed1),                             // 42
    tuning("Horn Mic2 Gain", "dB", Gain, D::Decibel),                              // 43
    tuning("Horn FM Radius", "cm", RadiusCentimetres, D::Fixed1),                  // 44
    tuning("Horn Attenuation", " ", Double, D::Fixed2),                            // 45
    raw("Horn Ray 1 (front)"),                                                     // 46
    raw("Horn Ray 2 (back/sides)"),                                                // 47
    raw("Horn Ray 3 (back-right)"),                                                // 48
    raw("Horn Ray 4 (back-left)"),                                                 // 49
    raw("Horn Ray 5 (LBR)"),                                                       // 50
    raw("Horn Ray 6 (RBL)"),                                                       // 51
    raw("Horn Rays 7-10 (misc)"),                                                  // 52
    tuningIn("Horn LPF cut low", Unit::Frequency, Frequency, D::Frequency),        // 53
    tuningIn("Horn LPF cut high", Unit::Frequency, Frequency, D::Frequency),       // 54
    tuning("Horn Reflection coeff", "dB", UnityGain, D::Decibel),                  // 55
    raw("Horn Z-axis rays"),                                                       // 56
    unused,                                                                        // 57
    tuning("Horn Flip", " ", Value, D::Flip),                                      // 58
    unused,                                                                        // 59
    tuning("Horn Reflection LPF", "oct", Double, D::Fixed2, Storage::Double),      // 60
    tuning("Drum Gain", "dB", Gain, D::Decibel),                                   // 61
    tuning("Drum Mic1 Angle", "deg", Angle, D::Fixed1),                            // 62
    tuning("Drum Mic1 Pan", "%", Pan, D::Fixed1),                                  // 63
    unused,                                                                        // 64
    unused,                                                                        // 65
    unused,                                                                        // 66
    unused,                                                                        // 67
    tuning("Drum FM Radius", "cm", RadiusCentimetres, D::Fixed1),                  // 68
    tuning("Drum Attenuation", " ", Double, D::Fixed2),                            // 69
    tuning("Drum Reflection coeff", "dB", UnityGain, D::Decibel),                  // 70
    unused,                                                                        // 71
    tuning("Horn Open Back Mode", " ", Value, D::OnOff),                           // 72
    tuning("Drum Open Back Mode", " ", Value, D::NotImplemented, Storage::None),   // 73
    tuning("Amp Post-drive Gain", "dB", Gain, D::Decibel),                         // 74
    tuning("BR to Tube Mic Gain", "dB", Gain, D::Decibel),                         // 75
    tuning("BR to Drum Mic Gain", "dB", Gain, D::Decibel),                         // 76
    tuning("Drum->Tube feedback", "dB", Gain, D::Decibel),                         // 77
    tuning("Horn->Drum feedback", "dB", Gain, D::Decibel),                         // 78
    unnamed(Scope::Tuning, Storage::Float),                                        // 79
    tuning("Drum Flip", " ", Value, D::Flip, Storage::Double),                     // 80
    unused,                                                                        // 81
    unused,                                                                        // 82
    unused,                                                                        // 83
    unused,                                                                        // 84
    raw("Drum Ray 1 (front)"),                                                     // 85
    raw("Drum Ray 2 (back/sides)"),                                                // 86
    tuningIn("Drum LPF cut low", Unit::Frequency, Frequency, D::Frequency),        // 87
    tuningIn("Drum LPF cut high", Unit::Frequency, Frequency, D::Frequency),       // 88
    tuning("Drum Reflection LPF", "oct", Double, D::Fixed2, Storage::Double),      // 89
    tuning("Horn Attenuation distance", "cm", HornAttDistanceCm, D::Fixed0),       // 90
    tuning("Drum Attenuation distance", "cm", DrumAttDistanceCm, D::Fixed0),       // 91
    raw("Horn Static Ray"),                                                        // 92
    tuning("Horn Att Decay Exp", " ", DecayExponent, D::Fixed2),                   // 93
    tuning("Drum Att Decay Exp", " ", DecayExponent, D::Fixed2),                   // 94
    raw("Drum Static Ray"),                                                        // 95
    tuning("Horn AM Radius", "cm", RadiusCentimetres, D::Fixed1),                  // 96
    tuning("Drum AM Radius", "cm", RadiusCentimetres, D::Fixed1),                  // 97
    tuning("Horn Filter Saturation", " ", Value, D::Fixed2),                       // 98
    tuning("Early Refl. Room Size", " ", RoomSize, D::Fixed2),                     // 99
    tuning("Early Refl. Virtual Room Size", " ", VirtualRoomSize, D::Fixed2),      // 100
    tuning("Early Refl. LR Delay", "cm", LrDelayCentimetres, D::Fixed1),           // 101
    tuning("Slow Sample Volume", "dB", Gain, D::Decibel),                          // 102
    tuning("Fast Sample Volume", "dB", Gain, D::Decibel),                          // 103
    tuning("Accel Sample Volume", "dB", Gain, D::Decibel),                         // 104
    tuning("Decel Sample Volume", "dB", Gain, D::Decibel),                         // 105
    tuningIn("Early Refl. Main Cutoff", Unit::Frequency, Frequency, D::Frequency), // 106
    tuning("Early Refl. X Cutoff", " ", Value, D::Fixed2),                         // 107
    unused,                                                                        // 108
    tuning("Slow Speed Button", " ", Value, D::OnOff),                             // 109
    tuning("Drum Filter Saturation", " ", Value, D::Fixed2),                       // 110
    // The drum's static filter shows its frequency without a unit label.
    tuning("Drum Static Filter Cutoff", " ", Frequency, D::Frequency),                     // 111
    tuningIn("Horn Static Filter Cutoff", Unit::Frequency, Frequency, D::Frequency),       // 112
    raw("Drum Ray 3 (back-left)"),                                                         // 113
    raw("Drum Ray 4 (back-right)"),                                                        // 114
    tuning("Drum Sample Volume", "dB", Gain, D::Decibel),                                  // 115
    tuningIn("Drum Splitter Frequency", Unit::Frequency, SplitterFrequency, D::Frequency), // 116
    tuning("Drum LP Static Gain", "dB", Gain, D::Decibel),                                 // 117
    tuning("Bypass Speakers (Amp Only)", " ", Value, D::OnOff),                            // 118
    tuning("Horn Amplitude Clip", "dB", UnityGain, D::Decibel),                            // 119
}};

} // namespace

const ParameterRow* parameterRow(int index) {
    if (index < 0 || index >= kNumParameters) return nullptr;
    return &kParameterTable[static_cast<std::size_t>(index)];
}

Storage parameterStorage(int index) {
    const ParameterRow* row = parameterRow(index);
    return row ? row->storage : Storage::None;
}

bool isGlobalParameter(int index) {
    const ParameterRow* row = parameterRow(index);
    return row && row->scope == Scope::Global;
}

} // namespace zel
