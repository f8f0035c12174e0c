// vortan on real plug-ins: the Zel Vortan plug-in built beside the tests, and a
// foreign VST 2.4 plug-in from the system (Debian's Dragonfly reverbs) when
// installed.
#include "VortanRun.h"
#include "WavFile.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>

namespace zel::vortan::test {
namespace {

constexpr int kRate = 48000;

// A stereo or mono test signal: two detuned sines at 0.25 amplitude, 16-bit.
WavData testSignal(int channels, int frames) {
    WavData data;
    data.channels = channels;
    data.sampleRate = kRate;
    data.bitsPerSample = 16;
    for (int i = 0; i < frames; ++i) {
        for (int c = 0; c < channels; ++c) {
            const double t = static_cast<double>(i) / kRate;
            data.samples.push_back(0.25 * std::sin(2.0 * M_PI * (220.0 + 110.0 * c) * t));
        }
    }
    return data;
}

bool allFinite(const WavData& data) {
    return std::all_of(data.samples.begin(), data.samples.end(),
                       [](double s) { return std::isfinite(s); });
}

double peakOf(const WavData& data, int64_t fromFrame) {
    double peak = 0.0;
    for (int64_t i = fromFrame; i < data.frames(); ++i) {
        for (int c = 0; c < data.channels; ++c) peak = std::max(peak, std::fabs(data.at(i, c)));
    }
    return peak;
}

size_t countLines(const std::string& text, const std::string& prefix) {
    size_t count = 0;
    for (const std::string& line : lines(text)) count += line.rfind(prefix, 0) == 0 ? 1 : 0;
    return count;
}

class ZelVortan : public ::testing::Test {
protected:
    void SetUp() override {
        plugin = zelPluginPath();
        ASSERT_TRUE(fileExists(plugin))
            << "the Zel Vortan plug-in was not built: '" << plugin << "'";
    }
    std::string writeInput(int channels, int frames) {
        const std::string path = scratch.file("in.wav");
        writeWav(path, testSignal(channels, frames));
        input = readWav(path);
        return path;
    }

