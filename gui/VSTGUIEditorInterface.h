// The frame's way back to the plug-in's editor: the start and end of an edit
// gesture on a parameter (the editor forwards them to the host) and the knob mode.
#pragma once

#include <cstdint>

namespace zel::gui {

class CFrame;

enum CKnobMode : int32_t {
    kCircularMode = 0,
    kRelativCircularMode = 1,
    kLinearMode = 2,
};

class VSTGUIEditorInterface {
public:
    virtual ~VSTGUIEditorInterface() = default;

    virtual void beginEdit(int32_t /*index*/) {}
    virtual void endEdit(int32_t /*index*/) {}
    virtual int32_t getKnobMode() const { return kCircularMode; }
    virtual CFrame* getFrame() const { return frame; }

protected:
    CFrame* frame = nullptr; // the open editor window's frame, null while closed
};

} // namespace zel::gui
