// Distance attenuation of a rotating source: gain against the distance between
// the microphone and the source, one entry per centimetre from (0.3 m - radius)
// on. The gain falls with the distance to a power that itself fades out toward
// the attenuation distance, beyond which the table stays flat.
#pragma once

#include "engine/Interpolation.h"
#include "engine/data/CabinetGeometry.h"

#include <array>

namespace zel {

struct AttenuationSettings {
    double amRadius = 0.18;         // m
    double exponent = 1;            // distance exponent X
    double attenuationDistance = 1; // m, at least kMinAttenuationDistance
    double decayExponent = 0.5;     // how the exponent fades with the distance
};

class AttenuationTable {
public:
    static constexpr double kMinAttenuationDistance = 0.01;
    // Keeps the first entry's distance positive whatever radius arrives.
    static constexpr double kMinStart = 0.001;

    AttenuationTable() { build(AttenuationSettings{}); }

    void build(const AttenuationSettings& settings);

    // Table position of a distance (metres): entry n belongs to start + 0.01 n.
    double position(double distance) const {
        return (distance - start_) * (1.0 / cabinet::kAttenuationStep);
    }
    double atPosition(double pos) const {
        return lookupCubic(table_.data(), cabinet::kAttenuationLast, pos);
    }
    double at(double distance) const { return atPosition(position(distance)); }

    double start() const { return start_; }
    const std::array<double, cabinet::kAttenuationEntries>& values() const { return table_; }

private:
    std::array<double, cabinet::kAttenuationEntries> table_{};
    double start_ = cabinet::kAttenuationStart;
};

} // namespace zel
