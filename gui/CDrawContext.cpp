#include "gui/CDrawContext.h"

#include "gui/CBitmap.h"

#include <algorithm>
#include <cmath>

namespace zel::gui {

struct CDrawContext::SavedState {
    CRect clipRect;
    CColor fillColor, frameColor, fontColor;
    CCoord lineWidth;
    CDrawMode drawMode;
    float globalAlpha;
    CFontRef font;
    SavedState* next;
};

CDrawContext::CDrawContext(cairo_t* context, const CRect& rect)
    : cr(cairo_reference(context)), surfaceRect(rect), clipRect(rect) {
    setFont(kNormalFont);
    applyClip();
}

CDrawContext::~CDrawContext() {
    while (savedStates) restoreGlobalState();
    if (font) font->forget();
    cairo_destroy(cr);
}

void CDrawContext::setClipRect(const CRect& clip) {
    clipRect = clip;
    clipRect.bound(surfaceRect);
    applyClip();
}

void CDrawContext::resetClipRect() {
    clipRect = surfaceRect;
    applyClip();
}

void CDrawContext::applyClip() {
    cairo_reset_clip(cr);
    cairo_rectangle(cr, clipRect.left, clipRect.top, clipRect.getWidth(), clipRect.getHeight());
    cairo_clip(cr);
}

void CDrawContext::saveGlobalState() {
    if (font) font->remember();
    savedStates = new SavedState{clipRect, fillColor,   frameColor, fontColor,  lineWidth,
                                 drawMode, globalAlpha, font,       savedStates};
}

void CDrawContext::restoreGlobalState() {
    if (!savedStates) return;
    SavedState* state = savedStates;
    savedStates = state->next;
    fillColor = state->fillColor;
    frameColor = state->frameColor;
    fontColor = state->fontColor;
    lineWidth = state->lineWidth;
    drawMode = state->drawMode;
    globalAlpha = state->globalAlpha;
    if (font) font->forget();
    font = state->font;
    setClipRect(state->clipRect);
    delete state;
}

void CDrawContext::setGlobalAlpha(float alpha) {
    globalAlpha = std::clamp(alpha, 0.f, 1.f);
}

void CDrawContext::setFont(const CFontRef newFont, const CCoord& fontSize, const int32_t& style) {
    if (!newFont) return;
    auto* copy = new CFontDesc(*newFont);
    if (fontSize > 0) copy->setSize(fontSize);
    if (style >= 0) copy->setStyle(style);
    if (font) font->forget();
    font = copy;
}

void CDrawContext::applyColor(const CColor& color) {
    cairo_set_source_rgba(cr, color.normRed(), color.normGreen(), color.normBlue(),
                          color.normAlpha() * globalAlpha);
}

void CDrawContext::applyFont() {
    const int32_t style = font->getStyle();
    cairo_select_font_face(cr, font->getPlatformFamily(),
                           (style & kItalicFace) ? CAIRO_FONT_SLANT_ITALIC
                                                 : CAIRO_FONT_SLANT_NORMAL,
                           (style & kBoldFace) ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, font->getSize() > 0 ? font->getSize() : 12.0);
}

void CDrawContext::drawRect(const CRect& rect, CDrawStyle style) {
    cairo_save(cr);
    cairo_set_antialias(cr,
                        drawMode == kAntiAliasing ? CAIRO_ANTIALIAS_DEFAULT : CAIRO_ANTIALIAS_NONE);
    if (style != kDrawStroked) {
        cairo_rectangle(cr, rect.left, rect.top, rect.getWidth(), rect.getHeight());
        applyColor(fillColor);
        cairo_fill(cr);
    }
    if (style != kDrawFilled) {
        // Lines on pixel centres, inside the rectangle.
        const double half = lineWidth / 2;
        cairo_rectangle(cr, rect.left + half, rect.top + half, rect.getWidth() - lineWidth,
                        rect.getHeight() - lineWidth);
        cairo_set_line_width(cr, lineWidth);
        applyColor(frameColor);
        cairo_stroke(cr);
    }
    cairo_restore(cr);
}

void CDrawContext::drawEllipse(const CRect& rect, CDrawStyle style) {
    if (rect.isEmpty()) return;
    cairo_save(cr);
    cairo_translate(cr, rect.getCenter().x, rect.getCenter().y);
    cairo_scale(cr, rect.getWidth() / 2, rect.getHeight() / 2);
    cairo_arc(cr, 0, 0, 1, 0, 2 * M_PI);
    cairo_restore(cr);
    cairo_save(cr);
    if (style != kDrawStroked) {
        applyColor(fillColor);
        if (style == kDrawFilled)
            cairo_fill(cr);
        else
            cairo_fill_preserve(cr);
    }
    if (style != kDrawFilled) {
        cairo_set_line_width(cr, lineWidth);
        applyColor(frameColor);
        cairo_stroke(cr);
    }
    cairo_new_path(cr);
    cairo_restore(cr);
}

void CDrawContext::drawLine(const CPoint& start, const CPoint& end) {
    cairo_save(cr);
    cairo_set_antialias(cr,
                        drawMode == kAntiAliasing ? CAIRO_ANTIALIAS_DEFAULT : CAIRO_ANTIALIAS_NONE);
    // Odd line widths on pixel centres so a 1-pixel line covers one pixel.
    const double shift = std::fmod(lineWidth, 2.0) == 1.0 ? 0.5 : 0.0;
    cairo_move_to(cr, start.x + shift, start.y + shift);
    cairo_line_to(cr, end.x + shift, end.y + shift);
    cairo_set_line_width(cr, lineWidth);
    applyColor(frameColor);
    cairo_stroke(cr);
    cairo_restore(cr);
    penPosition = end;
}

void CDrawContext::lineTo(const CPoint& point) {
    drawLine(penPosition, point);
}

void CDrawContext::drawString(const char* utf8, const CRect& rect, CHoriTxtAlign align,
                              bool antialias) {
    if (!utf8 || !*utf8 || rect.isEmpty()) return;
    cairo_save(cr);
    cairo_rectangle(cr, rect.left, rect.top, rect.getWidth(), rect.getHeight());
    cairo_clip(cr);
    applyFont();
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_antialias(options,
                                     antialias ? CAIRO_ANTIALIAS_GRAY : CAIRO_ANTIALIAS_NONE);
    cairo_set_font_options(cr, options);
    cairo_font_options_destroy(options);
    cairo_font_extents_t fontExtents;
    cairo_font_extents(cr, &fontExtents);
    cairo_text_extents_t textExtents;
    cairo_text_extents(cr, utf8, &textExtents);
    double x = rect.left;
    if (align == kCenterText)
        x = rect.left + (rect.getWidth() - textExtents.x_advance) / 2;
    else if (align == kRightText)
        x = rect.right - textExtents.x_advance;
    // Baseline so that the font's ascent and descent are centred in the rectangle.
    const double y = rect.top + (rect.getHeight() + fontExtents.ascent - fontExtents.descent) / 2;
    cairo_move_to(cr, std::round(x), std::round(y));
    applyColor(fontColor);
    cairo_show_text(cr, utf8);
    cairo_restore(cr);
}

void CDrawContext::drawString(const char* utf8, const CPoint& where, bool antialias) {
    if (!utf8 || !*utf8) return;
    cairo_save(cr);
    applyFont();
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_antialias(options,
                                     antialias ? CAIRO_ANTIALIAS_GRAY : CAIRO_ANTIALIAS_NONE);
    cairo_set_font_options(cr, options);
    cairo_font_options_destroy(options);
    cairo_move_to(cr, where.x, where.y);
    applyColor(fontColor);
    cairo_show_text(cr, utf8);
    cairo_restore(cr);
}

CCoord CDrawContext::getStringWidth(const char* utf8) {
    if (!utf8 || !*utf8) return 0;
    cairo_save(cr);
    applyFont();
    cairo_text_extents_t extents;
    cairo_text_extents(cr, utf8, &extents);
    cairo_restore(cr);
    return extents.x_advance;
}

void CDrawContext::drawBitmap(CBitmap* bitmap, const CRect& dest, const CPoint& offset,
                              float alpha) {
    if (!bitmap || !bitmap->getSurface() || dest.isEmpty()) return;
    cairo_save(cr);
    cairo_rectangle(cr, dest.left, dest.top, dest.getWidth(), dest.getHeight());
    cairo_clip(cr);
    cairo_set_source_surface(cr, bitmap->getSurface(), dest.left - offset.x, dest.top - offset.y);
    // Filmstrip frames must not bleed into each other at fractional positions.
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
    cairo_paint_with_alpha(cr, std::clamp(alpha, 0.f, 1.f) * globalAlpha);
    cairo_restore(cr);
}

} // namespace zel::gui
