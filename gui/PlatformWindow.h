// The frame's child window in the host's parent window, through pugl's X11 +
// cairo backend; translates pugl's events into the frame's platform calls.
// Internal to the view layer.
#pragma once

#include "gui/CRect.h"

#include <cstdint>
#include <memory>

struct PuglWorldImpl;
struct PuglViewImpl;

namespace zel::gui {

class CFrame;

class PlatformWindow {
public:
    // A shown child window of parent at rect; null when the display or the
    // window cannot be opened.
    static std::unique_ptr<PlatformWindow> create(CFrame& frame, void* parent, const CRect& rect);
    ~PlatformWindow();
    PlatformWindow(const PlatformWindow&) = delete;
    PlatformWindow& operator=(const PlatformWindow&) = delete;

    void* getNativeWindow() const;
    // Handles pending window-system events without waiting (drawing exposures).
    void update();
    void postRedisplay(const CRect& rect);
    bool grabFocus();
    bool hasFocus() const;

    // Handles one pugl event (a const PuglEvent*); pugl's event callback.
    void handleEvent(const void* puglEvent);

private:
    PlatformWindow(CFrame& frame, PuglWorldImpl* world, PuglViewImpl* view);

    CFrame& frame;
    PuglWorldImpl* world;
    PuglViewImpl* view;
    int32_t pressedButtons = 0;
};

} // namespace zel::gui
