// The size of a PNG image read from its header alone: the signature and the
// IHDR chunk, without decoding anything.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace zel::gui {

struct PngSize {
    int32_t width = 0;
    int32_t height = 0;
};

// The header's width and height, or nothing when the bytes are too short, the
// signature is wrong, the first chunk is not a 13-byte IHDR, or a dimension is
// zero or larger than an image surface can hold.
std::optional<PngSize> readPngSize(std::span<const uint8_t> png);

} // namespace zel::gui
