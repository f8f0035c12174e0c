// Shared pieces of the view layer's tests: PNG filmstrips made on the fly, a
// listener and an editor interface that record what they hear, and an
// offscreen frame whose clock the test sets.
#pragma once

#include "gui/vstgui.h"

#include <cairo.h>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace zel::gui::test {

// PNG bytes of a width x (height x colours.size()) filmstrip whose frame k is
// filled with colours[k].
inline std::vector<uint8_t> makeFilmstripPng(int width, int frameHeight,
                                             const std::vector<CColor>& colours) {
    const int frames = static_cast<int>(colours.size());
    cairo_surface_t* surface =
        cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, frameHeight * frames);
    cairo_t* cr = cairo_create(surface);
    for (int k = 0; k < frames; ++k) {
        const CColor& c = colours[static_cast<size_t>(k)];
        cairo_set_source_rgba(cr, c.normRed(), c.normGreen(), c.normBlue(), c.normAlpha());
        cairo_rectangle(cr, 0, k * frameHeight, width, frameHeight);
        cairo_fill(cr);
    }
    cairo_destroy(cr);
    std::vector<uint8_t> bytes;
    cairo_surface_write_to_png_stream(
        surface,
        [](void* closure, const unsigned char* data, unsigned int length) {
            auto* out = static_cast<std::vector<uint8_t>*>(closure);
            out->insert(out->end(), data, data + length);
            return CAIRO_STATUS_SUCCESS;
        },
        &bytes);
    cairo_surface_destroy(surface);
    return bytes;
}

// A distinct opaque colour for frame k of a filmstrip (red channel = k).
inline CColor frameColour(int k) {
    return CColor{static_cast<uint8_t>(k), static_cast<uint8_t>(255 - k), 80, 255};
}

inline std::vector<CColor> frameColours(int frames) {
    std::vector<CColor> colours;
    for (int k = 0; k < frames; ++k) colours.push_back(frameColour(k));
    return colours;
}

inline CBitmap* makeFilmstrip(int width, int frameHeight, int frames) {
    return new CBitmap(makeFilmstripPng(width, frameHeight, frameColours(frames)));
}

struct RecordingListener : IControlListener {
    std::vector<float> values;
    std::vector<CControl*> controls;
    int begins = 0;
    int ends = 0;
    void valueChanged(CControl* control) override {
        values.push_back(control->getValue());
        controls.push_back(control);
    }
    void controlBeginEdit(CControl*) override { ++begins; }
    void controlEndEdit(CControl*) override { ++ends; }
};

// Edit gestures as the host would see them: "b<tag>" and "e<tag>".
struct RecordingEditor : VSTGUIEditorInterface {
    std::vector<std::string> gestures;
    int32_t knobMode = kLinearMode;
    void beginEdit(int32_t index) override { record('b', index); }
    void endEdit(int32_t index) override { record('e', index); }
    int32_t getKnobMode() const override { return knobMode; }

private:
    void record(char kind, int32_t index) {
        std::string gesture(1, kind);
        gesture += std::to_string(index);
        gestures.push_back(gesture);
    }
};

// An offscreen frame with a clock the test advances.
class TestFrame : public CFrame {
public:
    explicit TestFrame(const CRect& rect, VSTGUIEditorInterface* editorInterface = nullptr)
        : CFrame(rect, nullptr, editorInterface) {}
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
    bool key(uint8_t virt, uint8_t modifier = 0) {
        VstKeyCode code;
        code.virt = virt;
        code.modifier = modifier;
        return platformOnKeyDown(code);
    }
    bool text(const char* utf8) {
        VstKeyCode code;
        code.character = static_cast<unsigned char>(utf8[0]);
        std::snprintf(code.utf8, sizeof code.utf8, "%s", utf8);
        return platformOnKeyDown(code);
    }
    CColor pixel(int x, int y) { return getOffscreenContext()->getPixel(x, y); }

protected:
    double getTime() const override { return now; }
};

} // namespace zel::gui::test
