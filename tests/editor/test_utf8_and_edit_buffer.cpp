// UTF-8 boundaries and cutting, and the edit field's text model: typing over
// the selection, deleting, caret moves with and without Shift, the limit.
#include "editor/TextEditBuffer.h"
#include "editor/Utf8Text.h"

#include <gtest/gtest.h>

namespace zel {
namespace {

// "é" is 2 bytes, "€" 3 bytes, "𝄞" 4 bytes.
constexpr const char* kE = "\xC3\xA9";
constexpr const char* kEuro = "\xE2\x82\xAC";
constexpr const char* kClef = "\xF0\x9D\x84\x9E";

std::string repeat(const char* piece, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) out += piece;
    return out;
}

TEST(Utf8Text, CutNeverSplitsACharacter) {
    const std::string mixed = repeat(kE, 5) + repeat(kEuro, 8); // 10 + 24 = 34 bytes
    for (std::size_t budget = 0; budget <= mixed.size() + 2; ++budget) {
        const std::string kept = utf8::cut(mixed, budget);
        EXPECT_LE(kept.size(), budget);
        EXPECT_TRUE(utf8::isValid(kept)) << "budget " << budget;
        EXPECT_EQ(mixed.compare(0, kept.size(), kept), 0);
        // Nothing more would have fitted.
        if (kept.size() < mixed.size()) {
            EXPECT_GT(utf8::nextBoundary(mixed, kept.size()), budget);
        }
    }
    EXPECT_EQ(utf8::cut(mixed, 29), repeat(kE, 5) + repeat(kEuro, 6)); // 28 bytes
    EXPECT_EQ(utf8::cut(repeat(kClef, 8), 29), repeat(kClef, 7));      // 28 bytes
    EXPECT_EQ(utf8::cut("ascii only and longer than the budget", 29).size(), 29u);
}

TEST(Utf8Text, BoundariesAndCountsTreatBrokenBytesAsCharactersOfTheirOwn) {
    const std::string text = std::string("a") + kEuro + kClef + "b";
    EXPECT_EQ(utf8::countCharacters(text), 4u);
    EXPECT_EQ(utf8::nextBoundary(text, 0), 1u);
    EXPECT_EQ(utf8::nextBoundary(text, 1), 4u);
    EXPECT_EQ(utf8::nextBoundary(text, 4), 8u);
    EXPECT_EQ(utf8::previousBoundary(text, 8), 4u);
    EXPECT_EQ(utf8::previousBoundary(text, 4), 1u);
    EXPECT_TRUE(utf8::isValid(text));

    const std::string broken = "x\xE2\x82y\x80\xC0\xAF"; // cut-off euro, stray, overlong
    EXPECT_FALSE(utf8::isValid(broken));
    std::size_t steps = 0;
    for (std::size_t pos = 0; pos < broken.size(); pos = utf8::nextBoundary(broken, pos)) ++steps;
    EXPECT_EQ(steps, broken.size()) << "every broken byte is one step";
    for (std::size_t pos = broken.size(); pos > 0;) {
        const std::size_t back = utf8::previousBoundary(broken, pos);
        EXPECT_EQ(back, pos - 1);
        pos = back;
    }
    EXPECT_FALSE(utf8::isValid("\xED\xA0\x80"));     // a surrogate
    EXPECT_FALSE(utf8::isValid("\xF4\x90\x80\x80")); // beyond U+10FFFF
}

TEST(TextEditBuffer, TypingReplacesTheSelectionAndEditingKeysWorkOnCharacters) {
    TextEditBuffer buffer(255);
    buffer.setText("Init");
    buffer.selectAll();
    EXPECT_EQ(buffer.selectionStart(), 0u);
    EXPECT_EQ(buffer.selectionEnd(), 4u);
    EXPECT_TRUE(buffer.insert("A"));
    EXPECT_EQ(buffer.text(), "A");
    buffer.insert(kEuro);
    buffer.insert("b");
    EXPECT_EQ(buffer.text(), std::string("A") + kEuro + "b");
    buffer.moveLeft(false);
    EXPECT_TRUE(buffer.backspace()); // removes the whole euro sign
    EXPECT_EQ(buffer.text(), "Ab");
    buffer.moveHome(false);
    EXPECT_TRUE(buffer.deleteForward());
    EXPECT_EQ(buffer.text(), "b");
    EXPECT_FALSE(buffer.backspace()) << "nothing before the caret";
    buffer.moveEnd(false);
    EXPECT_FALSE(buffer.deleteForward()) << "nothing after the caret";
    buffer.insert("cd");
    buffer.moveLeft(true);
    buffer.moveLeft(true);
    EXPECT_EQ(buffer.selectionStart(), 1u);
    EXPECT_EQ(buffer.selectionEnd(), 3u);
    buffer.insert("X");
    EXPECT_EQ(buffer.text(), "bX");
    buffer.moveHome(true);
    EXPECT_TRUE(buffer.hasSelection());
    EXPECT_TRUE(buffer.deleteForward());
    EXPECT_EQ(buffer.text(), "");
}

TEST(TextEditBuffer, ArrowsWithoutShiftCollapseTheSelectionToItsEnds) {
    TextEditBuffer buffer(255);
    buffer.setText("hello");
    buffer.selectAll();
    buffer.moveLeft(false);
    EXPECT_FALSE(buffer.hasSelection());
    EXPECT_EQ(buffer.caret(), 0u);
    buffer.moveEnd(true);
    buffer.moveRight(false);
    EXPECT_EQ(buffer.caret(), 5u);
    buffer.moveHome(false);
    buffer.moveRight(true);
    buffer.moveRight(true);
    buffer.moveEnd(true);
    EXPECT_EQ(buffer.selectionStart(), 0u);
    EXPECT_EQ(buffer.selectionEnd(), 5u);
    buffer.moveLeft(true);
    EXPECT_EQ(buffer.selectionEnd(), 4u);
    buffer.setCaret(2, false);
    EXPECT_EQ(buffer.caret(), 2u);
}

TEST(TextEditBuffer, AcceptsWholeCharactersUpToItsLimit) {
    TextEditBuffer buffer(255);
    for (int i = 0; i < 300; ++i) buffer.insert(kEuro);
    EXPECT_EQ(buffer.characterCount(), 255u);
    EXPECT_EQ(buffer.text().size(), 255u * 3);
    EXPECT_FALSE(buffer.insert("x"));

    TextEditBuffer small(3);
    small.setText("abcdef");
    EXPECT_EQ(small.text(), "abc");
    small.moveLeft(true);
    EXPECT_TRUE(small.insert("xyz")) << "the selection goes, one character fits";
    EXPECT_EQ(small.text(), "abx");
    small.setCaret(5, false);
    EXPECT_EQ(small.caret(), 3u);
}

TEST(TextEditBuffer, CaretNeverStopsInsideACharacter) {
    TextEditBuffer buffer(255);
    buffer.setText(std::string(kClef) + kE);
    for (std::size_t pos = 0; pos <= buffer.text().size(); ++pos) {
        buffer.setCaret(pos, false);
        EXPECT_TRUE(buffer.caret() == 0 || buffer.caret() == 4 || buffer.caret() == 6)
            << "position " << pos;
    }
}

} // namespace
} // namespace zel
