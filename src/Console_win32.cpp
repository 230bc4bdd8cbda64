// The console on Windows: _getch reads the console itself, not the standard
// input stream, and the Windows C runtime's fflush(stdin) drops what that
// stream has buffered.
#include "Console.h"

#include <conio.h>
#include <cstdio>

int Console_ReadKey(void)
{
    // The prompt before the wait usually has no line end.
    fflush(stdout);
    return _getch();
}

void Console_DiscardInput(void)
{
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    if (input != INVALID_HANDLE_VALUE && input != NULL && GetConsoleMode(input, &mode)) {
        FlushConsoleInputBuffer(input);
    }
    fflush(stdin);
}

void Console_SleepMs(unsigned int milliseconds)
{
    Sleep(milliseconds);
}
