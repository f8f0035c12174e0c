// A display of a fixed text (UTF-8) instead of a value.
#pragma once

#include "gui/CParamDisplay.h"

#include <string>

namespace zel::gui {

class CTextLabel : public CParamDisplay {
public:
    CTextLabel(const CRect& size, const char* text = nullptr, CBitmap* background = nullptr,
               int32_t style = 0);
    CTextLabel(const CTextLabel& other) = default;

    virtual void setText(const char* text);
    const char* getText() const { return text.c_str(); }

    void draw(CDrawContext* context) override;

    CLASS_METHODS(CTextLabel, CParamDisplay)

protected:
    std::string text;
};

} // namespace zel::gui
