// The engine's sound held against stored renders: the organ demo through the
// whole plug-in, the lever thrown to fast and back, for "Default" and two other
// factory programs, "LowCPU" and "Brilliant", 44.1, 48 and 96 kHz, 32-bit and
// 64-bit processing. Any change in how the engine computes its model has to keep
// each render within -80 dB of its reference (RMS of the difference against RMS
// of the reference).
//
// The references keep four windows of each render (1024 stereo frames each, as
// little-endian 32-bit floats) in tests/engine/references/. To write them anew
// from the engine as built, run this test with ZEL_WRITE_ENGINE_REFERENCES=1.
#include "host/DemoSignal.h"
#include "params/FactoryPrograms.h"
#include "plugin/RotaryEffect.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace zel {
namespace {

constexpr int kBlock = 512;
constexpr int kWindowFrames = 1024;
// Where the compared windows start (s): before the lever moves, while the rotors
// speed up, while they slow down, and near the slow speed again.
constexpr double kWindowSeconds[] = {0.3, 0.7, 1.1, 1.45};
constexpr int kWindows = 4;
constexpr double kLeverFastSeconds = 0.4;
constexpr double kLeverSlowSeconds = 1.0;
constexpr double kRenderSeconds = 1.5 + double(kWindowFrames) / 44100.0;
// The demo is mono; a fixed gain keeps its peaks where a host's would be.
constexpr double kInputGain = 0.5;
// -80 dB as an amplitude ratio.
constexpr double kMaxDifference = 1e-4;

// "Default", "L'147" and the third factory program (tube amplifier, a larger
// room, another Setup).
constexpr int kPrograms[] = {0, 2, 3};
constexpr double kRates[] = {44100.0, 48000.0, 96000.0};

struct Case {
    int program;
    int cpuMode;
    double rate;
    bool doublePrecision;

