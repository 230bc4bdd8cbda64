// Files on Windows through the C runtime (_O_EXCL creation, _commit) and
// kernel32 (MoveFileExA with MOVEFILE_REPLACE_EXISTING, which replaces the
// target in one step; a rename() there refuses an existing target).
#include "FileBackend.h"

#include <cctype>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>

namespace {

std::string gFailureReason;

void rememberCrtFailure(void)
{
    gFailureReason = strerror(errno);
}

void rememberSystemFailure(DWORD error)
{
    char text[256] = "";
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, NULL, error, 0,
                                        text, sizeof text, NULL);
    gFailureReason.assign(text, length);
    // The system's text ends in a line end of its own.
    while (!gFailureReason.empty() && (gFailureReason.back() == '\n' || gFailureReason.back() == '\r' ||
                                       gFailureReason.back() == ' ' || gFailureReason.back() == '.')) {
        gFailureReason.pop_back();
    }
    if (gFailureReason.empty()) {
        gFailureReason = "system error " + std::to_string(error);
    }
}

}  // namespace

FILE *FileBackend_CreateNewBeside(const char *path, std::string &createdName)
{
    // A name left by an earlier run that died is passed over, not reused.
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name =
            std::string(path) + "." + std::to_string(_getpid()) + "-" + std::to_string(attempt) + ".tmp";
        const int fd = _open(name.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
        if (fd < 0) {
            if (errno == EEXIST) {
                continue;
            }
            break;
        }
        FILE *stream = _fdopen(fd, "wb");
        if (stream == nullptr) {
            rememberCrtFailure();
            _close(fd);
            _unlink(name.c_str());
            return nullptr;
        }
        createdName = name;
        return stream;
    }
    rememberCrtFailure();
    return nullptr;
}

FILE *FileBackend_CreateNew(const char *path, bool &nameTaken)
{
    // CREATE_NEW fails on any name that exists, a reparse point included;
    // FILE_FLAG_OPEN_REPARSE_POINT keeps one from being followed even so.
    const HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, NULL, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        nameTaken = error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
        rememberSystemFailure(error);
        return nullptr;
    }
    nameTaken = false;
    const int fd = _open_osfhandle((intptr_t)file, _O_WRONLY | _O_TEXT);
    if (fd < 0) {
        rememberCrtFailure();
        CloseHandle(file);
        DeleteFileA(path);
        return nullptr;
    }
    FILE *stream = _fdopen(fd, "w");
    if (stream == nullptr) {
        rememberCrtFailure();
        _close(fd);
        DeleteFileA(path);
    }
    return stream;
}

FILE *FileBackend_OpenToWrite(const char *path)
{
    // Opening a pipe on Windows never waits for its other end.
    FILE *stream = fopen(path, "w");
    if (stream == nullptr) {
        rememberCrtFailure();
    }
    return stream;
}

BOOL FileBackend_Sync(FILE *stream)
{
    if (_commit(_fileno(stream)) != 0) {
        rememberCrtFailure();
        return 0;
    }
    return 1;
}

BOOL FileBackend_Replace(const char *from, const char *to)
{
    if (!MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        rememberSystemFailure(GetLastError());
        return 0;
    }
    return 1;
}

NameHolds FileBackend_NameHolds(const char *path)
{
    const DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
            return NameHolds::Nothing;
        }
        rememberSystemFailure(error);
        return NameHolds::Other;
    }
    gFailureReason.clear();
    // A junction or a symbolic link is a reparse point.
    const DWORD notPlain = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE;
    return (attributes & notPlain) == 0 ? NameHolds::RegularFile : NameHolds::Other;
}

const char *FileBackend_FailureReason(void)
{
    return gFailureReason.c_str();
}

namespace {

// The volume and file index of an existing file or folder; false when it
// cannot be opened.
bool fileIdentity(const char *name, BY_HANDLE_FILE_INFORMATION &identity)
{
    const HANDLE file = CreateFileA(name, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    const bool known = GetFileInformationByHandle(file, &identity) != 0;
    CloseHandle(file);
    return known;
}

std::string fullPath(const char *name)
{
    char path[MAX_PATH * 4];
    const DWORD length = GetFullPathNameA(name, sizeof path, path, NULL);
    return length == 0 || length >= sizeof path ? std::string() : std::string(path, length);
}

}  // namespace

bool FileBackend_SameFile(const char *name, const char *other)
{
    BY_HANDLE_FILE_INFORMATION first;
    BY_HANDLE_FILE_INFORMATION second;
    if (fileIdentity(name, first) && fileIdentity(other, second)) {
        return first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
               first.nFileIndexHigh == second.nFileIndexHigh && first.nFileIndexLow == second.nFileIndexLow;
    }
    // Names on Windows are compared without regard to case.
    const std::string path = fullPath(name);
    return !path.empty() && lstrcmpiA(path.c_str(), fullPath(other).c_str()) == 0;
}

bool FileBackend_NamesOtherTerminal(const char *path)
{
    // The system's full form of a port's name (COM3, and on older systems
    // com3.txt in any folder too) is in the device namespace: \\.\COM3.
    std::string device = fullPath(path);
    for (const char *prefix : {"\\\\.\\", "\\\\?\\"}) {
        if (device.compare(0, 4, prefix) == 0) {
            device = device.substr(4);
            for (char &c : device) {
                c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
            }
            const bool numberedPort = device.compare(0, 3, "COM") == 0 && device.size() > 3 &&
                                      device.find_first_not_of("0123456789", 3) == std::string::npos;
            return numberedPort || device == "AUX";
        }
    }
    return false;
}
