// The serial port on a POSIX tty, with the observable behaviour of the
// Windows calls that ComPortAPI is written against.
//
// The descriptor stays non-blocking; reads and writes wait in poll(), so a
// read can be a window of exactly T ms (VTIME counts tenths of a second and
// returns on the first chunk) and a write can wait as long as the line keeps
// taking bytes, and no longer.
#include "ComPortBackend.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>
#include <string>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include "EndingSignals_posix.h"
#include "PortFolders_posix.h"

namespace {

struct PosixPort {
    int fd;
    DWORD readTimeoutMs;
    // The line as the tool found it, put back at the close: a port that
    // turns out not to be the unit (a console, a modem, a terminal) is then
    // left as it was, not raw at the last trial rate.
    termios found;
};

PosixPort *portOf(HANDLE port)
{
    return static_cast<PosixPort *>(port);
}

std::string devicePath(int nId)
{
    const std::string comFolder = comPortFolder();
    if (!comFolder.empty()) {
        return comFolder + "/com" + std::to_string(nId);
    }
    return deviceFolder() + "/ttyS" + std::to_string(nId - 1);
}

struct BaudEntry {
    DWORD rate;
    speed_t speed;
};

const BaudEntry kBaudTable[] = {
    {50, B50},         {75, B75},           {110, B110},         {134, B134},         {150, B150},
    {200, B200},       {300, B300},         {600, B600},         {1200, B1200},       {1800, B1800},
    {2400, B2400},     {4800, B4800},       {9600, B9600},       {19200, B19200},     {38400, B38400},
    {57600, B57600},   {115200, B115200},   {230400, B230400},
#ifdef B460800
    {460800, B460800},
#endif
#ifdef B500000
    {500000, B500000},   {576000, B576000},   {921600, B921600},   {1000000, B1000000},
    {1152000, B1152000}, {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000},
    {3000000, B3000000}, {3500000, B3500000}, {4000000, B4000000},
#endif
};

bool speedOf(DWORD rate, speed_t *speed)
{
    for (const BaudEntry &entry : kBaudTable) {
        if (entry.rate == rate) {
            *speed = entry.speed;
            return true;
        }
    }
    return false;
}

long long nowUs(void)
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (long long)now.tv_sec * 1000000 + now.tv_nsec / 1000;
}

// Milliseconds from now to a deadline in microseconds, rounded up, so that
// a window of T ms never ends before T ms have passed.
long long msUntil(long long deadlineUs)
{
    return (deadlineUs - nowUs() + 999) / 1000;
}

// Waits for `events` up to timeoutMs (-1: no limit). False when the line is
// gone (hang-up, error) or poll itself failed; true otherwise, ready or not.
bool waitFor(int fd, short events, int timeoutMs)
{
    pollfd entry = {fd, events, 0};
    const int ready = poll(&entry, 1, timeoutMs);
    if (ready < 0) {
        return errno == EINTR;
    }
    if ((entry.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
        // What the next read or write would have met: the error to report.
        errno = (entry.revents & POLLNVAL) != 0 ? EBADF : EIO;
        return false;
    }
    return true;
}

bool isRetryable(int error)
{
    return error == EAGAIN || error == EWOULDBLOCK || error == EINTR;
}

const tcflag_t kCheckedControlFlags = CSIZE | PARENB | CSTOPB | CRTSCTS | CLOCAL | CREAD | HUPCL;

// The ports open now, with the settings each had when it was opened: what a
// stopping signal's handler puts back. Plain data in a fixed table, because
// the handler may run at any point of an open or a close; a slot is in use
// while its fd is not -1, and its settings are written before its fd.
#define HELD_PORT_SLOTS 8
struct HeldPort {
    volatile sig_atomic_t fd;
    termios found;
};
HeldPort gHeldPorts[HELD_PORT_SLOTS];
bool gHeldPortsReady = false;

// Only async-signal-safe calls: ioctl, tcflush and tcsetattr are plain
// system calls on the descriptor.
void putBackHeldPortsAndEnd(int signalNumber)
{
    const int savedErrno = errno;
    for (HeldPort &held : gHeldPorts) {
        const int fd = held.fd;
        if (fd >= 0) {
            ioctl(fd, TIOCNXCL);
            tcflush(fd, TCOFLUSH);
            tcsetattr(fd, TCSANOW, &held.found);
        }
    }
    // The signal stays blocked until this handler returns, and then ends the
    // process as it would have without the handler.
    signal(signalNumber, SIG_DFL);
    raise(signalNumber);
    errno = savedErrno;
}

// Once, at the first open: every signal that would end the process, from
// outside (Ctrl-C, Ctrl-\, a closed terminal, a termination request, a
// timer, a user signal) or from a fault. A signal that is ignored stays
// ignored, and one that something else already handles keeps its handler.
void guardHeldPorts(void)
{
    if (gHeldPortsReady) {
        return;
    }
    gHeldPortsReady = true;
    for (HeldPort &held : gHeldPorts) {
        held.fd = -1;
    }
    struct sigaction guard;
    memset(&guard, 0, sizeof guard);
    guard.sa_handler = putBackHeldPortsAndEnd;
    sigemptyset(&guard.sa_mask);
    EndingSignals_ForEach([&](int sig) { sigaddset(&guard.sa_mask, sig); });
    EndingSignals_ForEach([&](int sig) {
        struct sigaction current;
        if (sigaction(sig, nullptr, &current) == 0 && current.sa_handler == SIG_DFL) {
            sigaction(sig, &guard, nullptr);
        }
    });
}

bool holdPort(int fd, const termios &found)
{
    guardHeldPorts();
    for (HeldPort &held : gHeldPorts) {
        if (held.fd < 0) {
            held.found = found;
            held.fd = fd;
            return true;
        }
    }
    return false;
}

void releasePort(int fd)
{
    for (HeldPort &held : gHeldPorts) {
        if (held.fd == fd) {
            held.fd = -1;
        }
    }
}

}  // namespace

