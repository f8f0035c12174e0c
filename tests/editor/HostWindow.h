// The host's window for the editor tests, on the X server (Xvfb), with real
// pointer and key input through XTEST. A thin front of the view layer's
// X11TestHost that keeps Xlib's macros (None, Bool, ...) out of the tests,
// which include the engine's headers.
#pragma once

#include <functional>
#include <memory>

namespace zel::gui::test {
class X11TestHost;
}

namespace zel::test {

class HostWindow {
public:
    static bool displayAvailable();

    HostWindow(int width, int height);
    ~HostWindow();
    HostWindow(const HostWindow&) = delete;
    HostWindow& operator=(const HostWindow&) = delete;

    bool isOpen() const;
    bool hasXTest() const;
    // The window as the editor's open() receives it.
    void* parentHandle() const;
    void sync() const;
    // Windows inside the host window (the editor's frame).
    int childCount() const;

    // Input in window coordinates. Buttons: 1 left, 3 right.
    void movePointer(int x, int y) const;
    void button(unsigned int number, bool press) const;
    void controlKey(bool press) const;
    void tapReturn() const;
    // A printable ASCII character (letters in lower case) or a space.
    void tapCharacter(char c) const;

    // Writes what the window shows as a PNG, for looking at it.
    bool writePng(const char* path, int width, int height) const;

    static bool pumpUntil(const std::function<void()>& step, const std::function<bool()>& done,
                          double seconds = 5.0);

private:
    std::unique_ptr<gui::test::X11TestHost> host;
};

} // namespace zel::test
