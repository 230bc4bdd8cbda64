// An independent reader of the embedded HEX texts for the tests: it checks
// the form every line must have and sums up the layout, so that the tests can
// state what each catalogue entry holds without trusting the tool's decoder.
#ifndef HEX_TEXT_SHAPE_H
#define HEX_TEXT_SHAPE_H

#include <cstdint>
#include <string>
#include <vector>

struct HexTextShape {
    // The first fault found, with its line number; empty when the text is sound:
    // every line is ':', upper-case hex digits and CR LF, its byte count fits
    // its length, its checksum is right, its type is 0, 1, 4 or 5; extended
    // linear address records hold 2 bytes; data ascends and no record
    // crosses a 64 KiB boundary; a data record is short only before a gap or
    // at the end; the end-of-file record is the last line; there is no NUL.
    std::string fault;
    std::vector<uint16_t> upperAddresses;  // of the extended linear address records, in order
    size_t dataRecords = 0;
    size_t gaps = 0;                       // breaks in the ascending data
    uint64_t firstDataAddress = 0;         // 32-bit absolute address of the first data byte
    uint64_t dataEnd = 0;                  // absolute end of the last data record
    std::vector<uint8_t> lastRecordTypes;  // types of the last three lines, oldest first
};

HexTextShape readHexTextShape(const std::string &text);

#endif
