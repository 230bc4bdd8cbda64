#include "Encoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace {

const unsigned char *bytesOf(const std::string &text)
{
    return reinterpret_cast<const unsigned char *>(text.data());
}

// An output buffer of exactly `capacity` bytes on the heap, prefilled with a
// marker, so that AddressSanitizer reports any write past the capacity and a
// test can tell untouched bytes.
class Output {
public:
    explicit Output(int capacity) : capacity_(capacity), bytes_(new unsigned char[capacity > 0 ? capacity : 1])
    {
        for (int k = 0; k < capacity_; ++k) {
            bytes_[k] = '#';
        }
    }
    unsigned char *get() { return bytes_.get(); }
    std::string text(int length) const { return std::string(reinterpret_cast<const char *>(bytes_.get()), length); }
    bool untouched() const
    {
        for (int k = 0; k < capacity_; ++k) {
            if (bytes_[k] != '#') return false;
        }
        return true;
    }

private:
    int capacity_;
    std::unique_ptr<unsigned char[]> bytes_;
};

// The source in a heap block of exactly its size (no NUL behind it), so
// that a read past slen shows under AddressSanitizer.
class Source {
public:
    explicit Source(const std::string &bytes) : bytes_(new unsigned char[bytes.size() + (bytes.empty() ? 1 : 0)])
    {
        std::copy(bytes.begin(), bytes.end(), bytes_.get());
    }
    const unsigned char *get() const { return bytes_.get(); }

private:
    std::unique_ptr<unsigned char[]> bytes_;
};

struct Result {
    int status;
    int dlen;
    std::string out;
};

Result encode(const std::string &data, int capacity)
{
    Output dst(capacity);
    int dlen = capacity;
    const int status = base64_encode(dst.get(), &dlen, Source(data).get(), static_cast<int>(data.size()));
    return {status, dlen, status == 0 ? dst.text(dlen) : std::string()};
}

Result decode(const std::string &text, int capacity)
{
    Output dst(capacity);
    int dlen = capacity;
    const int status = base64_decode(dst.get(), &dlen, Source(text).get(), static_cast<int>(text.size()));
    return {status, dlen, status == 0 ? dst.text(dlen) : std::string()};
}

TEST(Base64Encode, StandardVectors)
{
    const std::vector<std::pair<std::string, std::string>> vectors = {
        {"f", "Zg=="},         {"fo", "Zm8="},         {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},  {"fooba", "Zm9vYmE="},  {"foobar", "Zm9vYmFy"},
        {"\xff\xfe\xfd", "//79"}, {std::string("\0\0", 2), "AAA="},
    };
    for (const auto &[data, text] : vectors) {
        const Result r = encode(data, static_cast<int>(text.size()) + 1);
        EXPECT_EQ(r.status, 0) << text;
        EXPECT_EQ(r.dlen, static_cast<int>(text.size()));
        EXPECT_EQ(r.out, text);
    }
}

TEST(Base64Encode, WritesATerminatingNulThatIsNotCounted)
{
    Output dst(9);
    int dlen = 9;
    ASSERT_EQ(base64_encode(dst.get(), &dlen, bytesOf("fooba"), 5), 0);
    ASSERT_EQ(dlen, 8);
    EXPECT_EQ(dst.get()[8], '\0');
}

TEST(Base64Encode, CapacityMustHoldTheTextAndItsNul)
{
    for (const std::string data : {"a", "ab", "abc"}) {
        EXPECT_EQ(encode(data, 5).status, 0) << data;

        Output dst(4);
        int dlen = 4;
        EXPECT_EQ(base64_encode(dst.get(), &dlen, bytesOf(data), static_cast<int>(data.size())), -1);
        EXPECT_EQ(dlen, 5);
        EXPECT_TRUE(dst.untouched());
    }
    const Result seven = encode("abcdefg", 12);
    EXPECT_EQ(seven.status, -1);
    EXPECT_EQ(seven.dlen, 13);
}

TEST(Base64Encode, NothingToEncodeLeavesEverythingAsItWas)
{
    Output dst(4);
    int dlen = 4;
    EXPECT_EQ(base64_encode(dst.get(), &dlen, bytesOf("x"), 0), 0);
    EXPECT_EQ(dlen, 4);
    EXPECT_TRUE(dst.untouched());
}

// Sizes whose text length would overflow an int are refused before the
// source is read, so a one-byte source stands in for them.
TEST(Base64Encode, NegativeOrOversizedLengthIsRefused)
{
    for (int slen : {-1, -3, 1 << 28, (1 << 28) + 1, 0x7FFFFFFF}) {
        Output dst(8);
        int dlen = 8;
        EXPECT_EQ(base64_encode(dst.get(), &dlen, bytesOf("x"), slen), -1) << slen;
        EXPECT_EQ(dlen, 8);
        EXPECT_TRUE(dst.untouched());
    }
}

TEST(Base64Encode, LargestAcceptedLengthAsksForItsSizeWithoutOverflow)
{
    Output dst(1);
    int dlen = 1;
    EXPECT_EQ(base64_encode(dst.get(), &dlen, bytesOf("x"), (1 << 28) - 1), -1);
    EXPECT_EQ(dlen, 4 * (((1 << 28) - 1 + 2) / 3) + 1);
    EXPECT_TRUE(dst.untouched());
}

