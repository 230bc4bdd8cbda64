// Each catalogue entry assembles to the image that objcopy makes of the same
// file, and its checksum matches one computed here from objcopy's bytes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "FirmwareTestSupport.h"
#include "HexTextShape.h"
#include "RavelinFwUpgrade.h"

namespace {

std::vector<uint8_t> objcopyImage(int index)
{
    const std::string in = std::string(FIRMWARE_BUILD_DIR) + "/" + kCatalogueNames[index];
    const std::string out = std::string(FIRMWARE_TEST_WORK_DIR) + "/" + kCatalogueNames[index] + ".bin";
    const std::string command =
        std::string("\"") + OBJCOPY + "\" -I ihex -O binary --gap-fill 0xFF \"" + in + "\" \"" + out + "\"";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    std::ifstream file(out, std::ios::binary);
    EXPECT_TRUE(file) << "no output from " << command;
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::remove(out.c_str());
    return bytes;
}

class ObjcopyCrossCheck : public SessionBuffers, public ::testing::WithParamInterface<int> {};

TEST_P(ObjcopyCrossCheck, EntryAssemblesToObjcopysImage)
{
    const int index = GetParam();
    // objcopy starts its output at the lowest address; the tool's image
    // starts at offset 0, bits 24-31 of the address dropped.
    const HexTextShape shape = readHexTextShape(embeddedFile(index));
    ASSERT_EQ(shape.fault, "");
    std::vector<uint8_t> expected(static_cast<size_t>(shape.firstDataAddress & 0xFFFFFF), 0xFF);
    const std::vector<uint8_t> objcopy = objcopyImage(index);
    ASSERT_FALSE(objcopy.empty());
    expected.insert(expected.end(), objcopy.begin(), objcopy.end());
    uint32_t sum = 0;
    for (uint8_t byte : expected)
        sum += byte;

    ASSERT_EQ(assembleCatalogueEntry(index), 1);
    ASSERT_EQ(static_cast<size_t>(gDataConcatenatedLenght), expected.size());
    EXPECT_TRUE(std::vector<uint8_t>(gDataConcatenated, gDataConcatenated + expected.size()) == expected)
        << "the image differs from objcopy's";
    EXPECT_EQ(computeImageCheckSum(), 0u - sum);
}

INSTANTIATE_TEST_SUITE_P(Catalogue, ObjcopyCrossCheck, ::testing::Values(0, 1, 2));

}  // namespace
