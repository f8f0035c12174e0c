// Distance attenuation of a rotating source: gain against the distance between
// the microphone and the source, one entry per centimetre from (0.3 m - radius)
// on. The gain falls with the distance to a power that itself fades out toward
// the attenuation distance, beyond which the table stays flat.
#pragma once

#include "engine/Interpolation.h"
#include "engine/data/CabinetGeometry.h"

#include <array>
#include <span>

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
        return lookupCubic(padded_.data() + kLead, cabinet::kAttenuationLast, pos);
    }
    double at(double distance) const { return atPosition(position(distance)); }

    double start() const { return start_; }
    std::span<const double, cabinet::kAttenuationEntries> values() const {
        return std::span<const double, cabinet::kAttenuationEntries>(padded_.data() + kLead,
                                                                     cabinet::kAttenuationEntries);
    }
    // The entries with the first repeated once before them and the last twice
    // after them: from entry n on (n in [0, last]) lie the four neighbours a
    // cubic read between entries n and n + 1 takes, clamped at the table's ends
    // (entries n - 1 to n + 2 where they exist), so a wide read takes them with
    // one load.
    const double* clampedNeighbours() const { return padded_.data(); }
    // The same rounded to float, for the reads that take eight rays to a
    // register.
    const float* clampedNeighboursSingle() const { return paddedSingle_.data(); }

private:
    static constexpr int kLead = 1;  // copies of the first entry before it
    static constexpr int kTrail = 2; // copies of the last entry after it
    std::array<double, kLead + cabinet::kAttenuationEntries + kTrail> padded_{};
    std::array<float, kLead + cabinet::kAttenuationEntries + kTrail> paddedSingle_{};
    double start_ = cabinet::kAttenuationStart;
};

} // namespace zel
