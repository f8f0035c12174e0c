#include "editor/CAbout.h"

#include "editor/CSplashScreenMyView.h"
#include "gui/CFrame.h"

namespace zel {

using namespace gui;

CAbout::CAbout(const CRect& rect, IControlListener* l, int32_t t, CBitmap* background,
               const CRect& displayRect, const CPoint& bitmapOffset, const CPoint& version)
    : CSplashScreen(rect, l, t, background, displayRect, bitmapOffset), versionOrigin(version) {
    // The about screen is made anew at each opening; the stock picture view of
    // the base is not used.
    if (modalView) {
        modalView->forget();
        modalView = nullptr;
    }
}

CView* CAbout::getShownScreen() const {
    CFrame* frame = getFrame();
    return modalView && frame && frame->getModalView() == modalView ? modalView : nullptr;
}

CMouseEventResult CAbout::onMouseDown(CPoint& where, const CButtonState& buttons) {
    if (!buttons.isLeftButton()) return kMouseEventNotHandled;
    value = getValue() == 0.f ? 1.f : 0.f;
    if (getValue() == 0.f) return kMouseEventHandled;
    CFrame* frame = getFrame();
    if (!frame || getShownScreen()) return kMouseEventHandled;
    // This control keeps one reference to the screen, the frame holds another
    // while it is shown.
    auto* screen = new CSplashScreenMyView(toDisplay, this, versionOrigin);
    screen->remember();
    if (!frame->setModalView(screen)) {
        screen->forget();
        screen->forget();
        value = 0.f;
        return kMouseEventHandled;
    }
    modalView = screen;
    invalid();
    return kMouseEventHandled;
}

void CAbout::unSplash() {
    // The base closes the screen (the frame's reference goes back); this
    // control's own reference goes with it.
    CSplashScreen::unSplash();
    if (modalView) {
        modalView->forget();
        modalView = nullptr;
    }
}

} // namespace zel
