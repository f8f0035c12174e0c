#include "editor/CClickKickButton.h"

#include "gui/CBitmap.h"

namespace zel {

using namespace gui;

CClickKickButton::CClickKickButton(const CRect& rect, IControlListener* l, int32_t t,
                                   CCoord imageHeight, CBitmap* background,
                                   const CPoint& bitmapOffset)
    : CKickButton(rect, l, t, imageHeight, background, bitmapOffset) {}

void CClickKickButton::draw(CDrawContext* context) {
    if (pBackground) {
        const int32_t frame = pressed >= 0.5f ? 1 : 0;
        pBackground->draw(context, size, CPoint(offset.x, offset.y + frame * heightOfOneImage),
                          1.f);
    }
    setDirty(false);
}

CMouseEventResult CClickKickButton::onMouseDown(CPoint& where, const CButtonState& buttons) {
    if (!buttons.isLeftButton()) return kMouseEventNotHandled;
    beginEdit();
    pressed = 1.f;
    value = static_cast<int32_t>(getValue() + 0.5f) != 0 ? 0.f : 1.f;
    valueChanged();
    invalid();
    return onMouseMoved(where, buttons);
}

CMouseEventResult CClickKickButton::onMouseMoved(CPoint& where, const CButtonState& buttons) {
    return kMouseEventHandled;
}

CMouseEventResult CClickKickButton::onMouseUp(CPoint& where, const CButtonState& buttons) {
    pressed = 0.f;
    // The picture changes without a value change, so the redraw is asked for.
    setDirty(true);
    invalid();
    if (isEditing()) endEdit();
    return kMouseEventHandled;
}

} // namespace zel
