// The unit's answer to "%fw -v", read into its fields.
#ifndef VERSION_REPLY_H
#define VERSION_REPLY_H

#include "UnitVersions.h"

// Reads "<fw>.<rev>.<sub> <model> <fpga>.<rev> <device>" as the pattern
// "%d.%d.%d %7s %d.%d %d" would: white space (CR and LF included) before
// each number and the model word, none around the dots, the model word held
// to 7 characters, anything after the device code ignored. Unlike that
// pattern, a number is taken only when it fits an int, so a device code such
// as 4294967303 cannot wrap round to a supported one. The versions start as
// 0.0.0 "" 0.0 -1; fields are filled in order up to the first that does not
// read, and `complete` is 1 when all seven did.
UnitVersions parseVersionReply(const char *text);

#endif
