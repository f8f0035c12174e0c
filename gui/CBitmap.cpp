#include "gui/CBitmap.h"

#include "gui/CDrawContext.h"
#include "gui/PngHeader.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <optional>

namespace zel::gui {

namespace {

std::atomic<CBitmap::ResourceLookup> resourceLookup{nullptr};

struct PngReader {
    std::span<const uint8_t> bytes;
    size_t position = 0;
};

cairo_status_t readPng(void* closure, unsigned char* data, unsigned int length) {
    auto* reader = static_cast<PngReader*>(closure);
    if (length > reader->bytes.size() - reader->position) return CAIRO_STATUS_READ_ERROR;
    std::memcpy(data, reader->bytes.data() + reader->position, length);
    reader->position += length;
    return CAIRO_STATUS_SUCCESS;
}

} // namespace

void CBitmap::setResourceLookup(ResourceLookup lookup) {
    resourceLookup.store(lookup);
}

CBitmap::ResourceLookup CBitmap::getResourceLookup() {
    return resourceLookup.load();
}

CBitmap::CBitmap(const CResourceDescription& desc) : resourceDesc(desc) {
    ResourceLookup lookup = resourceLookup.load();
    if (!lookup) return;
    const std::span<const uint8_t> png = lookup(desc.id);
    const std::optional<PngSize> size = readPngSize(png);
    if (!size) return; // no image: 0 x 0, nothing to decode
    pendingPng = png;
    setSize(size->width, size->height);
    decoded.store(false, std::memory_order_relaxed);
}

CBitmap::CBitmap(std::span<const uint8_t> pngBytes) {
    loadPng(pngBytes);
}

CBitmap::CBitmap(CCoord w, CCoord h) {
    const int iw = static_cast<int>(w), ih = static_cast<int>(h);
    if (iw <= 0 || ih <= 0) return;
    surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, iw, ih);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        surface = nullptr;
        return;
    }
    setSize(iw, ih);
}

CBitmap::~CBitmap() {
    if (surface) cairo_surface_destroy(surface);
}

cairo_surface_t* CBitmap::getSurface() const {
    // The flag spares every later call the once_flag; call_once still orders a
    // decode that two threads would ask for at the same time.
    if (!decoded.load(std::memory_order_acquire))
        std::call_once(decodeOnce, [this] { decodePending(); });
    return surface;
}

void CBitmap::decodePending() const {
    loadPng(pendingPng);
    if (!surface) setSize(0, 0); // a body that does not decode: no image after all
    decoded.store(true, std::memory_order_release);
}

void CBitmap::setSize(CCoord w, CCoord h) const {
    width.store(w, std::memory_order_relaxed);
    height.store(h, std::memory_order_relaxed);
}

void CBitmap::loadPng(std::span<const uint8_t> pngBytes) const {
    if (pngBytes.empty()) return;
    PngReader reader{pngBytes};
    cairo_surface_t* image = cairo_image_surface_create_from_png_stream(readPng, &reader);
    if (cairo_surface_status(image) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(image);
        return;
    }
    surface = image;
    setSize(cairo_image_surface_get_width(image), cairo_image_surface_get_height(image));
}

void CBitmap::draw(CDrawContext* context, const CRect& rect, const CPoint& offset, float alpha) {
    if (context) context->drawBitmap(this, rect, offset, alpha);
}

} // namespace zel::gui
