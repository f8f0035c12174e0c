#include "gui/CView.h"

#include "gui/CBitmap.h"
#include "gui/CFrame.h"

namespace zel::gui {

CView::CView(const CRect& rect) : size(rect), mouseableArea(rect) {}

CView::CView(const CView& other)
    : CBaseObject(other), size(other.size), mouseableArea(other.mouseableArea),
      pBackground(other.pBackground), backOffset(other.backOffset),
      mouseEnabled(other.mouseEnabled), visible(other.visible),
      wantsFocusFlag(other.wantsFocusFlag) {
    if (pBackground) pBackground->remember();
}

CView::~CView() {
    if (pBackground) pBackground->forget();
}

void CView::draw(CDrawContext* context) {
    if (pBackground) pBackground->draw(context, size, backOffset);
    setDirty(false);
}

void CView::drawRect(CDrawContext* context, const CRect& /*updateRect*/) {
    draw(context);
    setDirty(false);
}

CMouseEventResult CView::onMouseDown(CPoint&, const CButtonState&) {
    return kMouseEventNotImplemented;
}
CMouseEventResult CView::onMouseUp(CPoint&, const CButtonState&) {
    return kMouseEventNotImplemented;
}
CMouseEventResult CView::onMouseMoved(CPoint&, const CButtonState&) {
    return kMouseEventNotImplemented;
}
CMouseEventResult CView::onMouseEntered(CPoint&, const CButtonState&) {
    return kMouseEventNotImplemented;
}
CMouseEventResult CView::onMouseExited(CPoint&, const CButtonState&) {
    return kMouseEventNotImplemented;
}
bool CView::onWheel(const CPoint&, const float&, const CButtonState&) {
    return false;
}
int32_t CView::onKeyDown(VstKeyCode&) {
    return -1;
}
int32_t CView::onKeyUp(VstKeyCode&) {
    return -1;
}

void CView::setDirty(bool state) {
    dirty.store(state, std::memory_order_relaxed);
}

bool CView::isDirty() const {
    return dirty.load(std::memory_order_relaxed);
}

void CView::invalid() {
    if (pParentFrame)
        pParentFrame->invalidRect(size);
    else
        setDirty(true);
}

void CView::invalidRect(const CRect& rect) {
    if (pParentFrame) pParentFrame->invalidRect(rect);
}

void CView::setViewSize(const CRect& rect, bool invalidate) {
    if (invalidate) invalid();
    size = rect;
    if (invalidate) invalid();
}

bool CView::hitTest(const CPoint& where, const CButtonState&) {
    return mouseableArea.pointInside(where);
}

void CView::setVisible(bool state) {
    if (visible == state) return;
    visible = state;
    if (pParentFrame) pParentFrame->invalidRect(size);
}

void CView::setBackground(CBitmap* background) {
    if (background == pBackground) return;
    if (background) background->remember();
    if (pBackground) pBackground->forget();
    pBackground = background;
    setDirty(true);
}

bool CView::attached(CFrame* frame) {
    if (pParentFrame) return false;
    pParentFrame = frame;
    return true;
}

bool CView::removed(CFrame* /*frame*/) {
    if (!pParentFrame) return false;
    pParentFrame = nullptr;
    return true;
}

} // namespace zel::gui
