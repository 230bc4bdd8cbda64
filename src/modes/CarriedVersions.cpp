#include "CarriedVersions.h"

#include <cstdio>
#include <initializer_list>
#include <vector>

#include "BinImage.h"
#include "RavelinFwUpgrade.h"

namespace {

// Splits "a_b_c.ext" into {"a", "b", "c"} when the name ends in ".ext".
bool fieldsOf(const std::string &name, const std::string &extension, std::vector<std::string> &fields)
{
    if (name.size() <= extension.size() ||
        name.compare(name.size() - extension.size(), extension.size(), extension) != 0) {
        return false;
    }
    const std::string stem = name.substr(0, name.size() - extension.size());
    fields.clear();
    size_t start = 0;
    for (;;) {
        const size_t underscore = stem.find('_', start);
        fields.push_back(stem.substr(start, underscore - start));
        if (underscore == std::string::npos) {
            break;
        }
        start = underscore + 1;
    }
    for (const std::string &field : fields) {
        if (field.empty()) {
            return false;
        }
    }
    return true;
}

// Digits only, at most four of them: version fields are small numbers.
bool numberOf(const std::string &text, int &value)
{
    if (text.empty() || text.size() > 4) {
        return false;
    }
    value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
        value = value * 10 + (c - '0');
    }
    return true;
}

bool isModelWord(const std::string &text)
{
    // The unit's version reply holds the model in at most seven characters.
    if (text.size() > 7) {
        return false;
    }
    for (const char c : text) {
        const bool alphanumeric = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
        if (!alphanumeric) {
            return false;
        }
    }
    return true;
}

std::string catalogueName(int index)
{
    const autogen_files &entry = AUTOGEN_FILES[index];
    size_t length = 0;
    while (length < sizeof entry.filePath && entry.filePath[length] != '\0') {
        ++length;
    }
    return std::string(entry.filePath, length);
}

}  // namespace

McuVersion mcuVersionFromFileName(const std::string &name)
{
    McuVersion version;
    std::vector<std::string> fields;
    if (fieldsOf(name, ".hex", fields) && fields.size() == 5 && fields[1] == "MCU" &&
        numberOf(fields[2], version.version) && numberOf(fields[3], version.revision) &&
        numberOf(fields[4], version.sub)) {
        version.known = true;
    }
    return version;
}

LogicVersion logicVersionFromFileName(const std::string &name, const char *unitType)
{
    LogicVersion version;
    std::vector<std::string> fields;
    if (fieldsOf(name, ".mcs", fields) && fields.size() == 5 && fields[1] == unitType && isModelWord(fields[2]) &&
        numberOf(fields[3], version.version) && numberOf(fields[4], version.revision)) {
        version.model = fields[2];
        version.known = true;
    }
    return version;
}

McuVersion carriedMcuVersion()
{
    return mcuVersionFromFileName(catalogueName(CATALOGUE_MCU_FIRMWARE));
}

LogicVersion carriedLogicVersion(bool isTx)
{
    return isTx ? logicVersionFromFileName(catalogueName(CATALOGUE_TX_LOGIC), "TX")
                : logicVersionFromFileName(catalogueName(CATALOGUE_RX_LOGIC), "RX");
}

std::string formatMcuVersion(const McuVersion &version)
{
    if (!version.known) {
        return "unknown";
    }
    char text[40];
    snprintf(text, sizeof text, "%d.%02d.%02d", version.version, version.revision, version.sub);
    return text;
}

std::string formatLogicVersion(const LogicVersion &version)
{
    if (!version.known) {
        return "unknown";
    }
    char text[40];
    snprintf(text, sizeof text, "%d.%02d", version.version, version.revision);
    return version.model + " " + text;
}

namespace {

// -1, 0 or 1 as a is below, equal to or above b.
int compareNumbers(std::initializer_list<int> a, std::initializer_list<int> b)
{
    auto x = a.begin();
    for (auto y = b.begin(); x != a.end() && y != b.end(); ++x, ++y) {
        if (*x != *y) {
            return *x < *y ? -1 : 1;
        }
    }
    return 0;
}

// Set only when the carried version is known; otherwise the unit's version
// cannot be placed against it.
bool compareMcu(const UnitVersions &unit, const McuVersion &carried, int &order)
{
    if (!carried.known) {
        return false;
    }
    order = compareNumbers({unit.fw_ver, unit.fw_rev, unit.fw_sub}, {carried.version, carried.revision, carried.sub});
    return true;
}

// Versions of two logic models are not ordered.
bool compareLogic(const UnitVersions &unit, const LogicVersion &carried, int &order)
{
    if (!carried.known || carried.model != unit.model) {
        return false;
    }
    order = compareNumbers({unit.fpga_ver, unit.fpga_rev}, {carried.version, carried.revision});
    return true;
}

}  // namespace

VersionStanding versionStanding(const UnitVersions &unit, bool isTx)
{
    int mcuOrder = 0;
    int logicOrder = 0;
    const bool mcuPlaced = compareMcu(unit, carriedMcuVersion(), mcuOrder);
    const bool logicPlaced = compareLogic(unit, carriedLogicVersion(isTx), logicOrder);
    // A unit with another logic model is not placed at all: its MCU number
    // says nothing about the firmware that goes with the carried model.
    if (!logicPlaced) {
        return VersionStanding::Outdated;
    }
    if ((mcuPlaced && mcuOrder > 0) || logicOrder > 0) {
        return VersionStanding::Newer;
    }
    if (mcuPlaced && mcuOrder == 0 && logicOrder == 0) {
        return VersionStanding::Current;
    }
    return VersionStanding::Outdated;
}

std::string otherLogicModel(const UnitVersions &unit, bool isTx)
{
    const LogicVersion carried = carriedLogicVersion(isTx);
    if (!unit.complete || !carried.known || carried.model == unit.model) {
        return "";
    }
    return "reports logic model " + shownUnitText(unit.model) + " with device code " +
           std::to_string(unit.fpga_type) + "; this tool carries " + carried.model;
}

std::string formatUnitVersions(const UnitVersions &unit)
{
    if (!unit.complete) {
        return "unknown";
    }
    // The model word is the unit's own text, shown on the console.
    char text[80];
    snprintf(text, sizeof text, "%d.%02d.%02d, %s %d.%02d", unit.fw_ver, unit.fw_rev, unit.fw_sub,
             shownUnitText(unit.model).c_str(), unit.fpga_ver, unit.fpga_rev);
    return text;
}

std::string formatCarriedVersions(bool isTx)
{
    return formatMcuVersion(carriedMcuVersion()) + ", " + formatLogicVersion(carriedLogicVersion(isTx));
}
