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
#include "RackTraces.h"
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
    RackRow row;
    ChildProcess *child = nullptr;
    ProgressLineReader lines{LONGEST_CHILD_LINE};
    std::string lastOtherLine;  // the last line that was not an event
    bool over() const { return row.state.result != ProgressResult::None; }
};

// The ports where discovery would look, COM1..COM32 and then the devices
// without a COM number, that its probe opens: a port held by another
// program is passed over, as discovery passes over it.
std::vector<PortRun> portsToSearch(void)
{
    std::vector<int> numbers;
    for (int port = 1; port <= DISCOVERY_LAST_COM_PORT; ++port) {
        numbers.push_back(port);
    }
    for (const std::string &device : PortEnumeration_DiscoveryDevices()) {
        numbers.push_back(ComPortAPI_AddNamedPort(device));
    }
    std::vector<PortRun> ports;
    for (const int number : numbers) {
        if (ComPortAPI_ProbeCOM(number)) {
            PortRun port;
            port.row.port = ComPortAPI_PortName(number);
            port.row.state.port = port.row.port;
            port.row.waiting = true;
            port.portOption = number < NAMED_PORT_FIRST ? std::to_string(number) : port.row.port;
            ports.push_back(port);
        }
        ComPortAPI_CloseCOM();
    }
    return ports;
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
    Rack(const CommandLine &line, const std::string &program)
        : json_(line.progress == ProgressFormat::Json), program_(program),
          childPolicy_(childPolicyOptions(line)),
          board_(!json_ && Console_EnableCursorMovement()), start_(Clock::now()), traces_(line.logDir)
    {
    }

    // False, with the reason on stderr, when no trace can be written where
    // the traces go.
    bool traceFolderWritable(void) const { return traces_.folderWritable(); }
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
    void stopChildren(void);
    bool anyChildRunning(void) const;
    bool anyPortWaiting(void) const;
    std::vector<RackRow> rows(void) const;
    int verdict(void);

    const bool json_;
    const std::string program_;
    const std::vector<std::string> childPolicy_;
    RackBoard board_;
    const Clock::time_point start_;
    const RackTraces traces_;
    std::vector<PortRun> ports_;
};

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
        const std::string line = formatProgressEvent(port.row.state) + "\n";
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
    FILE *trace = traces_.createFor(port.row.port, port.row.traceFile, error);
    if (trace != nullptr) {
        arguments.insert(arguments.end(), {"--log", ChildProcess_PassedFileName(port.row.traceFile)});
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
            settleStopped(port, "stopped by the operator before its turn");
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
    const RackVerdict verdict = rackVerdict(rows(), ports_.empty() && allRefusedPortsInUse());
    if (!json_) {
        dipsplayLastMessageToUserBeforeExit(verdict.message.c_str());
    }
    return verdict.status;
}

int Rack::run(void)
{
    ChildProcess_CatchStopRequests();
    ports_ = portsToSearch();
    std::vector<std::string> names;
    for (const PortRun &port : ports_) {
        names.push_back(port.row.port);
    }
    show("\nUpdating every unit found to firmware version " FIRMWARE_VERSION_TO_UPLOAD "\n");
    if (!json_) {
        // The ports passed over, and why: the operator may be expecting a unit there.
        reportRefusedPorts("");
    }
    if (!ports_.empty()) {
        show("Searching " + joinedPorts(names) + "\n\n");
    }

    startWaitingChildren();
    showBoard();
    while ((anyChildRunning() || anyPortWaiting()) && !ChildProcess_StopRequested()) {
        readChildren();
        startWaitingChildren();
        showBoard();
    }
    if (ChildProcess_StopRequested()) {
        stopChildren();
        showBoard();
        show("\nSTOPPED: every port's process was stopped where it was.\n\n" + rackSummary(rows()));
        ChildProcess_EndAsRequested();
        return EXIT_STATUS_FAILED;
    }

    // Nothing is left to stop: Ctrl-C at the key wait ends the tool at once.
    ChildProcess_ReleaseStopRequests();
    if (!ports_.empty()) {
        show("\n" + rackSummary(rows()));
    }
    return verdict();
}

}  // namespace

int runRack(const CommandLine &line)
{
    const std::string program = ChildProcess_OwnExecutable();
    if (program.empty()) {
        fprintf(stderr, "ERROR: the path of this program is not known, so it cannot start a process per port.\n");
        return EXIT_STATUS_FAILED;
    }
    Rack rack(line, program);
    if (!rack.traceFolderWritable()) {
        return EXIT_STATUS_USAGE;
    }
    return rack.run();
}
