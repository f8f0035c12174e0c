#include "params/ParameterProperties.h"

#include "params/ParameterTable.h"

#include <cstdio>

namespace zel {

namespace {

struct Steps {
    float step;
    float smallStep;
    float largeStep;
};

constexpr float kContinuousStep = 1.0f / 35.0f;
constexpr float kContinuousSmallStep = 1.0f / 70.0f;

constexpr Steps steps(Stepping stepping) {
    switch (stepping) {
    case Stepping::Switch:
        return {1.0f, 1.0f, 1.0f};
    case Stepping::Fifths:
        return {0.2f, 0.2f, 0.2f};
    case Stepping::Halves:
        return {0.5f, 0.5f, 0.5f};
    case Stepping::Quarters:
        return {0.25f, 0.25f, 0.25f};
    case Stepping::Continuous:
        break;
    }
    return {kContinuousStep, kContinuousSmallStep, kContinuousStep};
}

} // namespace

void fillParameterProperties(int index, vst::VstParameterProperties& properties) {
    const ParameterRow* row = parameterRow(index);
    const Stepping stepping = row ? row->stepping : Stepping::Continuous;
    const Steps s = steps(stepping);
    properties.stepFloat = s.step;
    properties.smallStepFloat = s.smallStep;
    properties.largeStepFloat = s.largeStep;
    properties.flags = vst::kVstParameterUsesFloatStep;
    if (stepping == Stepping::Switch) properties.flags |= vst::kVstParameterIsSwitch;
    const char* name = row ? row->name : "";
    std::snprintf(properties.label, sizeof properties.label, "%s", name);
    std::snprintf(properties.shortLabel, sizeof properties.shortLabel, "%.*s", kShortLabelLength,
                  name);
}

} // namespace zel
