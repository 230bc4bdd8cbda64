// Arbitrary text through the Base64 decoder, into an output buffer whose
// capacity comes from the first two input bytes.
//
// The buffer is an exact-size heap block, so a write beyond the capacity is
// caught. The answers must agree with each other: success writes at most the
// capacity; a refusal that changes *dlen asks for more than the capacity,
// and that size then succeeds; a refusal that leaves *dlen alone is a bad
// text, which no capacity makes acceptable.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "Encoder.h"

namespace {

void check(bool condition)
{
    if (!condition) abort();
}

std::unique_ptr<unsigned char[]> exactBuffer(int capacity)
{
    std::unique_ptr<unsigned char[]> buffer(new unsigned char[capacity > 0 ? capacity : 1]);
    memset(buffer.get(), 0xA5, capacity > 0 ? capacity : 1);
    return buffer;
}

bool untouched(const unsigned char *buffer, int capacity)
{
    for (int k = 0; k < capacity; ++k) {
        if (buffer[k] != 0xA5) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2) {
        return 0;
    }
    const int capacity = (data[0] | (data[1] << 8)) % 4096;
    const int slen = static_cast<int>(size - 2);
    std::unique_ptr<unsigned char[]> text(new unsigned char[slen > 0 ? slen : 1]);
    memcpy(text.get(), data + 2, slen);

    std::unique_ptr<unsigned char[]> dst = exactBuffer(capacity);
    int dlen = capacity;
    const int status = base64_decode(dst.get(), &dlen, text.get(), slen);
    check(status == 0 || status == -1);

    if (status == 0) {
        check(dlen >= 0 && dlen <= capacity);
        return 0;
    }
    if (dlen == capacity) {
        check(untouched(dst.get(), capacity));
        const int roomy = 3 * slen / 4 + 8;
        std::unique_ptr<unsigned char[]> large = exactBuffer(roomy);
        int largeLength = roomy;
        check(base64_decode(large.get(), &largeLength, text.get(), slen) == -1);
        check(largeLength == roomy);
        return 0;
    }
    check(dlen > capacity);
    check(untouched(dst.get(), capacity));
    std::unique_ptr<unsigned char[]> sized = exactBuffer(dlen);
    int sizedLength = dlen;
    check(base64_decode(sized.get(), &sizedLength, text.get(), slen) == 0);
    check(sizedLength <= dlen);
    return 0;
}
