// One open file at a time, kept in a module-level stream. Every operation
// answers 1 or 0 and prints its own error line on failure. isBinary selects
// binary mode only when it is exactly 1. A write that the stream does not
// take whole, and a close that fails, answer 0 with the line
// "ERROR: Writing <file> failed: <the system's reason>".
#ifndef FILE_API_H
#define FILE_API_H

#include <cstdint>
#include <cstdio>
#include <string>

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

// Whether two names lead to one file: the same file where both exist,
// otherwise the same name in the same folder.
bool FileAPI_SameFile(const std::string &name, const std::string &other);
// A serial port or a terminal device other than the controlling terminal,
// told without opening it (see FileBackend_NamesOtherTerminal).
bool FileAPI_NamesOtherTerminal(const std::string &path);

// A file that takes the place of `fileName` only once it is whole. The
// writes go to a new file beside it (binary mode), and the commit flushes,
// syncs and closes that file, then gives it the name in one step. Until
// then, and whenever a step fails, whatever `fileName` names (a file, a
// FIFO, a symbolic link) is left as it was, never opened nor followed; a
// link is replaced by the file, its target is not touched.
// Fails with "ERROR: Creating a new <file> failed: <reason>".
BOOL FileAPI_CreateReplacement(const char *fileName);
// On failure prints "ERROR: Writing <file> failed: <reason>" (or
// "Replacing") and removes the new file.
BOOL FileAPI_CommitReplacement(void);
// Closes the stream if it is open and removes the new file: for a
// replacement whose writes failed, or that is not wanted after all.
void FileAPI_DiscardReplacement(void);

#endif
