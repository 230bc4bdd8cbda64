// Files on POSIX: O_EXCL|O_NOFOLLOW creation, fsync, rename(), which
// replaces the target's directory entry atomically whatever it is, and
// O_NONBLOCK opening.
#include "FileBackend.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

std::string gFailureReason;

void rememberFailure(void)
{
    gFailureReason = strerror(errno);
}

// The pseudo-terminals' slave ends: no sysfs entry names their class.
constexpr unsigned int UNIX98_PTY_SLAVE_FIRST_MAJOR = 136;
constexpr unsigned int UNIX98_PTY_SLAVE_LAST_MAJOR = 143;
// /dev/tty: whichever terminal the process that opens it has.
constexpr unsigned int CONTROLLING_TERMINAL_MAJOR = 5;
constexpr unsigned int CONTROLLING_TERMINAL_MINOR = 0;

// The kernel files every character device of the tty layer under its class.
bool isTerminalDevice(dev_t device)
{
    const unsigned int major = ::major(device);
    if (major >= UNIX98_PTY_SLAVE_FIRST_MAJOR && major <= UNIX98_PTY_SLAVE_LAST_MAJOR) {
        return true;
    }
    const std::string subsystem =
        "/sys/dev/char/" + std::to_string(major) + ":" + std::to_string(::minor(device)) + "/subsystem";
    char target[256];
    const ssize_t length = readlink(subsystem.c_str(), target, sizeof target - 1);
    if (length <= 0) {
        return false;
    }
    target[length] = '\0';
    const char *last = strrchr(target, '/');
    return strcmp(last != nullptr ? last + 1 : target, "tty") == 0;
}

// The seventh field of /proc/self/stat, in the kernel's packing of a device
// number; false without a controlling terminal.
bool controllingTerminal(dev_t &device)
{
    std::ifstream stat("/proc/self/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    // The command name before the fields may hold blanks and parentheses.
    const size_t nameEnd = text.rfind(')');
    if (nameEnd == std::string::npos) {
        return false;
    }
    std::istringstream fields(text.substr(nameEnd + 1));
    std::string state;
    long parent = 0, group = 0, session = 0, terminal = 0;
    if (!(fields >> state >> parent >> group >> session >> terminal) || terminal == 0) {
        return false;
    }
    const unsigned long packed = static_cast<unsigned long>(terminal);
    device = makedev((packed >> 8) & 0xfff, (packed & 0xff) | ((packed >> 12) & 0xfff00));
    return true;
}

}  // namespace

bool FileBackend_NamesOtherTerminal(const char *path)
{
    struct stat found;
    if (stat(path, &found) != 0 || !S_ISCHR(found.st_mode) || !isTerminalDevice(found.st_rdev)) {
        return false;
    }
    if (::major(found.st_rdev) == CONTROLLING_TERMINAL_MAJOR &&
        ::minor(found.st_rdev) == CONTROLLING_TERMINAL_MINOR) {
        return false;
    }
    dev_t own = 0;
    return !controllingTerminal(own) || own != found.st_rdev;
}

FILE *FileBackend_CreateNewBeside(const char *path, std::string &createdName)
{
    // A name left by an earlier run that died is passed over, not reused.
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name =
            std::string(path) + "." + std::to_string(getpid()) + "-" + std::to_string(attempt) + ".tmp";
        const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST) {
                continue;
            }
            break;
        }
        FILE *stream = fdopen(fd, "wb");
        if (stream == nullptr) {
            rememberFailure();
            close(fd);
            unlink(name.c_str());
            return nullptr;
        }
        createdName = name;
        return stream;
    }
    rememberFailure();
    return nullptr;
}

FILE *FileBackend_CreateNew(const char *path, bool &nameTaken)
{
    // O_EXCL alone already refuses a link at the name; O_NOFOLLOW says so
    // where the reader looks.
    const int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0666);
    nameTaken = fd < 0 && errno == EEXIST;
    if (fd < 0) {
        rememberFailure();
        return nullptr;
    }
    FILE *stream = fdopen(fd, "w");
    if (stream == nullptr) {
        rememberFailure();
        close(fd);
        unlink(path);
    }
    return stream;
}

FILE *FileBackend_OpenToWrite(const char *path)
{
    // A FIFO opened for writing waits for a reader; with O_NONBLOCK it fails
    // with ENXIO instead. The descriptor stays non-blocking: a pipe whose
    // reader stops reading, or a terminal held by flow control, then fails
    // the write (EAGAIN) instead of stopping the update until it is read. A
    // pipe holds 64 KB, several whole traces, for a reader that is merely
    // slow; a regular file ignores the flag.
    const int fd = open(path, O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0) {
        rememberFailure();
        return nullptr;
    }
    struct stat found;
    const bool ready = fstat(fd, &found) == 0 && (!S_ISREG(found.st_mode) || ftruncate(fd, 0) == 0);
    FILE *stream = ready ? fdopen(fd, "w") : nullptr;
    if (stream == nullptr) {
        rememberFailure();
        close(fd);
    }
    return stream;
}

BOOL FileBackend_Sync(FILE *stream)
{
    if (fsync(fileno(stream)) != 0) {
        rememberFailure();
        return 0;
    }
    return 1;
}

BOOL FileBackend_Replace(const char *from, const char *to)
{
    if (rename(from, to) != 0) {
        rememberFailure();
        return 0;
    }
    return 1;
}

NameHolds FileBackend_NameHolds(const char *path)
{
    struct stat found;
    if (lstat(path, &found) != 0) {
        if (errno == ENOENT) {
            return NameHolds::Nothing;
        }
        rememberFailure();
        return NameHolds::Other;
    }
    gFailureReason.clear();
    return S_ISREG(found.st_mode) ? NameHolds::RegularFile : NameHolds::Other;
}

const char *FileBackend_FailureReason(void)
{
    return gFailureReason.c_str();
}

namespace {

bool sameInode(const char *name, const char *other)
{
    struct stat first;
    struct stat second;
    return stat(name, &first) == 0 && stat(other, &second) == 0 && first.st_dev == second.st_dev &&
           first.st_ino == second.st_ino;
}

// The folder part of `path` ("." when it has none) and the last part.
void splitPath(const std::string &path, std::string &folder, std::string &last)
{
    const size_t slash = path.find_last_of('/');
    folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    last = slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

bool FileBackend_SameFile(const char *name, const char *other)
{
    if (sameInode(name, other)) {
        return true;
    }
    std::string folder;
    std::string last;
    std::string otherFolder;
    std::string otherLast;
    splitPath(name, folder, last);
    splitPath(other, otherFolder, otherLast);
    return last == otherLast && sameInode(folder.c_str(), otherFolder.c_str());
}
