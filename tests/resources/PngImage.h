// A small PNG reader for the tests: 8-bit RGB or RGBA, not interlaced, which is
// what the artwork generator writes. Enough to check sizes and look at pixels.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace zel::test {

struct PngHeader {
    int32_t width = 0;
    int32_t height = 0;
    int32_t bitDepth = 0;
    int32_t colourType = 0;
};

struct Rgba {
    uint8_t r, g, b, a;
};

class PngImage {
public:
    // The header of a PNG file: its signature and IHDR chunk; nothing for other bytes.
    static std::optional<PngHeader> readHeader(std::span<const uint8_t> file);
    // The decoded picture; nothing when the file is damaged or of another kind.
    static std::optional<PngImage> decode(std::span<const uint8_t> file);

    int32_t width() const { return w; }
    int32_t height() const { return h; }
    Rgba at(int32_t x, int32_t y) const;

private:
    int32_t w = 0;
    int32_t h = 0;
    std::vector<Rgba> pixels;
};

// Relative luminance of an sRGB colour, 0 for black to 1 for white.
double luminance(Rgba c);
// Contrast ratio between two relative luminances, 1 to 21.
double contrast(double a, double b);

} // namespace zel::test
