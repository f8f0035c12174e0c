// An image decoded from PNG bytes. Bitmaps are shared by reference count. A
// bitmap whose bytes are missing or cannot be decoded is 0 x 0 and draws nothing.
//
// Resources: CBitmap(CResourceDescription{id}) asks the process-wide lookup
// (installed once by the plug-in, e.g. its compiled-in PNG table) for the bytes.
// Those bytes live as long as the process, so a resource bitmap reads only its
// size from the PNG header when it is made and decodes the pixels on their first
// use. An editor object is made with its effect, often on a thread other than the
// UI thread and long before (if ever) a window opens; decoding there would cost
// every instance the face's pixels whether it is ever shown or not.
#pragma once

#include "gui/CBaseObject.h"
#include "gui/CRect.h"

#include <atomic>
#include <cairo.h>
#include <cstdint>
#include <mutex>
#include <span>

namespace zel::gui {

class CDrawContext;

struct CResourceDescription {
    constexpr CResourceDescription(int32_t resourceId) : id(resourceId) {}
    int32_t id;
};

class CBitmap : public CBaseObject {
public:
    // PNG bytes of a resource id; an empty span when the id is unknown. The bytes
    // must stay valid for the life of the process.
    using ResourceLookup = std::span<const uint8_t> (*)(int32_t id);
    static void setResourceLookup(ResourceLookup lookup);
    static ResourceLookup getResourceLookup();

    // Reads the size from the resource's PNG header; decodes on first use.
    CBitmap(const CResourceDescription& desc);
    // Decodes PNG bytes (copied while decoding; the caller keeps them).
    explicit CBitmap(std::span<const uint8_t> pngBytes);
    // A transparent bitmap of the given size.
    CBitmap(CCoord width, CCoord height);
    ~CBitmap() override;

    // The size the PNG header gives, before any decoding; 0 x 0 once a decode
    // has failed.
    CCoord getWidth() const { return width.load(std::memory_order_relaxed); }
    CCoord getHeight() const { return height.load(std::memory_order_relaxed); }
    bool isLoaded() const { return getSurface() != nullptr; }
    const CResourceDescription& getResourceDescription() const { return resourceDesc; }
    // The decoded image, null for a 0 x 0 bitmap. Decodes on the first call.
    cairo_surface_t* getSurface() const;
    // Whether a resource's pixels still wait for their first use to be decoded.
    bool isDecodePending() const { return !decoded.load(std::memory_order_acquire); }

    // Draws the bitmap's pixels from offset on into rect of the context, clipped
    // to rect, with the given opacity.
    virtual void draw(CDrawContext* context, const CRect& rect, const CPoint& offset = CPoint(0, 0),
                      float alpha = 1.f);

    CLASS_METHODS_NOCOPY(CBitmap, CBaseObject)

private:
    void decodePending() const;
    void loadPng(std::span<const uint8_t> pngBytes) const;
    void setSize(CCoord w, CCoord h) const;

    CResourceDescription resourceDesc{-1};
    // The resource's bytes, decoded on first use; empty for every other bitmap.
    std::span<const uint8_t> pendingPng;
    mutable std::once_flag decodeOnce;
    // False only while pendingPng waits to be decoded.
    mutable std::atomic<bool> decoded{true};
    mutable cairo_surface_t* surface = nullptr;
    mutable std::atomic<CCoord> width{0};
    mutable std::atomic<CCoord> height{0};
};

} // namespace zel::gui
