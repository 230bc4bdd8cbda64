// Where a unit's run is, for programs (--progress json): once events are
// switched on, each hook writes one event line (ProgressEvent.h) and flushes
// it; before that every hook does nothing, so the console run is untouched.
// The driver calls the hooks of the update's steps, the run modes those of
// the search and the end; no hook prints on the console.
#ifndef PROGRESS_H
#define PROGRESS_H

#include <cstdio>
#include <string>

#include "ProgressEvent.h"
#include "UnitVersions.h"

// Switches events on; they go to `events` from then on.
void Progress_WriteEventsTo(FILE *events);
// `observer` is called with each event from now on, whether or not events
// are written, as the run's report follows the run; null stops the calls.
void Progress_Observe(void (*observer)(const ProgressEvent &event));

// The search begins; `port` is empty when more than one port is searched.
void Progress_Searching(const std::string &port);
// A unit answered on `port` at `baud`: the checks begin.
void Progress_Connected(const std::string &port, int baud);
void Progress_Versions(const UnitVersions &versions);
// What the unit reported after its reboot, and whether that is what it
// should run; the step is Verifying.
void Progress_VersionsAfter(const UnitVersions &versions, bool verified);
void Progress_UnitType(bool isTx);
// Logic, Firmware or Rebooting begins, at 0 %; Verifying has no percentage.
void Progress_Step(ProgressStep step);
// The step's percentage; an event only when it grew.
void Progress_Percent(int percent);
// Why the run is failing, in words; the first reason given is the one the
// last event carries.
void Progress_Failed(const std::string &why);
// Progress_Failed for a unit that this tool does not update; its last
// event says so (not_supported).
void Progress_NotSupported(const std::string &why);
// Progress_Failed with what the unit answered instead of `expected`.
void Progress_UnexpectedReply(const char *expected, const char *received);
// The last event: the run's result, with the reason given to
// Progress_Failed (or `fallback` when none was) unless the run succeeded.
void Progress_Finish(ProgressResult result, const std::string &fallback = "");
// The last event of an identification that succeeded.
void Progress_FinishIdentified(bool upToDate, bool newerThanCarried);

#endif
