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

BOOL Console_ReadDecimal(int *value)
{
    fflush(stdout);
    int number = 0;
    if (scanf("%d", &number) != 1) {
        return 0;
    }
    *value = number;
    return 1;
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
