#include "WindowCloser.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <memory>
#include <thread>

namespace zel::vortan::test {

namespace {

Window findWindow(Display* display, const std::string& title) {
    Window root = 0, parent = 0;
    Window* children = nullptr;
    unsigned count = 0;
    if (XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count) == 0)
        return 0;
    Window found = 0;
    for (unsigned i = 0; i < count && found == 0; ++i) {
        char* name = nullptr;
        if (XFetchName(display, children[i], &name) != 0 && name != nullptr) {
            if (title == name) found = children[i];
            XFree(name);
        }
    }
    if (children != nullptr) XFree(children);
    return found;
}

} // namespace

bool closeWindowTitled(const std::string& title, std::chrono::milliseconds timeout) {
    std::unique_ptr<Display, int (*)(Display*)> display(XOpenDisplay(nullptr), XCloseDisplay);
    if (!display) return false;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    Window window = 0;
    while (window == 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        window = findWindow(display.get(), title);
    }
    if (window == 0) return false;
    XEvent close{};
    close.xclient.type = ClientMessage;
    close.xclient.window = window;
    close.xclient.message_type = XInternAtom(display.get(), "WM_PROTOCOLS", False);
    close.xclient.format = 32;
    close.xclient.data.l[0] =
        static_cast<long>(XInternAtom(display.get(), "WM_DELETE_WINDOW", False));
    XSendEvent(display.get(), window, False, NoEventMask, &close);
    XFlush(display.get());
    return true;
}

} // namespace zel::vortan::test
