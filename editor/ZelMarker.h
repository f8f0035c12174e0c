// A rotor strip: a light band (the highlight bitmap) that scrolls along a groove
// (the background bitmap) as the rotor turns; the value is the rotor angle in
// turns. It draws through one offscreen image of the groove's size, kept for its
// life, so the band is clipped to the groove and never flickers.
#pragma once

#include "gui/CControl.h"

#include <cstdint>

namespace zel::gui {
class COffscreenContext;
}

namespace zel {

class ZelMarker : public gui::CControl {
public:
    // highlightOrigin: where the band stands at the start of its travel, in the
    // groove's coordinates. travelWidth: the groove width the band crosses.
    ZelMarker(const gui::CRect& size, gui::IControlListener* listener, int32_t tag,
              const gui::CPoint& highlightOrigin, float phaseOffset, int32_t travelWidth,
              gui::CBitmap* highlight, gui::CBitmap* groove,
              const gui::CPoint& offset = gui::CPoint(0, 0));
    // A copy shares the bitmaps (one more reference each) and makes its own image.
    ZelMarker(const ZelMarker& other);
    ~ZelMarker() override;

    void draw(gui::CDrawContext* context) override;
    virtual void setHighlightOrigin(const gui::CPoint& origin);

    // Left edge of the band in the groove's coordinates for the current value.
    int32_t getHighlightLeft() const;
    gui::CBitmap* getHighlight() const { return highlight; }

    CLASS_METHODS(ZelMarker, CControl)

private:
    gui::CBitmap* highlight;
    gui::CPoint offset;
    float phaseOffset;
    gui::CCoord highlightWidth = 0;
    gui::CCoord highlightHeight = 0;
    gui::CCoord grooveWidth = 0;
    gui::CCoord grooveHeight = 0;
    double travel;
    gui::CPoint origin;
    double leftLimit = 0;
    double rightLimit = 0;
    gui::COffscreenContext* offscreen = nullptr;
};

} // namespace zel
