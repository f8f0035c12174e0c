// A load or save arrow of the preset panel. Three frames: normal, mouse over,
// pressed (while its value is not 0). A left or right press tells the listener
// at once, with value 1, or 0.5 for the right button alone (reversed byte
// order for the load buttons); the value then returns to 0 and the button
// wants no release.
#pragma once

#include "gui/CKickButton.h"

#include <cstdint>

namespace zel {

class CSaveLoadButton : public gui::CKickButton {
public:
    static constexpr float kLeftValue = 1.f;
    static constexpr float kRightValue = 0.5f;

    CSaveLoadButton(const gui::CRect& size, gui::IControlListener* listener, int32_t tag,
                    gui::CCoord heightOfOneImage, gui::CBitmap* background,
                    const gui::CPoint& offset = gui::CPoint(0, 0));
    CSaveLoadButton(const CSaveLoadButton& other) = default;

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

    // The frame draw shows: 2 while the value is not 0, 1 mouse over, 0 normal.
    int32_t getDrawnFrame() const;
    bool isMouseOver() const { return mouseOver; }

private:
    bool mouseOver = false;
};

} // namespace zel
