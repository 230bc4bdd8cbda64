#include "IntelHex.h"

#include <cstdlib>
#include <cstring>

#include "StringOperations.h"

// Characters of a record that are not data: ':', count, address, type, checksum.
#define INTEL_HEX_LINE_OVERHEAD 11
#define INTEL_HEX_TYPE_POSITION 8
#define INTEL_HEX_DATA_POSITION 9

uint8_t u8_checksum_from_hex_string(char *hexString, uint8_t numberOfBytes)
{
    // Bytes the text does not reach count as 0 instead of being read past its
    // end; a lone last digit counts as the low nibble, as u8_from_hex_string
    // reads it.
    uint8_t data_sum = 0;
    for (uint8_t i = 0; i < numberOfBytes; ++i) {
        const char *pair = hexString + 2 * i;
        if (pair[0] == '\0' || pair[1] == '\0') {
            data_sum = static_cast<uint8_t>(data_sum - int_from_hex_char(pair[0]));
            break;
        }
        data_sum = static_cast<uint8_t>(data_sum - (int_from_hex_char(pair[0]) * 16 + int_from_hex_char(pair[1])));
    }
    return data_sum;
}

uint8_t intel_hex_start_code_present(char *intelHexString)
{
    return intelHexString[0] == ':' ? 1 : 0;
}

uint8_t intel_hex_line_data_length(char *intelHexString)
{
    if (intelHexString[0] == '\0') {
        return 0;
    }
    return u8_from_hex_string(intelHexString + 1);
}

uint8_t intel_hex_line_is_valid(char *intelHexString)
{
    if (!intel_hex_start_code_present(intelHexString)) {
        return INTEL_HEX_STRING_INVALID;
    }
    const size_t length = strlen(intelHexString);
    const uint8_t data_length_in_bytes = intel_hex_line_data_length(intelHexString);
    if (length < INTEL_HEX_LINE_OVERHEAD + 2u * data_length_in_bytes) {
        return INTEL_HEX_STRING_INVALID;
    }
    const uint8_t data_sum_expected = u8_from_hex_string(intelHexString + length - 2);
    const uint8_t data_sum_calculated =
        u8_checksum_from_hex_string(intelHexString + 1, static_cast<uint8_t>(data_length_in_bytes + 4));
    return data_sum_expected == data_sum_calculated ? INTEL_HEX_STRING_OK : INTEL_HEX_STRING_INVALID;
}

uint16_t intel_hex_line_address(char *intelHexString)
{
    if (intel_hex_line_is_valid(intelHexString) == INTEL_HEX_STRING_INVALID) {
        return 0;
    }
    const uint16_t return_value =
        static_cast<uint16_t>(u8_from_hex_string(intelHexString + 3) * 256 + u8_from_hex_string(intelHexString + 5));
    return return_value;
}

uint8_t intel_hex_line_record_type(char *intelHexString)
{
    // A line too short to hold the type reads it as its terminating NUL.
    const char type = strnlen(intelHexString, INTEL_HEX_TYPE_POSITION + 1) > INTEL_HEX_TYPE_POSITION
                          ? intelHexString[INTEL_HEX_TYPE_POSITION]
                          : '\0';
    return static_cast<uint8_t>(type - 48);
}

uint8_t intel_hex_line_is_data_record(char *intelHexString)
{
    return intel_hex_line_record_type(intelHexString) == INTEL_HEX_RECORD_DATA ? 1 : 0;
}

uint8_t intel_hex_line_is_extended_linear_address_record(char *intelHexString)
{
    return intel_hex_line_record_type(intelHexString) == INTEL_HEX_RECORD_EXTENDED_LINEAR_ADDRESS ? 1 : 0;
}

uint8_t *new_u8_data_array_from_intel_hex_string(char *intelHexString)
{
    const uint8_t dataLength = intel_hex_line_data_length(intelHexString);
    if (intel_hex_line_is_valid(intelHexString) == INTEL_HEX_STRING_INVALID) {
        return nullptr;
    }
    // malloc(0) may answer null; an empty record still gets a real array.
    uint8_t *dataArray = static_cast<uint8_t *>(malloc(dataLength > 0 ? dataLength : 1));
    if (dataArray == nullptr) {
        return nullptr;
    }
    for (uint8_t i = 0; i < dataLength; ++i) {
        dataArray[i] = u8_from_hex_string(intelHexString + INTEL_HEX_DATA_POSITION + 2 * i);
    }
    return dataArray;
}
