// The binary image of one HEX text: the image buffer with its length and
// checksum, the HEX text copies that are assembled into it, and the
// assembly itself.
#ifndef IMAGE_ASSEMBLY_H
#define IMAGE_ASSEMBLY_H

#include <cstdint>

#include "Platform.h"

#define CONCAT_BUFFER_SIZE (4 * 1024 * 1024)
#define CONCAT_BUFFER_SPARE 16
#define HEX_COPY_SPARE 16

// Catalogue indices.
#define CATALOGUE_MCU_FIRMWARE 0
#define CATALOGUE_TX_LOGIC 1
#define CATALOGUE_RX_LOGIC 2

extern char *gHexFirmware;          // MCU HEX text, a private copy of catalogue entry 0
extern char *gHexFPGA_Code;         // programmable-logic HEX text, copied when the unit type is known
extern uint8_t *gDataConcatenated;  // the binary image: CONCAT_BUFFER_SIZE bytes + 16 spare
extern uint32_t gDataConcatenatedCheckSum;
extern int gDataConcatenatedLenght;

// A writable copy of catalogue entry `index`: its length plus 16 zero bytes,
// so NUL-terminated. Null when out of memory.
char *newCatalogueTextCopy(int index);

// Assembles a whole HEX text (consumed in place) into gDataConcatenated,
// 0xFF-filled, and sets gDataConcatenatedLenght to the end of the last data
// record in text order. Stops at the first invalid line. A record reaching
// past CONCAT_BUFFER_SIZE, a line too long for the 100-character line buffer
// and an extended linear address record with fewer than two data bytes are
// invalid lines too.
BOOL ValidateFwAndConcatenateData(char *gHexData);
// 0 minus the byte sum of the image, modulo 2^32, into gDataConcatenatedCheckSum.
uint32_t computeImageCheckSum(void);

#endif
