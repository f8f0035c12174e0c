// The option parser, number parsing and the render command line.
#include "host/CommandLine.h"
#include "host/HostError.h"
#include "host/RenderOptions.h"

#include <gtest/gtest.h>

namespace zel::vortan {
namespace {

std::vector<std::string> words(std::initializer_list<const char*> list) {
    return {list.begin(), list.end()};
}

TEST(CommandLine, OptionsApplyInOrderAndTheRestArePositional) {
    std::vector<std::string> seen;
    const std::array optionTable = {
        CommandOption{"--one", 1, "X", [&](auto a) { seen.push_back("one:" + a[0]); }},
        CommandOption{"--two", 2, "X Y",
                      [&](auto a) { seen.push_back("two:" + a[0] + "," + a[1]); }},
        CommandOption{"--flag", 0, "", [&](auto) { seen.push_back("flag"); }},
    };
    const auto args =
        words({"a", "--two", "x", "--one", "--flag", "b", "--one", "y", "-", "--", "--flag", "c"});
    const auto positionals = parseCommandLine(args, optionTable);
    // "--one" may take an argument that looks like an option; "-" is positional;
    // after "--" everything is.
    EXPECT_EQ(positionals, words({"a", "b", "-", "--flag", "c"}));
    EXPECT_EQ(seen, words({"two:x,--one", "flag", "one:y"}));
}

TEST(CommandLine, UnknownOptionsAndMissingArgumentsAreUsageErrors) {
    const std::array optionTable = {CommandOption{"--two", 2, "X Y", [](auto) {}}};
    try {
        parseCommandLine(words({"--three"}), optionTable);
        FAIL() << "no error";
    } catch (const UsageError& error) {
        EXPECT_STREQ(error.what(), "unknown option '--three'");
        EXPECT_EQ(error.exitStatus(), kExitUsage);
    }
    EXPECT_THROW(parseCommandLine(words({"-x"}), optionTable), UsageError);
    try {
        parseCommandLine(words({"--two", "1"}), optionTable);
        FAIL() << "no error";
    } catch (const UsageError& error) {
        EXPECT_STREQ(error.what(), "option --two needs X Y");
    }
}

TEST(CommandLine, NumbersMustBeWholeFiniteAndInRange) {
    EXPECT_EQ(parseNumber("0.25", "v"), 0.25);
    EXPECT_EQ(parseNumber("1e-3", "v"), 1e-3);
    EXPECT_EQ(parseNumber("-2", "v"), -2.0);
    for (const char* bad : {"", "1x", "x1", "0.5.5", "nan", "inf", "-inf", "1e999"}) {
        EXPECT_THROW(parseNumber(bad, "v"), UsageError) << bad;
    }
    EXPECT_EQ(parseNumberInRange("1", "v", 0.0, 1.0), 1.0);
    EXPECT_EQ(parseNumberInRange("0", "v", 0.0, 1.0), 0.0);
    EXPECT_THROW(parseNumberInRange("1.0000001", "v", 0.0, 1.0), UsageError);
    EXPECT_THROW(parseNumberInRange("-0.0000001", "v", 0.0, 1.0), UsageError);

    EXPECT_EQ(parseInteger("512", "n", 1, 1024), 512);
    EXPECT_EQ(parseInteger("1", "n", 1, 1024), 1);
    for (const char* bad : {"", "0", "1025", "1.0", "5 ", "0x10", "99999999999999999999"}) {
        EXPECT_THROW(parseInteger(bad, "n", 1, 1024), UsageError) << bad;
    }
}

TEST(CommandLine, AssignmentsSplitAtTheLastEquals) {
    const Assignment plain = parseAssignment("Lever=1");
    EXPECT_EQ(plain.name, "Lever");
    EXPECT_EQ(plain.value, "1");
    const Assignment nested = parseAssignment("A=B=0.5");
    EXPECT_EQ(nested.name, "A=B");
    EXPECT_EQ(nested.value, "0.5");
    for (const char* bad : {"Lever", "=1", "Lever=", "="}) {
        EXPECT_THROW(parseAssignment(bad), UsageError) << bad;
    }
}

TEST(RenderCommandLine, DefaultsAndTheDemoForm) {
    const RenderOptions demo = parseRenderOptions(words({"p.so", "out.wav"}));
    EXPECT_EQ(demo.plugin, "p.so");
    EXPECT_FALSE(demo.input.has_value());
    EXPECT_EQ(demo.output, "out.wav");
    EXPECT_EQ(demo.blockSize, 512);
    EXPECT_FALSE(demo.useDouble);
    EXPECT_EQ(demo.outputChannels, 2);
    EXPECT_EQ(demo.tailSeconds, 0.0);
    EXPECT_FALSE(demo.format || demo.samples || demo.rate);
    EXPECT_FALSE(demo.listAutomation);
}

TEST(RenderCommandLine, EveryOptionReachesItsField) {
    const RenderOptions o = parseRenderOptions(words({"--set",
                                                      "Lever=0.5",
                                                      "p.so",
                                                      "in.wav",
                                                      "--at",
                                                      "1.5",
                                                      "Bypass=1",
                                                      "--cc",
                                                      "2",
                                                      "16",
                                                      "64",
                                                      "127",
                                                      "out.wav",
                                                      "--block",
                                                      "64",
                                                      "--double",
                                                      "--out-channels",
                                                      "1",
                                                      "--tail",
                                                      "3",
                                                      "--format",
                                                      "flac",
                                                      "--bits",
                                                      "24",
                                                      "--rate",
                                                      "48000",
                                                      "--automation"}));
    EXPECT_EQ(o.plugin, "p.so");
    EXPECT_EQ(o.input.value_or(""), "in.wav");
    EXPECT_EQ(o.output, "out.wav");
    ASSERT_EQ(o.settings.size(), 1u);
    EXPECT_EQ(o.settings[0].name, "Lever");
    EXPECT_EQ(o.settings[0].value, 0.5f);
    ASSERT_EQ(o.timed.size(), 1u);
    EXPECT_EQ(o.timed[0].seconds, 1.5);
    EXPECT_EQ(o.timed[0].assignment.name, "Bypass");
    EXPECT_EQ(o.timed[0].assignment.value, 1.0f);
    ASSERT_EQ(o.controllers.size(), 1u);
    EXPECT_EQ(o.controllers[0].seconds, 2.0);
    EXPECT_EQ(o.controllers[0].channel, 16);
    EXPECT_EQ(o.controllers[0].controller, 64);
    EXPECT_EQ(o.controllers[0].value, 127);
    EXPECT_EQ(o.blockSize, 64);
    EXPECT_TRUE(o.useDouble);
    EXPECT_EQ(o.outputChannels, 1);
    EXPECT_EQ(o.tailSeconds, 3.0);
    EXPECT_EQ(o.format, FileFormat::flac);
    EXPECT_EQ(o.samples, SampleFormat::pcm24);
    EXPECT_EQ(o.rate, 48000.0);
    EXPECT_TRUE(o.listAutomation);
}

TEST(RenderCommandLine, PositionalCountsAreChecked) {
    EXPECT_THROW(parseRenderOptions(words({"p.so"})), UsageError);
    EXPECT_THROW(parseRenderOptions(words({})), UsageError);
    EXPECT_THROW(parseRenderOptions(words({"p.so", "a", "b", "c"})), UsageError);
    // An empty IN is a file name like any other, not the demo.
    const RenderOptions empty = parseRenderOptions(words({"p.so", "", "out.wav"}));
    EXPECT_EQ(empty.input.value_or("demo"), "");
}

} // namespace
} // namespace zel::vortan
