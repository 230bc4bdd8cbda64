#include "WebPackageMode.h"

#include <cstdio>
#include <cstring>

#include "CommandLine.h"
#include "Console.h"
#include "Encoder.h"
#include "FileAPI.h"
#include "RavelinFwUpgrade.h"

// Far too big for a Windows thread's 1 MiB stack: it lives here for the run.
static unsigned char bufferBase64[WEB_BASE64_BUFFER_SIZE];

static void appendLine(char (&header)[100], const char *text)
{
    strcat(header, text);
    strcat(header, "\r\n");
}

// The header, then the Base64 text in lines of 928 characters with CR LF
// between them, into a replacement of the package that takes its name only
// when every byte reached the disk. 0 after the file module's error line.
static BOOL writeWebPackage(const char *header, int bodyLength)
{
    unsigned char tempBufferBase64[FIRMWARE_CHUNCK_SIZE_FOR_WEB + 2];
    if (!FileAPI_CreateReplacement(FIRMWARE_FILE_NAME_FOR_WEB)) {
        return 0;
    }
    BOOL written =
        FileAPI_writeToFileBinary(reinterpret_cast<const uint8_t *>(header), static_cast<uint32_t>(strlen(header)));
    int remainingByte = bodyLength;
    int currentIndex = 0;
    while (written && remainingByte > FIRMWARE_CHUNCK_SIZE_FOR_WEB) {
        memcpy(tempBufferBase64, bufferBase64 + currentIndex, FIRMWARE_CHUNCK_SIZE_FOR_WEB);
        currentIndex += FIRMWARE_CHUNCK_SIZE_FOR_WEB;
        remainingByte -= FIRMWARE_CHUNCK_SIZE_FOR_WEB;
        tempBufferBase64[FIRMWARE_CHUNCK_SIZE_FOR_WEB] = '\r';
        tempBufferBase64[FIRMWARE_CHUNCK_SIZE_FOR_WEB + 1] = '\n';
        written = FileAPI_writeToFileBinary(tempBufferBase64, FIRMWARE_CHUNCK_SIZE_FOR_WEB + 2);
    }
    if (written && remainingByte > 0) {
        memcpy(tempBufferBase64, bufferBase64 + currentIndex, static_cast<size_t>(remainingByte));
        written = FileAPI_writeToFileBinary(tempBufferBase64, static_cast<uint32_t>(remainingByte));
    }
    if (!written) {
        FileAPI_DiscardReplacement();
        return 0;
    }
    return FileAPI_CommitReplacement();
}

BOOL createFirmwareFileForWeb(void)
{
    char tempString[25];
    char header[100];
    int dataLengthBase64 = WEB_BASE64_BUFFER_SIZE;

    snprintf(header, sizeof header, "%s", FIRMWARE_FILE_HEADER_FOR_WEB);
    appendLine(header, FIRMWARE_VERSION_TO_UPLOAD);

    if (!ValidateFwAndConcatenateData(gHexFirmware)) {
        Console_Line("\r\nERROR: Firmware data is not valid !\r");
        return 0;
    }
    Console_Line("\r\n Firmware data is valid !\r");

    computeImageCheckSum();
    snprintf(tempString, sizeof tempString, "%u", gDataConcatenatedCheckSum);
    appendLine(header, tempString);
    Console_Print("\r\n Firmware CheckSum = %s !\r\n", tempString);
    Console_Print("\r\n Firmware CheckSum u = %u !\r\n", gDataConcatenatedCheckSum);
    snprintf(tempString, sizeof tempString, "%d", gDataConcatenatedLenght);
    appendLine(header, tempString);
    Console_Print("\r\n Firmware data length = %d !\r\n", gDataConcatenatedLenght);

    // The whole package is known before any of it is written. An empty image
    // encodes to nothing and the encoder then leaves the length untouched,
    // so the body is empty by definition.
    int bodyLength = 0;
    if (gDataConcatenatedLenght > 0) {
        if (base64_encode(bufferBase64, &dataLengthBase64, gDataConcatenated, gDataConcatenatedLenght) != 0) {
            Console_Line("\r\n ERROR BASE 64 !\r");
            dipsplayLastMessageToUserBeforeExit("");
            return 0;
        }
        bodyLength = dataLengthBase64;
    }
    for (int back = 1; back <= 4 && back <= bodyLength; ++back) {
        if (bufferBase64[bodyLength - back] == '=') {
            bufferBase64[bodyLength - back] = 'A';
        }
    }

    const BOOL written = writeWebPackage(header, bodyLength);
    if (!written) {
        Console_Line("\r\nERROR: The web package was not written; an existing " FIRMWARE_FILE_NAME_FOR_WEB
             " is left as it was.\r");
    }
    dipsplayLastMessageToUserBeforeExit("");
    return written;
}

int runWebPackageWriter(void)
{
    if (!allocateSessionBuffers()) {
        return EXIT_STATUS_FAILED;
    }
    const BOOL written = createFirmwareFileForWeb();
    releaseSessionBuffers();
    return written ? EXIT_STATUS_SUCCESS : EXIT_STATUS_FAILED;
}
