#include "SingleRunReport.h"

#include <chrono>
#include <memory>

#include "Progress.h"
#include "ReportFile.h"

namespace {

struct Following {
    explicit Following(const std::string &path) : file(path) {}
    ReportFile file;
    RunReport report;
    std::string trace;
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
    ProgressEvent state;
    std::string identifiedPort;  // the port whose identity the record holds
    PortIdentity identity;
    bool written = false;
};

std::unique_ptr<Following> gFollowing;

// The same record but for a percentage: not worth a writing.
bool sameStep(const ProgressEvent &a, const ProgressEvent &b)
{
    return a.port == b.port && a.baud == b.baud && a.step == b.step && a.result == b.result &&
           a.unitType == b.unitType && a.versionsKnown == b.versionsKnown &&
           a.versionsAfterKnown == b.versionsAfterKnown && a.verified == b.verified;
}

void writeReport(void)
{
    Following &run = *gFollowing;
    if (run.state.port != run.identifiedPort || !run.written) {
        run.identifiedPort = run.state.port;
        run.identity = run.state.port.empty() ? PortIdentity() : reportPortIdentity(run.state.port);
    }
    ReportPort port = reportPortFromEvent(run.state);
    port.port = run.state.port;
    port.identity = run.identity;
    port.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - run.start).count();
    port.trace = run.trace;
    run.report.ports = {port};
    run.file.write(run.report);
    run.written = true;
}

void follow(const ProgressEvent &event)
{
    const bool worthWriting = !gFollowing->written || !sameStep(event, gFollowing->state);
    gFollowing->state = event;
    if (worthWriting) {
        writeReport();
    }
}

}  // namespace

void SingleRunReport_Start(const std::string &path, const RunReport &header, const std::string &trace)
{
    gFollowing = std::make_unique<Following>(path);
    gFollowing->report = header;
    gFollowing->report.complete = false;
    gFollowing->trace = trace.empty() ? "" : reportAbsolutePath(trace);
    writeReport();
    Progress_Observe(follow);
}

void SingleRunReport_Finish(int exitStatus)
{
    if (!gFollowing) {
        return;
    }
    Progress_Observe(nullptr);
    gFollowing->report.complete = true;
    gFollowing->report.exitStatus = exitStatus;
    writeReport();
    gFollowing.reset();
}
