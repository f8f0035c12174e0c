#include "editor/ZelMarker.h"

#include "gui/CBitmap.h"
#include "gui/COffscreenContext.h"

#include <algorithm>
#include <cmath>

namespace zel {

using namespace gui;

ZelMarker::ZelMarker(const CRect& rect, IControlListener* l, int32_t t,
                     const CPoint& highlightOrigin, float phase, int32_t travelWidth,
                     CBitmap* highlightBitmap, CBitmap* groove, const CPoint& bitmapOffset)
    : CControl(rect, l, t, groove), highlight(highlightBitmap), offset(bitmapOffset),
      phaseOffset(phase) {
    if (highlight) {
        highlight->remember();
        highlightWidth = highlight->getWidth();
        highlightHeight = highlight->getHeight();
    }
    if (groove) {
        grooveWidth = groove->getWidth();
        grooveHeight = groove->getHeight();
    }
    // The band crosses the groove and its own width, entering at one end and
    // leaving at the other.
    travel = static_cast<double>(travelWidth) + highlightWidth;
    setHighlightOrigin(highlightOrigin);
    setWantsFocus(false);
}

ZelMarker::ZelMarker(const ZelMarker& other)
    : CControl(other), highlight(other.highlight), offset(other.offset),
      phaseOffset(other.phaseOffset), highlightWidth(other.highlightWidth),
      highlightHeight(other.highlightHeight), grooveWidth(other.grooveWidth),
      grooveHeight(other.grooveHeight), travel(other.travel), origin(other.origin),
      leftLimit(other.leftLimit), rightLimit(other.rightLimit) {
    if (highlight) highlight->remember();
}

ZelMarker::~ZelMarker() {
    if (offscreen) offscreen->forget();
    if (highlight) highlight->forget();
}

void ZelMarker::setHighlightOrigin(const CPoint& point) {
    origin = point;
    leftLimit = point.x;
    rightLimit = point.x + travel + highlightWidth;
}

int32_t ZelMarker::getHighlightLeft() const {
    float f = 1.f - getValueNormalized() + phaseOffset;
    if (f > 1.f) f -= 1.f;
    const double x = std::floor(static_cast<double>(f) * travel) + origin.x;
    return static_cast<int32_t>(std::max(x, leftLimit));
}

void ZelMarker::draw(CDrawContext* context) {
    if (!offscreen)
        offscreen = COffscreenContext::create(getFrame(), std::max<CCoord>(grooveWidth, 1),
                                              std::max<CCoord>(grooveHeight, 1));
    if (!offscreen) return;
    offscreen->resetClipRect();
    // Start from an empty image, so nothing of the last band survives under
    // see-through parts of the groove.
    cairo_t* cr = offscreen->getCairo();
    cairo_save(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
    cairo_paint(cr);
    cairo_restore(cr);
    const CRect grooveRect(0, 0, grooveWidth, grooveHeight);
    if (pBackground) pBackground->draw(offscreen, grooveRect, CPoint(0, 0), 1.f);
    if (highlight) {
        const double left = getHighlightLeft();
        const double right = std::min(left + highlightWidth, rightLimit);
        const CRect band(left, origin.y, right, origin.y + highlightHeight);
        highlight->draw(offscreen, band, CPoint(0, 0), 1.f);
    }
    // The copy leaves out the groove's last column.
    const CRect copyRect(size.left, size.top, size.left + grooveWidth - 1, size.top + grooveHeight);
    offscreen->copyFrom(context, copyRect, CPoint(0, 0));
}

} // namespace zel
