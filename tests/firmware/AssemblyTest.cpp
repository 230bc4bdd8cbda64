// Binary image assembly and the image checksum, on small HEX texts.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "FirmwareTestSupport.h"
#include "RavelinFwUpgrade.h"

namespace {

const std::string kFailureHead = "\r\n intel_hex_line_is_valid \r\n";

class Assembly : public SessionBuffers {
protected:
    // Assembles a writable copy of `text`, keeping what it printed.
    int assemble(const std::string &text)
    {
        text_.assign(text.begin(), text.end());
        text_.push_back('\0');
        ::testing::internal::CaptureStdout();
        const int result = ValidateFwAndConcatenateData(text_.data());
        printed_ = ::testing::internal::GetCapturedStdout();
        return result;
    }

    std::vector<uint8_t> image(size_t from, size_t to) const
    {
        return std::vector<uint8_t>(gDataConcatenated + from, gDataConcatenated + to);
    }
    static std::vector<uint8_t> fill(size_t count) { return std::vector<uint8_t>(count, 0xFF); }

    // Every byte of the 4 MiB area outside [from, to) is 0xFF and the spare
    // bytes behind it are still 0.
    void expectUntouchedOutside(size_t from, size_t to) const
    {
        EXPECT_EQ(image(0, from), fill(from));
        EXPECT_EQ(image(to, CONCAT_BUFFER_SIZE), fill(CONCAT_BUFFER_SIZE - to));
        EXPECT_EQ(image(CONCAT_BUFFER_SIZE, CONCAT_BUFFER_SIZE + CONCAT_BUFFER_SPARE),
                  std::vector<uint8_t>(CONCAT_BUFFER_SPARE, 0));
    }

