// A validator's run: instance after instance is created, opened, given a random
// rate, switched on, fed blocks of random sizes in both precisions with MIDI
// and chunk round trips between them, while a second thread automates random
// parameters with values no host should send (NaN, infinities, out of range).
// Every output sample must be finite and bounded, every chunk accepted, the
// audio thread must not allocate, and no cycle may leave heap behind.
//
// ZEL_STRESS_CYCLES sets the number of cycles (default 12, a few seconds),
// ZEL_STRESS_SEED the first seed (each cycle prints its own), and
// ZEL_STRESS_EDITOR=1 adds the editor's effEditGetRect, effEditOpen, effEditIdle
// and effEditClose to every cycle (off by default: the editor opens no window
// without a host window yet).
#include "StressHost.h"

#include "plugin/EffectFactory.h"
#include "tests/AllocationCounter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <thread>
#include <vector>

namespace zel::test {
namespace {

constexpr int kDefaultCycles = 12;
constexpr unsigned kDefaultSeed = 20261207;
constexpr int kBlocksPerCycle = 48;
constexpr int32_t kMaxBlock = 4096;
constexpr double kMinRate = 22050.0;
constexpr double kMaxRate = 192000.0;
constexpr double kStandardRates[] = {22050, 32000, 44100, 48000, 88200, 96000, 176400, 192000};
// The input stays within ±0.5 and the processing is feed-forward (the cross
// paths, the room and the microphones feed nothing back into their sources). Its
// largest gains in series (input trim, the tone bands, the unit inputs, the
// microphone levels and make-up, the colour filters, the room return, each at
// most +12 dB) stay below +80 dB: a sample beyond this bound is a filter or
// recursion gone unstable, not a loud setting.
constexpr double kOutputBound = 1e4;

int environmentInt(const char* name, int fallback) {
    const char* text = std::getenv(name);
    return text == nullptr || *text == '\0' ? fallback : std::atoi(text);
}

// Block sizes from 1 to 4096 with every octave as likely as any other, so the
// short blocks that catch off-by-one faults come up often.
int32_t randomBlockSize(std::mt19937& rng) {
    std::uniform_real_distribution<double> octaves(0.0, std::log2(double(kMaxBlock)) + 1.0);
    return std::clamp<int32_t>(static_cast<int32_t>(std::exp2(octaves(rng))), 1, kMaxBlock);
}

double randomRate(std::mt19937& rng) {
    if (std::bernoulli_distribution(0.5)(rng))
        return kStandardRates[std::uniform_int_distribution<int>(0, 7)(rng)];
    return std::uniform_real_distribution<double>(kMinRate, kMaxRate)(rng);
}

// The values a careless host or a corrupted automation lane may send.
float randomParameterValue(std::mt19937& rng) {
    constexpr float kWild[] = {std::numeric_limits<float>::quiet_NaN(),
                               std::numeric_limits<float>::infinity(),
                               -std::numeric_limits<float>::infinity(),
                               -1.0f,
                               2.0f,
                               1e30f,
                               -1e30f,
                               1e-40f, // denormal
                               0.0f,
                               1.0f};
    if (std::bernoulli_distribution(0.6)(rng))
        return std::uniform_real_distribution<float>(0.0f, 1.0f)(rng);
    return kWild[std::uniform_int_distribution<int>(0, std::size(kWild) - 1)(rng)];
}

int32_t randomParameterIndex(std::mt19937& rng) {
    constexpr int32_t kOutside[] = {-1, -1000, 120, 121, 5000, std::numeric_limits<int32_t>::min()};
    const double pick = std::uniform_real_distribution<double>(0.0, 1.0)(rng);
    if (pick < 0.75) return std::uniform_int_distribution<int32_t>(0, 35)(rng);
    if (pick < 0.95) return std::uniform_int_distribution<int32_t>(36, 119)(rng);
    return kOutside[std::uniform_int_distribution<int>(0, std::size(kOutside) - 1)(rng)];
}

// The second thread: a host's automation and its user interface reading back.
class Automation {
public:
    Automation(vst::AEffect* effect, unsigned seed)
        : thread([this, effect, seed] { run(effect, seed); }) {}
    ~Automation() { stop(); }
    Automation(const Automation&) = delete;
    Automation& operator=(const Automation&) = delete;