    std::string name() const {
        char text[64];
        std::snprintf(text, sizeof text, "p%d_%s_%d_%s", program, cpuMode ? "brilliant" : "lowcpu",
                      static_cast<int>(rate), doublePrecision ? "f64" : "f32");
        return text;
    }
};

std::vector<Case> allCases() {
    std::vector<Case> cases;
    for (int program : kPrograms)
        for (int mode : {0, 1})
            for (double rate : kRates)
                for (bool dbl : {false, true}) cases.push_back({program, mode, rate, dbl});
    return cases;
}

std::string referencePath(const Case& c) {
    return std::string(ZEL_SOURCE_DIR) + "/tests/engine/references/" + c.name() + ".f32";
}

int64_t frameAt(double seconds, double rate) {
    return static_cast<int64_t>(std::llround(seconds * rate));
}

// Renders one case and returns its windows, interleaved stereo.
std::vector<float> render(const Case& c) {
    auto fx = std::make_unique<RotaryEffect>(nullptr);
    fx->setSampleRate(static_cast<float>(c.rate));
    fx->selectProgram(c.program);
    fx->setParameter(hostParameterIndex("CPUmode"), static_cast<float>(c.cpuMode));
    const int32_t lever = hostParameterIndex("Lever");
    fx->setParameter(lever, 0.0f);
    fx->suspend();
    fx->resume();

    vortan::DemoSignal demo(c.rate);
    const int64_t total = frameAt(kRenderSeconds, c.rate);
    const int64_t leverFast = frameAt(kLeverFastSeconds, c.rate);
    const int64_t leverSlow = frameAt(kLeverSlowSeconds, c.rate);
    int64_t windowStart[kWindows];
    for (int w = 0; w < kWindows; ++w) windowStart[w] = frameAt(kWindowSeconds[w], c.rate);

    std::vector<float> windows(static_cast<size_t>(kWindows * kWindowFrames * 2));
    std::vector<double> inD(kBlock), outLD(kBlock), outRD(kBlock);
    std::vector<float> inF(kBlock), outLF(kBlock), outRF(kBlock);
    for (int64_t start = 0; start < total; start += kBlock) {
        if (start <= leverFast && leverFast < start + kBlock) fx->setParameter(lever, 1.0f);
        if (start <= leverSlow && leverSlow < start + kBlock) fx->setParameter(lever, 0.0f);
        for (int i = 0; i < kBlock; ++i) {
            inD[i] = kInputGain * demo.sampleAt(start + i);
            inF[i] = static_cast<float>(inD[i]);
        }
        const double* outL = outLD.data();
        const double* outR = outRD.data();
        if (c.doublePrecision) {
            double* in[2] = {inD.data(), inD.data()};
            double* out[2] = {outLD.data(), outRD.data()};
            fx->processDoubleReplacing(in, out, kBlock);
        } else {
            float* in[2] = {inF.data(), inF.data()};
            float* out[2] = {outLF.data(), outRF.data()};
            fx->processReplacing(in, out, kBlock);
            for (int i = 0; i < kBlock; ++i) {
                outLD[i] = outLF[i];
                outRD[i] = outRF[i];
            }
        }
        for (int i = 0; i < kBlock; ++i) {
            const int64_t frame = start + i;
            for (int w = 0; w < kWindows; ++w) {
                const int64_t k = frame - windowStart[w];
                if (k < 0 || k >= kWindowFrames) continue;
                const size_t at = static_cast<size_t>((w * kWindowFrames + k) * 2);
                windows[at] = static_cast<float>(outL[i]);
                windows[at + 1] = static_cast<float>(outR[i]);
            }
        }
    }
    return windows;
}

// Little-endian 32-bit floats on disk, as the machines we build for store them.
static_assert(sizeof(float) == 4);

bool writeReference(const Case& c, const std::vector<float>& samples) {
    std::ofstream out(referencePath(c), std::ios::binary);
    out.write(reinterpret_cast<const char*>(samples.data()),
              static_cast<std::streamsize>(samples.size() * sizeof(float)));
    return static_cast<bool>(out);
}

std::vector<float> readReference(const Case& c) {
    std::ifstream in(referencePath(c), std::ios::binary);
    std::vector<float> samples(static_cast<size_t>(kWindows * kWindowFrames * 2));
    in.read(reinterpret_cast<char*>(samples.data()),
            static_cast<std::streamsize>(samples.size() * sizeof(float)));
    if (in.gcount() != static_cast<std::streamsize>(samples.size() * sizeof(float)))
        samples.clear();
    return samples;
}

TEST(EngineReferences, EveryRenderStaysWithin80DbOfItsReference) {
    const bool writing = std::getenv("ZEL_WRITE_ENGINE_REFERENCES") != nullptr;
    double worst = 0.0;
    std::string worstName;
    for (const Case& c : allCases()) {
        const std::vector<float> now = render(c);
        if (writing) {
            EXPECT_TRUE(writeReference(c, now)) << c.name();
            continue;
        }
        const std::vector<float> reference = readReference(c);
        ASSERT_EQ(reference.size(), now.size()) << "missing or short reference " << c.name();
        double signal = 0.0, difference = 0.0;
        for (size_t i = 0; i < now.size(); ++i) {
            signal += double(reference[i]) * reference[i];
            const double d = double(now[i]) - reference[i];
            difference += d * d;
        }
        // A silent reference would make any difference pass.
        ASSERT_GT(signal, 1e-6 * static_cast<double>(now.size())) << c.name();
        const double ratio = std::sqrt(difference / signal);
        EXPECT_LE(ratio, kMaxDifference) << c.name() << ": " << 20.0 * std::log10(ratio) << " dB";
        if (ratio >= worst) {
            worst = ratio;
            worstName = c.name();
        }
    }
    if (!writing)
        std::printf("largest difference: %.1f dB (%s)\n",
                    worst > 0.0 ? 20.0 * std::log10(worst) : -999.0, worstName.c_str());
}

} // namespace
} // namespace zel
