#include "gui/CControl.h"

#include "gui/CFrame.h"

#include <algorithm>

namespace zel::gui {

namespace {
constexpr auto kRelaxed = std::memory_order_relaxed;
} // namespace

CControl::CControl(const CRect& rect, IControlListener* l, int32_t t, CBitmap* background)
    : CView(rect), listener(l), tag(t) {
    setBackground(background);
    setWantsFocus(true);
}

CControl::CControl(const CControl& other)
    : CView(other), listener(other.listener), tag(other.tag), value(other.value.load(kRelaxed)),
      oldValue(other.oldValue.load(kRelaxed)), defaultValue(other.defaultValue), vmin(other.vmin),
      vmax(other.vmax), wheelInc(other.wheelInc) {}

CControl::~CControl() = default;

void CControl::setValue(float val) {
    // NaN would never compare equal again and keep the control dirty for ever.
    if (val != val) val = vmin;
    value.store(std::clamp(val, std::min(vmin, vmax), std::max(vmin, vmax)), kRelaxed);
}

void CControl::setValueNormalized(float val) {
    setValue(vmin + std::clamp(val, 0.f, 1.f) * getRange());
}

float CControl::getValueNormalized() const {
    const float range = getRange();
    if (range == 0.f) return 0.f;
    return (getValue() - vmin) / range;
}

void CControl::beginEdit() {
    ++editing;
    if (listener) listener->controlBeginEdit(this);
    if (pParentFrame) pParentFrame->beginEdit(tag);
}

void CControl::endEdit() {
    if (editing > 0) --editing;
    if (pParentFrame) pParentFrame->endEdit(tag);
    if (listener) listener->controlEndEdit(this);
}

void CControl::valueChanged() {
    if (listener) listener->valueChanged(this);
}

void CControl::bounceValue() {
    const float v = value.load(kRelaxed);
    if (v > vmax)
        value.store(vmax, kRelaxed);
    else if (v < vmin)
        value.store(vmin, kRelaxed);
}

bool CControl::checkDefaultValue(CButtonState button) {
    if (!button.isLeftButton() || button.getModifierState() != kControl) return false;
    if (getDefaultValue() != getValue()) {
        beginEdit();
        setValue(getDefaultValue());
        valueChanged();
        endEdit();
    }
    return true;
}

void CControl::setDirty(bool state) {
    CView::setDirty(state);
    // Dirty while the value differs from the one last drawn; a forced redraw
    // makes the remembered value differ.
    const float v = value.load(kRelaxed);
    if (state)
        oldValue.store(v != -1.f ? -1.f : 0.f, kRelaxed);
    else
        oldValue.store(v, kRelaxed);
}

bool CControl::isDirty() const {
    return oldValue.load(kRelaxed) != value.load(kRelaxed) || CView::isDirty();
}

} // namespace zel::gui