HANDLE ComPortBackend_Open(int nId)
{
    char szCOM[16];
    if (!ComPortBackend_DeviceName(nId, szCOM)) {
        errno = ENOENT;
        return INVALID_HANDLE_VALUE;
    }
    return ComPortBackend_OpenDevice(devicePath(nId).c_str());
}

HANDLE ComPortBackend_OpenDevice(const char *device)
{
    const int fd = open(device, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return INVALID_HANDLE_VALUE;
    }
    // TIOCEXCL alone does not keep out root, and not this process either; the
    // lock does, and TIOCEXCL still keeps out programs that do not lock.
    termios found;
    if (!isatty(fd) || flock(fd, LOCK_EX | LOCK_NB) != 0 || tcgetattr(fd, &found) != 0) {
        const int error = errno;
        close(fd);
        errno = error;
        return INVALID_HANDLE_VALUE;
    }
    PosixPort *port = new (std::nothrow) PosixPort{fd, 0, found};
    if (port == nullptr) {
        close(fd);
        errno = ENOMEM;
        return INVALID_HANDLE_VALUE;
    }
    // A port that a stopping signal could not put back is not opened.
    if (!holdPort(fd, found)) {
        delete port;
        close(fd);
        errno = EMFILE;
        return INVALID_HANDLE_VALUE;
    }
    ioctl(fd, TIOCEXCL);
    return port;
}

PortOpenFailure ComPortBackend_OpenFailure(void)
{
    switch (errno) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return PortOpenFailure::Missing;
    case EBUSY:
    case EWOULDBLOCK:
        return PortOpenFailure::InUse;
    case EACCES:
    case EPERM:
        return PortOpenFailure::NoPermission;
    default:
        return PortOpenFailure::Other;
    }
}

std::string ComPortBackend_LastError(void)
{
    const int error = errno;
    return std::string(strerror(error)) + " (errno " + std::to_string(error) + ")";
}

void ComPortBackend_SetupQueues(HANDLE, DWORD, DWORD)
{
    // The tty driver sizes its own queues.
}

BOOL ComPortBackend_SetTimeouts(HANDLE port, const COMMTIMEOUTS *timeouts)
{
    portOf(port)->readTimeoutMs = timeouts->ReadTotalTimeoutConstant;
    return 1;
}

BOOL ComPortBackend_SetState(HANDLE port, const DCB *settings)
{
    const int fd = portOf(port)->fd;
    speed_t speed;
    termios tio;
    if (!speedOf(settings->BaudRate, &speed)) {
        errno = EINVAL;
        return 0;
    }
    if (tcgetattr(fd, &tio) != 0) {
        return 0;
    }
    tio.c_iflag &= ~(IGNBRK | BRKINT | IGNPAR | PARMRK | INPCK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY);
    tio.c_oflag &= ~OPOST;
    tio.c_lflag &= ~(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN);
    // HUPCL would drop DTR at every close.
    tio.c_cflag &= ~kCheckedControlFlags;
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    if (settings->fOutxCtsFlow) {
        tio.c_cflag |= CRTSCTS;
    }
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (cfsetispeed(&tio, speed) != 0 || cfsetospeed(&tio, speed) != 0 || tcsetattr(fd, TCSANOW, &tio) != 0) {
        return 0;
    }
    // tcsetattr succeeds when the driver took any part of the request, and a
    // UART may round the rate; only what reads back counts as applied.
    termios applied;
    if (tcgetattr(fd, &applied) != 0 || cfgetospeed(&applied) != speed || cfgetispeed(&applied) != speed ||
        (applied.c_cflag & kCheckedControlFlags) != (tio.c_cflag & kCheckedControlFlags)) {
        return 0;
    }
    int lines = 0;
    if (settings->fDtrControl == DTR_CONTROL_ENABLE) {
        lines |= TIOCM_DTR;
    }
    if (settings->fRtsControl == RTS_CONTROL_ENABLE) {
        lines |= TIOCM_RTS;
    }
    // A pseudo-terminal has no modem lines; that is no reason to fail.
    if (lines != 0) {
        ioctl(fd, TIOCMBIS, &lines);
    }
    return 1;
}

