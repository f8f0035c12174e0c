// Shared pieces of the editor's control tests: an offscreen frame (a MyFrame,
// so presses behave as in the editor) with a clock the test sets, and the
// filmstrip helpers of the view layer's tests. A filmstrip frame k is filled
// with a colour whose red channel is k, so a pixel tells the drawn frame.
#pragma once

#include "editor/MyFrame.h"
#include "tests/gui/GuiTestSupport.h"

#include <cstdio>
#include <string>
#include <vector>

namespace zel::test {

using namespace zel::gui;
using gui::test::frameColour;
using gui::test::makeFilmstrip;
using gui::test::makeFilmstripPng;
using gui::test::RecordingListener;

// Edit gestures as the host would see them: "b<tag>" and "e<tag>". (Built by
// appending: GCC 12 warns falsely about prepending to a temporary string.)
struct RecordingEditor : VSTGUIEditorInterface {
    std::vector<std::string> gestures;
    void beginEdit(int32_t index) override {
        gestures.push_back(std::string("b").append(std::to_string(index)));
    }
    void endEdit(int32_t index) override {
        gestures.push_back(std::string("e").append(std::to_string(index)));
    }
    int32_t getKnobMode() const override { return kLinearMode; }
};

// A solid bitmap of one colour.
inline CBitmap* makeSolid(int width, int height, const CColor& colour) {
    return new CBitmap(makeFilmstripPng(width, height, {colour}));
}

class TestFrame : public MyFrame {
public:
    explicit TestFrame(const CRect& rect, VSTGUIEditorInterface* editorInterface = nullptr)
        : MyFrame(rect, nullptr, editorInterface) {}
    double now = 1000.0;

    CMouseEventResult press(CCoord x, CCoord y, int32_t buttons = kLButton) {
        CPoint p(x, y);
        return platformOnMouseDown(p, buttons);
    }
    CMouseEventResult move(CCoord x, CCoord y, int32_t buttons = 0) {
        CPoint p(x, y);
        return platformOnMouseMoved(p, buttons);
    }
    CMouseEventResult release(CCoord x, CCoord y, int32_t buttons = kLButton) {
        CPoint p(x, y);
        return platformOnMouseUp(p, buttons);
    }
    CMouseEventResult click(CCoord x, CCoord y, int32_t buttons = kLButton) {
        press(x, y, buttons);
        now += 1.0; // never part of a double-click
        return release(x, y, buttons);
    }
    bool wheel(CCoord x, CCoord y, float distance, int32_t buttons = 0) {
        return platformOnMouseWheel(CPoint(x, y), distance, buttons);
    }
    bool key(uint8_t virt, uint8_t modifier = 0) {
        VstKeyCode code;
        code.virt = virt;
        code.modifier = modifier;
        return platformOnKeyDown(code);
    }
    // A typed character (UTF-8, one character) as the window system sends it.
    bool type(const char* utf8Character) {
        VstKeyCode code;
        code.character = static_cast<unsigned char>(utf8Character[0]);
        std::snprintf(code.utf8, sizeof code.utf8, "%s", utf8Character);
        return platformOnKeyDown(code);
    }
    // Draws what is dirty and answers the pixel at (x, y).
    CColor pixelAfterIdle(int x, int y) {
        idle();
        return getOffscreenContext()->getPixel(x, y);
    }
    CColor pixel(int x, int y) { return getOffscreenContext()->getPixel(x, y); }
    // The filmstrip frame shown at (x, y), after drawing what is dirty.
    int shownFrame(int x, int y) { return pixelAfterIdle(x, y).red; }

protected:
    double getTime() const override { return now; }
};

} // namespace zel::test
