#include "editor/CSplashScreenMyView.h"

#include "editor/CAbout.h"
#include "gui/CBitmap.h"
#include "gui/CDrawContext.h"
#include "gui/CFontDesc.h"
#include "gui/CFrame.h"

namespace zel {

using namespace gui;

CSplashScreenMyView::CSplashScreenMyView(const CRect& rect, CAbout* owner, const CPoint& origin)
    : CControl(rect, nullptr, 0, owner ? owner->getBackground() : nullptr), about(owner),
      versionOrigin(origin) {}

CRect CSplashScreenMyView::getVersionRect() const {
    const CCoord left = size.left + versionOrigin.x;
    const CCoord top = size.top + versionOrigin.y;
    return CRect(left, top, left + kVersionWidth, top + kVersionHeight);
}

void CSplashScreenMyView::draw(CDrawContext* context) {
    if (pBackground) pBackground->draw(context, size, CPoint(0, 0), 1.f);
    CFontDesc font("Arial", kVersionFontSize);
    context->setFont(&font, kVersionFontSize);
    context->setFontColor(kVersionColor);
    context->drawString(kVersionText, getVersionRect(), kCenterText, true);
    setDirty(false);
}

CMouseEventResult CSplashScreenMyView::onMouseDown(CPoint& where, const CButtonState& buttons) {
    if (!buttons.isLeftButton()) return kMouseEventNotHandled;
    CFrame* frame = getFrame();
    // unSplash hands the frame's reference back and releases it; the frame
    // holds this view for the rest of the event.
    if (about) about->unSplash();
    if (frame) {
        frame->invalid();
        if (frame->getModalView() == this) {
            frame->setModalView(nullptr);
            forget();
        }
    }
    return kMouseEventHandled;
}

} // namespace zel
