// Files on POSIX: O_EXCL creation, fsync, and rename(), which replaces the
// target's directory entry atomically whatever it is.
#include "FileBackend.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
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
        const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
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
