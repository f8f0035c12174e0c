// A two-state button; its bitmap holds two frames of half its height: off, on.
// A left press toggles between min and max and reports it.
#pragma once

#include "gui/CControl.h"

namespace zel::gui {

class COnOffButton : public CControl {
public:
    // Styles: when the listener hears of the new value relative to the redraw.
    enum Style : int32_t { kPostListenerUpdate = 0, kPreListenerUpdate = 1 };

    COnOffButton(const CRect& size, IControlListener* listener = nullptr, int32_t tag = -1,
                 CBitmap* background = nullptr, int32_t style = kPreListenerUpdate);
    COnOffButton(const COnOffButton& other) = default;

    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;
    bool sizeToFit() override;

    int32_t getStyle() const { return style; }
    void setStyle(int32_t newStyle) { style = newStyle; }

    CLASS_METHODS(COnOffButton, CControl)

protected:
    int32_t style;
};

} // namespace zel::gui
