#include "HostWindow.h"

#include "tests/gui/X11TestHost.h"

namespace zel::test {

using gui::test::X11TestHost;

bool HostWindow::displayAvailable() {
    return X11TestHost::displayAvailable();
}

HostWindow::HostWindow(int width, int height)
    : host(std::make_unique<X11TestHost>(width, height)) {}

HostWindow::~HostWindow() = default;

bool HostWindow::isOpen() const {
    return host->isOpen();
}
bool HostWindow::hasXTest() const {
    return host->hasXTest();
}
void* HostWindow::parentHandle() const {
    return host->parentHandle();
}
void HostWindow::sync() const {
    host->sync();
}
int HostWindow::childCount() const {
    return host->childCount();
}
void HostWindow::movePointer(int x, int y) const {
    host->movePointer(x, y);
}
void HostWindow::button(unsigned int number, bool press) const {
    host->button(number, press);
}
void HostWindow::controlKey(bool press) const {
    host->key(XK_Control_L, press);
}
void HostWindow::tapReturn() const {
    host->tapKey(XK_Return);
}
// Latin-1 key symbols are the characters themselves.
void HostWindow::tapCharacter(char c) const {
    host->tapKey(c == ' ' ? XK_space : static_cast<KeySym>(static_cast<unsigned char>(c)));
}

bool HostWindow::writePng(const char* path, int width, int height) const {
    return host->writePng(path, width, height);
}

bool HostWindow::pumpUntil(const std::function<void()>& step, const std::function<bool()>& done,
                           double seconds) {
    return X11TestHost::pumpUntil(step, done, seconds);
}

} // namespace zel::test
