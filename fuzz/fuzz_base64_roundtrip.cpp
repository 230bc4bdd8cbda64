// Arbitrary bytes through the Base64 encoder and back through the decoder.
//
// The encoder gets exactly 4 * ceil(n / 3) + 1 bytes and must fill them with
// alphabet characters, the padding and the NUL; one byte less is refused
// with that size asked for. The decoder gets exactly the size it asks for,
// ceil(6 * length / 8), and must give back the input, also when the text is
// broken into lines by CR LF or LF.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "Encoder.h"

namespace {

void check(bool condition)
{
    if (!condition) abort();
}

bool isAlphabet(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '/';
}

void checkDecodesTo(const std::string &text, int decodedSize, const uint8_t *data, size_t size)
{
    std::unique_ptr<unsigned char[]> source(new unsigned char[text.size()]);
    memcpy(source.get(), text.data(), text.size());
    std::unique_ptr<unsigned char[]> back(new unsigned char[decodedSize]);
    int backLength = decodedSize;
    check(base64_decode(back.get(), &backLength, source.get(), static_cast<int>(text.size())) == 0);
    check(backLength == static_cast<int>(size));
    check(memcmp(back.get(), data, size) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0) {
        return 0;
    }
    const int slen = static_cast<int>(size);
    const int textLength = 4 * ((slen + 2) / 3);

    std::unique_ptr<unsigned char[]> small(new unsigned char[textLength]);
    int smallLength = textLength;
    check(base64_encode(small.get(), &smallLength, data, slen) == -1);
    check(smallLength == textLength + 1);

    std::unique_ptr<unsigned char[]> encoded(new unsigned char[textLength + 1]);
    int encodedLength = textLength + 1;
    check(base64_encode(encoded.get(), &encodedLength, data, slen) == 0);
    check(encodedLength == textLength);
    check(encoded[textLength] == '\0');
    const int padding = (3 - slen % 3) % 3;
    for (int k = 0; k < textLength; ++k) {
        check(k < textLength - padding ? isAlphabet(encoded[k]) : encoded[k] == '=');
    }

    const std::string text(reinterpret_cast<const char *>(encoded.get()), textLength);
    // The '=' count in the size asked for, so the last group asks for up to
    // two bytes more than it yields.
    const int decodedSize = (6 * textLength + 7) >> 3;
    checkDecodesTo(text, decodedSize, data, size);

    const size_t lineLength = 1 + data[0] % 76;
    std::string crlf;
    std::string lf;
    for (size_t pos = 0; pos < text.size(); pos += lineLength) {
        crlf += text.substr(pos, lineLength) + "\r\n";
        lf += text.substr(pos, lineLength) + "\n";
    }
    checkDecodesTo(crlf, decodedSize, data, size);
    checkDecodesTo(lf, decodedSize, data, size);
    return 0;
}
