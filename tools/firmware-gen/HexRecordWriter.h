// Writes Intel HEX text the way the embedded images are laid out: upper-case
// digits, CR LF line ends, correct checksums, data in records of up to 16
// bytes that never cross a 64 KiB boundary, and an extended linear address
// record each time the upper 16 address bits change (the first data record
// always gets one).
#ifndef HEX_RECORD_WRITER_H
#define HEX_RECORD_WRITER_H

#include <cstdint>
#include <string>
#include <vector>

class HexRecordWriter {
public:
    // Appends bytes at the 32-bit address `address` as data records: one
    // every 16 bytes from `address`, the last holding what is left.
    void data(uint32_t address, const std::vector<uint8_t> &bytes);
    // A start linear address record (type 5) holding `address`.
    void startLinearAddress(uint32_t address);
    // The end-of-file record; nothing should follow it.
    void endOfFile();

    const std::string &text() const { return text_; }

private:
    void record(uint8_t type, uint16_t address, const uint8_t *bytes, size_t count);

    std::string text_;
    bool haveUpper_ = false;
    uint16_t upper_ = 0;
};

#endif
