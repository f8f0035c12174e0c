#include "presets/CPSRockerSwitch.h"

#include "gui/CBitmap.h"

namespace zel {

using namespace gui;

namespace {
constexpr int32_t kNormalFrame = 0;
constexpr int32_t kOverLeftFrame = 1;
constexpr int32_t kOverRightFrame = 2;
constexpr int32_t kLeftPressedFrame = 3;
constexpr int32_t kRightPressedFrame = 4;
} // namespace

CPSRockerSwitch::CPSRockerSwitch(const CRect& rect, IControlListener* l, int32_t t,
                                 CCoord imageHeight, CBitmap* background,
                                 const CPoint& bitmapOffset, int32_t rockerStyle)
    : CRockerSwitch(rect, l, t, imageHeight, background, bitmapOffset, rockerStyle) {}

int32_t CPSRockerSwitch::getDrawnFrame() const {
    const float v = getValue();
    if (v == -1.f) return kLeftPressedFrame;
    if (v == 1.f) return kRightPressedFrame;
    if (hoverSide < 0) return kOverLeftFrame;
    if (hoverSide > 0) return kOverRightFrame;
    return kNormalFrame;
}

void CPSRockerSwitch::draw(CDrawContext* context) {
    if (pBackground)
        pBackground->draw(context, size,
                          CPoint(offset.x, offset.y + getDrawnFrame() * heightOfOneImage), 1.f);
    setDirty(false);
}

CMouseEventResult CPSRockerSwitch::onMouseDown(CPoint& where, const CButtonState& buttons) {
    if (!buttons.isLeftButton()) return kMouseEventNotHandled;
    value = where.x < size.getCenter().x ? -1.f : 1.f;
    valueChanged();
    setDirty(true);
    invalid();
    return kMouseEventHandled;
}

CMouseEventResult CPSRockerSwitch::onMouseMoved(CPoint& where, const CButtonState& buttons) {
    if (buttons.getButtonState() != 0) return kMouseEventHandled;
    const int32_t side = !size.pointInside(where) ? 0 : where.x < size.getCenter().x ? -1 : 1;
    if (side != hoverSide) {
        hoverSide = side;
        setDirty(true);
        invalid();
    }
    return kMouseEventHandled;
}

CMouseEventResult CPSRockerSwitch::onMouseExited(CPoint& where, const CButtonState& buttons) {
    hoverSide = 0;
    setDirty(true);
    invalid();
    return kMouseEventHandled;
}

CMouseEventResult CPSRockerSwitch::onMouseUp(CPoint& where, const CButtonState& buttons) {
    value = 0.f;
    setDirty(true);
    invalid();
    return kMouseEventHandled;
}

} // namespace zel
