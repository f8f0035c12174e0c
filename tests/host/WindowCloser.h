// Closing another program's top-level window as a window manager's close
// button does (WM_DELETE_WINDOW), for the editor window tests. Kept apart from
// the test files: Xlib's macros clash with googletest's names.
#pragma once

#include <chrono>
#include <string>

namespace zel::vortan::test {

// Waits up to `timeout` for a top-level window titled `title` on the display
// named by DISPLAY, then asks it to close. False when none appeared.
bool closeWindowTitled(const std::string& title, std::chrono::milliseconds timeout);

} // namespace zel::vortan::test
