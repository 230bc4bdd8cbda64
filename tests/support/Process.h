// Running programs from tests: a whole run with captured output
// (runProcess), or a start and a later wait (startProcess, waitProcess).
//
// Children start in their own process group with default signal handling
// and an empty signal mask, whatever the test process has set. The first
// call makes the test process ignore SIGPIPE, so that feeding a child that
// has gone shows as a failed write rather than a dead test.
#ifndef SUPPORT_PROCESS_H
#define SUPPORT_PROCESS_H

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

// Variables set (or replaced) on top of the test's own environment.
using Environment = std::map<std::string, std::string>;

struct ProcessResult {
    int status = 0;         // exit code, or -N when signal N ended it
    bool timedOut = false;  // killed at the time limit (status is then -SIGKILL)
    std::string out;        // everything written to stdout
    std::string err;        // everything written to stderr
};

// A pipe whose ends close with it (close-on-exec: a child gets an end only
// as one of its standard streams).
struct Pipe {
    int read = -1;
    int write = -1;
    Pipe();
    ~Pipe();
    Pipe(const Pipe &) = delete;
    Pipe &operator=(const Pipe &) = delete;
    void closeRead();
    void closeWrite();
    // Everything up to the end of the pipe; the write end must be closed.
    std::string drain();
};

// Runs argv (argv[0] searched in PATH) to its end or to `timeout`, when the
// child and its process group are killed. stdin carries `stdinText` through
// a pipe that is closed after it, or is /dev/null without it. stdout and
// stderr are read while the child runs, so any amount of output is fine;
// output of grandchildren that outlive the child (a server started by it)
// is read only as far as it is there when the child ends.
ProcessResult runProcess(const std::vector<std::string> &argv, const Environment &env = {},
                         const std::optional<std::string> &stdinText = std::nullopt,
                         std::chrono::milliseconds timeout = std::chrono::seconds(60));

// For startProcess: the child starts with that standard stream closed.
constexpr int CLOSED_STREAM = -2;

// Starts argv with stdin, stdout and stderr on the given fds (-1: the test's
// own; CLOSED_STREAM: none). Throws std::runtime_error when it cannot start.
pid_t startProcess(const std::vector<std::string> &argv, const Environment &env, int stdinFd, int stdoutFd,
                   int stderrFd);
// Waits up to `timeout` for the child to end and reaps it: its status as in
// ProcessResult, or nothing if it is still running.
std::optional<int> waitProcess(pid_t pid, std::chrono::milliseconds timeout);
// The same, but a child still running at `timeout` is killed with its
// process group and reaped; the result is then nothing.
std::optional<int> waitOrKillProcess(pid_t pid, std::chrono::milliseconds timeout);

#endif
