// The version and identification queries of the check after the reboot. A
// unit that has just restarted may take seconds to answer, and a reply that
// comes late must not be read as the answer to the next query: each reply is
// gathered until it is whole, within a bound, and what the line still holds
// is dropped before the next query goes out.
#ifndef QUERIES_AFTER_REBOOT_H
#define QUERIES_AFTER_REBOOT_H

#include "UnitIdentification.h"
#include "UnitVersions.h"

// How long each query after the reboot waits for its whole reply, from the
// moment it was sent; a slow boot fits well inside.
#define AFTER_REBOOT_REPLY_BOUND_MS 8000

enum class VersionAnswer {
    Whole,      // all seven fields read
    Partial,    // the unit answered, but not with a whole version reply
    NoAnswer,   // nothing came within the bound
};

// "%fw -v", its reply gathered until it reads whole and the line has been
// quiet for a moment, or until the bound.
VersionAnswer queryUnitVersionsAfterReboot(UnitVersions *versions);

// "%fw -p", its reply gathered until it equals one of the identifications,
// or has come and the line is quiet again, or until the bound.
UnitKind identifyUnitAfterReboot(void);

#endif
