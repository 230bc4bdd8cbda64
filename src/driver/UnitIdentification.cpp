#include "UnitIdentification.h"

#include <cstring>

#include "StringOperations.h"
#include "UnitExchange.h"
#include "VersionReply.h"

BOOL queryUnitVersions(UnitVersions *versions)
{
    sendCommand("%fw -v", 0, 0, nullptr);
    readIntoDataBuffer();
    StrRemoveNL(gDataBuffer, ' ');
    *versions = parseVersionReply(gDataBuffer);
    return versions->complete;
}

bool isSupportedDevice(int deviceCode)
{
    return deviceCode == DEVICE_XC7A75_676;
}

UnitKind identifyUnit(void)
{
    sendCommand("%fw -p", 0, 0, "");
    const char *reply = lastCollectedReply();
    if (strcmp(reply, VALIDATE_TX_PRODUCT_ID_STRING) == 0) {
        return UnitKind::Tx;
    }
    if (strcmp(reply, VALIDATE_RX_PRODUCT_ID_STRING) == 0) {
        return UnitKind::Rx;
    }
    return UnitKind::Unknown;
}

UnitKind identifyUnitByTurns(void)
{
    if (sendCommand("%fw -p", 0, 1, VALIDATE_TX_PRODUCT_ID_STRING)) {
        return UnitKind::Tx;
    }
    if (sendCommand("%fw -p", 0, 1, VALIDATE_RX_PRODUCT_ID_STRING)) {
        return UnitKind::Rx;
    }
    return UnitKind::Unknown;
}
