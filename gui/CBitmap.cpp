#include "gui/CBitmap.h"

#include "gui/CDrawContext.h"

#include <algorithm>
#include <atomic>
#include <cstring>

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
    if (ResourceLookup lookup = resourceLookup.load()) loadPng(lookup(desc.id));
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
    width = iw;
    height = ih;
}

CBitmap::~CBitmap() {
    if (surface) cairo_surface_destroy(surface);
}

void CBitmap::loadPng(std::span<const uint8_t> pngBytes) {
    if (pngBytes.empty()) return;
    PngReader reader{pngBytes};
    cairo_surface_t* decoded = cairo_image_surface_create_from_png_stream(readPng, &reader);
    if (cairo_surface_status(decoded) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(decoded);
        return;
    }
    surface = decoded;
    width = cairo_image_surface_get_width(decoded);
    height = cairo_image_surface_get_height(decoded);
}

void CBitmap::draw(CDrawContext* context, const CRect& rect, const CPoint& offset, float alpha) {
    if (context) context->drawBitmap(this, rect, offset, alpha);
}

} // namespace zel::gui
