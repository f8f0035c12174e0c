#include "gui/CTextLabel.h"

namespace zel::gui {

CTextLabel::CTextLabel(const CRect& rect, const char* initialText, CBitmap* background,
                       int32_t labelStyle)
    : CParamDisplay(rect, background, labelStyle) {
    setText(initialText);
}

void CTextLabel::setText(const char* newText) {
    text = newText ? newText : "";
    setDirty(true);
}

void CTextLabel::draw(CDrawContext* context) {
    if (!(style & kNoDrawStyle)) {
        drawBack(context);
        drawText(context, text.c_str());
    }
    setDirty(false);
}

} // namespace zel::gui
