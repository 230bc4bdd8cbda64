#include "ImageContent.h"

#include <cstring>

namespace {

// splitmix64: small, fast and fully specified, so every host makes the same bytes.
class Random {
public:
    explicit Random(uint64_t seed) : state_(seed) {}
    uint64_t next()
    {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    uint32_t below(uint32_t bound) { return static_cast<uint32_t>(next() % bound); }

private:
    uint64_t state_;
};

const uint32_t kRamTop = 0x20018000;
const uint32_t kPeripheralBase = 0x40010000;

const char *const kMcuTexts[] = {
    "Korvan 6G SDI EXTENDER TX OVER FIBER WITH RETURN CHANNEL\r\n>>",
    "Korvan 6G SDI EXTENDER RX OVER FIBER WITH RETURN CHANNEL\r\n>>",
    "version\n\r   version <no parameters> {Get the current firmware version}\r\n>>",
    "fw\n\r   fw -v {versions} -p {product} -l <sum> <len> -h <sum> <len>\r\n>>",
    "help\n\r   help -c <command> {Describe one command}\r\n>>",
    "Ready",
    "SUCCESS",
    "FAILED",
    "1.0.2",
    "418260",
    "[TX]>>",
    "[RX]>>",
    "SDI link locked",
    "SDI link lost",
    "Fibre link up",
    "Fibre link down",
    "Return channel enabled",
    "Configuration CRC error",
    "Flash erase sector %u",
    "Flash write error at %08X",
    "Unknown command",
    "Bad parameter",
    "Watchdog reset",
};

class LittleEndianImage {
public:
    LittleEndianImage(uint32_t address, size_t length, uint64_t seed)
        : address_(address), length_(length), random_(seed)
    {
        bytes_.reserve(length);
    }

    size_t room() const { return length_ - bytes_.size(); }
    uint32_t here() const { return address_ + static_cast<uint32_t>(bytes_.size()); }

    void byte(uint8_t value)
    {
        if (room() > 0)
            bytes_.push_back(value);
    }
    void half(uint16_t value)
    {
        byte(static_cast<uint8_t>(value));
        byte(static_cast<uint8_t>(value >> 8));
    }
    void word(uint32_t value)
    {
        half(static_cast<uint16_t>(value));
        half(static_cast<uint16_t>(value >> 16));
    }
    void alignTo(size_t step, uint8_t fill)
    {
        while (bytes_.size() % step != 0 && room() > 0)
            byte(fill);
    }

    // One function: a push, a body of loads, stores, moves, compares,
    // branches and calls, a pop, and the literal pool it loads from.
    void function()
    {
        half(static_cast<uint16_t>(0xB500 | (random_.below(0x100) | 0x10)));
        uint32_t body = 6 + random_.below(60);
        for (uint32_t i = 0; i < body && room() > 8; ++i) {
            uint16_t operand = static_cast<uint16_t>(random_.below(0x800));
            switch (random_.below(12)) {
            case 0: half(static_cast<uint16_t>(0x2000 | (operand & 0x7FF))); break;  // movs
            case 1: half(static_cast<uint16_t>(0x4800 | (operand & 0x7FF))); break;  // ldr from pool
            case 2: half(static_cast<uint16_t>(0x6000 | (operand & 0x7FF))); break;  // str
            case 3: half(static_cast<uint16_t>(0x6800 | (operand & 0x7FF))); break;  // ldr
            case 4: half(static_cast<uint16_t>(0x1800 | (operand & 0x7FF))); break;  // adds
            case 5: half(static_cast<uint16_t>(0x2800 | (operand & 0x7FF))); break;  // cmp
            case 6: half(static_cast<uint16_t>(0xD000 | (operand & 0x1FF))); break;  // b<cond>
            case 7:                                                                  // bl
                half(static_cast<uint16_t>(0xF000 | (operand & 0x7FF)));
                half(static_cast<uint16_t>(0xF800 | random_.below(0x800)));
                break;
            case 8: half(static_cast<uint16_t>(0x4600 | (operand & 0xFF))); break;   // mov
            case 9: half(static_cast<uint16_t>(0x0000 | (operand & 0x7FF))); break;  // lsls
            case 10: half(static_cast<uint16_t>(0x7800 | (operand & 0x7FF))); break; // ldrb
            default: half(0xBF00); break;                                            // nop
            }
        }
        half(static_cast<uint16_t>(0xBD00 | (random_.below(0x100) | 0x10)));
        alignTo(4, 0x00);
        uint32_t pool = random_.below(5);
        for (uint32_t i = 0; i < pool; ++i) {
            switch (random_.below(3)) {
            case 0: word(address_ + (random_.below(static_cast<uint32_t>(length_)) & ~1u)); break;
            case 1: word(0x20000000 | (random_.below(0x18000) & ~3u)); break;
            default: word(kPeripheralBase | (random_.below(0x4000) & ~3u)); break;
            }
        }
    }

    void code(size_t amount)
    {
        size_t end = bytes_.size() + amount;
        while (bytes_.size() < end && room() > 0)
            function();
    }

    void texts()
    {
        for (const char *text : kMcuTexts) {
            for (size_t i = 0, n = std::strlen(text); i <= n; ++i)
                byte(static_cast<uint8_t>(text[i]));
            alignTo(4, 0x00);
        }
    }

