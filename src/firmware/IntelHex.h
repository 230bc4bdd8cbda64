// Decoder of one Intel HEX record held as a NUL-terminated line that starts
// with ':' and ends right after its two checksum characters.
//
// Fields are read with u8_from_hex_string, so lower case is accepted and a
// non-hex character counts as 0. The record type is the single character at
// position 8 minus '0' ("14" reads as 4, "0A" as 17), and the expected
// checksum is read from the line's last two characters, not from position
// 9 + 2n, so a line with extra characters after its checksum is judged by
// its last two characters.
//
// A line is invalid when it lacks the ':' start code, is shorter than the
// 11 + 2n characters its byte count n promises (fewer than 2 characters
// included), or its checksum does not match. No function reads past the NUL
// of a line: the byte count and the type of a line too short to hold them
// read a missing character as the NUL.
#ifndef INTEL_HEX_H
#define INTEL_HEX_H

#include <cstdint>

#define INTEL_HEX_STRING_OK 1
#define INTEL_HEX_STRING_INVALID 0

#define INTEL_HEX_RECORD_DATA 0
#define INTEL_HEX_RECORD_EOF 1
#define INTEL_HEX_RECORD_EXTENDED_SEGMENT_ADDRESS 2
#define INTEL_HEX_RECORD_START_SEGMENT_ADDRESS 3
#define INTEL_HEX_RECORD_EXTENDED_LINEAR_ADDRESS 4
#define INTEL_HEX_RECORD_START_LINEAR_ADDRESS 5

// Two's complement, in 8 bits, of the sum of numberOfBytes bytes spelled from
// hexString; bytes past the end of the text count as 0.
uint8_t u8_checksum_from_hex_string(char *hexString, uint8_t numberOfBytes);

uint8_t intel_hex_start_code_present(char *intelHexString);
// Byte count n, without a validity check ("" and ":" give 0, ":7" gives 7).
uint8_t intel_hex_line_data_length(char *intelHexString);
// 16-bit record address; 0 for an invalid line.
uint16_t intel_hex_line_address(char *intelHexString);
// Character 8 minus '0' in 8 bits, without a validity check; a line of
// fewer than 9 characters gives 0 - '0' (208).
uint8_t intel_hex_line_record_type(char *intelHexString);
uint8_t intel_hex_line_is_data_record(char *intelHexString);
uint8_t intel_hex_line_is_extended_linear_address_record(char *intelHexString);
// INTEL_HEX_STRING_OK or INTEL_HEX_STRING_INVALID.
uint8_t intel_hex_line_is_valid(char *intelHexString);
// A malloc'ed array of the n data bytes (non-null even for n = 0), or null
// for an invalid line; the caller frees it.
uint8_t *new_u8_data_array_from_intel_hex_string(char *intelHexString);

#endif
