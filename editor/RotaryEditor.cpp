#include "editor/RotaryEditor.h"

#include "editor/MyFrame.h"
#include "gui/CBitmap.h"
#include "presets/CPresetSystemEffect.h"
#include "resources/ResourceIds.h"
#include "resources/Resources.h"

namespace zel {

namespace {

// The editor's bitmaps come from the PNGs compiled into the library.
void installResourceLookup() {
    static const bool installed = [] {
        gui::CBitmap::setResourceLookup(&resources::findPng);
        return true;
    }();
    (void)installed;
}

} // namespace

RotaryEditor::RotaryEditor(CPresetSystemEffect* owner) : CPresetSystemEditor(owner) {
    installResourceLookup();
    background = new gui::CBitmap(gui::CResourceDescription(resources::kFaceBitmap));
    rect.top = 0;
    rect.left = 0;
    rect.bottom = kHeight;
    rect.right = kWidth;
}

RotaryEditor::~RotaryEditor() {
    close();
    background->forget();
}

bool RotaryEditor::open(void* parentWindow) {
    if (!parentWindow || !background->isLoaded()) return false;
    if (frame) close();
    const gui::CRect size(rect.left, rect.top, rect.left + background->getWidth(),
                          rect.top + background->getHeight());
    auto* myFrame = new MyFrame(size, parentWindow, this);
    if (!myFrame->isOpen()) {
        myFrame->close();
        return false;
    }
    myFrame->setBackground(background);
    frame = myFrame;
    return true;
}

void RotaryEditor::close() {
    CPresetSystemEditor::close();
    if (!frame) return;
    gui::CFrame* closing = frame;
    frame = nullptr;
    closing->close();
}

void RotaryEditor::idle() {
    if (frame) frame->idle();
}

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
