// A filmstrip display without mouse handling: frame
// (int)(normalized value x (frames - 1) + 0.5).
#pragma once

#include "gui/CControl.h"
#include "gui/IMultiBitmapControl.h"

namespace zel::gui {

class CMovieBitmap : public CControl, public IMultiBitmapControl {
public:
    CMovieBitmap(const CRect& size, IControlListener* listener, int32_t tag, CBitmap* background,
                 const CPoint& offset = CPoint(0, 0));
    CMovieBitmap(const CRect& size, IControlListener* listener, int32_t tag, int32_t subPixmaps,
                 CCoord heightOfOneImage, CBitmap* background, const CPoint& offset = CPoint(0, 0));
    CMovieBitmap(const CMovieBitmap& other) = default;

    void draw(CDrawContext* context) override;
    bool sizeToFit() override;
    void autoComputeHeightOfOneImage() override;

    int32_t getFrameIndex() const;
    void setOffset(const CPoint& newOffset) { offset = newOffset; }
    const CPoint& getOffset() const { return offset; }

    CLASS_METHODS(CMovieBitmap, CControl)

protected:
    CPoint offset;
};

} // namespace zel::gui
