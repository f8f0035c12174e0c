// The rotary effect's fixed answers to the host: names, versions, capabilities,
// pins and the accepted channel configurations.
#include "plugin/HostText.h"
#include "plugin/PluginIdentity.h"
#include "plugin/RotaryEffect.h"

#include <cstdio>
#include <cstring>

namespace zel {
namespace {

bool describePin(int32_t index, vst::VstPinProperties* properties, const char* format) {
    if (properties == nullptr || index < 0 || index > 1) return false;
    std::snprintf(properties->label, sizeof properties->label, format, index + 1);
    properties->flags = vst::kVstPinIsActive | vst::kVstPinIsStereo;
    return true;
}

bool isMonoOrStereo(const vst::VstSpeakerArrangement* arrangement) {
    return arrangement->numChannels == 1 || arrangement->numChannels == 2;
}

} // namespace

bool RotaryEffect::canParameterBeAutomated(int32_t index) {
    return index >= 0 && index < kNumHostParameters;
}

bool RotaryEffect::getInputProperties(int32_t index, vst::VstPinProperties* properties) {
    return describePin(index, properties, kInputPinFormat);
}

bool RotaryEffect::getOutputProperties(int32_t index, vst::VstPinProperties* properties) {
    return describePin(index, properties, kOutputPinFormat);
}

// Accepts 1 or 2 channels on each side; anything else (or a missing arrangement)
// is refused and leaves full stereo.
bool RotaryEffect::setSpeakerArrangement(vst::VstSpeakerArrangement* input,
                                         vst::VstSpeakerArrangement* output) {
    const bool accepted =
        input != nullptr && output != nullptr && isMonoOrStereo(input) && isMonoOrStereo(output);
    stereoInput = !accepted || input->numChannels == 2;
    stereoOutput = !accepted || output->numChannels == 2;
    return accepted;
}

bool RotaryEffect::getEffectName(char* name) {
    copyHostText(name, kEffectName, vst::kVstMaxEffectNameLen);
    return true;
}

bool RotaryEffect::getVendorString(char* text) {
    copyHostText(text, kVendorString, vst::kVstMaxVendorStrLen);
    return true;
}

bool RotaryEffect::getProductString(char* text) {
    copyHostText(text, kProductString, vst::kVstMaxProductStrLen);
    return true;
}

int32_t RotaryEffect::getVendorVersion() {
    return kVendorVersion;
}

// Compared byte for byte, terminator included.
int32_t RotaryEffect::canDo(const char* text) {
    if (text == nullptr) return 0;
    for (const char* capability : kCapabilities)
        if (std::strcmp(text, capability) == 0) return 1;
    return 0;
}

} // namespace zel
