#include "presets/CPSKickButton.h"

#include "gui/CBitmap.h"

namespace zel {

using namespace gui;

namespace {
constexpr int32_t kNormalFrame = 0;
constexpr int32_t kMouseOverFrame = 1;
constexpr int32_t kPressedFrame = 2;
} // namespace

CPSKickButton::CPSKickButton(const CRect& rect, IControlListener* l, int32_t t, CCoord imageHeight,
                             CBitmap* background, const CPoint& bitmapOffset, bool doubleClick)
    : CKickButton(rect, l, t, imageHeight, background, bitmapOffset), doubleClickMode(doubleClick) {
}

int32_t CPSKickButton::getDrawnFrame() const {
    if (pressed) return kPressedFrame;
    return mouseOver ? kMouseOverFrame : kNormalFrame;
}

void CPSKickButton::draw(CDrawContext* context) {
    if (pBackground)
        pBackground->draw(context, size,
                          CPoint(offset.x, offset.y + getDrawnFrame() * heightOfOneImage), 1.f);
    setDirty(false);
}

CMouseEventResult CPSKickButton::onMouseDown(CPoint& where, const CButtonState& buttons) {
    if (!buttons.isLeftButton()) return kMouseEventNotHandled;
    // In double-click mode a single click does nothing (and is kept from the
    // views below).
    if (doubleClickMode && !buttons.isDoubleClick())
        return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    value = (doubleClickMode && (buttons & kControl)) ? kControlValue : kPressedValue;
    pressed = true;
    valueChanged();
    setDirty(true);
    invalid();
    return kMouseEventHandled;
}

CMouseEventResult CPSKickButton::onMouseUp(CPoint& where, const CButtonState& buttons) {
    value = 0.f;
    pressed = false;
    setDirty(true);
    invalid();
    return kMouseEventHandled;
}

CMouseEventResult CPSKickButton::onMouseMoved(CPoint& where, const CButtonState& buttons) {
    return kMouseEventHandled;
}

CMouseEventResult CPSKickButton::onMouseEntered(CPoint& where, const CButtonState& buttons) {
    mouseOver = true;
    setDirty(true);
    invalid();
    return kMouseEventHandled;
}

CMouseEventResult CPSKickButton::onMouseExited(CPoint& where, const CButtonState& buttons) {
    mouseOver = false;
    setDirty(true);
    invalid();
    return kMouseEventHandled;
}

void CPSKickButton::clearPressed() {
    pressed = false;
    setDirty(true);
    invalid();
}

} // namespace zel
