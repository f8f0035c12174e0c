#include "gui/CRockerSwitch.h"

#include "gui/CBitmap.h"

namespace zel::gui {

namespace {
constexpr float kCentre = 0.f;
} // namespace

CRockerSwitch::CRockerSwitch(const CRect& rect, IControlListener* l, int32_t t, CBitmap* background,
                             const CPoint& bitmapOffset, int32_t rockerStyle)
    : CRockerSwitch(rect, l, t, rect.getHeight(), background, bitmapOffset, rockerStyle) {}

CRockerSwitch::CRockerSwitch(const CRect& rect, IControlListener* l, int32_t t, CCoord imageHeight,
                             CBitmap* background, const CPoint& bitmapOffset, int32_t rockerStyle)
    : CControl(rect, l, t, background), offset(bitmapOffset), style(rockerStyle) {
    vmin = -1.f;
    vmax = 1.f;
    defaultValue = kCentre;
    value = kCentre;
    setDirty(false);
    heightOfOneImage = imageHeight;
    autoComputeHeightOfOneImage();
}

void CRockerSwitch::autoComputeHeightOfOneImage() {
    if (heightOfOneImage <= 0) heightOfOneImage = size.getHeight();
    subPixmaps = (pBackground && heightOfOneImage > 0)
                     ? static_cast<int32_t>(pBackground->getHeight() / heightOfOneImage)
                     : 0;
}

void CRockerSwitch::draw(CDrawContext* context) {
    if (pBackground) {
        const float v = getValue();
        const int32_t frameIndex = v == getMax() ? 2 : (v == getMin() ? 0 : 1);
        pBackground->draw(context, size,
                          CPoint(offset.x, offset.y + frameIndex * heightOfOneImage));
    }
    setDirty(false);
}

CMouseEventResult CRockerSwitch::onMouseDown(CPoint& where, const CButtonState& buttons) {
    if (!buttons.isLeftButton()) return kMouseEventNotHandled;
    beginEdit();
    return onMouseMoved(where, buttons);
}

CMouseEventResult CRockerSwitch::onMouseMoved(CPoint& where, const CButtonState& buttons) {
    if (!buttons.isLeftButton() || !isEditing()) return kMouseEventHandled;
    const CPoint centre = size.getCenter();
    const float before = getValue();
    if (!size.pointInside(where))
        value = kCentre;
    else if (style & kVertical)
        value = where.y < centre.y ? getMin() : getMax();
    else
        value = where.x < centre.x ? getMin() : getMax();
    if (getValue() != before) {
        valueChanged();
        invalid();
    }
    return kMouseEventHandled;
}

CMouseEventResult CRockerSwitch::onMouseUp(CPoint&, const CButtonState&) {
    if (!isEditing()) return kMouseEventHandled;
    const float before = getValue();
    value = kCentre;
    if (getValue() != before) {
        valueChanged();
        invalid();
    }
    endEdit();
    return kMouseEventHandled;
}

bool CRockerSwitch::onWheel(const CPoint&, const float& distance, const CButtonState&) {
    if (distance == 0) return false;
    beginEdit();
    value = distance > 0 ? getMax() : getMin();
    valueChanged();
    value = kCentre;
    valueChanged();
    invalid();
    endEdit();
    return true;
}

bool CRockerSwitch::sizeToFit() {
    if (!pBackground) return false;
    CRect rect = size;
    rect.setWidth(pBackground->getWidth());
    rect.setHeight(heightOfOneImage);
    setViewSize(rect);
    setMouseableArea(rect);
    return true;
}

} // namespace zel::gui
