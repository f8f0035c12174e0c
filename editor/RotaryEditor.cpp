#include "editor/RotaryEditor.h"

#include "presets/CPresetSystemEffect.h"

namespace zel {

RotaryEditor::RotaryEditor(CPresetSystemEffect* owner) : CPresetSystemEditor(owner) {
    rect.top = 0;
    rect.left = 0;
    rect.bottom = kHeight;
    rect.right = kWidth;
}

RotaryEditor::~RotaryEditor() = default;

bool RotaryEditor::open(void* parentWindow) {
    return false;
}

void RotaryEditor::close() {
    CPresetSystemEditor::close();
}

void RotaryEditor::idle() {}

void RotaryEditor::setParameter(int32_t index, float value) {}

void RotaryEditor::beginEdit(int32_t index) {
    if (effect) effect->beginEdit(index);
}

void RotaryEditor::endEdit(int32_t index) {
    if (effect) effect->endEdit(index);
}

int32_t RotaryEditor::getKnobMode() const {
    return gui::kLinearMode;
}

} // namespace zel
