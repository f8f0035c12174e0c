#include "host/EditorWindow.h"

#include "host/HostError.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdlib>
#include <memory>
#include <poll.h>

namespace zel::vortan {

namespace {

constexpr auto kMapTimeout = std::chrono::seconds(2);
constexpr auto kMapPollStep = std::chrono::milliseconds(10);

// Plug-ins share the process's Xlib: a failed request of theirs (a window
// that vanished, an unsupported extension) must not end the host, which is
// what Xlib's own handler does. The errors are counted and otherwise ignored.
int errorCount = 0;
int ignoreError(Display*, XErrorEvent*) {
    ++errorCount;
    return 0;
}

int clampSide(int side) {
    return std::clamp(side, 1, kMaxWindowSide);
}

// One channel of a TrueColor pixel scaled to 8 bits, whatever the mask's width.
uint32_t channel(unsigned long pixel, unsigned long mask) {
    if (mask == 0) return 0;
    const int shift = std::countr_zero(mask);
    const int bits = std::popcount(mask);
    const unsigned long value = (pixel & mask) >> shift;
    const unsigned long top = (1UL << bits) - 1;
    return static_cast<uint32_t>((value * 255 + top / 2) / top);
}

struct ImageRelease {
    void operator()(XImage* image) const { XDestroyImage(image); }
};

} // namespace

EditorWindow::EditorWindow() {
    const char* name = std::getenv("DISPLAY");
    if (name == nullptr || *name == '\0') {
        throw HostError("cannot open the X display (DISPLAY is not set)");
    }
    display = XOpenDisplay(name);
    if (display == nullptr) {
        throw HostError(std::string("cannot open the X display '") + name + "'");
    }
    previousErrorHandler = reinterpret_cast<void*>(XSetErrorHandler(ignoreError));
}

EditorWindow::~EditorWindow() {
    if (window != 0) XDestroyWindow(display, window);
    XCloseDisplay(display);
    XSetErrorHandler(reinterpret_cast<XErrorHandler>(previousErrorHandler));
}

void EditorWindow::create(const std::string& title, int width, int height) {
    windowWidth = clampSide(width);
    windowHeight = clampSide(height);
    const int screen = DefaultScreen(display);
    XSetWindowAttributes attributes{};
    attributes.background_pixel = BlackPixel(display, screen);
    attributes.event_mask = StructureNotifyMask;
    // With backing store the server keeps the window's picture, its child
    // windows included, also where other windows cover it: screenshots show
    // the editor even when it is not on top.
    attributes.backing_store = Always;
    window = XCreateWindow(display, RootWindow(display, screen), 0, 0,
                           static_cast<unsigned>(windowWidth), static_cast<unsigned>(windowHeight),
                           0, CopyFromParent, InputOutput, CopyFromParent,
                           CWBackPixel | CWEventMask | CWBackingStore, &attributes);
    XStoreName(display, window, title.c_str());
    const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
    XChangeProperty(display, window, XInternAtom(display, "_NET_WM_NAME", False), utf8, 8,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(title.data()),
                    static_cast<int>(title.size()));
    XClassHint classHint{};
    std::string instanceName = "vortan";
    std::string className = "Vortan";
    classHint.res_name = instanceName.data();
    classHint.res_class = className.data();
    XSetClassHint(display, window, &classHint);
    Atom deleteWindow = XInternAtom(display, "WM_DELETE_WINDOW", False);
    deleteAtom = deleteWindow;
    XSetWMProtocols(display, window, &deleteWindow, 1);
    setFixedSize();
    XFlush(display);
}

void EditorWindow::setFixedSize() {
    // The editor cannot follow a resized window, so the window manager is
    // asked to keep it at the editor's size.
    std::unique_ptr<XSizeHints, int (*)(void*)> hints(XAllocSizeHints(), XFree);
    if (!hints) return;
    hints->flags = PMinSize | PMaxSize;
    hints->min_width = hints->max_width = windowWidth;
    hints->min_height = hints->max_height = windowHeight;
    XSetWMNormalHints(display, window, hints.get());
}

void EditorWindow::resize(int width, int height) {
    windowWidth = clampSide(width);
    windowHeight = clampSide(height);
    setFixedSize();
    XResizeWindow(display, window, static_cast<unsigned>(windowWidth),
                  static_cast<unsigned>(windowHeight));
    XFlush(display);
}

void EditorWindow::show() {
    XMapRaised(display, window);
    XFlush(display);
    const auto deadline = std::chrono::steady_clock::now() + kMapTimeout;
    while (!mapped && !closed && std::chrono::steady_clock::now() < deadline) pump(kMapPollStep);
}

bool EditorWindow::pump(std::chrono::milliseconds timeout) {
    handlePending();
    if (closed) return false;
    pollfd connection{ConnectionNumber(display), POLLIN, 0};
    const int ready = ::poll(&connection, 1, static_cast<int>(timeout.count()));
    if (ready > 0) handlePending();
    return !closed;
}

void EditorWindow::handlePending() {
    while (XPending(display) > 0) {
        XEvent event;
        XNextEvent(display, &event);
        if (event.xany.window != window) continue;
        switch (event.type) {
        case ClientMessage:
            if (static_cast<unsigned long>(event.xclient.data.l[0]) == deleteAtom) closed = true;
            break;
        case MapNotify:
            mapped = true;
            break;
        case DestroyNotify:
            closed = true;
            window = 0;
            break;
        default:
            break;
        }
    }
}

WindowImage EditorWindow::capture() {
    XSync(display, False);
    WindowImage image;
    if (window == 0) throw HostError("the editor's window is gone");
    // Reading the window (not the screen) includes its child windows; the
    // backing store supplies what other windows cover.
    std::unique_ptr<XImage, ImageRelease> pixels(
        XGetImage(display, window, 0, 0, static_cast<unsigned>(windowWidth),
                  static_cast<unsigned>(windowHeight), AllPlanes, ZPixmap));
    if (!pixels) throw HostError("cannot read the editor's window from the X server");
    image.width = pixels->width;
    image.height = pixels->height;
    image.pixels.resize(static_cast<size_t>(image.width) * static_cast<size_t>(image.height));
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            const unsigned long pixel = XGetPixel(pixels.get(), x, y);
            image.pixels[static_cast<size_t>(y) * static_cast<size_t>(image.width) +
                         static_cast<size_t>(x)] =
                0xFF000000u | channel(pixel, pixels->red_mask) << 16 |
                channel(pixel, pixels->green_mask) << 8 | channel(pixel, pixels->blue_mask);
        }
    }
    return image;
}

} // namespace zel::vortan
