#include "editor/ZelVerticalSwitch.h"

#include "editor/WheelNotches.h"
#include "gui/CBitmap.h"

#include <algorithm>
#include <cmath>

namespace zel {

using namespace gui;

namespace {

// The lever pivots below its travel band and swings from +40 to -40 degrees.
constexpr double kSinMaxAngle = 0.642788;   // sin 40 degrees
constexpr double kTwoSinMaxAngle = 1.28558; // 2 sin 40 degrees
constexpr double kInverseSwing = 0.716197;  // 1 / (2 x 40 degrees in radians)

} // namespace

ZelVerticalSwitch::ZelVerticalSwitch(const CRect& rect, IControlListener* l, int32_t t,
                                     CBitmap* background, float top, float bottom,
                                     const CPoint& bitmapOffset)
    : CControl(rect, l, t, background), offset(bitmapOffset), travelTop(top), travelBottom(bottom) {
    heightOfOneImage = rect.getHeight();
    autoComputeHeightOfOneImage();
    setDefaultValue(0.f);
    setWantsFocus(true);
}

ZelVerticalSwitch::~ZelVerticalSwitch() = default;

void ZelVerticalSwitch::autoComputeHeightOfOneImage() {
    if (heightOfOneImage <= 0) heightOfOneImage = size.getHeight();
    subPixmaps = (pBackground && heightOfOneImage > 0)
                     ? static_cast<int32_t>(pBackground->getHeight() / heightOfOneImage)
                     : 0;
}

int32_t ZelVerticalSwitch::getDrawnFrame() const {
    if (subPixmaps <= 1) return 0;
    const float n = getValueNormalized();
    const auto frame = static_cast<int32_t>(static_cast<float>(subPixmaps - 1) * (1.f - n) + 0.5f);
    return std::clamp(frame, 0, subPixmaps - 1);
}

void ZelVerticalSwitch::draw(CDrawContext* context) {
    if (pBackground)
        pBackground->draw(context, size, CPoint(0, getDrawnFrame() * heightOfOneImage), 1.f);
    setDirty(false);
}

CMouseEventResult ZelVerticalSwitch::onMouseDown(CPoint& where, const CButtonState& buttons) {
    if (!buttons.isLeftButton()) return kMouseEventNotHandled;
    beginEdit();
    if (checkDefaultValue(buttons)) {
        endEdit();
        return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    }
    return onMouseMoved(where, buttons);
}

CMouseEventResult ZelVerticalSwitch::onMouseMoved(CPoint& where, const CButtonState& buttons) {
    if (!buttons.isLeftButton()) return kMouseEventHandled;
    if (subPixmaps < 2 || travelBottom <= travelTop) return kMouseEventHandled;
    const auto dy = std::clamp(static_cast<float>(where.y - size.top), travelTop, travelBottom);
    const double t = (dy - travelTop) / (travelBottom - travelTop);
    const double angle = std::asin(std::clamp(kSinMaxAngle - t * kTwoSinMaxAngle, -1.0, 1.0));
    const double r = 0.5 - angle * kInverseSwing;
    const auto frames = static_cast<float>(subPixmaps);
    const float q =
        static_cast<float>(static_cast<int32_t>(frames * static_cast<float>(r))) / (frames - 1.f);
    const float v = std::clamp(getMin() + getRange() * q, getMin(), getMax());
    const float old = getValue();
    value = 1.f - v;
    if (getValue() != old) {
        valueChanged();
        invalid();
    }
    return kMouseEventHandled;
}

CMouseEventResult ZelVerticalSwitch::onMouseUp(CPoint& where, const CButtonState& buttons) {
    if (isEditing()) endEdit();
    return kMouseEventHandled;
}

bool ZelVerticalSwitch::onWheel(const CPoint& where, const float& distance,
                                const CButtonState& buttons) {
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

int32_t ZelVerticalSwitch::onKeyDown(VstKeyCode& keyCode) {
    if (keyCode.modifier != 0) return -1;
    if (keyCode.virt != VKEY_UP && keyCode.virt != VKEY_DOWN) return -1;
    if (subPixmaps < 2) return -1;
    // One frame of the strip per key, in the direction the key names: frame 0
    // shows the lever at the top.
    const int32_t last = subPixmaps - 1;
    int32_t frame = getDrawnFrame();
    const float old = getValue();
    if (keyCode.virt == VKEY_UP && frame > 0)
        --frame;
    else if (keyCode.virt == VKEY_DOWN && frame < last)
        ++frame;
    value = getMin() + (1.f - static_cast<float>(frame) / static_cast<float>(last)) * getRange();
    if (getValue() == old) return -1;
    invalid();
    beginEdit();
    valueChanged();
    endEdit();
    return 1;
}

bool ZelVerticalSwitch::sizeToFit() {
    if (!pBackground) return false;
    CRect rect = size;
    rect.setWidth(pBackground->getWidth());
    rect.setHeight(heightOfOneImage);
    setViewSize(rect);
    setMouseableArea(rect);
    return true;
}

} // namespace zel
