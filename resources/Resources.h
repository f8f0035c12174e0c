// The editor's bitmaps, compiled into the library as PNG bytes, so the plug-in
// stays one file and never looks for images on disk.
#pragma once

#include <cstdint>
#include <span>

namespace zel::resources {

// The PNG file of the bitmap with this id; empty for an id the library lacks.
std::span<const uint8_t> findPng(int32_t id) noexcept;

} // namespace zel::resources
