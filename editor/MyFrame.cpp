#include "editor/MyFrame.h"

#include "editor/CZelTextEdit.h"
#include "editor/InPlaceTextEditor.h"

namespace zel {

using namespace gui;

MyFrame::MyFrame(const CRect& rect, void* parentWindow, VSTGUIEditorInterface* editorInterface)
    : CFrame(rect, parentWindow, editorInterface) {}

CMouseEventResult MyFrame::platformOnMouseDown(CPoint& where, const CButtonState& buttons) {
    if (focusOnClick) setKeyboardFocus();
    // A press outside the open text edit (its box and its label) commits it
    // before the press goes to its view.
    if (CZelTextEdit* edit = CZelTextEdit::getActiveEdit(); edit && edit->getFrame() == this) {
        InPlaceTextEditor* editor = edit->getTextEditor();
        if (editor && !editor->getViewSize().pointInside(where)) edit->commitEditing();
    }
    return CFrame::platformOnMouseDown(where, buttons);
}

} // namespace zel
