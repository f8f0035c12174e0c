// A two-state button (stop, bypass, CPU mode). Its bitmap holds two frames of
// half its height: off, then on. A press tells the listener the old value and
// then the toggled one.
#pragma once

#include "gui/COnOffButton.h"

#include <cstdint>

namespace zel {

class ZelOnOffButton : public gui::COnOffButton {
public:
    ZelOnOffButton(const gui::CRect& size, gui::IControlListener* listener, int32_t tag,
                   gui::CBitmap* background);
    ZelOnOffButton(const ZelOnOffButton& other) = default;
    ~ZelOnOffButton() override;

    void draw(gui::CDrawContext* context) override;
    gui::CMouseEventResult onMouseDown(gui::CPoint& where,
                                       const gui::CButtonState& buttons) override;
};

} // namespace zel
