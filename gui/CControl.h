// A view with a value: a float within [min, max], a default, a tag that names
// the parameter it shows and a listener that hears the user's changes.
//
// setValue only stores the value; the control counts as dirty while its value
// differs from the one it last drew, so a change made on any thread is drawn at
// the frame's next idle. Everything else runs on the user-interface thread.
#pragma once

#include "gui/CView.h"
#include "gui/IControlListener.h"

#include <atomic>

namespace zel::gui {

class CControl : public CView {
public:
    CControl(const CRect& size, IControlListener* listener = nullptr, int32_t tag = 0,
             CBitmap* background = nullptr);
    CControl(const CControl& other);
    ~CControl() override;

    // Value: stored clamped to [min, max]. Any thread.
    virtual void setValue(float val);
    virtual float getValue() const { return value.load(std::memory_order_relaxed); }
    virtual void setValueNormalized(float val);
    virtual float getValueNormalized() const;

    virtual void setMin(float val) { vmin = val; }
    virtual float getMin() const { return vmin; }
    virtual void setMax(float val) { vmax = val; }
    virtual float getMax() const { return vmax; }
    float getRange() const { return vmax - vmin; }
    virtual void setDefaultValue(float val) { defaultValue = val; }
    virtual float getDefaultValue() const { return defaultValue; }
    // Value change per wheel notch of the stock controls.
    virtual void setWheelInc(float val) { wheelInc = val; }
    virtual float getWheelInc() const { return wheelInc; }

    virtual void setTag(int32_t val) { tag = val; }
    virtual int32_t getTag() const { return tag; }
    virtual void setListener(IControlListener* l) { listener = l; }
    IControlListener* getListener() const { return listener; }

    // Edit gesture: the listener's controlBeginEdit and the editor's beginEdit(tag)
    // through the frame; endEdit likewise. Nested calls are counted.
    virtual void beginEdit();
    virtual void endEdit();
    bool isEditing() const { return editing > 0; }

    // Tells the listener that the user changed the value.
    virtual void valueChanged();
    // Clamps the value to [min, max].
    virtual void bounceValue();
    // Control with the left button resets to the default value: inside an edit
    // gesture the value is set and reported (when it differs). True when the
    // buttons asked for the reset.
    virtual bool checkDefaultValue(CButtonState button);

    void setDirty(bool state = true) override;
    bool isDirty() const override;

    CLASS_METHODS(CControl, CView)

protected:
    IControlListener* listener = nullptr;
    int32_t tag = 0;
    std::atomic<float> value{0.f};
    std::atomic<float> oldValue{1.f};
    float defaultValue = 0.5f;
    float vmin = 0.f;
    float vmax = 1.f;
    float wheelInc = 0.1f;
    int32_t editing = 0;
};

} // namespace zel::gui
