// vortan driving the logging test plug-in: the order of the host's requests,
// its answers to the plug-in, the pins, blocks, timed parameter changes, MIDI
// events and the audio path.
#include "VortanRun.h"
#include "WavFile.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>

namespace zel::vortan::test {
namespace {

class ProbeHost : public ::testing::Test {
protected:
    // A mono or stereo 16-bit ramp-like signal of `frames` frames at 48 kHz,
    // small enough that doubling it stays below full scale.
    std::string writeInput(int channels, int frames) {
        WavData data;
        data.channels = channels;
        data.sampleRate = 48000;
        data.bitsPerSample = 16;
        for (int i = 0; i < frames; ++i) {
            for (int c = 0; c < channels; ++c) {
                data.samples.push_back(((i * 37 + c * 11) % 200 - 100) / 400.0);
            }
        }
        const std::string path = scratch.file("in.wav");
        writeWav(path, data);
        input = readWav(path); // as quantized to 16 bits
        return path;
    }

    RunResult render(const std::vector<std::string>& options) {
        std::vector<std::string> arguments{"render", probePluginPath(), scratch.file("in.wav"),
                                           scratch.file("out.wav")};
        arguments.insert(arguments.end(), options.begin(), options.end());
        return runVortan(arguments, {"VORTAN_PROBE_LOG=" + log()});
    }

    std::string log() const { return scratch.file("probe.log"); }
    std::vector<std::string> logLines() const { return lines(readText(log())); }
    std::vector<std::string> processLines() const {
        std::vector<std::string> result;
        for (const std::string& line : logLines()) {
            if (line.rfind("process ", 0) == 0) result.push_back(line);
        }
        return result;
    }
    // Position of the first log line starting with `prefix`, or -1.
    long indexOf(const std::string& prefix) const {
        const auto all = logLines();
        for (size_t i = 0; i < all.size(); ++i) {
            if (all[i].rfind(prefix, 0) == 0) return static_cast<long>(i);
        }
        return -1;
    }

