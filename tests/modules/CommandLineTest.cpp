// The options of the rack and of the progress events: what they set, what
// they go with, and the errors that name the option.
#include "CommandLine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

bool parse(std::vector<const char *> args, CommandLine &line, std::string &error)
{
    args.insert(args.begin(), "RavelinFwUpgrade");
    return parseCommandLine(static_cast<int>(args.size()), args.data(), line, error);
}

std::string refusal(std::vector<const char *> args)
{
    CommandLine line;
    std::string error;
    EXPECT_FALSE(parse(args, line, error));
    return error;
}

}  // namespace

TEST(CommandLine, AllTakesNoWaitProgressAndAFolderForTheTraces)
{
    CommandLine line;
    std::string error;
    ASSERT_TRUE(parse({"--all"}, line, error)) << error;
    EXPECT_EQ(line.mode, RunMode::All);
    EXPECT_TRUE(line.waitsForKey());
    EXPECT_EQ(line.logDir, "");

    ASSERT_TRUE(parse({"--log-dir", "/tmp/traces", "--all", "--no-wait", "--progress=json"}, line, error)) << error;
    EXPECT_EQ(line.mode, RunMode::All);
    EXPECT_EQ(line.logDir, "/tmp/traces");
    EXPECT_EQ(line.progress, ProgressFormat::Json);
    EXPECT_FALSE(line.waitsForKey());
}

TEST(CommandLine, JsonProgressMakesARunUnattendedWithoutAKeyWait)
{
    CommandLine line;
    std::string error;
    ASSERT_TRUE(parse({"--progress", "json"}, line, error)) << error;
    EXPECT_EQ(line.mode, RunMode::Update);
    EXPECT_TRUE(line.unattended());
    EXPECT_FALSE(line.waitsForKey());

    ASSERT_TRUE(parse({"--info", "--port", "3", "--progress", "console"}, line, error)) << error;
    EXPECT_EQ(line.progress, ProgressFormat::Console);
    EXPECT_TRUE(line.waitsForKey());
}

TEST(CommandLine, RackAndProgressOptionsAreRefusedWhereTheyDoNotFit)
{
    EXPECT_EQ(refusal({"--progress", "xml"}), "--progress takes \"console\" or \"json\", not \"xml\"");
    EXPECT_EQ(refusal({"--progress"}), "--progress needs a value");
    EXPECT_EQ(refusal({"--progress", "json", "--progress", "json"}), "--progress is given twice");
    EXPECT_EQ(refusal({"--all", "--log-dir="}), "--log-dir needs a folder");
    EXPECT_EQ(refusal({"--all", "--log-dir", "a", "--log-dir", "b"}), "--log-dir is given twice");
    EXPECT_EQ(refusal({"--log-dir", "a"}), "--log-dir goes with --all only");
    EXPECT_EQ(refusal({"--all", "--port", "3"}), "--port does not go with --all");
    EXPECT_EQ(refusal({"--all", "--baud", "9600"}), "--baud does not go with --all");
    EXPECT_EQ(refusal({"--all", "--info"}), "--info and --all cannot be given together");
    EXPECT_EQ(refusal({"--web-package", "--progress", "json"}), "--progress does not go with --web-package");
    EXPECT_EQ(refusal({"--all", "--all"}), "--all and --all cannot be given together");
}

TEST(CommandLine, HelpNamesTheRackAndTheEvents)
{
    const std::string help = usageText("RavelinFwUpgrade");
    for (const char *option : {"--all", "--log-dir DIR", "--progress json"}) {
        EXPECT_NE(help.find(option), std::string::npos) << option;
    }
}
