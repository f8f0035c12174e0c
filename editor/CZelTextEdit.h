// A text label the user edits in place (the program name). A click opens an
// InPlaceTextEditor over the label, centred on it and s + 3 pixels high for
// font size s, with the whole text selected; the label's text follows every
// keystroke. Return, Tab or a loss of focus (a click elsewhere) commits once:
// the label keeps the text (at most 29 bytes, cut on a character boundary),
// and the listener hears valueChanged between beginEdit and endEdit. Escape
// restores the old text and tells nobody. At most one in-place edit is open in
// the whole process; opening one commits another. Removing the label from its
// frame (closing the editor) ends an open edit without committing.
#pragma once

#include "gui/CTextLabel.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

namespace zel {

struct TextEditState;
class InPlaceTextEditor;

class CZelTextEdit : public gui::CTextLabel {
public:
    // Bytes of text kept on entry and on commit.
    static constexpr std::size_t kMaxTextBytes = 29;
    // Characters the editor accepts while typing.
    static constexpr std::size_t kMaxTypedCharacters = 255;

    CZelTextEdit(const gui::CRect& size, gui::IControlListener* listener, int32_t tag,
                 const char* text, gui::CBitmap* background, int32_t style = 0);
    CZelTextEdit(const CZelTextEdit&) = delete;
    CZelTextEdit& operator=(const CZelTextEdit&) = delete;
    ~CZelTextEdit() override;

    void draw(gui::CDrawContext* context) override;
    gui::CMouseEventResult onMouseDown(gui::CPoint& where,
                                       const gui::CButtonState& buttons) override;
    // Stores the value; with a plain value-to-text function the label shows its text.
    void setValue(float value) override;
    bool removed(gui::CFrame* frame) override;

    // True while the in-place editor is open (not the edit gesture of CControl).
    virtual bool isEditing() const { return textEditing; }
    // Copies the text, cut on a character boundary to fit, zero-terminated.
    virtual void getText(char* buffer, std::size_t bufferSize) const;
    using gui::CTextLabel::getText;
    // The colour typed text is shown in; without one, the font colour.
    virtual void setEditTextColor(const gui::CColor& color);

    // Ends the open edit: commit keeps the typed text and tells the listener,
    // cancel restores the text from before. Nothing happens when none is open.
    void commitEditing();
    void cancelEditing();
    // The open editor view, null while not editing.
    InPlaceTextEditor* getTextEditor() const;
    // The label whose in-place edit is open in this process, null when none is.
    static CZelTextEdit* getActiveEdit();
    // The editor's box for a label rectangle (frame coordinates) and font size.
    static gui::CRect editBoxFor(const gui::CRect& labelRect, gui::CCoord fontSize);

private:
    friend class InPlaceTextEditor;
    // The editor's text changed: the label follows.
    void editTextChanged(std::string_view text);
    void startEditing(const gui::CRect& labelRect);
    void finishEditing(bool commit);
    // Closes the editor view and clears the process-wide edit.
    void closeEditor();

    bool textEditing = false;
    // Whether the label takes the keyboard focus on a press; not while editing,
    // so a press on it leaves the focus (and the edit) where it is.
    bool wantedFocus = true;
    gui::CColor editTextColor{255, 255, 255, 255};
    bool hasEditTextColor = false;
    std::unique_ptr<TextEditState> editState;
};

} // namespace zel
