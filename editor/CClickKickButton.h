// The speed button: a toggle whose picture shows the press, not the value. The
// value toggles (and is reported) at the press; the pressed frame stays until
// the release. Two frames: released, pressed.
#pragma once

#include "gui/CKickButton.h"

#include <cstdint>

namespace zel {

class CClickKickButton : public gui::CKickButton {
public:
    CClickKickButton(const gui::CRect& size, gui::IControlListener* listener, int32_t tag,
                     gui::CCoord heightOfOneImage, gui::CBitmap* background,
                     const gui::CPoint& offset = gui::CPoint(0, 0));
    CClickKickButton(const CClickKickButton& other) = default;

    void draw(gui::CDrawContext* context) override;
    gui::CMouseEventResult onMouseDown(gui::CPoint& where,
                                       const gui::CButtonState& buttons) override;
    gui::CMouseEventResult onMouseUp(gui::CPoint& where, const gui::CButtonState& buttons) override;
    gui::CMouseEventResult onMouseMoved(gui::CPoint& where,
                                        const gui::CButtonState& buttons) override;

    // 1 while the left button is held on the button, else 0.
    float getPressed() const { return pressed; }

private:
    float pressed = 0.f;
};

} // namespace zel
