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
    : CView(rect), editor(editorInterface), parentWindow(parent) {
    pParentFrame = this;
    mouseableArea = CRect(0, 0, rect.getWidth(), rect.getHeight());
    if (parent) {
        window = PlatformWindow::create(*this, parent, rect);
        open = window != nullptr;
    } else {
        offscreen = true;
        offscreenContext = new COffscreenContext(rect.getWidth(), rect.getHeight());
        open = true;
    }
    invalid();
}

CFrame::~CFrame() {
    teardown();
}

void CFrame::teardown() {
    stopFileSelectors();
    if (modalView) {
        CView* view = modalView;
        modalView = nullptr;
        dropViewReferences(view);
        view->removed(this);
        view->forget();
    }
    removeAll(true);
    window.reset();
    if (offscreenContext) {
        offscreenContext->forget();
        offscreenContext = nullptr;
    }
    open = false;
}

void CFrame::close() {
    teardown();
    forget();
}

void* CFrame::getSystemWindow() const {
    return window ? window->getNativeWindow() : nullptr;
}

bool CFrame::addView(CView* view) {
    return addView(view, nullptr);
}

bool CFrame::addView(CView* view, CView* before) {
    if (!view || view == this || isChild(view) || view == modalView) return false;
    auto position = std::find(views.begin(), views.end(), before);
    views.insert(position, view);
    view->attached(this);
    invalidRect(view->getViewSize());
    return true;
}

bool CFrame::removeView(CView* view, bool withForget) {
    auto position = std::find(views.begin(), views.end(), view);
    if (position == views.end()) return false;
    views.erase(position);
    dropViewReferences(view);
    invalidRect(view->getViewSize());
    view->removed(this);
    if (withForget) view->forget();
    return true;
}

bool CFrame::removeAll(bool withForget) {
    std::vector<CView*> old;
    old.swap(views);
    for (CView* view : old) {
        dropViewReferences(view);
        view->removed(this);
        if (withForget) view->forget();
    }
    invalid();
    return true;
}

bool CFrame::isChild(const CView* view) const {
    return std::find(views.begin(), views.end(), view) != views.end();
}

CView* CFrame::getView(int32_t index) const {
    if (index < 0 || index >= getNbViews()) return nullptr;
    return views[static_cast<size_t>(index)];
}

CView* CFrame::getViewAt(const CPoint& where) const {
    for (auto it = views.rbegin(); it != views.rend(); ++it) {
        CView* view = *it;
        if (view->isVisible() && view->getMouseEnabled() && view->hitTest(where)) return view;
    }
    return nullptr;
}

void CFrame::dropViewReferences(CView* view) {
    if (mouseDownView == view) mouseDownView = nullptr;
    if (hoverView == view) hoverView = nullptr;
    if (focusView == view) {
        focusView = nullptr;
        view->looseFocus();
    }
}

bool CFrame::setModalView(CView* view) {
    if (view && modalView) return false;
    if (!view) {
        if (!modalView) return true;
        CView* old = modalView;
        modalView = nullptr;
        dropViewReferences(old);
        invalidRect(old->getViewSize());
        old->removed(this);
        return true;
    }
    if (isChild(view)) return false;
    modalView = view;
    view->attached(this);
    // Everything now goes to the modal view alone.
    if (mouseDownView != view) mouseDownView = nullptr;
    if (hoverView) setHoverView(nullptr, mouseLocation, 0);
    invalidRect(view->getViewSize());
    return true;
}

void CFrame::setFocusView(CView* view) {
    if (view == focusView) return;
    CView* old = focusView;
    focusView = view;
    if (old) old->looseFocus();
    if (view && focusView == view) view->takeFocus();
}

bool CFrame::setKeyboardFocus() {
    return window && window->grabFocus();
}

bool CFrame::hasKeyboardFocus() const {
    return window && window->hasFocus();
}

void CFrame::beginEdit(int32_t tag) {
    if (editor) editor->beginEdit(tag);
}

void CFrame::endEdit(int32_t tag) {
    if (editor) editor->endEdit(tag);
}

void CFrame::invalidRect(const CRect& rect) {
    CRect area = rect;
    area.bound(CRect(0, 0, getWidth(), getHeight()));
    pendingRect.unite(area);
}

void CFrame::invalid() {
    invalidRect(CRect(0, 0, getWidth(), getHeight()));
}

void CFrame::idle() {
    if (!open) return;
    ViewGuard guard(this); // a callback may close the editor
    if (window) window->update();
    pollFileSelectors();
    redrawDirty();
}

