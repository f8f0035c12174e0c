// The about screen shown by CAbout: the about bitmap with the version string
// "v.1.0.1" in Arial 10. A click anywhere on it closes it.
#pragma once

#include "gui/CColor.h"
#include "gui/CControl.h"

namespace zel {

class CAbout;

class CSplashScreenMyView : public gui::CControl {
public:
    static constexpr const char* kVersionText = "v.1.0.1";
    static constexpr gui::CColor kVersionColor{160, 159, 157, 255};
    static constexpr gui::CCoord kVersionFontSize = 10;
    // The version string's box relative to its origin.
    static constexpr gui::CCoord kVersionWidth = 80;
    static constexpr gui::CCoord kVersionHeight = 15;

    // about is not owned; it outlives the screen it shows.
    CSplashScreenMyView(const gui::CRect& size, CAbout* about, const gui::CPoint& versionOrigin);
    CSplashScreenMyView(const CSplashScreenMyView& other) = default;

    void draw(gui::CDrawContext* context) override;
    gui::CMouseEventResult onMouseDown(gui::CPoint& where,
                                       const gui::CButtonState& buttons) override;

    // The rectangle the version string is drawn in, in frame coordinates.
    gui::CRect getVersionRect() const;

    CLASS_METHODS(CSplashScreenMyView, CControl)

private:
    CAbout* about;
    gui::CPoint versionOrigin;
};

} // namespace zel
