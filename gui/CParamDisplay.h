// Shows a control's value as text: draws its background (the background bitmap
// from the background offset, or the back colour), then the text made by the
// value-to-text function, in its font, font colour and horizontal alignment.
#pragma once

#include "gui/CColor.h"
#include "gui/CControl.h"
#include "gui/CDrawContext.h"

#include <functional>

namespace zel::gui {

// Display style flags.
enum CParamDisplayStyle : int32_t {
    k3DIn = 1 << 0,
    k3DOut = 1 << 1,
    kPopupStyle = 1 << 2,
    kCheckStyle = 1 << 3,
    kShadowText = 1 << 8,
    kNoFrame = 1 << 9,
    kRoundRectStyle = 1 << 10,
    kNoTextStyle = 1 << 11,
    kNoDrawStyle = 1 << 12,
};

class CParamDisplay : public CControl {
public:
    static constexpr int32_t kTextSize = 256; // bytes of a text buffer, with the terminator

    // Value-to-text functions write at most kTextSize bytes, zero-terminated.
    using StringConvertFunction = void (*)(float value, char* string);
    using StringConvertUserDataFunction = void (*)(float value, char* string, void* userData);
    using String2FloatConvertFunction = void (*)(char* string, float& output);
    // True when it wrote the text.
    using ValueToStringFunction =
        std::function<bool(float value, char string[kTextSize], CParamDisplay* display)>;

    CParamDisplay(const CRect& size, CBitmap* background = nullptr, int32_t style = 0);
    CParamDisplay(const CParamDisplay& other);
    ~CParamDisplay() override;

    void draw(CDrawContext* context) override;
    // The background (bitmap or back colour and frame), as draw does it.
    virtual void drawBack(CDrawContext* context, CBitmap* newBack = nullptr);
    // A text in the display's font, colour and alignment, as draw does it.
    virtual void drawText(CDrawContext* context, const char* string);

    // Value to text: the plain form, the form with user data, or a function
    // object; the last one set is used. Without any, "%2.2f".
    void setStringConvert(StringConvertFunction convert);
    void setStringConvert(StringConvertUserDataFunction convert, void* userData);
    void setValueToStringFunction(ValueToStringFunction function);
    // The text the display shows for val (empty when the function wrote nothing).
    void valueToString(float val, char string[kTextSize]);
    bool hasValueToString() const;
    // Text to value (used by editable labels).
    void setString2FloatConvert(String2FloatConvertFunction convert) { string2Float = convert; }
    String2FloatConvertFunction getString2FloatConvert() const { return string2Float; }

    void setFont(CFontRef font);
    CFontRef getFont() const { return fontID; }
    void setFontColor(const CColor& color) { fontColor = color; }
    const CColor& getFontColor() const { return fontColor; }
    void setBackColor(const CColor& color) { backColor = color; }
    const CColor& getBackColor() const { return backColor; }
    void setFrameColor(const CColor& color) { frameColor = color; }
    const CColor& getFrameColor() const { return frameColor; }
    void setShadowColor(const CColor& color) { shadowColor = color; }
    const CColor& getShadowColor() const { return shadowColor; }
    void setHoriAlign(CHoriTxtAlign align) { horiTxtAlign = align; }
    CHoriTxtAlign getHoriAlign() const { return horiTxtAlign; }
    void setStyle(int32_t newStyle) { style = newStyle; }
    int32_t getStyle() const { return style; }
    // Transparent: no back colour or frame is drawn without a background bitmap.
    void setTransparency(bool state) { bTransparencyEnabled = state; }
    bool getTransparency() const { return bTransparencyEnabled; }
    void setAntialias(bool state) { bAntialias = state; }
    bool getAntialias() const { return bAntialias; }
    void setTextInset(const CPoint& inset) { textInset = inset; }
    const CPoint& getTextInset() const { return textInset; }

    CLASS_METHODS(CParamDisplay, CControl)

protected:
    CFontRef fontID = nullptr;
    CColor fontColor = kWhiteCColor;
    CColor backColor = kBlackCColor;
    CColor frameColor = kBlackCColor;
    CColor shadowColor = kRedCColor;
    CHoriTxtAlign horiTxtAlign = kCenterText;
    int32_t style = 0;
    bool bTransparencyEnabled = false;
    bool bAntialias = true;
    CPoint textInset;

    StringConvertFunction stringConvert = nullptr;
    StringConvertUserDataFunction stringConvert2 = nullptr;
    void* userData = nullptr;
    ValueToStringFunction valueToStringFunction;
    String2FloatConvertFunction string2Float = nullptr;
};

} // namespace zel::gui
