#include "FileAPI.h"

#include <cerrno>
#include <cstring>
#include <string>

#include "Console.h"
#include "FileBackend.h"

FILE *fptr = nullptr;

// The name the stream was opened by, for the error lines; for a
// replacement, the name it is to take, and the name it is written under.
static std::string gFileName;
static std::string gReplacementName;

static void reportFailure(const char *step, const char *reason)
{
    Console_Print("ERROR: %s %s failed: %s\n", step, gFileName.c_str(), reason);
}

static BOOL openStream(const char *fileName, const char *binaryMode, const char *textMode, BOOL isBinary)
{
    fptr = fopen(fileName, isBinary == 1 ? binaryMode : textMode);
    if (fptr == nullptr) {
        Console_Line("ERROR: File does not exists");
        return 0;
    }
    gFileName = fileName;
    return 1;
}

static BOOL streamIsOpen(void)
{
    if (fptr == nullptr) {
        Console_Line("ERROR: File does not exists or Not opened !");
        return 0;
    }
    return 1;
}

BOOL FileAPI_CreateFile(const char *fileName, BOOL isBinary)
{
    return openStream(fileName, "wb", "w", isBinary);
}

BOOL FileAPI_OpenFile_ToWrite(const char *fileName, BOOL isBinary)
{
    return openStream(fileName, "ab", "a", isBinary);
}

BOOL FileAPI_OpenFile_ToRead(const char *fileName, BOOL isBinary)
{
    return openStream(fileName, "rb", "r", isBinary);
}

BOOL FileAPI_writeToFile(const char *stringToWrite)
{
    if (!streamIsOpen()) {
        return 0;
    }
    if (fputs(stringToWrite, fptr) == EOF) {
        reportFailure("Writing", strerror(errno));
        return 0;
    }
    return 1;
}

BOOL FileAPI_writeToFileBinary(const uint8_t *dataToWrite, uint32_t dataLength)
{
    if (!streamIsOpen()) {
        return 0;
    }
    if (fwrite(dataToWrite, 1, dataLength, fptr) != dataLength) {
        reportFailure("Writing", strerror(errno));
        return 0;
    }
    return 1;
}

BOOL FileAPI_CloseFile(void)
{
    if (!streamIsOpen()) {
        return 0;
    }
    const int closed = fclose(fptr);
    fptr = nullptr;
    if (closed != 0) {
        reportFailure("Writing", strerror(errno));
        return 0;
    }
    return 1;
}

BOOL FileAPI_CreateReplacement(const char *fileName)
{
    gFileName = fileName;
    fptr = FileBackend_CreateNewBeside(fileName, gReplacementName);
    if (fptr == nullptr) {
        reportFailure("Creating a new", FileBackend_FailureReason());
        return 0;
    }
    return 1;
}

BOOL FileAPI_CommitReplacement(void)
{
    if (!streamIsOpen()) {
        return 0;
    }
    // Every byte must have reached the disk before the new file takes the
    // name: a failure at any step leaves the old file in place.
    if (fflush(fptr) != 0 || ferror(fptr)) {
        reportFailure("Writing", strerror(errno));
        FileAPI_DiscardReplacement();
        return 0;
    }
    if (!FileBackend_Sync(fptr)) {
        reportFailure("Writing", FileBackend_FailureReason());
        FileAPI_DiscardReplacement();
        return 0;
    }
    const int closed = fclose(fptr);
    fptr = nullptr;
    if (closed != 0) {
        reportFailure("Writing", strerror(errno));
        FileAPI_DiscardReplacement();
        return 0;
    }
    if (!FileBackend_Replace(gReplacementName.c_str(), gFileName.c_str())) {
        reportFailure("Replacing", FileBackend_FailureReason());
        FileAPI_DiscardReplacement();
        return 0;
    }
    gReplacementName.clear();
    return 1;
}

void FileAPI_DiscardReplacement(void)
{
    if (fptr != nullptr) {
        fclose(fptr);
        fptr = nullptr;
    }
    if (!gReplacementName.empty()) {
        remove(gReplacementName.c_str());
        gReplacementName.clear();
    }
}

bool FileAPI_SameFile(const std::string &name, const std::string &other)
{
    return FileBackend_SameFile(name.c_str(), other.c_str());
}

bool FileAPI_NamesOtherTerminal(const std::string &path)
{
    return FileBackend_NamesOtherTerminal(path.c_str());
}
