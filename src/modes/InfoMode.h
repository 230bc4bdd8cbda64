// --info: finds the unit as the command line chose, asks it for its versions
// and its identification, and reports them beside the versions this tool
// carries. Sends nothing but the search probe, "%fw -v" and "%fw -p", and
// ends without a key wait.
#ifndef INFO_MODE_H
#define INFO_MODE_H

#include "CommandLine.h"

// The report's last line when the unit runs what this tool carries.
#define INFO_UP_TO_DATE "UP TO DATE"
#define INFO_UPDATE_NEEDED "UPDATE NEEDED"
#define INFO_NEWER_THAN_CARRIED "NEWER THAN CARRIED"

// The process exit status: 0 when a supported unit was identified, 1 when
// no unit answered or the unit is not supported.
int runInfo(const CommandLine &line);

#endif