void ComPortBackend_Purge(HANDLE port)
{
    tcflush(portOf(port)->fd, TCIOFLUSH);
}

void ComPortBackend_RaiseDtr(HANDLE port)
{
    int lines = TIOCM_DTR;
    ioctl(portOf(port)->fd, TIOCMBIS, &lines);
}

BOOL ComPortBackend_Read(HANDLE port, void *buffer, int nBytesToRead, int *pBytesRead)
{
    const PosixPort *p = portOf(port);
    char *bytes = static_cast<char *>(buffer);
    const long long deadline = nowUs() + (long long)p->readTimeoutMs * 1000;
    int got = 0;
    *pBytesRead = 0;
    while (got < nBytesToRead) {
        const ssize_t n = read(p->fd, bytes + got, (size_t)(nBytesToRead - got));
        if (n > 0) {
            got += (int)n;
            *pBytesRead = got;
            continue;
        }
        // With VMIN = VTIME = 0 an empty tty reads 0, not EAGAIN; a peer that
        // went away shows as EIO or ENXIO here, or as a hang-up in poll.
        if (n < 0 && !isRetryable(errno)) {
            return 0;
        }
        const long long left = msUntil(deadline);
        if (left <= 0) {
            break;
        }
        if (!waitFor(p->fd, POLLIN, left > INT_MAX ? INT_MAX : (int)left)) {
            return 0;
        }
    }
    return 1;
}

PortWrite ComPortBackend_Write(HANDLE port, const void *buffer, int nBytesToWrite, int *pBytesWritten)
{
    const int fd = portOf(port)->fd;
    const char *bytes = static_cast<const char *>(buffer);
    int sent = 0;
    *pBytesWritten = 0;
    long long lastTaken = nowUs();
    while (sent < nBytesToWrite) {
        const ssize_t n = write(fd, bytes + sent, (size_t)(nBytesToWrite - sent));
        if (n > 0) {
            sent += (int)n;
            *pBytesWritten = sent;
            lastTaken = nowUs();
            continue;
        }
        if (n < 0 && !isRetryable(errno)) {
            return PortWrite::Failed;
        }
        const long long left = msUntil(lastTaken + (long long)WRITE_STALL_LIMIT_MS * 1000);
        if (left <= 0) {
            return PortWrite::Stalled;
        }
        if (!waitFor(fd, POLLOUT, left > INT_MAX ? INT_MAX : (int)left)) {
            return PortWrite::Failed;
        }
    }
    return PortWrite::Done;
}

BOOL ComPortBackend_WaitOutputDrained(HANDLE port, int timeoutMs)
{
    // tcdrain would wait without bound on a line held shut by its CTS; the
    // queue's fill, asked every few milliseconds, keeps the wait bounded.
    const int fd = portOf(port)->fd;
    const long long deadline = nowUs() + (long long)timeoutMs * 1000;
    for (;;) {
        int queued = 0;
        if (ioctl(fd, TIOCOUTQ, &queued) != 0 || queued <= 0) {
            return 1;
        }
        if (nowUs() >= deadline) {
            return 0;
        }
        const timespec pause = {0, 2 * 1000 * 1000};
        nanosleep(&pause, nullptr);
    }
}

BOOL ComPortBackend_OutputHeld(HANDLE port, std::string &what)
{
    int queued = 0;
    if (ioctl(portOf(port)->fd, TIOCOUTQ, &queued) != 0 || queued <= 0) {
        return 0;
    }
    what = std::to_string(queued) + " bytes in the output queue";
    return 1;
}

void ComPortBackend_Close(HANDLE port)
{
    PosixPort *p = portOf(port);
    // The exclusive flag belongs to the tty and would outlive this descriptor
    // while another one (a simulated unit's) keeps the tty alive.
    ioctl(p->fd, TIOCNXCL);
    // Unsent output would make close() wait for the driver's closing delay.
    tcflush(p->fd, TCOFLUSH);
    tcsetattr(p->fd, TCSANOW, &p->found);
    releasePort(p->fd);
    close(p->fd);
    delete p;
}
