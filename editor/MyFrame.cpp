#include "editor/MyFrame.h"

#include "editor/CZelTextEdit.h"
#include "editor/InPlaceTextEditor.h"

namespace zel {

using namespace gui;

MyFrame::MyFrame(const CRect& rect, void* parentWindow, VSTGUIEditorInterface* editorInterface)
    : CFrame(rect, parentWindow, editorInterface) {}

CMouseEventResult MyFrame::platformOnMouseDown(CPoint& where, const CButtonState& buttons) {
    if (focusOnClick) setKeyboardFocus();
    // A press outside the open text edit (and outside its label) takes the
    // focus from it, which commits it, before the press goes to its view.
    if (CZelTextEdit* edit = CZelTextEdit::getActiveEdit(); edit && edit->getFrame() == this) {
        InPlaceTextEditor* editor = edit->getTextEditor();
        const bool onEdit = (editor && editor->getViewSize().pointInside(where)) ||
                            edit->getViewSize().pointInside(where);
        if (!onEdit) edit->commitEditing();
    }
    return CFrame::platformOnMouseDown(where, buttons);
}

} // namespace zel
