#include "gui/COnOffButton.h"

#include "gui/CBitmap.h"

namespace zel::gui {

COnOffButton::COnOffButton(const CRect& rect, IControlListener* l, int32_t t, CBitmap* background,
                           int32_t buttonStyle)
    : CControl(rect, l, t, background), style(buttonStyle) {}

void COnOffButton::draw(CDrawContext* context) {
    if (pBackground) {
        const CCoord off = getValue() == getMax() ? pBackground->getHeight() / 2 : 0;
        pBackground->draw(context, size, CPoint(0, off));
    }
    setDirty(false);
}

CMouseEventResult COnOffButton::onMouseDown(CPoint&, const CButtonState& buttons) {
    if (!buttons.isLeftButton()) return kMouseEventNotHandled;
    beginEdit();
    value = getValue() == getMax() ? getMin() : getMax();
    if (style == kPostListenerUpdate) valueChanged();
    invalid();
    if (style != kPostListenerUpdate) valueChanged();
    endEdit();
    return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
}

bool COnOffButton::sizeToFit() {
    if (!pBackground) return false;
    CRect rect = size;
    rect.setWidth(pBackground->getWidth());
    rect.setHeight(pBackground->getHeight() / 2);
    setViewSize(rect);
    setMouseableArea(rect);
    return true;
}

} // namespace zel::gui
