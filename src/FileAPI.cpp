#include "FileAPI.h"

#include "Console.h"

FILE *fptr = nullptr;

static BOOL openStream(const char *fileName, const char *binaryMode, const char *textMode, BOOL isBinary)
{
    fptr = fopen(fileName, isBinary == 1 ? binaryMode : textMode);
    if (fptr == nullptr) {
        Console_Line("ERROR: File does not exists");
        return 0;
    }
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
    fputs(stringToWrite, fptr);
    return 1;
}

BOOL FileAPI_writeToFileBinary(const uint8_t *dataToWrite, uint32_t dataLength)
{
    if (!streamIsOpen()) {
        return 0;
    }
    fwrite(dataToWrite, 1, dataLength, fptr);
    return 1;
}

BOOL FileAPI_CloseFile(void)
{
    if (!streamIsOpen()) {
        return 0;
    }
    fclose(fptr);
    fptr = nullptr;
    return 1;
}
