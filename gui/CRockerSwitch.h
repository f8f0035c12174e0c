// A three-state rocker, range -1 to 1: pressing the left (top) half gives -1,
// the right (bottom) half 1, and the release 0; each change is reported. Three
// frames: -1, 0, 1.
#pragma once

#include "gui/CControl.h"
#include "gui/IMultiBitmapControl.h"

namespace zel::gui {

enum CRockerSwitchStyle : int32_t {
    kHorizontal = 1 << 0,
    kVertical = 1 << 1,
};

class CRockerSwitch : public CControl, public IMultiBitmapControl {
public:
    CRockerSwitch(const CRect& size, IControlListener* listener, int32_t tag, CBitmap* background,
                  const CPoint& offset = CPoint(0, 0), int32_t style = kHorizontal);
    CRockerSwitch(const CRect& size, IControlListener* listener, int32_t tag,
                  CCoord heightOfOneImage, CBitmap* background, const CPoint& offset = CPoint(0, 0),
                  int32_t style = kHorizontal);
    CRockerSwitch(const CRockerSwitch& other) = default;

    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, const CButtonState& buttons) override;
    bool onWheel(const CPoint& where, const float& distance, const CButtonState& buttons) override;
    bool sizeToFit() override;
    void autoComputeHeightOfOneImage() override;

    int32_t getStyle() const { return style; }
    void setStyle(int32_t newStyle) { style = newStyle; }
    void setOffset(const CPoint& newOffset) { offset = newOffset; }
    const CPoint& getOffset() const { return offset; }

    CLASS_METHODS(CRockerSwitch, CControl)

protected:
    CPoint offset;
    int32_t style;
};

} // namespace zel::gui
