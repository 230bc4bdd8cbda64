#include "IntelHex.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "support/ExactText.h"

namespace {

struct FreeDeleter {
    void operator()(uint8_t *array) const { free(array); }
};
using DataArray = std::unique_ptr<uint8_t[], FreeDeleter>;

DataArray dataOf(const ExactText &line)
{
    return DataArray(new_u8_data_array_from_intel_hex_string(line.get()));
}

// The record text ":" + fields followed by the checksum of the bytes that
// the fields spell, pair by pair.
std::string withChecksum(const std::string &fields)
{
    unsigned sum = 0;
    for (size_t k = 0; k + 1 < fields.size(); k += 2) {
        sum += static_cast<unsigned>(std::stoul(fields.substr(k, 2), nullptr, 16));
    }
    char checksum[3];
    snprintf(checksum, sizeof checksum, "%02X", (0x100 - (sum & 0xFF)) & 0xFF);
    return ":" + fields + checksum;
}

TEST(IntelHexLine, EndOfFileRecord)
{
    const ExactText line(":00000001FF");
    EXPECT_EQ(intel_hex_line_is_valid(line.get()), INTEL_HEX_STRING_OK);
    EXPECT_EQ(intel_hex_start_code_present(line.get()), 1);
    EXPECT_EQ(intel_hex_line_data_length(line.get()), 0);
    EXPECT_EQ(intel_hex_line_record_type(line.get()), INTEL_HEX_RECORD_EOF);
    EXPECT_EQ(intel_hex_line_is_data_record(line.get()), 0);
    EXPECT_EQ(intel_hex_line_is_extended_linear_address_record(line.get()), 0);
}

TEST(IntelHexLine, DataRecordInEitherCase)
{
    for (const char *text : {":0400100001020304E2", ":0400100001020304e2", ":0a0010000102030405060708090aaf"}) {
        const ExactText line(text);
        ASSERT_EQ(intel_hex_line_is_valid(line.get()), INTEL_HEX_STRING_OK) << text;
        EXPECT_EQ(intel_hex_line_address(line.get()), 0x0010);
        EXPECT_EQ(intel_hex_line_record_type(line.get()), INTEL_HEX_RECORD_DATA);
        EXPECT_EQ(intel_hex_line_is_data_record(line.get()), 1);
        const uint8_t count = intel_hex_line_data_length(line.get());
        DataArray data = dataOf(line);
        ASSERT_NE(data, nullptr);
        for (uint8_t k = 0; k < count; ++k) {
            EXPECT_EQ(data[k], k + 1) << text;
        }
    }
    EXPECT_EQ(intel_hex_line_data_length(ExactText(":0a0010000102030405060708090aaf").get()), 10);
}

TEST(IntelHexLine, AddressIsHighByteThenLowByte)
{
    const ExactText line(withChecksum("01ABCD0077"));
    ASSERT_EQ(intel_hex_line_is_valid(line.get()), INTEL_HEX_STRING_OK);
    EXPECT_EQ(intel_hex_line_address(line.get()), 0xABCD);
}

TEST(IntelHexLine, ExtendedLinearAddressRecord)
{
    for (const char *text : {":020000040001F9", ":020000040001f9"}) {
        const ExactText line(text);
        ASSERT_EQ(intel_hex_line_is_valid(line.get()), INTEL_HEX_STRING_OK) << text;
        EXPECT_EQ(intel_hex_line_is_extended_linear_address_record(line.get()), 1);
        EXPECT_EQ(intel_hex_line_is_data_record(line.get()), 0);
        DataArray data = dataOf(line);
        ASSERT_NE(data, nullptr);
        EXPECT_EQ(data[0], 0);
        EXPECT_EQ(data[1], 1);
    }
}

TEST(IntelHexLine, EmptyValidRecordGivesANonNullArray)
{
    const ExactText line(withChecksum("00123400"));
    ASSERT_EQ(intel_hex_line_is_valid(line.get()), INTEL_HEX_STRING_OK);
    EXPECT_NE(dataOf(line), nullptr);
}

// The type is the character at position 8 alone; the one before it is never read.
TEST(IntelHexRecordType, ReadFromTheSecondTypeCharacterOnly)
{
    const ExactText fourteen(withChecksum("020000140001"));
    ASSERT_EQ(intel_hex_line_is_valid(fourteen.get()), INTEL_HEX_STRING_OK);
    EXPECT_EQ(intel_hex_line_record_type(fourteen.get()), 4);
    EXPECT_EQ(intel_hex_line_is_extended_linear_address_record(fourteen.get()), 1);

    const ExactText ten(withChecksum("0100001055"));
    ASSERT_EQ(intel_hex_line_is_valid(ten.get()), INTEL_HEX_STRING_OK);
    EXPECT_EQ(intel_hex_line_record_type(ten.get()), 0);
    EXPECT_EQ(intel_hex_line_is_data_record(ten.get()), 1);

    const ExactText hexLetter(withChecksum("0000000A"));
    EXPECT_EQ(intel_hex_line_record_type(hexLetter.get()), 17);
    EXPECT_EQ(intel_hex_line_is_data_record(hexLetter.get()), 0);
    EXPECT_EQ(intel_hex_line_is_extended_linear_address_record(hexLetter.get()), 0);
}

TEST(IntelHexValidity, ChecksumMismatchOrMissingStartCode)
{
    const ExactText offByOne(":0400100001020304E3");
    EXPECT_EQ(intel_hex_line_is_valid(offByOne.get()), INTEL_HEX_STRING_INVALID);
    EXPECT_EQ(intel_hex_line_address(offByOne.get()), 0);
    EXPECT_EQ(dataOf(offByOne), nullptr);
    EXPECT_EQ(intel_hex_line_data_length(offByOne.get()), 4);
    EXPECT_EQ(intel_hex_line_record_type(offByOne.get()), 0);

    for (const char *text : {"0400100001020304E2", ";0400100001020304E2", " :0400100001020304E2"}) {
        const ExactText line(text);
        EXPECT_EQ(intel_hex_start_code_present(line.get()), 0) << text;
        EXPECT_EQ(intel_hex_line_is_valid(line.get()), INTEL_HEX_STRING_INVALID) << text;
        EXPECT_EQ(dataOf(line), nullptr) << text;
    }
}

// The expected checksum is the byte spelled by the line's last two characters.
TEST(IntelHexValidity, ChecksumComesFromTheLastTwoCharacters)
{
    EXPECT_EQ(intel_hex_line_is_valid(ExactText(":0400100001020304E2 ").get()), INTEL_HEX_STRING_INVALID);
    EXPECT_EQ(intel_hex_line_is_valid(ExactText(":0400100001020304E2\r").get()), INTEL_HEX_STRING_INVALID);

    const ExactText tailSpellsChecksum(":0400100001020304E2xyzE2");
    EXPECT_EQ(intel_hex_line_is_valid(tailSpellsChecksum.get()), INTEL_HEX_STRING_OK);
    EXPECT_EQ(intel_hex_line_address(tailSpellsChecksum.get()), 0x0010);

    const ExactText wrongInPlaceRightAtEnd(":00000001AAFF");
    EXPECT_EQ(intel_hex_line_is_valid(wrongInPlaceRightAtEnd.get()), INTEL_HEX_STRING_OK);
}

TEST(IntelHexValidity, NonHexCharactersCountAsZero)
{
    // "0G" reads as 0x00, so the checksum of the bytes 00 00 00 00 is 00.
    EXPECT_EQ(intel_hex_line_is_valid(ExactText(":0G0000zz00").get()), INTEL_HEX_STRING_OK);
}

// n + 4 is an 8-bit count: from n = 252 on, the checksum covers only
// n + 4 - 256 bytes.
TEST(IntelHexValidity, ChecksumByteCountWrapsInEightBits)
{
    const std::string data(2 * 252, '1');
    EXPECT_EQ(intel_hex_line_is_valid(ExactText(":FC000000" + data + "00").get()), INTEL_HEX_STRING_OK);
    EXPECT_EQ(intel_hex_line_is_valid(ExactText(":FC000000" + data + "01").get()), INTEL_HEX_STRING_INVALID);
    // 255 + 4 wraps to 3: the count byte FF and two address bytes 00 00.
    const std::string full(2 * 255, '1');
    EXPECT_EQ(intel_hex_line_is_valid(ExactText(":FF000000" + full + "01").get()), INTEL_HEX_STRING_OK);
}

// Every proper prefix of a valid record is shorter than its count promises.
// The copies are exact-size heap blocks, so a read past the NUL shows under
// AddressSanitizer.
TEST(IntelHexShortLine, EveryPrefixOfARecordIsInvalidAndNotOverRead)
{
    for (const std::string &record : {std::string(":0400100001020304E2"), std::string(":00000001FF"),
                                     withChecksum("10000000" + std::string(32, 'A'))}) {
        for (size_t length = 0; length < record.size(); ++length) {
            const ExactText line(record.substr(0, length));
            EXPECT_EQ(intel_hex_line_is_valid(line.get()), INTEL_HEX_STRING_INVALID) << line.get();
            EXPECT_EQ(intel_hex_line_address(line.get()), 0) << line.get();
            EXPECT_EQ(dataOf(line), nullptr) << line.get();
            intel_hex_line_data_length(line.get());
            intel_hex_line_record_type(line.get());
            intel_hex_line_is_data_record(line.get());
            intel_hex_line_is_extended_linear_address_record(line.get());
            intel_hex_start_code_present(line.get());
        }
    }
}

// A short line whose checksum would happen to match is still invalid.
TEST(IntelHexShortLine, ShortLineIsInvalidEvenWhenTheSumsAgree)
{
    // Count 1 promises 13 characters; read short, the data byte would be
    // taken from the checksum characters themselves.
    EXPECT_EQ(intel_hex_line_is_valid(ExactText(":01000100FF").get()), INTEL_HEX_STRING_INVALID);
    EXPECT_EQ(intel_hex_line_is_valid(ExactText(":0").get()), INTEL_HEX_STRING_INVALID);
    EXPECT_EQ(intel_hex_line_is_valid(ExactText(":").get()), INTEL_HEX_STRING_INVALID);
    EXPECT_EQ(intel_hex_line_is_valid(ExactText("").get()), INTEL_HEX_STRING_INVALID);
}

TEST(IntelHexShortLine, FieldsOfShortLinesReadMissingCharactersAsTheNul)
{
    EXPECT_EQ(intel_hex_line_data_length(ExactText("").get()), 0);
    EXPECT_EQ(intel_hex_line_data_length(ExactText(":").get()), 0);
    EXPECT_EQ(intel_hex_line_data_length(ExactText(":7").get()), 7);
    EXPECT_EQ(intel_hex_line_data_length(ExactText(":1F").get()), 0x1F);
    EXPECT_EQ(intel_hex_line_record_type(ExactText(":0000000").get()), static_cast<uint8_t>(0 - '0'));
    EXPECT_EQ(intel_hex_line_record_type(ExactText(":00000004").get()), 4);
    EXPECT_EQ(intel_hex_line_is_data_record(ExactText("").get()), 0);
}

TEST(HexChecksum, TwosComplementOfTheByteSum)
{
    EXPECT_EQ(u8_checksum_from_hex_string(ExactText("0400100001020304").get(), 8), 0xE2);
    EXPECT_EQ(u8_checksum_from_hex_string(ExactText("0102").get(), 0), 0);
    EXPECT_EQ(u8_checksum_from_hex_string(ExactText("0102").get(), 1), 0xFF);
    EXPECT_EQ(u8_checksum_from_hex_string(ExactText("FFFF01").get(), 3), 0x01);
}

TEST(HexChecksum, BytesPastTheTextCountAsZero)
{
    EXPECT_EQ(u8_checksum_from_hex_string(ExactText("0107").get(), 200), 0xF8);
    EXPECT_EQ(u8_checksum_from_hex_string(ExactText("01F").get(), 2), 0xF0);
    EXPECT_EQ(u8_checksum_from_hex_string(ExactText("01F").get(), 255), 0xF0);
    EXPECT_EQ(u8_checksum_from_hex_string(ExactText("").get(), 255), 0);
}

}  // namespace
