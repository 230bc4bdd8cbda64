// The console on Windows: _getch reads the console itself, not the standard
// input stream, so the key wait first checks that standard input is the
// console; the Windows C runtime's fflush(stdin) drops what that stream has
// buffered.
#include "Console.h"

#include <conio.h>
#include <cstdio>

namespace {

bool inputIsConsole(void)
{
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    return input != INVALID_HANDLE_VALUE && input != NULL && GetConsoleMode(input, &mode);
}

}  // namespace

void Console_PrepareStandardStreams(void)
{
}

int Console_ReadKey(void)
{
    // The prompt before the wait usually has no line end.
    fflush(stdout);
    // _getch would read the console even with standard input redirected: a
    // script that feeds the tool a pipe or a file is not there to press a key.
    if (!inputIsConsole()) {
        return -1;
    }
    return _getch();
}

void Console_DiscardInput(void)
{
    if (inputIsConsole()) {
        FlushConsoleInputBuffer(GetStdHandle(STD_INPUT_HANDLE));
    }
    fflush(stdin);
}

void Console_SleepMs(unsigned int milliseconds)
{
    Sleep(milliseconds);
}
