// 32-bit fields in stored images: written in this machine's byte order, read in
// either order. Every read goes through ByteView, which answers zero for a field
// that does not lie wholly inside the bytes it was given; callers check with
// `has` first where a missing field must change what they do.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

namespace zel {

constexpr uint32_t byteSwap32(uint32_t x) noexcept {
    return (x >> 24) | ((x >> 8) & 0x0000FF00u) | ((x << 8) & 0x00FF0000u) | (x << 24);
}

constexpr int32_t byteSwap32(int32_t x) noexcept {
    return static_cast<int32_t>(byteSwap32(static_cast<uint32_t>(x)));
}

// A read-only window on outside bytes, with the byte order to read them in.
class ByteView {
public:
    ByteView() = default;
    ByteView(std::span<const uint8_t> bytes, bool swapped) noexcept
        : bytes_(bytes), swapped_(swapped) {}

    std::size_t size() const noexcept { return bytes_.size(); }
    bool swapped() const noexcept { return swapped_; }
    std::span<const uint8_t> bytes() const noexcept { return bytes_; }

    // True when count bytes starting at offset lie inside the view.
    bool has(std::size_t offset, std::size_t count) const noexcept {
        return offset <= bytes_.size() && count <= bytes_.size() - offset;
    }

    uint8_t u8(std::size_t offset) const noexcept { return has(offset, 1) ? bytes_[offset] : 0; }

    uint32_t u32(std::size_t offset) const noexcept {
        if (!has(offset, 4)) return 0;
        uint32_t x;
        std::memcpy(&x, bytes_.data() + offset, 4);
        return swapped_ ? byteSwap32(x) : x;
    }

    int32_t i32(std::size_t offset) const noexcept { return static_cast<int32_t>(u32(offset)); }
    float f32(std::size_t offset) const noexcept { return std::bit_cast<float>(u32(offset)); }

    // The count bytes at offset, or an empty span when they do not all lie inside.
    std::span<const uint8_t> sub(std::size_t offset, std::size_t count) const noexcept {
        return has(offset, count) ? bytes_.subspan(offset, count) : std::span<const uint8_t>{};
    }
    // Everything from offset to the end (empty past the end).
    std::span<const uint8_t> from(std::size_t offset) const noexcept {
        return offset <= bytes_.size() ? bytes_.subspan(offset) : std::span<const uint8_t>{};
    }

private:
    std::span<const uint8_t> bytes_;
    bool swapped_ = false;
};

// Appends fields in this machine's byte order.
class ByteWriter {
public:
    explicit ByteWriter(std::vector<uint8_t>& out) noexcept : out_(out) {}

    void u8(uint8_t x) { out_.push_back(x); }
    void u32(uint32_t x) { bytes(&x, sizeof x); }
    void i32(int32_t x) { u32(static_cast<uint32_t>(x)); }
    void f32(float x) { u32(std::bit_cast<uint32_t>(x)); }
    void bytes(const void* data, std::size_t count) {
        if (count == 0) return;
        const std::size_t at = out_.size();
        out_.resize(at + count);
        std::memcpy(out_.data() + at, data, count);
    }
    void zeros(std::size_t count) { out_.insert(out_.end(), count, 0); }

private:
    std::vector<uint8_t>& out_;
};

} // namespace zel
