// A message box drawn inside the editor: a panel with a caption, a text and one
// "OK" button, shown as the frame's modal view. A click on OK, Return or Escape
// closes it and then tells the callback.
#pragma once

#include "gui/CView.h"

#include <functional>
#include <string>

namespace zel::gui {

class CAlertBox : public CView {
public:
    using Callback = std::function<void(CAlertBox* box)>;

    // Shows a box centred in the frame; false when there is no frame or another
    // modal view is up. The frame holds the box while it is shown.
    static bool show(CFrame* frame, const char* caption, const char* text, Callback callback = {});

    CAlertBox(const CRect& size, const char* caption, const char* text, Callback callback = {});

    // Closes the box (if it is the frame's modal view) and tells the callback once.
    void close();
    const char* getCaption() const { return caption.c_str(); }
    const char* getText() const { return text.c_str(); }
    // The OK button's rectangle in frame coordinates.
    CRect getButtonRect() const;

    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, const CButtonState& buttons) override;
    int32_t onKeyDown(VstKeyCode& keyCode) override;

    CLASS_METHODS_NOCOPY(CAlertBox, CView)

private:
    std::string caption;
    std::string text;
    Callback callback;
    bool pressedOnButton = false;
    bool closed = false;
};

} // namespace zel::gui
