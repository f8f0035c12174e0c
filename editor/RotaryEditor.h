// The plug-in's editor: a fixed 401 x 570 window whose face is one background
// bitmap. open builds a MyFrame inside the host's window with the face as its
// background; close releases the frame with all its views; idle pumps the
// frame's events and redraws. The editor is also the view layer's editor
// interface, so the controls' edit gestures reach the host.
#pragma once

#include "gui/VSTGUIEditorInterface.h"
#include "plugin/ReadoutContext.h"
#include "presets/CPresetSystemEditor.h"

namespace zel {

namespace gui {
class CBitmap;
}

class RotaryEditor : public CPresetSystemEditor, public gui::VSTGUIEditorInterface {
public:
    static constexpr int16_t kWidth = 401;
    static constexpr int16_t kHeight = 570;

    explicit RotaryEditor(CPresetSystemEffect* owner);
    ~RotaryEditor() override;

    // False, creating nothing, without a parent window or without the face.
    bool open(void* parentWindow) override;
    void close() override;
    void idle() override;
    void setParameter(int32_t index, float value) override;

    // The view layer's editor interface: edit gestures go to the host.
    void beginEdit(int32_t index) override;
    void endEdit(int32_t index) override;
    int32_t getKnobMode() const override;

    bool isOpen() const { return frame != nullptr; }
    // The face bitmap, held for the editor's whole life (0 x 0 when missing).
    gui::CBitmap* getBackground() const { return background; }

    // The value object handed to every readout's text function; not owned.
    void setReadoutContext(const ReadoutContext* context) noexcept { readoutContext = context; }
    const ReadoutContext* getReadoutContext() const noexcept { return readoutContext; }

private:
    const ReadoutContext* readoutContext = nullptr;
    gui::CBitmap* background = nullptr;
};

} // namespace zel
