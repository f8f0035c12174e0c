// setParameter: the single path by which every parameter value reaches the effect.
#include "plugin/RotaryEffect.h"

namespace zel {
namespace {

constexpr int32_t kBypass = 0;

// Parameters that keep one value across all stored programs.
bool isGlobalParameter(int32_t index) {
    return (index >= 0 && index <= 4) || index == 35;
}

} // namespace

void RotaryEffect::setParameter(int32_t index, float value) {
    if (index < 0 || index >= kNumParameters) return;
    parameterValue[index] = value;
    if (index == kBypass)
        bypassTarget = (static_cast<double>(value) + 0.5 >= 1.0) ? 1.0 : 0.0; // rnd, limited to 0/1
    if (isGlobalParameter(index)) storeIntoAllPrograms(index, value);
    if (!isLoadingProgram()) CPresetSystemEffect::setParameter(index, value);
}

} // namespace zel
