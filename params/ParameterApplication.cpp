// setParameter: the single path by which every parameter value reaches the effect.
#include "plugin/RotaryEffect.h"

#include "params/ParameterTable.h"
#include "presets/CPresetSystemEditor.h"

#include <algorithm>
#include <cmath>

namespace zel {

// A host may send any float: a value that is not finite is ignored altogether,
// any other is held to 0..1 before it is applied or stored.
void RotaryEffect::setParameter(int32_t index, float value) {
    if (!std::isfinite(value)) return;
    value = std::clamp(value, 0.0f, 1.0f);
    if (index >= 0 && index < kNumParameters) {
        applier.apply(index, value);
        // A global parameter keeps one value in every stored program.
        if (isGlobalParameter(index)) storeIntoAllPrograms(index, value);
    }
    if (!isLoadingProgram()) CPresetSystemEffect::setParameter(index, value);
    notifyEditor(index, value);
}

void RotaryEffect::notifyEditor(int32_t index, float value) {
    if (CPresetSystemEditor* editorObject = presetEditor())
        editorObject->setParameter(index, value);
}

} // namespace zel
