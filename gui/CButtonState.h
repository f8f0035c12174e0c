// Mouse button and modifier state of a mouse event, and the answers a view gives
// to mouse events.
#pragma once

#include <cstdint>

namespace zel::gui {

enum CButton : int32_t {
    kLButton = 1 << 1,
    kMButton = 1 << 2,
    kRButton = 1 << 3,
    kShift = 1 << 4,
    kControl = 1 << 5,
    kAlt = 1 << 6,
    kApple = 1 << 7,
    kButton4 = 1 << 8,
    kButton5 = 1 << 9,
    kDoubleClick = 1 << 10,
};

inline constexpr int32_t kButtonMask = kLButton | kMButton | kRButton | kButton4 | kButton5;
inline constexpr int32_t kModifierMask = kShift | kControl | kAlt | kApple;

class CButtonState {
public:
    constexpr CButtonState(int32_t s = 0) : state(s) {}

    constexpr int32_t getButtonState() const { return state & kButtonMask; }
    constexpr int32_t getModifierState() const { return state & kModifierMask; }
    constexpr bool isLeftButton() const { return (state & kLButton) != 0; }
    constexpr bool isRightButton() const { return (state & kRButton) != 0; }
    constexpr bool isDoubleClick() const { return (state & kDoubleClick) != 0; }

    constexpr operator int32_t() const { return state; }
    constexpr bool operator==(const CButtonState& other) const { return state == other.state; }
    constexpr bool operator!=(const CButtonState& other) const { return state != other.state; }
    constexpr int32_t operator&(int32_t mask) const { return state & mask; }
    constexpr int32_t operator|(int32_t mask) const { return state | mask; }
    constexpr CButtonState& operator|=(int32_t mask) {
        state |= mask;
        return *this;
    }

private:
    int32_t state;
};

enum CMouseEventResult : int32_t {
    kMouseEventNotImplemented = 0,
    kMouseEventHandled,
    kMouseEventNotHandled,
    // Handled, and the view wants no move or up events of this press.
    kMouseDownEventHandledButDontNeedMovedOrUpEvents,
};

} // namespace zel::gui
