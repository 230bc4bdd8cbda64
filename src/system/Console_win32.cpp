// The console on Windows: _getch reads the console itself, not the standard
// input stream, so the key wait first checks that standard input is the
// console; the Windows C runtime's fflush(stdin) drops what that stream has
// buffered.
#include "Console.h"

#include <conio.h>
#include <cstdio>
#include <fcntl.h>
#include <io.h>

#ifndef ENABLE_VIRTUAL_TERMINAL_PROCESSING
#define ENABLE_VIRTUAL_TERMINAL_PROCESSING 0x0004
#endif

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

BOOL Console_EnableCursorMovement(void)
{
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (output == INVALID_HANDLE_VALUE || output == NULL || !GetConsoleMode(output, &mode)) {
        return 0;
    }
    // Consoles older than Windows 10 refuse the mode: they get plain lines.
    return SetConsoleMode(output, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) ? 1 : 0;
}

FILE *Console_DivertOutput(void)
{
    fflush(stdout);
    const int events = _dup(_fileno(stdout));
    if (events < 0) {
        return nullptr;
    }
    // Events end their lines with "\n" alone on every platform.
    _setmode(events, _O_BINARY);
    FILE *stream = _fdopen(events, "wb");
    const int nullDevice = _open("NUL", _O_WRONLY);
    if (stream == nullptr || nullDevice < 0 || _dup2(nullDevice, _fileno(stdout)) != 0) {
        if (stream != nullptr) {
            fclose(stream);
        } else {
            _close(events);
        }
        if (nullDevice >= 0) {
            _close(nullDevice);
        }
        return nullptr;
    }
    _close(nullDevice);
    return stream;
}
