// The render loop: feeds a source through a plug-in block by block, applying
// scheduled parameter changes and MIDI control changes before the block in
// which their time falls, and writes the plug-in's output to a sink.
#pragma once

#include "host/AudioStream.h"
#include "host/PluginInstance.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace zel::vortan {

constexpr int32_t kMaxBlockSize = 1 << 16;

struct ScheduledParameter {
    int64_t frame; // applied before the block that contains this frame
    int32_t index;
    float value;
};

struct ScheduledController {
    int64_t frame; // sent before the block that contains this frame
    int channel;   // 1..16
    int controller;
    int value;
};

struct RenderPlan {
    int32_t blockSize = 512;
    bool useDouble = false; // processDoubleReplacing instead of processReplacing
    int outputChannels = 2;
    int64_t totalFrames = 0;                 // the source's frames plus the tail
    std::vector<ScheduledParameter> initial; // set before processing starts
    std::vector<ScheduledParameter> parameters;
    std::vector<ScheduledController> controllers;
    // Called after the rate, block size, arrangement and initial values are set,
    // before processing starts; and after processing has stopped.
    std::function<void(PluginInstance&)> beforeStart;
    std::function<void(PluginInstance&)> afterStop;
};

struct RenderStats {
    int64_t frames = 0;
    int channels = 0;
    double peak = 0.0;       // largest absolute output sample
    double sumSquares = 0.0; // over every output sample
    double processSeconds = 0.0;
    bool arrangementAccepted = false;

    double rms() const;
};

using ProgressCallback = std::function<void(int64_t framesDone)>;

// Drives an opened instance through one render: rate, block size, speaker
// arrangement (source channels in, plan.outputChannels out), initial values,
// start, the blocks, stop. Plug-in inputs beyond the source's channels carry a
// copy of its last channel; output channels beyond the plug-in's outputs a copy
// of its last output.
RenderStats render(PluginInstance& plugin, AudioSource& source, AudioSink& sink,
                   const RenderPlan& plan, const ProgressCallback& progress = {});

} // namespace zel::vortan
