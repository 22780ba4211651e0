// The real program's options answer without an X server or a MIDI service,
// and a bad argument is refused before anything starts.

#include "tests/common/ChildProcess.h"

#include <gtest/gtest.h>

namespace {

constexpr const char* kUsage = "Usage: zimbrel [--help | --version | --canvas FILE] [--preset NAME]\n";

// No X server, and a JACK server name nobody runs: nothing to reach.
ToolResult RunProgram(const std::vector<std::string>& arguments)
{
    std::vector<std::string> argv { ZIMBREL_PROGRAM };
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return RunTool(argv, { { "DISPLAY", "" }, { "JACK_DEFAULT_SERVER", "zimbrel-nobody-runs-this" } });
}

TEST(CommandLineTest, VersionAndHelpAnswerOnStandardOutputWithoutAnyService)
{
    for (const char* option : { "--version", "-V" }) {
        const ToolResult result = RunProgram({ option });
        EXPECT_EQ(result.status, 0) << option << ": " << result.errors;
        EXPECT_EQ(result.output, std::string("zimbrel ") + ZIMBREL_VERSION + "\n") << option;
        EXPECT_EQ(result.errors, "") << option;
    }
    for (const char* option : { "--help", "-h" }) {
        const ToolResult result = RunProgram({ option });
        EXPECT_EQ(result.status, 0) << option << ": " << result.errors;
        EXPECT_EQ(result.output.rfind(kUsage, 0), 0u) << result.output;
        EXPECT_NE(result.output.find("ZIMBREL_MIDI"), std::string::npos) << result.output;
        EXPECT_EQ(result.errors, "") << option;
    }
}

TEST(CommandLineTest, BadArgumentsPrintUsageOnStandardErrorAndExitTwo)
{
    const struct {
        std::vector<std::string> arguments;
        std::string complaint;
    } cases[] = {
        { { "--bogus" }, "zimbrel: unknown option '--bogus'\n" },
        { { "-x", "--help" }, "zimbrel: unknown option '-x'\n" },
        { { "file.txt" }, "zimbrel: unexpected argument 'file.txt'\n" },
        { { "--version", "extra" }, "zimbrel: --version stands alone\n" },
        { { "--canvas" }, "zimbrel: --canvas needs a picture file\n" },
        { { "--canvas", "a.png", "b.png" }, "zimbrel: unexpected argument 'b.png'\n" },
        { { "--preset", "Stage", "--canvas", "a.png", "--help" }, "zimbrel: --help stands alone\n" },
        { { "--canvas", "a.png", "--preset", "" }, "zimbrel: --preset needs a preset name\n" },
        { { "--preset", "A", "--preset", "B" }, "zimbrel: --preset given twice\n" },
    };
    for (const auto& badCase : cases) {
        const ToolResult result = RunProgram(badCase.arguments);
        EXPECT_EQ(result.status, 2) << badCase.arguments[0];
        EXPECT_EQ(result.output, "") << badCase.arguments[0];
        EXPECT_EQ(result.errors, badCase.complaint + kUsage);
    }
}

TEST(CommandLineTest, WithoutOptionsTheProgramStartsAsBefore)
{
    // With no X server the program goes as far as looking for one, which
    // the options never do.
    const ToolResult result = RunProgram({});
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.errors.find("no X display"), std::string::npos) << result.errors;
}

} // namespace
