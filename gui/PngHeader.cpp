#include "gui/PngHeader.h"

#include <array>
#include <cstddef>

namespace zel::gui {

namespace {

constexpr std::array<uint8_t, 8> kSignature{0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
constexpr std::array<uint8_t, 4> kHeaderType{'I', 'H', 'D', 'R'};
constexpr uint32_t kHeaderDataLength = 13;
// Signature, chunk length and type, then width and height.
constexpr size_t kLengthAt = kSignature.size();
constexpr size_t kTypeAt = kLengthAt + 4;
constexpr size_t kWidthAt = kTypeAt + kHeaderType.size();
constexpr size_t kHeightAt = kWidthAt + 4;
// The whole chunk (data and CRC) must be there, not only the two sizes.
constexpr size_t kHeaderEnd = kTypeAt + kHeaderType.size() + kHeaderDataLength + 4;
// The largest side a cairo image surface takes; a larger image cannot decode.
constexpr uint32_t kMaxSide = 32767;

uint32_t readBigEndian(std::span<const uint8_t> bytes, size_t at) {
    return (uint32_t{bytes[at]} << 24) | (uint32_t{bytes[at + 1]} << 16) |
           (uint32_t{bytes[at + 2]} << 8) | uint32_t{bytes[at + 3]};
}

bool matches(std::span<const uint8_t> bytes, size_t at, std::span<const uint8_t> expected) {
    for (size_t i = 0; i < expected.size(); ++i)
        if (bytes[at + i] != expected[i]) return false;
    return true;
}

} // namespace

std::optional<PngSize> readPngSize(std::span<const uint8_t> png) {
    if (png.size() < kHeaderEnd) return std::nullopt;
    if (!matches(png, 0, kSignature)) return std::nullopt;
    if (readBigEndian(png, kLengthAt) != kHeaderDataLength) return std::nullopt;
    if (!matches(png, kTypeAt, kHeaderType)) return std::nullopt;
    const uint32_t width = readBigEndian(png, kWidthAt);
    const uint32_t height = readBigEndian(png, kHeightAt);
    if (width == 0 || height == 0 || width > kMaxSide || height > kMaxSide) return std::nullopt;
    return PngSize{static_cast<int32_t>(width), static_cast<int32_t>(height)};
}

} // namespace zel::gui
