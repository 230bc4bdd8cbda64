// Children on Linux: fork and exec with a pipe, read through poll, stop
// requests from SIGINT, SIGTERM and SIGHUP.
#include "ChildProcess.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

struct ChildProcess {
    pid_t pid;
    int output;  // the pipe's read end, non-blocking; -1 once it has ended
};

namespace {

#define STOP_GRACE_MS 2000

volatile sig_atomic_t gStopSignal = 0;

void onStopSignal(int signalNumber)
{
    gStopSignal = signalNumber;
}

const int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};
const int kStopSignalCount = sizeof kStopSignals / sizeof kStopSignals[0];
struct sigaction gActionBeforeCatching[kStopSignalCount];

int statusOf(int raw)
{
    if (WIFEXITED(raw)) {
        return WEXITSTATUS(raw);
    }
    return WIFSIGNALED(raw) ? 128 + WTERMSIG(raw) : raw;
}

long long nowMs(void)
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (long long)now.tv_sec * 1000 + now.tv_nsec / 1000000;
}

// Reaps the child if it ends within `timeoutMs`: its exit status, or -1.
int reapWithin(pid_t pid, int timeoutMs)
{
    const long long deadline = nowMs() + timeoutMs;
    for (;;) {
        int raw = 0;
        const pid_t reaped = waitpid(pid, &raw, WNOHANG);
        if (reaped == pid) {
            return statusOf(raw);
        }
        if (reaped < 0 && errno != EINTR) {
            return -1;
        }
        if (nowMs() >= deadline) {
            return -1;
        }
        usleep(10 * 1000);
    }
}

int stopAndReap(ChildProcess *child)
{
    kill(child->pid, SIGTERM);
    int status = reapWithin(child->pid, STOP_GRACE_MS);
    if (status < 0) {
        kill(child->pid, SIGKILL);
        int raw = 0;
        while (waitpid(child->pid, &raw, 0) < 0 && errno == EINTR) {
        }
        status = statusOf(raw);
    }
    return status;
}

void release(ChildProcess *child)
{
    if (child->output >= 0) {
        close(child->output);
    }
    delete child;
}

// The descriptor a passed file has in the child, named by /dev/fd/N.
constexpr int PASSED_FILE_DESCRIPTOR = 3;

// In the forked child, up to exec: only async-signal-safe calls.
[[noreturn]] void becomeChild(char *const *argv, int outputEnd, int passedFile, pid_t parent)
{
    // A process group of its own keeps the terminal's Ctrl-C away from it.
    setpgid(0, 0);
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) {
        _exit(127);
    }
    // Output first, then the passed file (which may take the pipe's old
    // number), then the null device in the one place still free to it.
    if (dup2(outputEnd, STDOUT_FILENO) < 0 || dup2(outputEnd, STDERR_FILENO) < 0) {
        _exit(127);
    }
    if (passedFile >= 0 && (dup2(passedFile, PASSED_FILE_DESCRIPTOR) < 0 ||
                            fcntl(PASSED_FILE_DESCRIPTOR, F_SETFD, 0) < 0)) {
        _exit(127);
    }
    const int nullDevice = open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (nullDevice < 0 || dup2(nullDevice, STDIN_FILENO) < 0) {
        _exit(127);
    }
    execv(argv[0], argv);
    const char *why = strerror(errno);
    const char prefix[] = "cannot start the program: ";
    ssize_t ignored = write(STDERR_FILENO, prefix, sizeof prefix - 1);
    ignored = write(STDERR_FILENO, why, strlen(why));
    ignored = write(STDERR_FILENO, "\n", 1);
    (void)ignored;
    _exit(127);
}

}  // namespace

std::string ChildProcess_OwnExecutable(void)
{
    char path[PATH_MAX + 1];
    const ssize_t length = readlink("/proc/self/exe", path, PATH_MAX);
    if (length <= 0) {
        return "";
    }
    return std::string(path, static_cast<size_t>(length));
}

std::string ChildProcess_PassedFileName(const std::string &)
{
    return "/dev/fd/" + std::to_string(PASSED_FILE_DESCRIPTOR);
}

ChildProcess *ChildProcess_Start(const std::vector<std::string> &arguments, std::string &error, FILE *passedFile)
{
    if (arguments.empty()) {
        error = "no program";
        return nullptr;
    }
    std::vector<char *> argv;
    for (const std::string &argument : arguments) {
        argv.push_back(const_cast<char *>(argument.c_str()));
    }
    argv.push_back(nullptr);

    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) {
        error = std::string("no pipe: ") + strerror(errno);
        return nullptr;
    }
    const int passedDescriptor = passedFile != nullptr ? fileno(passedFile) : -1;
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid < 0) {
        error = std::string("cannot start a process: ") + strerror(errno);
        close(ends[0]);
        close(ends[1]);
        return nullptr;
    }
    if (pid == 0) {
        becomeChild(argv.data(), ends[1], passedDescriptor, parent);
    }
    close(ends[1]);
    fcntl(ends[0], F_SETFL, fcntl(ends[0], F_GETFL) | O_NONBLOCK);
    return new ChildProcess{pid, ends[0]};
}

void ChildProcess_WaitForOutput(const std::vector<ChildProcess *> &children, int timeoutMs)
{
    std::vector<pollfd> watched;
    for (const ChildProcess *child : children) {
        if (child->output >= 0) {
            watched.push_back(pollfd{child->output, POLLIN, 0});
        }
    }
    if (gStopSignal != 0) {
        return;
    }
    // A stop signal interrupts the wait (the handlers do not restart it).
    poll(watched.data(), watched.size(), timeoutMs);
}

bool ChildProcess_Read(ChildProcess *child, std::string &output)
{
    if (child->output < 0) {
        return false;
    }
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(child->output, buffer, sizeof buffer);
        if (n > 0) {
            output.append(buffer, static_cast<size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            return true;
        }
        close(child->output);
        child->output = -1;
        return false;
    }
}

int ChildProcess_Finish(ChildProcess *child)
{
    int status = reapWithin(child->pid, STOP_GRACE_MS);
    if (status < 0) {
        status = stopAndReap(child);
    }
    release(child);
    return status;
}

int ChildProcess_Stop(ChildProcess *child)
{
    const int status = stopAndReap(child);
    release(child);
    return status;
}

void ChildProcess_CatchStopRequests(void)
{
    struct sigaction action;
    memset(&action, 0, sizeof action);
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    for (int i = 0; i < kStopSignalCount; ++i) {
        sigaction(kStopSignals[i], &action, &gActionBeforeCatching[i]);
    }
}

void ChildProcess_ReleaseStopRequests(void)
{
    for (int i = 0; i < kStopSignalCount; ++i) {
        sigaction(kStopSignals[i], &gActionBeforeCatching[i], nullptr);
    }
}

bool ChildProcess_StopRequested(void)
{
    return gStopSignal != 0;
}

void ChildProcess_EndAsRequested(void)
{
    const int signalNumber = gStopSignal;
    if (signalNumber == 0) {
        return;
    }
    fflush(stdout);
    signal(signalNumber, SIG_DFL);
    raise(signalNumber);
}

long long ChildProcess_RequestedExitStatus(void)
{
    return 128 + gStopSignal;
}
