#include "editor/TextEditBuffer.h"

#include "editor/Utf8Text.h"

#include <algorithm>

namespace zel {

TextEditBuffer::TextEditBuffer(std::size_t maxCharacters) : limit(maxCharacters) {}

void TextEditBuffer::setText(std::string_view text) {
    content.clear();
    caretPos = anchorPos = 0;
    insert(text);
}

std::size_t TextEditBuffer::characterCount() const {
    return utf8::countCharacters(content);
}

std::size_t TextEditBuffer::selectionStart() const {
    return std::min(caretPos, anchorPos);
}

std::size_t TextEditBuffer::selectionEnd() const {
    return std::max(caretPos, anchorPos);
}

void TextEditBuffer::selectAll() {
    anchorPos = 0;
    caretPos = content.size();
}

bool TextEditBuffer::eraseSelection() {
    if (!hasSelection()) return false;
    const std::size_t start = selectionStart();
    content.erase(start, selectionEnd() - start);
    caretPos = anchorPos = start;
    return true;
}

bool TextEditBuffer::insert(std::string_view text) {
    bool changed = eraseSelection();
    // Whole characters only, as many as the limit leaves room for.
    std::size_t room = limit - std::min(limit, characterCount());
    std::size_t end = 0;
    while (end < text.size() && room > 0) {
        end = utf8::nextBoundary(text, end);
        --room;
    }
    if (end == 0) return changed;
    content.insert(caretPos, text.substr(0, end));
    caretPos += end;
    anchorPos = caretPos;
    return true;
}

bool TextEditBuffer::backspace() {
    if (eraseSelection()) return true;
    if (caretPos == 0) return false;
    const std::size_t start = utf8::previousBoundary(content, caretPos);
    content.erase(start, caretPos - start);
    caretPos = anchorPos = start;
    return true;
}

bool TextEditBuffer::deleteForward() {
    if (eraseSelection()) return true;
    if (caretPos >= content.size()) return false;
    content.erase(caretPos, utf8::nextBoundary(content, caretPos) - caretPos);
    return true;
}

void TextEditBuffer::place(std::size_t pos, bool extend) {
    caretPos = std::min(pos, content.size());
    if (!extend) anchorPos = caretPos;
}

void TextEditBuffer::moveLeft(bool extend) {
    // Without Shift a selection collapses to its start, as edit fields do.
    if (!extend && hasSelection())
        place(selectionStart(), false);
    else
        place(utf8::previousBoundary(content, caretPos), extend);
}

void TextEditBuffer::moveRight(bool extend) {
    if (!extend && hasSelection())
        place(selectionEnd(), false);
    else
        place(utf8::nextBoundary(content, caretPos), extend);
}

void TextEditBuffer::moveHome(bool extend) {
    place(0, extend);
}

void TextEditBuffer::moveEnd(bool extend) {
    place(content.size(), extend);
}

void TextEditBuffer::setCaret(std::size_t pos, bool extend) {
    pos = std::min(pos, content.size());
    std::size_t boundary = 0;
    while (boundary < pos) {
        const std::size_t next = utf8::nextBoundary(content, boundary);
        if (next > pos) break;
        boundary = next;
    }
    place(boundary, extend);
}

} // namespace zel
