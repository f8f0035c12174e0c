// The editor's top-level view: a CFrame that takes the keyboard focus for its
// window whenever a mouse button is pressed in it, so that keys (the lever's
// arrows, the name field) reach the editor and not the host. A press outside
// an open in-place text edit commits that edit first.
#pragma once

#include "gui/CFrame.h"

namespace zel {

class MyFrame : public gui::CFrame {
public:
    // parentWindow: the host's window, or null for an offscreen frame (tests).
    MyFrame(const gui::CRect& size, void* parentWindow, gui::VSTGUIEditorInterface* editor);

    gui::CMouseEventResult platformOnMouseDown(gui::CPoint& where,
                                               const gui::CButtonState& buttons) override;

    void setFocusOnClick(bool state) { focusOnClick = state; }
    bool getFocusOnClick() const { return focusOnClick; }

private:
    bool focusOnClick = true;
};

} // namespace zel
