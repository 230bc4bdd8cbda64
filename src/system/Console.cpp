#include "Console.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

#include "Trace.h"

BOOL gWaitForKeyAtExit = 1;

// Standard input is the same on every platform; only the key wait, the
// discarding of typed-ahead input and the sleep need a backend.
void Console_Print(const char *format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    if (Trace_IsOn()) {
        va_list copy;
        va_copy(copy, arguments);
        const int length = vsnprintf(nullptr, 0, format, copy);
        va_end(copy);
        if (length > 0) {
            std::vector<char> text((size_t)length + 1);
            va_list again;
            va_copy(again, arguments);
            vsnprintf(text.data(), text.size(), format, again);
            va_end(again);
            Trace_Console(text.data(), (size_t)length);
        }
    }
    vprintf(format, arguments);
    va_end(arguments);
}

void Console_Line(const char *text)
{
    puts(text);
    Trace_Console(text, strlen(text));
    Trace_Console("\n", 1);
}

BOOL Console_ReadDecimal(int *value)
{
    // The prompt before the number has no line end.
    fflush(stdout);
    int number = 0;
    if (scanf("%d", &number) != 1) {
        return 0;
    }
    *value = number;
    return 1;
}

BOOL Console_InputEnded(void)
{
    return feof(stdin) || ferror(stdin) ? 1 : 0;
}

int dipsplayLastMessageToUserBeforeExit(const char *lastMessage)
{
    Console_Print("%s", lastMessage);
    if (!gWaitForKeyAtExit) {
        Console_Print("\r\n");
        return -1;
    }
    Console_Print("\r\nPress any key to exit");
    return Console_ReadKey();
}
