#include "host/Renderer.h"

#include "host/HostError.h"
#include "host/MidiEventList.h"

#include <algorithm>
#include <chrono>
#include <cmath>

namespace zel::vortan {

namespace {

// Planar buffers for one block, as many as the plug-in announces.
template <typename Sample> struct PlanarBuffers {
    std::vector<std::vector<Sample>> channels;
    std::vector<Sample*> pointers;

    PlanarBuffers(int32_t count, int32_t frames) : channels(static_cast<size_t>(count)) {
        for (auto& channel : channels) {
            channel.assign(static_cast<size_t>(frames), Sample(0));
            pointers.push_back(channel.data());
        }
        if (pointers.empty()) pointers.push_back(nullptr);
    }
    void clear() {
        for (auto& channel : channels) std::fill(channel.begin(), channel.end(), Sample(0));
    }
};

template <typename Sample> class BlockRunner {
public:
    BlockRunner(PluginInstance& instance, int inChannels, int outChannels, int32_t block)
        : plugin(instance), sourceChannels(inChannels), outputChannels(outChannels),
          inputs(instance.inputCount(), block), outputs(instance.outputCount(), block) {}

    // Runs `frames` frames of `in` (interleaved, sourceChannels a frame) through
    // the plug-in into `out` (interleaved, outputChannels a frame).
    void run(const double* in, double* out, int32_t frames) {
        for (size_t c = 0; c < inputs.channels.size(); ++c) {
            const size_t from = std::min(c, static_cast<size_t>(sourceChannels - 1));
            Sample* target = inputs.channels[c].data();
            for (int32_t i = 0; i < frames; ++i) {
                target[i] = static_cast<Sample>(in[static_cast<size_t>(i) * sourceChannels + from]);
            }
        }
        outputs.clear();
        if constexpr (std::is_same_v<Sample, double>) {
            plugin.processDouble(inputs.pointers.data(), outputs.pointers.data(), frames);
        } else {
            plugin.process(inputs.pointers.data(), outputs.pointers.data(), frames);
        }
        const size_t available = outputs.channels.size();
        for (int c = 0; c < outputChannels; ++c) {
            const Sample* source =
                available == 0
                    ? nullptr
                    : outputs.channels[std::min(static_cast<size_t>(c), available - 1)].data();
            for (int32_t i = 0; i < frames; ++i) {
                out[static_cast<size_t>(i) * outputChannels + c] =
                    source != nullptr ? static_cast<double>(source[i]) : 0.0;
            }
        }
    }

private:
    PluginInstance& plugin;
    int sourceChannels;
    int outputChannels;
    PlanarBuffers<Sample> inputs;
    PlanarBuffers<Sample> outputs;
};

void measure(RenderStats& stats, const double* samples, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        const double s = samples[i];
        stats.peak = std::max(stats.peak, std::fabs(s));
        stats.sumSquares += s * s;
    }
}

template <typename Sample>
void renderBlocks(PluginInstance& plugin, AudioSource& source, AudioSink& sink,
                  const RenderPlan& plan, const ProgressCallback& progress, RenderStats& stats) {
    const int inChannels = source.channels();
    const int outChannels = plan.outputChannels;
    const int32_t block = plan.blockSize;
    BlockRunner<Sample> runner(plugin, inChannels, outChannels, block);
    std::vector<double> in(static_cast<size_t>(block) * inChannels);
    std::vector<double> out(static_cast<size_t>(block) * outChannels);
    MidiEventList midi;
    size_t nextParameter = 0;
    size_t nextController = 0;
    bool sourceEnded = false;
    using Clock = std::chrono::steady_clock;

    for (int64_t position = 0; position < plan.totalFrames;) {
        const int32_t frames =
            static_cast<int32_t>(std::min<int64_t>(block, plan.totalFrames - position));
        const int64_t got = sourceEnded ? 0 : source.read(in.data(), frames);
        sourceEnded = got < frames;
        std::fill(in.begin() + got * inChannels, in.end(), 0.0);

        const int64_t blockEnd = position + frames;
        const auto started = Clock::now();
        for (; nextParameter < plan.parameters.size() &&
               plan.parameters[nextParameter].frame < blockEnd;
             ++nextParameter) {
            const ScheduledParameter& change = plan.parameters[nextParameter];
            plugin.setParameter(change.index, change.value);
        }
        midi.clear();
        for (; nextController < plan.controllers.size() &&
               plan.controllers[nextController].frame < blockEnd;
             ++nextController) {
            const ScheduledController& cc = plan.controllers[nextController];
            const auto offset = static_cast<int32_t>(std::max<int64_t>(0, cc.frame - position));
            midi.addController(offset, cc.channel, cc.controller, cc.value);
        }
        if (!midi.empty()) plugin.sendEvents(midi.events());
        plugin.host().samplePosition = position;
        runner.run(in.data(), out.data(), frames);
        stats.processSeconds += std::chrono::duration<double>(Clock::now() - started).count();

        measure(stats, out.data(), static_cast<size_t>(frames) * outChannels);
        sink.write(out.data(), frames);
        position = blockEnd;
        stats.frames = position;
        if (progress) progress(position);
    }
}

template <typename Entry> std::vector<Entry> byFrame(std::vector<Entry> entries) {
    std::stable_sort(entries.begin(), entries.end(),
                     [](const Entry& a, const Entry& b) { return a.frame < b.frame; });
    return entries;
}

} // namespace

double RenderStats::rms() const {
    const double count = static_cast<double>(frames) * channels;
    return count > 0 ? std::sqrt(sumSquares / count) : 0.0;
}

RenderStats render(PluginInstance& plugin, AudioSource& source, AudioSink& sink,
                   const RenderPlan& plan, const ProgressCallback& progress) {
    if (plan.blockSize < 1 || plan.blockSize > kMaxBlockSize) {
        throw HostError("block size " + std::to_string(plan.blockSize) + " is outside 1.." +
                        std::to_string(kMaxBlockSize));
    }
    if (source.channels() < 1 || plan.outputChannels < 1) {
        throw HostError("a render needs at least one input and one output channel");
    }
    const int32_t flag =
        plan.useDouble ? vst::effFlagsCanDoubleReplacing : vst::effFlagsCanReplacing;
    if (!plugin.hasFlag(flag)) {
        throw HostError("plug-in '" + plugin.name() + "' cannot process " +
                        (plan.useDouble ? "64-bit" : "32-bit") + " float blocks");
    }
    RenderStats stats;
    stats.channels = plan.outputChannels;
    plugin.setSampleRate(source.sampleRate());
    plugin.setBlockSize(plan.blockSize);
    stats.arrangementAccepted =
        plugin.setSpeakerArrangement(source.channels(), plan.outputChannels);
    for (const ScheduledParameter& change : plan.initial) {
        plugin.setParameter(change.index, change.value);
    }
    if (plan.beforeStart) plan.beforeStart(plugin);

    RenderPlan ordered = plan;
    ordered.parameters = byFrame(plan.parameters);
    ordered.controllers = byFrame(plan.controllers);
    plugin.startProcessing();
    if (plan.useDouble) {
        renderBlocks<double>(plugin, source, sink, ordered, progress, stats);
    } else {
        renderBlocks<float>(plugin, source, sink, ordered, progress, stats);
    }
    plugin.stopProcessing();
    if (plan.afterStop) plan.afterStop(plugin);
    return stats;
}

} // namespace zel::vortan