    // Joins the thread; answers the number of parameter writes it made.
    long stop() {
        stopping = true;
        if (thread.joinable()) thread.join();
        return writes;
    }

private:
    void run(vst::AEffect* effect, unsigned seed) {
        std::mt19937 rng(seed);
        char text[64];
        while (!stopping.load(std::memory_order_relaxed)) {
            for (int i = 0; i < 8; ++i) {
                const int32_t index = randomParameterIndex(rng);
                effect->setParameter(effect, index, randomParameterValue(rng));
                ++writes;
                // What a host's parameter view reads back after a write.
                const float value = effect->getParameter(effect, index);
                if (index >= 0 && index < 36) {
                    EXPECT_TRUE(std::isfinite(value)) << index;
                }
                std::memset(text, 0, sizeof text);
                effect->dispatcher(effect, vst::effGetParamDisplay, index, 0, text, 0.0f);
                EXPECT_LT(std::strlen(text), sizeof text) << index;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(50));
        }
    }

    std::atomic<bool> stopping{false};
    long writes = 0;
    std::thread thread;
};

// The host's audio side: input and output buffers of both precisions.
struct AudioBuffers {
    std::vector<float> floats[4];
    std::vector<double> doubles[4];
    double phase = 0.0;
    std::mt19937 noise{1};

    AudioBuffers() {
        for (auto& b : floats) b.assign(kMaxBlock, 0.0f);
        for (auto& b : doubles) b.assign(kMaxBlock, 0.0);
    }

    // Two sines and a little noise within ±0.5, different on each channel.
    void fillInput(int32_t frames, double rate) {
        std::uniform_real_distribution<double> hiss(-0.05, 0.05);
        for (int32_t i = 0; i < frames; ++i) {
            phase += 2.0 * M_PI * 110.0 / rate;
            const double left = 0.3 * std::sin(phase) + 0.15 * std::sin(7.1 * phase) + hiss(noise);
            const double right = 0.3 * std::sin(1.5 * phase) + hiss(noise);
            doubles[0][i] = left;
            doubles[1][i] = right;
            floats[0][i] = static_cast<float>(left);
            floats[1][i] = static_cast<float>(right);
        }
        phase = std::fmod(phase, 2.0 * M_PI);
    }
};

struct CycleFigures {
    long blocks = 0;
    long frames = 0;
    long chunkRoundTrips = 0;
    long midiEvents = 0;
    long automationWrites = 0;
    long audioThreadAllocations = 0;
    long allocations = 0;
    long long peakHeapBytes = 0; // above the level before the cycle
    long long heapLeft = 0;      // held after the close beyond the level before
    double largestOutput = 0.0;
    bool clean = true; // no test failure during the cycle (whose messages take heap)
};

class StressCycle {
public:
    StressCycle(unsigned cycleSeed, AudioBuffers& buffers)
        : rng(cycleSeed), seed(cycleSeed), audio(buffers) {}

    CycleFigures run();

private:
    intptr_t dispatch(int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr,
                      float opt = 0.0f) {
        return effect->dispatcher(effect, opcode, index, value, ptr, opt);
    }
    void setUp();
    void switchRate();
    void processBlock();
    void sendMidi();
    void chunkRoundTrip();
    void restoredChunkIsTheSame();
    void checkOutput(const double* left, const double* right, int32_t frames, bool precision64);
    void tearDown();

