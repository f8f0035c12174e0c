#include "gui/CAlertBox.h"

#include "gui/CDrawContext.h"
#include "gui/CFrame.h"

#include <algorithm>
#include <sstream>
#include <vector>

namespace zel::gui {

namespace {

constexpr CCoord kBoxWidth = 300;
constexpr CCoord kBoxHeight = 130;
constexpr CCoord kMargin = 10;
constexpr CCoord kCaptionHeight = 22;
constexpr CCoord kLineHeight = 15;
constexpr CCoord kButtonWidth = 70;
constexpr CCoord kButtonHeight = 22;
constexpr CColor kPanelBack{236, 236, 232, 255};
constexpr CColor kPanelFrame{50, 50, 50, 255};
constexpr CColor kCaptionBack{64, 66, 76, 255};
constexpr CColor kTextColor{20, 20, 20, 255};
constexpr CColor kButtonBack{214, 214, 210, 255};
constexpr CColor kButtonPressed{180, 180, 176, 255};

// The text broken into lines that fit width (at spaces, and at every newline).
std::vector<std::string> wrapText(CDrawContext* context, const std::string& text, CCoord width) {
    std::vector<std::string> lines;
    std::istringstream paragraphs(text);
    std::string paragraph;
    while (std::getline(paragraphs, paragraph)) {
        std::istringstream words(paragraph);
        std::string word, line;
        while (words >> word) {
            const std::string candidate = line.empty() ? word : line + " " + word;
            if (!line.empty() && context->getStringWidth(candidate.c_str()) > width) {
                lines.push_back(line);
                line = word;
            } else {
                line = candidate;
            }
        }
        lines.push_back(line);
    }
    return lines;
}

} // namespace

bool CAlertBox::show(CFrame* frame, const char* caption, const char* text, Callback callback) {
    if (!frame || frame->getModalView()) return false;
    const CCoord width = std::min(kBoxWidth, frame->getWidth() - 2 * kMargin);
    const CCoord height = std::min(kBoxHeight, frame->getHeight() - 2 * kMargin);
    CRect rect(0, 0, width, height);
    rect.moveTo((frame->getWidth() - width) / 2, (frame->getHeight() - height) / 2);
    auto* box = new CAlertBox(rect, caption, text, std::move(callback));
    if (!frame->setModalView(box)) {
        box->forget();
        return false;
    }
    return true;
}

CAlertBox::CAlertBox(const CRect& rect, const char* boxCaption, const char* boxText,
                     Callback boxCallback)
    : CView(rect), caption(boxCaption ? boxCaption : ""), text(boxText ? boxText : ""),
      callback(std::move(boxCallback)) {
    setWantsFocus(true);
}

CRect CAlertBox::getButtonRect() const {
    const CCoord left = size.getCenter().x - kButtonWidth / 2;
    const CCoord top = size.bottom - kMargin - kButtonHeight;
    return CRect(left, top, left + kButtonWidth, top + kButtonHeight);
}

void CAlertBox::close() {
    if (closed) return;
    closed = true;
    remember(); // alive through the callback
    CFrame* frame = getFrame();
    if (frame && frame->getModalView() == this) {
        frame->setModalView(nullptr);
        forget(); // the frame's reference, handed back
    }
    if (callback) callback(this);
    forget();
}

void CAlertBox::draw(CDrawContext* context) {
    context->setFillColor(kPanelBack);
    context->fillRect(size);
    CRect captionRect(size.left, size.top, size.right, size.top + kCaptionHeight);
    context->setFillColor(kCaptionBack);
    context->fillRect(captionRect);
    captionRect.inset(kMargin, 0);
    context->setFont(kNormalFont, 0, kBoldFace);
    context->setFontColor(kWhiteCColor);
    context->drawString(caption.c_str(), captionRect, kLeftText);

    context->setFont(kNormalFont);
    context->setFontColor(kTextColor);
    const CRect button = getButtonRect();
    const CCoord textWidth = size.getWidth() - 2 * kMargin;
    CCoord y = size.top + kCaptionHeight + kMargin;
    for (const std::string& line : wrapText(context, text, textWidth)) {
        if (y + kLineHeight > button.top) break;
        context->drawString(line.c_str(),
                            CRect(size.left + kMargin, y, size.right - kMargin, y + kLineHeight),
                            kCenterText);
        y += kLineHeight;
    }

    context->setFillColor(pressedOnButton ? kButtonPressed : kButtonBack);
    context->setFrameColor(kPanelFrame);
    context->drawRect(button, kDrawFilledAndStroked);
    context->drawString("OK", button, kCenterText);
    context->setFrameColor(kPanelFrame);
    context->frameRect(size);
    setDirty(false);
}

CMouseEventResult CAlertBox::onMouseDown(CPoint& where, const CButtonState& buttons) {
    // Modal: every press is taken; only one on the button does something.
    if (buttons.isLeftButton() && getButtonRect().pointInside(where)) {
        pressedOnButton = true;
        invalid();
    }
    return kMouseEventHandled;
}

CMouseEventResult CAlertBox::onMouseUp(CPoint& where, const CButtonState&) {
    const bool wasPressed = pressedOnButton;
    pressedOnButton = false;
    invalid();
    if (wasPressed && getButtonRect().pointInside(where)) close();
    return kMouseEventHandled;
}

int32_t CAlertBox::onKeyDown(VstKeyCode& keyCode) {
    if (keyCode.virt == VKEY_RETURN || keyCode.virt == VKEY_ENTER || keyCode.virt == VKEY_ESCAPE) {
        close();
        return 1;
    }
    return -1;
}

} // namespace zel::gui
