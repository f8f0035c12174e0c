// Read-back, names, labels, texts and host properties of the parameters.
#include "plugin/RotaryEffect.h"

#include "params/ParameterProperties.h"
#include "params/ParameterTexts.h"

namespace zel {

float RotaryEffect::getParameter(int32_t index) {
    return parameterValues.getFloat(index);
}

void RotaryEffect::getParameterLabel(int32_t index, char* label) {
    parameterLabel(index, parameterValues.get(index), label);
}

void RotaryEffect::getParameterDisplay(int32_t index, char* text) {
    parameterDisplay(index, parameterValues.get(index), text);
}

void RotaryEffect::getParameterName(int32_t index, char* text) {
    parameterName(index, text);
}

bool RotaryEffect::getParameterProperties(int32_t index, vst::VstParameterProperties* properties) {
    if (properties) fillParameterProperties(index, *properties);
    return true;
}

} // namespace zel
