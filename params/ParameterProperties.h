// The host's parameter properties record for any index: how the value steps,
// whether it is a switch, and its long and short label.
#pragma once

#include "plugin/VstAbi.h"

namespace zel {

constexpr int kShortLabelLength = 7; // characters before the terminator

// Fills the steps, flags, label and short label; leaves every other field as
// the host gave it.
void fillParameterProperties(int index, vst::VstParameterProperties& properties);

} // namespace zel
