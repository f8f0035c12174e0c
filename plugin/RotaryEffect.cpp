#include "plugin/RotaryEffect.h"

#include "editor/RotaryEditor.h"
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
    : CPresetSystemEffect(host, kNumHostPrograms, kNumHostParameters),
      engine(std::make_unique<RotaryEngine>()), requests(engine->requests) {
    setInitialDelay(0);
    setNumInputs(kNumChannels);
    setNumOutputs(kNumChannels);
    canProcessReplacing();
    canDoubleReplacing();
    setUniqueID(kUniqueId);

    for (int32_t i = 0; i < 4; ++i)
        parameterValues.set(kFirstSpareParameter + i, kSpareDefaults[i]);

    // The engine runs at the host rate (never below 22050 Hz, the engine's own
    // floor) in "LowCPU" until the defaults say otherwise; its fixed filters are
    // configured by its constructor.
    engine->hostRate = getSampleRate();
    engine->amp.cpuMode = 0;
    readoutContext = std::make_unique<ReadoutContext>();
    // The editor object lives as long as the effect; the base deletes it.
    auto rotaryEditor = std::make_unique<RotaryEditor>(this);
    rotaryEditor->setReadoutContext(readoutContext.get());
    setEditor(std::move(rotaryEditor));

    // Every parameter's default, the factory programs, the template program
    // (and the stored defaults), then program 0.
    setDefaults();
    installFactoryPrograms();
    captureTemplateProgram();
    selectProgram(0);

    // Every rebuild once, directly, then a rate reset and a full reset pending
    // behind the fade.
    engine->runAllRebuildsDirectly();
    suspend();
    resume();
    suspend();
}

RotaryEffect::~RotaryEffect() = default;

void RotaryEffect::setSampleRate(float rate) {
    AudioEffectX::setSampleRate(rate);
    // Only stored: the engine reads it at its next rate reset or full reset.
    engine->hostRate = getSampleRate();
}

void RotaryEffect::suspend() {
    requests.rateReset = true;
    engine->requestFade();
}

void RotaryEffect::resume() {
    requests.fullReset = true;
    requests.hornUnit0 = true;
    requests.hornUnit1 = true;
    requests.hornCrossUnit = true;
    requests.drumMainUnit = true;
    requests.drumCrossUnit = true;
    requests.crossPaths = true;
    engine->requestFade();
    // No bypass glide after a resume: the level jumps to the target.
    bypassSnapRequest = true;
}

void RotaryEffect::processReplacing(float** inputs, float** outputs, int32_t frames) {
    processBlock(inputs, outputs, frames);
}

void RotaryEffect::processDoubleReplacing(double** inputs, double** outputs, int32_t frames) {
    processBlock(inputs, outputs, frames);
}

// One block: channel selection, block-start work (filter updates, one rebuild task
// while dry), then per frame the fade, the bypass glide, the engine and the
// crossfade with the dry input, then the fade's state transitions. The float entry
// rounds the engine's output to float before the crossfade, the double entry
// stays in double.
template <typename T> void RotaryEffect::processBlock(T** inputs, T** outputs, int32_t frames) {
    const bool inputPinConnected = isInputConnected(1);
    const bool outputPinConnected = isOutputConnected(1);
    startBlock();
    RotaryEngine& e = *engine;
    if (outputs == nullptr || outputs[0] == nullptr) {
        e.endBlock();
        return;
    }
    const int32_t count = std::max<int32_t>(frames, 0);
    const ChannelPair<T> out = selectChannels(outputs, outputPinConnected, stereoOutput);
    if (inputs == nullptr || inputs[0] == nullptr) {
        std::fill_n(out.right, count, T(0));
        std::fill_n(out.left, count, T(0));
        e.endBlock();
        return;
    }
    const ChannelPair<T> in = selectChannels(inputs, inputPinConnected, stereoInput);

    const double target = bypassTarget;
    const double coefficient = e.glideCoefficient();
    double level = bypassLevel;
    // The engine takes the block in runs; each run's input is read before any of
    // its output is written, so shared input and output buffers are safe.
    constexpr int32_t kRun = RotaryEngine::kRunFrames;
    double* const dryLeft = runBuffers->dryLeft.data();
    double* const dryRight = runBuffers->dryRight.data();
    double* const wetLeft = runBuffers->wetLeft.data();
    double* const wetRight = runBuffers->wetRight.data();
    for (int32_t start = 0; start < count; start += kRun) {
        const int32_t n = std::min(kRun, count - start);
        for (int32_t i = 0; i < n; ++i) {
            dryLeft[i] = in.left[start + i];
            dryRight[i] = in.right[start + i];
        }
        e.processFrames(dryLeft, dryRight, wetLeft, wetRight, n);
        if (level == target && flushDenormal(level) == level) {
            // The glide rests (each step gives the level back): the same mix with
            // one level.
            for (int32_t i = 0; i < n; ++i) {
                const double wetL = static_cast<T>(wetLeft[i]);
                const double wetR = static_cast<T>(wetRight[i]);
                out.right[start + i] = static_cast<T>((1.0 - level) * wetR + level * dryRight[i]);
                out.left[start + i] = static_cast<T>((1.0 - level) * wetL + level * dryLeft[i]);
            }
            continue;
        }
        for (int32_t i = 0; i < n; ++i) {
            level = flushDenormal(level + (target - level) * coefficient);
            const double wetL = static_cast<T>(wetLeft[i]);
            const double wetR = static_cast<T>(wetRight[i]);
            // Right first: when both outputs share a buffer the left result remains.
            out.right[start + i] = static_cast<T>((1.0 - level) * wetR + level * dryRight[i]);
            out.left[start + i] = static_cast<T>((1.0 - level) * wetL + level * dryLeft[i]);
        }
    }
    bypassLevel = level;
    e.endBlock();
}

void RotaryEffect::startBlock() {
    engine->startBlock();
    if (bypassSnapRequest) {
        bypassSnapRequest = false;
        bypassLevel = bypassTarget.load();
    }
}

} // namespace zel
