#include "gui/CFontDesc.h"

#include <array>
#include <string_view>

namespace zel::gui {

namespace {

struct FamilyAlias {
    std::string_view name;
    const char* family;
};

// Families named by Windows artwork and the metric-compatible free fonts that
// stand in for them (Debian's fonts-liberation2).
constexpr std::array kFamilyAliases{
    FamilyAlias{"", "Liberation Sans"},          FamilyAlias{"Arial", "Liberation Sans"},
    FamilyAlias{"Helvetica", "Liberation Sans"}, FamilyAlias{"Times New Roman", "Liberation Serif"},
    FamilyAlias{"Times", "Liberation Serif"},    FamilyAlias{"Courier New", "Liberation Mono"},
    FamilyAlias{"Courier", "Liberation Mono"},
};

constexpr const char* kStockFamily = "Arial";

// Stock fonts live as long as the library is loaded: their creation reference
// is held until it is unloaded (below), so remember/forget pairs of their users
// never free them, and a host that loads and unloads the plug-in loses nothing.
CFontDesc* stockFont(CCoord size) {
    return new CFontDesc(kStockFamily, size, kNormalFace);
}

} // namespace

CFontDesc::CFontDesc(const char* fontName, const CCoord& fontSize, int32_t fontStyle)
    : name(fontName ? fontName : ""), size(fontSize), style(fontStyle) {}

const char* CFontDesc::getPlatformFamily() const {
    for (const auto& alias : kFamilyAliases)
        if (alias.name == name) return alias.family;
    return name.c_str();
}

const CFontRef kSystemFont = stockFont(12);
const CFontRef kNormalFontVeryBig = stockFont(18);
const CFontRef kNormalFontBig = stockFont(14);
const CFontRef kNormalFont = stockFont(12);
const CFontRef kNormalFontSmall = stockFont(11);
const CFontRef kNormalFontSmaller = stockFont(10);
const CFontRef kNormalFontVerySmall = stockFont(9);
const CFontRef kSymbolFont = new CFontDesc("Symbol", 12, kNormalFace);

namespace {

// Gives back the fonts when the library is unloaded (or the process ends).
struct StockFontRelease {
    ~StockFontRelease() {
        for (CFontDesc* font :
             {kSystemFont, kNormalFontVeryBig, kNormalFontBig, kNormalFont, kNormalFontSmall,
              kNormalFontSmaller, kNormalFontVerySmall, kSymbolFont})
            font->forget();
    }
} stockFontRelease;

} // namespace

} // namespace zel::gui
