// How far one wheel event moves the editor's own controls: a distance beyond a
// tenth of a notch counts as one whole notch (so fast scrolling never jumps),
// smaller ones (smooth scrolling) are used as they come.
#pragma once

namespace zel {

inline constexpr float kWheelNotchThreshold = 0.1f;

constexpr float wheelNotches(float distance) {
    if (distance > kWheelNotchThreshold) return 1.f;
    if (distance < -kWheelNotchThreshold) return -1.f;
    return distance;
}

} // namespace zel
