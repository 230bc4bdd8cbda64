// The versions of the images this tool carries, read from the catalogue's
// file names: "<product>_MCU_<v>_<r>_<s>.hex" carries MCU firmware v.r.s and
// "<product>_TX_<model>_<v>_<r>.mcs" (or _RX_) carries logic <model> v.r.
// A name of another shape leaves that version unknown.
#ifndef CARRIED_VERSIONS_H
#define CARRIED_VERSIONS_H

#include <string>

#include "UnitVersions.h"

struct McuVersion {
    bool known = false;
    int version = 0, revision = 0, sub = 0;
};

struct LogicVersion {
    bool known = false;
    std::string model;
    int version = 0, revision = 0;
};

McuVersion mcuVersionFromFileName(const std::string &name);
// `unitType` is "TX" or "RX": the name must carry that type.
LogicVersion logicVersionFromFileName(const std::string &name, const char *unitType);

// The versions of the catalogue's own images.
McuVersion carriedMcuVersion();
LogicVersion carriedLogicVersion(bool isTx);

// As the unit's version lines show them: "61.01.02", "XC7A75 1.02";
// "unknown" when the version is not known.
std::string formatMcuVersion(const McuVersion &version);
std::string formatLogicVersion(const LogicVersion &version);

// How a unit's versions stand against the carried ones for its type, as
// numbers ("61.01.002" is 61.1.2): the MCU version by its three numbers, the
// logic version by its model word, then its two numbers.
enum class VersionStanding {
    Current,   // both versions are the carried ones
    Newer,     // the MCU version, or the logic version of the same model, is newer
    Outdated,  // anything else: older, another logic model, or a carried version unknown
};
VersionStanding versionStanding(const UnitVersions &unit, bool isTx);

// Empty when the unit's logic model word is the carried image's for its
// type (or the carried model is not known); otherwise why the carried images
// cannot make it current, for a unit whose device code says otherwise:
// "reports logic model XC7A50 with device code 7; this tool carries XC7A75".
std::string otherLogicModel(const UnitVersions &unit, bool isTx);

// "61.01.02, XC7A75 1.02": the unit's versions, and the carried ones.
std::string formatUnitVersions(const UnitVersions &unit);
std::string formatCarriedVersions(bool isTx);

#endif
