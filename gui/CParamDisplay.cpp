#include "gui/CParamDisplay.h"

#include "gui/CBitmap.h"

#include <cstdio>

namespace zel::gui {

CParamDisplay::CParamDisplay(const CRect& rect, CBitmap* background, int32_t displayStyle)
    : CControl(rect, nullptr, -1, background), style(displayStyle) {
    setFont(kNormalFont);
    setWantsFocus(false);
}

CParamDisplay::CParamDisplay(const CParamDisplay& other)
    : CControl(other), fontID(other.fontID), fontColor(other.fontColor), backColor(other.backColor),
      frameColor(other.frameColor), shadowColor(other.shadowColor),
      horiTxtAlign(other.horiTxtAlign), style(other.style),
      bTransparencyEnabled(other.bTransparencyEnabled), bAntialias(other.bAntialias),
      textInset(other.textInset), stringConvert(other.stringConvert),
      stringConvert2(other.stringConvert2), userData(other.userData),
      valueToStringFunction(other.valueToStringFunction), string2Float(other.string2Float) {
    if (fontID) fontID->remember();
}

CParamDisplay::~CParamDisplay() {
    if (fontID) fontID->forget();
}

void CParamDisplay::setFont(CFontRef font) {
    if (!font || font == fontID) return;
    font->remember();
    if (fontID) fontID->forget();
    fontID = font;
    setDirty(true);
}

void CParamDisplay::setStringConvert(StringConvertFunction convert) {
    stringConvert = convert;
    stringConvert2 = nullptr;
    userData = nullptr;
    valueToStringFunction = nullptr;
    setDirty(true);
}

void CParamDisplay::setStringConvert(StringConvertUserDataFunction convert, void* data) {
    stringConvert = nullptr;
    stringConvert2 = convert;
    userData = data;
    valueToStringFunction = nullptr;
    setDirty(true);
}

void CParamDisplay::setValueToStringFunction(ValueToStringFunction function) {
    stringConvert = nullptr;
    stringConvert2 = nullptr;
    userData = nullptr;
    valueToStringFunction = std::move(function);
    setDirty(true);
}

bool CParamDisplay::hasValueToString() const {
    return stringConvert || stringConvert2 || valueToStringFunction;
}

void CParamDisplay::valueToString(float val, char string[kTextSize]) {
    string[0] = '\0';
    if (valueToStringFunction) {
        if (!valueToStringFunction(val, string, this)) string[0] = '\0';
    } else if (stringConvert2) {
        stringConvert2(val, string, userData);
    } else if (stringConvert) {
        stringConvert(val, string);
    } else {
        std::snprintf(string, kTextSize, "%2.2f", static_cast<double>(val));
    }
    string[kTextSize - 1] = '\0'; // a function that ran to the end of the buffer
}

void CParamDisplay::draw(CDrawContext* context) {
    if (!(style & kNoDrawStyle)) {
        char string[kTextSize];
        valueToString(getValue(), string);
        drawBack(context);
        drawText(context, string);
    }
    setDirty(false);
}

void CParamDisplay::drawBack(CDrawContext* context, CBitmap* newBack) {
    CBitmap* bitmap = newBack ? newBack : pBackground;
    if (bitmap) {
        bitmap->draw(context, size, backOffset);
        return;
    }
    if (bTransparencyEnabled) return;
    context->setFillColor(backColor);
    context->fillRect(size);
    if (style & (k3DIn | k3DOut)) {
        // Light and dark edges, swapped between sunken and raised.
        const CColor light = kWhiteCColor, dark = kBlackCColor;
        context->setFrameColor((style & k3DIn) ? dark : light);
        context->drawLine(size.getTopLeft(), CPoint(size.right - 1, size.top));
        context->drawLine(size.getTopLeft(), CPoint(size.left, size.bottom - 1));
        context->setFrameColor((style & k3DIn) ? light : dark);
        context->drawLine(CPoint(size.right - 1, size.top),
                          CPoint(size.right - 1, size.bottom - 1));
        context->drawLine(CPoint(size.left, size.bottom - 1),
                          CPoint(size.right - 1, size.bottom - 1));
    } else if (!(style & kNoFrame)) {
        context->setFrameColor(frameColor);
        context->frameRect(size);
    }
}

void CParamDisplay::drawText(CDrawContext* context, const char* string) {
    if ((style & kNoTextStyle) || !string || !*string) return;
    CRect textRect = size;
    textRect.inset(textInset.x, textInset.y);
    context->setFont(fontID);
    if (style & kShadowText) {
        CRect shadowRect = textRect;
        shadowRect.offset(1, 1);
        context->setFontColor(shadowColor);
        context->drawString(string, shadowRect, horiTxtAlign, bAntialias);
    }
    context->setFontColor(fontColor);
    context->drawString(string, textRect, horiTxtAlign, bAntialias);
}

} // namespace zel::gui
