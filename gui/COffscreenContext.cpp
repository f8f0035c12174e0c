#include "gui/COffscreenContext.h"

#include <algorithm>
#include <cmath>

namespace zel::gui {

namespace {

int32_t pixels(CCoord length) {
    return std::max(1, static_cast<int32_t>(std::ceil(length)));
}

cairo_surface_t* makeSurface(CCoord width, CCoord height) {
    return cairo_image_surface_create(CAIRO_FORMAT_ARGB32, pixels(width), pixels(height));
}

// A cairo context whose only reference is handed to the base class, which takes
// its own; the constructor drops this one.
cairo_t* makeContext(cairo_surface_t* surface) {
    return cairo_create(surface);
}

} // namespace

COffscreenContext::COffscreenContext(CCoord width, CCoord height)
    : COffscreenContext(makeSurface(width, height), width, height) {}

COffscreenContext::COffscreenContext(cairo_surface_t* imageSurface, CCoord width, CCoord height)
    : CDrawContext(makeContext(imageSurface), CRect(0, 0, pixels(width), pixels(height))),
      surface(imageSurface) {
    cairo_destroy(getCairo()); // the base holds its own reference
}

COffscreenContext* COffscreenContext::create(CFrame*, CCoord width, CCoord height) {
    return new COffscreenContext(width, height);
}

COffscreenContext::~COffscreenContext() {
    cairo_surface_destroy(surface);
}

void COffscreenContext::copyFrom(CDrawContext* dest, CRect destRect, CPoint srcOffset) {
    if (!dest || destRect.isEmpty()) return;
    cairo_surface_flush(surface);
    cairo_t* target = dest->getCairo();
    cairo_save(target);
    cairo_rectangle(target, destRect.left, destRect.top, destRect.getWidth(), destRect.getHeight());
    cairo_clip(target);
    cairo_set_source_surface(target, surface, destRect.left - srcOffset.x,
                             destRect.top - srcOffset.y);
    cairo_pattern_set_filter(cairo_get_source(target), CAIRO_FILTER_NEAREST);
    cairo_paint_with_alpha(target, dest->getGlobalAlpha());
    cairo_restore(target);
}

CColor COffscreenContext::getPixel(int32_t x, int32_t y) {
    cairo_surface_flush(surface);
    if (x < 0 || y < 0 || x >= cairo_image_surface_get_width(surface) ||
        y >= cairo_image_surface_get_height(surface))
        return kTransparentCColor;
    const unsigned char* row =
        cairo_image_surface_get_data(surface) + y * cairo_image_surface_get_stride(surface);
    const uint32_t argb = reinterpret_cast<const uint32_t*>(row)[x];
    const uint32_t a = argb >> 24;
    if (a == 0) return CColor{0, 0, 0, 0};
    auto channel = [a](uint32_t premultiplied) {
        return static_cast<uint8_t>(std::min<uint32_t>(255, (premultiplied * 255 + a / 2) / a));
    };
    return CColor{channel((argb >> 16) & 0xff), channel((argb >> 8) & 0xff), channel(argb & 0xff),
                  static_cast<uint8_t>(a)};
}

bool COffscreenContext::writePng(const char* path) {
    cairo_surface_flush(surface);
    return cairo_surface_write_to_png(surface, path) == CAIRO_STATUS_SUCCESS;
}

} // namespace zel::gui
