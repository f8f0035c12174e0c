// "Size" 1..5 as the room's two size settings: "Early Refl. Room Size" (99) and
// "Early Refl. Virtual Room Size" (100), written as exact single-precision values.
#pragma once

#include <array>

namespace zel {

struct RoomSize {
    float roomSize;        // index 99
    float virtualRoomSize; // index 100
};

inline constexpr int kRoomSizeIndex = 99;
inline constexpr int kVirtualRoomSizeIndex = 100;
inline constexpr int kSmallestRoom = 1;

inline constexpr std::array<RoomSize, 5> kRoomSizes{{
    {0.1934259980916977f, 0.3713569939136505f},
    {0.3065730035305023f, 0.4413839876651764f},
    {0.3868519961833954f, 0.5f},
    {0.44912201166152954f, 0.4620000123977661f},
    {0.5f, 0.41951799392700195f},
}};

} // namespace zel
