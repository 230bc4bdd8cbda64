#include "ImageAssembly.h"

#include <cstdlib>
#include <cstring>

#include "BinImage.h"
#include "Console.h"
#include "IntelHex.h"
#include "StringOperations.h"

char *gHexFirmware = nullptr;
char *gHexFPGA_Code = nullptr;
uint8_t *gDataConcatenated = nullptr;
uint32_t gDataConcatenatedCheckSum = 0;
int gDataConcatenatedLenght = 0;

#define HEX_LINE_BUFFER_SIZE 100

char *newCatalogueTextCopy(int index)
{
    if (index < 0 || index >= AUTOGEN_FILES_COUNT) {
        return nullptr;
    }
    const autogen_files &entry = AUTOGEN_FILES[index];
    char *copy = static_cast<char *>(calloc(static_cast<size_t>(entry.fileDataLength) + HEX_COPY_SPARE, 1));
    if (copy != nullptr) {
        memcpy(copy, entry.fileData, static_cast<size_t>(entry.fileDataLength));
    }
    return copy;
}

static void reportInvalidLine(const char *line)
{
    Console_Line("\r\n intel_hex_line_is_valid \r");
    Console_Print("%s", line);
    Console_Line("\r");
}

// Rebuilds ":" + token in `line`, ended right after the record's checksum:
// the token's first CR or LF ends the record, and what follows it (blank
// lines) is dropped, so only a record too long for the buffer is refused.
static BOOL rebuildHexLine(char (&line)[HEX_LINE_BUFFER_SIZE], const char *token)
{
    const size_t recordLength = strcspn(token, "\r\n");
    const size_t room = HEX_LINE_BUFFER_SIZE - 2;
    line[0] = ':';
    const size_t copied = recordLength < room ? recordLength : room;
    memcpy(line + 1, token, copied);
    line[1 + copied] = '\0';
    return recordLength <= room;
}

// Applies one rebuilt record to the image: data records are written at
// their offset, extended linear address records move the offset, other types
// are passed over. 0 when the record is invalid or cannot be placed: a bad
// checksum or start code, data reaching past the image buffer, or an extended
// linear address record without the second data byte the offset comes from.
// For data and address records the data array doubles as the validity check
// (it is null exactly for an invalid line) instead of a separate check as
// well; a data record is checked once more when its address is read.
static BOOL placeHexRecord(char *line, uint32_t &memory_offset)
{
    const BOOL isData = intel_hex_line_is_data_record(line);
    if (!isData && !intel_hex_line_is_extended_linear_address_record(line)) {
        return intel_hex_line_is_valid(line) == INTEL_HEX_STRING_OK;
    }

    uint8_t *data_contents = new_u8_data_array_from_intel_hex_string(line);
    if (data_contents == nullptr) {
        return 0;
    }
    const uint8_t data_length = intel_hex_line_data_length(line);
    BOOL placed = 1;
    if (!isData) {
        placed = data_length >= 2;
        if (placed) {
            memory_offset = static_cast<uint32_t>(data_contents[1]) << 16;
        }
    } else {
        const uint32_t address = memory_offset + intel_hex_line_address(line);
        placed = address + data_length <= CONCAT_BUFFER_SIZE;
        if (placed) {
            memcpy(gDataConcatenated + address, data_contents, data_length);
            gDataConcatenatedLenght = static_cast<int>(address + data_length);
        }
    }
    free(data_contents);
    return placed;
}

BOOL ValidateFwAndConcatenateData(char *gHexData)
{
    memset(gDataConcatenated, 0xFF, CONCAT_BUFFER_SIZE);
    gDataConcatenatedLenght = 0;
    uint32_t memory_offset = 0;

    char **extractedHexLine = str_split(gHexData, ":");
    if (extractedHexLine == nullptr) {
        Console_Line("\r\nNUL extractedHexLine \r");
        return 0;
    }

    BOOL valid = 1;
    char intelHexStringLine[HEX_LINE_BUFFER_SIZE];
    for (int index = 0; valid && extractedHexLine[index] != nullptr; ++index) {
        valid = rebuildHexLine(intelHexStringLine, extractedHexLine[index]) &&
                placeHexRecord(intelHexStringLine, memory_offset);
        if (!valid) {
            reportInvalidLine(intelHexStringLine);
        }
    }

    free(extractedHexLine);
    return valid;
}

uint32_t computeImageCheckSum(void)
{
    uint32_t checkSum = 0;
    for (int index = 0; index < gDataConcatenatedLenght; ++index) {
        checkSum -= gDataConcatenated[index];
    }
    gDataConcatenatedCheckSum = checkSum;
    return checkSum;
}
