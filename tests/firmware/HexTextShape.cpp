#include "HexTextShape.h"

namespace {

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::string at(size_t line, const std::string &what)
{
    return "line " + std::to_string(line) + ": " + what;
}

}  // namespace

HexTextShape readHexTextShape(const std::string &text)
{
    HexTextShape shape;
    if (text.find('\0') != std::string::npos) {
        shape.fault = "the text holds a NUL";
        return shape;
    }
    uint32_t upper = 0;
    bool pendingShort = false;  // the previous data record was short
    bool sawEof = false;
    size_t lineNumber = 0;
    for (size_t pos = 0; pos < text.size(); ) {
        ++lineNumber;
        const size_t end = text.find("\r\n", pos);
        if (end == std::string::npos) {
            shape.fault = at(lineNumber, "no CR LF at the end");
            return shape;
        }
        const std::string line = text.substr(pos, end - pos);
        pos = end + 2;
        if (sawEof) {
            shape.fault = at(lineNumber, "a line after the end-of-file record");
            return shape;
        }
        if (line.size() < 11 || line[0] != ':' || line.size() % 2 == 0) {
            shape.fault = at(lineNumber, "not a record: " + line);
            return shape;
        }
        std::vector<uint8_t> bytes;
        for (size_t i = 1; i < line.size(); i += 2) {
            const int high = hexDigit(line[i]), low = hexDigit(line[i + 1]);
            if (high < 0 || low < 0) {
                shape.fault = at(lineNumber, "not upper-case hex: " + line);
                return shape;
            }
            bytes.push_back(static_cast<uint8_t>(high * 16 + low));
        }
        uint8_t sum = 0;
        for (uint8_t b : bytes)
            sum = static_cast<uint8_t>(sum + b);
        const size_t count = bytes[0];
        if (bytes.size() != count + 5) {
            shape.fault = at(lineNumber, "byte count does not fit the length: " + line);
            return shape;
        }
        if (sum != 0) {
            shape.fault = at(lineNumber, "wrong checksum: " + line);
            return shape;
        }
        const uint32_t address = static_cast<uint32_t>(bytes[1] << 8 | bytes[2]);
        const uint8_t type = bytes[3];
        shape.lastRecordTypes.push_back(type);
        if (shape.lastRecordTypes.size() > 3)
            shape.lastRecordTypes.erase(shape.lastRecordTypes.begin());
        switch (type) {
        case 0: {
            const uint64_t absolute = (static_cast<uint64_t>(upper) << 16) + address;
            if (shape.dataRecords == 0) {
                shape.firstDataAddress = absolute;
            } else if (absolute < shape.dataEnd) {
                shape.fault = at(lineNumber, "data does not ascend: " + line);
                return shape;
            } else if (absolute > shape.dataEnd) {
                ++shape.gaps;
            } else if (pendingShort) {
                shape.fault = at(lineNumber, "a short record inside contiguous data");
                return shape;
            }
            if (address + count > 0x10000) {
                shape.fault = at(lineNumber, "a record across a 64 KiB boundary: " + line);
                return shape;
            }
            pendingShort = count != 16;
            shape.dataEnd = absolute + count;
            ++shape.dataRecords;
            break;
        }
        case 1:
            if (line != ":00000001FF") {
                shape.fault = at(lineNumber, "odd end-of-file record: " + line);
                return shape;
            }
            sawEof = true;
            break;
        case 4:
            if (count != 2) {
                shape.fault = at(lineNumber, "extended linear address record without 2 bytes");
                return shape;
            }
            upper = static_cast<uint32_t>(bytes[4] << 8 | bytes[5]);
            shape.upperAddresses.push_back(static_cast<uint16_t>(upper));
            break;
        case 5:
            if (count != 4) {
                shape.fault = at(lineNumber, "start linear address record without 4 bytes");
                return shape;
            }
            break;
        default:
            shape.fault = at(lineNumber, "unexpected record type: " + line);
            return shape;
        }
    }
    if (!sawEof)
        shape.fault = "no end-of-file record";
    return shape;
}
