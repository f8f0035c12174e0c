// A point in view coordinates (pixels as doubles, y grows downwards).
#pragma once

namespace zel::gui {

using CCoord = double;

struct CPoint {
    CCoord x = 0;
    CCoord y = 0;

    constexpr CPoint() = default;
    constexpr CPoint(CCoord px, CCoord py) : x(px), y(py) {}

    constexpr CPoint& offset(CCoord dx, CCoord dy) {
        x += dx;
        y += dy;
        return *this;
    }
    constexpr CPoint& offset(const CPoint& delta) { return offset(delta.x, delta.y); }
    constexpr CPoint& operator()(CCoord px, CCoord py) {
        x = px;
        y = py;
        return *this;
    }
    constexpr CPoint operator+(const CPoint& other) const { return {x + other.x, y + other.y}; }
    constexpr CPoint operator-(const CPoint& other) const { return {x - other.x, y - other.y}; }
    constexpr CPoint& operator+=(const CPoint& other) { return offset(other); }
    constexpr CPoint& operator-=(const CPoint& other) { return offset(-other.x, -other.y); }
    constexpr bool operator==(const CPoint& other) const = default;
};

} // namespace zel::gui
