#include "gui/PlatformWindow.h"

#include "gui/CDrawContext.h"
#include "gui/CFrame.h"

// Debian's pugl headers declare no C linkage of their own.
extern "C" {
#include <pugl/cairo.h>
#include <pugl/pugl.h>
}

#include <cstdint>
#include <cstring>

namespace zel::gui {

namespace {

constexpr const char* kWindowClassName = "ZelGui";

int32_t modifiersOf(PuglMods mods) {
    int32_t state = 0;
    if (mods & PUGL_MOD_SHIFT) state |= kShift;
    if (mods & PUGL_MOD_CTRL) state |= kControl;
    if (mods & PUGL_MOD_ALT) state |= kAlt;
    return state;
}

uint8_t keyModifiersOf(PuglMods mods) {
    uint8_t state = 0;
    if (mods & PUGL_MOD_SHIFT) state |= MODIFIER_SHIFT;
    if (mods & PUGL_MOD_CTRL) state |= MODIFIER_COMMAND;
    if (mods & PUGL_MOD_ALT) state |= MODIFIER_ALTERNATE;
    if (mods & PUGL_MOD_SUPER) state |= MODIFIER_CONTROL;
    return state;
}

// pugl numbers buttons primary, secondary, middle from 0.
int32_t buttonOf(uint32_t puglButton) {
    switch (puglButton) {
    case 0:
        return kLButton;
    case 1:
        return kRButton;
    case 2:
        return kMButton;
    case 3:
        return kButton4;
    case 4:
        return kButton5;
    default:
        return 0;
    }
}

uint8_t virtualKeyOf(uint32_t key) {
    switch (key) {
    case PUGL_KEY_BACKSPACE:
        return VKEY_BACK;
    case '\t':
        return VKEY_TAB;
    case '\r':
    case '\n':
        return VKEY_RETURN;
    case PUGL_KEY_ESCAPE:
        return VKEY_ESCAPE;
    case PUGL_KEY_DELETE:
        return VKEY_DELETE;
    case PUGL_KEY_LEFT:
        return VKEY_LEFT;
    case PUGL_KEY_UP:
        return VKEY_UP;
    case PUGL_KEY_RIGHT:
        return VKEY_RIGHT;
    case PUGL_KEY_DOWN:
        return VKEY_DOWN;
    case PUGL_KEY_PAGE_UP:
        return VKEY_PAGEUP;
    case PUGL_KEY_PAGE_DOWN:
        return VKEY_PAGEDOWN;
    case PUGL_KEY_HOME:
        return VKEY_HOME;
    case PUGL_KEY_END:
        return VKEY_END;
    case PUGL_KEY_INSERT:
        return VKEY_INSERT;
    default:
        return VKEY_NONE;
    }
}

// Control characters arrive as virtual keys, never as text.
bool isTextCharacter(uint32_t character) {
    return character >= 0x20 && character != 0x7f;
}

PuglStatus onPuglEvent(PuglView* view, const PuglEvent* event) {
    if (auto* window = static_cast<PlatformWindow*>(puglGetHandle(view)))
        window->handleEvent(event);
    return PUGL_SUCCESS;
}

} // namespace

std::unique_ptr<PlatformWindow> PlatformWindow::create(CFrame& frame, void* parent,
                                                       const CRect& rect) {
    PuglWorld* world = puglNewWorld(PUGL_MODULE, 0);
    if (!world) return nullptr; // no display
    puglSetClassName(world, kWindowClassName);
    PuglView* view = puglNewView(world);
    if (!view) {
        puglFreeWorld(world);
        return nullptr;
    }
    std::unique_ptr<PlatformWindow> window(new PlatformWindow(frame, world, view));
    puglSetHandle(view, window.get());
    puglSetBackend(view, puglCairoBackend());
    puglSetEventFunc(view, onPuglEvent);
    puglSetViewHint(view, PUGL_RESIZABLE, PUGL_FALSE);
    puglSetParentWindow(view, reinterpret_cast<PuglNativeView>(parent));
    const auto width = static_cast<PuglSpan>(rect.getWidth());
    const auto height = static_cast<PuglSpan>(rect.getHeight());
    puglSetSizeHint(view, PUGL_DEFAULT_SIZE, width, height);
    puglSetFrame(view, PuglRect{static_cast<PuglCoord>(rect.left), static_cast<PuglCoord>(rect.top),
                                width, height});
    if (puglRealize(view) != PUGL_SUCCESS || puglShow(view) != PUGL_SUCCESS) return nullptr;
    return window;
}

PlatformWindow::PlatformWindow(CFrame& owner, PuglWorld* puglWorld, PuglView* puglView)
    : frame(owner), world(puglWorld), view(puglView) {}

PlatformWindow::~PlatformWindow() {
    // No event may reach the frame while the window goes.
    puglSetHandle(view, nullptr);
    puglFreeView(view);
    puglFreeWorld(world);
}

void* PlatformWindow::getNativeWindow() const {
    return reinterpret_cast<void*>(puglGetNativeView(view));
}

void PlatformWindow::update() {
    puglUpdate(world, 0.0);
}

void PlatformWindow::postRedisplay(const CRect& rect) {
    puglPostRedisplayRect(view, PuglRect{static_cast<PuglCoord>(rect.left),
                                         static_cast<PuglCoord>(rect.top),
                                         static_cast<PuglSpan>(rect.getWidth() + 0.999),
                                         static_cast<PuglSpan>(rect.getHeight() + 0.999)});
}

bool PlatformWindow::grabFocus() {
    return puglGrabFocus(view) == PUGL_SUCCESS;
}

bool PlatformWindow::hasFocus() const {
    return puglHasFocus(view);
}

void PlatformWindow::handleEvent(const void* puglEvent) {
    const auto* event = static_cast<const PuglEvent*>(puglEvent);
    switch (event->type) {
    case PUGL_EXPOSE: {
        auto* cr = static_cast<cairo_t*>(puglGetContext(view));
        if (!cr) break;
        const PuglRect bounds = puglGetFrame(view);
        CDrawContext context(cr, CRect(0, 0, bounds.width, bounds.height));
        const auto& e = event->expose;
        frame.drawArea(&context, CRect(e.x, e.y, e.x + e.width, e.y + e.height));
        break;
    }
    case PUGL_BUTTON_PRESS: {
        const auto& e = event->button;
        const int32_t button = buttonOf(e.button);
        pressedButtons |= button;
        CPoint where(e.x, e.y);
        frame.platformOnMouseDown(where, CButtonState(button | modifiersOf(e.state)));
        break;
    }
    case PUGL_BUTTON_RELEASE: {
        const auto& e = event->button;
        const int32_t button = buttonOf(e.button);
        pressedButtons &= ~button;
        CPoint where(e.x, e.y);
        frame.platformOnMouseUp(where, CButtonState(button | modifiersOf(e.state)));
        break;
    }
    case PUGL_MOTION: {
        const auto& e = event->motion;
        CPoint where(e.x, e.y);
        frame.platformOnMouseMoved(where, CButtonState(pressedButtons | modifiersOf(e.state)));
        break;
    }
    case PUGL_POINTER_OUT: {
        const auto& e = event->crossing;
        CPoint where(e.x, e.y);
        frame.platformOnMouseExited(where, CButtonState(modifiersOf(e.state)));
        break;
    }
    case PUGL_SCROLL: {
        const auto& e = event->scroll;
        if (e.dy != 0)
            frame.platformOnMouseWheel(CPoint(e.x, e.y), static_cast<float>(e.dy),
                                       CButtonState(pressedButtons | modifiersOf(e.state)));
        break;
    }
    case PUGL_KEY_PRESS:
    case PUGL_KEY_RELEASE: {
        // Printable keys arrive as text events (with the shifted character);
        // here only the named keys, and printable keys held with Control or Alt.
        const auto& e = event->key;
        VstKeyCode key;
        key.modifier = keyModifiersOf(e.state);
        key.virt = virtualKeyOf(e.key);
        if (key.virt == VKEY_NONE) {
            const bool chord = (e.state & (PUGL_MOD_CTRL | PUGL_MOD_ALT)) != 0;
            const bool release = event->type == PUGL_KEY_RELEASE;
            if (!isTextCharacter(e.key) || e.key >= PUGL_KEY_F1 || (!chord && !release)) break;
            key.character = static_cast<int32_t>(e.key);
        }
        if (event->type == PUGL_KEY_PRESS)
            frame.platformOnKeyDown(key);
        else
            frame.platformOnKeyUp(key);
        break;
    }
    case PUGL_TEXT: {
        const auto& e = event->text;
        if (!isTextCharacter(e.character) || (e.state & (PUGL_MOD_CTRL | PUGL_MOD_ALT))) break;
        VstKeyCode key;
        key.character = static_cast<int32_t>(e.character);
        key.modifier = keyModifiersOf(e.state);
        std::memcpy(key.utf8, e.string, sizeof key.utf8);
        key.utf8[sizeof key.utf8 - 1] = '\0';
        frame.platformOnKeyDown(key);
        break;
    }
    case PUGL_FOCUS_IN:
        frame.platformOnActivate(true);
        break;
    case PUGL_FOCUS_OUT:
        frame.platformOnActivate(false);
        break;
    default:
        break;
    }
}

} // namespace zel::gui
