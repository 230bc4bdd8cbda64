#include "StringOperations.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "support/ExactText.h"

namespace {

uint8_t referenceDigitValue(int signedChar)
{
    if (signedChar >= '0' && signedChar <= '9') return static_cast<uint8_t>(signedChar - '0');
    if (signedChar >= 'A' && signedChar <= 'F') return static_cast<uint8_t>(signedChar - 'A' + 10);
    if (signedChar >= 'a' && signedChar <= 'f') return static_cast<uint8_t>(signedChar - 'a' + 10);
    return 0;
}

TEST(HexDigit, EveryByteValueFollowsTheDigitRanges)
{
    for (int byte = 0; byte < 256; ++byte) {
        const char c = static_cast<char>(byte);
        EXPECT_EQ(int_from_hex_char(c), referenceDigitValue(static_cast<signed char>(c))) << "byte " << byte;
    }
    EXPECT_EQ(int_from_hex_char('F'), 15);
    EXPECT_EQ(int_from_hex_char('f'), 15);
    EXPECT_EQ(int_from_hex_char('G'), 0);
    EXPECT_EQ(int_from_hex_char(':'), 0);
    EXPECT_EQ(int_from_hex_char('/'), 0);
    EXPECT_EQ(int_from_hex_char('\0'), 0);
}

TEST(HexByte, ReadsTheFirstTwoCharactersOnly)
{
    EXPECT_EQ(u8_from_hex_string(ExactText("3A").get()), 0x3A);
    EXPECT_EQ(u8_from_hex_string(ExactText("3a").get()), 0x3A);
    EXPECT_EQ(u8_from_hex_string(ExactText("3AFF").get()), 0x3A);
    EXPECT_EQ(u8_from_hex_string(ExactText("ff").get()), 0xFF);
    EXPECT_EQ(u8_from_hex_string(ExactText("G1").get()), 1);
    EXPECT_EQ(u8_from_hex_string(ExactText("1G").get()), 16);
}

TEST(HexByte, ShortTextIsTheLowNibbleAndNeverOverRead)
{
    EXPECT_EQ(u8_from_hex_string(ExactText("").get()), 0);
    EXPECT_EQ(u8_from_hex_string(ExactText("7").get()), 7);
    EXPECT_EQ(u8_from_hex_string(ExactText("f").get()), 15);
}

TEST(HexArray, ConvertsIntoAZeroedArrayHighNibbleFirst)
{
    uint8_t two[2] = {0, 0};
    ASSERT_EQ(u8_array_from_hex_string(two, 2, ExactText("0102").get()), 1);
    EXPECT_EQ(two[0], 1);
    EXPECT_EQ(two[1], 2);

    uint8_t odd[2] = {0, 0};
    ASSERT_EQ(u8_array_from_hex_string(odd, 2, ExactText("ABC").get()), 1);
    EXPECT_EQ(odd[0], 0xAB);
    EXPECT_EQ(odd[1], 0xC0);
}

TEST(HexArray, AddsToWhatTheArrayHoldsWrappingInEightBits)
{
    uint8_t bytes[2] = {0, 0};
    ASSERT_EQ(u8_array_from_hex_string(bytes, 2, ExactText("0102").get()), 1);
    ASSERT_EQ(u8_array_from_hex_string(bytes, 2, ExactText("0101").get()), 1);
    EXPECT_EQ(bytes[0], 2);
    EXPECT_EQ(bytes[1], 3);

    ASSERT_EQ(u8_array_from_hex_string(bytes, 2, ExactText("FFFF").get()), 1);
    EXPECT_EQ(bytes[0], 1);
    EXPECT_EQ(bytes[1], 2);
}

TEST(HexArray, TooSmallAnArrayIsRefusedUntouched)
{
    // Exact-size heap arrays: a write past the size the call accepted shows
    // under AddressSanitizer.
    std::unique_ptr<uint8_t[]> one(new uint8_t[1]{0x55});
    EXPECT_EQ(u8_array_from_hex_string(one.get(), 1, ExactText("0102").get()), 0);
    EXPECT_EQ(one[0], 0x55);
    EXPECT_EQ(u8_array_from_hex_string(one.get(), 1, ExactText("ABC").get()), 0);
    EXPECT_EQ(one[0], 0x55);

    EXPECT_EQ(u8_array_from_hex_string(one.get(), 1, ExactText("A").get()), 1);
    EXPECT_EQ(one[0], 0x55 + 0xA0);
    EXPECT_EQ(u8_array_from_hex_string(nullptr, 0, ExactText("").get()), 1);
}

// 65,537 characters cover 32,769 bytes. Measured in 16 bits the text would
// look one character long, and the conversion would be reported done after
// one byte.
TEST(HexArray, LongTextIsMeasuredWhole)
{
    const ExactText text(std::string(65537, '1'));
    std::unique_ptr<uint8_t[]> one(new uint8_t[1]{0});
    EXPECT_EQ(u8_array_from_hex_string(one.get(), 1, text.get()), 0);
    EXPECT_EQ(one[0], 0);

    std::vector<uint8_t> all(32769, 0);
    ASSERT_EQ(u8_array_from_hex_string(all.data(), 32769, text.get()), 1);
    EXPECT_EQ(all[0], 0x11);
    EXPECT_EQ(all[32767], 0x11);
    EXPECT_EQ(all[32768], 0x10);
}

TEST(Capitalize, OnlyLowerCaseAsciiLettersChange)
{
    EXPECT_EQ(capitalizeChar('q'), 'Q');
    EXPECT_EQ(capitalizeChar('a'), 'A');
    EXPECT_EQ(capitalizeChar('z'), 'Z');
    EXPECT_EQ(capitalizeChar('Q'), 'Q');
    EXPECT_EQ(capitalizeChar('{'), '{');
    EXPECT_EQ(capitalizeChar('`'), '`');
    EXPECT_EQ(capitalizeChar(static_cast<char>(0xE9)), static_cast<char>(0xE9));
}

// Frees the table that str_split returns.
struct TableDeleter {
    void operator()(char **table) const { free(table); }
};
using Table = std::unique_ptr<char *[], TableDeleter>;

size_t entryCount(char **table)
{
    size_t count = 0;
    while (table[count] != nullptr) {
        ++count;
    }
    return count;
}

TEST(Split, CutsTheTextInPlaceAndPointsIntoIt)
{
    char text[] = "a::b:";
    Table table(str_split(text, ":"));
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table[0], text);
    EXPECT_EQ(table[1], text + 3);
    EXPECT_EQ(table[2], nullptr);
    EXPECT_EQ(std::string(text, sizeof text), std::string("a\0:b\0\0", 6));
}

