#include "WholeFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "FileBackend.h"

namespace {

bool nameTakesAFile(const std::string &path, std::string &error)
{
    switch (FileBackend_NameHolds(path.c_str())) {
    case NameHolds::Nothing:
    case NameHolds::RegularFile:
        return true;
    case NameHolds::Other:
        break;
    }
    const std::string reason = FileBackend_FailureReason();
    error = "\"" + path + "\" is not a regular file" + (reason.empty() ? "" : " (" + reason + ")");
    return false;
}

bool failAndRemove(FILE *stream, const std::string &created, const std::string &reason, std::string &error)
{
    if (stream != nullptr) {
        fclose(stream);
    }
    remove(created.c_str());
    error = reason;
    return false;
}

// A new file beside `path`, where `path` may take a file; nullptr with the
// reason otherwise.
FILE *createBeside(const std::string &path, std::string &created, std::string &error)
{
    if (!nameTakesAFile(path, error)) {
        return nullptr;
    }
    FILE *stream = FileBackend_CreateNewBeside(path.c_str(), created);
    if (stream == nullptr) {
        error = FileBackend_FailureReason();
    }
    return stream;
}

}  // namespace

bool WholeFile_CanWrite(const std::string &path, std::string &error)
{
    std::string created;
    FILE *probe = createBeside(path, created, error);
    if (probe == nullptr) {
        return false;
    }
    fclose(probe);
    remove(created.c_str());
    return true;
}

bool WholeFile_Write(const std::string &path, const std::string &text, std::string &error)
{
    std::string created;
    FILE *stream = createBeside(path, created, error);
    if (stream == nullptr) {
        return false;
    }
    errno = 0;
    if (fwrite(text.data(), 1, text.size(), stream) != text.size() || fflush(stream) != 0) {
        return failAndRemove(stream, created, errno != 0 ? strerror(errno) : "the write failed", error);
    }
    if (!FileBackend_Sync(stream)) {
        return failAndRemove(stream, created, FileBackend_FailureReason(), error);
    }
    if (fclose(stream) != 0) {
        return failAndRemove(nullptr, created, strerror(errno), error);
    }
    // Looked at again: the run may have lasted minutes since the first look.
    if (!nameTakesAFile(path, error)) {
        return failAndRemove(nullptr, created, error, error);
    }
    if (!FileBackend_Replace(created.c_str(), path.c_str())) {
        return failAndRemove(nullptr, created, FileBackend_FailureReason(), error);
    }
    return true;
}
