// Read-back and texts of the parameters as the host sees them.
#include "plugin/HostText.h"
#include "plugin/RotaryEffect.h"

namespace zel {

float RotaryEffect::getParameter(int32_t index) {
    return (index >= 0 && index < kNumParameters) ? parameterValue[index].load() : 0.0f;
}

void RotaryEffect::getParameterLabel(int32_t index, char* label) {
    copyHostText(label, " ", vst::kVstMaxParamStrLen);
}

void RotaryEffect::getParameterDisplay(int32_t index, char* text) {
    copyHostText(text, "", vst::kVstMaxParamStrLen);
}

void RotaryEffect::getParameterName(int32_t index, char* text) {
    copyHostText(text, "", vst::kVstMaxParamStrLen);
}

bool RotaryEffect::getParameterProperties(int32_t index, vst::VstParameterProperties* properties) {
    return true;
}

} // namespace zel
