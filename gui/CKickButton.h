// A momentary button: max while the left button is held on it, min otherwise;
// the press is reported on release. Two frames: released, pressed.
#pragma once

#include "gui/CControl.h"
#include "gui/IMultiBitmapControl.h"

namespace zel::gui {

class CKickButton : public CControl, public IMultiBitmapControl {
public:
    CKickButton(const CRect& size, IControlListener* listener, int32_t tag, CBitmap* background,
                const CPoint& offset = CPoint(0, 0));
    CKickButton(const CRect& size, IControlListener* listener, int32_t tag, CCoord heightOfOneImage,
                CBitmap* background, const CPoint& offset = CPoint(0, 0));
    CKickButton(const CKickButton& other) = default;

    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, const CButtonState& buttons) override;
    bool sizeToFit() override;
    void autoComputeHeightOfOneImage() override;

    void setOffset(const CPoint& newOffset) { offset = newOffset; }
    const CPoint& getOffset() const { return offset; }

    CLASS_METHODS(CKickButton, CControl)

protected:
    CPoint offset;
    float fEntryState = 0.f;
};

} // namespace zel::gui
