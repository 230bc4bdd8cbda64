#include "ToolMain.h"

#include <cstdio>

#include "CarriedVersions.h"
#include "CommandLine.h"
#include "Console.h"
#include "InfoMode.h"
#include "Progress.h"
#include "RackMode.h"
#include "RavelinFwUpgrade.h"
#include "UpdateMode.h"

namespace {

int runWebPackageWriter(void)
{
    if (!allocateSessionBuffers()) {
        return EXIT_STATUS_FAILED;
    }
    const BOOL written = createFirmwareFileForWeb();
    releaseSessionBuffers();
    return written ? EXIT_STATUS_SUCCESS : EXIT_STATUS_FAILED;
}

int showVersion(void)
{
    printf("RavelinFwUpgrade %s\n", FIRMWARE_VERSION_TO_UPLOAD);
    printf("MCU firmware %s\n", formatMcuVersion(carriedMcuVersion()).c_str());
    printf("TX programmable logic %s\n", formatLogicVersion(carriedLogicVersion(true)).c_str());
    printf("RX programmable logic %s\n", formatLogicVersion(carriedLogicVersion(false)).c_str());
    return EXIT_STATUS_SUCCESS;
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
        fprintf(stderr, "%s: %s\n%s", program, error.c_str(), usageText(program).c_str());
        return EXIT_STATUS_USAGE;
    }
    gWaitForKeyAtExit = line.waitsForKey() ? 1 : 0;

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

    switch (line.mode) {
    case RunMode::Help:
        printf("%s", usageText(program).c_str());
        return EXIT_STATUS_SUCCESS;
    case RunMode::Version:
        return showVersion();
    case RunMode::WebPackage:
        return runWebPackageWriter();
    case RunMode::Info:
        return runInfo(line);
    case RunMode::All:
        return runRack(line);
    case RunMode::Update:
        break;
    }
    return runUpdate(line);
}