    void zeros(size_t amount)
    {
        for (size_t i = 0; i < amount; ++i)
            byte(0x00);
    }

    // The reflected CRC-32 table, a constant table that firmware commonly holds.
    void crcTable()
    {
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            word(c);
        }
    }

    // Initial values of variables: mostly small numbers and zeros.
    void initialisedData(size_t amount)
    {
        for (size_t i = 0; i < amount / 4; ++i)
            word(random_.below(4) == 0 ? random_.below(0x10000) : 0);
    }

    // Fills what is left with code, the last function cut at the block's end.
    std::vector<uint8_t> finish()
    {
        while (room() > 0)
            function();
        return std::move(bytes_);
    }

private:
    uint32_t address_;
    size_t length_;
    Random random_;
    std::vector<uint8_t> bytes_;
};

void bigEndianWord(std::vector<uint8_t> &out, uint32_t value)
{
    out.push_back(static_cast<uint8_t>(value >> 24));
    out.push_back(static_cast<uint8_t>(value >> 16));
    out.push_back(static_cast<uint8_t>(value >> 8));
    out.push_back(static_cast<uint8_t>(value));
}

const uint32_t kLogicNoop = 0x20000000;
const size_t kFrameWords = 101;

}  // namespace

std::vector<uint8_t> makeMcuBootBlock(uint32_t address, size_t length, uint32_t *entry)
{
    const size_t vectors = 64;
    LittleEndianImage image(address, length, 0x4D43550000000001ull);
    const uint32_t reset = address + vectors * 4 + 1;  // Thumb bit set
    const uint32_t fault = reset + 0x40;
    image.word(kRamTop);
    image.word(reset);
    for (size_t i = 2; i < vectors; ++i)
        image.word(i < 16 || i % 7 != 0 ? fault : fault + 0x20 * static_cast<uint32_t>(i));
    image.code(length * 3 / 4);
    image.texts();
    image.initialisedData(image.room() / 2);
    *entry = reset;
    return image.finish();
}

std::vector<uint8_t> makeMcuApplicationBlock(uint32_t address, size_t length)
{
    LittleEndianImage image(address, length, 0x4D43550000000002ull);
    image.code(length / 2);
    image.crcTable();
    image.texts();
    image.code(length / 5);
    image.initialisedData(length / 20);
    image.zeros(length / 25);
    image.code(image.room() > 1024 ? image.room() - 1024 : 0);
    image.texts();
    return image.finish();
}

std::vector<uint8_t> makeLogicImage(size_t length)
{
    std::vector<uint8_t> out;
    out.reserve(length);
    Random random(0x4C4F474943000001ull);

    static const uint32_t header[] = {
        0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF,
        0x000000BB, 0x11220044, 0xFFFFFFFF, 0xFFFFFFFF, 0xAA995566, kLogicNoop, 0x30022001, 0x00000000,
        0x30020001, 0x00000000, 0x30008001, 0x00000007, kLogicNoop, kLogicNoop, 0x3000C001, 0x00000001,
        0x30030001, 0x00000000, 0x30026001, 0x00000000, 0x30012001, 0x02003FE5, 0x3001C001, 0x00000000,
        0x30008001, 0x00000001, kLogicNoop, 0x30002001, 0x00000000, 0x30008001, 0x00000001, 0x30004000,
    };
    static const uint32_t trailer[] = {
        0x30008001, 0x0000000A, kLogicNoop, 0x30000001, 0x00000000, 0x30008001, 0x00000003, kLogicNoop,
        kLogicNoop, 0x30008001, 0x00000005, 0x3000A001, 0x00000000, 0x30008001, 0x0000000D, kLogicNoop,
    };
    const size_t headerBytes = sizeof header + 4;  // and the frame data's length word
    const size_t trailerBytes = sizeof trailer + 4 + 64 * 4;  // and the CRC word and the closing no-ops
    const size_t frameBytes = length > headerBytes + trailerBytes ? (length - headerBytes - trailerBytes) / 4 * 4 : 0;

    for (uint32_t w : header)
        bigEndianWord(out, w);
    bigEndianWord(out, 0x50000000 | static_cast<uint32_t>(frameBytes / 4));

    // Whole frames are either empty or hold sparse set bits, as unused and
    // used logic do; a few words in a used frame are dense.
    bool frameUsed = false;
    for (size_t word = 0; word < frameBytes / 4; ++word) {
        if (word % kFrameWords == 0)
            frameUsed = random.below(100) < 62;
        uint32_t value = 0;
        if (frameUsed) {
            uint32_t kind = random.below(16);
            if (kind < 7)
                value = static_cast<uint32_t>(random.next() & random.next() & random.next());
            else if (kind == 7)
                value = static_cast<uint32_t>(random.next());
        }
        bigEndianWord(out, value);
    }

    uint32_t crc = 0;
    for (size_t i = 0; i < out.size(); ++i)
        crc = (crc << 5 | crc >> 27) ^ out[i];
    bigEndianWord(out, crc);
    for (uint32_t w : trailer)
        bigEndianWord(out, w);
    while (out.size() + 4 <= length)
        bigEndianWord(out, kLogicNoop);
    while (out.size() < length)
        out.push_back(0xFF);
    out.resize(length);
    return out;
}
