// A preset panel button (memories, default bank and preset, user manual). Three
// frames: normal, mouse over, pressed. A left press sets the value to 1 and
// tells the listener; in double-click mode only a left double-click counts, and
// with Control held it gives 0.5 instead (store versus clear). The release sets
// the value back to 0.
#pragma once

#include "gui/CKickButton.h"

#include <cstdint>

namespace zel {

class CPSKickButton : public gui::CKickButton {
public:
    static constexpr float kPressedValue = 1.f;
    static constexpr float kControlValue = 0.5f;

    CPSKickButton(const gui::CRect& size, gui::IControlListener* listener, int32_t tag,
                  gui::CCoord heightOfOneImage, gui::CBitmap* background,
                  const gui::CPoint& offset = gui::CPoint(0, 0), bool doubleClickMode = false);
    CPSKickButton(const CPSKickButton& other) = default;

    void draw(gui::CDrawContext* context) override;
    gui::CMouseEventResult onMouseDown(gui::CPoint& where,
                                       const gui::CButtonState& buttons) override;
    gui::CMouseEventResult onMouseUp(gui::CPoint& where, const gui::CButtonState& buttons) override;
    gui::CMouseEventResult onMouseMoved(gui::CPoint& where,
                                        const gui::CButtonState& buttons) override;
    gui::CMouseEventResult onMouseEntered(gui::CPoint& where,
                                          const gui::CButtonState& buttons) override;
    gui::CMouseEventResult onMouseExited(gui::CPoint& where,
                                         const gui::CButtonState& buttons) override;

    // The frame draw shows: 2 pressed, 1 mouse over, 0 normal.
    int32_t getDrawnFrame() const;
    bool isDoubleClickMode() const { return doubleClickMode; }
    bool isPressed() const { return pressed; }
    bool isMouseOver() const { return mouseOver; }
    // Clears the pressed mark when something (a message box) took the release away.
    void clearPressed();

private:
    bool doubleClickMode;
    bool pressed = false;
    bool mouseOver = false;
};

} // namespace zel
