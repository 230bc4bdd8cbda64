// The POSIX process backend that --all starts its per-port processes with:
// output and errors through one pipe, the null device as input, exit
// statuses, stopping a child that will not end, and no child left when the
// parent is killed outright.
#include "ChildProcess.h"
#include "Trace.h"

#include "support/Files.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

using namespace std::chrono_literals;

namespace {

// Reads the child to the end of its output.
std::string readAll(ChildProcess *child)
{
    std::string output;
    while (ChildProcess_Read(child, output))
        ChildProcess_WaitForOutput({child}, 1000);
    return output;
}

// Processes whose command line is exactly `argv`.
int countProcesses(const std::vector<std::string> &argv)
{
    std::string wanted;
    for (const std::string &arg : argv)
        wanted += arg + '\0';
    int found = 0;
    DIR *proc = opendir("/proc");
    while (dirent *process = proc ? readdir(proc) : nullptr) {
        if (std::atoi(process->d_name) <= 0)
            continue;
        try {
            found += readFile("/proc/" + std::string(process->d_name) + "/cmdline") == wanted ? 1 : 0;
        } catch (const std::exception &) {
        }
    }
    if (proc)
        closedir(proc);
    return found;
}

// A command line no other test runs.
std::vector<std::string> sleeper(const char *seconds) { return {"/bin/sleep", seconds}; }

}  // namespace

TEST(ChildProcess, OutputAndErrorsComeThroughOnePipeAndTheExitStatusAfter)
{
    std::string error;
    ChildProcess *child =
        ChildProcess_Start({"/bin/sh", "-c", "echo out; echo err >&2; cat; echo \"after $*\"; exit 3", "sh", "a b"},
                           error);
    ASSERT_NE(child, nullptr) << error;
    // "cat" meets the end of the null device at once instead of the test's input.
    EXPECT_EQ(readAll(child), "out\nerr\nafter a b\n");
    EXPECT_EQ(ChildProcess_Finish(child), 3);
}

// A file handed to the child open is the one it writes to, even when its
// name was swapped for a link to another file before the child opened it.
TEST(ChildProcess, APassedFileIsWrittenWhateverBecameOfItsName)
{
    TempDir folder;
    const std::string victim = folder.file("victim");
    writeFile(victim, "kept");
    std::string name;
    std::string error;
    FILE *passed = Trace_CreateNew(folder.file("trace.log"), name, error);
    ASSERT_NE(passed, nullptr) << error;
    ASSERT_EQ(std::remove(name.c_str()), 0);
    ASSERT_EQ(symlink(victim.c_str(), name.c_str()), 0);

    const std::string opened = ChildProcess_PassedFileName(name);
    ChildProcess *child = ChildProcess_Start({"/bin/sh", "-c", "echo written > \"$0\"", opened}, error, passed);
    ASSERT_NE(child, nullptr) << error;
    EXPECT_EQ(readAll(child), "");
    EXPECT_EQ(ChildProcess_Finish(child), 0);
    EXPECT_EQ(readFile(victim), "kept");
    EXPECT_EQ(readFile("/proc/self/fd/" + std::to_string(fileno(passed))), "written\n");
    fclose(passed);
}

TEST(ChildProcess, AProgramThatCannotStartSaysWhy)
{
    std::string error;
    ChildProcess *child = ChildProcess_Start({"/nonexistent/RavelinFwUpgrade"}, error);
    ASSERT_NE(child, nullptr) << error;
    EXPECT_EQ(readAll(child), "cannot start the program: No such file or directory\n");
    EXPECT_EQ(ChildProcess_Finish(child), 127);

    EXPECT_EQ(ChildProcess_Start({}, error), nullptr);
    EXPECT_EQ(error, "no program");
}

TEST(ChildProcess, StopEndsEvenAChildThatIgnoresTheTerminationRequest)
{
    std::string error;
    ChildProcess *polite = ChildProcess_Start(sleeper("3601"), error);
    ASSERT_NE(polite, nullptr) << error;
    ASSERT_TRUE(waitUntil([] { return countProcesses(sleeper("3601")) == 1; }, 5s));
    EXPECT_EQ(ChildProcess_Stop(polite), 128 + SIGTERM);
    EXPECT_EQ(countProcesses(sleeper("3601")), 0);

    ChildProcess *stubborn =
        ChildProcess_Start({"/bin/sh", "-c", "trap '' TERM; echo ready; exec /bin/sleep 3602"}, error);
    ASSERT_NE(stubborn, nullptr) << error;
    std::string output;
    ASSERT_TRUE(waitUntil(
        [&] {
            ChildProcess_Read(stubborn, output);
            return countProcesses(sleeper("3602")) == 1;
        },
        5s));
    EXPECT_EQ(ChildProcess_Stop(stubborn), 128 + SIGKILL);
    EXPECT_EQ(countProcesses(sleeper("3602")), 0);
}

