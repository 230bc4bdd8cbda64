#include "support/Process.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char **environ;

Pipe::Pipe()
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
    read = fds[0];
    write = fds[1];
}

Pipe::~Pipe()
{
    closeRead();
    closeWrite();
}

void Pipe::closeRead()
{
    if (read >= 0)
        ::close(read);
    read = -1;
}

void Pipe::closeWrite()
{
    if (write >= 0)
        ::close(write);
    write = -1;
}

std::string Pipe::drain()
{
    std::string all;
    char chunk[4096];
    ssize_t n;
    while ((n = ::read(read, chunk, sizeof chunk)) > 0)
        all.append(chunk, static_cast<std::size_t>(n));
    return all;
}

namespace {

using Clock = std::chrono::steady_clock;

int statusOf(int raw) { return WIFEXITED(raw) ? WEXITSTATUS(raw) : WIFSIGNALED(raw) ? -WTERMSIG(raw) : raw; }

std::vector<std::string> mergedEnvironment(const Environment &env)
{
    std::vector<std::string> merged;
    for (char **e = environ; *e; ++e) {
        std::string entry = *e;
        if (env.count(entry.substr(0, entry.find('='))) == 0)
            merged.push_back(entry);
    }
    for (const auto &kv : env)
        merged.push_back(kv.first + "=" + kv.second);
    return merged;
}

std::vector<char *> pointers(std::vector<std::string> &strings)
{
    std::vector<char *> p;
    for (std::string &s : strings)
        p.push_back(&s[0]);
    p.push_back(nullptr);
    return p;
}

void ignoreSigpipe()
{
    static const bool done = [] {
        std::signal(SIGPIPE, SIG_IGN);
        return true;
    }();
    (void)done;
}


// Reads what is there; false once the pipe is at its end or failed.
bool drain(int fd, std::string &into)
{
    char buffer[65536];
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            into.append(buffer, static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        return n < 0 && errno == EAGAIN;
    }
}

}  // namespace

pid_t startProcess(const std::vector<std::string> &argv, const Environment &env, int stdinFd, int stdoutFd,
                   int stderrFd)
{
    if (argv.empty())
        throw std::runtime_error("startProcess: no program");
    ignoreSigpipe();
    std::vector<std::string> args = argv;
    std::vector<std::string> envStrings = mergedEnvironment(env);
    std::vector<char *> argp = pointers(args);
    std::vector<char *> envp = pointers(envStrings);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const int fds[3] = {stdinFd, stdoutFd, stderrFd};
    for (int target = 0; target < 3; ++target) {
        if (fds[target] >= 0)
            posix_spawn_file_actions_adddup2(&actions, fds[target], target);
        else if (fds[target] == CLOSED_STREAM)
            posix_spawn_file_actions_addclose(&actions, target);
    }

    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    for (int sig : {SIGPIPE, SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGCHLD, SIGALRM, SIGUSR1, SIGUSR2})
        sigaddset(&defaults, sig);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setpgroup(&attr, 0);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);

    pid_t pid = -1;
    int rc = posix_spawnp(&pid, argp[0], &actions, &attr, argp.data(), envp.data());
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        throw std::runtime_error("cannot start " + argv[0] + ": " + std::strerror(rc));
    return pid;
}

std::optional<int> waitProcess(pid_t pid, std::chrono::milliseconds timeout)
{
    auto deadline = Clock::now() + timeout;
    for (;;) {
        int raw = 0;
        pid_t r = waitpid(pid, &raw, WNOHANG);
        if (r == pid)
            return statusOf(raw);
        if (r < 0 && errno != EINTR)
            return std::nullopt;
        if (Clock::now() >= deadline)
            return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

std::optional<int> waitOrKillProcess(pid_t pid, std::chrono::milliseconds timeout)
{
    const std::optional<int> status = waitProcess(pid, timeout);
    if (!status) {
        kill(-pid, SIGKILL);
        waitProcess(pid, std::chrono::seconds(5));
    }
    return status;
}

ProcessResult runProcess(const std::vector<std::string> &argv, const Environment &env,
                         const std::optional<std::string> &stdinText, std::chrono::milliseconds timeout)
{
    Pipe out, err;
    std::optional<Pipe> in;
    int stdinFd = -1;
    if (stdinText) {
        in.emplace();
        stdinFd = in->read;
    } else {
        stdinFd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        if (stdinFd < 0)
            throw std::runtime_error(std::string("/dev/null: ") + std::strerror(errno));
    }
    pid_t pid;
    try {
        pid = startProcess(argv, env, stdinFd, out.write, err.write);
    } catch (...) {
        if (!stdinText)
            ::close(stdinFd);
        throw;
    }
    if (stdinText)
        in->closeRead();
    else
        ::close(stdinFd);
    out.closeWrite();
    err.closeWrite();
    for (int fd : {out.read, err.read, in ? in->write : -1})
        if (fd >= 0)
            fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);

    ProcessResult result;
    std::size_t fed = 0;
    if (in && stdinText->empty())
        in->closeWrite();
    auto deadline = Clock::now() + timeout;
    std::optional<int> status;
    while (!status) {
        int raw = 0;
        if (waitpid(pid, &raw, WNOHANG) == pid) {
            status = statusOf(raw);
            break;
        }
        if (Clock::now() >= deadline) {
            kill(-pid, SIGKILL);
            kill(pid, SIGKILL);
            status = waitProcess(pid, std::chrono::seconds(10));
            result.timedOut = true;
            break;
        }
        pollfd fds[3] = {{out.read, POLLIN, 0}, {err.read, POLLIN, 0}, {in ? in->write : -1, POLLOUT, 0}};
        if (poll(fds, 3, 10) <= 0)
            continue;
        if (fds[0].revents && !drain(out.read, result.out))
            out.closeRead();
        if (fds[1].revents && !drain(err.read, result.err))
            err.closeRead();
        if (fds[2].revents) {
            ssize_t n = ::write(in->write, stdinText->data() + fed, stdinText->size() - fed);
            if (n > 0)
                fed += static_cast<std::size_t>(n);
            if ((n < 0 && errno != EAGAIN && errno != EINTR) || fed == stdinText->size())
                in->closeWrite();
        }
    }
    if (out.read >= 0)
        drain(out.read, result.out);
    if (err.read >= 0)
        drain(err.read, result.err);
    result.status = status ? *status : -SIGKILL;
    return result;
}
