// What --all shows on the console: one line per port (port, rate, TX or
// RX, and the step it is at), redrawn in place on a terminal or written as
// plain lines elsewhere, and the summary table at the end. Only text is made
// here; the caller prints it.
#ifndef RACK_BOARD_H
#define RACK_BOARD_H

#include <string>
#include <vector>

#include "ProgressEvent.h"

struct RackRow {
    std::string port;
    std::string traceFile;  // the last try's; empty when no trace is kept
    std::vector<std::string> traceFiles;  // the trace of every try, in order
    int attempts = 1;       // the try the port is on, or ended on
    std::string traceTrouble;  // "incomplete: why" once the trace missed records
    bool waiting = false;   // its process waits for its turn, or never had one
    ProgressEvent state;    // the last event of the port's process; a result once it is over
    double seconds = 0;     // from the start to the result
};

// The step as the board shows it: "waiting", "searching", "logic 45%", "done",
// "no unit", "up to date", "newer than carried", "NOT CONFIRMED: why",
// "NOT VERIFIED: why", "FAILED during logic 100%: why",
// "STOPPED during firmware 40%", "STOPPED before its turn", "no such port";
// for --all --info the verdict: "up to date", "update needed", "newer than
// carried", "NOT SUPPORTED: why"; " (2nd try)" after it from the second try
// on. Characters that could move a terminal's cursor are shown as '?'.
std::string rackRowStep(const RackRow &row);

class RackBoard {
public:
    // `inPlace`: stdout is a terminal that takes ANSI cursor movement.
    explicit RackBoard(bool inPlace) : inPlace_(inPlace) {}

    // The text that brings the console up to date with `rows`: in place,
    // the whole board again over the one drawn before, each line cut to
    // the width of a standard console; otherwise one line for each row
    // whose line changed, with percentages in steps of ten so that a log
    // stays readable. Empty when nothing shown changed.
    std::string update(const std::vector<RackRow> &rows);

private:
    bool inPlace_;
    std::vector<std::string> shown_;
};

// The width of the board's port column: eight, or the longest port name
// (a device path) and a blank.
size_t rackPortWidth(const std::vector<RackRow> &rows);

// One line of the board: port, rate, type and step.
std::string rackBoardLine(const RackRow &row, size_t portWidth = 8);

// "COM1, COM3, /dev/ttyUSB0".
std::string joinedPorts(const std::vector<std::string> &ports);

// How a rack ended: its last line and the exit status.
struct RackVerdict {
    std::string message;
    int status;
};

// The rack's verdict from its rows: success when every unit found is
// updated and verified, up to date or newer. `refusedPortsAllInUse` says,
// for a rack without rows, that every port was held by another program.
// A named port that does not exist holds no unit.
RackVerdict rackVerdict(const std::vector<RackRow> &rows, bool refusedPortsAllInUse);
// The same for --all --info: success when every unit found was identified.
RackVerdict rackInfoVerdict(const std::vector<RackRow> &rows, bool refusedPortsAllInUse);

// The table at the end: port, type, versions before, result, versions
// after the reboot, the tries it took (with `attempts`: --retries), time and
// trace file of every row, then why each failed, unverified or stopped row
// did.
std::string rackSummary(const std::vector<RackRow> &rows, bool attempts = false);

// The table at the end of --all --info: port, rate, type, versions,
// verdict, time and trace file of every row, then why each row that was
// not identified was not.
std::string rackInfoSummary(const std::vector<RackRow> &rows);

#endif
