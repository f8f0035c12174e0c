// The previous/next rocker of the preset panel (and the MIDI channel rocker):
// horizontal, five frames: normal, mouse over the left half, over the right
// half, left half pressed, right half pressed. A left press gives -1 on the
// left half and 1 on the right and tells the listener; the release returns to
// 0. Without a button held, the hovered half lights up.
#pragma once

#include "gui/CRockerSwitch.h"

#include <cstdint>

namespace zel {

class CPSRockerSwitch : public gui::CRockerSwitch {
public:
    static constexpr int32_t kFrames = 5;

    // heightOfOneImage: a fifth of the bitmap's height.
    CPSRockerSwitch(const gui::CRect& size, gui::IControlListener* listener, int32_t tag,
                    gui::CCoord heightOfOneImage, gui::CBitmap* background,
                    const gui::CPoint& offset = gui::CPoint(0, 0),
                    int32_t style = gui::kHorizontal);
    CPSRockerSwitch(const CPSRockerSwitch& other) = default;

    void draw(gui::CDrawContext* context) override;
    gui::CMouseEventResult onMouseDown(gui::CPoint& where,
                                       const gui::CButtonState& buttons) override;
    gui::CMouseEventResult onMouseUp(gui::CPoint& where, const gui::CButtonState& buttons) override;
    gui::CMouseEventResult onMouseMoved(gui::CPoint& where,
                                        const gui::CButtonState& buttons) override;
    gui::CMouseEventResult onMouseExited(gui::CPoint& where,
                                         const gui::CButtonState& buttons) override;

    // The frame draw shows for the value and the hovered half.
    int32_t getDrawnFrame() const;
    // -1 mouse over the left half, 1 over the right half, 0 elsewhere.
    int32_t getHoverSide() const { return hoverSide; }

private:
    int32_t hoverSide = 0;
};

} // namespace zel
