// The console on a POSIX terminal. When standard input is not a terminal
// (a pipe, a file, /dev/null, closed) there is no key to wait for and no
// typed-ahead line to drop, so neither ever blocks on it.
#include "Console.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include <fcntl.h>
#include <stdio_ext.h>
#include <termios.h>
#include <unistd.h>

int Console_ReadKey(void)
{
    // The prompt before the wait usually has no line end.
    fflush(stdout);
    termios saved;
    if (!isatty(STDIN_FILENO) || tcgetattr(STDIN_FILENO, &saved) != 0) {
        return -1;
    }
    // Without ISIG, Ctrl-C is a key as it is for _getch, and cannot end the
    // process while the terminal is in this mode.
    termios oneKey = saved;
    oneKey.c_lflag &= ~(ICANON | ECHO | ISIG);
    oneKey.c_cc[VMIN] = 1;
    oneKey.c_cc[VTIME] = 0;
    tcsetattr(STDIN_FILENO, TCSANOW, &oneKey);
    unsigned char key = 0;
    ssize_t n;
    do {
        n = read(STDIN_FILENO, &key, 1);
    } while (n < 0 && errno == EINTR);
    tcsetattr(STDIN_FILENO, TCSANOW, &saved);
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
