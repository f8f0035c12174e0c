// A clickable area that shows a picture as the frame's modal view: value 1 while
// it is shown; a click on the picture (or unSplash) closes it and sets value 0.
#pragma once

#include "gui/CControl.h"

namespace zel::gui {

class CSplashScreen : public CControl {
public:
    // Shows background (from offset on) in toDisplay, in frame coordinates.
    CSplashScreen(const CRect& size, IControlListener* listener, int32_t tag, CBitmap* background,
                  const CRect& toDisplay, const CPoint& offset = CPoint(0, 0));
    // Shows the given view (one reference taken over) as the splash.
    CSplashScreen(const CRect& size, IControlListener* listener, int32_t tag, CView* splashView);
    ~CSplashScreen() override;

    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;
    bool removed(CFrame* frame) override;
    // Closes the splash view (when it is the frame's modal view) and sets value 0.
    virtual void unSplash();

    const CRect& getDisplayRect() const { return toDisplay; }
    CView* getSplashView() const { return modalView; }

    CLASS_METHODS_NOCOPY(CSplashScreen, CControl)

protected:
    CRect toDisplay;
    CPoint offset;
    CView* modalView = nullptr;
};

} // namespace zel::gui
