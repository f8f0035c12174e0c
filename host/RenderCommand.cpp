// vortan render PLUGIN [IN] OUT [options]
#include "host/AudioFile.h"
#include "host/AutomationReport.h"
#include "host/Commands.h"
#include "host/DemoSignal.h"
#include "host/HostError.h"
#include "host/Interruption.h"
#include "host/PluginState.h"
#include "host/Progress.h"
#include "host/RenderOptions.h"
#include "host/Renderer.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>

namespace zel::vortan {

namespace {

constexpr const char* kLeverName = "Lever";

std::string decibels(double level) {
    if (!(level > 0.0)) return "-inf dBFS";
    char text[32];
    std::snprintf(text, sizeof text, "%.1f dBFS", 20.0 * std::log10(level));
    return text;
}

std::string secondsText(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f s", seconds);
    return text;
}

int64_t frameAt(double seconds, double rate) {
    // The small allowance keeps times that are whole frames (0.1 s at 44100 Hz)
    // from falling one frame early through rounding of the product.
    return static_cast<int64_t>(std::floor(seconds * rate + 1e-6));
}

void checkFiles(const RenderOptions& options) {
    std::error_code error;
    if (std::filesystem::is_directory(options.output, error)) {
        throw HostError("output '" + options.output + "' is a directory");
    }
    if (options.input && sameFile(*options.input, options.output)) {
        throw HostError("output '" + options.output + "' is the input file");
    }
}

std::unique_ptr<AudioSource> openSource(const RenderOptions& options) {
    if (!options.input)
        return std::make_unique<DemoSignal>(options.rate.value_or(kDefaultDemoRate));
    auto reader = std::make_unique<AudioFileReader>(*options.input);
    if (options.rate && *options.rate != reader->sampleRate()) {
        throw UsageError("--rate applies to the demo; '" + *options.input + "' plays at " +
                         std::to_string(static_cast<int64_t>(reader->sampleRate())) + " Hz");
    }
    return reader;
}

OutputFormat outputFormat(const RenderOptions& options, const AudioSource& source) {
    const auto* reader = dynamic_cast<const AudioFileReader*>(&source);
    OutputFormat format =
        reader != nullptr ? reader->format() : OutputFormat{FileFormat::wav, SampleFormat::pcm24};
    if (options.format && *options.format != format.file) {
        format.file = *options.format;
        if (format.samples == SampleFormat::vorbis ||
            (format.file == FileFormat::flac && format.samples == SampleFormat::float32)) {
            format.samples = SampleFormat::pcm24;
        }
    }
    if (options.samples) {
        if (format.file == FileFormat::ogg) throw UsageError("--bits does not apply to Ogg output");
        format.samples = *options.samples;
    }
    return format;
}

RenderPlan makePlan(const RenderOptions& options, const PluginInstance& plugin,
                    const AudioSource& source) {
    const double rate = source.sampleRate();
    RenderPlan plan;
    plan.blockSize = options.blockSize;
    plan.useDouble = options.useDouble;
    plan.outputChannels = options.outputChannels;
    plan.totalFrames =
        source.frames() + static_cast<int64_t>(std::llround(options.tailSeconds * rate));
    const double length = static_cast<double>(plan.totalFrames) / rate;
    const auto checkTime = [&](double seconds, const char* option) {
        if (frameAt(seconds, rate) >= plan.totalFrames) {
            throw UsageError(std::string(option) + " " + secondsText(seconds) +
                             " is past the end of the render (" + secondsText(length) + ")");
        }
    };
    for (const ParameterAssignment& setting : options.settings) {
        plan.initial.push_back({0, findParameter(plugin, setting.name), setting.value});
    }
    if (!options.input) {
        const int32_t lever = findParameterByName(plugin, kLeverName);
        if (lever >= 0) {
            plan.parameters.push_back({frameAt(kDemoLeverFastSeconds, rate), lever, 1.0f});
            plan.parameters.push_back({frameAt(kDemoLeverSlowSeconds, rate), lever, 0.0f});
        }
    }
    for (const TimedAssignment& timed : options.timed) {
        checkTime(timed.seconds, "--at");
        plan.parameters.push_back({frameAt(timed.seconds, rate),
                                   findParameter(plugin, timed.assignment.name),
                                   timed.assignment.value});
    }
    for (const ControllerMessage& cc : options.controllers) {
        checkTime(cc.seconds, "--cc");
        plan.controllers.push_back(
            {frameAt(cc.seconds, rate), cc.channel, cc.controller, cc.value});
    }
    return plan;
}

void printSummary(std::ostream& out, const RenderOptions& options, const OutputFormat& format,
                  const RenderStats& stats, double rate) {
    const double seconds = static_cast<double>(stats.frames) / rate;
    char factor[48];
    if (stats.processSeconds > 0.0) {
        std::snprintf(factor, sizeof factor, "%.1fx real time", seconds / stats.processSeconds);
    } else {
        std::snprintf(factor, sizeof factor, "real-time factor not measurable");
    }
    out << options.output << ": " << secondsText(seconds) << ", " << stats.channels << " ch, "
        << static_cast<int64_t>(rate) << " Hz, " << describe(format) << "; peak "
        << decibels(stats.peak) << ", RMS " << decibels(stats.rms()) << "; " << factor << '\n';
}

} // namespace

void runRenderCommand(std::span<const std::string> arguments, std::ostream& out) {
    const RenderOptions options = parseRenderOptions(arguments);
    checkFiles(options);
    std::unique_ptr<AudioSource> source = openSource(options);
    const OutputFormat format = outputFormat(options, *source);

    PluginModule module(options.plugin);
    HostState host;
    PluginInstance plugin(module.entry(), host, options.plugin);
    plugin.open();
    applyState(plugin, options.state);
    RenderPlan plan = makePlan(options, plugin, *source);
    // The chunk as it stands when processing starts: the loaded state and the --set values.
    plan.beforeStart = [&](PluginInstance& instance) { saveState(instance, options.state); };
    if (plan.useDouble && !plugin.hasFlag(vst::effFlagsCanDoubleReplacing)) {
        throw HostError("plug-in '" + options.plugin +
                        "' cannot process 64-bit floats (--double needs processDoubleReplacing)");
    }

    const double rate = source->sampleRate();
    // Caught from before the temporary output exists, so no moment is left in
    // which a Ctrl-C would end the program with that file behind.
    InterruptionGuard interruption;
    AudioFileWriter writer(options.output, format, options.outputChannels, static_cast<int>(rate));
    Progress progress(plan.totalFrames, rate, progressWanted());
    const RenderStats stats = render(plugin, *source, writer, plan, [&](int64_t done) {
        if (interruptionRequested()) {
            progress.finish();
            throw HostError("interrupted; nothing written");
        }
        progress.update(done);
    });
    progress.finish();
    writer.commit();
    printSummary(out, options, format, stats, rate);
    if (options.listAutomation) printAutomation(out, plugin);
}

} // namespace zel::vortan
