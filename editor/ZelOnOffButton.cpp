#include "editor/ZelOnOffButton.h"

#include "gui/CBitmap.h"

namespace zel {

using namespace gui;

ZelOnOffButton::ZelOnOffButton(const CRect& rect, IControlListener* l, int32_t t,
                               CBitmap* background)
    : COnOffButton(rect, l, t, background, kPostListenerUpdate) {}

ZelOnOffButton::~ZelOnOffButton() = default;

void ZelOnOffButton::draw(CDrawContext* context) {
    if (pBackground) {
        const CCoord y = getValue() < 0.5f ? 0 : pBackground->getHeight() * 0.5;
        pBackground->draw(context, size, CPoint(0, y), 1.f);
    }
    setDirty(false);
}

CMouseEventResult ZelOnOffButton::onMouseDown(CPoint& where, const CButtonState& buttons) {
    if (!buttons.isLeftButton()) return kMouseEventNotHandled;
    beginEdit();
    // The listener hears the value before the press, then the toggled one.
    if (listener) valueChanged();
    value = static_cast<int32_t>(getValue() + 0.5f) != 0 ? 0.f : 1.f;
    if (listener) valueChanged();
    endEdit();
    invalid();
    return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
}

} // namespace zel