bool CFrame::redrawDirty() {
    if (!open) return false;
    CRect area = pendingRect;
    pendingRect = CRect();
    for (CView* view : views)
        if (view->isVisible() && view->isDirty()) area.unite(view->getViewSize());
    if (modalView && modalView->isDirty()) area.unite(modalView->getViewSize());
    if (CView::isDirty()) area = CRect(0, 0, getWidth(), getHeight());
    area.bound(CRect(0, 0, getWidth(), getHeight()));
    if (area.isEmpty()) return false;
    // Whole pixels, so no seam is left at fractional view edges.
    area = CRect(std::floor(area.left), std::floor(area.top), std::ceil(area.right),
                 std::ceil(area.bottom));
    if (offscreenContext) {
        drawArea(offscreenContext, area);
    } else if (window) {
        window->postRedisplay(area);
        window->update(); // draws the exposure now
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
    ++redrawCount;
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
    const std::vector<CView*> order = views;
    for (CView* view : order)
        if (isChild(view)) drawView(view);
    if (modalView) drawView(modalView);
    context->restoreGlobalState();
}

void CFrame::addFileSelector(CNewFileSelector* selector) {
    if (!selector ||
        std::find(fileSelectors.begin(), fileSelectors.end(), selector) != fileSelectors.end())
        return;
    selector->remember();
    fileSelectors.push_back(selector);
}

void CFrame::removeFileSelector(CNewFileSelector* selector) {
    auto position = std::find(fileSelectors.begin(), fileSelectors.end(), selector);
    if (position == fileSelectors.end()) return;
    fileSelectors.erase(position);
    selector->forget();
}

void CFrame::pollFileSelectors() {
    const std::vector<CNewFileSelector*> running = fileSelectors;
    for (CNewFileSelector* selector : running) {
        ViewGuard guard(selector);
        if (!selector->poll()) removeFileSelector(selector);
    }
}

void CFrame::stopFileSelectors() {
    std::vector<CNewFileSelector*> running;
    running.swap(fileSelectors);
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
    if (view == hoverView) return;
    if (CView* old = hoverView) {
        hoverView = nullptr;
        ViewGuard guard(old);
        CPoint p = where;
        old->onMouseExited(p, buttons);
    }
    hoverView = view;
    if (view) {
        ViewGuard guard(view);
        CPoint p = where;
        view->onMouseEntered(p, buttons);
    }
}

CMouseEventResult CFrame::platformOnMouseDown(CPoint& where, const CButtonState& buttons) {
    mouseLocation = where;
    CButtonState state = buttons;
    const double now = getTime();
    const int32_t button = buttons.getButtonState();
    const bool isDouble = button == lastClickButton && !lastClickWasDouble &&
                          now - lastClickTime <= doubleClickTime &&
                          std::abs(where.x - lastClickPoint.x) <= kDoubleClickDistance &&
                          std::abs(where.y - lastClickPoint.y) <= kDoubleClickDistance;
    if (isDouble) state |= kDoubleClick;
    lastClickWasDouble = isDouble;
    lastClickTime = now;
    lastClickPoint = where;
    lastClickButton = button;

    ViewGuard frameGuard(this);
    if (modalView) {
        CView* view = modalView;
        if (!view->isVisible() || !view->getMouseEnabled()) return kMouseEventNotHandled;
        ViewGuard guard(view);
        CPoint p = where;
        const CMouseEventResult result = view->onMouseDown(p, state);
        if (result == kMouseEventHandled && modalView == view) mouseDownView = view;
        return result;
    }
    const std::vector<CView*> order = views;
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
        if (result == kMouseEventHandled && isChild(view) && !modalView) mouseDownView = view;
        return result;
    }
    return kMouseEventNotHandled;
}

CMouseEventResult CFrame::platformOnMouseUp(CPoint& where, const CButtonState& buttons) {
    mouseLocation = where;
    ViewGuard frameGuard(this);
    CView* view = mouseDownView ? mouseDownView : modalView;
    mouseDownView = nullptr;
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
    mouseLocation = where;
    ViewGuard frameGuard(this);
    if (CView* view = mouseDownView) {
        ViewGuard guard(view);
        CPoint p = where;
        return view->onMouseMoved(p, buttons);
    }
    CView* target = nullptr;
    if (modalView) {
        target = modalView;
        setHoverView(modalView->hitTest(where) ? modalView : nullptr, where, buttons);
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
    if (!mouseDownView) setHoverView(nullptr, where, buttons);
    return kMouseEventHandled;
}

bool CFrame::platformOnMouseWheel(const CPoint& where, float distance,
                                  const CButtonState& buttons) {
    mouseLocation = where;
    ViewGuard frameGuard(this);
    CView* view = modalView ? modalView : getViewAt(where);
    if (!view) return false;
    ViewGuard guard(view);
    return view->onWheel(where, distance, buttons);
}

bool CFrame::platformOnKeyDown(VstKeyCode& keyCode) {
    ViewGuard frameGuard(this);
    CView* view = modalView ? modalView : focusView;
    if (!view) return false;
    ViewGuard guard(view);
    return view->onKeyDown(keyCode) != -1;
}

bool CFrame::platformOnKeyUp(VstKeyCode& keyCode) {
    ViewGuard frameGuard(this);
    CView* view = modalView ? modalView : focusView;
    if (!view) return false;
    ViewGuard guard(view);
    return view->onKeyUp(keyCode) != -1;
}

void CFrame::platformOnActivate(bool active) {
    ViewGuard frameGuard(this);
    if (CView* view = focusView) {
        ViewGuard guard(view);
        if (active)
            view->takeFocus();
        else
            view->looseFocus();
    }
}

} // namespace zel::gui