// A child that closed its output but lingers is stopped, not waited for.
TEST(ChildProcess, FinishStopsAChildThatClosedItsOutputButLingers)
{
    std::string error;
    ChildProcess *child = ChildProcess_Start({"/bin/sh", "-c", "exec /bin/sleep 3603 >&- 2>&-"}, error);
    ASSERT_NE(child, nullptr) << error;
    EXPECT_EQ(readAll(child), "");
    EXPECT_EQ(ChildProcess_Finish(child), 128 + SIGTERM);
    EXPECT_EQ(countProcesses(sleeper("3603")), 0);
}

TEST(ChildProcess, ChildrenEndWithTheirParentWhenItIsKilledOutright)
{
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t parent = fork();
    ASSERT_GE(parent, 0);
    if (parent == 0) {
        std::string error;
        ChildProcess_Start(sleeper("3604"), error);
        ChildProcess_Start(sleeper("3605"), error);
        ssize_t ignored = write(ready[1], "x", 1);
        (void)ignored;
        pause();
        _exit(0);
    }
    close(ready[1]);
    char byte;
    ASSERT_EQ(read(ready[0], &byte, 1), 1);
    close(ready[0]);
    ASSERT_TRUE(waitUntil([] { return countProcesses(sleeper("3604")) + countProcesses(sleeper("3605")) == 2; }, 5s));

    kill(parent, SIGKILL);
    waitpid(parent, nullptr, 0);
    EXPECT_TRUE(waitUntil([] { return countProcesses(sleeper("3604")) + countProcesses(sleeper("3605")) == 0; }, 10s))
        << "a child outlived its killed parent";
}

// Ctrl-C reaches the parent alone: its children are in a process group of
// their own, and the parent's wait returns for it; once released, a request
// ends the parent again. The parent here is a
// forked copy of the test in a process group of its own, which a terminal's
// Ctrl-C would reach as a whole.
TEST(ChildProcess, AStopRequestEndsTheWaitSparesTheChildrenAndCanBeReleased)
{
    const pid_t parent = fork();
    ASSERT_GE(parent, 0);
    if (parent == 0) {
        setpgid(0, 0);
        std::string error;
        ChildProcess *child = ChildProcess_Start(sleeper("3606"), error);
        if (child == nullptr || !waitUntil([] { return countProcesses(sleeper("3606")) == 1; }, 5s))
            _exit(1);
        ChildProcess_CatchStopRequests();
        if (ChildProcess_StopRequested())
            _exit(2);
        kill(0, SIGINT);
        if (!ChildProcess_StopRequested())
            _exit(3);
        ChildProcess_WaitForOutput({child}, 24 * 3600 * 1000);
        if (countProcesses(sleeper("3606")) != 1)
            _exit(4);
        if (ChildProcess_Stop(child) != 128 + SIGTERM)
            _exit(5);
        // Released, a request ends the process as it would have at first.
        ChildProcess_ReleaseStopRequests();
        raise(SIGTERM);
        _exit(6);
    }
    int raw = 0;
    ASSERT_EQ(waitpid(parent, &raw, 0), parent);
    EXPECT_FALSE(WIFEXITED(raw)) << "exit status " << WEXITSTATUS(raw)
                                 << " (1: no child, 2: a request before any, 3: the request not seen, 4: the child "
                                    "did not survive the request, 5: the child did not stop, 6: not ended by the "
                                    "released request)";
    EXPECT_TRUE(WIFSIGNALED(raw) && WTERMSIG(raw) == SIGTERM);
    EXPECT_EQ(countProcesses(sleeper("3606")), 0);
}

TEST(ChildProcess, OwnExecutableIsThisProgram)
{
    const std::string self = ChildProcess_OwnExecutable();
    ASSERT_FALSE(self.empty());
    EXPECT_EQ(self[0], '/');
    EXPECT_EQ(self.substr(self.rfind('/') + 1), "rack_child_process_test");
}
