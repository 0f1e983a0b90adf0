// The command-line reader's rules: values, "--", toolkit options, operands as given.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/os/os_cmdline.h"

namespace
{
const OS_Option ourOptions[] = {{"--check", false}, {"--select", true}, {"-v", false}};
const OS_CommandLine ourLine = {"tool", "usage: tool [--check] [--select NAME] [-v] FILE...\n", ourOptions, 3, false};

int Read(std::vector<std::string> anArguments, OS_Arguments* anOut, const OS_CommandLine& aLine = ourLine)
{
    // Kept until the next call: the operands point into the line.
    static std::vector<std::string> ourKeep;
    ourKeep = std::move(anArguments);
    ourKeep.insert(ourKeep.begin(), "tool");
    std::vector<char*> locArgv;
    for (std::string& locArgument : ourKeep)
        locArgv.push_back(locArgument.data());
    locArgv.push_back(nullptr);
    return OS_ReadCommandLine(aLine, int(ourKeep.size()), locArgv.data(), anOut);
}
} // namespace

TEST(OSCommandLine, ReadsOptionsValuesAndOperandsAsGiven)
{
    OS_Arguments a;
    ASSERT_EQ(Read({"a  b.sdf", "--select", "army", "-v", "-", "--select=tank", "--", "--check", "-x"}, &a),
              OS_COMMAND_LINE_GO_ON);
    ASSERT_EQ(a.myOperands.size(), 4u);
    EXPECT_STREQ(a.myOperands[0], "a  b.sdf");
    EXPECT_STREQ(a.myOperands[1], "-");
    EXPECT_STREQ(a.myOperands[2], "--check");
    EXPECT_STREQ(a.myOperands[3], "-x");
    EXPECT_TRUE(a.Has("-v"));
    EXPECT_FALSE(a.Has("--check"));
    EXPECT_STREQ(a.Get("--select"), "tank");
}

TEST(OSCommandLine, RefusesUnknownOptionsMissingValuesAndValuesOfFlags)
{
    OS_Arguments a;
    for (const std::vector<std::string>& locLine :
         std::vector<std::vector<std::string>>{{"--bogus"}, {"-x", "file"}, {"file", "--select"}, {"--check=yes"},
                                               {"-platform", "offscreen"}})
    {
        SCOPED_TRACE(locLine[0]);
        testing::internal::CaptureStderr();
        testing::internal::CaptureStdout();
        EXPECT_EQ(Read(locLine, &a), OS_EXIT_USAGE);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
        const std::string locError = testing::internal::GetCapturedStderr();
        EXPECT_EQ(locError.rfind("tool: ", 0), 0u) << locError;
        EXPECT_NE(locError.find("usage: tool"), std::string::npos) << locError;
    }
}

TEST(OSCommandLine, HelpWinsAndToolkitOptionsAreLeftToTheToolkit)
{
    OS_Arguments a;
    testing::internal::CaptureStdout();
    EXPECT_EQ(Read({"file", "-h", "--bogus"}, &a), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), ourLine.myUsage);

    OS_CommandLine locWindowed = ourLine;
    locWindowed.myToolkitOptionsFlag = true;
    ASSERT_EQ(Read({"-platform", "offscreen", "-reverse", "file", "-style=fusion"}, &a, locWindowed),
              OS_COMMAND_LINE_GO_ON);
    ASSERT_EQ(a.myOperands.size(), 1u);
    EXPECT_STREQ(a.myOperands[0], "file");
    EXPECT_TRUE(a.myOptions.empty());
}
