// A drawing context over an image of its own (ARGB, initially transparent):
// draw into it once, copy it into another context as often as needed.
#pragma once

#include "gui/CDrawContext.h"

namespace zel::gui {

class CFrame;

class COffscreenContext : public CDrawContext {
public:
    // An image of width x height pixels (at least 1 x 1).
    COffscreenContext(CCoord width, CCoord height);
    // As VSTGUI's factory; the frame is not needed for an image surface.
    static COffscreenContext* create(CFrame* frame, CCoord width, CCoord height);
    ~COffscreenContext() override;

    CCoord getWidth() const { return getSurfaceRect().getWidth(); }
    CCoord getHeight() const { return getSurfaceRect().getHeight(); }
    cairo_surface_t* getSurface() const { return surface; }

    // Copies the image, from srcOffset on, into destRect of dest.
    void copyFrom(CDrawContext* dest, CRect destRect, CPoint srcOffset = CPoint(0, 0));

    // The pixel at (x, y), un-premultiplied; transparent outside the image.
    CColor getPixel(int32_t x, int32_t y);
    // Writes the image as a PNG file (screenshots); false on failure.
    bool writePng(const char* path);

    CLASS_METHODS_NOCOPY(COffscreenContext, CDrawContext)

private:
    COffscreenContext(cairo_surface_t* imageSurface, CCoord width, CCoord height);
    cairo_surface_t* surface;
};

} // namespace zel::gui
