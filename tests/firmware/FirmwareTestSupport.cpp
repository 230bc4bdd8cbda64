#include "FirmwareTestSupport.h"

#include <cstdlib>
#include <fstream>
#include <iterator>

#include "RavelinFwUpgrade.h"

const char *const kCatalogueNames[3] = {"M418260_MCU_61_1_02.hex", "M418260_TX_XC7A75_1_02.mcs",
                                        "M418260_RX_XC7A75_1_02.mcs"};

std::string embeddedFile(int index)
{
    const std::string path = std::string(FIRMWARE_BUILD_DIR) + "/" + kCatalogueNames[index];
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in) << "cannot read " << path;
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void SessionBuffers::SetUp()
{
    ASSERT_TRUE(allocateSessionBuffers());
}

void SessionBuffers::TearDown()
{
    releaseSessionBuffers();
}

int assembleCatalogueEntry(int index)
{
    char *copy = newCatalogueTextCopy(index);
    if (copy == nullptr)
        return 0;
    const int result = ValidateFwAndConcatenateData(copy);
    free(copy);
    return result;
}
