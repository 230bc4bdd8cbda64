// --all --info: every unit of a rack identified at once with the three
// commands that write nothing, a verdict a port, and the rack limited to
// the ports named with --port, a missing one reported in its row.
#include "rack/RackRun.h"

#include "support/Files.h"
#include "support/ReportCheck.h"

#include "e2e/UpdateRun.h"

#include "ProgressEvent.h"

#include <map>

using namespace std::chrono_literals;

namespace {

bool contains(const std::string &text, const std::string &part) { return text.find(part) != std::string::npos; }

// The wire log holds nothing but whole identify commands, and at least the
// search's.
void expectOnlyIdentifyCommands(const std::string &log)
{
    SCOPED_TRACE(log);
    const std::string commands[] = {"%%%help -c version\n\r", "%%%fw -v\n\r", "%%%fw -p\n\r"};
    std::string rest = readFile(log);
    EXPECT_FALSE(rest.empty());
    while (!rest.empty()) {
        bool matched = false;
        for (const std::string &command : commands) {
            if (rest.compare(0, command.size(), command) == 0) {
                rest.erase(0, command.size());
                matched = true;
            }
        }
        ASSERT_TRUE(matched) << "something else was sent: " << rest.substr(0, 40);
    }
}

std::map<std::string, nlohmann::json> reportPorts(const nlohmann::json &report)
{
    std::map<std::string, nlohmann::json> ports;
    for (const nlohmann::json &port : report["ports"]) {
        ports[port["port"].get<std::string>()] = port;
    }
    return ports;
}

}  // namespace

TEST_F(RackRun, AllInfoIdentifiesEveryUnitWithoutWritingAndGivesAVerdictAPort)
{
    std::vector<std::string> wireLogs;
    const auto wireLog = [&](int com) {
        wireLogs.push_back(saved.file("wire" + std::to_string(com)));
        return std::vector<std::string>{"--wire-log", wireLogs.back()};
    };
    addUnit(1, 115200, UnitType::Tx, {}, wireLog(1));
    std::vector<std::string> outdated = wireLog(2);
    outdated.insert(outdated.end(), {"--mcu-version", "61.1.1"});
    addUnit(2, 9600, UnitType::Rx, {}, outdated);
    std::vector<std::string> newer = wireLog(3);
    newer.insert(newer.end(), {"--mcu-version", "62.0.0"});
    addUnit(3, 57600, UnitType::Tx, {}, newer);
    std::vector<std::string> otherDevice = wireLog(4);
    otherDevice.insert(otherDevice.end(), {"--device-code", "9"});
    addUnit(4, 115200, UnitType::Tx, {}, otherDevice);
    addUnit(5, 2400, UnitType::Rx, {"silent"}, wireLog(5));

    const std::string report = traces.file("info.json");
    const ProcessResult run =
        runProcess(toolCommand({"--all", "--info", "--no-wait", "--log-dir", traces.path(), "--report", report}),
                   toolEnvironment(), std::nullopt, 90s);
    EXPECT_TRUE(toolProcesses().empty()) << "a process of the rack outlived it";
    // A unit of another device code was found but not identified.
    EXPECT_EQ(run.status, EXIT_UPDATE_FAILED) << run.out;
    EXPECT_EQ(run.err, "");
    for (int com = 1; com <= 5; ++com) {
        EXPECT_FALSE(receivedImages(com)) << com;
    }
    for (int com = 1; com <= 4; ++com) {
        expectOnlyIdentifyCommands(wireLogs[com - 1]);
    }

    EXPECT_TRUE(contains(run.out, "\nIdentifying every unit found\n")) << run.out;
    EXPECT_EQ(lastBoardLine(run.out, "COM1"), "COM1     115200  TX  up to date");
    EXPECT_EQ(lastBoardLine(run.out, "COM2"), "COM2     9600    RX  update needed");
    EXPECT_EQ(lastBoardLine(run.out, "COM3"), "COM3     57600   TX  newer than carried");
    EXPECT_EQ(lastBoardLine(run.out, "COM4"), "COM4     115200  --  NOT SUPPORTED: unknown product: device code 9");
    EXPECT_EQ(lastBoardLine(run.out, "COM5"), "COM5     -       --  no unit");
    const std::string summary = run.out.substr(run.out.find("\nPort "));
    EXPECT_TRUE(contains(summary, "\nPort  Rate    Type  Versions               Verdict             Time  Trace\n"))
        << summary;
    EXPECT_TRUE(contains(summary, "\nCOM1  115200  TX    61.01.02, XC7A75 1.02  up to date          "));
    EXPECT_TRUE(contains(summary, "\nCOM2  9600    RX    61.01.01, XC7A75 1.02  update needed       "));
    EXPECT_TRUE(contains(summary, "\nCOM3  57600   TX    62.00.00, XC7A75 1.02  newer than carried  "));
    EXPECT_TRUE(contains(summary, "\nCOM4  115200  -     61.01.02, XC7A75 1.02  not supported       "));
    EXPECT_TRUE(contains(summary, "\nCOM5  -       -     -                      no unit             "));
    EXPECT_TRUE(contains(summary, "\r\nERROR: 1 of 4 units was not identified.\r\n")) << summary;

    EXPECT_EQ(reportSchemaFaults(report), "");
    const nlohmann::json document = readReport(report);
    EXPECT_EQ(document["mode"], "info");
    EXPECT_EQ(document["exit_status"], EXIT_UPDATE_FAILED);
    EXPECT_EQ(document["complete"], true);
    EXPECT_EQ(document["counts"],
              nlohmann::json({{"ports", 5}, {"identified", 3}, {"failed", 1}, {"not-found", 1}}));
    std::map<std::string, nlohmann::json> ports = reportPorts(document);
    EXPECT_EQ(ports["COM1"]["verdict"], "up to date");
    EXPECT_EQ(ports["COM2"]["verdict"], "update needed");
    EXPECT_EQ(ports["COM2"]["baud"], 9600);
    EXPECT_EQ(ports["COM2"]["versions_before"]["mcu"], "61.01.01");
    EXPECT_EQ(ports["COM3"]["verdict"], "newer than carried");
    EXPECT_EQ(ports["COM4"]["verdict"], "not supported");
    EXPECT_EQ(ports["COM5"]["verdict"], "no unit");
    for (const auto &port : ports) {
        EXPECT_EQ(port.second["written"], false) << port.first;
        EXPECT_EQ(port.second["attempts"], 1) << port.first;
        EXPECT_TRUE(fileExists(port.second["trace"].get<std::string>())) << port.first;
    }

    // Without the unit it cannot identify, the same rack succeeds.
    units[3].reset();
    const ProcessResult good = runProcess(toolCommand({"--all", "--info", "--no-wait", "--log-dir", traces.path()}),
                                          toolEnvironment(), std::nullopt, 90s);
    EXPECT_EQ(good.status, EXIT_UPDATED) << good.out;
    EXPECT_TRUE(contains(good.out, "\r\nEvery unit found was identified: 1 up to date, 1 update needed, 1 newer "
                                   "than carried.\r\n"))
        << good.out;
}

