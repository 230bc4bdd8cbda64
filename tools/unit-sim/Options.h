// The simulator's command line. Every option is documented in helpText(),
// which `unit-sim --help` prints.
#ifndef UNIT_SIM_OPTIONS_H
#define UNIT_SIM_OPTIONS_H

#include "Unit.h"

#include <string>

struct Options {
    std::string dir;  // the COM folder; --dir, else $RAVELIN_COM_DIR
    int com = 1;
    std::string link;  // --link NAME; empty: comN
    std::string tty;   // --tty PATH: an existing terminal instead of a pty of its own
    UnitConfig unit;
    std::string saveLogic;
    std::string saveMcu;
    std::string wireLog;
    std::string readyFile;
    bool pace = false;
    bool exitAfterPrompt = false;
    bool verbose = false;
};

enum class ParseResult { Run, Help, Error };

// On Error, `error` holds the message to show.
ParseResult parseOptions(int argc, char **argv, Options &options, std::string &error);
const char *helpText();

#endif
