// The plug-in's editor: a fixed 401 x 570 window whose face is one background
// bitmap, with 26 knobs and their readouts, the speed lever, speed and stop
// buttons, the two rotor strips, the about screen, the bottom bar (MIDI
// channel, controller lamps, CPU mode, bypass) and, on top, the preset panel.
//
// Every control reports to valueChanged, which sets the effect's parameter
// (as automation). Parameter values come back through setParameter, which
// any thread may call: it only stores the value, and the next idle on the
// user-interface thread hands it to the controls, which redraw. idle also
// advances the animation (rotor strips and lamps) at most every 15 ms,
// reading the engine's values without locks.
#pragma once

#include "engine/Relaxed.h"
#include "plugin/ReadoutContext.h"
#include "presets/CPresetSystemEditor.h"

#include <array>
#include <cstdint>
#include <functional>

namespace zel {

class RotaryEffect;
class CAbout;
class ZelMarker;

namespace gui {
class CBitmap;
class CControl;
class CMovieBitmap;
} // namespace gui

// Tags of the controls that show no parameter.
namespace editortag {
constexpr int32_t kHornStrip = 142;
constexpr int32_t kDrumStrip = 143;
constexpr int32_t kSustainLamp = 144;
constexpr int32_t kModulationLamp = 145;
constexpr int32_t kAboutArea = 147;
constexpr int32_t kChannelRocker = 148;
} // namespace editortag

class RotaryEditor : public CPresetSystemEditor {
public:
    static constexpr int16_t kWidth = 401;
    static constexpr int16_t kHeight = 570;
    // The animation's step: at most one every this many milliseconds.
    static constexpr uint32_t kAnimationIntervalMs = 15;

    // A millisecond tick count (it may wrap around).
    using TickClock = std::function<uint32_t()>;

    explicit RotaryEditor(RotaryEffect* owner);
    ~RotaryEditor() override;

    // False, creating nothing, without a parent window or without the face.
    bool open(void* parentWindow) override;
    void close() override;
    void idle() override;
    // Any thread: stores the value for the controls that show it.
    void setParameter(int32_t index, float value) override;
    // Every control of the editor reports here.
    void valueChanged(gui::CControl* control) override;

    // The view layer's editor interface: edit gestures on host parameters go
    // to the host.
    void beginEdit(int32_t index) override;
    void endEdit(int32_t index) override;
    int32_t getKnobMode() const override;

    bool isOpen() const { return frame != nullptr; }
    // The face bitmap, held for the editor's whole life (0 x 0 when missing).
    gui::CBitmap* getBackground() const { return background; }

    // The value object handed to every readout's text function; not owned.
    void setReadoutContext(const ReadoutContext* context) noexcept { readoutContext = context; }
    const ReadoutContext* getReadoutContext() const noexcept { return readoutContext; }

    // The animation's clock; a steady millisecond clock unless replaced (tests).
    void setTickClock(TickClock clock);
    // One animation step: rotor strips (each on every second step) and lamps.
    void updateAnimation();

private:
    // Host parameters shown by controls: 0..30 and 35.
    static constexpr int32_t kShownParameters = 36;

    void createControls();
    void createKnobs(int32_t firstTag, int32_t lastTag);
    void createLeverGroup();
    void createStripsAndAbout();
    void createBottomBar();
    // Adds a control to the frame with its parameter's current value.
    void addControl(gui::CControl* control, bool valueFromEffect);
    void showParameter(int32_t index, float value);
    void applyPendingValues();
    void stepMidiChannel(float direction);
    void forgetControls();
    uint32_t ticks() const;

    RotaryEffect* rotaryEffect;
    const ReadoutContext* readoutContext = nullptr;
    gui::CBitmap* background = nullptr;
    TickClock tickClock;
    uint32_t lastAnimationTick = 0;
    bool animationPhase = false;

    // Values pushed by setParameter (any thread) and those the controls show
    // (user-interface thread).
    std::array<Relaxed<float>, kShownParameters> pushedValues{};
    std::array<float, kShownParameters> shownValues{};

    // The controls (held by the frame); null while the window is closed.
    // Knobs and readouts by parameter index; "Setup" has a second readout.
    std::array<gui::CControl*, kShownParameters> parameterControls{};
    std::array<gui::CControl*, kShownParameters> readouts{};
    gui::CControl* setupSecondReadout = nullptr;
    gui::CControl* channelRocker = nullptr;
    ZelMarker* hornStrip = nullptr;
    ZelMarker* drumStrip = nullptr;
    gui::CMovieBitmap* modulationLamp = nullptr;
    gui::CMovieBitmap* sustainLamp = nullptr;
    CAbout* aboutArea = nullptr;
};

} // namespace zel
