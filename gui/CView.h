// A rectangle of the editor that draws itself and answers mouse, wheel and key
// events. Views live directly in a CFrame, in frame coordinates; the frame holds
// one reference to each view it contains.
//
// Threads: everything runs on the user-interface thread, except setDirty and
// isDirty, which any thread may call (the flag is atomic); a change of a
// control's value made on another thread is drawn at the frame's next idle.
#pragma once

#include "gui/CBaseObject.h"
#include "gui/CButtonState.h"
#include "gui/CRect.h"
#include "gui/VstKeyCode.h"

#include <atomic>

namespace zel::gui {

class CBitmap;
class CDrawContext;
class CFrame;

class CView : public CBaseObject {
public:
    explicit CView(const CRect& size);
    CView(const CView& other);
    ~CView() override;

    // Drawing. drawRect draws the view (draw) and clears its dirty flag; the
    // frame calls it with the context clipped to the area being redrawn.
    virtual void draw(CDrawContext* context);
    virtual void drawRect(CDrawContext* context, const CRect& updateRect);

    // Mouse. where is in frame coordinates; a view may change its copy.
    virtual CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons);
    virtual CMouseEventResult onMouseUp(CPoint& where, const CButtonState& buttons);
    virtual CMouseEventResult onMouseMoved(CPoint& where, const CButtonState& buttons);
    virtual CMouseEventResult onMouseEntered(CPoint& where, const CButtonState& buttons);
    virtual CMouseEventResult onMouseExited(CPoint& where, const CButtonState& buttons);
    // distance: wheel notches, positive away from the user (up).
    virtual bool onWheel(const CPoint& where, const float& distance, const CButtonState& buttons);

    // Keys: 1 when handled, -1 when not.
    virtual int32_t onKeyDown(VstKeyCode& keyCode);
    virtual int32_t onKeyUp(VstKeyCode& keyCode);

    // Keyboard focus within the frame: called when the view becomes or stops being
    // the frame's focus view.
    virtual void takeFocus() {}
    virtual void looseFocus() {}
    void setWantsFocus(bool state) { wantsFocusFlag = state; }
    bool wantsFocus() const { return wantsFocusFlag; }

    // Dirty state: a dirty view is redrawn at the frame's next idle. Any thread.
    virtual void setDirty(bool state = true);
    virtual bool isDirty() const;
    // Asks for a redraw of the view's rectangle at the next idle.
    virtual void invalid();
    void invalidRect(const CRect& rect);

    // Geometry.
    const CRect& getViewSize() const { return size; }
    CRect& getViewSize(CRect& rect) const { return rect = size; }
    virtual void setViewSize(const CRect& rect, bool invalidate = true);
    CCoord getWidth() const { return size.getWidth(); }
    CCoord getHeight() const { return size.getHeight(); }
    const CRect& getMouseableArea() const { return mouseableArea; }
    CRect& getMouseableArea(CRect& rect) const { return rect = mouseableArea; }
    virtual void setMouseableArea(const CRect& rect) { mouseableArea = rect; }
    // Resizes the view to its content (e.g. one frame of its bitmap); false when
    // the view cannot tell.
    virtual bool sizeToFit() { return false; }
    // Converts a point between the view's coordinates and the frame's; views sit
    // in frame coordinates, so both leave the point unchanged here.
    CPoint& localToFrame(CPoint& point) const { return point; }
    CPoint& frameToLocal(CPoint& point) const { return point; }
    virtual bool hitTest(const CPoint& where, const CButtonState& buttons = -1);

    void setMouseEnabled(bool state) { mouseEnabled = state; }
    bool getMouseEnabled() const { return mouseEnabled; }
    virtual void setVisible(bool state);
    bool isVisible() const { return visible; }

    // Background bitmap (one reference held) and the offset into it.
    virtual void setBackground(CBitmap* background);
    CBitmap* getBackground() const { return pBackground; }
    void setBackOffset(const CPoint& offset) { backOffset = offset; }
    const CPoint& getBackOffset() const { return backOffset; }

    // The frame that contains the view, null when it is in none.
    CFrame* getFrame() const { return pParentFrame; }
    bool isAttached() const { return pParentFrame != nullptr; }
    // Called by the frame when the view is added to it or removed from it.
    virtual bool attached(CFrame* frame);
    virtual bool removed(CFrame* frame);

    CLASS_METHODS(CView, CBaseObject)

protected:
    CRect size;
    CRect mouseableArea;
    CFrame* pParentFrame = nullptr;
    CBitmap* pBackground = nullptr;
    CPoint backOffset;
    bool mouseEnabled = true;
    bool visible = true;
    bool wantsFocusFlag = false;

private:
    std::atomic<bool> dirty{false};
};

} // namespace zel::gui
