#include "RackReport.h"

void RackReport::identify(const std::vector<RackRow> &rows)
{
    if (!on_) {
        return;
    }
    std::vector<std::string> names;
    for (const RackRow &row : rows) {
        names.push_back(row.port);
    }
    identities_ = reportPortIdentities(names);
}

void RackReport::write(const std::vector<RackRow> &rows)
{
    if (!on_) {
        return;
    }
    report_.ports.clear();
    for (size_t i = 0; i < rows.size(); ++i) {
        const RackRow &row = rows[i];
        ReportPort port = reportPortFromEvent(row.state);
        port.port = row.port;
        if (i < identities_.size()) {
            port.identity = identities_[i];
        }
        if (row.waiting && row.state.result == ProgressResult::None) {
            port.message = "the run ended before its turn";
        }
        port.attempts = row.attempts;
        port.seconds = row.seconds;
        for (const std::string &trace : row.traceFiles) {
            port.traces.push_back(reportAbsolutePath(trace));
        }
        port.trace = port.traces.empty() ? "" : port.traces.back();
        report_.ports.push_back(port);
    }
    file_.write(report_);
}

void RackReport::writeComplete(const std::vector<RackRow> &rows, long long exitStatus)
{
    report_.complete = true;
    report_.exitStatus = exitStatus;
    write(rows);
}
