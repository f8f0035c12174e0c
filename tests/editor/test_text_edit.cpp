// The in-place text edit of a label: what a click opens, typing and editing
// keys, the label following each keystroke, commit by Return, Tab or a click
// elsewhere (once, told once), Escape (told nobody), the 29-byte budget on
// UTF-8 character boundaries, and closing the frame in the middle of an edit.
#include "EditorTestSupport.h"
#include "editor/CZelTextEdit.h"
#include "editor/InPlaceTextEditor.h"
#include "editor/Utf8Text.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>

namespace zel::test {
namespace {

constexpr CColor kLabelBack{200, 210, 220, 255};
constexpr CColor kFace{40, 40, 40, 255};
constexpr int32_t kTag = 149;

std::string repeat(const char* piece, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) out += piece;
    return out;
}

struct TextEditFixture : ::testing::Test {
    RecordingEditor editor;
    RecordingListener listener;
    TestFrame* frame = new TestFrame(CRect(0, 0, 300, 120), &editor);
    CZelTextEdit* label = nullptr;
    int64_t liveAtStart = 0;

    TextEditFixture() {
        CBitmap* face = makeSolid(300, 120, kFace);
        frame->setBackground(face);
        face->forget();
        label = makeLabel(CRect(100, 50, 200, 65), "Init");
    }
    ~TextEditFixture() override {
        if (frame) frame->close();
        EXPECT_EQ(CZelTextEdit::getActiveEdit(), nullptr);
    }
    CZelTextEdit* makeLabel(const CRect& rect, const char* text) {
        CBitmap* back = makeSolid(300, 120, kLabelBack);
        auto* made = new CZelTextEdit(rect, &listener, kTag, text, back);
        back->forget();
        made->setBackOffset(rect.getTopLeft());
        made->setFont(kNormalFontVerySmall);
        made->setFontColor(CColor{10, 10, 10, 255});
        frame->addView(made);
        return made;
    }
    InPlaceTextEditor* textEditor() { return label->getTextEditor(); }
    std::string typed() { return textEditor() ? textEditor()->getBuffer().text() : "<closed>"; }
    void typeText(const std::string& text) {
        for (std::size_t pos = 0; pos < text.size();) {
            const std::size_t next = utf8::nextBoundary(text, pos);
            frame->type(text.substr(pos, next - pos).c_str());
            pos = next;
        }
    }
    // Pixels of the given colour inside a rectangle of the frame.
    int count(const CColor& colour, const CRect& area) {
        frame->idle();
        int found = 0;
        for (int y = static_cast<int>(area.top); y < area.bottom; ++y)
            for (int x = static_cast<int>(area.left); x < area.right; ++x)
                if (frame->pixel(x, y) == colour) ++found;
        return found;
    }
};

TEST_F(TextEditFixture, ClickOpensAnEditorOverTheLabelWithTheWholeTextSelected) {
    frame->click(150, 57);
    ASSERT_TRUE(label->isEditing());
    ASSERT_NE(textEditor(), nullptr);
    EXPECT_EQ(CZelTextEdit::getActiveEdit(), label);
    EXPECT_EQ(typed(), "Init");
    EXPECT_EQ(textEditor()->getBuffer().selectionStart(), 0u);
    EXPECT_EQ(textEditor()->getBuffer().selectionEnd(), 4u);
    EXPECT_STREQ(label->getText(), "") << "the label shows its background alone";
    EXPECT_EQ(frame->getFocusView(), textEditor());
    // 9-pixel font: 12 pixels high, centred on the label moved up by one pixel.
    EXPECT_EQ(textEditor()->getEditBox(), CRect(100, 50, 200, 62));
    EXPECT_EQ(textEditor()->getViewSize(), CRect(100, 50, 200, 65)) << "and the label below it";
    EXPECT_EQ(textEditor()->getTextColor(), (CColor{10, 10, 10, 255}));
    // Drawn: the selection over the label's background, nothing of the face.
    EXPECT_GT(count(InPlaceTextEditor::kSelectionColor, CRect(100, 50, 200, 62)), 20);
    EXPECT_EQ(count(kFace, CRect(100, 50, 200, 62)), 0);
    EXPECT_TRUE(listener.values.empty());
}

TEST_F(TextEditFixture, EditBoxIsFontSizePlusThreeHighAndCentredWhateverTheLabelsHeight) {
    EXPECT_EQ(CZelTextEdit::editBoxFor(CRect(146, 552.5, 262, 567.5), 11),
              CRect(146, 553, 262, 567));
    EXPECT_EQ(CZelTextEdit::editBoxFor(CRect(0, 0, 50, 100), 9), CRect(0, 44, 50, 56));
    EXPECT_EQ(CZelTextEdit::editBoxFor(CRect(0, 0, 50, 100), 20).getHeight(), 23);
}

TEST_F(TextEditFixture, TypingReplacesTheSelectionAndTheLabelFollowsEachKeystroke) {
    frame->click(150, 57);
    std::vector<std::string> labelTexts;
    for (const char* key : {"B", "a", "s", "s"}) {
        frame->type(key);
        labelTexts.push_back(label->getText());
    }
    EXPECT_EQ(labelTexts, (std::vector<std::string>{"B", "Ba", "Bas", "Bass"}));
    frame->key(VKEY_BACK);
    EXPECT_STREQ(label->getText(), "Bas");
    frame->key(VKEY_HOME);
    frame->key(VKEY_DELETE);
    EXPECT_STREQ(label->getText(), "as");
    frame->key(VKEY_RIGHT);
    frame->type("-");
    EXPECT_STREQ(label->getText(), "a-s");
    frame->key(VKEY_END);
    frame->key(VKEY_LEFT, MODIFIER_SHIFT);
    frame->key(VKEY_LEFT, MODIFIER_SHIFT);
    frame->type("!");
    EXPECT_STREQ(label->getText(), "a!");
    frame->key(VKEY_HOME, MODIFIER_SHIFT);
    frame->type(" ");
    EXPECT_STREQ(label->getText(), " ");
    frame->key(VKEY_END);
    frame->key(VKEY_HOME, MODIFIER_SHIFT);
    frame->key(VKEY_BACK);
    EXPECT_STREQ(label->getText(), "");
    EXPECT_TRUE(listener.values.empty()) << "nobody is told before the commit";
    EXPECT_TRUE(label->isEditing());
    EXPECT_EQ(count(InPlaceTextEditor::kSelectionColor, CRect(100, 50, 200, 62)), 0);
}

TEST_F(TextEditFixture, ReturnTabAndClickElsewhereEachCommitOnceAndTellTheListenerOnce) {
    const std::vector<std::function<void()>> commits = {
        [&] { frame->key(VKEY_RETURN); }, [&] { frame->key(VKEY_TAB); },
        [&] { frame->click(20, 20); },             // the face, outside every view
        [&] { frame->platformOnActivate(false); }, // the window loses the focus
    };
    int round = 0;
    for (const auto& commit : commits) {
        frame->now += 10;
        frame->click(150, 57);
        ASSERT_TRUE(label->isEditing()) << "round " << round;
        const std::string name = "Name " + std::to_string(round);
        typeText(name);
        commit();
        EXPECT_FALSE(label->isEditing()) << "round " << round;
        EXPECT_EQ(label->getTextEditor(), nullptr);
        EXPECT_EQ(CZelTextEdit::getActiveEdit(), nullptr);
        EXPECT_EQ(frame->getNbViews(), 1) << "the editor view is gone";
        EXPECT_EQ(frame->getFocusView(), nullptr);
        ASSERT_EQ(listener.controls.size(), static_cast<size_t>(round + 1));
        EXPECT_STREQ(label->getText(), name.c_str());
        ++round;
        // Nothing more is told afterwards, whatever happens.
        frame->platformOnActivate(false);
        frame->click(20, 20);
        EXPECT_EQ(listener.controls.size(), static_cast<size_t>(round));
    }
    EXPECT_EQ(listener.begins, round);
    EXPECT_EQ(listener.ends, round);
    EXPECT_EQ(editor.gestures.size(), static_cast<size_t>(2 * round));
    // The label draws its text again: dark pixels on its light background.
    frame->idle();
    int dark = 0;
    for (int y = 50; y < 65; ++y)
        for (int x = 100; x < 200; ++x)
            if (frame->pixel(x, y).red < 100) ++dark;
    EXPECT_GT(dark, 5);
}

TEST_F(TextEditFixture, ListenerFindsTheNewTextAndTheTextToValueFunctionRuns) {
    label->setString2FloatConvert(
        [](char* text, float& value) { value = std::strtof(text, nullptr); });
    label->setMax(100.f);
    std::string heard;
    struct Listener : IControlListener {
        std::string* heard;
        void valueChanged(CControl* control) override {
            auto* edit = static_cast<CZelTextEdit*>(control);
            char buffer[64];
            edit->getText(buffer, sizeof buffer);
            *heard = std::string(buffer) + "=" +
                     std::to_string(static_cast<int>(edit->getValue())) +
                     (edit->isEditing() ? " editing" : "");
        }
    } told;
    told.heard = &heard;
    label->setListener(&told);
    frame->click(150, 57);
    typeText("42");
    frame->key(VKEY_RETURN);
    EXPECT_EQ(heard, "42=42");
}

TEST_F(TextEditFixture, EscapeRestoresTheOldTextAndTellsNobody) {
    frame->click(150, 57);
    typeText("Other");
    EXPECT_STREQ(label->getText(), "Other");
    frame->key(VKEY_ESCAPE);
    EXPECT_FALSE(label->isEditing());
    EXPECT_STREQ(label->getText(), "Init");
    EXPECT_TRUE(listener.values.empty());
    EXPECT_EQ(listener.begins, 0);
    EXPECT_TRUE(editor.gestures.empty());
    EXPECT_EQ(CZelTextEdit::getActiveEdit(), nullptr);
    frame->platformOnActivate(false);
    EXPECT_TRUE(listener.values.empty());
}

TEST_F(TextEditFixture, ASecondClickWhileEditingDoesNothing) {
    frame->click(150, 57);
    frame->key(VKEY_END);
    typeText("X");
    frame->now += 10;
    frame->click(150, 57); // on the editor
    frame->now += 10;
    frame->click(150, 64); // on the label below the editor's box
    EXPECT_TRUE(label->isEditing());
    EXPECT_EQ(typed(), "InitX");
    EXPECT_FALSE(textEditor()->getBuffer().hasSelection());
    EXPECT_TRUE(listener.values.empty());
}

TEST_F(TextEditFixture, TextIsKeptToTwentyNineBytesOnCharacterBoundaries) {
    const std::string e = "\xC3\xA9";        // 2 bytes
    const std::string euro = "\xE2\x82\xAC"; // 3 bytes
    // 9 x 2 + 5 x 3 = 33 bytes; byte 29 lies inside the fourth euro sign.
    label->setText((repeat(e.c_str(), 9) + repeat(euro.c_str(), 5)).c_str());
    frame->click(150, 57);
    const std::string entry = repeat(e.c_str(), 9) + repeat(euro.c_str(), 3); // 27 bytes
    EXPECT_EQ(typed(), entry);
    frame->key(VKEY_END);
    typeText("a"); // 28 bytes
    EXPECT_EQ(std::string(label->getText()), entry + "a");
    typeText(euro + "b"); // 32 bytes typed: the euro sign would end at byte 31
    EXPECT_EQ(typed(), entry + "a" + euro + "b");
    EXPECT_EQ(std::string(label->getText()), entry + "a");
    frame->key(VKEY_RETURN);
    EXPECT_EQ(std::string(label->getText()), entry + "a");
    EXPECT_TRUE(utf8::isValid(label->getText()));

    frame->now += 10;
    frame->click(150, 57);
    const std::string exact =
        std::string("a").append(repeat(euro.c_str(), 9)).append("b"); // 1 + 27 + 1 = 29 bytes
    typeText(exact);
    frame->key(VKEY_RETURN);
    EXPECT_EQ(std::string(label->getText()), exact);
}

TEST_F(TextEditFixture, TheEditorTakesUpTo255CharactersWhileTyping) {
    frame->click(150, 57);
    typeText(std::string(300, 'x'));
    EXPECT_EQ(typed().size(), 255u);
    EXPECT_EQ(std::string(label->getText()), std::string(29, 'x'));
    frame->key(VKEY_RETURN);
    EXPECT_EQ(std::string(label->getText()), std::string(29, 'x'));
}

TEST_F(TextEditFixture, TextThatIsNoUtf8StartsAnEmptyEdit) {
    label->setText("Caf\xE9"); // a Latin-1 byte
    frame->click(150, 57);
    EXPECT_EQ(typed(), "");
    frame->key(VKEY_ESCAPE);
    EXPECT_STREQ(label->getText(), "Caf\xE9");
}

TEST_F(TextEditFixture, OpeningAnotherLabelsEditCommitsTheFirst) {
    CZelTextEdit* second = makeLabel(CRect(100, 80, 200, 95), "Two");
    frame->click(150, 57);
    typeText("One");
    frame->now += 10;
    frame->click(150, 87);
    EXPECT_FALSE(label->isEditing());
    EXPECT_STREQ(label->getText(), "One");
    EXPECT_TRUE(second->isEditing());
    EXPECT_EQ(CZelTextEdit::getActiveEdit(), second);
    ASSERT_EQ(listener.controls.size(), 1u);
    EXPECT_EQ(listener.controls[0], label);
    frame->key(VKEY_ESCAPE);
    EXPECT_STREQ(second->getText(), "Two");
}

TEST_F(TextEditFixture, AlignmentOfTheLabelIsTheEditorsAlignment) {
    // The selection covers the text, so its extent (in its top row, above the
    // letters) shows where the text sits.
    auto selectionExtent = [&](CHoriTxtAlign align) {
        label->setHoriAlign(align);
        frame->now += 10;
        frame->click(150, 57);
        frame->idle();
        int first = -1, last = -1;
        for (int x = 100; x < 200; ++x)
            if (frame->pixel(x, 51) == InPlaceTextEditor::kSelectionColor) {
                if (first < 0) first = x;
                last = x;
            }
        frame->key(VKEY_ESCAPE);
        return std::make_pair(first, last);
    };
    const auto left = selectionExtent(kLeftText);
    const auto centre = selectionExtent(kCenterText);
    const auto right = selectionExtent(kRightText);
    EXPECT_EQ(left.first, 100);
    EXPECT_LT(left.second, 150);
    EXPECT_EQ(right.second, 199);
    EXPECT_GT(right.first, 150);
    EXPECT_NEAR((centre.first + centre.second) / 2.0, 150, 2);
}

TEST_F(TextEditFixture, ClosingTheFrameWhileEditingEndsTheEditWithoutACommit) {
    const int64_t liveBefore = CBaseObject::getLiveObjectCount();
    frame->click(150, 57);
    typeText("Lost");
    frame->close();
    frame = nullptr;
    EXPECT_EQ(CZelTextEdit::getActiveEdit(), nullptr);
    EXPECT_TRUE(listener.values.empty());
    EXPECT_EQ(listener.begins, 0);
    // The frame, its background, the label and its bitmap were alive before.
    EXPECT_LT(CBaseObject::getLiveObjectCount(), liveBefore);
}

TEST_F(TextEditFixture, RemovingTheLabelWhileEditingRestoresItsTextAndLeavesNoEditor) {
    label->remember(); // kept alive past its removal
    frame->click(150, 57);
    typeText("Gone");
    frame->removeView(label);
    EXPECT_FALSE(label->isEditing());
    EXPECT_STREQ(label->getText(), "Init");
    EXPECT_EQ(frame->getNbViews(), 0);
    EXPECT_EQ(CZelTextEdit::getActiveEdit(), nullptr);
    EXPECT_TRUE(listener.values.empty());
    label->forget();
}

TEST_F(TextEditFixture, ValueWithAPlainTextFunctionBecomesTheLabelsText) {
    label->setStringConvert([](float value, char* text) {
        std::snprintf(text, CParamDisplay::kTextSize, "%d%%", static_cast<int>(value * 100));
    });
    label->setValue(0.25f);
    EXPECT_STREQ(label->getText(), "25%");
    char small[3];
    label->getText(small, sizeof small);
    EXPECT_STREQ(small, "25");
}

} // namespace
} // namespace zel::test
