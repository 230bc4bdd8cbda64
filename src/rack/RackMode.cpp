#include "RackMode.h"

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "ComPortAPI.h"
#include "Console.h"
#include "PortEnumeration.h"
#include "ProgressEvent.h"
#include "RackBoard.h"
#include "RackPorts.h"
#include "RackReport.h"
#include "RackTraces.h"
#include "RackTries.h"
#include "RavelinFwUpgrade.h"
#include "Trace.h"
#include "UnitConnection.h"

namespace {

// How long the parent waits for output before it looks at the board again.
#define WAIT_STEP_MS 100
// A child's line longer than this is no event; it is dropped, not kept.
#define LONGEST_CHILD_LINE (64 * 1024)
// Ports' processes running at once; the others wait their turn. A big rack
// is still searched in a few rounds of six seconds, without a process (and
// its memory) for every port at the same time.
#define MOST_CHILDREN_AT_ONCE 32

using Clock = std::chrono::steady_clock;

// One port and the process that handles it.
struct PortRun {
    std::string portOption;  // what the process gets after --port: "3", "/dev/ttyUSB0"
    bool missing = false;    // named, and no such port
    std::string refusal;     // named, and it cannot be opened: why
    RackRow row;
    ChildProcess *child = nullptr;
    ProgressLineReader lines{LONGEST_CHILD_LINE};
    std::string lastOtherLine;  // the last line that was not an event
    bool over() const { return row.state.result != ProgressResult::None; }
};

PortRun portRun(const RackPortChoice &choice)
{
    PortRun port;
    port.portOption = choice.portOption;
    port.row.port = choice.name;
    port.row.state.port = choice.name;
    port.row.waiting = true;
    port.missing = choice.missing;
    port.refusal = choice.refusal;
    return port;
}

// Every port passed over was held by another program (none was refused to
// this user), and there was at least one.
bool allRefusedPortsInUse(void)
{
    const std::vector<PortRefusal> refusals = ComPortAPI_RefusedPorts();
    for (const PortRefusal &refusal : refusals) {
        if (refusal.why != PortOpenFailure::InUse) {
            return false;
        }
    }
    return !refusals.empty();
}

// Each port's process leaves a current or newer unit alone, as the rack
// does, and is lifted as the rack is; it checks the versions after the
// reboot anyway, being unattended.
std::vector<std::string> childPolicyOptions(const CommandLine &line)
{
    if (line.allInfo) {
        return {"--info"};
    }
    std::vector<std::string> options = {"--if-needed"};
    if (line.allowReinstall) {
        options.push_back("--allow-reinstall");
    }
    if (line.allowOlder) {
        options.push_back("--allow-older");
    }
    return options;
}

class Rack {
public:
    Rack(const CommandLine &line, const std::string &program, const RunReport &header)
        : json_(line.progress == ProgressFormat::Json), info_(line.allInfo), retries_(line.retries),
          program_(program), childPolicy_(childPolicyOptions(line)),
          board_(!json_ && Console_EnableCursorMovement()), report_(line.reportFile, header), start_(Clock::now()),
          traces_(line.logDir)
    {
    }

    // False, with the reason on stderr, when no trace can be written where
    // the traces go.
    bool traceFolderWritable(void) const { return traces_.folderWritable(); }
    // The ports named with --port, or every port. False, with the reason
    // on stderr, when one is named twice.
    bool choosePorts(const CommandLine &line);
    int run(void);

private:
    void show(const std::string &text);
    void showBoard(void);
    void relay(const PortRun &port);
    void startChild(PortRun &port);
    void startWaitingChildren(void);
    void readChildren(void);
    void takeLine(PortRun &port, const std::string &line);
    void takeOutput(PortRun &port, const std::string &output);
    void settle(PortRun &port, const ProgressEvent &state);
    // Settles the port as stopped where it was, saying why.
    void settleStopped(PortRun &port, const char *why);
    void childEnded(PortRun &port, int status);
    // A port whose process failed for a reason a new try may not meet
    // waits for its next try, from its search.
    void retryFailedPorts(void);
    void settleUnsearched(PortRun &port);
    void stopChildren(void);
    bool anyChildRunning(void) const;
    bool anyPortWaiting(void) const;
    std::vector<RackRow> rows(void) const;
    std::string summary(void) const;
    int verdict(void);

