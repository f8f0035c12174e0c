// A knob drawn from a filmstrip: frame (int)(normalized value x (frames - 1) + 0.5).
// Dragging follows the editor's knob mode: linear (up or right raises the value,
// kLinearDragRange pixels for the whole range, kFineFactor times longer with
// Shift) or circular (the angle around the knob's centre). Control-click resets
// to the default value; the wheel changes it by getWheelInc() per notch; the
// release ends the edit gesture begun by the press.
#pragma once

#include "gui/CControl.h"
#include "gui/IMultiBitmapControl.h"
#include "gui/VSTGUIEditorInterface.h"

namespace zel::gui {

class CAnimKnob : public CControl, public IMultiBitmapControl {
public:
    static constexpr CCoord kLinearDragRange = 200;
    static constexpr float kFineFactor = 10.f;

    CAnimKnob(const CRect& size, IControlListener* listener, int32_t tag, CBitmap* background,
              const CPoint& offset = CPoint(0, 0));
    CAnimKnob(const CRect& size, IControlListener* listener, int32_t tag, int32_t subPixmaps,
              CCoord heightOfOneImage, CBitmap* background, const CPoint& offset = CPoint(0, 0));
    CAnimKnob(const CAnimKnob& other) = default;

    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, const CButtonState& buttons) override;
    bool onWheel(const CPoint& where, const float& distance, const CButtonState& buttons) override;
    int32_t onKeyDown(VstKeyCode& keyCode) override;
    bool sizeToFit() override;

    void setInverseBitmap(bool state) { bInverseBitmap = state; }
    bool getInverseBitmap() const { return bInverseBitmap; }
    void setOffset(const CPoint& newOffset) { offset = newOffset; }
    const CPoint& getOffset() const { return offset; }
    // The frame shown for the current value.
    int32_t getFrameIndex() const;
    void autoComputeHeightOfOneImage() override;

    CLASS_METHODS(CAnimKnob, CControl)

protected:
    int32_t knobMode() const;
    float valueFromAngle(const CPoint& where) const;

    CPoint offset;
    bool bInverseBitmap = false;
    // Drag state of the press.
    CPoint firstPoint;
    CPoint lastPoint;
    float startValue = 0.f;
    float entryValue = 0.f;
    CButtonState oldButton;
    int32_t dragMode = kLinearMode;
};

} // namespace zel::gui
