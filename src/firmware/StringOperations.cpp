#include "StringOperations.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "Console.h"

char capitalizeChar(char character)
{
    return (character >= 'a' && character <= 'z') ? static_cast<char>(character - 32) : character;
}

// Indexed by the byte as unsigned: rows of 16 from 0x00; only the rows of
// 0x30 (digits), 0x40 (A-F) and 0x60 (a-f) hold values.
const uint8_t HEX_DIGIT_VALUES[256] = {
     0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,
     0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,
     0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,
     0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  0,  0,  0,  0,  0,  0,
     0, 10, 11, 12, 13, 14, 15,  0,  0,  0,  0,  0,  0,  0,  0,  0,
     0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,
     0, 10, 11, 12, 13, 14, 15,  0,  0,  0,  0,  0,  0,  0,  0,  0,
     0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,
     0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,
     0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,
     0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,
     0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,
     0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,
     0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,
     0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,
     0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,
};

uint8_t u8_array_from_hex_string(uint8_t *outputArray, uint32_t arraySize, char *inputString)
{
    // Measured whole: a length cut to 16 bits would let a text of 64 Ki
    // characters or more pass the size check and be converted only in part.
    const size_t stringLength = strlen(inputString);
    if (arraySize < (stringLength + 1) / 2) {
        return 0;
    }
    for (size_t k = stringLength; k-- > 0;) {
        uint8_t value = int_from_hex_char(inputString[k]);
        if (k % 2 == 0) {
            value = static_cast<uint8_t>(value << 4);
        }
        outputArray[k / 2] = static_cast<uint8_t>(outputArray[k / 2] + value);
    }
    return 1;
}

static char **growTable(char **tab, size_t size)
{
    char **grown = static_cast<char **>(realloc(tab, size * sizeof(char *)));
    if (grown == nullptr) {
        Console_Line("Memoire insuffisante");
        free(tab);
        exit(EXIT_FAILURE);
    }
    return grown;
}

char **str_split(char *s, const char *ct)
{
    if (s == nullptr || ct == nullptr) {
        return nullptr;
    }
    char **tab = nullptr;
    size_t size = 1;
    int i = 0;
    for (char *token = strtok(s, ct); token != nullptr; token = strtok(nullptr, ct)) {
        if (static_cast<size_t>(i) + 1 >= size) {
            size *= 2;
            tab = growTable(tab, size);
        }
        tab[i] = token;
        ++i;
    }
    // A text without any token still gets a table, holding just the terminator.
    if (tab == nullptr) {
        tab = growTable(tab, size);
    }
    tab[i] = nullptr;
    return tab;
}

BOOL StrRemoveNL(char *str, char ch)
{
    const size_t length = strlen(str);
    for (size_t i = 0; i < length; ++i) {
        if (str[i] == '\n' || str[i] == '\r') {
            str[i] = ch;
        }
    }
    return 1;
}
