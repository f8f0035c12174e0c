// The fixed texts and numbers with which Zel Vortan introduces itself to a host.
#pragma once

#include "plugin/VstAbi.h"

#include <array>
#include <cstdint>

namespace zel {

constexpr int32_t kUniqueId = vst::fourCharCode('Z', 'v', 'V', '1');
constexpr int32_t kEffectVersion = 1;
constexpr int32_t kVendorVersion = 1010;
constexpr int32_t kVstVersion = 2400;

constexpr int32_t kNumHostPrograms = 1;
constexpr int32_t kNumHostParameters = 36;
constexpr int32_t kNumChannels = 2;

constexpr const char* kEffectName = "Zel Vortan";
constexpr const char* kProductString = "Zel Vortan - rotary speaker emulator";
constexpr const char* kVendorString = "tarnwick.com";
constexpr const char* kInputPinFormat = "Zel Vortan %1d In";
constexpr const char* kOutputPinFormat = "Zel Vortan %1d Out";

// Every capability the plug-in claims; any other text is answered with 0.
constexpr std::array<const char*, 6> kCapabilities = {
    "offline", "plugAsChannelInsert", "1in1out", "1in2out", "2in2out", "receiveVstMidiEvent",
};

} // namespace zel
