// The editor's top-level view: a child window in the host's parent window (X11
// through pugl, drawn with cairo), or, without a parent window, an offscreen
// image for tests. It owns its views in drawing order and routes the window
// system's events to them:
// - a press goes to the topmost visible, mouse-enabled view under the mouse
//   (a view that does not handle it passes it on to the one below); the moves
//   and the release go to the same view until the release, unless it answered
//   kMouseDownEventHandledButDontNeedMovedOrUpEvents;
// - moves without a captured press go to the view under the mouse, with
//   onMouseEntered/onMouseExited as the mouse crosses views;
// - a second press of the same button within getDoubleClickTime() and a few
//   pixels of the first carries kDoubleClick;
// - keys go to the modal view, else to the focus view; a press outside the
//   focus view clears the focus, and a press on a view that wants focus makes
//   it the focus view;
// - while a modal view is set, every mouse, wheel and key event goes to it
//   alone, and it is drawn above all other views.
//
// idle() is the heartbeat, called by the editor on the host's user-interface
// thread: it handles pending window-system events without waiting, polls
// running file selectors and redraws what is dirty. It never blocks.
//
// References: addView takes over the creator's reference; removeView and
// removeAll release it (unless asked not to). setModalView takes over a
// reference too; setModalView(nullptr) hands it back to the caller, who then
// releases it; a modal view still set when the frame goes is released by it.
// The frame itself is released with forget() (or close()), which removes and
// releases all its views and closes its window.
#pragma once

#include "gui/CView.h"
#include "gui/VSTGUIEditorInterface.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace zel::gui {

class COffscreenContext;
class CNewFileSelector;
class PlatformWindow;

class CFrame : public CView {
public:
    // parentWindow: the host's X11 window (a Window as void*), or null for an
    // offscreen frame. isOpen() tells whether the window could be made.
    CFrame(const CRect& size, void* parentWindow, VSTGUIEditorInterface* editor);
    ~CFrame() override;

    // Removes and releases all views, closes the window and releases the frame.
    void close();

    bool isOpen() const { return openFlag; }
    bool isOffscreen() const { return offscreenFlag; }
    VSTGUIEditorInterface* getEditor() const { return pEditor; }
    // The frame's own X11 window (as void*), null offscreen.
    void* getSystemWindow() const;
    void* getParentWindow() const { return pSystemParent; }

    // Views, in drawing order (last is topmost).
    bool addView(CView* view);
    bool addView(CView* view, CView* before);
    bool removeView(CView* view, bool withForget = true);
    bool removeAll(bool withForget = true);
    bool isChild(const CView* view) const;
    int32_t getNbViews() const { return static_cast<int32_t>(children.size()); }
    CView* getView(int32_t index) const;
    // Topmost visible, mouse-enabled view whose mouseable area holds where.
    CView* getViewAt(const CPoint& where) const;

    // Modal view: see above. False when another modal view is already set.
    bool setModalView(CView* view);
    CView* getModalView() const { return pModalView; }

    // Keyboard focus among the views (the old one is told looseFocus, the new
    // one takeFocus); null clears it.
    void setFocusView(CView* view);
    CView* getFocusView() const { return pFocusView; }
    // Asks the window system for keyboard focus for the frame's window.
    bool setKeyboardFocus();
    bool hasKeyboardFocus() const;

    // Edit gestures of controls, passed to the editor.
    void beginEdit(int32_t tag);
    void endEdit(int32_t tag);

    // Redrawing: invalidRect asks for a redraw of rect at the next idle; the
    // frame's own invalid() asks for a full redraw.
    void invalidRect(const CRect& rect);
    void invalid() override;
    void idle();
    // Draws everything (background, views, modal view) that intersects area.
    void drawArea(CDrawContext* context, const CRect& area);
    void draw(CDrawContext* context) override;
    // Redraw passes done so far (each idle that found something to draw counts one).
    uint64_t getRedrawCount() const { return redraws; }
    // The offscreen frame's image, null for a windowed frame.
    COffscreenContext* getOffscreenContext() const { return pOffscreen; }

    // File selectors polled from idle (CNewFileSelector registers itself).
    void addFileSelector(CNewFileSelector* selector);
    void removeFileSelector(CNewFileSelector* selector);

    // Double-click interval in seconds.
    void setDoubleClickTime(double seconds) { doubleClickSeconds = seconds; }
    double getDoubleClickTime() const { return doubleClickSeconds; }
    // Last known mouse position in frame coordinates.
    const CPoint& getCurrentMouseLocation() const { return lastMouseWhere; }

    // Entry points of the window system's events (tests call them directly on an
    // offscreen frame). Buttons hold the pressed button and the modifiers;
    // platformOnMouseDown adds kDoubleClick by itself.
    virtual CMouseEventResult platformOnMouseDown(CPoint& where, const CButtonState& buttons);
    virtual CMouseEventResult platformOnMouseUp(CPoint& where, const CButtonState& buttons);
    virtual CMouseEventResult platformOnMouseMoved(CPoint& where, const CButtonState& buttons);
    virtual CMouseEventResult platformOnMouseExited(CPoint& where, const CButtonState& buttons);
    virtual bool platformOnMouseWheel(const CPoint& where, float distance,
                                      const CButtonState& buttons);
    virtual bool platformOnKeyDown(VstKeyCode& keyCode);
    virtual bool platformOnKeyUp(VstKeyCode& keyCode);
    // The window gained or lost the keyboard focus.
    virtual void platformOnActivate(bool active);

    CLASS_METHODS_NOCOPY(CFrame, CView)

protected:
    // Seconds on a steady clock; the double-click detection reads it.
    virtual double getTime() const;

private:
    friend class PlatformWindow;

    void teardown();
    void dropViewReferences(CView* view);
    void stopFileSelectors();
    void pollFileSelectors();
    bool redrawDirty();
    void setHoverView(CView* view, CPoint where, const CButtonState& buttons);

    VSTGUIEditorInterface* pEditor;
    void* pSystemParent;
    bool openFlag = false;
    bool offscreenFlag = false;
    std::unique_ptr<PlatformWindow> platformWindow;
    COffscreenContext* pOffscreen = nullptr;
    std::vector<CView*> children;
    std::vector<CNewFileSelector*> runningSelectors;
    CView* pModalView = nullptr;
    CView* pFocusView = nullptr;
    CView* pMouseDownView = nullptr;
    CView* pHoverView = nullptr;
    CRect pendingArea;
    uint64_t redraws = 0;
    double doubleClickSeconds = 0.4;
    double lastClickSeconds = -1e9;
    CPoint lastClickWhere;
    int32_t lastClickButtons = 0;
    bool lastClickDouble = false;
    CPoint lastMouseWhere;
};

} // namespace zel::gui
