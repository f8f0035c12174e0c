// Every kind of bad input gets one line "vortan: ..." on stderr, a non-zero exit
// status, and leaves no output file (nor a temporary one) behind.
#include "VortanRun.h"
#include "WavFile.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <fstream>
#include <gtest/gtest.h>
#include <thread>

namespace zel::vortan::test {
namespace {

class BadInput : public ::testing::Test {
protected:
    void SetUp() override {
        WavData data;
        data.channels = 1;
        data.sampleRate = 44100;
        data.bitsPerSample = 16;
        data.samples.assign(4410, 0.125);
        writeWav(in(), data);
        inputs = directoryEntries(scratch.path());
    }

    std::string in() const { return scratch.file("in.wav"); }
    std::string out() const { return scratch.file("out.wav"); }

    void writeFile(const std::string& name, const std::string& bytes) {
        std::ofstream file(scratch.file(name), std::ios::binary);
        file << bytes;
        inputs = directoryEntries(scratch.path());
    }

    // Runs vortan and checks the failure contract; answers the message.
    std::string expectFailure(const std::vector<std::string>& arguments,
                              const std::vector<std::string>& environment = {}) {
        const RunResult run = runVortan(arguments, environment);
        EXPECT_NE(run.status, 0) << run.out;
        EXPECT_EQ(run.err.rfind("vortan: ", 0), 0u) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        EXPECT_EQ(directoryEntries(scratch.path()), inputs) << "something was left behind";
        return run.err;
    }

    std::vector<std::string> render(std::vector<std::string> options) {
        std::vector<std::string> arguments{"render", probePluginPath(), in(), out()};
        arguments.insert(arguments.end(), options.begin(), options.end());
        return arguments;
    }

