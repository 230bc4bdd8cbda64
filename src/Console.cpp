#include "Console.h"

#include <cstdio>

// Standard input is the same on every platform; only the key wait, the
// discarding of typed-ahead input and the sleep need a backend.
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
