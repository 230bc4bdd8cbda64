// The console on a POSIX terminal. When standard input is not a terminal
// (a pipe, a file, /dev/null, closed) there is no key to wait for and no
// typed-ahead line to drop, so neither ever blocks on it.
#include "Console.h"

#include "EndingSignals_posix.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include <fcntl.h>
#include <stdio_ext.h>
#include <termios.h>
#include <unistd.h>

void Console_PrepareStandardStreams(void)
{
    // In order: every lower descriptor is then open, so open() hands out
    // exactly the one that is missing.
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
            open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
        }
    }
    signal(SIGPIPE, SIG_IGN);
    signal(SIGXFSZ, SIG_IGN);
}

namespace {

termios gTerminalBeforeKeyWait;
termios gTerminalForOneKey;
// Indexed by signal number; NSIG bounds every signal number, the real-time
// ones included.
struct sigaction gActionBeforeKeyWait[NSIG];
struct sigaction gStopActionBeforeKeyWait;
struct sigaction gStopGuard;

// Puts the terminal back, then lets the signal do what it would have done:
// with the previous action back in place, the re-raised signal is delivered
// as soon as this handler returns. A port guard taken before the key wait
// is that previous action, and puts its ports back in turn.
void restoreTerminalAndResignal(int sig)
{
    tcsetattr(STDIN_FILENO, TCSANOW, &gTerminalBeforeKeyWait);
    if (sig > 0 && sig < NSIG) {
        sigaction(sig, &gActionBeforeKeyWait[sig], nullptr);
    }
    raise(sig);
}

// A stop request (SIGTSTP from another process: Ctrl-Z is a key in this
// mode) gives the operator's shell the terminal as it was; the wait takes
// it again once the process is continued.
void giveTerminalBackWhileStopped(int)
{
    const int savedErrno = errno;
    tcsetattr(STDIN_FILENO, TCSANOW, &gTerminalBeforeKeyWait);
    signal(SIGTSTP, SIG_DFL);
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTSTP);
    // The process stops inside this raise, and goes on from here on SIGCONT.
    sigprocmask(SIG_UNBLOCK, &stop, nullptr);
    raise(SIGTSTP);
    sigprocmask(SIG_BLOCK, &stop, nullptr);
    sigaction(SIGTSTP, &gStopGuard, nullptr);
    tcsetattr(STDIN_FILENO, TCSANOW, &gTerminalForOneKey);
    errno = savedErrno;
}

// Every signal that would end the process while the terminal is in
// single-key mode: from another process, from the terminal's hang-up, from
// a timer or from a fault. Ctrl-C and Ctrl-\ are keys in that mode. Signals
// that were ignored stay ignored.
void guardKeyWait(void)
{
    gStopGuard = {};
    gStopGuard.sa_handler = giveTerminalBackWhileStopped;
    sigemptyset(&gStopGuard.sa_mask);
    sigaction(SIGTSTP, nullptr, &gStopActionBeforeKeyWait);
    if (gStopActionBeforeKeyWait.sa_handler == SIG_DFL) {
        sigaction(SIGTSTP, &gStopGuard, nullptr);
    }
    struct sigaction guard = {};
    guard.sa_handler = restoreTerminalAndResignal;
    sigemptyset(&guard.sa_mask);
    EndingSignals_ForEach([&](int sig) { sigaddset(&guard.sa_mask, sig); });
    // Every previous action is saved before any guard goes in, so that a
    // signal listed twice never saves the guard as its own previous action.
    EndingSignals_ForEach([](int sig) { sigaction(sig, nullptr, &gActionBeforeKeyWait[sig]); });
    EndingSignals_ForEach([&](int sig) {
        if (gActionBeforeKeyWait[sig].sa_handler != SIG_IGN) {
            sigaction(sig, &guard, nullptr);
        }
    });
}

void unguardKeyWait(void)
{
    sigaction(SIGTSTP, &gStopActionBeforeKeyWait, nullptr);
    EndingSignals_ForEach([](int sig) { sigaction(sig, &gActionBeforeKeyWait[sig], nullptr); });
}

}  // namespace

int Console_ReadKey(void)
{
    // The prompt before the wait usually has no line end.
    fflush(stdout);
    if (!isatty(STDIN_FILENO) || tcgetattr(STDIN_FILENO, &gTerminalBeforeKeyWait) != 0) {
        return -1;
    }
    // Without ISIG, Ctrl-C is a key as it is for _getch, and cannot end the
    // process while the terminal is in this mode. A signal from elsewhere
    // can, and must not leave the terminal without echo and line mode.
    gTerminalForOneKey = gTerminalBeforeKeyWait;
    gTerminalForOneKey.c_lflag &= ~(ICANON | ECHO | ISIG);
    gTerminalForOneKey.c_cc[VMIN] = 1;
    gTerminalForOneKey.c_cc[VTIME] = 0;
    guardKeyWait();
    tcsetattr(STDIN_FILENO, TCSANOW, &gTerminalForOneKey);
    unsigned char key = 0;
    ssize_t n;
    do {
        n = read(STDIN_FILENO, &key, 1);
    } while (n < 0 && errno == EINTR);
    tcsetattr(STDIN_FILENO, TCSANOW, &gTerminalBeforeKeyWait);
    unguardKeyWait();
    return n == 1 ? key : -1;
}

void Console_DiscardInput(void)
{
    if (isatty(STDIN_FILENO)) {
        tcflush(STDIN_FILENO, TCIFLUSH);
    }
    __fpurge(stdin);
}

void Console_SleepMs(unsigned int milliseconds)
{
    timespec left = {(time_t)(milliseconds / 1000), (long)(milliseconds % 1000) * 1000000L};
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

BOOL Console_EnableCursorMovement(void)
{
    const char *terminal = getenv("TERM");
    return isatty(STDOUT_FILENO) && terminal != nullptr && strcmp(terminal, "dumb") != 0;
}

FILE *Console_DivertOutput(void)
{
    fflush(stdout);
    const int events = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 0);
    if (events < 0) {
        return nullptr;
    }
    FILE *stream = fdopen(events, "w");
    const int nullDevice = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (stream == nullptr || nullDevice < 0 || dup2(nullDevice, STDOUT_FILENO) < 0) {
        if (stream != nullptr) {
            fclose(stream);
        } else {
            close(events);
        }
        if (nullDevice >= 0) {
            close(nullDevice);
        }
        return nullptr;
    }
    close(nullDevice);
    return stream;
}
