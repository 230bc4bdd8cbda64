// The test-support helpers that other tests lean on to run programs.
#include "support/Files.h"
#include "support/Process.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <csignal>

namespace {

using std::chrono::milliseconds;

TEST(RunProcess, CapturesStatusAndBothStreams)
{
    ProcessResult r = runProcess({"sh", "-c", "printf out; printf err >&2; exit 3"});
    EXPECT_EQ(r.status, 3);
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.out, "out");
    EXPECT_EQ(r.err, "err");

    EXPECT_EQ(runProcess({"sh", "-c", "kill -TERM $$"}).status, -SIGTERM);
    EXPECT_THROW(runProcess({"/nonexistent/program"}), std::runtime_error);
}

TEST(RunProcess, FeedsStdinAndAddsEnvironment)
{
    EXPECT_EQ(runProcess({"cat"}, {}, std::string("typed\n")).out, "typed\n");
    EXPECT_EQ(runProcess({"cat"}).out, "") << "without a text, stdin is /dev/null";
    ProcessResult r =
        runProcess({"sh", "-c", "printf '%s/%s' \"$SUPPORT_A\" \"$HOME\""}, {{"SUPPORT_A", "x y"}, {"HOME", "/h"}});
    EXPECT_EQ(r.out, "x y//h");
    EXPECT_EQ(runProcess({"true"}, {}, std::string(1 << 20, 'z')).status, 0) << "a child that never reads stdin";
}

TEST(RunProcess, LargeOutputOnBothStreamsDoesNotDeadlock)
{
    ProcessResult r = runProcess({"sh", "-c", "head -c 3000000 /dev/zero; head -c 2000000 /dev/zero >&2"}, {},
                                 std::nullopt, std::chrono::seconds(20));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.size(), 3000000u);
    EXPECT_EQ(r.err.size(), 2000000u);
}

TEST(RunProcess, KillsAtTheTimeLimitAndDoesNotWaitForGrandchildren)
{
    auto begin = std::chrono::steady_clock::now();
    ProcessResult slow = runProcess({"sh", "-c", "printf started; sleep 10"}, {}, std::nullopt, milliseconds(300));
    EXPECT_TRUE(slow.timedOut);
    EXPECT_EQ(slow.status, -SIGKILL);
    EXPECT_EQ(slow.out, "started");

    ProcessResult detached = runProcess({"sh", "-c", "sleep 3 & printf done"});
    EXPECT_EQ(detached.out, "done");
    EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(2));
}

TEST(TempDirTest, IsRemovedWithItsContents)
{
    std::string path;
    {
        TempDir dir;
        path = dir.path();
        writeFile(dir.file("a"), std::string("\0\xff", 2));
        EXPECT_EQ(readFile(dir.file("a")), std::string("\0\xff", 2));
        ASSERT_EQ(runProcess({"mkdir", "-p", dir.file("b/c")}).status, 0);
        writeFile(dir.file("b/c/d"), "x");
    }
    EXPECT_FALSE(fileExists(path));
    EXPECT_THROW(readFile(path + "/a"), std::runtime_error);
}

}  // namespace
