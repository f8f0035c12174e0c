// A key event as views see it: either a character (code point plus its UTF-8
// bytes, from the window system's text input) or a virtual key, with modifiers.
#pragma once

#include <cstdint>

namespace zel::gui {

enum VirtualKeyCodes : uint8_t {
    VKEY_NONE = 0,
    VKEY_BACK = 1,
    VKEY_TAB,
    VKEY_RETURN,
    VKEY_ENTER,
    VKEY_ESCAPE,
    VKEY_SPACE,
    VKEY_END,
    VKEY_HOME,
    VKEY_LEFT,
    VKEY_UP,
    VKEY_RIGHT,
    VKEY_DOWN,
    VKEY_PAGEUP,
    VKEY_PAGEDOWN,
    VKEY_INSERT,
    VKEY_DELETE,
};

enum VstModifierKey : uint8_t {
    MODIFIER_SHIFT = 1 << 0,
    MODIFIER_ALTERNATE = 1 << 1,
    MODIFIER_COMMAND = 1 << 2, // the Control key on this platform
    MODIFIER_CONTROL = 1 << 3, // the Super key
};

struct VstKeyCode {
    int32_t character = 0; // Unicode code point, 0 for a virtual key
    uint8_t virt = VKEY_NONE;
    uint8_t modifier = 0;
    char utf8[8] = {}; // the character as zero-terminated UTF-8, empty for a virtual key
};

} // namespace zel::gui
