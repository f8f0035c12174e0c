#include "gui/CFrame.h"

#include "gui/CBitmap.h"
#include "gui/CNewFileSelector.h"
#include "gui/COffscreenContext.h"
#include "gui/PlatformWindow.h"

#include <algorithm>
#include <chrono>
#include <cmath>

namespace zel::gui {

namespace {

// How far the second press of a double-click may be from the first.
constexpr CCoord kDoubleClickDistance = 4;

// Holds one reference to a view while an event handler runs, so a handler may
// remove or release the view it runs on.
class ViewGuard {
public:
    explicit ViewGuard(CBaseObject* object) : held(object) {
        if (held) held->remember();
    }
    ~ViewGuard() {
        if (held) held->forget();
    }
    ViewGuard(const ViewGuard&) = delete;
    ViewGuard& operator=(const ViewGuard&) = delete;

private:
    CBaseObject* held;
};

bool isHandled(CMouseEventResult result) {
    return result != kMouseEventNotHandled && result != kMouseEventNotImplemented;
}

} // namespace

CFrame::CFrame(const CRect& rect, void* parent, VSTGUIEditorInterface* editorInterface)
    : CView(rect), pEditor(editorInterface), pSystemParent(parent) {
    pParentFrame = this;
    mouseableArea = CRect(0, 0, rect.getWidth(), rect.getHeight());
    if (parent) {
        platformWindow = PlatformWindow::create(*this, parent, rect);
        openFlag = platformWindow != nullptr;
    } else {
        offscreenFlag = true;
        pOffscreen = new COffscreenContext(rect.getWidth(), rect.getHeight());
        openFlag = true;
    }
    invalid();
}

CFrame::~CFrame() {
    teardown();
}

void CFrame::teardown() {
    stopFileSelectors();
    if (pModalView) {
        CView* view = pModalView;
        pModalView = nullptr;
        dropViewReferences(view);
        view->removed(this);
        view->forget();
    }
    removeAll(true);
    platformWindow.reset();
    if (pOffscreen) {
        pOffscreen->forget();
        pOffscreen = nullptr;
    }
    openFlag = false;
}

void CFrame::close() {
    teardown();
    forget();
}

void* CFrame::getSystemWindow() const {
    return platformWindow ? platformWindow->getNativeWindow() : nullptr;
}

bool CFrame::addView(CView* view) {
    return addView(view, nullptr);
}

bool CFrame::addView(CView* view, CView* before) {
    if (!view || view == this || isChild(view) || view == pModalView) return false;
    auto position = std::find(children.begin(), children.end(), before);
    children.insert(position, view);
    view->attached(this);
    invalidRect(view->getViewSize());
    return true;
}

bool CFrame::removeView(CView* view, bool withForget) {
    auto position = std::find(children.begin(), children.end(), view);
    if (position == children.end()) return false;
    children.erase(position);
    dropViewReferences(view);
    invalidRect(view->getViewSize());
    view->removed(this);
    if (withForget) view->forget();
    return true;
}

bool CFrame::removeAll(bool withForget) {
    std::vector<CView*> old;
    old.swap(children);
    for (CView* view : old) {
        dropViewReferences(view);
        view->removed(this);
        if (withForget) view->forget();
    }
    invalid();
    return true;
}

bool CFrame::isChild(const CView* view) const {
    return std::find(children.begin(), children.end(), view) != children.end();
}

CView* CFrame::getView(int32_t index) const {
    if (index < 0 || index >= getNbViews()) return nullptr;
    return children[static_cast<size_t>(index)];
}

CView* CFrame::getViewAt(const CPoint& where) const {
    for (auto it = children.rbegin(); it != children.rend(); ++it) {
        CView* view = *it;
        if (view->isVisible() && view->getMouseEnabled() && view->hitTest(where)) return view;
    }
    return nullptr;
}

void CFrame::dropViewReferences(CView* view) {
    if (pMouseDownView == view) pMouseDownView = nullptr;
    if (pHoverView == view) pHoverView = nullptr;
    if (pFocusView == view) {
        pFocusView = nullptr;
        view->looseFocus();
    }
}

bool CFrame::setModalView(CView* view) {
    if (view && pModalView) return false;
    if (!view) {
        if (!pModalView) return true;
        CView* old = pModalView;
        pModalView = nullptr;
        dropViewReferences(old);
        invalidRect(old->getViewSize());
        old->removed(this);
        return true;
    }
    if (isChild(view)) return false;
    pModalView = view;
    view->attached(this);
    // Everything now goes to the modal view alone.
    if (pMouseDownView != view) pMouseDownView = nullptr;
    if (pHoverView) setHoverView(nullptr, lastMouseWhere, 0);
    invalidRect(view->getViewSize());
    return true;
}

void CFrame::setFocusView(CView* view) {
    if (view == pFocusView) return;
    CView* old = pFocusView;
    pFocusView = view;
    if (old) old->looseFocus();
    if (view && pFocusView == view) view->takeFocus();
}

bool CFrame::setKeyboardFocus() {
    return platformWindow && platformWindow->grabFocus();
}

bool CFrame::hasKeyboardFocus() const {
    return platformWindow && platformWindow->hasFocus();
}

void CFrame::beginEdit(int32_t tag) {
    if (pEditor) pEditor->beginEdit(tag);
}

void CFrame::endEdit(int32_t tag) {
    if (pEditor) pEditor->endEdit(tag);
}

void CFrame::invalidRect(const CRect& rect) {
    CRect area = rect;
    area.bound(CRect(0, 0, getWidth(), getHeight()));
    pendingArea.unite(area);
}

void CFrame::invalid() {
    invalidRect(CRect(0, 0, getWidth(), getHeight()));
}

void CFrame::idle() {
    if (!openFlag) return;
    ViewGuard guard(this); // a callback may close the editor
    if (platformWindow) platformWindow->update();
    pollFileSelectors();
    redrawDirty();
}

bool CFrame::redrawDirty() {
    if (!openFlag) return false;
    CRect area = pendingArea;
    pendingArea = CRect();
    for (CView* view : children)
        if (view->isVisible() && view->isDirty()) area.unite(view->getViewSize());
    if (pModalView && pModalView->isDirty()) area.unite(pModalView->getViewSize());
    if (CView::isDirty()) area = CRect(0, 0, getWidth(), getHeight());
    area.bound(CRect(0, 0, getWidth(), getHeight()));
    if (area.isEmpty()) return false;
    // Whole pixels, so no seam is left at fractional view edges.
    area = CRect(std::floor(area.left), std::floor(area.top), std::ceil(area.right),
                 std::ceil(area.bottom));
    if (pOffscreen) {
        drawArea(pOffscreen, area);
    } else if (platformWindow) {
        platformWindow->postRedisplay(area);
        platformWindow->update(); // draws the exposure now
    }
    return true;
}

void CFrame::draw(CDrawContext* context) {
    const CRect local(0, 0, getWidth(), getHeight());
    if (pBackground) {
        pBackground->draw(context, local, backOffset);
    } else {
        context->setFillColor(kBlackCColor);
        context->fillRect(local);
    }
}

void CFrame::drawArea(CDrawContext* context, const CRect& area) {
    ++redraws;
    CRect clip = area;
    clip.bound(CRect(0, 0, getWidth(), getHeight()));
    context->saveGlobalState();
    context->setClipRect(clip);
    draw(context);
    CView::setDirty(false);
    auto drawView = [&](CView* view) {
        if (!view->isVisible()) return;
        CRect viewClip = view->getViewSize();
        viewClip.bound(clip);
        if (viewClip.isEmpty()) return;
        ViewGuard guard(view);
        context->saveGlobalState();
        context->setClipRect(viewClip);
        view->drawRect(context, viewClip);
        context->restoreGlobalState();
    };
    const std::vector<CView*> order = children;
    for (CView* view : order)
        if (isChild(view)) drawView(view);
    if (pModalView) drawView(pModalView);
    context->restoreGlobalState();
}

void CFrame::addFileSelector(CNewFileSelector* selector) {
    if (!selector || std::find(runningSelectors.begin(), runningSelectors.end(), selector) !=
                         runningSelectors.end())
        return;
    selector->remember();
    runningSelectors.push_back(selector);
}

void CFrame::removeFileSelector(CNewFileSelector* selector) {
    auto position = std::find(runningSelectors.begin(), runningSelectors.end(), selector);
    if (position == runningSelectors.end()) return;
    runningSelectors.erase(position);
    selector->forget();
}

void CFrame::pollFileSelectors() {
    const std::vector<CNewFileSelector*> running = runningSelectors;
    for (CNewFileSelector* selector : running) {
        ViewGuard guard(selector);
        if (!selector->poll()) removeFileSelector(selector);
    }
}

void CFrame::stopFileSelectors() {
    std::vector<CNewFileSelector*> running;
    running.swap(runningSelectors);
    for (CNewFileSelector* selector : running) {
        selector->cancel();
        selector->forget();
    }
}

double CFrame::getTime() const {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

void CFrame::setHoverView(CView* view, CPoint where, const CButtonState& buttons) {
    if (view == pHoverView) return;
    if (CView* old = pHoverView) {
        pHoverView = nullptr;
        ViewGuard guard(old);
        CPoint p = where;
        old->onMouseExited(p, buttons);
    }
    pHoverView = view;
    if (view) {
        ViewGuard guard(view);
        CPoint p = where;
        view->onMouseEntered(p, buttons);
    }
}

CMouseEventResult CFrame::platformOnMouseDown(CPoint& where, const CButtonState& buttons) {
    lastMouseWhere = where;
    CButtonState state = buttons;
    const double now = getTime();
    const int32_t button = buttons.getButtonState();
    const bool isDouble = button == lastClickButtons && !lastClickDouble &&
                          now - lastClickSeconds <= doubleClickSeconds &&
                          std::abs(where.x - lastClickWhere.x) <= kDoubleClickDistance &&
                          std::abs(where.y - lastClickWhere.y) <= kDoubleClickDistance;
    if (isDouble) state |= kDoubleClick;
    lastClickDouble = isDouble;
    lastClickSeconds = now;
    lastClickWhere = where;
    lastClickButtons = button;

    ViewGuard frameGuard(this);
    if (pModalView) {
        CView* view = pModalView;
        if (!view->isVisible() || !view->getMouseEnabled()) return kMouseEventNotHandled;
        ViewGuard guard(view);
        CPoint p = where;
        const CMouseEventResult result = view->onMouseDown(p, state);
        if (result == kMouseEventHandled && pModalView == view) pMouseDownView = view;
        return result;
    }
    // A press without a move before it (a touch, a window just mapped) still
    // enters the view it lands on.
    setHoverView(getViewAt(where), where, CButtonState(buttons.getModifierState()));
    // A press elsewhere takes the keyboard focus from the focus view (an open
    // text entry commits); the pressed view takes it when it wants it.
    if (pFocusView && !pFocusView->getViewSize().pointInside(where)) setFocusView(nullptr);
    const std::vector<CView*> order = children;
    for (auto it = order.rbegin(); it != order.rend(); ++it) {
        CView* view = *it;
        if (!isChild(view) || !view->isVisible() || !view->getMouseEnabled() ||
            !view->hitTest(where, state))
            continue;
        ViewGuard guard(view);
        if (view->wantsFocus() && (state & (kLButton | kRButton | kMButton))) setFocusView(view);
        CPoint p = where;
        const CMouseEventResult result = view->onMouseDown(p, state);
        if (!isHandled(result)) continue;
        if (result == kMouseEventHandled && isChild(view) && !pModalView) pMouseDownView = view;
        return result;
    }
    return kMouseEventNotHandled;
}

CMouseEventResult CFrame::platformOnMouseUp(CPoint& where, const CButtonState& buttons) {
    lastMouseWhere = where;
    ViewGuard frameGuard(this);
    CView* view = pMouseDownView ? pMouseDownView : pModalView;
    pMouseDownView = nullptr;
    if (!view) return kMouseEventNotHandled;
    ViewGuard guard(view);
    CPoint p = where;
    const CMouseEventResult result = view->onMouseUp(p, buttons);
    // The mouse may now be over another view than the one it left when pressing.
    CPoint q = where;
    platformOnMouseMoved(q, CButtonState(buttons.getModifierState()));
    return result;
}

CMouseEventResult CFrame::platformOnMouseMoved(CPoint& where, const CButtonState& buttons) {
    lastMouseWhere = where;
    ViewGuard frameGuard(this);
    if (CView* view = pMouseDownView) {
        ViewGuard guard(view);
        CPoint p = where;
        return view->onMouseMoved(p, buttons);
    }
    CView* target = nullptr;
    if (pModalView) {
        target = pModalView;
        setHoverView(pModalView->hitTest(where) ? pModalView : nullptr, where, buttons);
    } else {
        target = getViewAt(where);
        setHoverView(target, where, buttons);
    }
    if (!target) return kMouseEventNotHandled;
    ViewGuard guard(target);
    CPoint p = where;
    return target->onMouseMoved(p, buttons);
}

CMouseEventResult CFrame::platformOnMouseExited(CPoint& where, const CButtonState& buttons) {
    ViewGuard frameGuard(this);
    if (!pMouseDownView) setHoverView(nullptr, where, buttons);
    return kMouseEventHandled;
}

bool CFrame::platformOnMouseWheel(const CPoint& where, float distance,
                                  const CButtonState& buttons) {
    lastMouseWhere = where;
    ViewGuard frameGuard(this);
    CView* view = pModalView ? pModalView : getViewAt(where);
    if (!view) return false;
    ViewGuard guard(view);
    return view->onWheel(where, distance, buttons);
}

bool CFrame::platformOnKeyDown(VstKeyCode& keyCode) {
    ViewGuard frameGuard(this);
    CView* view = pModalView ? pModalView : pFocusView;
    if (!view) return false;
    ViewGuard guard(view);
    return view->onKeyDown(keyCode) != -1;
}

bool CFrame::platformOnKeyUp(VstKeyCode& keyCode) {
    ViewGuard frameGuard(this);
    CView* view = pModalView ? pModalView : pFocusView;
    if (!view) return false;
    ViewGuard guard(view);
    return view->onKeyUp(keyCode) != -1;
}

void CFrame::platformOnActivate(bool active) {
    ViewGuard frameGuard(this);
    if (CView* view = pFocusView) {
        ViewGuard guard(view);
        if (active)
            view->takeFocus();
        else
            view->looseFocus();
    }
}

} // namespace zel::gui
