// The plug-in's editor: a fixed 401 x 570 window over the preset side of the
// editor object. It has no window of its own yet, so opening answers false and
// the parameter values pushed into it have no control to reach.
#pragma once

#include "plugin/ReadoutContext.h"
#include "presets/CPresetSystemEditor.h"

namespace zel {

class RotaryEditor : public CPresetSystemEditor {
public:
    static constexpr int16_t kWidth = 401;
    static constexpr int16_t kHeight = 570;

    explicit RotaryEditor(CPresetSystemEffect* owner);
    ~RotaryEditor() override;

    bool open(void* parentWindow) override;
    void close() override;
    void idle() override;
    void setParameter(int32_t index, float value) override;

    // The value object handed to every readout's text function; not owned.
    void setReadoutContext(const ReadoutContext* context) noexcept { readoutContext = context; }
    const ReadoutContext* getReadoutContext() const noexcept { return readoutContext; }

private:
    const ReadoutContext* readoutContext = nullptr;
};

} // namespace zel
