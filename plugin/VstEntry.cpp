// The library's one entry point, exported as VSTPluginMain and as main.
#include "plugin/EffectFactory.h"

#define ZEL_EXPORT extern "C" __attribute__((visibility("default")))

ZEL_EXPORT vst::AEffect* VSTPluginMain(vst::HostCallback host) {
    return zel::createEffectRecord(host);
}

// Older hosts look for "main"; a C++ function cannot carry that name with this
// signature, so the symbol is named explicitly.
ZEL_EXPORT vst::AEffect* vstMainEntry(vst::HostCallback host) __asm__("main");
vst::AEffect* vstMainEntry(vst::HostCallback host) {
    return zel::createEffectRecord(host);
}
