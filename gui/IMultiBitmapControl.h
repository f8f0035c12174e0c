// A control drawn from a filmstrip: frames of equal height stacked vertically.
#pragma once

#include "gui/CPoint.h"

#include <cstdint>

namespace zel::gui {

class IMultiBitmapControl {
public:
    virtual ~IMultiBitmapControl() = default;

    virtual void setHeightOfOneImage(const CCoord& height) { heightOfOneImage = height; }
    virtual CCoord getHeightOfOneImage() const { return heightOfOneImage; }
    virtual void setNumSubPixmaps(int32_t count) { subPixmaps = count; }
    virtual int32_t getNumSubPixmaps() const { return subPixmaps; }
    // Sets the frame count from the bitmap's height and the frame height (or the
    // frame height from the view's height when none is set).
    virtual void autoComputeHeightOfOneImage() = 0;

protected:
    CCoord heightOfOneImage = 0;
    int32_t subPixmaps = 0;
};

} // namespace zel::gui
