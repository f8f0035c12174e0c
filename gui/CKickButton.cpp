#include "gui/CKickButton.h"

#include "gui/CBitmap.h"

namespace zel::gui {

CKickButton::CKickButton(const CRect& rect, IControlListener* l, int32_t t, CBitmap* background,
                         const CPoint& bitmapOffset)
    : CControl(rect, l, t, background), offset(bitmapOffset) {
    heightOfOneImage = rect.getHeight();
    autoComputeHeightOfOneImage();
}

CKickButton::CKickButton(const CRect& rect, IControlListener* l, int32_t t, CCoord imageHeight,
                         CBitmap* background, const CPoint& bitmapOffset)
    : CControl(rect, l, t, background), offset(bitmapOffset) {
    heightOfOneImage = imageHeight;
    autoComputeHeightOfOneImage();
}

void CKickButton::autoComputeHeightOfOneImage() {
    if (heightOfOneImage <= 0) heightOfOneImage = size.getHeight();
    subPixmaps = (pBackground && heightOfOneImage > 0)
                     ? static_cast<int32_t>(pBackground->getHeight() / heightOfOneImage)
                     : 0;
}

void CKickButton::draw(CDrawContext* context) {
    if (pBackground) {
        CPoint where = offset;
        if (getValue() == getMax()) where.y += heightOfOneImage;
        pBackground->draw(context, size, where);
    }
    setDirty(false);
}

CMouseEventResult CKickButton::onMouseDown(CPoint& where, const CButtonState& buttons) {
    if (!buttons.isLeftButton()) return kMouseEventNotHandled;
    fEntryState = getValue();
    beginEdit();
    return onMouseMoved(where, buttons);
}

CMouseEventResult CKickButton::onMouseMoved(CPoint& where, const CButtonState& buttons) {
    if (buttons.isLeftButton() && isEditing()) {
        // Pressed while the mouse stays on the button.
        const float before = getValue();
        value = size.pointInside(where) ? getMax() : getMin();
        if (getValue() != before) invalid();
    }
    return kMouseEventHandled;
}

CMouseEventResult CKickButton::onMouseUp(CPoint&, const CButtonState&) {
    if (!isEditing()) return kMouseEventHandled;
    if (getValue() > getMin()) valueChanged();
    value = getMin();
    valueChanged();
    invalid();
    endEdit();
    return kMouseEventHandled;
}

bool CKickButton::sizeToFit() {
    if (!pBackground) return false;
    CRect rect = size;
    rect.setWidth(pBackground->getWidth());
    rect.setHeight(heightOfOneImage);
    setViewSize(rect);
    setMouseableArea(rect);
    return true;
}

} // namespace zel::gui
