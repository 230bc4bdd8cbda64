// One open file at a time, kept in a module-level stream. Every operation
// answers 1 or 0 and prints its own error line on failure. isBinary selects
// binary mode only when it is exactly 1.
#ifndef FILE_API_H
#define FILE_API_H

#include <cstdint>
#include <cstdio>

#include "Platform.h"

extern FILE *fptr;

// "wb" / "w": create, or cut to length 0.
BOOL FileAPI_CreateFile(const char *fileName, BOOL isBinary);
// "ab" / "a": create if absent; writes go to the end.
BOOL FileAPI_OpenFile_ToWrite(const char *fileName, BOOL isBinary);
// "rb" / "r": the file must exist.
BOOL FileAPI_OpenFile_ToRead(const char *fileName, BOOL isBinary);
BOOL FileAPI_writeToFile(const char *stringToWrite);
BOOL FileAPI_writeToFileBinary(const uint8_t *dataToWrite, uint32_t dataLength);
// Closes the stream and clears it, so that a later write or close without a
// new open reports the not-opened line instead of using a closed stream.
BOOL FileAPI_CloseFile(void);

#endif
