// The about area: a clickable region over the name lettering of the face that
// shows the about screen (with the version string) as the frame's modal view.
// Its value is 1 while the screen is shown; any click on the screen closes it.
#pragma once

#include "gui/CSplashScreen.h"

#include <cstdint>

namespace zel {

class CAbout : public gui::CSplashScreen {
public:
    // size: the clickable area; toDisplay: where the about screen is shown, in
    // frame coordinates; versionOrigin: the version string's place inside it.
    CAbout(const gui::CRect& size, gui::IControlListener* listener, int32_t tag,
           gui::CBitmap* background, const gui::CRect& toDisplay, const gui::CPoint& offset,
           const gui::CPoint& versionOrigin);

    gui::CMouseEventResult onMouseDown(gui::CPoint& where,
                                       const gui::CButtonState& buttons) override;
    // Closes the about screen (when shown) and lets its view go; value 0.
    void unSplash() override;

    const gui::CPoint& getVersionOrigin() const { return versionOrigin; }
    // The about screen's view while it is shown, else null.
    gui::CView* getShownScreen() const;

private:
    gui::CPoint versionOrigin;
};

} // namespace zel
