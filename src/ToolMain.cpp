#include "ToolMain.h"

#include <cstdio>

#include "CarriedVersions.h"
#include "CommandLine.h"
#include "Console.h"
#include "FileAPI.h"
#include "InfoMode.h"
#include "ListPortsMode.h"
#include "Progress.h"
#include "RackMode.h"
#include "RavelinFwUpgrade.h"
#include "ReportFile.h"
#include "ReportHeader.h"
#include "SingleRunReport.h"
#include "Trace.h"
#include "UpdateMode.h"
#include "WebPackageMode.h"

namespace {

int showVersion(void)
{
    printf("RavelinFwUpgrade %s\n", FIRMWARE_VERSION_TO_UPLOAD);
    printf("MCU firmware %s\n", formatMcuVersion(carriedMcuVersion()).c_str());
    printf("TX programmable logic %s\n", formatLogicVersion(carriedLogicVersion(true)).c_str());
    printf("RX programmable logic %s\n", formatLogicVersion(carriedLogicVersion(false)).c_str());
    return EXIT_STATUS_SUCCESS;
}

// The trace begins with what the run is: the tool's version and its command line.
bool startTrace(const char *program, int argc, char **argv, const std::string &path)
{
    std::string error;
    if (!Trace_Open(path, error)) {
        fprintf(stderr, "%s: --log: cannot write \"%s\": %s\n", program, path.c_str(), error.c_str());
        return false;
    }
    std::string command = "RavelinFwUpgrade " FIRMWARE_VERSION_TO_UPLOAD ", run as:";
    for (int i = 0; i < argc; ++i) {
        command += " ";
        command += argv[i] != nullptr ? argv[i] : "";
    }
    Trace_Note(command);
    return true;
}

int runMode(const CommandLine &line, const char *program, const RunReport &header)
{
    switch (line.mode) {
    case RunMode::Help:
        printf("%s", usageText(program).c_str());
        return EXIT_STATUS_SUCCESS;
    case RunMode::Version:
        return showVersion();
    case RunMode::ListPorts:
        return runListPorts();
    case RunMode::WebPackage:
        return runWebPackageWriter();
    case RunMode::Info:
        return runInfo(line);
    case RunMode::All:
        return runRack(line, header);
    case RunMode::Update:
        break;
    }
    return runUpdate(line);
}

}  // namespace

int ravelinMain(int argc, char **argv)
{
    // Progress lines are redrawn in place; the operator must see every
    // character when it is printed, not when a line ends.
    setvbuf(stdout, nullptr, _IONBF, 0);

    CommandLine line;
    std::string error;
    const char *program = argc > 0 && argv[0] != nullptr ? argv[0] : "RavelinFwUpgrade";
    if (!parseCommandLine(argc, argv, line, error)) {
        fprintf(stderr, "%s: %s\n" USAGE_ERROR_HINT, program, error.c_str());
        return EXIT_STATUS_USAGE;
    }
    gWaitForKeyAtExit = line.waitsForKey() ? 1 : 0;
    // Before any port is touched: a trace that cannot be written is a usage error.
    // Opening the trace empties its file: never the package about to be written.
    if (line.mode == RunMode::WebPackage && !line.logFile.empty() &&
        FileAPI_SameFile(line.logFile, FIRMWARE_FILE_NAME_FOR_WEB)) {
        fprintf(stderr, "%s: --log: \"%s\" is the web package's own file\n", program, line.logFile.c_str());
        return EXIT_STATUS_USAGE;
    }
    // The report must be writable before any port is touched; it follows
    // the run from its start.
    std::string reportError;
    if (!line.reportFile.empty() && !ReportFile_CanWrite(line.reportFile, reportError)) {
        fprintf(stderr, "%s: --report: %s\n", program, reportError.c_str());
        return EXIT_STATUS_USAGE;
    }
    const RunReport header = reportHeader(line, argc, argv);
    if (!line.logFile.empty() && !startTrace(program, argc, argv, line.logFile)) {
        return EXIT_STATUS_USAGE;
    }
    // Events replace the console picture of a unit's run; --all relays its
    // children's events itself and prints nothing else.
    if (line.progress == ProgressFormat::Json && line.mode != RunMode::All) {
        FILE *events = Console_DivertOutput();
        if (events == nullptr) {
            fprintf(stderr, "%s: standard output cannot carry the events\n", program);
            return EXIT_STATUS_FAILED;
        }
        Progress_WriteEventsTo(events);
    }
    // The rack writes its own report, a row a port.
    const bool singleReport = !line.reportFile.empty() && line.mode != RunMode::All;
    if (singleReport) {
        SingleRunReport_Start(line.reportFile, header, line.logFile);
    }
    const int status = runMode(line, program, header);
    if (singleReport) {
        SingleRunReport_Finish(status);
    }
    Trace_Note("exit status " + std::to_string(status));
    Trace_Close();
    return status;
}
