// The catalogue of the firmware images the tool carries. Its source is
// generated at build time from the three image files, as C: compilers take
// the multi-megabyte array initialisers in C far faster and with far less
// memory than in C++, hence the C linkage of the names below.
#ifndef _AUTOGEN_BINIMAGE_H_
#define _AUTOGEN_BINIMAGE_H_

#define AUTOGEN_FILES_COUNT 3

#ifdef __cplusplus
extern "C" {
#endif

typedef struct {
    char filePath[70];       // file name, NUL-padded
    char filePathLength;     // characters of the name
    const char *fileData;    // the file's bytes, followed by one NUL
    int fileDataLength;      // bytes of the file, the NUL not counted
} autogen_files;

// 0: MCU firmware (Intel HEX), 1: TX programmable logic (MCS), 2: RX programmable logic (MCS).
extern const autogen_files AUTOGEN_FILES[AUTOGEN_FILES_COUNT];

extern const char M418260_MCU_61_1_02_hex[];
extern const char M418260_TX_XC7A75_1_02_mcs[];
extern const char M418260_RX_XC7A75_1_02_mcs[];

#ifdef __cplusplus
}
#endif

#endif
