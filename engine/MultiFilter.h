// Four second-order sections run as one cascade from coefficients copied out of
// four BiquadFilters. No glide and no type checks per sample; each section may
// saturate inside the cascade.
#pragma once

#include "engine/BiquadFilter.h"

#include <cstdint>

namespace zel {

class MultiFilter {
public:
    static constexpr int kSections = 4;

    MultiFilter() noexcept;
    virtual ~MultiFilter() = default;

    // Takes the target coefficients and saturation settings of four sections. A
    // disabled section contributes identity coefficients but keeps its saturation.
    void copyFrom(const BiquadFilter& s1, const BiquadFilter& s2, const BiquadFilter& s3,
                  const BiquadFilter& s4) noexcept;
    // Same, from four consecutive sections of an array.
    void copyFrom(const BiquadFilter* sections) noexcept;
    void clearState() noexcept;
    double process(double x) noexcept;
    // Two independent cascades at once, each exactly as process would run it: xa
    // and xb go in and come back filtered.
    static void processPair(MultiFilter& a, double& xa, MultiFilter& b, double& xb) noexcept;

    struct Section {
        double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
    };
    struct SectionState {
        double x1 = 0, x2 = 0, y = 0, y1 = 0, y2 = 0;
    };
    const Section& section(int i) const noexcept { return coef_[i]; }
    const SectionState& sectionState(int i) const noexcept { return state_[i]; }
    bool saturationOn(int i) const noexcept { return satOn_[i] != 0; }
    double saturationInverse(int i) const noexcept { return satInverse_[i]; }
    double saturationBias(int i) const noexcept { return satBias_[i]; }

private:
    void copySection(int i, const BiquadFilter& s) noexcept;
    double runSection(int i, double in) noexcept;

    Section coef_[kSections];
    int32_t satOn_[kSections] = {};
    double satInverse_[kSections];
    double satBias_[kSections] = {};
    double x_ = 0;
    SectionState state_[kSections];
};

} // namespace zel
