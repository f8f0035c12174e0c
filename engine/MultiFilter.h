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
    SectionState sectionState(int i) const noexcept {
        return {x1_[i], x2_[i], y_[i], y1_[i], y2_[i]};
    }
    bool saturationOn(int i) const noexcept { return satOn_[i] != 0; }
    double saturationInverse(int i) const noexcept { return satInverse_[i]; }
    double saturationBias(int i) const noexcept { return satBias_[i]; }

private:
    void copySection(int i, const BiquadFilter& s) noexcept;
    // Every section's share of its history (it does not wait for the input).
    void historyShares(double* shares) const noexcept;
    // Section i's output for input `in` and its history share.
    double sectionOutput(int i, double in, double share) const noexcept;
    // Every section's history moves on: inputs and outputs of this sample.
    void shift(const double* inputs, const double* outputs) noexcept;

    Section coef_[kSections];
    int32_t satOn_[kSections] = {};
    double satInverse_[kSections];
    double satBias_[kSections] = {};
    double x_ = 0;
    // Coefficients and state laid out across the sections, so the four history
    // shares are computed together.
    alignas(16) double b0_[kSections] = {1, 1, 1, 1};
    alignas(16) double b1_[kSections] = {};
    alignas(16) double b2_[kSections] = {};
    alignas(16) double a1_[kSections] = {};
    alignas(16) double a2_[kSections] = {};
    alignas(16) double x1_[kSections] = {};
    alignas(16) double x2_[kSections] = {};
    alignas(16) double y_[kSections] = {};
    alignas(16) double y1_[kSections] = {};
    alignas(16) double y2_[kSections] = {};
};

} // namespace zel
