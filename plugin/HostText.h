// Copies a text into a buffer handed over by the host, never past its capacity.
#pragma once

#include <cstddef>
#include <cstring>

namespace zel {

// Writes at most capacity - 1 characters of text and a terminator into buffer.
inline void copyHostText(char* buffer, const char* text, std::size_t capacity) noexcept {
    if (buffer == nullptr || capacity == 0) return;
    const std::size_t length = text == nullptr ? 0 : strnlen(text, capacity - 1);
    if (length > 0) std::memcpy(buffer, text, length);
    buffer[length] = '\0';
}

} // namespace zel
