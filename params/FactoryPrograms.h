// The factory programs: "Default" (program 0) with all 36 host values, programs
// 1 to 16 as their differences from "Default" by parameter name, and programs 17
// to 31, all named "Init", equal to "Default". Every value is the float nearest
// to the decimal written here.
#pragma once

#include "presets/CPresetSystemEffect.h"

#include <array>
#include <span>
#include <string_view>

namespace zel {

struct ProgramChange {
    const char* parameter; // the host parameter's name
    float value;
};

struct FactoryProgram {
    const char* name;
    std::span<const ProgramChange> changes; // values that differ from "Default"
};

using ProgramValues = std::array<float, kNumProgramValues>;

inline constexpr char kDefaultProgramName[] = "Default";
inline constexpr char kInitProgramName[] = "Init";

// "Default": bypass off, "LowCPU", the lever at "Chorale", speed and stop off,
// MIDI on every channel.
inline constexpr ProgramValues kDefaultProgramValues{{
    0.0f,      0.0f,      0.0f,      0.0f, 0.0f, 0.5f, 0.5f,      0.5f,     0.501063f,
    0.5f,      0.25f,     0.500008f, 0.5f, 0.5f, 0.0f, 0.508422f, 0.0f,     0.0673f,
    0.677088f, 0.395142f, 0.447158f, 0.5f, 0.0f, 0.5f, 0.0931f,   0.65282f, 0.759256f,
    0.831378f, 0.0f,      1.0f,      0.5f, 0.5f, 0.5f, 0.5f,      0.5f,     1.0f,
}};

namespace factory {

inline constexpr ProgramChange kL147[] = {
    {"Bottom", 0.4f},     {"LoMid", 0.3f},      {"Presence", 0.5f},   {"TopShlf", 0.4f},
    {"Setup", 0.1f},      {"Input", 0.6f},      {"Type", 1.0f},       {"Drive", 0.4f},
    {"Size", 0.75f},      {"Color", 0.8f},      {"Amount", 0.5f},     {"HSlowSpd", 0.073f},
    {"HFastSpd", 0.722f}, {"HAccel", 0.48f},    {"HDecel", 0.5f},     {"HDistance", 0.2f},
    {"HHPF", 0.7f},       {"DSlowSpd", 0.067f}, {"DFastSpd", 0.688f}, {"DAccel", 0.75f},
    {"DDecel", 0.75f},    {"DDistance", 0.1f},  {"DLPF", 0.35f},      {"DGain", 0.4f}};
inline constexpr ProgramChange kOldRotary[] = {
    {"Mech", 0.52f},       {"Presence", 0.537063f},  {"TopShlf", 0.3f},       {"Setup", 0.405556f},
    {"Input", 0.5f},       {"Drive", 0.6f},          {"Size", 1.0f},          {"Color", 0.7f},
    {"Amount", 0.7f},      {"HSlowSpd", 0.0998f},    {"HFastSpd", 0.636088f}, {"HAccel", 0.478324f},
    {"HDecel", 0.520696f}, {"HDistance", 0.504297f}, {"HHPF", 0.624453f},     {"HGain", 0.46f},
    {"DSlowSpd", 0.0716f}, {"DFastSpd", 0.53132f},   {"DDecel", 0.731198f},   {"DDistance", 0.564f},
    {"DLPF", 0.892f}};
inline constexpr ProgramChange kRelaxed[] = {
    {"Bottom", 0.2f},  {"Presence", 0.5f},  {"TopShlf", 0.2f},    {"Setup", 0.4f},
    {"Input", 0.5f},   {"Drive", 0.35f},    {"Size", 1.0f},       {"Color", 0.2f},
    {"Amount", 0.4f},  {"HSlowSpd", 0.11f}, {"HFastSpd", 0.592f}, {"HAccel", 0.5f},
    {"HDecel", 0.6f},  {"HDistance", 0.7f}, {"DSlowSpd", 0.093f}, {"DFastSpd", 0.573f},
    {"DAccel", 0.67f}, {"DDecel", 0.8f},    {"DDistance", 0.5f},  {"DGain", 0.3f}};
inline constexpr ProgramChange kWobble[] = {
    {"Bottom", 0.4f},    {"Presence", 0.3f}, {"TopShlf", 0.4f},   {"Setup", 0.4f},
    {"Input", 0.5f},     {"Type", 1.0f},     {"Drive", 0.4f},     {"Size", 0.7f},
    {"Color", 0.5f},     {"Amount", 0.3f},   {"HSlowSpd", 0.11f}, {"HFastSpd", 0.59f},
    {"HAccel", 0.5f},    {"HDecel", 0.6f},   {"HDistance", 0.7f}, {"DSlowSpd", 0.2f},
    {"DFastSpd", 0.31f}, {"DAccel", 0.67f},  {"DDecel", 0.8f},    {"DDistance", 0.5f},
    {"DGain", 0.3f}};
inline constexpr ProgramChange kRamble[] = {
    {"Presence", 0.6f}, {"TopShlf", 0.4f},   {"Setup", 0.6f},     {"Input", 0.5f},
    {"Type", 1.0f},     {"Drive", 0.4f},     {"Size", 0.5f},      {"Color", 0.0f},
    {"Amount", 0.7f},   {"HSlowSpd", 0.11f}, {"HFastSpd", 0.31f}, {"HAccel", 0.5f},
    {"HDecel", 0.6f},   {"HDistance", 0.7f}, {"DSlowSpd", 0.2f},  {"DFastSpd", 0.592f},
    {"DAccel", 0.67f},  {"DDecel", 0.8f},    {"DDistance", 0.5f}, {"DGain", 0.3f}};
inline constexpr ProgramChange kSynchro[] = {
    {"Bottom", 0.4f}, {"Presence", 0.5f},  {"TopShlf", 0.4f},   {"Setup", 0.6f},
    {"Input", 0.5f},  {"Type", 0.0f},      {"Size", 0.7f},      {"Color", 0.5f},
    {"Amount", 0.3f}, {"HSlowSpd", 0.1f},  {"HFastSpd", 0.6f},  {"HAccel", 0.5f},
    {"HDecel", 0.5f}, {"HDistance", 0.7f}, {"DSlowSpd", 0.1f},  {"DFastSpd", 0.6f},
    {"DAccel", 0.5f}, {"DDecel", 0.5f},    {"DDistance", 0.5f}, {"DGain", 0.3f}};
inline constexpr ProgramChange kSwift[] = {
    {"Bottom", 0.4f}, {"Presence", 0.5f},  {"TopShlf", 0.4f},    {"Setup", 0.6f},
    {"Input", 0.5f},  {"Type", 0.0f},      {"Size", 0.7f},       {"Color", 0.5f},
    {"Amount", 0.3f}, {"HSlowSpd", 0.08f}, {"HFastSpd", 0.685f}, {"HAccel", 0.0f},
    {"HDecel", 0.0f}, {"HDistance", 0.7f}, {"DSlowSpd", 0.1f},   {"DFastSpd", 0.6f},
    {"DAccel", 0.0f}, {"DDecel", 0.0f},    {"DDistance", 0.5f},  {"DGain", 0.3f}};
inline constexpr ProgramChange kFullMoon[] = {
    {"LoMid", 0.54f},      {"Presence", 0.560891f}, {"TopShlf", 0.624f},      {"Setup", 0.627778f},
    {"Input", 0.5f},       {"Type", 0.664f},        {"Drive", 0.6f},          {"Size", 0.392f},
    {"Color", 1.0f},       {"Amount", 0.5f},        {"HSlowSpd", 0.085f},     {"HFastSpd", 0.67f},
    {"HAccel", 0.556971f}, {"HDecel", 0.451816f},   {"HDistance", 0.279828f}, {"HHPF", 0.572f},
    {"DSlowSpd", 0.6391f}, {"DFastSpd", 0.10132f},  {"DAccel", 0.615224f},    {"DDecel", 0.53959f},
    {"DDistance", 0.092f}, {"DLPF", 0.7368f}};
inline constexpr ProgramChange kLight[] = {
    {"Bottom", 0.353022f},   {"LoMid", 0.415703f},    {"Presence", 0.624501f},
    {"Setup", 0.366667f},    {"Input", 0.5f},         {"Size", 0.292f},
    {"Amount", 0.292f},      {"HFastSpd", 0.674088f}, {"HAccel", 0.475668f},
    {"HDecel", 0.475668f},   {"HHPF", 0.5f},          {"DSlowSpd", 0.0925f},
    {"DFastSpd", 0.577715f}, {"DAccel", 0.671211f},   {"DDecel", 0.671211f},
    {"DDistance", 0.5f},     {"DLPF", 0.3504f}};
inline constexpr ProgramChange kLazyHorn[] = {
    {"Presence", 0.537063f}, {"Setup", 0.133334f},     {"Input", 0.5f},
    {"Size", 0.5f},          {"Color", 0.508034f},     {"Amount", 0.38f},
    {"HSlowSpd", 0.0305f},   {"HFastSpd", 0.519465f},  {"HAccel", 0.615224f},
    {"HDecel", 0.615224f},   {"DSlowSpd", 0.0655316f}, {"DFastSpd", 0.66132f},
    {"DAccel", 0.573063f},   {"DDecel", 0.671211f},    {"DDistance", 0.232f}};
inline constexpr ProgramChange kBrokenHornMotor[] = {
    {"Drive", 0.45f},        {"Size", 0.452f},      {"Amount", 0.38f},     {"HSlowSpd", 0.0f},
    {"HFastSpd", 0.0f},      {"HAccel", 0.475668f}, {"HDecel", 0.475668f}, {"DSlowSpd", 0.0316f},
    {"DFastSpd", 0.661299f}, {"DAccel", 0.671211f}, {"DDecel", 0.671211f}, {"DDistance", 0.232f}};
inline constexpr ProgramChange kMellowDrum[] = {
    {"Input", 0.337608f},    {"Drive", 0.45f},       {"Size", 0.464f},      {"Amount", 0.38f},
    {"HFastSpd", 0.633588f}, {"HAccel", 0.475668f},  {"HDecel", 0.475668f}, {"HDistance", 0.888f},
    {"DSlowSpd", 0.0321f},   {"DFastSpd", 0.30782f}, {"DAccel", 0.671211f}, {"DDecel", 0.671211f},
    {"DDistance", 0.5f},     {"DLPF", 0.3536f},      {"DGain", 0.732223f}};
inline constexpr ProgramChange kStaticDrum[] = {
    {"Input", 0.337608f},  {"Size", 0.464f},      {"Amount", 0.38f},     {"HFastSpd", 0.681088f},
    {"HAccel", 0.475668f}, {"HDecel", 0.475668f}, {"HDistance", 0.888f}, {"DSlowSpd", 0.0f},
    {"DFastSpd", 0.0f},    {"DAccel", 0.671211f}, {"DDecel", 0.671211f}, {"DDistance", 0.5f},
    {"DLPF", 0.3536f},     {"DGain", 0.732223f}};
inline constexpr ProgramChange kHornMics[] = {
    {"Bottom", 0.0f},        {"LoMid", 0.4f},       {"Presence", 0.6f},      {"Setup", 0.366667f},
    {"Input", 0.4f},         {"Drive", 0.57f},      {"Size", 0.292f},        {"Amount", 0.292f},
    {"HFastSpd", 0.674088f}, {"HAccel", 0.475668f}, {"HDecel", 0.475668f},   {"HDistance", 1.0f},
    {"HHPF", 0.3f},          {"DSlowSpd", 0.0925f}, {"DFastSpd", 0.578215f}, {"DAccel", 0.671211f},
    {"DDecel", 0.671211f},   {"DDistance", 0.5f},   {"DLPF", 0.3504f},       {"DGain", 0.0f}};
inline constexpr ProgramChange kSingleMic[] = {
    {"LoMid", 0.624f},     {"Setup", 1.0f},       {"Input", 0.337608f},  {"Size", 0.464f},
    {"Amount", 0.2152f},   {"HFastSpd", 0.654f},  {"HAccel", 0.475668f}, {"HDecel", 0.475668f},
    {"HDistance", 0.888f}, {"HHPF", 0.228f},      {"DSlowSpd", 0.093f},  {"DFastSpd", 0.5785f},
    {"DAccel", 0.671211f}, {"DDecel", 0.671211f}, {"DDistance", 0.5f},   {"DLPF", 0.3496f},
    {"DGain", 0.0f}};

} // namespace factory

// Programs 1 to 16.
inline constexpr std::array<FactoryProgram, 16> kFactoryPrograms{{
    {"L'122", {}},
    {"L'147", factory::kL147},
    {"Old Rotary", factory::kOldRotary},
    {"Relaxed", factory::kRelaxed},
    {"Wobble", factory::kWobble},
    {"Ramble", factory::kRamble},
    {"Synchro", factory::kSynchro},
    {"Swift", factory::kSwift},
    {"Full Moon", factory::kFullMoon},
    {"Light", factory::kLight},
    {"Lazy Horn", factory::kLazyHorn},
    {"Broken Horn Motor", factory::kBrokenHornMotor},
    {"Mellow Drum", factory::kMellowDrum},
    {"Static Drum", factory::kStaticDrum},
    {"Horn Mics", factory::kHornMics},
    {"Single Mic", factory::kSingleMic},
}};

// The index 0..35 of the host parameter with this name, or -1.
int hostParameterIndex(std::string_view name);

// The name and the 36 values of factory program 0..31 (program 0 for any other
// number). A change whose name is no host parameter is left out.
const char* factoryProgramName(int program);
ProgramValues factoryProgramValues(int program);

} // namespace zel
