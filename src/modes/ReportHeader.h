// What every run report (--report) says of the run before its ports: the
// tool and the versions it carries, the host, the start and the command
// line. Shared by the single runs and the rack.
#ifndef REPORT_HEADER_H
#define REPORT_HEADER_H

#include "CommandLine.h"
#include "RunReport.h"

// Call it when the run begins: its start is now.
RunReport reportHeader(const CommandLine &line, int argc, const char *const *argv);

#endif
