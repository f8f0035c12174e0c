// The 120 parameter indices as data: 0 to 35 are the host parameter set, 36 to
// 119 the engine tuning set. Each row says how the index is named, labelled and
// shown, how the host steps it, where its value lives and how it is kept.
#pragma once

#include <cstdint>

namespace zel {

constexpr int32_t kNumParameters = 120; // host set 0..35, tuning set 36..119

// Global parameters are copied into every stored program; tuning values never
// travel in programs.
enum class Scope : uint8_t { Program, Global, Tuning };

// How the normalized value is kept; None for indices without a setting.
enum class Storage : uint8_t { None, Float, Double };

// The host's stepping of the value (switch, fixed steps, or continuous).
enum class Stepping : uint8_t { Continuous, Switch, Fifths, Halves, Quarters };

// The unit label: the row's fixed text, or a unit that follows the shown value.
enum class Unit : uint8_t { Text, Time, Distance, Frequency };

// The number a display shows, computed from the normalized value x.
enum class Quantity : uint8_t {
    Value,              // x
    Gain,               // G(x)
    UnityGain,          // Gu(x)
    InputGain,          // G(x), the input trim and the stereo sum
    RoomAmount,         // G(x), the room return scale and its make-up
    DriveGain,          // 10^((40x - 20) / 20)
    ToneDecibels,       // 24x - 12
    Percent,            // 100x
    Speed,              // 10x revolutions per second
    Time,               // t(x)
    Distance,           // d(x)
    HighPass,           // h(x)
    LowPass,            // l(x)
    Frequency,          // f(x)
    SplitterFrequency,  // 50 10^x
    Angle,              // degrees of (x - 0.5) turns, the turn rounded to float
    Pan,                // (2x - 1) 100
    MicOffsetPercent,   // (0.4x - 0.2) 100
    RadiusCentimetres,  // 100 r(x)
    Double,             // 2x
    HornAttDistanceCm,  // 100 (0.1 100^x)
    DrumAttDistanceCm,  // 100 (3x)
    DecayExponent,      // 0.5 4^x
    RoomSize,           // 0.4 + 0.1 36^x
    VirtualRoomSize,    // 0.25 16^x
    LrDelayCentimetres, // 100 (0.15 10^x)
};

// How the quantity becomes text.
enum class Display : uint8_t {
    None,           // empty
    Decibel,        // decibel text
    Fixed0,         // "%.0f"
    Fixed1,         // "%.1f"
    Fixed2,         // "%.2f"
    Percent1,       // "%.1f%%"
    Time,           // time text
    Distance,       // distance text
    Frequency,      // frequency text
    FrequencyOrOff, // frequency-or-off text
    OnOff,          // "On" if rnd(x) is 1, else "Off"
    CpuMode,        // "Brilliant" if rnd(x) is 1, else "LowCPU"
    Stopped,        // "Stopped" if rnd(x) is 1, else "Running"
    Flip,           // "Off" up to 0.5, "On" above
    Lever,          // lever text
    Setup,          // setup text
    AmpType,        // amp type text
    Size,           // "%d" of rnd(4x) + 1
    MidiChannel,    // MIDI channel text of rnd(17x)
    NotImplemented, // "Not implemented"
};

struct ParameterRow {
    const char* name;  // "" where the index has none
    const char* label; // the label for Unit::Text
    Unit unit;
    Quantity quantity;
    Display display;
    Stepping stepping;
    Scope scope;
    Storage storage;
};

// The row of an index, or null outside 0..119.
const ParameterRow* parameterRow(int index);

// How an index keeps its value; None outside 0..119.
Storage parameterStorage(int index);

bool isGlobalParameter(int index);

} // namespace zel
