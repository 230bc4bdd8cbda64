// Hex text and string helpers over NUL-terminated 8-bit text.
//
// A character that is not a hex digit counts as the value 0; nothing here
// reports bad hex. Characters are compared as signed 8-bit values, so bytes
// from 0x80 upwards match no range.
#ifndef STRING_OPERATIONS_H
#define STRING_OPERATIONS_H

#include <cstdint>

// 'a'..'z' to upper case; every other character unchanged.
char capitalizeChar(char character);

// Value 0..15 of one hex digit (either case); 0 for anything else.
uint8_t int_from_hex_char(char aChar);

// The byte spelled by the first two characters of inputString. A text of
// fewer than two characters gives the value of its first character alone
// (a lone digit is the low nibble; "" gives 0).
uint8_t u8_from_hex_string(char *inputString);

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

#endif
