// An axis-aligned rectangle: left and top inside, right and bottom outside.
#pragma once

#include "gui/CPoint.h"

#include <algorithm>

namespace zel::gui {

struct CRect {
    CCoord left = 0;
    CCoord top = 0;
    CCoord right = 0;
    CCoord bottom = 0;

    constexpr CRect() = default;
    constexpr CRect(CCoord l, CCoord t, CCoord r, CCoord b)
        : left(l), top(t), right(r), bottom(b) {}
    constexpr CRect(const CPoint& origin, const CPoint& size)
        : left(origin.x), top(origin.y), right(origin.x + size.x), bottom(origin.y + size.y) {}

    constexpr CCoord getWidth() const { return right - left; }
    constexpr CCoord getHeight() const { return bottom - top; }
    constexpr CRect& setWidth(CCoord width) {
        right = left + width;
        return *this;
    }
    constexpr CRect& setHeight(CCoord height) {
        bottom = top + height;
        return *this;
    }
    constexpr CPoint getTopLeft() const { return {left, top}; }
    constexpr CPoint getTopRight() const { return {right, top}; }
    constexpr CPoint getBottomLeft() const { return {left, bottom}; }
    constexpr CPoint getBottomRight() const { return {right, bottom}; }
    constexpr CPoint getSize() const { return {getWidth(), getHeight()}; }
    constexpr CPoint getCenter() const { return {(left + right) / 2, (top + bottom) / 2}; }
    constexpr CRect& setTopLeft(const CPoint& p) {
        left = p.x;
        top = p.y;
        return *this;
    }
    constexpr CRect& setSize(const CPoint& size) {
        right = left + size.x;
        bottom = top + size.y;
        return *this;
    }

    constexpr CRect& offset(CCoord dx, CCoord dy) {
        left += dx;
        right += dx;
        top += dy;
        bottom += dy;
        return *this;
    }
    constexpr CRect& offset(const CPoint& delta) { return offset(delta.x, delta.y); }
    // Moves the rectangle so that its top-left corner is at (x, y), keeping its size.
    constexpr CRect& moveTo(CCoord x, CCoord y) { return offset(x - left, y - top); }
    constexpr CRect& moveTo(const CPoint& p) { return moveTo(p.x, p.y); }
    constexpr CRect& inset(CCoord dx, CCoord dy) {
        left += dx;
        right -= dx;
        top += dy;
        bottom -= dy;
        return *this;
    }
    constexpr CRect& extend(CCoord dx, CCoord dy) { return inset(-dx, -dy); }

    constexpr bool isEmpty() const { return right <= left || bottom <= top; }
    constexpr bool pointInside(const CPoint& p) const {
        return p.x >= left && p.x < right && p.y >= top && p.y < bottom;
    }
    constexpr bool rectOverlap(const CRect& other) const {
        return !isEmpty() && !other.isEmpty() && right > other.left && left < other.right &&
               bottom > other.top && top < other.bottom;
    }
    // Intersection with another rectangle (empty when they do not overlap).
    constexpr CRect& bound(const CRect& other) {
        left = std::max(left, other.left);
        top = std::max(top, other.top);
        right = std::max(left, std::min(right, other.right));
        bottom = std::max(top, std::min(bottom, other.bottom));
        return *this;
    }
    // Smallest rectangle holding both; an empty side is ignored.
    constexpr CRect& unite(const CRect& other) {
        if (other.isEmpty()) return *this;
        if (isEmpty()) return *this = other;
        left = std::min(left, other.left);
        top = std::min(top, other.top);
        right = std::max(right, other.right);
        bottom = std::max(bottom, other.bottom);
        return *this;
    }
    constexpr bool operator==(const CRect& other) const = default;
};

} // namespace zel::gui
