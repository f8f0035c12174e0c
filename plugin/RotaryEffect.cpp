#include "plugin/RotaryEffect.h"

#include "plugin/PluginIdentity.h"

#include <algorithm>
#include <cmath>

namespace zel {
namespace {

// Values of the four spare parameters 31..34 at construction; they are stored
// and kept in programs but do not change the sound.
constexpr int32_t kFirstSpareParameter = 31;
constexpr float kSpareDefaults[] = {0.5f, 0.5f, 1.0f, 0.5f};

// Adding and subtracting a tiny constant turns a denormal value into zero.
inline double flushDenormal(double x) noexcept {
    constexpr double kGuard = 1e-12;
    x += kGuard;
    x -= kGuard;
    return x;
}

} // namespace

RotaryEffect::RotaryEffect(vst::HostCallback host)
    : CPresetSystemEffect(host, kNumHostPrograms, kNumHostParameters) {
    setInitialDelay(0);
    setNumInputs(kNumChannels);
    setNumOutputs(kNumChannels);
    canProcessReplacing();
    canDoubleReplacing();
    setUniqueID(kUniqueId);

    for (int32_t i = 0; i < 4; ++i)
        parameterValues.set(kFirstSpareParameter + i, kSpareDefaults[i]);

    readoutContext = std::make_unique<ReadoutContext>();

    updateBypassCoefficient();

    // Start with a rate reset and a full reset pending behind the fade.
    suspend();
    resume();
    suspend();
}

RotaryEffect::~RotaryEffect() = default;

void RotaryEffect::suspend() {
    requests.rateReset = true;
    requests.fade = true;
}

void RotaryEffect::resume() {
    requests.fullReset = true;
    requests.hornUnit0 = true;
    requests.hornUnit1 = true;
    requests.hornCrossUnit = true;
    requests.drumMainUnit = true;
    requests.drumCrossUnit = true;
    requests.crossPaths = true;
    requests.fade = true;
    // No bypass glide after a resume: the level jumps to the target.
    bypassSnapRequest = true;
}

void RotaryEffect::processReplacing(float** inputs, float** outputs, int32_t frames) {
    processBlock(inputs, outputs, frames);
}

void RotaryEffect::processDoubleReplacing(double** inputs, double** outputs, int32_t frames) {
    processBlock(inputs, outputs, frames);
}

// One block: channel selection, block-start work, then per frame the bypass glide,
// the wet signal and the crossfade with the dry input. The float entry rounds the
// wet signal to float before the crossfade, the double entry stays in double.
template <typename T> void RotaryEffect::processBlock(T** inputs, T** outputs, int32_t frames) {
    const bool inputPinConnected = isInputConnected(1);
    const bool outputPinConnected = isOutputConnected(1);
    startBlock();
    if (outputs == nullptr || outputs[0] == nullptr) return;
    const int32_t count = std::max<int32_t>(frames, 0);
    const ChannelPair<T> out = selectChannels(outputs, outputPinConnected, stereoOutput);
    if (inputs == nullptr || inputs[0] == nullptr) {
        std::fill_n(out.right, count, T(0));
        std::fill_n(out.left, count, T(0));
        return;
    }
    const ChannelPair<T> in = selectChannels(inputs, inputPinConnected, stereoInput);

    const double target = bypassTarget;
    const double coefficient = bypassCoefficient;
    double level = bypassLevel;
    for (int32_t i = 0; i < count; ++i) {
        level = flushDenormal(level + (target - level) * coefficient);
        const double dryLeft = in.left[i];
        const double dryRight = in.right[i];
        double wetLeft = 0.0;
        double wetRight = 0.0;
        processSamplePlaceholder(dryLeft, dryRight, wetLeft, wetRight);
        const double wetL = static_cast<T>(wetLeft);
        const double wetR = static_cast<T>(wetRight);
        // Right first: when both outputs share a buffer the left result remains.
        out.right[i] = static_cast<T>((1.0 - level) * wetR + level * dryRight);
        out.left[i] = static_cast<T>((1.0 - level) * wetL + level * dryLeft);
    }
    bypassLevel = level;
}

void RotaryEffect::startBlock() {
    handleRequestsPlaceholder();
    if (bypassSnapRequest) {
        bypassSnapRequest = false;
        bypassLevel = bypassTarget.load();
    }
}

// c20 = 1 - exp(-1 / (host rate * 0.02)), the 0.02 s taken in single precision.
void RotaryEffect::updateBypassCoefficient() {
    const double rate = getSampleRate();
    bypassCoefficient = 1.0 - std::exp(-1.0 / (rate * static_cast<float>(kBypassGlideSeconds)));
}

// PLACEHOLDER until the engine's fade state machine takes the requests over: a
// full reset only re-reads the host rate for the bypass glide.
void RotaryEffect::handleRequestsPlaceholder() {
    if (requests.fullReset) {
        requests.fullReset = false;
        updateBypassCoefficient();
    }
}

// PLACEHOLDER for the engine's processSample: the wet signal is the mono sum.
void RotaryEffect::processSamplePlaceholder(double in0, double in1, double& out0,
                                            double& out1) const {
    const double mono = (in0 + in1) * 0.5;
    out0 = mono;
    out1 = mono;
}

} // namespace zel
