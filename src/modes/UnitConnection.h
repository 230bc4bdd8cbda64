// Reaching the unit the way the command line chose: a whole discovery scan,
// a scan at one rate, the six rates on one port, or one port opened at one
// rate with nothing tried. Shared by the update and the identification.
#ifndef UNIT_CONNECTION_H
#define UNIT_CONNECTION_H

#include <optional>
#include <string>

#include "CommandLine.h"
#include "Discovery.h"

// The fix for a port that exists but is not open to this user.
#define PERMISSION_HINT                                                                          \
    "To use serial ports without being root, add your user to the dialout group\r\n"           \
    "(sudo usermod -aG dialout $USER), then log out and in again.\r\n"

// Opens the unit's port at its command rate (CTS flow control off, as for
// discovery): the link when a unit answered, or, with both --port and
// --baud, when the port opened at that rate. Without --port the scan goes
// over COM1..COM32, then over the devices that have no COM number (USB
// serial adapters on Linux).
std::optional<UnitLink> connectAsChosen(const CommandLine &line);

// True when the port is opened at a given rate without asking the unit.
bool connectsWithoutProbe(const CommandLine &line);

// The port that --port names, as ComPortAPI numbers it; 0 when none.
int chosenPort(const CommandLine &line);

// The port as the console shows it after "COM PORT Number : ": the COM
// number alone, or the device of a port that has none.
std::string shownPortNumber(int port);

// The port the command line names, as messages and progress events name it
// ("COM3", "/dev/ttyUSB0"); "" when the search covers every port.
std::string chosenPortName(const CommandLine &line);

// Where the search looked, for the failure line: "COM1..COM32", "COM5",
// "/dev/ttyUSB0", with " at 9600 baud" when one rate was chosen.
std::string searchedPlaces(const CommandLine &line);

// One line for each port that was in use or not open to this user at the
// last attempt, and the fix for the permission once, if any port needs it;
// `lead` goes before the first line. Nothing when no port was refused.
void reportRefusedPorts(const char *lead);

// With --port, when the port named could not be opened at all: why, as
// "<port>: no such device." or "<port>: not a serial device." (a folder, a
// plain file), after `lead`. A port in use or not open to this user is
// told by reportRefusedPorts. Nothing without --port or when the port opened.
void reportUnusableChosenPort(const CommandLine &line, const char *lead);

#endif
