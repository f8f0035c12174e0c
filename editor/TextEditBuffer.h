// The text of a single-line edit field with its caret and selection, in UTF-8:
// what the in-place text editor shows and changes as keys arrive. The caret
// and the selection anchor are byte positions on character boundaries; the
// selection lies between them.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace zel {

class TextEditBuffer {
public:
    explicit TextEditBuffer(std::size_t maxCharacters);

    // Replaces the text (cut to the character limit); caret at the end, no selection.
    void setText(std::string_view text);
    const std::string& text() const { return content; }
    std::size_t characterCount() const;
    std::size_t maxCharacters() const { return limit; }

    std::size_t caret() const { return caretPos; }
    std::size_t anchor() const { return anchorPos; }
    bool hasSelection() const { return caretPos != anchorPos; }
    std::size_t selectionStart() const;
    std::size_t selectionEnd() const;
    void selectAll();

    // Typing: replaces the selection with text (as many whole characters as the
    // limit allows). True when the text changed.
    bool insert(std::string_view text);
    // Deletes the selection, else the character before (after) the caret.
    bool backspace();
    bool deleteForward();
    // Caret moves; extend keeps the anchor (Shift), else the selection collapses.
    void moveLeft(bool extend);
    void moveRight(bool extend);
    void moveHome(bool extend);
    void moveEnd(bool extend);
    // Puts the caret at a byte position (moved back to a character boundary).
    void setCaret(std::size_t pos, bool extend);

private:
    bool eraseSelection();
    void place(std::size_t pos, bool extend);

    std::size_t limit;
    std::string content;
    std::size_t caretPos = 0;
    std::size_t anchorPos = 0;
};

} // namespace zel
