// firmware-gen OUTPUT_DIR
//
// Writes the stand-in image files that the catalogue embeds when no real
// images are given: the MCU firmware as Intel HEX and the TX and RX
// programmable-logic images, byte-identical, as MCS text. Each file has the
// name, the record layout and the exact length of the image it stands in for;
// a file that comes out with another length fails the run, so the build stops
// instead of embedding it.
#include <cstdio>
#include <fstream>
#include <string>

#include "HexRecordWriter.h"
#include "ImageContent.h"

namespace {

// MCU: a start-up block from 0x80008000 and, after a gap of 312 bytes, the
// application block, which runs into the next 64 KiB segment. Each block
// ends in a short record (8 and 6 bytes).
const uint32_t kMcuBootAddress = 0x80008000;
const size_t kMcuBootLength = 1500 * 16 + 8;
const uint32_t kMcuApplicationAddress = 0x8000DF00;
const size_t kMcuApplicationLength = 4400 * 16 + 6;
const long kMcuFileLength = 265622;

// Programmable logic: one contiguous image from address 0, 33 segments.
const size_t kLogicLength = 2117428;
const long kLogicFileLength = 5955850;

std::string mcuText()
{
    HexRecordWriter hex;
    uint32_t entry = 0;
    hex.data(kMcuBootAddress, makeMcuBootBlock(kMcuBootAddress, kMcuBootLength, &entry));
    hex.data(kMcuApplicationAddress, makeMcuApplicationBlock(kMcuApplicationAddress, kMcuApplicationLength));
    hex.startLinearAddress(entry);
    hex.endOfFile();
    return hex.text();
}

std::string logicText()
{
    HexRecordWriter hex;
    hex.data(0, makeLogicImage(kLogicLength));
    hex.endOfFile();
    return hex.text();
}

long fileLength(const std::string &path)
{
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    return in ? static_cast<long>(in.tellg()) : -1;
}

// Writes under a temporary name and renames only a complete file of the
// expected length, so a failed run never leaves a file that looks finished.
bool writeImage(const std::string &dir, const char *name, const std::string &text, long expectedLength)
{
    const std::string path = dir + "/" + name;
    const std::string partial = path + ".partial";
    {
        std::ofstream out(partial, std::ios::binary | std::ios::trunc);
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        if (!out.flush()) {
            std::fprintf(stderr, "firmware-gen: cannot write %s\n", partial.c_str());
            return false;
        }
    }
    const long written = fileLength(partial);
    if (written != expectedLength) {
        std::fprintf(stderr, "firmware-gen: %s came out with %ld bytes instead of %ld\n", name, written,
                     expectedLength);
        std::remove(partial.c_str());
        return false;
    }
    std::remove(path.c_str());
    if (std::rename(partial.c_str(), path.c_str()) != 0) {
        std::fprintf(stderr, "firmware-gen: cannot rename %s to %s\n", partial.c_str(), path.c_str());
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: firmware-gen OUTPUT_DIR\n");
        return 2;
    }
    const std::string dir = argv[1];
    const std::string logic = logicText();
    bool ok = writeImage(dir, "M418260_MCU_61_1_02.hex", mcuText(), kMcuFileLength);
    ok = writeImage(dir, "M418260_TX_XC7A75_1_02.mcs", logic, kLogicFileLength) && ok;
    ok = writeImage(dir, "M418260_RX_XC7A75_1_02.mcs", logic, kLogicFileLength) && ok;
    return ok ? 0 : 1;
}
