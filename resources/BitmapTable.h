// Every bitmap the editor loads, with the size and number of frames its controls
// count on. Frames are stacked vertically, each width x (height / frames).
#pragma once

#include "resources/ResourceIds.h"

#include <array>
#include <cstdint>

namespace zel::resources {

struct BitmapInfo {
    int32_t id;
    int32_t width;
    int32_t height;
    int32_t frames;

    constexpr int32_t frameHeight() const { return height / frames; }
};

inline constexpr std::array<BitmapInfo, 27> kBitmaps{{
    {kFaceBitmap, 401, 570, 1},         {kKnobBitmap, 44, 4444, 101},
    {kStopButtonBitmap, 26, 72, 2},     {kSpeedButtonBitmap, 27, 72, 2},
    {kSpeedLeverBitmap, 55, 12090, 65}, {kHornGrooveBitmap, 298, 12, 1},
    {kHornHighlightBitmap, 120, 14, 1}, {kDrumGrooveBitmap, 298, 12, 1},
    {kDrumHighlightBitmap, 120, 14, 1}, {kAboutBitmap, 400, 533, 1},
    {kRockerBitmap, 31, 70, 5},         {kChannelDisplayBitmap, 30, 252, 18},
    {kBypassButtonBitmap, 58, 28, 2},   {kCpuModeButtonBitmap, 140, 28, 2},
    {kModulationLampBitmap, 56, 28, 2}, {kSustainLampBitmap, 62, 28, 2},
    {kLoadBankBitmap, 12, 42, 3},       {kSaveBankBitmap, 12, 42, 3},
    {kLoadPresetBitmap, 12, 42, 3},     {kSavePresetBitmap, 12, 42, 3},
    {kRecallMemoABitmap, 12, 42, 3},    {kRecallMemoBBitmap, 12, 42, 3},
    {kStoreMemoABitmap, 12, 42, 3},     {kStoreMemoBBitmap, 12, 42, 3},
    {kDefaultBankBitmap, 37, 30, 3},    {kDefaultPresetBitmap, 47, 30, 3},
    {kUserManualBitmap, 16, 42, 3},
}};

} // namespace zel::resources
