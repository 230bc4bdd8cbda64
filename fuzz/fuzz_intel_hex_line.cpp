// Arbitrary bytes as one NUL-terminated HEX line (up to the first NUL),
// through every function of the line decoder and the hex text helpers.
//
// The line sits in a heap block of exactly its length plus the NUL, so any
// read past the NUL is caught. Each answer is checked against a plain
// reading of the record rules: digits by their ranges, the checksum from the
// last two characters, a line shorter than 11 + 2n characters invalid.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "IntelHex.h"
#include "StringOperations.h"

namespace {

uint8_t digit(char c)
{
    const signed char s = static_cast<signed char>(c);
    if (s >= '0' && s <= '9') return static_cast<uint8_t>(s - '0');
    if (s >= 'A' && s <= 'F') return static_cast<uint8_t>(s - 'A' + 10);
    if (s >= 'a' && s <= 'f') return static_cast<uint8_t>(s - 'a' + 10);
    return 0;
}

// The byte at `pos` of a text of `length` characters; a lone last character
// is the low nibble, and nothing is read at or past the end.
uint8_t byteAt(const char *text, size_t length, size_t pos)
{
    if (pos >= length) return 0;
    if (pos + 1 == length) return digit(text[pos]);
    return static_cast<uint8_t>(digit(text[pos]) * 16 + digit(text[pos + 1]));
}

uint8_t checksumOf(const char *text, size_t length, size_t count)
{
    uint8_t sum = 0;
    for (size_t i = 0; i < count; ++i) {
        sum = static_cast<uint8_t>(sum - byteAt(text, length, 2 * i));
    }
    return sum;
}

void check(bool condition)
{
    if (!condition) abort();
}

void checkHexHelpers(char *line, size_t length)
{
    for (size_t pos = 0; pos <= length; ++pos) {
        check(int_from_hex_char(line[pos]) == digit(line[pos]));
        check(u8_from_hex_string(line + pos) == byteAt(line, length, pos));
        const char upper = capitalizeChar(line[pos]);
        check(line[pos] >= 'a' && line[pos] <= 'z' ? upper == line[pos] - 32 : upper == line[pos]);
    }
    for (unsigned count = 0; count < 256; count += 37) {
        check(u8_checksum_from_hex_string(line, static_cast<uint8_t>(count)) == checksumOf(line, length, count));
    }

    // Exactly the bytes the text covers, added to a prefilled array; a lone
    // last digit is a high nibble here.
    const size_t measured = length;
    const size_t covered = (measured + 1) / 2;
    std::unique_ptr<uint8_t[]> bytes(new uint8_t[covered + 1]);
    memset(bytes.get(), 0x11, covered + 1);
    check(u8_array_from_hex_string(bytes.get(), static_cast<uint32_t>(covered), line) == 1);
    for (size_t k = 0; k < covered; ++k) {
        const uint8_t low = 2 * k + 1 < measured ? digit(line[2 * k + 1]) : 0;
        check(bytes[k] == static_cast<uint8_t>(0x11 + digit(line[2 * k]) * 16 + low));
    }
    check(bytes[covered] == 0x11);
    if (covered > 0) {
        memset(bytes.get(), 0x22, covered);
        check(u8_array_from_hex_string(bytes.get(), static_cast<uint32_t>(covered - 1), line) == 0);
        for (size_t k = 0; k < covered; ++k) check(bytes[k] == 0x22);
    }
}

void checkLineDecoder(char *line, size_t length)
{
    const uint8_t n = length >= 1 ? byteAt(line, length, 1) : 0;
    check(intel_hex_line_data_length(line) == n);
    check(intel_hex_start_code_present(line) == (line[0] == ':' ? 1 : 0));

    const uint8_t type = static_cast<uint8_t>((length > 8 ? line[8] : '\0') - '0');
    check(intel_hex_line_record_type(line) == type);
    check(intel_hex_line_is_data_record(line) == (type == INTEL_HEX_RECORD_DATA ? 1 : 0));
    check(intel_hex_line_is_extended_linear_address_record(line) ==
          (type == INTEL_HEX_RECORD_EXTENDED_LINEAR_ADDRESS ? 1 : 0));

    const bool valid = line[0] == ':' && length >= 11 + 2u * n &&
                       byteAt(line, length, length - 2) == checksumOf(line + 1, length - 1, static_cast<uint8_t>(n + 4));
    check(intel_hex_line_is_valid(line) == (valid ? INTEL_HEX_STRING_OK : INTEL_HEX_STRING_INVALID));

    const uint16_t address = intel_hex_line_address(line);
    uint8_t *data = new_u8_data_array_from_intel_hex_string(line);
    if (!valid) {
        check(address == 0);
        check(data == nullptr);
        return;
    }
    check(address == byteAt(line, length, 3) * 256 + byteAt(line, length, 5));
    check(data != nullptr);
    for (size_t i = 0; i < n; ++i) {
        check(data[i] == byteAt(line, length, 9 + 2 * i));
    }
    free(data);
}

void checkSplit(const char *line, size_t length)
{
    std::unique_ptr<char[]> text(new char[length + 1]);
    memcpy(text.get(), line, length + 1);
    char **table = str_split(text.get(), ":");
    check(table != nullptr);
    size_t tokens = 0;
    size_t characters = 0;
    for (; table[tokens] != nullptr; ++tokens) {
        const size_t tokenLength = strlen(table[tokens]);
        check(tokenLength > 0 && strchr(table[tokens], ':') == nullptr);
        check(table[tokens] >= text.get() && table[tokens] + tokenLength <= text.get() + length);
        characters += tokenLength;
    }
    size_t colons = 0;
    for (size_t k = 0; k < length; ++k) colons += line[k] == ':' ? 1 : 0;
    check(characters == length - colons);
    free(table);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const size_t length = strnlen(reinterpret_cast<const char *>(data), size);
    std::unique_ptr<char[]> line(new char[length + 1]);
    memcpy(line.get(), data, length);
    line[length] = '\0';

    checkHexHelpers(line.get(), length);
    checkLineDecoder(line.get(), length);
    checkSplit(line.get(), length);
    return 0;
}
