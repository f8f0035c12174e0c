// The room around the cabinet: path lengths of the early reflections (metres
// before scaling by the room size) and the darkening of each tap.
#pragma once

#include <array>

namespace zel::room {

inline constexpr int kTapsPerSide = 12;

inline constexpr std::array<double, kTapsPerSide> kLeftPaths = {3.1, 4.3, 5.7, 6.3,  7.8,  8.3,
                                                                8.7, 9.3, 9.6, 10.5, 11.1, 11.7};
inline constexpr std::array<double, kTapsPerSide> kRightPaths = {3,   4,   4.8, 7.5,  8.1,  8.5,
                                                                 9.1, 9.5, 9.9, 10.3, 10.9, 11.3};
// The cross sets only fix how steeply the gain falls with the path length.
inline constexpr std::array<double, kTapsPerSide> kCrossPathsA = {
    3.15, 4.08, 5.48, 6.8, 8.9, 10.5, 12.3, 12.9, 13.3, 13.7, 14.1, 14.9};
inline constexpr std::array<double, kTapsPerSide> kCrossPathsB = {
    3.05, 4.47, 4.87, 7.4, 8.2, 11.4, 11.2, 11.8, 12.1, 12.9, 13.5, 14.6};

// Tap low-pass frequency as a fraction of the main cutoff.
inline constexpr std::array<double, kTapsPerSide> kLeftCutoffFactors = {
    0.93, 0.91, 0.8, 0.7, 0.7, 0.65, 0.6, 0.55, 0.5, 0.35, 0, 0};
inline constexpr std::array<double, kTapsPerSide> kRightCutoffFactors = {
    0.97, 0.9, 0.8, 0.7, 0.7, 0.65, 0.6, 0.55, 0.5, 0.35, 0, 0};

inline constexpr double kMinCutoffHz = 20;
inline constexpr double kMaxCutoffHz = 20000;
// The longest cross-set path is heard 20 dB down.
inline constexpr double kFarthestTapDb = -20;

inline constexpr int kBufferLength = 65536;
inline constexpr int kBufferMask = kBufferLength - 1;

} // namespace zel::room
