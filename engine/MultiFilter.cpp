#include "engine/MultiFilter.h"

#include "engine/OnePole.h"

#include <cmath>

namespace zel {

MultiFilter::MultiFilter() noexcept {
    for (double& inv : satInverse_) inv = 1.0 / BiquadFilter::kDefaultSatScale;
}

void MultiFilter::copySection(int i, const BiquadFilter& s) noexcept {
    const BiquadCoefficients& t = s.target();
    coef_[i] = Section{t.b0, t.b1, t.b2, t.a1, t.a2};
    b0_[i] = t.b0;
    b1_[i] = t.b1;
    b2_[i] = t.b2;
    a1_[i] = t.a1;
    a2_[i] = t.a2;
    satOn_[i] = s.saturationOn() ? 1 : 0;
    satInverse_[i] = s.saturationInverse();
    satBias_[i] = s.saturationBias();
}

void MultiFilter::copyFrom(const BiquadFilter& s1, const BiquadFilter& s2, const BiquadFilter& s3,
                           const BiquadFilter& s4) noexcept {
    copySection(0, s1);
    copySection(1, s2);
    copySection(2, s3);
    copySection(3, s4);
}

void MultiFilter::copyFrom(const BiquadFilter* sections) noexcept {
    for (int i = 0; i < kSections; ++i) copySection(i, sections[i]);
}

void MultiFilter::clearState() noexcept {
    x_ = 0.0;
    for (int i = 0; i < kSections; ++i) x1_[i] = x2_[i] = y_[i] = y1_[i] = y2_[i] = 0.0;
}

void MultiFilter::historyShares(double* shares) const noexcept {
    // The history's share of each section, in the order a section computes it.
    for (int i = 0; i < kSections; ++i)
        shares[i] = b1_[i] * x1_[i] + b2_[i] * x2_[i] - a1_[i] * y1_[i] - a2_[i] * y2_[i];
}

double MultiFilter::sectionOutput(int i, double in, double share) const noexcept {
    // The cascade's chain from section to section is one multiply and one add
    // (and the guard) long.
    double y = denormalGuard(b0_[i] * in + share, kCascadeGuard);
    if (satOn_[i]) {
        y = y / (std::fabs(y + satBias_[i]) * satInverse_[i] + 1.0);
        y = denormalGuard(y, kCascadeGuard);
    }
    return y;
}

void MultiFilter::shift(const double* inputs, const double* outputs) noexcept {
    for (int i = 0; i < kSections; ++i) {
        x2_[i] = x1_[i];
        x1_[i] = inputs[i];
        y2_[i] = y1_[i];
        y1_[i] = outputs[i];
        y_[i] = outputs[i];
    }
}

double MultiFilter::process(double x) noexcept {
    double in = denormalGuard(x, kCascadeGuard);
    x_ = in;
    double shares[kSections], inputs[kSections], outputs[kSections];
    historyShares(shares);
    for (int i = 0; i < kSections; ++i) {
        inputs[i] = in;
        in = outputs[i] = sectionOutput(i, in, shares[i]);
    }
    shift(inputs, outputs);
    return in;
}

void MultiFilter::processPair(MultiFilter& a, double& xa, MultiFilter& b, double& xb) noexcept {
    double inA = denormalGuard(xa, kCascadeGuard);
    double inB = denormalGuard(xb, kCascadeGuard);
    a.x_ = inA;
    b.x_ = inB;
    double sharesA[kSections], inputsA[kSections], outputsA[kSections];
    double sharesB[kSections], inputsB[kSections], outputsB[kSections];
    a.historyShares(sharesA);
    b.historyShares(sharesB);
    // Section by section in turn: the two chains are independent, so the processor
    // runs them side by side.
    for (int i = 0; i < kSections; ++i) {
        inputsA[i] = inA;
        inputsB[i] = inB;
        inA = outputsA[i] = a.sectionOutput(i, inA, sharesA[i]);
        inB = outputsB[i] = b.sectionOutput(i, inB, sharesB[i]);
    }
    a.shift(inputsA, outputsA);
    b.shift(inputsB, outputsB);
    xa = inA;
    xb = inB;
}

} // namespace zel
