// What the unit says it is: its versions, its device code and whether this
// tool updates it, and whether it is the TX or the RX unit.
#ifndef UNIT_IDENTIFICATION_H
#define UNIT_IDENTIFICATION_H

#include "Platform.h"
#include "UnitVersions.h"

// Device codes in the last field of the unit's version reply.
#define DEVICE_NONE 0
#define DEVICE_XC7A35_484 1
#define DEVICE_XC7A50_484 2
#define DEVICE_XC7A75_484 3
#define DEVICE_XC7A100_484 4
#define DEVICE_XC7A200_S484 5
#define DEVICE_XC7A200_F484 6
#define DEVICE_XC7A75_676 7
#define DEVICE_XC7A100_676 8
#define DEVICE_XC7A15_484 9

#define VALIDATE_TX_PRODUCT_ID_STRING "Korvan 6G SDI EXTENDER TX OVER FIBER WITH RETURN CHANNEL\r\n>>"
#define VALIDATE_RX_PRODUCT_ID_STRING "Korvan 6G SDI EXTENDER RX OVER FIBER WITH RETURN CHANNEL\r\n>>"

enum class UnitKind { Tx, Rx, Unknown };

// Sends "%fw -v" and reads its reply with one read of the time-out in force.
// 1 when all seven fields were read.
BOOL queryUnitVersions(UnitVersions *versions);

// The one device this tool carries images for.
bool isSupportedDevice(int deviceCode);

// One "%fw -p", its whole reply compared with both identifications.
UnitKind identifyUnit(void);
// As the update has always asked: "%fw -p" compared with the TX
// identification, and when it is not that, sent again and compared with the
// RX one, so that an RX unit is asked twice.
UnitKind identifyUnitByTurns(void);

#endif
