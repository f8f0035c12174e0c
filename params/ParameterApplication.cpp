// setParameter: the single path by which every parameter value reaches the effect.
#include "plugin/RotaryEffect.h"

#include "params/ParameterLaws.h"
#include "params/ParameterTable.h"

namespace zel {

namespace {

constexpr int32_t kBypass = 0;

} // namespace

void RotaryEffect::setParameter(int32_t index, float value) {
    if (index >= 0 && index < kNumParameters) {
        parameterValues.set(index, value);
        if (index == kBypass) bypassTarget = law::rnd(value) >= 1 ? 1.0 : 0.0;
        // A global parameter keeps one value in every stored program.
        if (isGlobalParameter(index)) storeIntoAllPrograms(index, value);
    }
    if (!isLoadingProgram()) CPresetSystemEffect::setParameter(index, value);
}

} // namespace zel
