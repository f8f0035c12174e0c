// The command line of `vortan render`, parsed and checked before any file or
// plug-in is touched.
#pragma once

#include "host/AudioFile.h"
#include "host/ParameterAssignment.h"
#include "host/PluginState.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace zel::vortan {

struct TimedAssignment {
    double seconds;
    ParameterAssignment assignment;
};

struct ControllerMessage {
    double seconds;
    int channel; // 1..16
    int controller;
    int value;
};

constexpr double kDefaultDemoRate = 44100.0;
constexpr double kMaxTailSeconds = 3600.0;

struct RenderOptions {
    std::string plugin;
    std::optional<std::string> input; // none: the built-in demo
    std::string output;
    std::vector<ParameterAssignment> settings;
    std::vector<TimedAssignment> timed;
    std::vector<ControllerMessage> controllers;
    int32_t blockSize = 512;
    bool useDouble = false;
    int outputChannels = 2;
    double tailSeconds = 0.0;
    std::optional<FileFormat> format;
    std::optional<SampleFormat> samples;
    std::optional<double> rate;
    bool listAutomation = false;
    StateOptions state;
};

// Throws UsageError for unknown options, malformed or out-of-range values and a
// wrong number of positional arguments.
RenderOptions parseRenderOptions(std::span<const std::string> arguments);

} // namespace zel::vortan
