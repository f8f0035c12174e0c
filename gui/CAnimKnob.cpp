#include "gui/CAnimKnob.h"

#include "gui/CBitmap.h"
#include "gui/CFrame.h"

#include <algorithm>
#include <cmath>

namespace zel::gui {

namespace {

// Circular mode: value 0 at 225 degrees (lower left), 1 at -45 degrees (lower
// right), clockwise over 270 degrees.
constexpr double kStartAngle = 225.0;
constexpr double kSweep = 270.0;
constexpr float kWheelFineFactor = 0.1f;

} // namespace

CAnimKnob::CAnimKnob(const CRect& rect, IControlListener* l, int32_t t, CBitmap* background,
                     const CPoint& bitmapOffset)
    : CControl(rect, l, t, background), offset(bitmapOffset) {
    heightOfOneImage = rect.getHeight();
    autoComputeHeightOfOneImage();
}

CAnimKnob::CAnimKnob(const CRect& rect, IControlListener* l, int32_t t, int32_t subPixmapCount,
                     CCoord imageHeight, CBitmap* background, const CPoint& bitmapOffset)
    : CControl(rect, l, t, background), offset(bitmapOffset) {
    subPixmaps = subPixmapCount;
    heightOfOneImage = imageHeight;
}

void CAnimKnob::autoComputeHeightOfOneImage() {
    if (heightOfOneImage <= 0) heightOfOneImage = size.getHeight();
    subPixmaps = (pBackground && heightOfOneImage > 0)
                     ? static_cast<int32_t>(pBackground->getHeight() / heightOfOneImage)
                     : 0;
}

int32_t CAnimKnob::getFrameIndex() const {
    if (subPixmaps <= 1) return 0;
    float position = std::clamp(getValueNormalized(), 0.f, 1.f);
    if (bInverseBitmap) position = 1.f - position;
    return std::clamp(static_cast<int32_t>(position * static_cast<float>(subPixmaps - 1) + 0.5f), 0,
                      subPixmaps - 1);
}

void CAnimKnob::draw(CDrawContext* context) {
    if (pBackground)
        pBackground->draw(context, size,
                          CPoint(offset.x, offset.y + getFrameIndex() * heightOfOneImage));
    setDirty(false);
}

int32_t CAnimKnob::knobMode() const {
    if (pParentFrame && pParentFrame->getEditor()) return pParentFrame->getEditor()->getKnobMode();
    return kCircularMode;
}

float CAnimKnob::valueFromAngle(const CPoint& where) const {
    const CPoint centre = size.getCenter();
    const double angle =
        std::atan2(centre.y - where.y, where.x - centre.x) * 180.0 / 3.14159265358979323846;
    double sweep = std::fmod(kStartAngle - angle + 720.0, 360.0);
    if (sweep > kSweep) sweep = sweep > (kSweep + 360.0) / 2 ? 0.0 : kSweep;
    return vmin + static_cast<float>(sweep / kSweep) * getRange();
}

CMouseEventResult CAnimKnob::onMouseDown(CPoint& where, const CButtonState& buttons) {
    if (!buttons.isLeftButton()) return kMouseEventNotHandled;
    beginEdit();
    if (checkDefaultValue(buttons)) {
        endEdit();
        return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    }
    firstPoint = lastPoint = where;
    startValue = entryValue = getValue();
    oldButton = buttons;
    dragMode = knobMode();
    if (dragMode != kLinearMode) return onMouseMoved(where, buttons);
    return kMouseEventHandled;
}

CMouseEventResult CAnimKnob::onMouseMoved(CPoint& where, const CButtonState& buttons) {
    if (!buttons.isLeftButton() || !isEditing()) return kMouseEventHandled;
    const float before = getValue();
    if (dragMode == kLinearMode) {
        // Shift pressed or released during the drag: continue from here at the
        // new speed, so the value does not jump.
        if ((buttons & kShift) != (oldButton & kShift)) {
            firstPoint = where;
            startValue = getValue();
            oldButton = buttons;
        }
        const CCoord travel = kLinearDragRange * ((buttons & kShift) ? kFineFactor : 1.f);
        const CCoord delta = (where.x - firstPoint.x) + (firstPoint.y - where.y);
        value = startValue + static_cast<float>(delta / travel) * getRange();
    } else {
        value = valueFromAngle(where);
    }
    lastPoint = where;
    bounceValue();
    // Compared with the value before this move, not the one last drawn: a drag
    // back to the drawn value is a change the listener must hear of too.
    if (getValue() != before) {
        valueChanged();
        invalid();
    }
    return kMouseEventHandled;
}

CMouseEventResult CAnimKnob::onMouseUp(CPoint&, const CButtonState&) {
    if (isEditing()) endEdit();
    return kMouseEventHandled;
}

bool CAnimKnob::onWheel(const CPoint&, const float& distance, const CButtonState& buttons) {
    const float step = wheelInc * ((buttons & kShift) ? kWheelFineFactor : 1.f);
    const float before = getValue();
    value = before + distance * step * getRange();
    bounceValue();
    if (getValue() != before) {
        invalid();
        beginEdit();
        valueChanged();
        endEdit();
    }
    return true;
}

int32_t CAnimKnob::onKeyDown(VstKeyCode& keyCode) {
    float direction = 0;
    if (keyCode.virt == VKEY_UP || keyCode.virt == VKEY_RIGHT) direction = 1;
    if (keyCode.virt == VKEY_DOWN || keyCode.virt == VKEY_LEFT) direction = -1;
    if (direction == 0) return -1;
    const float step = wheelInc * ((keyCode.modifier & MODIFIER_SHIFT) ? kWheelFineFactor : 1.f);
    const float before = getValue();
    value = before + direction * step * getRange();
    bounceValue();
    if (getValue() != before) {
        invalid();
        beginEdit();
        valueChanged();
        endEdit();
    }
    return 1;
}

bool CAnimKnob::sizeToFit() {
    if (!pBackground) return false;
    CRect rect = size;
    rect.setWidth(pBackground->getWidth());
    rect.setHeight(heightOfOneImage);
    setViewSize(rect);
    setMouseableArea(rect);
    return true;
}

} // namespace zel::gui
