#include "RavelinFwUpgrade.h"

#include <cstdlib>
#include <cstring>

#include "Console.h"

BOOL allocateSessionBuffers(void)
{
    gHexFirmware = newCatalogueTextCopy(CATALOGUE_MCU_FIRMWARE);
    gDataConcatenated = static_cast<uint8_t *>(calloc(CONCAT_BUFFER_SIZE + CONCAT_BUFFER_SPARE, 1));
    if (gDataConcatenated != nullptr) {
        memset(gDataConcatenated, 0xFF, CONCAT_BUFFER_SIZE);
    }
    gDataBuffer = static_cast<char *>(calloc(DATA_BUFFER_SIZE, 1));
    if (gHexFirmware == nullptr || gDataConcatenated == nullptr || gDataBuffer == nullptr) {
        Console_Line("Memoire insuffisante");
        releaseSessionBuffers();
        return 0;
    }
    return 1;
}

void releaseSessionBuffers(void)
{
    free(gDataBuffer);
    free(gDataConcatenated);
    free(gHexFirmware);
    free(gHexFPGA_Code);
    gDataBuffer = nullptr;
    gDataConcatenated = nullptr;
    gHexFirmware = nullptr;
    gHexFPGA_Code = nullptr;
}
