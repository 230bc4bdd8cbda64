#include "HexRecordWriter.h"

#include <algorithm>

namespace {

const size_t kRecordBytes = 16;
const uint32_t kSegmentBytes = 0x10000;

void appendHexByte(std::string &out, uint8_t value)
{
    static const char digits[] = "0123456789ABCDEF";
    out += digits[value >> 4];
    out += digits[value & 0x0F];
}

}  // namespace

void HexRecordWriter::record(uint8_t type, uint16_t address, const uint8_t *bytes, size_t count)
{
    uint8_t sum = static_cast<uint8_t>(count + (address >> 8) + (address & 0xFF) + type);
    text_ += ':';
    appendHexByte(text_, static_cast<uint8_t>(count));
    appendHexByte(text_, static_cast<uint8_t>(address >> 8));
    appendHexByte(text_, static_cast<uint8_t>(address & 0xFF));
    appendHexByte(text_, type);
    for (size_t i = 0; i < count; ++i) {
        appendHexByte(text_, bytes[i]);
        sum = static_cast<uint8_t>(sum + bytes[i]);
    }
    appendHexByte(text_, static_cast<uint8_t>(0x100 - sum));
    text_ += "\r\n";
}

void HexRecordWriter::data(uint32_t address, const std::vector<uint8_t> &bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        uint32_t at = address + static_cast<uint32_t>(done);
        uint16_t upper = static_cast<uint16_t>(at >> 16);
        if (!haveUpper_ || upper != upper_) {
            const uint8_t ela[2] = {static_cast<uint8_t>(upper >> 8), static_cast<uint8_t>(upper & 0xFF)};
            record(4, 0, ela, 2);
            haveUpper_ = true;
            upper_ = upper;
        }
        size_t toBoundary = kSegmentBytes - (at & (kSegmentBytes - 1));
        size_t count = std::min({kRecordBytes, bytes.size() - done, toBoundary});
        record(0, static_cast<uint16_t>(at & 0xFFFF), bytes.data() + done, count);
        done += count;
    }
}

void HexRecordWriter::startLinearAddress(uint32_t address)
{
    const uint8_t bytes[4] = {static_cast<uint8_t>(address >> 24), static_cast<uint8_t>(address >> 16),
                              static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address)};
    record(5, 0, bytes, 4);
}

void HexRecordWriter::endOfFile()
{
    record(1, 0, nullptr, 0);
}
