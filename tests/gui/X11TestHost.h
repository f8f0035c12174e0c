// Helpers for tests that need a real X server (Xvfb in CI): a plain Xlib
// top-level window standing in for the host's parent window, pixel read-back,
// pointer and key input through the XTEST extension, and X resource counts.
// Tests skip (GTEST_SKIP) when no DISPLAY is set.
#pragma once

#include "gui/CColor.h"

// Before Xlib, whose macros (None, Bool, ...) would break googletest's headers.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <cairo.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <thread>

namespace zel::gui::test {

class X11TestHost {
public:
    static bool displayAvailable() {
        const char* display = std::getenv("DISPLAY");
        return display && *display;
    }

    // A mapped top-level window of width x height at the screen's top-left.
    X11TestHost(int width, int height) {
        display = XOpenDisplay(nullptr);
        if (!display) return;
        int eventBase = 0, errorBase = 0, major = 0, minor = 0;
        xtest = XTestQueryExtension(display, &eventBase, &errorBase, &major, &minor);
        const int screen = DefaultScreen(display);
        XSetWindowAttributes attributes{};
        attributes.override_redirect = True; // no window manager moves it
        attributes.background_pixel = BlackPixel(display, screen);
        attributes.event_mask = StructureNotifyMask;
        window = XCreateWindow(display, RootWindow(display, screen), 0, 0,
                               static_cast<unsigned>(width), static_cast<unsigned>(height), 0,
                               CopyFromParent, InputOutput, CopyFromParent,
                               CWOverrideRedirect | CWBackPixel | CWEventMask, &attributes);
        XMapRaised(display, window);
        for (XEvent event; XNextEvent(display, &event), event.type != MapNotify;) {
        }
        XSync(display, False);
    }
    ~X11TestHost() {
        if (!display) return;
        XDestroyWindow(display, window);
        XCloseDisplay(display);
    }
    X11TestHost(const X11TestHost&) = delete;
    X11TestHost& operator=(const X11TestHost&) = delete;

    bool isOpen() const { return display != nullptr; }
    bool hasXTest() const { return xtest; }
    Display* getDisplay() const { return display; }
    Window getWindow() const { return window; }
    // The parent window handle as the editor's open() receives it.
    void* parentHandle() const { return reinterpret_cast<void*>(static_cast<uintptr_t>(window)); }
    void sync() const { XSync(display, False); }

    // Runs step (e.g. the editor's idle) until done() or the timeout; true when done.
    static bool pumpUntil(const std::function<void()>& step, const std::function<bool()>& done,
                          double seconds = 5.0) {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (std::chrono::steady_clock::now() < deadline) {
            step();
            if (done()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        step();
        return done();
    }

    // The colour on screen at (x, y) of the host window (children included).
    CColor pixel(int x, int y) const {
        CColor colour{0, 0, 0, 0};
        grab(x, y, 1, 1, [&](int, int, CColor c) { colour = c; });
        return colour;
    }

    // Writes what the host window shows as a PNG (for looking at it).
    bool writePng(const char* path, int width, int height) const {
        cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
        auto* data = reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(surface));
        const int stride = cairo_image_surface_get_stride(surface) / 4;
        grab(0, 0, width, height, [&](int x, int y, CColor c) {
            data[y * stride + x] =
                (uint32_t{c.red} << 16) | (uint32_t{c.green} << 8) | uint32_t{c.blue};
        });
        cairo_surface_mark_dirty(surface);
        const bool ok = cairo_surface_write_to_png(surface, path) == CAIRO_STATUS_SUCCESS;
        cairo_surface_destroy(surface);
        return ok;
    }

    // Windows directly inside the host window (the embedded editor's frame).
    int childCount() const {
        Window root = 0, parent = 0, *children = nullptr;
        unsigned int count = 0;
        if (!XQueryTree(display, window, &root, &parent, &children, &count)) return -1;
        if (children) XFree(children);
        return static_cast<int>(count);
    }

    // Real input through XTEST, in host window coordinates.
    void movePointer(int x, int y) const {
        int rootX = 0, rootY = 0;
        Window child = 0;
        const int screen = DefaultScreen(display);
        XTranslateCoordinates(display, window, RootWindow(display, screen), x, y, &rootX, &rootY,
                              &child);
        XTestFakeMotionEvent(display, screen, rootX, rootY, CurrentTime);
        XFlush(display);
    }
    void button(unsigned int number, bool press) const {
        XTestFakeButtonEvent(display, number, press ? True : False, CurrentTime);
        XFlush(display);
    }
    void key(KeySym sym, bool press) const {
        XTestFakeKeyEvent(display, XKeysymToKeycode(display, sym), press ? True : False,
                          CurrentTime);
        XFlush(display);
    }
    void tapKey(KeySym sym) const {
        key(sym, true);
        key(sym, false);
    }

private:
    // Reads the screen under the host window's area (x, y, width, height) in one
    // request and hands each pixel to visit.
    void grab(int x, int y, int width, int height,
              const std::function<void(int, int, CColor)>& visit) const {
        int rootX = 0, rootY = 0;
        Window child = 0;
        const Window root = RootWindow(display, DefaultScreen(display));
        XTranslateCoordinates(display, window, root, x, y, &rootX, &rootY, &child);
        XImage* image = XGetImage(display, root, rootX, rootY, static_cast<unsigned>(width),
                                  static_cast<unsigned>(height), AllPlanes, ZPixmap);
        if (!image) return;
        for (int row = 0; row < height; ++row)
            for (int column = 0; column < width; ++column) {
                const unsigned long value = XGetPixel(image, column, row);
                visit(column, row,
                      CColor{channel(value, image->red_mask), channel(value, image->green_mask),
                             channel(value, image->blue_mask), 255});
            }
        XDestroyImage(image);
    }

    static uint8_t channel(unsigned long value, unsigned long mask) {
        if (mask == 0) return 0;
        int shift = 0;
        while (!((mask >> shift) & 1)) ++shift;
        const unsigned long maximum = mask >> shift;
        return static_cast<uint8_t>(((value & mask) >> shift) * 255 / maximum);
    }

    Display* display = nullptr;
    Window window = 0;
    bool xtest = false;
};

} // namespace zel::gui::test
