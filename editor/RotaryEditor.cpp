#include "editor/RotaryEditor.h"

namespace zel {

RotaryEditor::RotaryEditor(CPresetSystemEffect* owner) : CPresetSystemEditor(owner) {
    rect.top = 0;
    rect.left = 0;
    rect.bottom = kHeight;
    rect.right = kWidth;
}

RotaryEditor::~RotaryEditor() = default;

// Without a window there is no frame to build the controls and the preset panel in.
bool RotaryEditor::open(void* parentWindow) {
    return false;
}

void RotaryEditor::close() {
    CPresetSystemEditor::close();
}

void RotaryEditor::idle() {
    // Nothing is animated or redrawn while no window is open.
}

void RotaryEditor::setParameter(int32_t index, float value) {
    // Values reach controls only while the window is open.
}

} // namespace zel
