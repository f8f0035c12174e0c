#include "plugin/EffectFactory.h"

#include "plugin/RotaryEffect.h"

namespace zel {
namespace {

bool hostAnswersVersion(vst::HostCallback host) {
    return host(nullptr, vst::audioMasterVersion, 0, 0, nullptr, 0.0f) != 0;
}

// The creation step asks the host's version once more before building.
AudioEffect* createEffectInstance(vst::HostCallback host) {
    if (!hostAnswersVersion(host)) return nullptr;
    return new RotaryEffect(host);
}

} // namespace

vst::AEffect* createEffectRecord(vst::HostCallback host) noexcept {
    if (host == nullptr || !hostAnswersVersion(host)) return nullptr;
    try {
        AudioEffect* effect = createEffectInstance(host);
        return effect == nullptr ? nullptr : effect->getAeffect();
    } catch (...) {
        return nullptr; // memory could not be obtained
    }
}

} // namespace zel