    std::mt19937 rng;
    unsigned seed;
    AudioBuffers& audio;
    vst::AEffect* effect = nullptr;
    double rate = 44100.0;
    bool editorHook = environmentInt("ZEL_STRESS_EDITOR", 0) != 0;
    MidiBatch midi;
    CycleFigures figures;
};

void StressCycle::setUp() {
    effect = createEffectRecord(stressHostCallback);
    ASSERT_NE(effect, nullptr);
    EXPECT_EQ(dispatch(vst::effOpen), 0);
    if (editorHook) {
        vst::ERect* rect = nullptr;
        dispatch(vst::effEditGetRect, 0, 0, &rect);
        dispatch(vst::effEditOpen);
    }
    const int32_t inputs = std::uniform_int_distribution<int32_t>(1, 2)(rng);
    const int32_t outputs = std::uniform_int_distribution<int32_t>(1, 2)(rng);
    setStressPins(inputs, outputs);
    vst::VstSpeakerArrangement in = speakerArrangementOf(inputs);
    vst::VstSpeakerArrangement out = speakerArrangementOf(outputs);
    EXPECT_EQ(dispatch(vst::effSetSpeakerArrangement, 0, reinterpret_cast<intptr_t>(&in), &out), 1);
    dispatch(vst::effSetBlockSize, 0, kMaxBlock);
    switchRate();
}

// What a host does to change the rate: processing off, the new rate, on again.
void StressCycle::switchRate() {
    rate = randomRate(rng);
    dispatch(vst::effStopProcess);
    dispatch(vst::effMainsChanged, 0, 0);
    dispatch(vst::effSetSampleRate, 0, 0, nullptr, static_cast<float>(rate));
    dispatch(vst::effMainsChanged, 0, 1);
    dispatch(vst::effStartProcess);
}

void StressCycle::sendMidi() {
    midi.clear();
    const int count = std::uniform_int_distribution<int>(1, MidiBatch::kCapacity)(rng);
    std::uniform_int_distribution<int> byte(0, 127);
    constexpr int32_t kByteSizes[] = {32, 32, 24, 0, 16};
    for (int i = 0; i < count; ++i) {
        const int kind = std::uniform_int_distribution<int>(0, 5)(rng);
        const int channel = std::uniform_int_distribution<int>(0, 15)(rng);
        const int32_t byteSize = kByteSizes[std::uniform_int_distribution<int>(0, 4)(rng)];
        if (kind == 5) {
            midi.addSysEx();
            continue;
        }
        // Modulation wheel (twice as often), sustain pedal, note on, pitch bend.
        const int status = (kind == 3 ? 0x90 : kind == 4 ? 0xE0 : 0xB0) | channel;
        const int data1 = kind <= 1 ? 1 : kind == 2 ? 64 : byte(rng);
        midi.add(status, data1, byte(rng), byteSize);
    }
    EXPECT_EQ(dispatch(vst::effProcessEvents, 0, 0, midi.list()), 1);
    figures.midiEvents += count;
}

// A DAW saving the project and loading it again between two blocks.
void StressCycle::chunkRoundTrip() {
    void* data = nullptr;
    const intptr_t size = dispatch(vst::effGetChunk, 0, 0, &data);
    ASSERT_GT(size, 0);
    ASSERT_NE(data, nullptr);
    std::vector<uint8_t> saved(static_cast<const uint8_t*>(data),
                               static_cast<const uint8_t*>(data) + size);
    EXPECT_EQ(dispatch(vst::effSetChunk, 0, size, saved.data()), 0) << "seed " << seed;
    ++figures.chunkRoundTrips;
}

// With the automation quiet, a restored chunk gives back the same chunk. One
// restore comes first: a global parameter written by the automation while a
// restore wrote the same slots from the other thread may be left with two values
// among the programs, and the next program selection gives all of them one.
void StressCycle::restoredChunkIsTheSame() {
    chunkRoundTrip();
    void* data = nullptr;
    const intptr_t size = dispatch(vst::effGetChunk, 0, 0, &data);
    ASSERT_GT(size, 0);
    std::vector<uint8_t> saved(static_cast<const uint8_t*>(data),
                               static_cast<const uint8_t*>(data) + size);
    EXPECT_EQ(dispatch(vst::effSetChunk, 0, size, saved.data()), 0);
    void* again = nullptr;
    ASSERT_EQ(dispatch(vst::effGetChunk, 0, 0, &again), size);
    const auto* bytes = static_cast<const uint8_t*>(again);
    const auto differs = std::mismatch(saved.begin(), saved.end(), bytes);
    EXPECT_TRUE(differs.first == saved.end())
        << "seed " << seed << ": the restored chunk differs first at byte "
        << (differs.first - saved.begin());
}

void StressCycle::checkOutput(const double* left, const double* right, int32_t frames,
                              bool precision64) {
    for (int32_t i = 0; i < frames; ++i) {
        for (double y : {left[i], right[i]}) {
            if (!std::isfinite(y) || std::fabs(y) > kOutputBound) {
                ADD_FAILURE() << "seed " << seed << ": output " << y << " at frame " << i
                              << " of a " << frames << "-frame "
                              << (precision64 ? "double" : "float") << " block at " << rate
                              << " Hz";
                return;
            }
            figures.largestOutput = std::max(figures.largestOutput, std::fabs(y));
        }
    }
}

void StressCycle::processBlock() {
    const int32_t frames = randomBlockSize(rng);
    const bool precision64 = std::bernoulli_distribution(0.5)(rng);
    // Some hosts process in place: the output buffers are the input buffers.
    const bool inPlace = std::bernoulli_distribution(0.2)(rng);
    audio.fillInput(frames, rate);
    const int out = inPlace ? 0 : 2;
    long allocationsBefore = allocations.load();
    if (precision64) {
        double* inputs[2] = {audio.doubles[0].data(), audio.doubles[1].data()};
        double* outputs[2] = {audio.doubles[out].data(), audio.doubles[out + 1].data()};
        {
            CountAllocations audioThread;
            effect->processDoubleReplacing(effect, inputs, outputs, frames);
        }
        checkOutput(outputs[0], outputs[1], frames, true);
    } else {
        float* inputs[2] = {audio.floats[0].data(), audio.floats[1].data()};
        float* outputs[2] = {audio.floats[out].data(), audio.floats[out + 1].data()};
        {
            CountAllocations audioThread;
            effect->processReplacing(effect, inputs, outputs, frames);
        }
        std::vector<double>& left = audio.doubles[2];
        std::vector<double>& right = audio.doubles[3];
        std::copy_n(outputs[0], frames, left.begin());
        std::copy_n(outputs[1], frames, right.begin());
        checkOutput(left.data(), right.data(), frames, false);
    }
    figures.audioThreadAllocations += allocations.load() - allocationsBefore;
    ++figures.blocks;
    figures.frames += frames;
}

void StressCycle::tearDown() {
    dispatch(vst::effStopProcess);
    dispatch(vst::effMainsChanged, 0, 0);
    if (editorHook) dispatch(vst::effEditClose);
    EXPECT_EQ(dispatch(vst::effClose), 1);
    effect = nullptr;
}

CycleFigures StressCycle::run() {
    const long allocationsAtStart = allAllocations.load();
    const long long heapBefore = liveBytes.load();
    resetPeak();
    setUp();
    if (effect == nullptr) return figures;
    {
        Automation automation(effect, seed ^ 0x5EEDu);
        std::uniform_real_distribution<double> chance(0.0, 1.0);
        for (int b = 0; b < kBlocksPerCycle && !::testing::Test::HasFatalFailure(); ++b) {
            if (chance(rng) < 0.25) sendMidi();
            if (chance(rng) < 0.1) chunkRoundTrip();
            if (chance(rng) < 0.04) switchRate();
            if (editorHook) dispatch(vst::effEditIdle);
            // The MIDI events belong to the block that follows them; the list may
            // be reused only after it.
            processBlock();
        }
        figures.automationWrites = automation.stop();
    }
    restoredChunkIsTheSame();
    tearDown();
    figures.allocations = allAllocations.load() - allocationsAtStart;
    figures.peakHeapBytes = peakBytes.load() - heapBefore;
    figures.heapLeft = liveBytes.load() - heapBefore;
    return figures;
}

TEST(Stress, CyclesOfEverythingAHostDoesStayFiniteAndLeaveNoHeap) {
    const int cycles = std::max(1, environmentInt("ZEL_STRESS_CYCLES", kDefaultCycles));
    const auto firstSeed =
        static_cast<unsigned>(environmentInt("ZEL_STRESS_SEED", static_cast<int>(kDefaultSeed)));
    AudioBuffers buffers;
    std::vector<CycleFigures> all;
    all.reserve(static_cast<std::size_t>(cycles));
    for (int c = 0; c < cycles && !HasFailure(); ++c) {
        const unsigned seed = firstSeed + static_cast<unsigned>(c);
        SCOPED_TRACE("cycle seed " + std::to_string(seed));
        all.push_back(StressCycle(seed, buffers).run());
        all.back().clean = !HasFailure();
    }
    ASSERT_FALSE(all.empty());

    CycleFigures total;
    long fewestAllocations = all[0].allocations, mostAllocations = 0;
    long long largestPeak = 0;
    for (const CycleFigures& f : all) {
        total.blocks += f.blocks;
        total.frames += f.frames;
        total.chunkRoundTrips += f.chunkRoundTrips;
        total.midiEvents += f.midiEvents;
        total.automationWrites += f.automationWrites;
        total.audioThreadAllocations += f.audioThreadAllocations;
        total.largestOutput = std::max(total.largestOutput, f.largestOutput);
        fewestAllocations = std::min(fewestAllocations, f.allocations);
        mostAllocations = std::max(mostAllocations, f.allocations);
        largestPeak = std::max(largestPeak, f.peakHeapBytes);
    }
    // The first cycle may leave what lives as long as the program (function
    // statics); every later one must give back all it took.
    for (std::size_t c = 1; c < all.size(); ++c)
        if (all[c].clean) {
            EXPECT_EQ(all[c].heapLeft, 0) << "cycle " << c << " left heap behind";
        }
    EXPECT_EQ(total.audioThreadAllocations, 0);
    EXPECT_GT(total.automationWrites, 0);
    std::printf("stress: %zu cycles, %ld blocks, %ld frames, %ld chunk round trips, %ld MIDI "
                "events, %ld automation writes; largest output %.3f\n"
                "stress: per cycle %ld to %ld allocations, peak heap %lld bytes; the first "
                "cycle left %lld bytes, the others none\n",
                all.size(), total.blocks, total.frames, total.chunkRoundTrips, total.midiEvents,
                total.automationWrites, total.largestOutput, fewestAllocations, mostAllocations,
                largestPeak, all[0].heapLeft);
}

} // namespace
} // namespace zel::test
