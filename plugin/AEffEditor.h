// The interface through which the host's editor requests reach the plug-in's
// editor object. The effect owns the editor object for its whole life; the
// editor's window exists only between open and close.
#pragma once

#include "plugin/VstAbi.h"

#include <cstdint>

namespace zel {

// A key as the host reports it: the character (index), the virtual key (value)
// and the modifier bits (opt).
struct VstKeyCode {
    int32_t character = 0;
    uint8_t virt = 0;
    uint8_t modifier = 0;
};

class AEffEditor {
public:
    virtual ~AEffEditor() = default;

    // Points *rect at the editor's window rectangle; true when it did.
    virtual bool getRect(vst::ERect** rect) = 0;
    // Opens the window inside the host's parent window; true when opened.
    virtual bool open(void* parentWindow) = 0;
    virtual void close() = 0;
    virtual void idle() = 0;
    // True when the editor used the key.
    virtual bool onKeyDown(VstKeyCode& key) = 0;
    virtual bool onKeyUp(VstKeyCode& key) = 0;
    virtual bool setKnobMode(int32_t mode) = 0;
};

} // namespace zel
