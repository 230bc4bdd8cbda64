// The tool's command line, read into a plain record. Parsing opens nothing
// and prints nothing: the caller shows the error.
#ifndef COMMAND_LINE_H
#define COMMAND_LINE_H

#include <string>
#include <vector>

enum class RunMode {
    Update,      // no mode option: find the unit and update it
    Info,        // --info: identify the unit, write nothing to it
    All,         // --all: update every unit found, each port by a process of its own
    WebPackage,  // --web-package
    ListPorts,   // --list-ports: the serial ports that exist, nothing sent
    Version,     // --version
    Help,        // --help
};

// Exit statuses of the tool, as listed by --help and the README.
#define EXIT_STATUS_SUCCESS 0
#define EXIT_STATUS_FAILED 1
#define EXIT_STATUS_USAGE 2
#define EXIT_STATUS_NOT_CONFIRMED 3
#define EXIT_STATUS_NOT_VERIFIED 4
#define EXIT_STATUS_NO_CONNECTION (-1)

#define COMMAND_LINE_LAST_PORT 255

// What a run shows: the console picture, or one JSON event a line
// (ProgressEvent.h) for programs and nothing else on stdout.
enum class ProgressFormat { Console, Json };

// A port named with --port: COM `port`, or else the device `path`.
struct NamedPort {
    int port = 0;
    std::string path;
};

#define COMMAND_LINE_MOST_RETRIES 5

struct CommandLine {
    RunMode mode = RunMode::Update;
    int port = 0;          // --port N or --port COMN: COM N alone; 0 when not given
    std::string portPath;  // --port PATH: that device alone; empty when not given
    int baud = 0;          // --baud B: the unit's command rate; 0 when not given
    bool noWait = false;
    std::string logFile;   // --log FILE: the trace of the run; empty when not given
    ProgressFormat progress = ProgressFormat::Console;  // --progress console|json
    std::string logDir;    // --log-dir DIR: where --all writes the traces; empty: the current directory
    bool verify = false;          // --verify: the versions are checked after the reboot
    bool ifNeeded = false;        // --if-needed: a current or newer unit is left alone
    bool allowReinstall = false;  // --allow-reinstall: a current unit is updated all the same
    bool allowOlder = false;      // --allow-older: a newer unit gets the older carried versions
    bool allInfo = false;         // --all --info: every unit identified, nothing written
    std::vector<NamedPort> rackPorts;  // --port with --all, once or more: those ports alone, in order
    int retries = 0;              // --retries N: a failed port of --all is run again up to N times
    std::string reportFile;       // --report FILE: the run's report; empty when not given

    bool namesPort() const { return port != 0 || !portPath.empty(); }
    // A run that names its port or rate, that must not wait for a key, or
    // whose console picture nobody sees, is unattended: it asks nothing on
    // the console.
    bool unattended() const { return namesPort() || baud != 0 || noWait || progress == ProgressFormat::Json; }
    // Events are read by a program, which presses no key.
    bool waitsForKey() const { return !noWait && progress == ProgressFormat::Console; }
    // Nobody watches an unattended run or a rack: the versions after the
    // reboot are checked for them. The plain run checks them when asked.
    bool verifiesAfterReboot() const { return verify || unattended() || mode == RunMode::All; }
    // A rack leaves current and newer units alone; a single run when asked.
    bool leavesCurrentUnits() const { return ifNeeded || mode == RunMode::All; }
};

// Fills `line` from argv[1..argc-1]. False on an unknown option, a missing
// or malformed value, a value out of range, an option given twice (but
// --port with --all), two run modes at once (but --all --info), or an option that the chosen mode does not take; `error`
// then says which.
bool parseCommandLine(int argc, const char *const *argv, CommandLine &line, std::string &error);

// The text of --help: every option and the exit statuses.
std::string usageText(const char *program);

// Every option the parser knows, "--port" to "--help".
std::vector<std::string> commandLineOptionNames(void);

// The line after a usage error's own, on standard error.
#define USAGE_ERROR_HINT "Try 'RavelinFwUpgrade --help' for more information.\n"

#endif
