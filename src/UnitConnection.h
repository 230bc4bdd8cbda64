// Reaching the unit the way the command line chose: a whole discovery scan,
// a scan at one rate, the six rates on one port, or one port opened at one
// rate with nothing tried. Shared by the update and the identification.
#ifndef UNIT_CONNECTION_H
#define UNIT_CONNECTION_H

#include <string>

#include "CommandLine.h"

// Opens the unit's port at its command rate (CTS flow control off, as for
// discovery) and sets gComPortNumber and gBaudRate. 1 when a unit answered,
// or, with both --port and --baud, when the port opened at that rate.
bool connectAsChosen(const CommandLine &line);

// True when the port is opened at a given rate without asking the unit.
bool connectsWithoutProbe(const CommandLine &line);

// "COM3": the port's name in messages and progress events.
std::string comPortName(int comPort);

// The port the command line names, or "" when the search covers every port.
std::string chosenPortName(const CommandLine &line);

// Where the search looked, for the failure line: "COM1..COM32", "COM5",
// with " at 9600 baud" when one rate was chosen.
std::string searchedPlaces(const CommandLine &line);

#endif
