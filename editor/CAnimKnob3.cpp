#include "editor/CAnimKnob3.h"

#include "editor/WheelNotches.h"
#include "gui/CBitmap.h"

namespace zel {

using namespace gui;

CAnimKnob3::CAnimKnob3(const CRect& rect, IControlListener* l, int32_t t, int32_t subPixmapCount,
                       CCoord imageHeight, CBitmap* background, const CPoint& bitmapOffset,
                       int32_t detentCount, float from, float to)
    : CAnimKnob(rect, l, t, subPixmapCount, imageHeight, background, bitmapOffset),
      detents(detentCount), detentFrom(from), detentTo(to) {}

CAnimKnob3::~CAnimKnob3() = default;

int32_t CAnimKnob3::getDrawnFrame() const {
    float position = getValue();
    if (detents > 1) {
        const auto steps = static_cast<float>(detents - 1);
        const auto detent = static_cast<float>(static_cast<int32_t>(steps * position + 0.5f));
        position = detent / steps * (detentTo - detentFrom) + detentFrom;
    } else if (detents == 1) {
        // A single drawn position sits at the start of its part of the strip.
        position = detentFrom;
    }
    if (position <= 0.f || subPixmaps <= 1) return 0;
    const auto frame = static_cast<int32_t>(static_cast<float>(subPixmaps - 1) * position + 0.5f);
    return frame < subPixmaps ? frame : subPixmaps - 1;
}

void CAnimKnob3::draw(CDrawContext* context) {
    if (pBackground)
        pBackground->draw(context, size, CPoint(0, getDrawnFrame() * heightOfOneImage), 1.f);
    setDirty(false);
}

float CAnimKnob3::travelFor(const CButtonState& buttons) const {
    const float travel = dragScale * kPixelsPerDragScale;
    return (buttons & kShift) ? fineMultiplier * travel : travel;
}

CMouseEventResult CAnimKnob3::onMouseDown(CPoint& where, const CButtonState& buttons) {
    if (!buttons.isLeftButton() || !listener) return kMouseEventNotHandled;
    beginEdit();
    if ((buttons & kControl) || buttons.isDoubleClick()) {
        const float old = getValue();
        value = getDefaultValue();
        if (getValue() != old) valueChanged();
        endEdit();
        return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    }
    anchor = getValue();
    dragButtons = buttons;
    dragRange = travelFor(buttons);
    startX = where.x;
    startY = where.y;
    perPixel = (getMax() - getMin()) / dragRange;
    return onMouseMoved(where, buttons);
}

CMouseEventResult CAnimKnob3::onMouseMoved(CPoint& where, const CButtonState& buttons) {
    if (!buttons.isLeftButton()) return kMouseEventHandled;
    // Right or up raises the value, left or down lowers it.
    const auto delta = static_cast<float>((where.x - startX) + (startY - where.y));
    if (buttons != dragButtons) {
        // Shift pressed or released: a new speed from here on, without a jump.
        dragRange = travelFor(buttons);
        const float newPerPixel = (getMax() - getMin()) / dragRange;
        anchor += (perPixel - newPerPixel) * delta;
        perPixel = newPerPixel;
        dragButtons = buttons;
    }
    const float old = getValue();
    value = delta * perPixel + anchor;
    bounceValue();
    if (getValue() != old) {
        valueChanged();
        invalid();
    }
    return kMouseEventHandled;
}

bool CAnimKnob3::onWheel(const CPoint& where, const float& distance, const CButtonState& buttons) {
    const float d = wheelNotches(distance);
    const float step = (buttons & kShift) ? d * wheelFineFactor * wheelStep : d * wheelStep;
    const float old = getValue();
    value = old + step;
    bounceValue();
    if (getValue() != old && listener) {
        invalid();
        beginEdit();
        valueChanged();
        endEdit();
    }
    return true;
}

} // namespace zel