    std::vector<char> text_;
    std::string printed_;
};

TEST_F(Assembly, SmallTextGivesItsImageLengthAndChecksum)
{
    ASSERT_EQ(assemble(":0400100001020304E2\r\n:00000001FF\r\n"), 1);
    EXPECT_EQ(printed_, "");
    EXPECT_EQ(image(16, 20), (std::vector<uint8_t>{1, 2, 3, 4}));
    expectUntouchedOutside(16, 20);
    EXPECT_EQ(gDataConcatenatedLenght, 20);
    EXPECT_EQ(computeImageCheckSum(), 4294963206u);
    EXPECT_EQ(gDataConcatenatedCheckSum, 4294963206u);
}

TEST_F(Assembly, OffsetComesFromBits16To23OfTheExtendedLinearAddress)
{
    for (const char *ela : {":020000040001F9\r\n", ":02000004800179\r\n"}) {
        SCOPED_TRACE(ela);
        ASSERT_EQ(assemble(std::string(ela) + ":02000000ABCD86\r\n:00000001FF\r\n"), 1);
        EXPECT_EQ(image(65536, 65538), (std::vector<uint8_t>{0xAB, 0xCD}));
        expectUntouchedOutside(65536, 65538);
        EXPECT_EQ(gDataConcatenatedLenght, 65538);
    }
}

TEST_F(Assembly, OtherRecordTypesChangeNothing)
{
    ASSERT_EQ(assemble(":020000021000EC\r\n:0400000300001000E9\r\n:0400000580008101F5\r\n"
                       ":02000000ABCD86\r\n:00000001FF\r\n"),
              1);
    EXPECT_EQ(image(0, 2), (std::vector<uint8_t>{0xAB, 0xCD}));
    expectUntouchedOutside(0, 2);
}

TEST_F(Assembly, LengthIsTheEndOfTheLastRecordInTextOrder)
{
    // The second record lies below the first and overwrites part of it; a
    // data record behind the end-of-file record still counts.
    ASSERT_EQ(assemble(":0400100001020304E2\r\n:00000001FF\r\n:02001200AABB87\r\n"), 1);
    EXPECT_EQ(image(16, 20), (std::vector<uint8_t>{1, 2, 0xAA, 0xBB}));
    EXPECT_EQ(gDataConcatenatedLenght, 20);
    ASSERT_EQ(assemble(":0400100001020304E2\r\n:02000800AABB91\r\n"), 1);
    EXPECT_EQ(gDataConcatenatedLenght, 10);
}

TEST_F(Assembly, LfOnlyAndBlankLinesAssembleLikeCrLf)
{
    ASSERT_EQ(assemble(":020000040001F9\r\n:0400100001020304E2\r\n:00000001FF\r\n"), 1);
    const std::vector<uint8_t> reference = image(0, CONCAT_BUFFER_SIZE);
    for (const char *text : {":020000040001F9\n:0400100001020304E2\n:00000001FF\n",
                             ":020000040001F9\r\n\r\n:0400100001020304E2\n\n\n:00000001FF\r\n\r\n"}) {
        ASSERT_EQ(assemble(text), 1);
        EXPECT_EQ(gDataConcatenatedLenght, 65536 + 20);
        EXPECT_TRUE(image(0, CONCAT_BUFFER_SIZE) == reference);
    }
}

TEST_F(Assembly, TheTextIsConsumedSoASecondRunSeesOnlyItsFirstRecord)
{
    assemble(":020000040001F9\r\n:0400100001020304E2\r\n:00000001FF\r\n");
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(ValidateFwAndConcatenateData(text_.data()), 1);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(gDataConcatenatedLenght, 0);
    expectUntouchedOutside(0, 0);

    assemble(":0400100001020304E2\r\n:02001400AABB85\r\n");
    EXPECT_EQ(ValidateFwAndConcatenateData(text_.data()), 1);
    EXPECT_EQ(gDataConcatenatedLenght, 20);
    expectUntouchedOutside(16, 20);
}

TEST_F(Assembly, BadLineStopsTheAssemblyAndKeepsTheRecordsBeforeIt)
{
    const std::string bad = ":0200200011220B";
    ASSERT_EQ(assemble(":0400100001020304E2\r\n:02001400AABB85\r\n" + bad + "\r\n:02003000CCDD25\r\n"), 0);
    EXPECT_EQ(printed_, kFailureHead + bad + "\r\n");
    EXPECT_EQ(image(16, 22), (std::vector<uint8_t>{1, 2, 3, 4, 0xAA, 0xBB}));
    expectUntouchedOutside(16, 22);
    EXPECT_EQ(gDataConcatenatedLenght, 22);

    ASSERT_EQ(assemble(":020000040001F9\r\n:00000001FF\r\n" + bad + "\r\n"), 0);
    EXPECT_EQ(gDataConcatenatedLenght, 0);
    expectUntouchedOutside(0, 0);
}

TEST_F(Assembly, RecordsMustEndWithinTheImageBuffer)
{
    // 0x3FFFF0 + 16 ends exactly at 4 MiB; 0x3FFFF8 + 16 would run 8 bytes past it.
    const std::string lastSegment = ":02000004003FBB\r\n";
    const std::string lastRecord = ":10FFF000000102030405060708090A0B0C0D0E0F89";
    ASSERT_EQ(assemble(lastSegment + lastRecord + "\r\n:00000001FF\r\n"), 1);
    EXPECT_EQ(gDataConcatenatedLenght, CONCAT_BUFFER_SIZE);
    EXPECT_EQ(gDataConcatenated[CONCAT_BUFFER_SIZE - 1], 0x0F);
    expectUntouchedOutside(CONCAT_BUFFER_SIZE - 16, CONCAT_BUFFER_SIZE);

    const std::string pastTheEnd = ":10FFF800000102030405060708090A0B0C0D0E0F81";
    ASSERT_EQ(assemble(lastSegment + pastTheEnd + "\r\n:00000001FF\r\n"), 0);
    EXPECT_EQ(printed_, kFailureHead + pastTheEnd + "\r\n");
    EXPECT_EQ(gDataConcatenatedLenght, 0);
    expectUntouchedOutside(CONCAT_BUFFER_SIZE, CONCAT_BUFFER_SIZE);
}

std::string dataRecord(size_t count)
{
    char head[10];
    std::snprintf(head, sizeof head, ":%02X000000", static_cast<unsigned>(count));
    std::string line = head;
    unsigned sum = static_cast<unsigned>(count);
    for (size_t i = 0; i < count; ++i) {
        line += "11";
        sum += 0x11;
    }
    char checksum[3];
    std::snprintf(checksum, sizeof checksum, "%02X", (0x100 - (sum & 0xFF)) & 0xFF);
    return line + checksum;
}

TEST_F(Assembly, LinesTooLongForTheLineBufferAreRefused)
{
    // 43 data bytes and CR LF fill the 100-character line buffer.
    ASSERT_EQ(assemble(dataRecord(43) + "\r\n:00000001FF\r\n"), 1);
    EXPECT_EQ(gDataConcatenatedLenght, 43);

    // The last: a 16-byte record padded with zeros to 120 characters, valid
    // by its last two characters whether it is read whole or cut at 99.
    const std::string padded = ":10000000" + std::string(30, '0') + "F000" + std::string(77, '0');
    for (const std::string &line : {dataRecord(60), dataRecord(255), padded}) {
        SCOPED_TRACE(line);
        ASSERT_EQ(assemble(":0400100001020304E2\r\n" + line + "\r\n:00000001FF\r\n"), 0);
        ASSERT_GE(printed_.size(), kFailureHead.size() + 2);
        EXPECT_EQ(printed_.substr(0, kFailureHead.size()), kFailureHead);
        EXPECT_EQ(printed_.substr(printed_.size() - 2), "\r\n");
        EXPECT_LT(printed_.size(), kFailureHead.size() + 100 + 2);
        EXPECT_EQ(gDataConcatenatedLenght, 20);
        expectUntouchedOutside(16, 20);
    }
}

TEST_F(Assembly, ExtendedLinearAddressWithoutTwoBytesIsRefused)
{
    for (const char *ela : {":0100000400FB", ":00000004FC"}) {
        SCOPED_TRACE(ela);
        ASSERT_EQ(assemble(":0400100001020304E2\r\n" + std::string(ela) + "\r\n:02000000ABCD86\r\n"), 0);
        EXPECT_EQ(printed_, kFailureHead + ela + "\r\n");
        EXPECT_EQ(gDataConcatenatedLenght, 20);
        expectUntouchedOutside(16, 20);
    }
}

TEST_F(Assembly, TextWithoutRecordsGivesNoImage)
{
    for (const char *text : {"", ":", ":::"}) {
        SCOPED_TRACE(text);
        const int result = assemble(text);
        if (result == 1)
            EXPECT_EQ(printed_, "");
        else
            EXPECT_EQ(printed_, "\r\nNUL extractedHexLine \r\n");
        EXPECT_EQ(gDataConcatenatedLenght, 0);
        expectUntouchedOutside(0, 0);
    }
}

TEST_F(Assembly, ChecksumCoversExactlyTheImageLength)
{
    gDataConcatenatedLenght = 0;
    EXPECT_EQ(computeImageCheckSum(), 0u);
    std::memset(gDataConcatenated, 0xFF, CONCAT_BUFFER_SIZE);
    gDataConcatenated[3] = 0x01;
    gDataConcatenatedLenght = 4;
    EXPECT_EQ(computeImageCheckSum(), 0u - (3u * 255u + 1u));
    gDataConcatenatedLenght = CONCAT_BUFFER_SIZE;
    EXPECT_EQ(computeImageCheckSum(), 0u - ((CONCAT_BUFFER_SIZE - 1u) * 255u + 1u));
}

}  // namespace
