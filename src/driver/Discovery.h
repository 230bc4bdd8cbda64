// Finding the unit: the ports and rates tried, in order, with the probe that
// only the unit answers as it should.
#ifndef DISCOVERY_H
#define DISCOVERY_H

#include <optional>

#include "Platform.h"

#define DISCOVERY_PROBE_COMMAND "%help -c version"
#define DISCOVERY_EXPECTED_REPLY \
    "version\n\r   version <no parameters> {Get the current firmware version}\r\n>>"
#define DISCOVERY_LAST_COM_PORT 32

extern int gComPortNumber;
extern int gBaudRate;

// Where a unit answers: its port and the rate it takes commands at.
struct UnitLink {
    int port = 0;
    int baud = 0;
};

// The six trial rates, in the order discovery tries them.
extern const int kTrialBaudRates[];
#define TRIAL_BAUD_RATE_COUNT 6

// Scans COM firstPort to COM lastPort at each of the rates, in order, two
// tries each, with the probe open, the close and the records of discovery
// in gComPortNumber and gBaudRate. The link found, with its port left open
// at the unit's rate; none when no unit answered, and the records then hold
// what the last port scanned left.
std::optional<UnitLink> detectUnitAmong(int firstPort, int lastPort, const int *rates, int rateCount);
// Scans COM1 to COM32 at 115200, 9600, 57600, 4800, 2400 and 1200 baud; on 1
// the port is left open at the unit's rate, which gComPortNumber and
// gBaudRate name.
BOOL detectComPortAndBaudrate(void);

#endif
