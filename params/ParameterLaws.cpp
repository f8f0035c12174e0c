#include "params/ParameterLaws.h"

#include <climits>
#include <cmath>

namespace zel::law {

int rnd(double v) {
    const double shifted = std::trunc(v + 0.5);
    if (std::isnan(shifted)) return 0;
    if (shifted >= static_cast<double>(INT_MAX)) return INT_MAX;
    if (shifted <= static_cast<double>(INT_MIN)) return INT_MIN;
    return static_cast<int>(shifted);
}

float gainTaper(double x) {
    return static_cast<float>(kGainScale * (std::exp(kGainExponent * x) - 1.0));
}

float unityGainTaper(double x) {
    return static_cast<float>(kUnityGainScale * (std::exp(kUnityGainExponent * x) - 1.0));
}

float timeLaw(double x) {
    return static_cast<float>(kTimeBase * std::pow(kTimeRange, x));
}

float distanceLaw(float x) {
    return kDistanceSpan * x + kDistanceOffset;
}

float frequencyLaw(double x) {
    return static_cast<float>(kFrequencyBase * std::pow(kFrequencyRange, x));
}

float radiusLaw(double x) {
    return static_cast<float>(kRadiusScale * std::exp(kRadiusExponent * x) - kRadiusOffset);
}

double highPassLaw(float x) {
    if (!(x >= kHighPassOnset)) return 0.0;
    return std::exp(kHighPassExponent * static_cast<double>(x)) * kHighPassScale - kHighPassOffset;
}

double lowPassLaw(float x) {
    if (x == 1.0f) return 0.0;
    return kLowPassBase * static_cast<double>(::powf(kLowPassRange, x));
}

} // namespace zel::law
