// The single-line editor a CZelTextEdit opens over itself: a view drawn by the
// layer, on the label's own background, in the label's font, colour and
// alignment, with a caret and a selection. It takes the frame's keyboard focus
// while open and hands every key to its label's edit: typing, Backspace, Delete,
// Left, Right, Home, End (with Shift to select), Control+A to select all,
// Return or Tab to commit, Escape to cancel. Losing the focus commits. The view
// covers its box and the label's whole rectangle, so a press anywhere on the
// label keeps the focus (and the edit); it draws in its box only.
#pragma once

#include "editor/TextEditBuffer.h"
#include "gui/CColor.h"
#include "gui/CDrawContext.h"
#include "gui/CView.h"

#include <string_view>

namespace zel {

class CZelTextEdit;

class InPlaceTextEditor : public gui::CView {
public:
    static constexpr gui::CColor kSelectionColor{0, 120, 215, 255};
    static constexpr gui::CColor kSelectedTextColor{255, 255, 255, 255};

    // box: where the text is edited, in frame coordinates.
    InPlaceTextEditor(const gui::CRect& box, CZelTextEdit* owner, std::string_view text,
                      const gui::CColor& textColor);
    ~InPlaceTextEditor() override;

    void draw(gui::CDrawContext* context) override;
    gui::CMouseEventResult onMouseDown(gui::CPoint& where,
                                       const gui::CButtonState& buttons) override;
    int32_t onKeyDown(gui::VstKeyCode& keyCode) override;
    int32_t onKeyUp(gui::VstKeyCode& keyCode) override;
    void looseFocus() override;

    // The label's edit is over: no further calls reach it.
    void detach() { owner = nullptr; }
    bool isDetached() const { return owner == nullptr; }
    const TextEditBuffer& getBuffer() const { return buffer; }
    const gui::CColor& getTextColor() const { return textColor; }
    const gui::CRect& getEditBox() const { return box; }

    CLASS_METHODS_NOCOPY(InPlaceTextEditor, CView)

private:
    // Text x positions for the current scroll, keeping the caret visible.
    gui::CCoord textOrigin(gui::CDrawContext* context);
    void textChanged();

    gui::CRect box;
    CZelTextEdit* owner;
    TextEditBuffer buffer;
    gui::CColor textColor;
    gui::CCoord scroll = 0;
};

} // namespace zel