    ScratchDirectory scratch;
    WavData input;
};

TEST_F(ProbeHost, DrivesThePluginInTheOrderOfADaw) {
    writeInput(1, 1000);
    const RunResult run = render({"--block", "256", "--set", "Gain=0.25"});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::vector<std::string> order = {
        "entry version=2400", "open",           "setSampleRate 48000",
        "setBlockSize 256",   "speakers 1/2",   "setParameter 0 0.250000",
        "mainsChanged 1",     "startProcess",   "process float",
        "stopProcess",        "mainsChanged 0", "close"};
    long previous = -1;
    for (const std::string& step : order) {
        const long at = indexOf(step);
        EXPECT_GT(at, previous) << step << " missing or out of order";
        previous = at;
    }
    const auto all = logLines();
    EXPECT_EQ(all.back(), "close");
    EXPECT_EQ(std::count(all.begin(), all.end(), "mainsChanged 1"), 1);
}

TEST_F(ProbeHost, AnswersThePluginsQuestionsAsAHost) {
    writeInput(1, 100);
    ASSERT_EQ(render({}).status, 0);
    const auto all = logLines();
    const auto has = [&](const std::string& line) {
        return std::find(all.begin(), all.end(), line) != all.end();
    };
    EXPECT_TRUE(has("host vendor=Zel Vortan project product=vortan vendorVersion=1000"));
    EXPECT_TRUE(has("host canDo sendVstEvents=1"));
    EXPECT_TRUE(has("host canDo sendVstMidiEvent=1"));
    EXPECT_TRUE(has("host canDo sizeWindow=0"));
    EXPECT_TRUE(has("host canDo nonsense=0"));
    EXPECT_TRUE(has("host currentId=0 idle=0"));
    EXPECT_TRUE(has("speakers 1/2 types 0/1")); // mono in, stereo out
}

TEST_F(ProbeHost, SplitsTheInputIntoBlocksAndReportsTheTransport) {
    writeInput(2, 1000);
    ASSERT_EQ(render({"--block", "256", "--out-channels", "1"}).status, 0);
    // Stereo in, mono out: both input pins connected, output pin 1 not.
    const std::vector<std::string> expected = {
        "process float frames=256 rate=48000 block=256 level=4 pins=00/01 pos=0 timeRate=48000 "
        "playing=1",
        "process float frames=256 rate=48000 block=256 level=4 pins=00/01 pos=256 timeRate=48000 "
        "playing=1",
        "process float frames=256 rate=48000 block=256 level=4 pins=00/01 pos=512 timeRate=48000 "
        "playing=1",
        "process float frames=232 rate=48000 block=256 level=4 pins=00/01 pos=768 timeRate=48000 "
        "playing=1"};
    EXPECT_EQ(processLines(), expected);
    EXPECT_GE(indexOf("speakers 2/1 types 1/0"), 0);
    const WavData out = readWav(scratch.file("out.wav"));
    EXPECT_EQ(out.channels, 1);
    EXPECT_EQ(out.frames(), 1000);
}

TEST_F(ProbeHost, TailAddsSilentFramesPastTheInput) {
    writeInput(1, 480);
    ASSERT_EQ(render({"--tail", "0.01", "--bits", "32f"}).status, 0);
    const WavData out = readWav(scratch.file("out.wav"));
    ASSERT_EQ(out.frames(), 960); // 480 + 0.01 s at 48 kHz
    for (int64_t i = 480; i < 960; ++i) EXPECT_EQ(out.at(i, 0), 0.0) << i;
}

TEST_F(ProbeHost, MonoInputReachesBothPluginInputsAndOutputs) {
    writeInput(1, 700);
    const RunResult run = render({"--set", "Gain=0.25", "--bits", "32f"});
    ASSERT_EQ(run.status, 0) << run.err;
    const WavData out = readWav(scratch.file("out.wav"));
    ASSERT_EQ(out.channels, 2);
    ASSERT_EQ(out.frames(), 700);
    EXPECT_TRUE(out.isFloat);
    for (int64_t i = 0; i < out.frames(); ++i) {
        // Gain 0.25 scales by 0.5, a power of two: exact in float for 16-bit input.
        EXPECT_EQ(out.at(i, 0), 0.5 * input.at(i, 0)) << i;
        EXPECT_EQ(out.at(i, 1), 0.5 * input.at(i, 0)) << i;
    }
}

TEST_F(ProbeHost, TimedChangeTakesEffectAtTheBlockWhereItsTimeFalls) {
    writeInput(2, 1024);
    // 0.01 s at 48 kHz is frame 480, inside the second block of 256 (256..511).
    const RunResult run = render({"--block", "256", "--at", "0.01", "Gain=1", "--bits", "32f"});
    ASSERT_EQ(run.status, 0) << run.err;
    const auto process = processLines();
    ASSERT_EQ(process.size(), 4u);
    const long change = indexOf("setParameter 0 1.000000");
    EXPECT_GT(change,
              indexOf("process float frames=256 rate=48000 block=256 level=4 pins=00/00 pos=0"));
    EXPECT_LT(change,
              indexOf("process float frames=256 rate=48000 block=256 level=4 pins=00/00 pos=256"));
    const WavData out = readWav(scratch.file("out.wav"));
    ASSERT_EQ(out.frames(), 1024);
    for (int64_t i = 0; i < 1024; ++i) {
        const double gain = i < 256 ? 1.0 : 2.0; // doubling is exact
        for (int c = 0; c < 2; ++c) EXPECT_EQ(out.at(i, c), gain * input.at(i, c)) << i;
    }
}

TEST_F(ProbeHost, ControlChangesArriveBeforeTheirBlockWithTheirOffset) {
    writeInput(1, 1024);
    const RunResult run = render({"--block", "256", "--cc", "0.01", "1", "7", "100", "--cc",
                                  "0.001", "16", "1", "127", "--automation"});
    ASSERT_EQ(run.status, 0) << run.err;
    // 0.001 s = frame 48 (block 0), 0.01 s = frame 480 (block 1, offset 224).
    const long first = indexOf("event status=191 data1=1 data2=127 delta=48 size=32");
    const long second = indexOf("event status=176 data1=7 data2=100 delta=224 size=32");
    ASSERT_GE(first, 0);
    ASSERT_GE(second, 0);
    EXPECT_LT(first,
              indexOf("process float frames=256 rate=48000 block=256 level=4 pins=01/00 pos=0"));
    EXPECT_GT(second,
              indexOf("process float frames=256 rate=48000 block=256 level=4 pins=01/00 pos=0"));
    EXPECT_LT(second,
              indexOf("process float frames=256 rate=48000 block=256 level=4 pins=01/00 pos=256"));
    // The probe reports each control change as automation of "Level"; the last wins.
    const auto out = lines(run.out);
    ASSERT_EQ(out.size(), 2u) << run.out;
    EXPECT_EQ(out[1], "automated 1 Level 0.787402");
}

TEST_F(ProbeHost, DoubleProcessingUsesTheDoubleEntry) {
    writeInput(2, 300);
    const RunResult run = render({"--double", "--bits", "32f", "--set", "Gain=0.25"});
    ASSERT_EQ(run.status, 0) << run.err;
    const auto process = processLines();
    ASSERT_EQ(process.size(), 1u);
    EXPECT_EQ(process[0].rfind("process double frames=300", 0), 0u) << process[0];
    const WavData out = readWav(scratch.file("out.wav"));
    for (int64_t i = 0; i < out.frames(); ++i) {
        for (int c = 0; c < 2; ++c) EXPECT_EQ(out.at(i, c), 0.5 * input.at(i, c)) << i;
    }
}

TEST_F(ProbeHost, SummaryLineDescribesTheRender) {
    writeInput(2, 4800);
    const RunResult run = render({"--set", "Gain=0.5", "--format", "flac", "--bits", "24"});
    ASSERT_EQ(run.status, 0) << run.err;
    const auto out = lines(run.out);
    ASSERT_EQ(out.size(), 1u);
    // The input's largest magnitude is 100/400 = 0.25, which is -12.0 dBFS; the
    // RMS depends on the pattern, so only its presence is checked.
    EXPECT_NE(out[0].find(": 0.10 s, 2 ch, 48000 Hz, FLAC 24-bit; peak -12.0 dBFS, RMS -"),
              std::string::npos)
        << out[0];
    EXPECT_NE(out[0].find("x real time"), std::string::npos) << out[0];
    EXPECT_TRUE(run.err.empty()) << run.err; // no progress bar when stderr is not a terminal
}

TEST_F(ProbeHost, InfoListsRecordParametersAndSettings) {
    const RunResult run =
        runVortan({"info", probePluginPath(), "--set", "Level=0.5", "--set", "2=0.25"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("Unique ID       'vPrb' (1984983650)"), std::string::npos) << run.out;
    EXPECT_NE(
        run.out.find("Flags           0x1010 effFlagsCanReplacing effFlagsCanDoubleReplacing"),
        std::string::npos);
    EXPECT_NE(run.out.find("Version         7"), std::string::npos);
    EXPECT_NE(run.out.find("Category        1 (effect)"), std::string::npos);
    EXPECT_NE(run.out.find("2in2out=1"), std::string::npos);
    EXPECT_NE(run.out.find("1in1out=0"), std::string::npos);
    EXPECT_NE(run.out.find("      1  Level            0.500000  0.50"), std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("      2  level            0.250000  0.25"), std::string::npos)
        << run.out;
}

TEST_F(ProbeHost, InfoAsJson) {
    const RunResult run = runVortan({"info", probePluginPath(), "--json"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out.front(), '{');
    EXPECT_NE(run.out.find("\"uniqueId\": \"vPrb\""), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("\"uniqueIdNumber\": 1984983650"), std::string::npos);
    EXPECT_NE(run.out.find("\"flagNames\": [\n    \"effFlagsCanReplacing\",\n    "
                           "\"effFlagsCanDoubleReplacing\"\n  ]"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("\"name\": \"Gain\""), std::string::npos);
    EXPECT_EQ(run.out.substr(run.out.size() - 2), "}\n");
}

TEST_F(ProbeHost, ParameterNamesMatchExactlyThenIgnoringCase) {
    writeInput(1, 100);
    EXPECT_EQ(render({"--set", "gain=0.5"}).status, 0);         // one caseless match
    const RunResult ambiguous = render({"--set", "LEVEL=0.5"}); // Level and level
    EXPECT_NE(ambiguous.status, 0);
    EXPECT_NE(ambiguous.err.find("ambiguous"), std::string::npos) << ambiguous.err;
}

} // namespace
} // namespace zel::vortan::test
