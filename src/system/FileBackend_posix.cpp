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
    // with ENXIO instead. The descriptor blocks again once it is open, so
    // that no record is lost to a full pipe.
    const int fd = open(path, O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0) {
        rememberFailure();
        return nullptr;
    }
    struct stat found;
    const bool ready = fstat(fd, &found) == 0 && (!S_ISREG(found.st_mode) || ftruncate(fd, 0) == 0) &&
                       fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) == 0;
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

const char *FileBackend_FailureReason(void)
{
    return gFailureReason.c_str();
}
