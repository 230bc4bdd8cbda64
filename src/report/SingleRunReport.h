// --report with the run of one unit (the update, --info): the report holds
// one port, kept up to date from the run's progress events, whether or not
// they are shown. It is written when the run begins, at each step (not at
// each percent), and complete at the end.
#ifndef SINGLE_RUN_REPORT_H
#define SINGLE_RUN_REPORT_H

#include <string>

#include "RunReport.h"

// Starts following the run; `header` holds all but the port and the end.
// `trace` is the run's --log FILE, empty when none.
void SingleRunReport_Start(const std::string &path, const RunReport &header, const std::string &trace);
// The last writing, complete, with the run's exit status. Nothing when no
// report was started.
void SingleRunReport_Finish(int exitStatus);

#endif
