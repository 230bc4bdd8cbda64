// The console services the tool needs beyond stdio, one backend per platform.
#ifndef CONSOLE_H
#define CONSOLE_H

#include "Platform.h"

// Waits for one key press without echo and returns its code. Returns -1 at
// once at end of input or when there is no terminal or console to read.
int Console_ReadKey(void);
// Reads one decimal integer ("%d") from standard input into *value. Anything
// else leaves *value unchanged and returns 0.
BOOL Console_ReadDecimal(int *value);
// Drops typed-ahead console input and what the stdin buffer holds. Never blocks.
void Console_DiscardInput(void);
void Console_SleepMs(unsigned int milliseconds);

#endif
