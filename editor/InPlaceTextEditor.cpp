#include "editor/InPlaceTextEditor.h"

#include "editor/CZelTextEdit.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace zel {

using namespace gui;

namespace {

// The caret and the selection leave a pixel free at the top and bottom.
constexpr CCoord kCaretInset = 1;

CCoord widthOf(CDrawContext* context, std::string_view text) {
    if (text.empty()) return 0;
    return context->getStringWidth(std::string(text).c_str());
}

} // namespace

InPlaceTextEditor::InPlaceTextEditor(const CRect& editBox, CZelTextEdit* label,
                                     std::string_view text, const CColor& color)
    : CView(CRect(editBox).unite(label->getViewSize())), box(editBox), owner(label),
      buffer(CZelTextEdit::kMaxTypedCharacters), textColor(color) {
    buffer.setText(text);
    buffer.selectAll();
    setWantsFocus(true);
}

InPlaceTextEditor::~InPlaceTextEditor() = default;

CCoord InPlaceTextEditor::textOrigin(CDrawContext* context) {
    const std::string& text = buffer.text();
    const CCoord boxWidth = box.getWidth();
    const CCoord textWidth = widthOf(context, text);
    if (textWidth <= boxWidth) {
        scroll = 0;
        switch (owner->getHoriAlign()) {
        case kCenterText:
            return box.left + (boxWidth - textWidth) / 2;
        case kRightText:
            return box.right - textWidth;
        default:
            return box.left;
        }
    }
    // Longer than the box: scroll so that the caret stays visible.
    const CCoord caretX = widthOf(context, std::string_view(text).substr(0, buffer.caret()));
    if (caretX - scroll < 0) scroll = caretX;
    if (caretX - scroll > boxWidth - 1) scroll = caretX - boxWidth + 1;
    scroll = std::clamp<CCoord>(scroll, 0, textWidth - boxWidth + 1);
    return box.left - scroll;
}

void InPlaceTextEditor::draw(CDrawContext* context) {
    if (!owner) return;
    context->saveGlobalState();
    CRect clip = context->getClipRect();
    clip.bound(box);
    context->setClipRect(clip);
    // The label's own background, which the label draws without its text now.
    owner->drawBack(context);

    context->setFont(owner->getFont());
    const std::string_view text = buffer.text();
    const CCoord x0 = textOrigin(context);
    const std::size_t start = buffer.selectionStart();
    const std::size_t end = buffer.selectionEnd();
    const CCoord xStart = x0 + widthOf(context, text.substr(0, start));
    const CCoord xEnd = x0 + widthOf(context, text.substr(0, end));
    if (end > start) {
        context->setFillColor(kSelectionColor);
        context->fillRect(CRect(xStart, box.top + kCaretInset, xEnd, box.bottom - kCaretInset));
    }
    auto drawPiece = [&](std::string_view piece, CCoord x, const CColor& color) {
        if (piece.empty()) return;
        context->setFontColor(color);
        const CCoord width = widthOf(context, piece);
        context->drawString(std::string(piece).c_str(),
                            CRect(x, box.top, x + width + 1, box.bottom), kLeftText,
                            owner->getAntialias());
    };
    drawPiece(text.substr(0, start), x0, textColor);
    drawPiece(text.substr(start, end - start), xStart, kSelectedTextColor);
    drawPiece(text.substr(end), xEnd, textColor);
    if (end == start) {
        const CCoord caretX =
            std::floor(x0 + widthOf(context, text.substr(0, buffer.caret()))) + 0.5;
        context->setFrameColor(textColor);
        context->setLineWidth(1);
        context->drawLine(CPoint(caretX, box.top + kCaretInset),
                          CPoint(caretX, box.bottom - kCaretInset));
    }
    context->restoreGlobalState();
    setDirty(false);
}

CMouseEventResult InPlaceTextEditor::onMouseDown(CPoint& where, const CButtonState& buttons) {
    // A click on the open edit changes nothing.
    return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
}

int32_t InPlaceTextEditor::onKeyDown(VstKeyCode& key) {
    if (!owner) return -1;
    const bool shift = (key.modifier & MODIFIER_SHIFT) != 0;
    const bool command = (key.modifier & MODIFIER_COMMAND) != 0;
    bool changed = false;
    switch (key.virt) {
    case VKEY_RETURN:
    case VKEY_ENTER:
    case VKEY_TAB:
        owner->commitEditing();
        return 1;
    case VKEY_ESCAPE:
        owner->cancelEditing();
        return 1;
    case VKEY_BACK:
        changed = buffer.backspace();
        break;
    case VKEY_DELETE:
        changed = buffer.deleteForward();
        break;
    case VKEY_LEFT:
        buffer.moveLeft(shift);
        break;
    case VKEY_RIGHT:
        buffer.moveRight(shift);
        break;
    case VKEY_HOME:
        buffer.moveHome(shift);
        break;
    case VKEY_END:
        buffer.moveEnd(shift);
        break;
    case VKEY_SPACE:
        changed = buffer.insert(" ");
        break;
    case VKEY_NONE:
        if (command && (key.character == 'a' || key.character == 'A'))
            buffer.selectAll();
        else if (!command && key.character >= 0x20 && key.character != 0x7f && key.utf8[0])
            changed = buffer.insert(key.utf8);
        break;
    default:
        // The edit wants every key while it is open; the others do nothing.
        break;
    }
    if (changed) textChanged();
    setDirty(true);
    invalid();
    return 1;
}

int32_t InPlaceTextEditor::onKeyUp(VstKeyCode& key) {
    return owner ? 1 : -1;
}

void InPlaceTextEditor::looseFocus() {
    if (owner) owner->commitEditing();
}

void InPlaceTextEditor::textChanged() {
    if (owner) owner->editTextChanged(buffer.text());
}

} // namespace zel
