// The trace of a run (--log FILE), for support to read after a failure in
// the field: one record a line, each stamped with the milliseconds since the
// trace began, and handed to the system as soon as it is made, so that a
// crash or an unplugged adapter leaves every record before it.
//
// What goes in: the ports opened and closed with their settings and every
// failure with the system's error (ComPortAPI), every command line written
// and every reply read as escaped text, image streams as one record a piece
// (count and time, never the bytes), and the console output, gathered into
// lines. With no trace open every call does nothing.
#ifndef TRACE_H
#define TRACE_H

#include <cstddef>
#include <cstdio>
#include <string>

// A read or write record shows at most this many bytes of what went over
// the wire; the count says how many more there were.
#define TRACE_BYTES_SHOWN 4096

// Creates or empties FILE and starts the clock. Never waits: a FIFO that
// nobody reads is refused at once. False, with the system's reason in
// `error`, when it cannot be opened for writing.
bool Trace_Open(const std::string &path, std::string &error);
// Writes what the console left without a line end, then closes the file.
void Trace_Close(void);

// A trace that stops taking records (a full disk, /dev/full) never stops
// the run: the records end there, and the first failure is told once on
// stderr as "WARNING: the trace "FILE" is incomplete: <reason>".
// True once that happened, with the reason.
bool Trace_Incomplete(std::string &reason);
// Reads such a warning back, as the rack does from its children's output.
bool Trace_ParseIncompleteWarning(const std::string &line, std::string &reason);

// Creates a trace file of the tool's own naming: `path`, or when that name
// is taken (by a file, a link, anything) the same with -2, -3... before its
// extension. A link is never followed and nothing existing is touched. The
// file is returned empty and open for the caller to close; the name used
// goes to `created`. Null, with the system's reason, when none could be
// created.
FILE *Trace_CreateNew(const std::string &path, std::string &created, std::string &error);
bool Trace_IsOn(void);
// Milliseconds since the trace was opened (0 when none is).
long long Trace_Millis(void);

// One record of free text.
void Trace_Note(const std::string &text);
// Bytes as text: printable ASCII as it is, quotes and backslashes escaped,
// CR, LF, tab and backspace as \r \n \t \b, everything else as \xHH.
std::string Trace_Escape(const void *bytes, size_t count);

// Console output as the operator sees it; a record for each line.
void Trace_Console(const char *text, size_t length);

// The next writes are the pieces of an image stream of `totalBytes`: each is
// recorded with its count and time, without its bytes, until the next read
// or close ends the stream with a summary.
void Trace_StreamBegin(long long totalBytes);
// A write of `requested` bytes of which `written` went out in `ms`; `error`
// is the system's reason when it failed, empty otherwise.
void Trace_Written(const void *bytes, int requested, int written, long long ms, const std::string &error);
// A read that returned `count` bytes after `ms`; `error` as for a write.
void Trace_Read(const void *bytes, int count, long long ms, const std::string &error);

#endif