    std::string plugin;
    ScratchDirectory scratch;
    WavData input;
};

TEST_F(ZelVortan, InfoShowsTheEffectRecord) {
    const RunResult run = runVortan({"info", plugin});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("Unique ID       'ZvV1' (1517704753)"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("Parameters      36\n"), std::string::npos);
    for (const char* flag :
         {"effFlagsCanReplacing", "effFlagsProgramChunks", "effFlagsCanDoubleReplacing"}) {
        EXPECT_NE(run.out.find(flag), std::string::npos) << flag;
    }
    EXPECT_NE(run.out.find("Effect name     Zel Vortan\n"), std::string::npos);
    EXPECT_NE(run.out.find("receiveVstMidiEvent=1"), std::string::npos);
    // One row per host parameter, "Bypass" first and "MIDIchl" last.
    const auto rows = lines(run.out.substr(run.out.find("  index  name")));
    ASSERT_EQ(rows.size(), 37u);
    EXPECT_EQ(rows[1].substr(0, 22), "      0  Bypass       ");
    EXPECT_EQ(rows[36].substr(0, 22), "     35  MIDIchl      ");

    const RunResult json = runVortan({"info", plugin, "--json", "--set", "Bypass=1"});
    ASSERT_EQ(json.status, 0) << json.err;
    EXPECT_NE(json.out.find("\"uniqueId\": \"ZvV1\""), std::string::npos);
    EXPECT_NE(json.out.find("\"parameters\": 36"), std::string::npos);
    EXPECT_EQ(countLines(json.out, "      \"name\": "), 36u);
    EXPECT_NE(json.out.find("\"name\": \"Bypass\",\n      \"label\": \" \",\n      \"display\": "
                            "\"On\",\n      \"value\": 1,"),
              std::string::npos)
        << json.out;
}

TEST_F(ZelVortan, RendersTheDemoAndFilesInTheirLengthAndChannels) {
    const RunResult demo = runVortan({"render", plugin, scratch.file("demo.wav")});
    ASSERT_EQ(demo.status, 0) << demo.err;
    const WavData rendered = readWav(scratch.file("demo.wav"));
    EXPECT_EQ(rendered.channels, 2);
    EXPECT_EQ(rendered.sampleRate, 44100);
    EXPECT_EQ(rendered.frames(), 20 * 44100);
    EXPECT_TRUE(allFinite(rendered));
    EXPECT_GT(peakOf(rendered, 0), 0.01);

    const std::string in = writeInput(1, kRate / 2);
    for (const char* channels : {"1", "2"}) {
        for (bool precision64 : {false, true}) {
            std::vector<std::string> arguments{
                "render",         plugin,   in,       scratch.file("out.wav"),
                "--out-channels", channels, "--tail", "0.25"};
            if (precision64) arguments.push_back("--double");
            const RunResult run = runVortan(arguments);
            ASSERT_EQ(run.status, 0) << run.err;
            const WavData out = readWav(scratch.file("out.wav"));
            EXPECT_EQ(out.channels, std::stoi(channels));
            EXPECT_EQ(out.frames(), kRate / 2 + kRate / 4);
            EXPECT_EQ(out.bitsPerSample, 16); // the input's format
            EXPECT_TRUE(allFinite(out));
        }
    }
}

TEST_F(ZelVortan, TimedBypassMakesTheOutputTheInput) {
    for (int channels : {1, 2}) {
        const std::string in = writeInput(channels, kRate);
        for (bool precision64 : {false, true}) {
            std::vector<std::string> arguments{
                "render",   plugin,   in,   scratch.file("out.wav"), "--at", "0.1",
                "Bypass=1", "--bits", "32f"};
            if (precision64) arguments.push_back("--double");
            const RunResult run = runVortan(arguments);
            ASSERT_EQ(run.status, 0) << run.err;
            const WavData out = readWav(scratch.file("out.wav"));
            ASSERT_EQ(out.frames(), kRate);
            ASSERT_EQ(out.channels, 2);
            // The bypass glides with a 20 ms time constant from the block holding
            // 0.1 s; 0.5 s later the wet share is below e^-24, so what is left is the
            // rounding of the mix to 32-bit float, under 1e-7 at these levels.
            for (int64_t i = kRate * 6 / 10; i < kRate; ++i) {
                for (int c = 0; c < 2; ++c) {
                    const double dry = input.at(i, std::min(c, channels - 1));
                    ASSERT_NEAR(out.at(i, c), dry, 1e-6) << "frame " << i << " channel " << c;
                }
            }
        }
    }
}

TEST_F(ZelVortan, ControlChangesReachTheLever) {
    const std::string in = writeInput(2, kRate / 2);
    // "MIDIchl" at 1 listens on every channel; the modulation wheel moves "Lever".
    const RunResult wheel = runVortan({"render", plugin, in, scratch.file("out.wav"), "--set",
                                       "MIDIchl=1", "--cc", "0.1", "5", "1", "64", "--automation"});
    ASSERT_EQ(wheel.status, 0) << wheel.err;
    // 64 times the plug-in's 1/127 step, printed to six places.
    EXPECT_NE(wheel.out.find("\nautomated 2 Lever 0.503937\n"), std::string::npos) << wheel.out;

    const RunResult pedal =
        runVortan({"render", plugin, in, scratch.file("out.wav"), "--set", "MIDIchl=1", "--cc",
                   "0.1", "1", "64", "127", "--automation"});
    ASSERT_EQ(pedal.status, 0) << pedal.err;
    EXPECT_NE(pedal.out.find("\nautomated 2 Lever 1.000000\n"), std::string::npos) << pedal.out;

    const RunResult ignored =
        runVortan({"render", plugin, in, scratch.file("out.wav"), "--set", "MIDIchl=0", "--cc",
                   "0.1", "1", "1", "127", "--automation"});
    ASSERT_EQ(ignored.status, 0) << ignored.err;
    EXPECT_EQ(countLines(ignored.out, "automated 2 "), 0u) << ignored.out;
}

class ForeignPlugin : public ::testing::Test {
protected:
    void SetUp() override {
        plugin = foreignPluginPath();
        if (plugin.empty()) GTEST_SKIP() << "no Dragonfly reverb plug-in installed";
    }
    std::string plugin;
    ScratchDirectory scratch;
};

TEST_F(ForeignPlugin, InfoAndRenderWithTail) {
    const RunResult info = runVortan({"info", plugin});
    ASSERT_EQ(info.status, 0) << info.err;
    EXPECT_NE(info.out.find("Effect name     Dragonfly"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("effFlagsCanReplacing"), std::string::npos);
    const bool hasDouble = info.out.find("effFlagsCanDoubleReplacing") != std::string::npos;

    const std::string in = scratch.file("in.wav");
    WavData burst = testSignal(2, kRate / 4);
    writeWav(in, burst);
    const RunResult run = runVortan(
        {"render", plugin, in, scratch.file("out.flac"), "--tail", "1", "--format", "flac"});
    ASSERT_EQ(run.status, 0) << run.err;
    // Read the FLAC back by running it through the reverb once more into a WAV:
    // lengths and channels survive both passes.
    const RunResult back =
        runVortan({"render", plugin, scratch.file("out.flac"), scratch.file("back.wav"), "--format",
                   "wav", "--bits", "32f"});
    ASSERT_EQ(back.status, 0) << back.err;
    const WavData out = readWav(scratch.file("back.wav"));
    EXPECT_EQ(out.channels, 2);
    EXPECT_EQ(out.frames(), kRate / 4 + kRate);
    EXPECT_TRUE(allFinite(out));
    // A reverb rings on after its input stops.
    EXPECT_GT(peakOf(out, kRate / 4 + kRate / 10), 1e-4);

    const RunResult demo =
        runVortan({"render", plugin, scratch.file("demo.wav"), "--rate", "22050"});
    ASSERT_EQ(demo.status, 0) << demo.err;
    EXPECT_EQ(readWav(scratch.file("demo.wav")).frames(), 20 * 22050);

    if (!hasDouble) {
        const RunResult refused =
            runVortan({"render", plugin, in, scratch.file("double.wav"), "--double"});
        EXPECT_NE(refused.status, 0);
        EXPECT_NE(refused.err.find("64-bit"), std::string::npos) << refused.err;
        EXPECT_FALSE(fileExists(scratch.file("double.wav")));
    }
}

} // namespace
} // namespace zel::vortan::test
