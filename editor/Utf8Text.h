// Small UTF-8 helpers for texts the user edits: character boundaries, counting,
// and cutting a text to a byte budget without splitting a character.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace zel::utf8 {

// True when text is well-formed UTF-8 (no overlong forms, no surrogates).
bool isValid(std::string_view text);
// The byte position of the character after (before) the one at pos; a byte
// that starts no valid character counts as a character of its own.
std::size_t nextBoundary(std::string_view text, std::size_t pos);
std::size_t previousBoundary(std::string_view text, std::size_t pos);
std::size_t countCharacters(std::string_view text);
// The longest start of text of at most maxBytes bytes that ends on a character
// boundary.
std::string cut(std::string_view text, std::size_t maxBytes);

} // namespace zel::utf8
