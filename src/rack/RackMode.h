// --all: every port that exists is searched for a unit and every unit found
// is updated, all ports at the same time. Each port is handled by a process
// of its own, this same program started as
//   <program> --port N --no-wait --progress json --log FILE --if-needed
// so the driver stays as it is, one unit per process; its events (see
// ProgressEvent.h) drive the board. A port without a unit costs its search
// time in its own process only, beside the others.
#ifndef RACK_MODE_H
#define RACK_MODE_H

#include "CommandLine.h"
#include "RunReport.h"

// The process exit status: 0 when every unit found was updated and
// verified, already ran the carried versions, or runs newer ones (both left
// alone unless --allow-reinstall or --allow-older); 1 when any other unit
// was found or none was. A stop request (Ctrl-C)
// stops every process, shows where each one was, and then ends the program
// as the request would have.
// With --report, `header` begins the report.
int runRack(const CommandLine &line, const RunReport &header);

#endif