TEST_F(RackRun, NamedPortsAloneAreSearchedAndAMissingOneHasItsRow)
{
    addUnit(1, 115200, UnitType::Tx);
    addUnit(2, 9600, UnitType::Rx, {}, {"--mcu-version", "61.1.1"});
    addUnit(3, 57600, UnitType::Tx, {}, {"--mcu-version", "61.1.1"});

    // COM1 is not named: left alone, however outdated. COM7 does not exist.
    const std::string report = traces.file("named.json");
    const ProcessResult run = runProcess(toolCommand({"--all", "--port", "COM3", "--port", "2", "--port", "7",
                                                      "--progress", "json", "--log-dir", traces.path(), "--report",
                                                      report}),
                                         toolEnvironment(), std::nullopt, 240s);
    EXPECT_EQ(run.status, EXIT_UPDATED) << run.out;
    EXPECT_FALSE(receivedImages(1));
    expectImagesReceived(2, UnitType::Rx);
    expectImagesReceived(3, UnitType::Tx);

    std::map<std::string, ProgressEvent> last;
    for (const std::string &line : linesOf(run.out)) {
        ProgressEvent event;
        ASSERT_TRUE(parseProgressEvent(line, event)) << line;
        last[event.port] = event;
    }
    EXPECT_EQ(last.count("COM1"), 0u);
    EXPECT_EQ(last["COM2"].result, ProgressResult::Updated);
    EXPECT_EQ(last["COM3"].result, ProgressResult::Updated);
    EXPECT_EQ(last["COM7"].result, ProgressResult::NoSuchPort);
    EXPECT_EQ(last["COM7"].message, "no such port");

    EXPECT_EQ(reportSchemaFaults(report), "");
    const nlohmann::json document = readReport(report);
    ASSERT_EQ(document["ports"].size(), 3u);
    // In the order named.
    EXPECT_EQ(document["ports"][0]["port"], "COM3");
    EXPECT_EQ(document["ports"][1]["port"], "COM2");
    EXPECT_EQ(document["ports"][2]["port"], "COM7");
    EXPECT_EQ(document["ports"][2]["result"], "no-such-port");
    EXPECT_EQ(document["ports"][0]["written"], true);
    EXPECT_EQ(document["ports"][0]["versions_after"]["mcu"], "61.01.02");
    EXPECT_EQ(document["ports"][0]["path"], comDir.file("com3"));
    EXPECT_EQ(document["command_line"][1], "--all");

    // On the console the missing port has its row, and the same port named
    // twice is refused before anything is opened.
    const ProcessResult console = runProcess(toolCommand({"--all", "--info", "--port", "1", "--port", "9",
                                                          "--no-wait", "--log-dir", traces.path()}),
                                             toolEnvironment(), std::nullopt, 60s);
    EXPECT_EQ(console.status, EXIT_UPDATED) << console.out;
    EXPECT_EQ(lastBoardLine(console.out, "COM9"), "COM9     -       --  no such port");
    EXPECT_TRUE(contains(console.out, "\nSearching COM1, COM9\n")) << console.out;
    const ProcessResult twice = runProcess(toolCommand({"--all", "--port", "3", "--port", "COM3"}),
                                           toolEnvironment(), std::nullopt, 10s);
    EXPECT_EQ(twice.status, EXIT_USAGE);
    EXPECT_TRUE(contains(twice.err, "COM3 is named twice")) << twice.err;
}
