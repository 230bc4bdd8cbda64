// What a unit says it runs: the fields of its version reply. The driver
// reads them, the progress events and the run modes show and compare them.
#ifndef UNIT_VERSIONS_H
#define UNIT_VERSIONS_H

#include "Platform.h"

// The fields of the unit's version reply; `complete` is 1 when all seven
// were read, and the others keep their initial values where they were not.
typedef struct {
    int fw_ver, fw_rev, fw_sub;
    char model[8];
    int fpga_ver, fpga_rev;
    int fpga_type;
    BOOL complete;
} UnitVersions;

#endif