    ScratchDirectory scratch;
    std::vector<std::string> inputs;
};

bool mentions(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST_F(BadInput, MissingUnreadableOrUnsupportedInputFiles) {
    EXPECT_TRUE(mentions(
        expectFailure({"render", probePluginPath(), scratch.file("none.wav"), out()}), "none.wav"));
    writeFile("noise.wav", "this is not audio at all");
    EXPECT_TRUE(
        mentions(expectFailure({"render", probePluginPath(), scratch.file("noise.wav"), out()}),
                 "noise.wav"));
    // A valid Sun/NeXT .au file (big-endian header, 16-bit PCM, mono, 8000 Hz):
    // readable audio, but not one of the formats vortan takes.
    std::string au = std::string(".snd") + std::string("\0\0\0\x18", 4) +
                     std::string("\0\0\0\x08", 4) + std::string("\0\0\0\x03", 4) +
                     std::string("\0\0\x1f\x40", 4) + std::string("\0\0\0\x01", 4) +
                     std::string(8, '\0');
    writeFile("tone.au", au);
    EXPECT_TRUE(mentions(
        expectFailure({"render", probePluginPath(), scratch.file("tone.au"), out()}), "format"));
    WavData surround;
    surround.channels = 3;
    surround.sampleRate = 44100;
    surround.bitsPerSample = 16;
    surround.samples.assign(300, 0.0);
    writeWav(scratch.file("three.wav"), surround);
    inputs = directoryEntries(scratch.path());
    EXPECT_TRUE(
        mentions(expectFailure({"render", probePluginPath(), scratch.file("three.wav"), out()}),
                 "3 channels"));
}

TEST_F(BadInput, PluginsThatCannotBeHosted) {
    EXPECT_TRUE(
        mentions(expectFailure({"render", scratch.file("none.so"), in(), out()}), "none.so"));
    writeFile("text.so", "not a library");
    EXPECT_TRUE(
        mentions(expectFailure({"render", scratch.file("text.so"), in(), out()}), "cannot load"));
    EXPECT_TRUE(mentions(expectFailure({"info", scratch.path()}), "directory"));
    const std::string noEntry =
        std::string(ZEL_BINARY_DIR) + "/tests/host/fixtures/vortan_noentry.so";
    EXPECT_TRUE(mentions(expectFailure({"render", noEntry, in(), out()}), "VSTPluginMain"));
    EXPECT_TRUE(mentions(expectFailure({"info", noEntry}), "VSTPluginMain"));
    EXPECT_TRUE(mentions(expectFailure(render({}), {"VORTAN_PROBE=null"}), "returned no effect"));
    EXPECT_TRUE(mentions(expectFailure({"info", probePluginPath()}, {"VORTAN_PROBE=null"}),
                         "returned no effect"));
    EXPECT_TRUE(mentions(expectFailure(render({}), {"VORTAN_PROBE=badmagic"}), "not a VST"));
    EXPECT_TRUE(mentions(expectFailure(render({"--double"}), {"VORTAN_PROBE=nodouble"}), "64-bit"));
}

TEST_F(BadInput, ParameterSettings) {
    EXPECT_TRUE(mentions(expectFailure(render({"--set", "Nothing=0.5"})), "unknown parameter"));
    EXPECT_TRUE(mentions(expectFailure({"info", probePluginPath(), "--set", "Nothing=0.5"}),
                         "unknown parameter"));
    EXPECT_TRUE(mentions(expectFailure(render({"--set", "Gain=loud"})), "not a number"));
    EXPECT_TRUE(mentions(expectFailure(render({"--set", "Gain=1.01"})), "outside 0..1"));
    EXPECT_TRUE(mentions(expectFailure(render({"--set", "Gain=-0.1"})), "outside 0..1"));
    EXPECT_TRUE(mentions(expectFailure(render({"--set", "Gain=nan"})), "Gain"));
    EXPECT_TRUE(mentions(expectFailure(render({"--set", "Gain"})), "NAME=VALUE"));
    EXPECT_TRUE(mentions(expectFailure(render({"--set", "3=0.5"})), "outside 0..2"));
    EXPECT_TRUE(mentions(expectFailure(render({"--at", "0.01", "Gain=2"})), "outside 0..1"));
    EXPECT_TRUE(
        mentions(expectFailure(render({"--at", "0.01", "Nothing=1"})), "unknown parameter"));
    EXPECT_TRUE(mentions(expectFailure(render({"--at", "soon", "Gain=1"})), "not a number"));
    EXPECT_TRUE(mentions(expectFailure(render({"--at", "5", "Gain=1"})), "past the end"));
}

TEST_F(BadInput, OutputThatWouldOverwriteTheInput) {
    EXPECT_TRUE(
        mentions(expectFailure({"render", probePluginPath(), in(), in()}), "is the input file"));
    const std::string sameByAnotherPath = scratch.path() + "/./../" +
                                          scratch.path().substr(scratch.path().rfind('/') + 1) +
                                          "/in.wav";
    EXPECT_TRUE(mentions(expectFailure({"render", probePluginPath(), in(), sameByAnotherPath}),
                         "is the input file"));
    EXPECT_TRUE(
        mentions(expectFailure({"render", probePluginPath(), in(), scratch.path()}), "directory"));
    EXPECT_TRUE(mentions(
        expectFailure({"render", probePluginPath(), in(), scratch.file("missing/out.wav")}),
        "cannot create"));
}

TEST_F(BadInput, CommandLineMistakes) {
    EXPECT_TRUE(mentions(expectFailure(render({"--loud"})), "unknown option '--loud'"));
    EXPECT_TRUE(mentions(expectFailure({"info", probePluginPath(), "--loud"}), "unknown option"));
    EXPECT_TRUE(mentions(expectFailure({"render", probePluginPath()}), "missing arguments"));
    EXPECT_TRUE(mentions(expectFailure({"render"}), "missing arguments"));
    EXPECT_TRUE(mentions(expectFailure({"info"}), "missing PLUGIN"));
    EXPECT_TRUE(mentions(expectFailure({"render", probePluginPath(), in(), out(), "extra"}),
                         "unexpected argument"));
    EXPECT_TRUE(mentions(expectFailure({"play"}), "unknown command"));
    EXPECT_TRUE(mentions(expectFailure(render({"--block"})), "--block needs N"));
    EXPECT_TRUE(mentions(expectFailure(render({"--cc", "0", "1", "7"})), "--cc needs"));
    EXPECT_TRUE(mentions(expectFailure(render({"--block", "0"})), "block size"));
    EXPECT_TRUE(mentions(expectFailure(render({"--block", "12x"})), "whole number"));
    EXPECT_TRUE(mentions(expectFailure(render({"--out-channels", "3"})), "output channels"));
    EXPECT_TRUE(mentions(expectFailure(render({"--tail", "-1"})), "tail"));
    EXPECT_TRUE(mentions(expectFailure(render({"--format", "mp3"})), "unknown format"));
    EXPECT_TRUE(mentions(expectFailure(render({"--bits", "8"})), "unknown bits"));
    EXPECT_TRUE(mentions(expectFailure(render({"--format", "flac", "--bits", "32f"})), "FLAC"));
    EXPECT_TRUE(mentions(expectFailure(render({"--cc", "0", "0", "7", "1"})), "MIDI channel"));
    EXPECT_TRUE(mentions(expectFailure(render({"--cc", "0", "17", "7", "1"})), "MIDI channel"));
    EXPECT_TRUE(mentions(expectFailure(render({"--cc", "0", "1", "128", "1"})), "controller"));
    EXPECT_TRUE(mentions(expectFailure(render({"--cc", "0", "1", "7", "128"})), "value"));
    EXPECT_TRUE(mentions(expectFailure(render({"--cc", "1", "1", "7", "1"})), "past the end"));
    EXPECT_TRUE(mentions(expectFailure(render({"--rate", "48000"})), "--rate"));
}

TEST_F(BadInput, AFailedWriteLeavesNothingBehind) {
    // The shell limits the file size to 64 blocks of 512 bytes and ignores the
    // signal, so the write fails part-way through the 20 s demo.
    const std::string script = "ulimit -f 64 && trap '' XFSZ && exec \"$0\" \"$@\"";
    std::vector<std::string> arguments = {"-c", script, vortanPath(), "render", probePluginPath(),
                                          out()};
    const RunResult run = runProgram("/bin/sh", arguments);
    EXPECT_NE(run.status, 0);
    EXPECT_EQ(run.err.rfind("vortan: cannot write", 0), 0u) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_EQ(directoryEntries(scratch.path()), inputs);
}

TEST_F(BadInput, AnInterruptedRenderLeavesNothingBehind) {
    // The slow probe takes over a second for the 20 s demo; stop it as soon as
    // its temporary output appears.
    RunningProgram run(vortanPath(), {"render", probePluginPath(), out()}, {"VORTAN_PROBE=slow"});
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (directoryEntries(scratch.path()) == inputs &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ASSERT_NE(directoryEntries(scratch.path()), inputs) << "the render never started writing";
    kill(run.pid(), SIGTERM);
    const RunResult result = run.wait();
    EXPECT_NE(result.status, 0);
    EXPECT_EQ(result.err, "vortan: interrupted; nothing written\n");
    EXPECT_EQ(directoryEntries(scratch.path()), inputs);
}

TEST(Usage, HelpInBothSpellingsAndWithoutCommand) {
    for (const char* help : {"help", "--help"}) {
        const RunResult run = runVortan({help});
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.out.rfind("usage: vortan COMMAND", 0), 0u) << run.out;
        EXPECT_NE(run.out.find("vortan render PLUGIN [IN] OUT [options]"), std::string::npos);
        EXPECT_TRUE(run.err.empty());
    }
    const RunResult bare = runVortan({});
    EXPECT_NE(bare.status, 0);
    EXPECT_EQ(bare.err.rfind("usage: vortan COMMAND", 0), 0u);
}

} // namespace
} // namespace zel::vortan::test
