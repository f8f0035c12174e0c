// A top-level X11 window that holds a plug-in's editor: titled with the
// plug-in's name, of the size the editor asks for, closed by the window
// manager's close button. The plug-in creates its own views inside it.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

using Display = struct _XDisplay;

namespace zel::vortan {

// The window's pixels as 0xAARRGGBB words, row by row, alpha always opaque.
struct WindowImage {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
};

constexpr int kMaxWindowSide = 8192;

class EditorWindow {
public:
    // Connects to the display named by DISPLAY; throws HostError without one.
    EditorWindow();
    // Destroys the window (if made) and disconnects.
    ~EditorWindow();
    EditorWindow(const EditorWindow&) = delete;
    EditorWindow& operator=(const EditorWindow&) = delete;

    // Makes the (still hidden) window; sides are limited to 1..kMaxWindowSide.
    void create(const std::string& title, int width, int height);
    void resize(int width, int height);
    // Maps the window and waits (briefly) until the server shows it.
    void show();

    // The window's id, as an editor's parent is passed to effEditOpen.
    uintptr_t handle() const { return window; }
    int width() const { return windowWidth; }
    int height() const { return windowHeight; }

    // Handles the events that arrive within `timeout`; false once the user
    // has closed the window.
    bool pump(std::chrono::milliseconds timeout);

    // What the window shows now, its child windows included.
    WindowImage capture();

private:
    void handlePending();
    void setFixedSize();

    Display* display = nullptr;
    unsigned long window = 0;
    unsigned long deleteAtom = 0;
    int windowWidth = 0;
    int windowHeight = 0;
    bool mapped = false;
    bool closed = false;
    void* previousErrorHandler = nullptr; // XErrorHandler, restored on destruction
};

} // namespace zel::vortan
