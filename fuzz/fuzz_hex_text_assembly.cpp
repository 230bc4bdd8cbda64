// Whole HEX texts through the image assembly.
//
// The first input byte selects a mode, the rest is the text. In mode "odd"
// every record long enough to carry its checksum gets the right one written
// over its last two characters first, so that the fuzzer reaches the
// placement of data and address records (offsets, the end of the image
// buffer) instead of stopping at the first checksum. The text is assembled
// from an exact-size writable copy, so that a read past its NUL is caught;
// the image's 16 spare bytes must stay as allocated, and the image length
// must stay within the buffer.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "RavelinFwUpgrade.h"

namespace {

uint8_t hexValue(char c)
{
    if (c >= '0' && c <= '9') {
        return static_cast<uint8_t>(c - '0');
    }
    if (c >= 'A' && c <= 'F') {
        return static_cast<uint8_t>(c - 'A' + 10);
    }
    if (c >= 'a' && c <= 'f') {
        return static_cast<uint8_t>(c - 'a' + 10);
    }
    return 0;
}

uint8_t hexByte(const char *pair)
{
    return static_cast<uint8_t>(hexValue(pair[0]) * 16 + hexValue(pair[1]));
}

// Rewrites the checksum of the record that starts at `record` (just after its
// ':') and runs for `length` characters: 0 minus the count, address, type and
// data bytes, as the decoder sums them.
void fixChecksum(char *record, size_t length)
{
    if (length < 2) {
        return;
    }
    const uint8_t summed = static_cast<uint8_t>(hexByte(record) + 4);
    if (length < 2u * summed + 2) {
        return;
    }
    uint8_t sum = 0;
    for (uint8_t i = 0; i < summed; ++i) {
        sum = static_cast<uint8_t>(sum - hexByte(record + 2 * i));
    }
    static const char digits[] = "0123456789ABCDEF";
    record[length - 2] = digits[sum >> 4];
    record[length - 1] = digits[sum & 15];
}

void fixAllChecksums(char *text, size_t size)
{
    for (size_t i = 0; i < size; ++i) {
        if (text[i] != ':') {
            continue;
        }
        const size_t start = i + 1;
        size_t end = start;
        while (end < size && text[end] != ':' && text[end] != '\r' && text[end] != '\n' && text[end] != '\0') {
            ++end;
        }
        fixChecksum(text + start, end - start);
        i = end - 1;
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // The assembly reports every invalid line on the console.
    if (freopen("/dev/null", "w", stdout) == nullptr) {
        abort();
    }
    gDataConcatenated = static_cast<uint8_t *>(calloc(CONCAT_BUFFER_SIZE + CONCAT_BUFFER_SPARE, 1));
    if (gDataConcatenated == nullptr) {
        abort();
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0) {
        return 0;
    }
    const bool fixChecksums = (data[0] & 1) != 0;
    const size_t textSize = size - 1;
    char *text = static_cast<char *>(malloc(textSize + 1));
    memcpy(text, data + 1, textSize);
    text[textSize] = '\0';
    if (fixChecksums) {
        fixAllChecksums(text, textSize);
    }

    const BOOL assembled = ValidateFwAndConcatenateData(text);
    free(text);

    if (assembled != 0 && assembled != 1) {
        abort();
    }
    if (gDataConcatenatedLenght < 0 || gDataConcatenatedLenght > CONCAT_BUFFER_SIZE) {
        abort();
    }
    for (int i = 0; i < CONCAT_BUFFER_SPARE; ++i) {
        if (gDataConcatenated[CONCAT_BUFFER_SIZE + i] != 0) {
            abort();
        }
    }
    return 0;
}