    const bool json_;
    const bool info_;
    const int retries_;
    const std::string program_;
    const std::vector<std::string> childPolicy_;
    RackBoard board_;
    RackReport report_;
    const Clock::time_point start_;
    const RackTraces traces_;
    std::vector<PortRun> ports_;
};

bool Rack::choosePorts(const CommandLine &line)
{
    std::vector<RackPortChoice> chosen;
    if (line.rackPorts.empty()) {
        chosen = rackEveryPort();
    } else {
        std::string error;
        if (!rackNamedPorts(line.rackPorts, chosen, error)) {
            fprintf(stderr, "ERROR: --port: %s.\n", error.c_str());
            return false;
        }
    }
    for (const RackPortChoice &choice : chosen) {
        ports_.push_back(portRun(choice));
    }
    return true;
}

void Rack::show(const std::string &text)
{
    if (!json_ && !text.empty()) {
        fwrite(text.data(), 1, text.size(), stdout);
    }
}

std::vector<RackRow> Rack::rows(void) const
{
    std::vector<RackRow> rows;
    for (const PortRun &port : ports_) {
        rows.push_back(port.row);
    }
    return rows;
}

void Rack::showBoard(void)
{
    show(board_.update(rows()));
}

// With --progress json the parent's stdout is the children's events, each
// with its port.
void Rack::relay(const PortRun &port)
{
    if (json_) {
        ProgressEvent event = port.row.state;
        event.attempt = port.row.attempts;
        const std::string line = formatProgressEvent(event) + "\n";
        fwrite(line.data(), 1, line.size(), stdout);
    }
}

// The trace is created here, new, before the process opens it by name: a
// name planted in the folder (a link, a file) is passed over, never opened.
// A port whose trace cannot be created is updated all the same.
void Rack::startChild(PortRun &port)
{
    port.row.waiting = false;
    std::vector<std::string> arguments = {program_, "--port", port.portOption, "--no-wait", "--progress", "json"};
    std::string error;
    // The process writes to the very file created here, handed to it open:
    // a name swapped for a link in the meantime is never opened.
    port.row.traceTrouble.clear();
    FILE *trace = traces_.createFor(port.row.port, port.row.traceFile, error);
    if (trace != nullptr) {
        arguments.insert(arguments.end(), {"--log", ChildProcess_PassedFileName(port.row.traceFile)});
        port.row.traceFiles.push_back(port.row.traceFile);
    } else {
        port.row.traceTrouble = "not created: " + error;
    }
    arguments.insert(arguments.end(), childPolicy_.begin(), childPolicy_.end());
    port.child = ChildProcess_Start(arguments, error, trace);
    if (trace != nullptr) {
        fclose(trace);
    }
    if (port.child == nullptr) {
        ProgressEvent failed = port.row.state;
        failed.message = error;
        settle(port, failed);
    }
}

void Rack::startWaitingChildren(void)
{
    int running = 0;
    for (const PortRun &port : ports_) {
        running += port.child != nullptr ? 1 : 0;
    }
    for (PortRun &port : ports_) {
        if (running >= MOST_CHILDREN_AT_ONCE) {
            return;
        }
        if (port.row.waiting) {
            startChild(port);
            running += port.child != nullptr ? 1 : 0;
        }
    }
}

void Rack::settle(PortRun &port, const ProgressEvent &state)
{
    port.row.state = state;
    if (state.result == ProgressResult::None) {
        port.row.state.result = ProgressResult::Failed;
        port.row.state.during = state.step;
        port.row.state.step = ProgressStep::Failed;
    }
    port.row.seconds = std::chrono::duration<double>(Clock::now() - start_).count();
    relay(port);
    report_.write(rows());
}

void Rack::retryFailedPorts(void)
{
    bool retried = false;
    for (PortRun &port : ports_) {
        // Once its process has ended, which puts the port back.
        const bool ended = port.child == nullptr && port.over() && !port.missing && port.refusal.empty();
        if (!ended || port.row.attempts > retries_ || ChildProcess_StopRequested() ||
            !rackTriesAgain(port.row.state)) {
            continue;
        }
        ++port.row.attempts;
        port.row.state = ProgressEvent();
        port.row.state.port = port.row.port;
        port.row.waiting = true;
        port.lastOtherLine.clear();
        retried = true;
    }
    if (retried) {
        report_.write(rows());
    }
}

// A named port that cannot be searched: settled before its turn.
void Rack::settleUnsearched(PortRun &port)
{
    port.row.waiting = false;
    ProgressEvent state = port.row.state;
    state.step = ProgressStep::Failed;
    state.during = ProgressStep::Searching;
    state.result = port.missing ? ProgressResult::NoSuchPort : ProgressResult::Failed;
    state.message = port.missing ? "no such port" : port.refusal;
    settle(port, state);
}

void Rack::takeLine(PortRun &port, const std::string &line)
{
    ProgressEvent event;
    std::string traceTrouble;
    if (Trace_ParseIncompleteWarning(line, traceTrouble)) {
        port.row.traceTrouble = "incomplete: " + traceTrouble;
        return;
    }
    if (!parseProgressEvent(line, event)) {
        if (!line.empty()) {
            port.lastOtherLine = line;
        }
        return;
    }
    if (port.over()) {
        return;
    }
    event.port = port.row.port;
    if (event.result != ProgressResult::None) {
        settle(port, event);
        return;
    }
    port.row.state = event;
    relay(port);
}

void Rack::takeOutput(PortRun &port, const std::string &output)
{
    for (const std::string &line : port.lines.take(output)) {
        takeLine(port, line);
    }
}

void Rack::childEnded(PortRun &port, int status)
{
    port.child = nullptr;
    takeLine(port, port.lines.rest());
    if (port.over()) {
        return;
    }
    ProgressEvent ended = port.row.state;
    ended.message = "its process ended with status " + std::to_string(status) + " before the end of the update";
    if (!port.lastOtherLine.empty()) {
        ended.message += " (it said: " + port.lastOtherLine + ")";
    }
    settle(port, ended);
}

void Rack::readChildren(void)
{
    std::vector<ChildProcess *> running;
    for (const PortRun &port : ports_) {
        if (port.child != nullptr) {
            running.push_back(port.child);
        }
    }
    ChildProcess_WaitForOutput(running, WAIT_STEP_MS);
    for (PortRun &port : ports_) {
        if (port.child == nullptr) {
            continue;
        }
        std::string output;
        const bool open = ChildProcess_Read(port.child, output);
        takeOutput(port, output);
        if (!open) {
            childEnded(port, ChildProcess_Finish(port.child));
        }
    }
}

void Rack::settleStopped(PortRun &port, const char *why)
{
    ProgressEvent stopped = port.row.state;
    stopped.during = stopped.step;
    stopped.step = ProgressStep::Failed;
    stopped.result = ProgressResult::Stopped;
    stopped.message = why;
    settle(port, stopped);
}

void Rack::stopChildren(void)
{
    for (PortRun &port : ports_) {
        if (port.row.waiting) {
            settleStopped(port, port.row.attempts > 1 ? "stopped by the operator before its next try"
                                                      : "stopped by the operator before its turn");
            continue;
        }
        if (port.child == nullptr) {
            continue;
        }
        // What the process said before it was stopped still counts.
        std::string output;
        ChildProcess_Read(port.child, output);
        takeOutput(port, output);
        ChildProcess_Stop(port.child);
        port.child = nullptr;
        if (!port.over()) {
            settleStopped(port, "stopped by the operator");
        }
    }
}

bool Rack::anyPortWaiting(void) const
{
    for (const PortRun &port : ports_) {
        if (port.row.waiting) {
            return true;
        }
    }
    return false;
}

bool Rack::anyChildRunning(void) const
{
    for (const PortRun &port : ports_) {
        if (port.child != nullptr) {
            return true;
        }
    }
    return false;
}

int Rack::verdict(void)
{
    const bool allInUse = ports_.empty() && allRefusedPortsInUse();
    const RackVerdict verdict = info_ ? rackInfoVerdict(rows(), allInUse) : rackVerdict(rows(), allInUse);
    report_.writeComplete(rows(), verdict.status);
    if (!json_) {
        dipsplayLastMessageToUserBeforeExit(verdict.message.c_str());
    }
    return verdict.status;
}

int Rack::run(void)
{
    ChildProcess_CatchStopRequests();
    std::vector<std::string> names;
    for (const PortRun &port : ports_) {
        names.push_back(port.row.port);
    }
    report_.identify(rows());
    report_.write(rows());
    show(info_ ? "\nIdentifying every unit found\n"
               : "\nUpdating every unit found to firmware version " FIRMWARE_VERSION_TO_UPLOAD "\n");
    if (!json_) {
        // The ports passed over, and why: the operator may be expecting a unit there.
        reportRefusedPorts("");
    }
    if (!ports_.empty()) {
        show("Searching " + joinedPorts(names) + "\n\n");
    }

    for (PortRun &port : ports_) {
        if (port.missing || !port.refusal.empty()) {
            settleUnsearched(port);
        }
    }
    startWaitingChildren();
    showBoard();
    while ((anyChildRunning() || anyPortWaiting()) && !ChildProcess_StopRequested()) {
        readChildren();
        retryFailedPorts();
        startWaitingChildren();
        showBoard();
    }
    if (ChildProcess_StopRequested()) {
        stopChildren();
        showBoard();
        show("\nSTOPPED: every port's process was stopped where it was.\n\n" + summary());
        report_.writeComplete(rows(), ChildProcess_RequestedExitStatus());
        ChildProcess_EndAsRequested();
        return EXIT_STATUS_FAILED;
    }

    // Nothing is left to stop: Ctrl-C at the key wait ends the tool at once.
    ChildProcess_ReleaseStopRequests();
    if (!ports_.empty()) {
        show("\n" + summary());
    }
    return verdict();
}

std::string Rack::summary(void) const
{
    return info_ ? rackInfoSummary(rows()) : rackSummary(rows(), retries_ > 0);
}

}  // namespace

int runRack(const CommandLine &line, const RunReport &header)
{
    const std::string program = ChildProcess_OwnExecutable();
    if (program.empty()) {
        fprintf(stderr, "ERROR: the path of this program is not known, so it cannot start a process per port.\n");
        return EXIT_STATUS_FAILED;
    }
    Rack rack(line, program, header);
    if (!rack.traceFolderWritable() || !rack.choosePorts(line)) {
        return EXIT_STATUS_USAGE;
    }
    return rack.run();
}
