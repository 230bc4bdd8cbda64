// The console layer with standard input on a pipe, on /dev/null, closed, and
// on a terminal (a pseudo-terminal). Each case runs in a child process whose
// descriptor 0 is the input under test; the child's alarm ends any hang.
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "Console.h"

namespace {

using Clock = std::chrono::steady_clock;

bool within(Clock::time_point start, int ms)
{
    return Clock::now() - start < std::chrono::milliseconds(ms);
}

// Starts body in a child whose standard input is stdinFd (-1: closed).
pid_t startWithStdin(int stdinFd, const std::function<int()> &body)
{
    fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        alarm(5);
        if (stdinFd >= 0) {
            dup2(stdinFd, STDIN_FILENO);
        } else {
            close(STDIN_FILENO);
        }
        clearerr(stdin);
        const int status = body();
        fflush(nullptr);
        _exit(status);
    }
    return pid;
}

// The child's exit status; 128 + the signal that ended it otherwise.
int finish(pid_t pid)
{
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid) {
        return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

int runWithStdin(int stdinFd, const std::function<int()> &body)
{
    return finish(startWithStdin(stdinFd, body));
}

struct Pipe {
    int readEnd = -1;
    int writeEnd = -1;
    // The writer stays open unless asked to close, so that a read would block.
    Pipe(const std::string &contents, bool closeWriter)
    {
        int ends[2];
        if (pipe(ends) != 0) {
            return;
        }
        readEnd = ends[0];
        writeEnd = ends[1];
        if (write(writeEnd, contents.data(), contents.size()) != (ssize_t)contents.size()) {
            ADD_FAILURE() << "pipe write";
        }
        if (closeWriter) {
            close(writeEnd);
            writeEnd = -1;
        }
    }
    ~Pipe()
    {
        if (readEnd >= 0) {
            close(readEnd);
        }
        if (writeEnd >= 0) {
            close(writeEnd);
        }
    }
};

struct Terminal {
    int master = -1;
    int slave = -1;
    Terminal()
    {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
            return;
        }
        slave = open(ptsname(master), O_RDWR | O_NOCTTY);
    }
    ~Terminal()
    {
        if (slave >= 0) {
            close(slave);
        }
        if (master >= 0) {
            close(master);
        }
    }
    tcflag_t localFlags() const
    {
        termios tio{};
        tcgetattr(slave, &tio);
        return tio.c_lflag;
    }
    bool masterHasInput(int waitMs) const
    {
        pollfd entry = {master, POLLIN, 0};
        return poll(&entry, 1, waitMs) > 0;
    }
};

int devNull()
{
    return open("/dev/null", O_RDONLY);
}

int readKeyReturnsAtOnce()
{
    const auto start = Clock::now();
    if (Console_ReadKey() != -1) {
        return 1;
    }
    return within(start, 500) ? 0 : 2;
}

TEST(ConsolePosix, ReadKeyWithoutATerminalReturnsMinusOneAtOnce)
{
    Pipe emptyOpenPipe("", false);
    EXPECT_EQ(runWithStdin(emptyOpenPipe.readEnd, readKeyReturnsAtOnce), 0) << "pipe";
    Pipe pipeWithKey("k", false);
    EXPECT_EQ(runWithStdin(pipeWithKey.readEnd, readKeyReturnsAtOnce), 0) << "pipe holding a key";
    const int null = devNull();
    EXPECT_EQ(runWithStdin(null, readKeyReturnsAtOnce), 0) << "/dev/null";
    close(null);
    EXPECT_EQ(runWithStdin(-1, readKeyReturnsAtOnce), 0) << "closed";
}

