// Files on POSIX: O_EXCL|O_NOFOLLOW creation, fsync, rename(), which
// replaces the target's directory entry atomically whatever it is, and
// O_NONBLOCK opening.
#include "FileBackend.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string gFailureReason;

void rememberFailure(void)
{
    gFailureReason = strerror(errno);
}

}  // namespace

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
