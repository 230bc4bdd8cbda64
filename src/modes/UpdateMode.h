// The update run: banner, connection (found, chosen on the command line, or
// typed at the prompts), the update procedure, the verdict and the exit.
#ifndef UPDATE_MODE_H
#define UPDATE_MODE_H

#include "CommandLine.h"

// The process exit status of the run (see usageText).
int runUpdate(const CommandLine &line);

#endif
