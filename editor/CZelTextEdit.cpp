#include "editor/CZelTextEdit.h"

#include "editor/InPlaceTextEditor.h"
#include "editor/TextEditState.h"
#include "editor/Utf8Text.h"
#include "gui/CFontDesc.h"
#include "gui/CFrame.h"

#include <cstring>
#include <string>

namespace zel {

using namespace gui;

namespace {

// The one in-place edit open in this process, null when none is.
TextEditState* activeTextEditState = nullptr;

// Holds a reference while a step may let the last other holder go.
class KeepAlive {
public:
    explicit KeepAlive(CBaseObject* object) : held(object) { held->remember(); }
    ~KeepAlive() { held->forget(); }
    KeepAlive(const KeepAlive&) = delete;
    KeepAlive& operator=(const KeepAlive&) = delete;

private:
    CBaseObject* held;
};

CCoord fontSizeOf(CFontRef font) {
    return font ? font->getSize() : kNormalFont->getSize();
}

} // namespace

CZelTextEdit::CZelTextEdit(const CRect& rect, IControlListener* l, int32_t t,
                           const char* initialText, CBitmap* background, int32_t labelStyle)
    : CTextLabel(rect, initialText, background, labelStyle), editState(new TextEditState) {
    editState->owner = this;
    setListener(l);
    setTag(t);
}

CZelTextEdit::~CZelTextEdit() {
    if (textEditing) {
        textEditing = false;
        closeEditor();
    }
    if (activeTextEditState == editState.get()) activeTextEditState = nullptr;
}

CZelTextEdit* CZelTextEdit::getActiveEdit() {
    return activeTextEditState ? activeTextEditState->owner : nullptr;
}

InPlaceTextEditor* CZelTextEdit::getTextEditor() const {
    return editState ? editState->editor : nullptr;
}

CRect CZelTextEdit::editBoxFor(const CRect& r, CCoord s) {
    // Centred on the label, s + 3 pixels high, whatever the label's height.
    const auto left = static_cast<int32_t>(r.left);
    const auto width = static_cast<int32_t>(r.right - r.left);
    const auto centre = static_cast<int32_t>((r.top + r.bottom) * 0.5);
    const auto top = static_cast<int32_t>(centre - s + (s * 0.5 - 1));
    const auto height = static_cast<int32_t>(s + 3);
    return CRect(left, top, left + width, top + height);
}

void CZelTextEdit::draw(CDrawContext* context) {
    if (pBackground) drawBack(context);
    if (!textEditing) drawText(context, text.c_str());
    setDirty(false);
}

CMouseEventResult CZelTextEdit::onMouseDown(CPoint& where, const CButtonState& buttons) {
    if (textEditing || !editState) return kMouseEventHandled;
    if (!getFrame()) return kMouseEventHandled;
    CPoint origin(0, 0);
    localToFrame(origin);
    CRect r = size;
    r.offset(origin.x, origin.y);
    r.offset(0, -1);
    startEditing(r);
    return kMouseEventHandled;
}

void CZelTextEdit::startEditing(const CRect& r) {
    // Opening an edit takes the focus from any other open one, which commits it.
    if (CZelTextEdit* other = getActiveEdit(); other && other != this) other->commitEditing();
    CFrame* frame = getFrame();
    if (!frame) return;

    TextEditState& state = *editState;
    state.frame = frame;
    const std::string before = utf8::cut(text, kMaxTextBytes);
    std::memcpy(state.textBeforeEdit, before.c_str(), before.size() + 1);
    // Text that is no UTF-8 cannot be shown; the edit starts empty then.
    const std::string shown = utf8::isValid(before) ? before : std::string();

    textEditing = true;
    setDirty(true);
    activeTextEditState = &state;
    wantedFocus = wantsFocus();
    setWantsFocus(false);

    const CRect box = editBoxFor(r, fontSizeOf(fontID));
    state.x = static_cast<int32_t>(box.left);
    state.y = static_cast<int32_t>(box.top);
    state.right = static_cast<int32_t>(box.right);
    state.bottom = static_cast<int32_t>(box.bottom);
    state.width = static_cast<int32_t>(box.getWidth());
    state.height = static_cast<int32_t>(box.getHeight());
    // The label's background shows alone under the editor.
    setText("");
    state.textColor = hasEditTextColor ? editTextColor : fontColor;
    state.textColor.alpha = 255;

    auto* editor = new InPlaceTextEditor(box, this, shown, state.textColor);
    editor->remember(); // the state's reference; the frame takes the creator's
    state.editor = editor;
    frame->addView(editor);
    frame->setFocusView(editor);
    invalid();
}

void CZelTextEdit::editTextChanged(std::string_view typed) {
    setText(utf8::cut(typed, kMaxTextBytes).c_str());
}

void CZelTextEdit::commitEditing() {
    if (!textEditing || !editState->editor) return;
    KeepAlive self(this);
    const std::string typed = utf8::cut(editState->editor->getBuffer().text(), kMaxTextBytes);
    CFrame* frame = editState->frame;
    closeEditor();
    setText(typed.c_str());
    finishEditing(true);
    if (frame) frame->setKeyboardFocus();
}

void CZelTextEdit::cancelEditing() {
    if (!textEditing || !editState->editor) return;
    KeepAlive self(this);
    CFrame* frame = editState->frame;
    closeEditor();
    setText(editState->textBeforeEdit);
    finishEditing(false);
    if (frame) frame->setKeyboardFocus();
}

void CZelTextEdit::finishEditing(bool commit) {
    textEditing = false;
    setDirty(true);
    if (commit) {
        beginEdit();
        if (string2Float) {
            std::string buffer = text;
            float converted = getValue();
            string2Float(buffer.data(), converted);
            CControl::setValue(converted);
        }
        valueChanged();
        endEdit();
    }
    invalid();
}

void CZelTextEdit::closeEditor() {
    TextEditState& state = *editState;
    if (activeTextEditState == &state) activeTextEditState = nullptr;
    InPlaceTextEditor* editor = state.editor;
    CFrame* frame = state.frame;
    state.editor = nullptr;
    state.frame = nullptr;
    if (!editor) return;
    setWantsFocus(wantedFocus);
    editor->detach();
    if (frame && frame->isChild(editor)) frame->removeView(editor);
    editor->forget();
}

bool CZelTextEdit::removed(CFrame* frame) {
    // The editor closes (or this label leaves it): the edit ends without a
    // commit and the label keeps the text it had before.
    if (textEditing) {
        textEditing = false;
        closeEditor();
        setText(editState->textBeforeEdit);
    }
    return CTextLabel::removed(frame);
}

void CZelTextEdit::setValue(float val) {
    CControl::setValue(val);
    if (stringConvert) {
        char buffer[kTextSize] = "";
        stringConvert(getValue(), buffer);
        buffer[kTextSize - 1] = '\0';
        setText(buffer);
    }
}

void CZelTextEdit::getText(char* buffer, std::size_t bufferSize) const {
    if (!buffer || bufferSize == 0) return;
    const std::string kept = utf8::cut(text, bufferSize - 1);
    std::memcpy(buffer, kept.c_str(), kept.size() + 1);
}

void CZelTextEdit::setEditTextColor(const CColor& color) {
    editTextColor = color;
    hasEditTextColor = true;
}

} // namespace zel
