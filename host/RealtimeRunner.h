// Plays the built-in demo through a plug-in on a thread of its own, paced by
// the clock as a sound card would pace it (nothing is heard), so that an open
// editor's meters and animations move. The demo repeats until the runner stops.
#pragma once

#include "host/PluginInstance.h"

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

namespace zel::vortan {

constexpr double kRealtimeRate = 44100.0;
constexpr int32_t kRealtimeBlock = 512;

class RealtimeRunner {
public:
    // Renders the demo, sets the plug-in's rate, block size and channels (mono
    // in, stereo out), switches it on and starts the thread. Throws HostError
    // when the plug-in cannot process 32-bit float blocks.
    explicit RealtimeRunner(PluginInstance& plugin);
    ~RealtimeRunner(); // stop()
    RealtimeRunner(const RealtimeRunner&) = delete;
    RealtimeRunner& operator=(const RealtimeRunner&) = delete;

    // Ends the thread after its current block and switches the plug-in off.
    void stop();

    int64_t blocks() const { return blockCount.load(std::memory_order_relaxed); }
    // Blocks the thread started later than their time (it then catches up).
    int64_t lateBlocks() const { return lateCount.load(std::memory_order_relaxed); }
    float peak() const { return outputPeak.load(std::memory_order_relaxed); }

private:
    void run() noexcept;
    void fillInputs(int64_t position);

    PluginInstance& plugin;
    std::vector<float> demo; // one pass of the demo, looped
    std::vector<std::vector<float>> inputs;
    std::vector<std::vector<float>> outputs;
    std::vector<float*> inputPointers;
    std::vector<float*> outputPointers;
    std::atomic<bool> stopRequested = false;
    std::atomic<int64_t> blockCount = 0;
    std::atomic<int64_t> lateCount = 0;
    std::atomic<float> outputPeak = 0.0f;
    std::thread thread;
    bool running = false;
};

} // namespace zel::vortan