TEST(Split, LeadingDelimitersAreSkippedButLeftInPlace)
{
    char text[] = "::ab;cd";
    Table table(str_split(text, ":;"));
    ASSERT_NE(table, nullptr);
    ASSERT_EQ(entryCount(table.get()), 2u);
    EXPECT_EQ(table[0], text + 2);
    EXPECT_STREQ(table[0], "ab");
    EXPECT_STREQ(table[1], "cd");
    EXPECT_EQ(text[0], ':');
    EXPECT_EQ(text[1], ':');
}

TEST(Split, NoTokenGivesATableOfOnlyTheTerminator)
{
    for (const char *source : {"", ":", ":::"}) {
        std::string text = source;
        Table table(str_split(text.data(), ":"));
        ASSERT_NE(table, nullptr) << '"' << source << '"';
        EXPECT_EQ(table[0], nullptr);
        EXPECT_EQ(text, source);
    }
}

TEST(Split, NullTextOrDelimitersGiveNull)
{
    char text[] = "a:b";
    EXPECT_EQ(str_split(nullptr, ":"), nullptr);
    EXPECT_EQ(str_split(text, nullptr), nullptr);
    EXPECT_STREQ(text, "a:b");
}

// The table's capacity doubles from 2 and always keeps one entry behind the
// last token: t tokens give the smallest power of two above t. Every entry up
// to that capacity is touched, so that AddressSanitizer reports a table that
// grew too little; the null sits right after the last token.
TEST(Split, TableCapacityDoublesAndKeepsRoomForTheTerminator)
{
    for (size_t tokens = 1; tokens <= 33; ++tokens) {
        std::string text;
        for (size_t k = 0; k < tokens; ++k) {
            text += ":t" + std::to_string(k);
        }
        Table table(str_split(text.data(), ":"));
        ASSERT_NE(table, nullptr);

        size_t capacity = 2;
        while (capacity <= tokens) {
            capacity *= 2;
        }
        std::vector<char *> entries(capacity);
        memcpy(entries.data(), table.get(), capacity * sizeof(char *));

        for (size_t k = 0; k < tokens; ++k) {
            ASSERT_NE(entries[k], nullptr);
            EXPECT_EQ(std::string(entries[k]), "t" + std::to_string(k));
        }
        EXPECT_EQ(entries[tokens], nullptr) << tokens << " tokens";
    }
}

TEST(Split, ThreeTokensFitFourEntriesAndFourTokensGetEight)
{
    char three[] = "x:y:z";
    Table small(str_split(three, ":"));
    char *fourEntries[4];
    memcpy(fourEntries, small.get(), sizeof fourEntries);
    EXPECT_EQ(fourEntries[2], three + 4);
    EXPECT_EQ(fourEntries[3], nullptr);

    char four[] = "w:x:y:z";
    Table grown(str_split(four, ":"));
    char *eightEntries[8];
    memcpy(eightEntries, grown.get(), sizeof eightEntries);
    EXPECT_EQ(eightEntries[3], four + 6);
    EXPECT_EQ(eightEntries[4], nullptr);
}

}  // namespace
