// The editor's knob: a filmstrip knob with optional detents, a drag travel of
// its own (dragScale x 1000 pixels for the whole range, fineMultiplier times
// longer with Shift, switchable in the middle of a drag without a jump), a
// wheel step of its own, and Control-click or double-click to the default.
#pragma once

#include "gui/CAnimKnob.h"

#include <cstdint>

namespace zel {

class CAnimKnob3 : public gui::CAnimKnob {
public:
    static constexpr float kDefaultWheelStep = 0.01f;
    static constexpr float kDefaultWheelFineFactor = 0.1f;
    static constexpr float kDefaultDragScale = 1.f;
    static constexpr float kFineMultiplier = 5.f;
    // Pixels of mouse travel for the whole range at drag scale 1.
    static constexpr float kPixelsPerDragScale = 1000.f;

    // detents: number of drawn positions (0 = continuous), spread over the part
    // detentFrom..detentTo of the filmstrip.
    CAnimKnob3(const gui::CRect& size, gui::IControlListener* listener, int32_t tag,
               int32_t subPixmaps, gui::CCoord heightOfOneImage, gui::CBitmap* background,
               const gui::CPoint& offset, int32_t detents = 0, float detentFrom = 0.f,
               float detentTo = 1.f);
    CAnimKnob3(const CAnimKnob3& other) = default;
    ~CAnimKnob3() override;

    void draw(gui::CDrawContext* context) override;
    gui::CMouseEventResult onMouseDown(gui::CPoint& where,
                                       const gui::CButtonState& buttons) override;
    gui::CMouseEventResult onMouseMoved(gui::CPoint& where,
                                        const gui::CButtonState& buttons) override;
    bool onWheel(const gui::CPoint& where, const float& distance,
                 const gui::CButtonState& buttons) override;

    // The filmstrip frame draw shows for the current value.
    int32_t getDrawnFrame() const;

    void setWheelStep(float step) { wheelStep = step; }
    float getWheelStep() const { return wheelStep; }
    void setWheelFineFactor(float factor) { wheelFineFactor = factor; }
    float getWheelFineFactor() const { return wheelFineFactor; }
    // Mouse travel for the whole range: scale x 1000 pixels.
    void setDragScale(float scale) { dragScale = scale; }
    float getDragScale() const { return dragScale; }
    int32_t getDetents() const { return detents; }

private:
    float travelFor(const gui::CButtonState& buttons) const;

    float wheelStep = kDefaultWheelStep;
    float wheelFineFactor = kDefaultWheelFineFactor;
    int32_t detents;
    float detentFrom;
    float detentTo;
    float dragScale = kDefaultDragScale;
    float fineMultiplier = kFineMultiplier;

    // Drag state of the press.
    double startX = 0;
    double startY = 0;
    float anchor = 0.f;
    gui::CButtonState dragButtons;
    float dragRange = 0.f;
    float perPixel = 0.f;
};

} // namespace zel
