// Program entry: reads the command line and runs the mode it chose.
#ifndef TOOL_MAIN_H
#define TOOL_MAIN_H

// The process exit status (see usageText in CommandLine.h).
int ravelinMain(int argc, char **argv);

#endif
