#include "params/FactoryDefaults.h"

#include "plugin/RotaryEffect.h"

namespace zel {

void RotaryEffect::setDefaults() {
    for (const DefaultValue& entry : kFactoryDefaults) setParameter(entry.index, entry.value);
}

} // namespace zel
