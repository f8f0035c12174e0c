#include "engine/AttenuationTable.h"

#include <algorithm>
#include <cmath>

namespace zel {

void AttenuationTable::build(const AttenuationSettings& settings) {
    const double radius = settings.amRadius;
    const double exponent = settings.exponent;
    const double reach = std::max(settings.attenuationDistance, kMinAttenuationDistance);
    const double decay = settings.decayExponent;
    start_ = std::max(cabinet::kAttenuationStart - radius, kMinStart);

    double* table = padded_.data() + kLead;
    table[0] = std::pow(std::max(radius, 0.0) * cabinet::kAttenuationReference, exponent);
    for (int n = 1; n < cabinet::kAttenuationEntries; ++n) {
        const double beyond = cabinet::kAttenuationStep * n; // past the first entry
        const double here = beyond + start_;
        const double previous = beyond - cabinet::kAttenuationStep + start_;
        const double fade = beyond < reach ? 1.0 - std::pow(beyond / reach, decay) : 0.0;
        table[n] = table[n - 1] * std::pow(previous / here, fade * exponent);
    }
    std::fill(padded_.begin(), padded_.begin() + kLead, table[0]);
    std::fill(padded_.end() - kTrail, padded_.end(), table[cabinet::kAttenuationLast]);
    std::transform(padded_.begin(), padded_.end(), paddedSingle_.begin(),
                   [](double v) { return static_cast<float>(v); });
}

} // namespace zel
