// Where the editor's controls stand on the face and how each knob behaves.
// Positions are top-left corners in window pixels; sizes follow from the
// bitmaps.
#pragma once

#include "gui/CPoint.h"
#include "gui/CRect.h"

#include <array>
#include <cstdint>

namespace zel::layout {

// Knobs: 101 pointer positions of 44 x 44 in one filmstrip.
constexpr int32_t kKnobFrames = 101;
constexpr gui::CCoord kKnobSize = 44;
// A readout is centred under its knob: 4 pixels left of it, 5 below it.
constexpr gui::CCoord kReadoutWidth = 52;
constexpr gui::CCoord kReadoutHeight = 11;
// With Shift a wheel notch moves a knob by a fifth of its step.
constexpr float kKnobWheelFineFactor = 0.2f;
// Drag travel in pixels per unit of the knobs' drag scale.
constexpr float kPixelsPerDragScale = 1000.f;

struct KnobSpec {
    int32_t tag;
    gui::CPoint knob;
    gui::CPoint readout;
    int32_t detents; // 0: turns continuously over the whole strip
    float detentFrom;
    float detentTo;
    float defaultValue;
    float wheelStep;
    float dragPixels; // mouse travel for the whole range
};

// In creation order: horn (17..23), then, after the lever group, motor and
// tone (5..10), amplifier and room (11..16), drum (24..30).
constexpr std::array<KnobSpec, 26> kKnobs{{
    {17, {20, 53}, {16, 102}, 0, 0.f, 1.f, 0.1f, 0.01f, 400.f},
    {18, {65, 53}, {61, 102}, 0, 0.f, 1.f, 0.6f, 0.01f, 400.f},
    {19, {134, 53}, {130, 102}, 0, 0.f, 1.f, 0.349485f, 0.05f, 250.f},
    {20, {179, 53}, {175, 102}, 0, 0.f, 1.f, 0.349485f, 0.05f, 250.f},
    {21, {248, 53}, {244, 102}, 0, 0.f, 1.f, 0.5f, 0.05f, 250.f},
    {22, {293, 53}, {289, 102}, 0, 0.f, 1.f, 0.0f, 0.05f, 250.f},
    {23, {338, 53}, {334, 102}, 0, 0.f, 1.f, 0.5f, 0.05f, 250.f},
    {5, {16, 202}, {12, 251}, 0, 0.f, 1.f, 0.5f, 0.05f, 250.f},
    {6, {74, 202}, {70, 251}, 0, 0.f, 1.f, 0.5f, 0.05f, 250.f},
    {7, {119, 202}, {115, 251}, 0, 0.f, 1.f, 0.5f, 0.05f, 250.f},
    {8, {164, 202}, {160, 251}, 0, 0.f, 1.f, 0.5f, 0.05f, 250.f},
    {9, {209, 202}, {205, 251}, 0, 0.f, 1.f, 0.5f, 0.05f, 250.f},
    {10, {269, 202}, {265, 251}, 6, 0.2f, 0.7f, 0.25f, 0.1f, 180.f},
    {11, {20, 303}, {16, 352}, 0, 0.f, 1.f, 0.5f, 0.05f, 250.f},
    // The wheel step of "Type" is the float nearest 0.333334, not a third.
    {12, {65, 303}, {61, 352}, 3, 0.4f, 0.6f, 0.5f, 0.333334f, 125.f},
    {13, {110, 303}, {106, 352}, 0, 0.f, 1.f, 0.5f, 0.05f, 250.f},
    {14, {178, 303}, {174, 352}, 5, 0.3f, 0.7f, 0.5f, 0.2f, 250.f},
    // "Color"'s readout stands one pixel right of the rule.
    {15, {222, 303}, {219, 352}, 0, 0.f, 1.f, 0.5f, 0.05f, 250.f},
    {16, {268, 303}, {264, 352}, 0, 0.f, 1.f, 0.5f, 0.05f, 250.f},
    {24, {20, 445}, {16, 494}, 0, 0.f, 1.f, 0.1f, 0.01f, 400.f},
    {25, {65, 445}, {61, 494}, 0, 0.f, 1.f, 0.6f, 0.01f, 400.f},
    {26, {134, 445}, {130, 494}, 0, 0.f, 1.f, 0.650514f, 0.05f, 250.f},
    {27, {179, 445}, {175, 494}, 0, 0.f, 1.f, 0.650514f, 0.05f, 250.f},
    {28, {248, 445}, {244, 494}, 0, 0.f, 1.f, 0.5f, 0.05f, 250.f},
    {29, {293, 445}, {289, 494}, 0, 0.f, 1.f, 1.0f, 0.05f, 250.f},
    {30, {338, 445}, {334, 494}, 0, 0.f, 1.f, 0.5f, 0.05f, 250.f},
}};

// "Setup" shows its two words in two readouts; the second stands here.
constexpr int32_t kSetupTag = 10;
constexpr gui::CPoint kSetupSecondReadout{265, 262};

// Lever group.
constexpr gui::CPoint kStopButton{359, 347};
constexpr gui::CPoint kSpeedButton{330, 348};
constexpr gui::CPoint kSpeedLever{330, 149};
// The lever follows the mouse between these heights below its top edge.
constexpr float kLeverTravelTop = 38.f;
constexpr float kLeverTravelBottom = 152.f;
constexpr float kLeverWheelStep = 0.15f;
constexpr float kLeverWheelFineFactor = 0.1f;

// Rotor strips: a 120-pixel light band crossing a 298-pixel groove.
constexpr gui::CPoint kHornStrip{91, 12};
constexpr gui::CPoint kDrumStrip{91, 404};
constexpr gui::CPoint kStripHighlightOrigin{-120, 0};
constexpr float kStripPhaseOffset = 0.5f;

// The about area over the name lettering, the about screen over the face
// above the bottom bar, and the version text's place in it.
constexpr gui::CRect kAboutArea{12, 156, 187, 178};
constexpr gui::CRect kAboutScreen{0, 0, 400, 533};
constexpr gui::CPoint kVersionOrigin{258, 181};

// Bottom bar, one row of 14-pixel-high controls.
constexpr gui::CPoint kChannelRocker{38, 536};
constexpr gui::CPoint kChannelDisplay{6, 536};
constexpr gui::CPoint kBypassButton{340, 536};
constexpr gui::CPoint kCpuModeButton{195, 536};
constexpr gui::CPoint kModulationLamp{129, 536};
constexpr gui::CPoint kSustainLamp{68, 536};
constexpr int32_t kRockerFrames = 5;
constexpr int32_t kChannelFrames = 18; // off, channels 1..16, omni
constexpr int32_t kLampFrames = 2;     // off, lit

} // namespace zel::layout
