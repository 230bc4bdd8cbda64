// The bytes of the stand-in images. They are deterministic (a fixed-seed
// generator, the same on every host) and shaped like real images, so that
// the assembly, the checksums and the transfers work on data with the variety
// of firmware rather than on a constant fill:
// - MCU: a little-endian vector table, functions of instruction-like
//   half-words with literal pools, text strings, constant tables and zero runs;
// - programmable logic: a big-endian configuration stream, a header of pad
//   and sync words, frames of sparse bits with all-zero frames among them,
//   and a trailer padded with no-op words.
#ifndef IMAGE_CONTENT_H
#define IMAGE_CONTENT_H

#include <cstddef>
#include <cstdint>
#include <vector>

// The MCU's start-up block at `address`: the vector table, whose reset entry
// is `entry` (the reset handler lies inside the block), then code and text.
std::vector<uint8_t> makeMcuBootBlock(uint32_t address, size_t length, uint32_t *entry);
// The MCU's application block at `address`: code, text, tables and zero runs.
std::vector<uint8_t> makeMcuApplicationBlock(uint32_t address, size_t length);
// A programmable-logic configuration image of `length` bytes.
std::vector<uint8_t> makeLogicImage(size_t length);

#endif
