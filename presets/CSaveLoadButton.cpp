#include "presets/CSaveLoadButton.h"

#include "gui/CBitmap.h"

namespace zel {

using namespace gui;

namespace {
constexpr int32_t kNormalFrame = 0;
constexpr int32_t kMouseOverFrame = 1;
constexpr int32_t kPressedFrame = 2;
} // namespace

CSaveLoadButton::CSaveLoadButton(const CRect& rect, IControlListener* l, int32_t t,
                                 CCoord imageHeight, CBitmap* background,
                                 const CPoint& bitmapOffset)
    : CKickButton(rect, l, t, imageHeight, background, bitmapOffset) {}

int32_t CSaveLoadButton::getDrawnFrame() const {
    if (getValue() != 0.f) return kPressedFrame;
    return mouseOver ? kMouseOverFrame : kNormalFrame;
}

void CSaveLoadButton::draw(CDrawContext* context) {
    if (pBackground)
        pBackground->draw(context, size,
                          CPoint(offset.x, offset.y + getDrawnFrame() * heightOfOneImage), 1.f);
    setDirty(false);
}

CMouseEventResult CSaveLoadButton::onMouseDown(CPoint& where, const CButtonState& buttons) {
    if (!(buttons.isLeftButton() || buttons.isRightButton()) || !listener)
        return kMouseEventNotHandled;
    // The right button alone (also as the second press of a double-click) asks
    // for the other byte order.
    value = (buttons & ~kDoubleClick) == kRButton ? kRightValue : kLeftValue;
    valueChanged();
    value = 0.f;
    invalid();
    return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
}

CMouseEventResult CSaveLoadButton::onMouseUp(CPoint& where, const CButtonState& buttons) {
    return kMouseEventHandled;
}

CMouseEventResult CSaveLoadButton::onMouseMoved(CPoint& where, const CButtonState& buttons) {
    return kMouseEventHandled;
}

CMouseEventResult CSaveLoadButton::onMouseEntered(CPoint& where, const CButtonState& buttons) {
    mouseOver = true;
    setDirty(true);
    invalid();
    return kMouseEventHandled;
}

CMouseEventResult CSaveLoadButton::onMouseExited(CPoint& where, const CButtonState& buttons) {
    mouseOver = false;
    setDirty(true);
    invalid();
    return kMouseEventHandled;
}

} // namespace zel