TEST(Base64Decode, StandardVectors)
{
    const std::vector<std::pair<std::string, std::string>> vectors = {
        {"Zg==", "f"},        {"Zm8=", "fo"},        {"Zm9v", "foo"},
        {"Zm9vYg==", "foob"}, {"Zm9vYmE=", "fooba"}, {"Zm9vYmFy", "foobar"},
        {"//79", "\xff\xfe\xfd"}, {"+/+/", "\xfb\xff\xbf"},
    };
    for (const auto &[text, data] : vectors) {
        const Result r = decode(text, 16);
        EXPECT_EQ(r.status, 0) << text;
        EXPECT_EQ(r.out, data) << text;
    }
}

TEST(Base64Decode, LineBreaksByCrLfOrLfAreIgnored)
{
    const std::string whole = decode("Zm9vYmFyZm9vYg==", 16).out;
    ASSERT_EQ(whole, "foobarfoob");
    EXPECT_EQ(decode("Zm9v\r\nYmFy\r\nZm9vYg==\r\n", 16).out, whole);
    EXPECT_EQ(decode("Zm9v\nYmFy\nZm9vYg==\n", 16).out, whole);
    EXPECT_EQ(decode("\nZm\n\n9vYm\r\n\r\nFyZm9vYg=\n=", 16).out, whole);
}

TEST(Base64Decode, OtherWhitespaceOrALoneCrIsInvalid)
{
    for (const std::string text : {"Zm9v YmFy", "Zm9v\tYmFy", "Zm9v\rYmFy", "Zm9vYmFy\r", "\r", "Zm9v\n\r"}) {
        const Result r = decode(text, 16);
        EXPECT_EQ(r.status, -1) << text;
        EXPECT_EQ(r.dlen, 16) << text;
    }
}

TEST(Base64Decode, CharactersOutsideTheAlphabetAreInvalid)
{
    const std::vector<std::string> texts = {"Zm9v-A==", "Zm9v_A==", "Zm9v\x80" "A==", std::string("Zm\0v", 4),
                                           "Zm9\xff"};
    for (const std::string &text : texts) {
        const Result r = decode(text, 16);
        EXPECT_EQ(r.status, -1) << text;
        EXPECT_EQ(r.dlen, 16) << text;
    }
}

TEST(Base64Decode, PaddingRules)
{
    EXPECT_EQ(decode("A===", 16).status, -1);
    EXPECT_EQ(decode("====", 16).status, -1);
    EXPECT_EQ(decode("AA==AAAA", 16).status, -1);
    EXPECT_EQ(decode("AAA=A", 16).status, -1);
    EXPECT_EQ(decode("AA=A", 16).status, -1);
    const Result rejected = decode("Zg==Zg==", 16);
    EXPECT_EQ(rejected.status, -1);
    EXPECT_EQ(rejected.dlen, 16);
}

TEST(Base64Decode, SizeNeededCountsPaddingAndDropsAnIncompleteGroup)
{
    const Result twoPad = decode("Zg==", 3);
    EXPECT_EQ(twoPad.status, 0);
    EXPECT_EQ(twoPad.out, "f");
    const Result tooSmall = decode("Zg==", 2);
    EXPECT_EQ(tooSmall.status, -1);
    EXPECT_EQ(tooSmall.dlen, 3);

    const Result six = decode("Zm9vYm", 5);
    EXPECT_EQ(six.status, 0);
    EXPECT_EQ(six.out, "foo");
    EXPECT_EQ(decode("Zm9vYm", 4).dlen, 5);

    const Result lineEndsNotCounted = decode("Zm\r\n9v\n", 3);
    EXPECT_EQ(lineEndsNotCounted.status, 0);
    EXPECT_EQ(lineEndsNotCounted.out, "foo");
}

TEST(Base64Decode, TooSmallABufferIsUntouched)
{
    Output dst(5);
    int dlen = 5;
    EXPECT_EQ(base64_decode(dst.get(), &dlen, bytesOf("Zm9vYmFy"), 8), -1);
    EXPECT_EQ(dlen, 6);
    EXPECT_TRUE(dst.untouched());
}

TEST(Base64Decode, NoCountedCharacterIsSuccessWithNothingWritten)
{
    for (const std::string text : {"", "\n", "\r\n\n"}) {
        Output dst(1);
        int dlen = 1;
        EXPECT_EQ(base64_decode(dst.get(), &dlen, bytesOf(text), static_cast<int>(text.size())), 0);
        EXPECT_EQ(dlen, 1);
        EXPECT_TRUE(dst.untouched());
    }
}

TEST(Base64Decode, NegativeLengthIsRefused)
{
    Output dst(4);
    int dlen = 4;
    EXPECT_EQ(base64_decode(dst.get(), &dlen, bytesOf("Zm9v"), -1), -1);
    EXPECT_EQ(dlen, 4);
    EXPECT_TRUE(dst.untouched());
}

TEST(Base64RoundTrip, EveryLengthAndByteValueComesBack)
{
    std::string data;
    for (int length = 1; length <= 300; ++length) {
        data += static_cast<char>((length * 37 + 11) & 0xFF);
        const int textSize = 4 * ((length + 2) / 3);
        const Result text = encode(data, textSize + 1);
        ASSERT_EQ(text.status, 0);
        ASSERT_EQ(text.dlen, textSize);
        const Result back = decode(text.out, (6 * textSize + 7) >> 3);
        ASSERT_EQ(back.status, 0) << length;
        ASSERT_EQ(back.out, data) << length;
    }
}

}  // namespace
