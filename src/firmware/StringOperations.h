// Hex text and string helpers over NUL-terminated 8-bit text.
//
// A character that is not a hex digit counts as the value 0; nothing here
// reports bad hex. Characters are compared as signed 8-bit values, so bytes
// from 0x80 upwards match no range.
#ifndef STRING_OPERATIONS_H
#define STRING_OPERATIONS_H

#include <cstdint>

#include "Platform.h"

// 'a'..'z' to upper case; every other character unchanged.
char capitalizeChar(char character);

// The value of every byte read as a hex digit: 0..15 for '0'-'9', 'A'-'F'
// and 'a'-'f', 0 for anything else. The two readers below are inline table
// look-ups because image assembly calls them for every character of a
// multi-megabyte HEX text.
extern const uint8_t HEX_DIGIT_VALUES[256];

// Value 0..15 of one hex digit (either case); 0 for anything else.
inline uint8_t int_from_hex_char(char aChar)
{
    return HEX_DIGIT_VALUES[static_cast<uint8_t>(aChar)];
}

// The byte spelled by the first two characters of inputString. A text of
// fewer than two characters gives the value of its first character alone
// (a lone digit is the low nibble; "" gives 0). Nothing past the text's NUL
// is read.
inline uint8_t u8_from_hex_string(char *inputString)
{
    if (inputString[0] == '\0' || inputString[1] == '\0') {
        return int_from_hex_char(inputString[0]);
    }
    return static_cast<uint8_t>(int_from_hex_char(inputString[0]) * 16 + int_from_hex_char(inputString[1]));
}

// Adds (does not assign) the bytes spelled by inputString into outputArray,
// characters 2k and 2k+1 making byte k, high nibble first. Returns 0 and
// writes nothing when arraySize cannot hold ceil(length / 2) bytes, else 1.
uint8_t u8_array_from_hex_string(uint8_t *outputArray, uint32_t arraySize, char *inputString);

// Splits s in place with strtok on the delimiter set ct and returns a heap
// table of pointers into s, ended by a null entry; the caller frees the table.
// Table capacity doubles from 2 and always keeps one entry free behind the
// last token. Null s or ct gives null. A text with no token at all gives a
// table holding only the null entry, so that an empty text assembles to an
// empty image. Not re-entrant (strtok). Out of memory prints
// "Memoire insuffisante" and ends the program with a failure status.
char **str_split(char *s, const char *ct);

// Overwrites every CR and LF up to the NUL that ended str on entry with ch.
BOOL StrRemoveNL(char *str, char ch);

#endif
