// Saving a window's pixels as a PNG file.
#pragma once

#include "host/EditorWindow.h"

#include <string>

namespace zel::vortan {

// Throws HostError with `path` named when the folder is missing or the path
// is a folder; run before anything is opened, so a wrong path fails at once.
void checkScreenshotPath(const std::string& path);

// Writes the image to a temporary file beside `path` and renames it, so a
// failed write leaves nothing behind; throws HostError on failure.
void writePng(const std::string& path, const WindowImage& image);

} // namespace zel::vortan
