// The numbers under which the editor finds its bitmaps. A bitmap's PNG file in
// this folder is named <id>-<what it shows>.png.
#pragma once

#include <cstdint>

namespace zel::resources {

// Main editor.
inline constexpr int32_t kFaceBitmap = 4000;           // background, also behind readouts
inline constexpr int32_t kKnobBitmap = 2002;           // 101 pointer positions
inline constexpr int32_t kStopButtonBitmap = 2003;     // off, on
inline constexpr int32_t kSpeedButtonBitmap = 2004;    // released, pressed
inline constexpr int32_t kSpeedLeverBitmap = 2005;     // 65 positions, top first
inline constexpr int32_t kHornGrooveBitmap = 2008;     // horn rotor strip
inline constexpr int32_t kHornHighlightBitmap = 2009;  // light band of the horn strip
inline constexpr int32_t kDrumHighlightBitmap = 2010;  // light band of the drum strip
inline constexpr int32_t kDrumGrooveBitmap = 2013;     // drum rotor strip
inline constexpr int32_t kAboutBitmap = 3999;          // about screen
inline constexpr int32_t kBypassButtonBitmap = 4001;   // off, on
inline constexpr int32_t kCpuModeButtonBitmap = 4002;  // low CPU lit, brilliant lit
inline constexpr int32_t kModulationLampBitmap = 4003; // off, lit
inline constexpr int32_t kSustainLampBitmap = 4004;    // off, lit
inline constexpr int32_t kChannelDisplayBitmap = 4005; // off, channels 1..16, omni

// Preset panel. The arrows and words have three frames: normal, mouse over, pressed.
inline constexpr int32_t kUserManualBitmap = 989;
inline constexpr int32_t kDefaultPresetBitmap = 19899;
inline constexpr int32_t kDefaultBankBitmap = 19990;
inline constexpr int32_t kRecallMemoABitmap = 19991;
inline constexpr int32_t kRecallMemoBBitmap = 19992;
inline constexpr int32_t kLoadBankBitmap = 19993;
inline constexpr int32_t kSaveBankBitmap = 19994;
inline constexpr int32_t kStoreMemoABitmap = 19995;
inline constexpr int32_t kStoreMemoBBitmap = 19996;
// Normal, mouse over left or right half, left or right half pressed; used by the
// program rocker and the MIDI channel rocker.
inline constexpr int32_t kRockerBitmap = 19997;
inline constexpr int32_t kLoadPresetBitmap = 19998;
inline constexpr int32_t kSavePresetBitmap = 19999;

} // namespace zel::resources
