#include "gui/CMovieBitmap.h"

#include "gui/CBitmap.h"

#include <algorithm>

namespace zel::gui {

CMovieBitmap::CMovieBitmap(const CRect& rect, IControlListener* l, int32_t t, CBitmap* background,
                           const CPoint& bitmapOffset)
    : CControl(rect, l, t, background), offset(bitmapOffset) {
    heightOfOneImage = rect.getHeight();
    autoComputeHeightOfOneImage();
    setWantsFocus(false);
}

CMovieBitmap::CMovieBitmap(const CRect& rect, IControlListener* l, int32_t t,
                           int32_t subPixmapCount, CCoord imageHeight, CBitmap* background,
                           const CPoint& bitmapOffset)
    : CControl(rect, l, t, background), offset(bitmapOffset) {
    subPixmaps = subPixmapCount;
    heightOfOneImage = imageHeight;
    setWantsFocus(false);
}

void CMovieBitmap::autoComputeHeightOfOneImage() {
    if (heightOfOneImage <= 0) heightOfOneImage = size.getHeight();
    subPixmaps = (pBackground && heightOfOneImage > 0)
                     ? static_cast<int32_t>(pBackground->getHeight() / heightOfOneImage)
                     : 0;
}

int32_t CMovieBitmap::getFrameIndex() const {
    if (subPixmaps <= 1) return 0;
    const float position = std::clamp(getValueNormalized(), 0.f, 1.f);
    return std::clamp(static_cast<int32_t>(position * static_cast<float>(subPixmaps - 1) + 0.5f), 0,
                      subPixmaps - 1);
}

void CMovieBitmap::draw(CDrawContext* context) {
    if (pBackground)
        pBackground->draw(context, size,
                          CPoint(offset.x, offset.y + getFrameIndex() * heightOfOneImage));
    setDirty(false);
}

bool CMovieBitmap::sizeToFit() {
    if (!pBackground) return false;
    CRect rect = size;
    rect.setWidth(pBackground->getWidth());
    rect.setHeight(heightOfOneImage);
    setViewSize(rect);
    setMouseableArea(rect);
    return true;
}

} // namespace zel::gui
