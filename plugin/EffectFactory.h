// Creating one plug-in instance for the host: the work of the exported entry point.
#pragma once

#include "plugin/VstAbi.h"

namespace zel {

// Returns the new instance's effect record, or null when the host is missing,
// answers 0 to audioMasterVersion, or the instance cannot be built. Never throws.
vst::AEffect* createEffectRecord(vst::HostCallback host) noexcept;

} // namespace zel
