// --report with --all: one record a row of the board, written when the
// rack begins, again whenever a port settles or starts a new try, and
// complete at the end (a rack stopped by Ctrl-C included).
#ifndef RACK_REPORT_H
#define RACK_REPORT_H

#include <string>
#include <vector>

#include "RackBoard.h"
#include "ReportFile.h"
#include "RunReport.h"

class RackReport {
public:
    // No report when `path` is empty: every call then does nothing.
    RackReport(const std::string &path, const RunReport &header) : file_(path), on_(!path.empty()), report_(header)
    {
    }

    // The ports' identities, once, when the rows are known.
    void identify(const std::vector<RackRow> &rows);
    void write(const std::vector<RackRow> &rows);
    void writeComplete(const std::vector<RackRow> &rows, long long exitStatus);

private:
    ReportFile file_;
    bool on_;
    RunReport report_;
    std::vector<PortIdentity> identities_;
};

#endif
