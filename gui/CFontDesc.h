// A font: family name, size in pixels and style. Families the editor's artwork
// names ("Arial", "Times New Roman", "Courier New") are drawn with their
// metric-compatible free counterparts (the Liberation fonts).
#pragma once

#include "gui/CBaseObject.h"
#include "gui/CPoint.h"

#include <string>

namespace zel::gui {

enum CTxtFace : int32_t {
    kNormalFace = 0,
    kBoldFace = 1 << 1,
    kItalicFace = 1 << 2,
    kUnderlineFace = 1 << 3,
    kStrikethroughFace = 1 << 4,
};

class CFontDesc : public CBaseObject {
public:
    explicit CFontDesc(const char* name = "", const CCoord& size = 0, int32_t style = kNormalFace);
    CFontDesc(const CFontDesc& other) = default;

    const char* getName() const { return name.c_str(); }
    void setName(const char* newName) { name = newName ? newName : ""; }
    CCoord getSize() const { return size; }
    void setSize(CCoord newSize) { size = newSize; }
    int32_t getStyle() const { return style; }
    void setStyle(int32_t newStyle) { style = newStyle; }
    // The family actually used for drawing.
    const char* getPlatformFamily() const;

    CLASS_METHODS(CFontDesc, CBaseObject)

private:
    std::string name;
    CCoord size = 0;
    int32_t style = kNormalFace;
};

using CFontRef = CFontDesc*;

// Stock fonts, "Arial" in the sizes VSTGUI names; never released to zero.
extern const CFontRef kSystemFont;          // 12
extern const CFontRef kNormalFontVeryBig;   // 18
extern const CFontRef kNormalFontBig;       // 14
extern const CFontRef kNormalFont;          // 12
extern const CFontRef kNormalFontSmall;     // 11
extern const CFontRef kNormalFontSmaller;   // 10
extern const CFontRef kNormalFontVerySmall; // 9
extern const CFontRef kSymbolFont;          // 12

} // namespace zel::gui
