// The report of a whole run (--report FILE): one JSON document, for a
// program that wants one answer per unit without reading the events of
// every port. The run modes and the rack fill the record; this module turns
// it into text (see "The run report" in the README for every member).
// Readers pass over members they do not know; members may be added.
#ifndef RUN_REPORT_H
#define RUN_REPORT_H

#include <string>
#include <vector>

#include "PortEnumeration.h"
#include "ProgressEvent.h"

#define RUN_REPORT_VERSION 1

struct ReportVersions {
    bool known = false;
    std::string mcu;    // "61.01.02"
    std::string logic;  // "XC7A75 1.02"
    int device = 0;
};

struct ReportPort {
    std::string port;       // the tool's name of it: "COM3", or the path given to --port
    PortIdentity identity;  // its "path" is the report's port "path"
    int baud = 0;           // 0 when no unit answered
    std::string unitType;   // "TX", "RX"; empty when not identified
    ReportVersions before;
    ReportVersions after;
    std::string result;     // a progress result word
    std::string verdict;    // "up to date", ...; empty when not known
    bool written = false;   // an image byte went to the unit
    std::string message;
    int attempts = 1;
    double seconds = 0;
    std::string trace;      // empty when there is none
    std::vector<std::string> traces;  // a rack's: the trace of every try; empty otherwise
};

struct ReportCarried {
    std::string mcu;
    std::string logicTx;
    std::string logicRx;
    int device = 0;
};

struct RunReport {
    std::string toolVersion;
    ReportCarried carried;
    std::string host;
    std::string started;  // UTC, ISO 8601 to the second
    std::string ended;
    std::vector<std::string> commandLine;
    std::string mode;     // "update" (the update, --all) or "info" (--info, --all --info)
    std::vector<ReportPort> ports;
    // False while the run goes on: the document then says where each port
    // was at its last step, as a run that is ended from outside leaves it.
    bool complete = false;
    long long exitStatus = 0;  // written only once complete (0xC000013A on Windows: wider than int)
};

// The document, pretty-printed, with a final line end. Text that is not
// valid UTF-8 is carried with replacement characters.
std::string formatRunReport(const RunReport &report);

// The port's record as its last progress event tells it; an event without
// a result reads as a run stopped at its step. Port, identity, attempts,
// seconds and trace are the caller's.
ReportPort reportPortFromEvent(const ProgressEvent &state);

// What the system says of the port the tool names `port` ("COM3", a device
// path, a by-id link); only its path when the system lists no such port.
PortIdentity reportPortIdentity(const std::string &port);
// The same for several ports, with one look at the system's list.
std::vector<PortIdentity> reportPortIdentities(const std::vector<std::string> &ports);

// Now, in UTC: "2026-12-09T02:10:00Z".
std::string reportTimeNow(void);

// `path` as an absolute path, for a record read from another folder; as it
// is when that cannot be known.
std::string reportAbsolutePath(const std::string &path);

#endif
