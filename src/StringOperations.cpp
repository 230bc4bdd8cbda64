#include "StringOperations.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

char capitalizeChar(char character)
{
    return (character >= 'a' && character <= 'z') ? static_cast<char>(character - 32) : character;
}

uint8_t int_from_hex_char(char aChar)
{
    if (aChar >= '0' && aChar <= '9') {
        return static_cast<uint8_t>(aChar - 48);
    }
    if (aChar >= 'A' && aChar <= 'F') {
        return static_cast<uint8_t>(aChar - 55);
    }
    if (aChar >= 'a' && aChar <= 'f') {
        return static_cast<uint8_t>(aChar - 87);
    }
    return 0;
}

uint8_t u8_from_hex_string(char *inputString)
{
    // Only the first two characters matter, so there is no need to measure
    // the whole rest of the text: a NUL in either place means "shorter than 2".
    if (inputString[0] == '\0' || inputString[1] == '\0') {
        return int_from_hex_char(inputString[0]);
    }
    return static_cast<uint8_t>(int_from_hex_char(inputString[0]) * 16 + int_from_hex_char(inputString[1]));
}

uint8_t u8_array_from_hex_string(uint8_t *outputArray, uint32_t arraySize, char *inputString)
{
    const uint16_t stringLength = static_cast<uint16_t>(strlen(inputString));
    if (arraySize < (static_cast<uint32_t>(stringLength) + 1) / 2) {
        return 0;
    }
    for (int k = stringLength - 1; k >= 0; --k) {
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
        puts("Memoire insuffisante");
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
