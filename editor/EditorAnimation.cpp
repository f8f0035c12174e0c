// The editor's animation: the rotor strips follow the first horn and drum
// units' rotor angles, and the lamps the MIDI controllers. Every value is read
// from the effect without a lock (relaxed atomics): a stale value only shows
// for one step.
#include "editor/RotaryEditor.h"

#include "editor/CAbout.h"
#include "editor/ZelMarker.h"
#include "engine/RotaryEngine.h"
#include "gui/CMovieBitmap.h"
#include "plugin/RotaryEffect.h"

namespace zel {

namespace {

// With the speakers bypassed (amplifier only) both bands rest in the middle.
constexpr float kCentredStrip = 0.5f;

// A rotor angle in turns, brought into 0..1.
float stripValue(double turns) {
    if (turns > 1.0) turns -= 1.0;
    if (turns < 0.0) turns += 1.0;
    return static_cast<float>(turns);
}

} // namespace

// Each strip is refreshed on every second step, horn and drum in turn.
void RotaryEditor::updateAnimation() {
    if (!frame) return;
    // Nothing moves behind the about screen.
    if (aboutArea && aboutArea->getValue() != 0.f) return;
    if (rotaryEffect == nullptr) return;
    RotaryEngine& engine = rotaryEffect->getEngine();
    const bool ampOnly = engine.amp.speakerBypass.load() != 0;
    if (hornStrip && animationPhase)
        hornStrip->setValue(ampOnly ? kCentredStrip
                                    : stripValue(engine.hornUnit(0).rotor().angle()));
    if (drumStrip && !animationPhase)
        drumStrip->setValue(ampOnly ? kCentredStrip
                                    : stripValue(engine.drumMainUnit().rotor().angle()));
    animationPhase = !animationPhase;
    if (modulationLamp) modulationLamp->setValue(engine.amp.modulationActivity.load());
    if (sustainLamp) sustainLamp->setValue(static_cast<float>(rotaryEffect->getPedalState()));
}

} // namespace zel
