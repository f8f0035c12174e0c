// The record of one label's in-place edit: the text before the edit, the open
// editor view and its box in the frame, the colour it types in, the frame it
// lives in. One per CZelTextEdit; at most one is open in the whole process.
#pragma once

#include "gui/CColor.h"

#include <cstddef>
#include <cstdint>

namespace zel {

namespace gui {
class CFrame;
}
class CZelTextEdit;
class InPlaceTextEditor;

struct TextEditState {
    // The label text kept on entry, at most 29 bytes and its terminator.
    static constexpr std::size_t kBeforeEditSize = 30;

    CZelTextEdit* owner = nullptr;
    char textBeforeEdit[kBeforeEditSize] = {};
    // The open editor view (one reference held while open), null when idle.
    InPlaceTextEditor* editor = nullptr;
    // The edit box in frame pixels.
    int32_t x = 0;
    int32_t y = 0;
    int32_t right = 0;
    int32_t bottom = 0;
    int32_t width = 0;
    int32_t height = 0;
    gui::CColor textColor;
    gui::CFrame* frame = nullptr;
};

} // namespace zel
