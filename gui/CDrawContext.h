// Drawing into a cairo surface: clipping, rectangles, lines, text and bitmaps.
// Coordinates are frame coordinates; the context is clipped to the area being
// redrawn. Reference counted like views (contexts kept by views are released
// with them).
#pragma once

#include "gui/CBaseObject.h"
#include "gui/CColor.h"
#include "gui/CFontDesc.h"
#include "gui/CRect.h"

#include <cairo.h>

namespace zel::gui {

class CBitmap;

enum CHoriTxtAlign : int32_t {
    kLeftText = 0,
    kCenterText = 1,
    kRightText = 2,
};

enum CDrawStyle : int32_t {
    kDrawStroked = 0,
    kDrawFilled = 1,
    kDrawFilledAndStroked = 2,
};

enum CDrawMode : int32_t {
    kAliasing = 0,
    kAntiAliasing = 1,
};

class CDrawContext : public CBaseObject {
public:
    // Draws through cr (one cairo reference held) onto a surface of the given
    // size; the clip starts as the whole surface.
    CDrawContext(cairo_t* cr, const CRect& surfaceRect);
    ~CDrawContext() override;

    cairo_t* getCairo() const { return cr; }
    const CRect& getSurfaceRect() const { return surfaceRect; }

    // Clipping (always within the surface).
    void setClipRect(const CRect& clip);
    CRect& getClipRect(CRect& clip) const { return clip = clipRect; }
    const CRect& getClipRect() const { return clipRect; }
    void resetClipRect();

    // State; saveGlobalState/restoreGlobalState bracket temporary changes.
    void saveGlobalState();
    void restoreGlobalState();
    void setFillColor(const CColor& color) { fillColor = color; }
    const CColor& getFillColor() const { return fillColor; }
    void setFrameColor(const CColor& color) { frameColor = color; }
    const CColor& getFrameColor() const { return frameColor; }
    void setLineWidth(CCoord width) { lineWidth = width; }
    CCoord getLineWidth() const { return lineWidth; }
    void setDrawMode(CDrawMode mode) { drawMode = mode; }
    CDrawMode getDrawMode() const { return drawMode; }
    void setGlobalAlpha(float alpha);
    float getGlobalAlpha() const { return globalAlpha; }

    // Font: size 0 keeps the font's size, style -1 keeps its style. The context
    // keeps its own copy, so the caller's font is never changed.
    void setFont(const CFontRef font, const CCoord& size = 0, const int32_t& style = -1);
    CFontRef getFont() const { return font; }
    void setFontColor(const CColor& color) { fontColor = color; }
    const CColor& getFontColor() const { return fontColor; }

    // Shapes.
    void drawRect(const CRect& rect, CDrawStyle style = kDrawStroked);
    void fillRect(const CRect& rect) { drawRect(rect, kDrawFilled); }
    void frameRect(const CRect& rect) { drawRect(rect, kDrawStroked); }
    void drawEllipse(const CRect& rect, CDrawStyle style = kDrawStroked);
    void drawLine(const CPoint& start, const CPoint& end);
    void moveTo(const CPoint& point) { penPosition = point; }
    void lineTo(const CPoint& point);

    // Text (UTF-8) in the current font and font colour: within rect, vertically
    // centred, aligned horizontally; or with its baseline starting at where.
    void drawString(const char* utf8, const CRect& rect, CHoriTxtAlign align = kCenterText,
                    bool antialias = true);
    void drawString(const char* utf8, const CPoint& where, bool antialias = true);
    CCoord getStringWidth(const char* utf8);

    // Draws the part of bitmap from offset on into dest (clipped to dest).
    void drawBitmap(CBitmap* bitmap, const CRect& dest, const CPoint& offset = CPoint(0, 0),
                    float alpha = 1.f);

private:
    void applyColor(const CColor& color);
    void applyFont();
    void applyClip();

    cairo_t* cr;
    CRect surfaceRect;
    CRect clipRect;
    CColor fillColor = kWhiteCColor;
    CColor frameColor = kBlackCColor;
    CColor fontColor = kWhiteCColor;
    CCoord lineWidth = 1;
    CDrawMode drawMode = kAliasing;
    float globalAlpha = 1.f;
    CFontRef font = nullptr;
    CPoint penPosition;
    struct SavedState;
    SavedState* savedStates = nullptr;
};

} // namespace zel::gui
