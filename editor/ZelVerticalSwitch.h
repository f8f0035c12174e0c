// The speed lever: value 1 with the lever at the top, 0 at the bottom. The
// filmstrip's frame 0 shows the lever at the top. Dragging turns the vertical
// mouse position within a travel band into the angle of a lever pivoting below
// the band and snaps the value to the strip's frames; the Up and Down keys step
// one frame; the wheel moves it by its wheel step.
#pragma once

#include "gui/CControl.h"
#include "gui/IMultiBitmapControl.h"

#include <cstdint>

namespace zel {

class ZelVerticalSwitch : public gui::CControl, public gui::IMultiBitmapControl {
public:
    static constexpr float kDefaultWheelStep = 0.15f;
    static constexpr float kDefaultWheelFineFactor = 0.1f;

    // The frame height is the rectangle's height; travelTop and travelBottom are
    // the band of mouse travel in pixels below the control's top edge.
    ZelVerticalSwitch(const gui::CRect& size, gui::IControlListener* listener, int32_t tag,
                      gui::CBitmap* background, float travelTop, float travelBottom,
                      const gui::CPoint& offset = gui::CPoint(0, 0));
    ZelVerticalSwitch(const ZelVerticalSwitch& other) = default;
    ~ZelVerticalSwitch() override;

    void draw(gui::CDrawContext* context) override;
    gui::CMouseEventResult onMouseDown(gui::CPoint& where,
                                       const gui::CButtonState& buttons) override;
    gui::CMouseEventResult onMouseUp(gui::CPoint& where, const gui::CButtonState& buttons) override;
    gui::CMouseEventResult onMouseMoved(gui::CPoint& where,
                                        const gui::CButtonState& buttons) override;
    bool onWheel(const gui::CPoint& where, const float& distance,
                 const gui::CButtonState& buttons) override;
    int32_t onKeyDown(gui::VstKeyCode& keyCode) override;
    bool sizeToFit() override;
    void autoComputeHeightOfOneImage() override;

    // The filmstrip frame draw shows for the current value.
    int32_t getDrawnFrame() const;

    void setWheelStep(float step) { wheelStep = step; }
    float getWheelStep() const { return wheelStep; }
    void setWheelFineFactor(float factor) { wheelFineFactor = factor; }
    float getWheelFineFactor() const { return wheelFineFactor; }
    const gui::CPoint& getOffset() const { return offset; }

    CLASS_METHODS(ZelVerticalSwitch, CControl)

private:
    gui::CPoint offset;
    float travelTop;
    float travelBottom;
    float wheelStep = kDefaultWheelStep;
    float wheelFineFactor = kDefaultWheelFineFactor;
};

} // namespace zel
