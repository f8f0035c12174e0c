#include "editor/Utf8Text.h"

#include <cstdint>

namespace zel::utf8 {

namespace {

bool isContinuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

// Length of the well-formed character starting at pos, 0 when none starts there.
std::size_t characterLength(std::string_view text, std::size_t pos) {
    const auto lead = static_cast<unsigned char>(text[pos]);
    std::size_t length = 0;
    uint32_t lowest = 0;
    uint32_t code = 0;
    if (lead < 0x80) return 1;
    if ((lead & 0xE0) == 0xC0) {
        length = 2;
        lowest = 0x80;
        code = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        lowest = 0x800;
        code = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        lowest = 0x10000;
        code = lead & 0x07;
    } else {
        return 0;
    }
    if (pos + length > text.size()) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        const auto byte = static_cast<unsigned char>(text[pos + i]);
        if (!isContinuation(byte)) return 0;
        code = (code << 6) | (byte & 0x3F);
    }
    const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
    if (code < lowest || code > 0x10FFFF || surrogate) return 0;
    return length;
}

} // namespace

bool isValid(std::string_view text) {
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t length = characterLength(text, pos);
        if (length == 0) return false;
        pos += length;
    }
    return true;
}

std::size_t nextBoundary(std::string_view text, std::size_t pos) {
    if (pos >= text.size()) return text.size();
    const std::size_t length = characterLength(text, pos);
    return pos + (length == 0 ? 1 : length);
}

std::size_t previousBoundary(std::string_view text, std::size_t pos) {
    if (pos == 0) return 0;
    if (pos > text.size()) return text.size();
    // Walk back over at most three continuation bytes to a lead that spans pos.
    for (std::size_t back = 1; back <= 4 && back <= pos; ++back) {
        const std::size_t start = pos - back;
        if (isContinuation(static_cast<unsigned char>(text[start])) && back < 4) continue;
        if (characterLength(text, start) == back) return start;
        break;
    }
    return pos - 1;
}

std::size_t countCharacters(std::string_view text) {
    std::size_t count = 0;
    for (std::size_t pos = 0; pos < text.size(); pos = nextBoundary(text, pos)) ++count;
    return count;
}

std::string cut(std::string_view text, std::size_t maxBytes) {
    std::size_t end = 0;
    while (end < text.size()) {
        const std::size_t next = nextBoundary(text, end);
        if (next > maxBytes) break;
        end = next;
    }
    return std::string(text.substr(0, end));
}

} // namespace zel::utf8
