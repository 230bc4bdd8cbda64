// A rack of current, outdated and newer units: only the outdated ones are
// updated, each is verified after its reboot, and --allow-reinstall and
// --allow-older update the others too.
#include "rack/RackRun.h"

#include "e2e/UpdateRun.h"

#include "ProgressEvent.h"

#include <map>

using namespace std::chrono_literals;

namespace {

bool contains(const std::string &text, const std::string &part) { return text.find(part) != std::string::npos; }

// The last event of each port.
std::map<std::string, ProgressEvent> lastEvents(const std::string &out)
{
    std::map<std::string, ProgressEvent> last;
    for (const std::string &line : linesOf(out)) {
        ProgressEvent event;
        EXPECT_TRUE(parseProgressEvent(line, event)) << line;
        last[event.port] = event;
    }
    return last;
}

}  // namespace

TEST_F(RackRun, OnlyOutdatedUnitsAreUpdatedAndOneThatKeepsItsOldVersionsIsNotUpdated)
{
    addUnit(1, 115200, UnitType::Tx);
    addUnit(2, 9600, UnitType::Rx, {}, {"--mcu-version", "61.1.1"});
    addUnit(3, 57600, UnitType::Tx, {}, {"--mcu-version", "62.0.0"});
    addUnit(4, 115200, UnitType::Tx, {"keep-versions"}, {"--logic-version", "1.1"});
    // The right device code, another logic model: flashing would never make it current.
    addUnit(5, 115200, UnitType::Tx, {}, {"--model", "XC7A50"});

    const ProcessResult run = runProcess(toolCommand({"--all", "--no-wait", "--log-dir", traces.path()}),
                                         toolEnvironment(), std::nullopt, 240s);
    EXPECT_TRUE(toolProcesses().empty()) << "a process of the rack outlived it";
    EXPECT_EQ(run.status, EXIT_UPDATE_FAILED);
    EXPECT_EQ(run.err, "");
    EXPECT_FALSE(receivedImages(1));
    expectImagesReceived(2, UnitType::Rx);
    EXPECT_FALSE(receivedImages(3));
    expectImagesReceived(4, UnitType::Tx);
    EXPECT_FALSE(receivedImages(5));
    EXPECT_TRUE(contains(lastBoardLine(run.out, "COM5"),
                         "not supported: reports logic model XC7A50 with device code 7; this tool carries XC7A75"))
        << run.out;

    EXPECT_EQ(lastBoardLine(run.out, "COM1"), "COM1     115200  TX  up to date");
    EXPECT_EQ(lastBoardLine(run.out, "COM2"), "COM2     9600    RX  done");
    EXPECT_EQ(lastBoardLine(run.out, "COM3"), "COM3     57600   TX  newer than carried");
    const std::string notVerified = "NOT VERIFIED: the unit restarted but does not run the carried versions: it runs "
                                    "61.01.02, XC7A75 1.01, this tool carries 61.01.02, XC7A75 1.02";
    EXPECT_EQ(lastBoardLine(run.out, "COM4"), "COM4     115200  TX  " + notVerified);
    EXPECT_TRUE(contains(run.out, "COM2     9600    RX  verifying\n")) << run.out;

    const std::string summary = run.out.substr(run.out.find("\nPort "));
    EXPECT_TRUE(contains(summary, "\nPort  Type  Versions before        Result              Versions after         "))
        << summary;
    EXPECT_TRUE(contains(summary, "\nCOM1  TX    61.01.02, XC7A75 1.02  up to date          -                      "));
    EXPECT_TRUE(contains(summary, "\nCOM2  RX    61.01.01, XC7A75 1.02  updated             61.01.02, XC7A75 1.02  "));
    EXPECT_TRUE(contains(summary, "\nCOM3  TX    62.00.00, XC7A75 1.02  newer than carried  -                      "));
    EXPECT_TRUE(contains(summary, "\nCOM4  TX    61.01.02, XC7A75 1.01  NOT VERIFIED        61.01.02, XC7A75 1.01  "));
    EXPECT_TRUE(contains(summary, "\nCOM4: " + notVerified + "\n")) << summary;
    EXPECT_TRUE(contains(summary, "\r\nERROR: 2 of 5 units were not updated.\r\n")) << summary;
}

TEST_F(RackRun, ARackOfCurrentAndNewerUnitsIsDoneAndTheAllowOptionsUpdateThem)
{
    addUnit(1, 115200, UnitType::Tx);
    addUnit(3, 9600, UnitType::Rx, {}, {"--logic-version", "2.0"});

    // Nothing to do for either: no image, and the rack succeeds.
    ProcessResult run = runProcess(toolCommand({"--all", "--no-wait", "--log-dir", traces.path()}),
                                   toolEnvironment(), std::nullopt, 60s);
    EXPECT_EQ(run.status, EXIT_UPDATED) << run.out;
    EXPECT_FALSE(receivedImages(1));
    EXPECT_FALSE(receivedImages(3));
    EXPECT_TRUE(contains(run.out, "\r\nEvery unit found is done: 0 updated, 2 left alone.\r\n")) << run.out;

    // For a program the same is in the events.
    run = runProcess(toolCommand({"--all", "--progress", "json", "--log-dir", traces.path()}), toolEnvironment(),
                     std::nullopt, 60s);
    EXPECT_EQ(run.status, EXIT_UPDATED);
    std::map<std::string, ProgressEvent> last = lastEvents(run.out);
    EXPECT_EQ(last["COM1"].result, ProgressResult::UpToDate);
    EXPECT_EQ(last["COM3"].result, ProgressResult::Newer);
    EXPECT_EQ(last["COM3"].logicVersion, "XC7A75 2.00");
    EXPECT_FALSE(last["COM3"].verified.has_value());

    // Both lifted: each is updated, and verified on the versions it then runs.
    run = runProcess(toolCommand({"--all", "--allow-reinstall", "--allow-older", "--progress", "json", "--log-dir",
                                  traces.path()}),
                     toolEnvironment(), std::nullopt, 240s);
    EXPECT_EQ(run.status, EXIT_UPDATED);
    expectImagesReceived(1, UnitType::Tx);
    expectImagesReceived(3, UnitType::Rx);
    last = lastEvents(run.out);
    for (const char *port : {"COM1", "COM3"}) {
        SCOPED_TRACE(port);
        EXPECT_EQ(last[port].result, ProgressResult::Updated);
        EXPECT_EQ(last[port].verified, std::optional<bool>(true));
        EXPECT_EQ(last[port].mcuVersionAfter, "61.01.02");
        EXPECT_EQ(last[port].logicVersionAfter, "XC7A75 1.02");
    }
}
