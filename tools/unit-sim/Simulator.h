// The event loop that runs a Unit on its PtyLink: reads what the tool writes,
// tags it with the line rate the tool set, hands it to the unit, and writes
// the unit's transmissions when they are due. A transmission sent while the
// line is set to another rate than its own reaches the tool mangled, as a
// real UART would deliver it.
//
// It also plays the faults that are about the line rather than the
// protocol: --pace, flood, drip, hangup-mid-stream, stop-reading-mid-stream.
// Everything waits in poll(); the loop wakes at least every 250 ms to notice
// a parent that died.
#ifndef UNIT_SIM_SIMULATOR_H
#define UNIT_SIM_SIMULATOR_H

#include "Options.h"
#include "PtyLink.h"

// Runs until the unit is stopped (a byte readable on stopFd, the parent's
// end, --exit-after-prompt, hangup-mid-stream) or the line fails. Returns
// the exit status: 0, or 1 when the line failed.
int runSimulator(const Options &options, PtyLink &link, int wireLog, int stopFd);

#endif
