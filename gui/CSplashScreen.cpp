#include "gui/CSplashScreen.h"

#include "gui/CBitmap.h"
#include "gui/CFrame.h"

namespace zel::gui {

namespace {

// The picture of a CSplashScreen; a click on it closes the splash.
class CDefaultSplashScreenView : public CView {
public:
    CDefaultSplashScreenView(const CRect& rect, CSplashScreen* owner, CBitmap* bitmap,
                             const CPoint& offset)
        : CView(rect), splash(owner) {
        setBackground(bitmap);
        setBackOffset(offset);
    }

    CMouseEventResult onMouseDown(CPoint&, const CButtonState& buttons) override {
        if (!buttons.isLeftButton()) return kMouseEventHandled;
        splash->unSplash();
        return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    }

    CLASS_METHODS_NOCOPY(CDefaultSplashScreenView, CView)

private:
    CSplashScreen* splash;
};

} // namespace

CSplashScreen::CSplashScreen(const CRect& rect, IControlListener* l, int32_t t, CBitmap* background,
                             const CRect& displayRect, const CPoint& bitmapOffset)
    : CControl(rect, l, t, background), toDisplay(displayRect), offset(bitmapOffset) {
    modalView = new CDefaultSplashScreenView(displayRect, this, background, bitmapOffset);
    setWantsFocus(false);
}

CSplashScreen::CSplashScreen(const CRect& rect, IControlListener* l, int32_t t, CView* splashView)
    : CControl(rect, l, t, nullptr), modalView(splashView) {
    if (splashView) toDisplay = splashView->getViewSize();
    setWantsFocus(false);
}

CSplashScreen::~CSplashScreen() {
    unSplash();
    if (modalView) modalView->forget();
}

void CSplashScreen::draw(CDrawContext*) {
    setDirty(false);
}

CMouseEventResult CSplashScreen::onMouseDown(CPoint&, const CButtonState& buttons) {
    if (!buttons.isLeftButton()) return kMouseEventNotHandled;
    CFrame* frame = getFrame();
    if (modalView && frame && frame->getModalView() != modalView) {
        modalView->remember(); // the frame's reference, handed back by unSplash
        if (frame->setModalView(modalView)) {
            value = getMax();
            valueChanged();
        } else {
            modalView->forget();
        }
    }
    return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
}

void CSplashScreen::unSplash() {
    value = getMin();
    setDirty(true);
    if (!modalView) return;
    CFrame* frame = modalView->getFrame();
    if (frame && frame->getModalView() == modalView) {
        frame->setModalView(nullptr);
        modalView->forget();
    }
}

bool CSplashScreen::removed(CFrame* frame) {
    unSplash();
    return CControl::removed(frame);
}

} // namespace zel::gui
