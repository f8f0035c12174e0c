// What a control tells its listener (the editor): every value change made by the
// user, and the start and end of an edit gesture.
#pragma once

namespace zel::gui {

class CControl;

class IControlListener {
public:
    virtual ~IControlListener() = default;
    virtual void valueChanged(CControl* control) = 0;
    virtual void controlBeginEdit(CControl* /*control*/) {}
    virtual void controlEndEdit(CControl* /*control*/) {}
};

using CControlListener = IControlListener;

} // namespace zel::gui
