// What FileAPI needs from the operating system beyond C stdio, one file per
// platform: a file that is sure to be new, a flush to the storage device,
// a replacement of one name by another in one step, and the opening of a
// trace that never waits. Nothing outside FileAPI, Trace and WholeFile
// (and their tests) includes it. On failure each call leaves the
// system's reason for FileBackend_FailureReason().
#ifndef FILE_BACKEND_H
#define FILE_BACKEND_H

#include <cstdio>
#include <string>

#include "Platform.h"

// Creates a file that did not exist before, named `path` followed by a
// suffix of the platform's choosing, and opens it for binary writing; its
// name goes to `createdName`. Never opens or follows anything that exists
// already (a file, a link, a FIFO). Null on failure.
FILE *FileBackend_CreateNewBeside(const char *path, std::string &createdName);
// Creates the file `path`, which must not exist, and opens it for text
// writing; a link at that name is neither followed nor replaced. Null on
// failure, with `nameTaken` set when something already had the name.
FILE *FileBackend_CreateNew(const char *path, bool &nameTaken);
// Opens `path` for text writing, as a name the user chose: a regular file is
// created or emptied, a device or a FIFO is written as it is. Never waits: a
// FIFO that nobody reads fails at once, and a write that a pipe or a device
// cannot take at once fails. Null on failure.
FILE *FileBackend_OpenToWrite(const char *path);
// Has the system write what it holds of the stream's file to the storage
// device; the stream's own buffer must have been flushed.
BOOL FileBackend_Sync(FILE *stream);
// Gives the file `from` the name `to` in one step, replacing whatever `to`
// named: a file, a FIFO, or a symbolic link itself, never the link's target.
// Both names are in the same folder.
BOOL FileBackend_Replace(const char *from, const char *to);
// What a name holds now, without following a link.
enum class NameHolds { Nothing, RegularFile, Other };
// A link, a FIFO, a folder or a device is Other; so is a name that cannot be
// looked at, with the system's reason kept (the reason is empty otherwise).
NameHolds FileBackend_NameHolds(const char *path);
// Whether the two names lead to one file: the same file where both exist,
// otherwise the same name in the same folder (links followed). Sets no
// failure reason.
bool FileBackend_SameFile(const char *name, const char *other);
// Whether `path` names a serial port or another terminal device (a
// pseudo-terminal, a console other than this process's own), found out
// without opening it: opening a port can already change its lines. The
// process's controlling terminal is not one of them. Sets no failure reason.
bool FileBackend_NamesOtherTerminal(const char *path);
// The system's words for the last failure of the calls above.
const char *FileBackend_FailureReason(void);

#endif
