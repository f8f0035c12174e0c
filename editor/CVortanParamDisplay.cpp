#include "editor/CVortanParamDisplay.h"

#include "gui/CFontDesc.h"

namespace zel {

using namespace gui;

CVortanParamDisplay::CVortanParamDisplay(const CRect& rect, CBitmap* background,
                                         int32_t displayStyle)
    : CParamDisplay(rect, background, displayStyle) {
    setHoriAlign(kCenterText);
    setFont(kNormalFontVerySmall);
    setFontColor(kTextColor);
}

} // namespace zel
