// Interpolated reads from circular delay buffers and from lookup tables.
//
// readCubic: Catmull-Rom read of a circular buffer that keeps a copy of its first
// three entries after its end (the writers store every sample at i and i + length),
// so the four neighbours never need wrapping.
// lookupCubic: Catmull-Rom read of a table of last + 1 entries, clamped at both ends.
// readLinear: linear read of a power-of-two ring.
// The single-precision twins read the 32-bit sample tables; their positions stay in
// double precision because the long tables need more than 24 bits of position.
#pragma once

#include <algorithm>
#include <cmath>

namespace zel {

namespace interp_detail {

// Brings any position into [0, length): the slow path for positions the fast
// checks reject (far negative, beyond the end, or not a number).
[[nodiscard]] inline double wrapInto(double position, double length) noexcept {
    double p = std::fmod(position, length);
    if (p < 0.0) p += length;
    if (!(p >= 0.0 && p < length)) p = 0.0; // NaN, or fmod rounding onto length
    return p;
}

// The Catmull-Rom curve through p1 (t = 0) and p2 (t = 1), as a cubic in t
// evaluated by Horner's rule: at t = 0 it returns p1 exactly.
template <typename T> [[nodiscard]] inline T catmullRom(T t, T p0, T p1, T p2, T p3) noexcept {
    const T c1 = T(0.5) * (p2 - p0);
    const T c2 = p0 - T(2.5) * p1 + T(2) * p2 - T(0.5) * p3;
    const T c3 = T(0.5) * (p3 - p0) + T(1.5) * (p1 - p2);
    return ((c3 * t + c2) * t + c1) * t + p1;
}

template <typename T>
[[nodiscard]] inline T readCubicT(const T* buffer, int length, double position) noexcept {
    const double len = static_cast<double>(length);
    if (position < 0.0) position += len;
    if (!(position >= 0.0 && position < len)) position = wrapInto(position, len);
    const int whole = static_cast<int>(position);
    // whole lies in [0, length): the entry before it, wrapped, with no remainder.
    const int i = whole == 0 ? length - 1 : whole - 1;
    const T t = static_cast<T>(position - whole);
    return catmullRom<T>(t, buffer[i], buffer[i + 1], buffer[i + 2], buffer[i + 3]);
}

template <typename T>
[[nodiscard]] inline T lookupCubicT(const T* table, int last, double position) noexcept {
    if (!(position > 0.0)) return table[0]; // also catches NaN
    if (position >= static_cast<double>(last)) return table[last];
    const int i = static_cast<int>(position);
    const T t = static_cast<T>(position - i);
    const T p0 = table[std::max(i - 1, 0)];
    const T p1 = table[i];
    const T p2 = table[std::min(i + 1, last)];
    const T p3 = i + 2 <= last ? table[i + 2] : table[i + 1];
    return catmullRom<T>(t, p0, p1, p2, p3);
}

} // namespace interp_detail

// buffer holds length + 3 readable entries; position in samples, any value.
[[nodiscard]] inline double readCubic(const double* buffer, int length, double position) noexcept {
    return interp_detail::readCubicT<double>(buffer, length, position);
}

// table holds last + 1 entries.
[[nodiscard]] inline double lookupCubic(const double* table, int last, double position) noexcept {
    return interp_detail::lookupCubicT<double>(table, last, position);
}

// mask = ring size - 1 (a power of two minus one); count is added to negative
// positions (the ring size).
[[nodiscard]] inline double readLinear(const double* buffer, unsigned mask, int count,
                                       double position) noexcept {
    const double len = static_cast<double>(count);
    if (position < 0.0) position += len;
    if (!(position >= 0.0 && position < len)) position = interp_detail::wrapInto(position, len);
    const int j = static_cast<int>(position);
    const double t = position - j;
    const unsigned a = static_cast<unsigned>(j) & mask;
    const unsigned b = (a + 1u) & mask;
    return (1.0 - t) * buffer[a] + t * buffer[b];
}

[[nodiscard]] inline float readCubicF(const float* buffer, int length, double position) noexcept {
    return interp_detail::readCubicT<float>(buffer, length, position);
}

[[nodiscard]] inline float lookupCubicF(const float* table, int last, double position) noexcept {
    return interp_detail::lookupCubicT<float>(table, last, position);
}

} // namespace zel
