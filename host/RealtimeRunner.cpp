#include "host/RealtimeRunner.h"

#include "host/DemoSignal.h"
#include "host/HostError.h"

#include <algorithm>
#include <chrono>
#include <cmath>

namespace zel::vortan {

namespace {

using Clock = std::chrono::steady_clock;

// A thread that falls this far behind (a stalled machine, a debugger) starts
// again from now instead of rushing through the missed blocks.
constexpr auto kGiveUpCatchingUp = std::chrono::milliseconds(250);
constexpr int kOutputChannels = 2;

std::vector<float> renderDemo() {
    DemoSignal signal(kRealtimeRate);
    std::vector<double> samples(static_cast<size_t>(signal.frames()));
    const int64_t got = signal.read(samples.data(), signal.frames());
    return std::vector<float>(samples.begin(), samples.begin() + got);
}

std::vector<float*> pointersTo(std::vector<std::vector<float>>& channels) {
    std::vector<float*> pointers;
    for (auto& channel : channels) pointers.push_back(channel.data());
    if (pointers.empty()) pointers.push_back(nullptr);
    return pointers;
}

} // namespace

RealtimeRunner::RealtimeRunner(PluginInstance& instance)
    : plugin(instance), demo(renderDemo()),
      inputs(static_cast<size_t>(instance.inputCount()),
             std::vector<float>(static_cast<size_t>(kRealtimeBlock))),
      outputs(static_cast<size_t>(instance.outputCount()),
              std::vector<float>(static_cast<size_t>(kRealtimeBlock))),
      inputPointers(pointersTo(inputs)), outputPointers(pointersTo(outputs)) {
    if (!plugin.hasFlag(vst::effFlagsCanReplacing) || plugin.effect().processReplacing == nullptr) {
        throw HostError("plug-in '" + plugin.name() + "' cannot process 32-bit float blocks");
    }
    if (demo.empty()) throw HostError("the demo signal is empty");
    plugin.setSampleRate(kRealtimeRate);
    plugin.setBlockSize(kRealtimeBlock);
    plugin.setSpeakerArrangement(1, kOutputChannels);
    plugin.host().realtime = true;
    plugin.startProcessing();
    running = true;
    thread = std::thread([this] { run(); });
}

RealtimeRunner::~RealtimeRunner() {
    stop();
}

void RealtimeRunner::stop() {
    if (!running) return;
    stopRequested = true;
    if (thread.joinable()) thread.join();
    plugin.stopProcessing();
    plugin.host().realtime = false;
    running = false;
}

void RealtimeRunner::fillInputs(int64_t position) {
    const auto length = static_cast<int64_t>(demo.size());
    for (auto& channel : inputs) {
        for (size_t i = 0; i < channel.size(); ++i) {
            channel[i] = demo[static_cast<size_t>((position + static_cast<int64_t>(i)) % length)];
        }
    }
}

void RealtimeRunner::run() noexcept {
    const auto period = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(kRealtimeBlock / kRealtimeRate));
    auto due = Clock::now();
    int64_t position = 0;
    while (!stopRequested.load(std::memory_order_relaxed)) {
        fillInputs(position);
        plugin.host().samplePosition = position;
        // Cannot throw: the constructor checked for the process entry.
        plugin.process(inputPointers.data(), outputPointers.data(), kRealtimeBlock);
        float peak = outputPeak.load(std::memory_order_relaxed);
        for (const auto& channel : outputs) {
            for (float sample : channel) peak = std::max(peak, std::fabs(sample));
        }
        outputPeak.store(peak, std::memory_order_relaxed);
        position += kRealtimeBlock;
        blockCount.fetch_add(1, std::memory_order_relaxed);

        due += period;
        const auto now = Clock::now();
        if (now > due) {
            lateCount.fetch_add(1, std::memory_order_relaxed);
            if (now - due > kGiveUpCatchingUp) due = now;
        } else {
            std::this_thread::sleep_until(due);
        }
    }
}

} // namespace zel::vortan
