// An image decoded from PNG bytes. Bitmaps are shared by reference count. A
// bitmap whose bytes are missing or cannot be decoded is 0 x 0 and draws nothing.
//
// Resources: CBitmap(CResourceDescription{id}) asks the process-wide lookup
// (installed once by the plug-in, e.g. its compiled-in PNG table) for the bytes.
#pragma once

#include "gui/CBaseObject.h"
#include "gui/CRect.h"

#include <cairo.h>
#include <cstdint>
#include <span>

namespace zel::gui {

class CDrawContext;

struct CResourceDescription {
    constexpr CResourceDescription(int32_t resourceId) : id(resourceId) {}
    int32_t id;
};

class CBitmap : public CBaseObject {
public:
    // PNG bytes of a resource id; an empty span when the id is unknown.
    using ResourceLookup = std::span<const uint8_t> (*)(int32_t id);
    static void setResourceLookup(ResourceLookup lookup);
    static ResourceLookup getResourceLookup();

    CBitmap(const CResourceDescription& desc);
    // Decodes PNG bytes (copied while decoding; the caller keeps them).
    explicit CBitmap(std::span<const uint8_t> pngBytes);
    // A transparent bitmap of the given size.
    CBitmap(CCoord width, CCoord height);
    ~CBitmap() override;

    CCoord getWidth() const { return width; }
    CCoord getHeight() const { return height; }
    bool isLoaded() const { return surface != nullptr; }
    const CResourceDescription& getResourceDescription() const { return resourceDesc; }
    // The decoded image, null for a 0 x 0 bitmap.
    cairo_surface_t* getSurface() const { return surface; }

    // Draws the bitmap's pixels from offset on into rect of the context, clipped
    // to rect, with the given opacity.
    virtual void draw(CDrawContext* context, const CRect& rect, const CPoint& offset = CPoint(0, 0),
                      float alpha = 1.f);

    CLASS_METHODS_NOCOPY(CBitmap, CBaseObject)

private:
    void loadPng(std::span<const uint8_t> pngBytes);

    CResourceDescription resourceDesc{-1};
    cairo_surface_t* surface = nullptr;
    CCoord width = 0;
    CCoord height = 0;
};

} // namespace zel::gui
