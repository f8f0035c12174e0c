#include "PngImage.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace zel::test {

namespace {

constexpr std::array<uint8_t, 8> kSignature{0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
constexpr std::size_t kChunkOverhead = 12; // length, type, CRC

uint32_t bigEndian(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

bool isType(const uint8_t* p, const char* type) {
    return std::memcmp(p, type, 4) == 0;
}

int paeth(int a, int b, int c) {
    const int p = a + b - c;
    const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    if (pa <= pb && pa <= pc) return a;
    return pb <= pc ? b : c;
}

// Undoes the per-row filters in place; false for an unknown filter type.
bool unfilter(std::vector<uint8_t>& raw, std::size_t rows, std::size_t stride, int bpp) {
    for (std::size_t y = 0; y < rows; ++y) {
        uint8_t* row = raw.data() + y * (stride + 1);
        const uint8_t filter = row[0];
        uint8_t* cur = row + 1;
        const uint8_t* prev = y > 0 ? raw.data() + (y - 1) * (stride + 1) + 1 : nullptr;
        for (std::size_t i = 0; i < stride; ++i) {
            const int a = i >= std::size_t(bpp) ? cur[i - bpp] : 0;
            const int b = prev ? prev[i] : 0;
            const int c = prev && i >= std::size_t(bpp) ? prev[i - bpp] : 0;
            int add = 0;
            switch (filter) {
            case 0:
                break;
            case 1:
                add = a;
                break;
            case 2:
                add = b;
                break;
            case 3:
                add = (a + b) / 2;
                break;
            case 4:
                add = paeth(a, b, c);
                break;
            default:
                return false;
            }
            cur[i] = uint8_t(cur[i] + add);
        }
    }
    return true;
}

} // namespace

std::optional<PngHeader> PngImage::readHeader(std::span<const uint8_t> file) {
    // Signature, then IHDR: length 13, type, 13 data bytes, CRC.
    constexpr std::size_t kIhdrEnd = 8 + kChunkOverhead + 13;
    if (file.size() < kIhdrEnd || !std::equal(kSignature.begin(), kSignature.end(), file.data()))
        return std::nullopt;
    const uint8_t* ihdr = file.data() + 8;
    if (bigEndian(ihdr) != 13 || !isType(ihdr + 4, "IHDR")) return std::nullopt;
    const uint32_t width = bigEndian(ihdr + 8), height = bigEndian(ihdr + 12);
    if (width == 0 || height == 0 || width > 1u << 20 || height > 1u << 20) return std::nullopt;
    return PngHeader{int32_t(width), int32_t(height), ihdr[16], ihdr[17]};
}

std::optional<PngImage> PngImage::decode(std::span<const uint8_t> file) {
    const std::optional<PngHeader> header = readHeader(file);
    if (!header || header->bitDepth != 8 || (header->colourType != 2 && header->colourType != 6))
        return std::nullopt;
    const uint8_t* ihdr = file.data() + 8;
    if (ihdr[18] != 0 || ihdr[19] != 0 || ihdr[20] != 0) // compression, filter, interlace
        return std::nullopt;

    std::vector<uint8_t> compressed;
    std::size_t pos = 8;
    bool ended = false;
    while (!ended && pos + kChunkOverhead <= file.size()) {
        const uint32_t length = bigEndian(file.data() + pos);
        if (length > file.size() - pos - kChunkOverhead) return std::nullopt;
        const uint8_t* type = file.data() + pos + 4;
        const uint8_t* data = type + 4;
        if (isType(type, "IDAT")) compressed.insert(compressed.end(), data, data + length);
        ended = isType(type, "IEND");
        pos += kChunkOverhead + length;
    }
    if (!ended) return std::nullopt;

    const int bpp = header->colourType == 6 ? 4 : 3;
    const std::size_t stride = std::size_t(header->width) * bpp;
    std::vector<uint8_t> raw((stride + 1) * std::size_t(header->height));
    uLongf rawSize = uLongf(raw.size());
    if (uncompress(raw.data(), &rawSize, compressed.data(), uLong(compressed.size())) != Z_OK ||
        rawSize != raw.size() || !unfilter(raw, std::size_t(header->height), stride, bpp))
        return std::nullopt;

    PngImage image;
    image.w = header->width;
    image.h = header->height;
    image.pixels.reserve(std::size_t(image.w) * std::size_t(image.h));
    for (int32_t y = 0; y < image.h; ++y) {
        const uint8_t* row = raw.data() + std::size_t(y) * (stride + 1) + 1;
        for (int32_t x = 0; x < image.w; ++x) {
            const uint8_t* p = row + std::size_t(x) * bpp;
            image.pixels.push_back({p[0], p[1], p[2], bpp == 4 ? p[3] : uint8_t(255)});
        }
    }
    return image;
}

Rgba PngImage::at(int32_t x, int32_t y) const {
    x = std::clamp(x, 0, w - 1);
    y = std::clamp(y, 0, h - 1);
    return pixels[std::size_t(y) * std::size_t(w) + std::size_t(x)];
}

double luminance(Rgba c) {
    auto linear = [](uint8_t v) {
        const double s = v / 255.0;
        return s <= 0.04045 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(c.r) + 0.7152 * linear(c.g) + 0.0722 * linear(c.b);
}

double contrast(double a, double b) {
    return (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05);
}

} // namespace zel::test
