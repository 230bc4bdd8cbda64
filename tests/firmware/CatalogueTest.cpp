// The embedded catalogue against the files the build embedded: its records,
// the texts' form and layout, and the private copies the tool assembles.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "BinImage.h"
#include "FirmwareTestSupport.h"
#include "HexTextShape.h"
#include "RavelinFwUpgrade.h"

namespace {

std::string entryText(int index)
{
    return std::string(AUTOGEN_FILES[index].fileData, static_cast<size_t>(AUTOGEN_FILES[index].fileDataLength));
}

TEST(Catalogue, RecordsDescribeTheEmbeddedFiles)
{
    const char *const arrays[3] = {M418260_MCU_61_1_02_hex, M418260_TX_XC7A75_1_02_mcs, M418260_RX_XC7A75_1_02_mcs};
    ASSERT_EQ(sizeof AUTOGEN_FILES / sizeof AUTOGEN_FILES[0], 3u);
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(kCatalogueNames[i]);
        const autogen_files &entry = AUTOGEN_FILES[i];
        std::string padded = kCatalogueNames[i];
        EXPECT_EQ(static_cast<size_t>(entry.filePathLength), padded.size());
        padded.resize(sizeof entry.filePath, '\0');
        EXPECT_EQ(std::string(entry.filePath, sizeof entry.filePath), padded);
        EXPECT_EQ(entry.fileData, arrays[i]);

        const std::string file = embeddedFile(i);
        ASSERT_EQ(static_cast<size_t>(entry.fileDataLength), file.size());
        EXPECT_TRUE(entryText(i) == file) << "the array differs from the file";
        EXPECT_EQ(entry.fileData[entry.fileDataLength], '\0');
        EXPECT_EQ(std::strlen(entry.fileData), file.size()) << "a NUL inside the text";
    }
}

TEST(Catalogue, TxAndRxHoldTheSameTextInSeparateArrays)
{
    ASSERT_EQ(AUTOGEN_FILES[1].fileDataLength, AUTOGEN_FILES[2].fileDataLength);
    EXPECT_NE(AUTOGEN_FILES[1].fileData, AUTOGEN_FILES[2].fileData);
    EXPECT_EQ(std::memcmp(AUTOGEN_FILES[1].fileData, AUTOGEN_FILES[2].fileData,
                          static_cast<size_t>(AUTOGEN_FILES[1].fileDataLength)),
              0);
}

TEST(Catalogue, McuTextHasTheFirmwareLayout)
{
    const HexTextShape shape = readHexTextShape(entryText(CATALOGUE_MCU_FIRMWARE));
    ASSERT_EQ(shape.fault, "");
    EXPECT_EQ(shape.upperAddresses, (std::vector<uint16_t>{0x8000, 0x8001}));
    EXPECT_EQ(shape.firstDataAddress, 0x80008000u);
    EXPECT_EQ(shape.gaps, 1u);
    EXPECT_LE(shape.dataEnd, 0x80020000u);
    EXPECT_EQ(shape.lastRecordTypes, (std::vector<uint8_t>{0, 5, 1}))
        << "a start linear address record between the data and the end-of-file record";
}

TEST(Catalogue, LogicTextsHaveTheConfigurationLayout)
{
    std::vector<uint16_t> everySegment;
    for (uint16_t upper = 0; upper <= 0x20; ++upper)
        everySegment.push_back(upper);
    for (int index : {CATALOGUE_TX_LOGIC, CATALOGUE_RX_LOGIC}) {
        SCOPED_TRACE(kCatalogueNames[index]);
        const HexTextShape shape = readHexTextShape(entryText(index));
        ASSERT_EQ(shape.fault, "");
        EXPECT_EQ(shape.upperAddresses, everySegment);
        EXPECT_EQ(shape.firstDataAddress, 0u);
        EXPECT_EQ(shape.gaps, 0u);
        EXPECT_EQ(shape.lastRecordTypes.back(), 1u);
        EXPECT_EQ(shape.lastRecordTypes[1], 0u);
    }
}

TEST(Catalogue, CopyIsTheTextFollowedBySixteenZeroBytes)
{
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(kCatalogueNames[i]);
        const size_t length = static_cast<size_t>(AUTOGEN_FILES[i].fileDataLength);
        char *copy = newCatalogueTextCopy(i);
        ASSERT_NE(copy, nullptr);
        EXPECT_NE(copy, AUTOGEN_FILES[i].fileData);
        EXPECT_EQ(std::memcmp(copy, AUTOGEN_FILES[i].fileData, length), 0);
        EXPECT_EQ(std::vector<char>(copy + length, copy + length + HEX_COPY_SPARE),
                  std::vector<char>(HEX_COPY_SPARE, '\0'));
        free(copy);
    }
    EXPECT_EQ(newCatalogueTextCopy(-1), nullptr);
    EXPECT_EQ(newCatalogueTextCopy(AUTOGEN_FILES_COUNT), nullptr);
}

class CatalogueAssembly : public SessionBuffers {};

TEST_F(CatalogueAssembly, AssemblingACopyLeavesTheCatalogueIntact)
{
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(kCatalogueNames[i]);
        ASSERT_EQ(assembleCatalogueEntry(i), 1);
        const int length = gDataConcatenatedLenght;
        const uint32_t checkSum = computeImageCheckSum();
        EXPECT_TRUE(entryText(i) == embeddedFile(i)) << "assembly changed the catalogue";

        ASSERT_EQ(assembleCatalogueEntry(i), 1);
        EXPECT_EQ(gDataConcatenatedLenght, length);
        EXPECT_EQ(computeImageCheckSum(), checkSum);
    }
}

TEST_F(CatalogueAssembly, ImagesLandWhereTheUnitExpectsThem)
{
    ASSERT_EQ(assembleCatalogueEntry(CATALOGUE_MCU_FIRMWARE), 1);
    EXPECT_EQ(std::vector<uint8_t>(gDataConcatenated, gDataConcatenated + 0x8000), std::vector<uint8_t>(0x8000, 0xFF));
    EXPECT_NE(gDataConcatenated[0x8000], 0xFF) << "the vector table starts at offset 0x8000";

    ASSERT_EQ(assembleCatalogueEntry(CATALOGUE_TX_LOGIC), 1);
    const std::vector<uint8_t> tx(gDataConcatenated, gDataConcatenated + gDataConcatenatedLenght);
    ASSERT_EQ(assembleCatalogueEntry(CATALOGUE_RX_LOGIC), 1);
    const std::vector<uint8_t> rx(gDataConcatenated, gDataConcatenated + gDataConcatenatedLenght);
    EXPECT_TRUE(tx == rx);
    EXPECT_GT(tx.size(), 2u * 1024 * 1024);
}

}  // namespace
