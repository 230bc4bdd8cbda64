// The console services the tool needs beyond stdio, one backend per platform.
// Reading a key and discarding input never wait on standard input that is a
// pipe, a file or /dev/null, and reading a number stops at end of input.
#ifndef CONSOLE_H
#define CONSOLE_H

#include <cstdio>

#include "Platform.h"

// The tool's console output: printf and puts to stdout, byte for byte, and
// a copy to the trace of the run when one is kept (see Trace.h).
#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
void Console_Print(const char *format, ...);
void Console_Line(const char *text);

// Called first thing in main(). On POSIX, opens /dev/null on any of standard
// input, output and error that the tool was started without, so that no port
// the tool opens can take descriptor 0, 1 or 2 (console lines would go to the
// unit, and the discarding of typed-ahead input would flush the serial line);
// and ignores SIGPIPE and SIGXFSZ, so that a console that went away (a pipe
// closed by its reader) or a file grown to the size limit (ulimit -f) fails
// the write, which the writer reports, and never stops an update half way.
// On Windows the C runtime keeps its three standard descriptors reserved
// even without a console, a port is a handle apart from them, and a write to
// a closed pipe only fails: there is nothing to do.
void Console_PrepareStandardStreams(void);
// Flushes stdout, so that a prompt without a line end shows, then waits for
// one key press without echo and returns its code. On POSIX it returns -1 at
// once when standard input is not a terminal (end of input, a pipe, a file,
// /dev/null); on Windows likewise when standard input is not the console,
// and _getch otherwise. On a POSIX terminal, SIGTERM, SIGHUP, SIGQUIT or
// SIGINT during the wait put the terminal settings back before the signal
// ends the process as it would have; a signal that was ignored stays ignored.
// SIGTSTP during the wait gives the terminal back as it was while the
// process is stopped, and the wait takes it again when it is continued.
int Console_ReadKey(void);
// Flushes stdout, then reads one decimal integer ("%d") from standard input
// into *value. Anything else, end of input included, leaves *value unchanged
// and returns 0.
BOOL Console_ReadDecimal(int *value);
// 1 once a read from standard input has met its end (or it is closed), so
// that a failed Console_ReadDecimal can tell "nobody is there" from a typo.
BOOL Console_InputEnded(void);
// Drops typed-ahead console input and what the stdin buffer holds. Never blocks.
void Console_DiscardInput(void);
void Console_SleepMs(unsigned int milliseconds);

// 0 ends a run without the "Press any key to exit" wait (an unattended run).
extern BOOL gWaitForKeyAtExit;
// The one way every run ends on the console: prints lastMessage, then
// "\r\nPress any key to exit", and waits for one key. With gWaitForKeyAtExit
// at 0 it ends lastMessage with "\r\n" instead and returns -1 without
// reading anything.
int dipsplayLastMessageToUserBeforeExit(const char *lastMessage);

// 1 when stdout is a terminal that redraws lines in place on ANSI cursor
// movement; on Windows this switches the console's virtual terminal
// processing on, and gives 0 where the console cannot do it.
BOOL Console_EnableCursorMovement(void);
// Gives the caller a stream of its own on what stdout is now, and sends
// whatever is printed to stdout from then on to the null device, so that a
// program reading the stream meets nothing else. Null, with stdout
// unchanged, when it cannot.
FILE *Console_DivertOutput(void);

#endif
