// The value readout under a knob: centred white text in the very small Arial
// (9 pixels) over a background bitmap.
#pragma once

#include "gui/CParamDisplay.h"

#include <cstdint>

namespace zel {

class CVortanParamDisplay : public gui::CParamDisplay {
public:
    static constexpr gui::CColor kTextColor{255, 255, 255, 255};

    CVortanParamDisplay(const gui::CRect& size, gui::CBitmap* background = nullptr,
                        int32_t style = 0);
};

} // namespace zel