TEST(ConsolePosix, ReadKeyOnATerminalTakesOneUnechoedKeyAndRestoresTheTerminal)
{
    Terminal terminal;
    ASSERT_GE(terminal.slave, 0);
    ASSERT_NE(terminal.localFlags() & ICANON, 0u);
    ASSERT_NE(terminal.localFlags() & ECHO, 0u);

    // Ctrl-C is a key like any other while the key is awaited.
    const pid_t child = startWithStdin(terminal.slave, [] { return Console_ReadKey() == 3 ? 0 : 1; });
    const auto start = Clock::now();
    while ((terminal.localFlags() & ICANON) != 0 && within(start, 3000)) {
        usleep(1000);
    }
    // No line end follows: in canonical mode the key would never be delivered.
    ASSERT_EQ(write(terminal.master, "\x03", 1), 1);
    EXPECT_EQ(finish(child), 0);

    EXPECT_FALSE(terminal.masterHasInput(50)) << "the key was echoed";
    EXPECT_NE(terminal.localFlags() & ICANON, 0u);
    EXPECT_NE(terminal.localFlags() & ECHO, 0u);
    EXPECT_NE(terminal.localFlags() & ISIG, 0u);
}

TEST(ConsolePosix, ReadDecimalFromAPipeOrNothing)
{
    Pipe number("42\n", true);
    EXPECT_EQ(runWithStdin(number.readEnd,
                           [] {
                               int value = 7;
                               return Console_ReadDecimal(&value) == 1 && value == 42 ? 0 : 1;
                           }),
              0);

    const auto leavesValue = [] {
        int value = 7;
        if (Console_ReadDecimal(&value) != 0 || value != 7) {
            return 1;
        }
        return Console_ReadDecimal(&value) == 0 && value == 7 ? 0 : 2;
    };
    Pipe word("abc\n", true);
    EXPECT_EQ(runWithStdin(word.readEnd, leavesValue), 0) << "abc";
    Pipe empty("", true);
    EXPECT_EQ(runWithStdin(empty.readEnd, leavesValue), 0) << "end of input";
    const int null = devNull();
    EXPECT_EQ(runWithStdin(null, leavesValue), 0) << "/dev/null";
    close(null);
    EXPECT_EQ(runWithStdin(-1, leavesValue), 0) << "closed";
}

TEST(ConsolePosix, DiscardInputDropsTypedAheadInputWithoutBlocking)
{
    const auto returnsAtOnce = [] {
        const auto start = Clock::now();
        Console_DiscardInput();
        return within(start, 500) ? 0 : 1;
    };
    Pipe emptyOpenPipe("", false);
    EXPECT_EQ(runWithStdin(emptyOpenPipe.readEnd, returnsAtOnce), 0) << "pipe";
    const int null = devNull();
    EXPECT_EQ(runWithStdin(null, returnsAtOnce), 0) << "/dev/null";
    close(null);
    EXPECT_EQ(runWithStdin(-1, returnsAtOnce), 0) << "closed";

    // What stdio already holds from a pipe goes; the pipe is not read further.
    Pipe twoNumbers("5 6\n", true);
    EXPECT_EQ(runWithStdin(twoNumbers.readEnd,
                           [] {
                               int value = 0;
                               if (Console_ReadDecimal(&value) != 1 || value != 5) {
                                   return 1;
                               }
                               Console_DiscardInput();
                               return Console_ReadDecimal(&value) == 0 && value == 5 ? 0 : 2;
                           }),
              0);

    // A line typed ahead on a terminal goes; the next line typed is read.
    Terminal terminal;
    ASSERT_GE(terminal.slave, 0);
    ASSERT_EQ(write(terminal.master, "99\n", 3), 3);
    usleep(20000);
    Pipe discarded("", false);
    const int signalEnd = discarded.writeEnd;
    const pid_t child = startWithStdin(terminal.slave, [signalEnd] {
        Console_DiscardInput();
        if (write(signalEnd, "d", 1) != 1) {
            return 3;
        }
        int value = 0;
        return Console_ReadDecimal(&value) == 1 && value == 5 ? 0 : 4;
    });
    pollfd discardDone = {discarded.readEnd, POLLIN, 0};
    ASSERT_EQ(poll(&discardDone, 1, 5000), 1) << "the child never got past the discard";
    char signal = 0;
    ASSERT_EQ(read(discarded.readEnd, &signal, 1), 1);
    ASSERT_EQ(write(terminal.master, "5\n", 2), 2);
    EXPECT_EQ(finish(child), 0);
}

}  // namespace
