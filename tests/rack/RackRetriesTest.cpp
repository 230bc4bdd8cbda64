// --retries: a port whose process failed is run again from its search, up
// to N more times; the board says which try it is on and the summary how
// many it took. And the report of every kind of run, valid against the
// schema: a rack retried, a single update, a single --info, a rack stopped
// with Ctrl-C, and a planted link at the report's name left untouched.
#include "rack/RackRun.h"

#include "support/Files.h"
#include "support/ReportCheck.h"

#include "e2e/UpdateRun.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <csignal>

using namespace std::chrono_literals;

namespace {

bool contains(const std::string &text, const std::string &part) { return text.find(part) != std::string::npos; }

bool readSome(int fd, std::string &into)
{
    pollfd watched = {fd, POLLIN, 0};
    if (poll(&watched, 1, 50) <= 0)
        return true;
    char buffer[4096];
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n > 0)
        into.append(buffer, static_cast<size_t>(n));
    return n > 0;
}

}  // namespace

TEST_F(RackRun, AFailedPortIsRetriedFromItsSearchAndOnlyIt)
{
    addUnit(1, 115200, UnitType::Tx, {"fail-first-stream"}, {"--mcu-version", "61.1.1"});
    addUnit(2, 9600, UnitType::Rx, {"bad-stream-reply"}, {"--mcu-version", "61.1.1"});
    addUnit(3, 57600, UnitType::Tx, {}, {"--mcu-version", "61.1.1"});
    addUnit(4, 115200, UnitType::Rx);

    const std::string report = traces.file("rack.json");
    const ProcessResult run = runProcess(toolCommand({"--all", "--retries", "2", "--no-wait", "--log-dir",
                                                      traces.path(), "--report", report}),
                                         toolEnvironment(), std::nullopt, 400s);
    EXPECT_TRUE(toolProcesses().empty()) << "a process of the rack outlived it";
    EXPECT_EQ(run.status, EXIT_UPDATE_FAILED) << run.out;
    expectImagesReceived(1, UnitType::Tx);
    expectImagesReceived(3, UnitType::Tx);
    EXPECT_FALSE(receivedImages(4));

    EXPECT_TRUE(contains(run.out, "\nCOM1     -       --  searching (2nd try)\n")) << run.out;
    EXPECT_EQ(lastBoardLine(run.out, "COM1"), "COM1     115200  TX  done (2nd try)");
    EXPECT_TRUE(contains(run.out, "\nCOM2     -       --  searching (3rd try)\n")) << run.out;
    EXPECT_EQ(lastBoardLine(run.out, "COM2").rfind("COM2     9600    RX  FAILED during logic 100%", 0), 0u);
    EXPECT_EQ(lastBoardLine(run.out, "COM3"), "COM3     57600   TX  done");
    EXPECT_EQ(lastBoardLine(run.out, "COM4"), "COM4     115200  RX  up to date");
    const std::string summary = run.out.substr(run.out.find("\nPort "));
    EXPECT_TRUE(contains(summary, "  Versions after         Attempts  Time  Trace\n")) << summary;
    EXPECT_TRUE(contains(summary, "\nCOM1  TX    61.01.01, XC7A75 1.02  updated     61.01.02, XC7A75 1.02  2  "))
        << summary;
    EXPECT_TRUE(contains(summary, "\nCOM2  RX    61.01.01, XC7A75 1.02  FAILED      -                      3  "))
        << summary;
    EXPECT_TRUE(contains(summary, "\nCOM4  RX    61.01.02, XC7A75 1.02  up to date  -                      1  "))
        << summary;
    EXPECT_TRUE(contains(summary, "\r\nERROR: 1 of 4 units was not updated.\r\n")) << summary;

    EXPECT_EQ(reportSchemaFaults(report), "");
    const nlohmann::json document = readReport(report);
    EXPECT_EQ(document["mode"], "update");
    EXPECT_EQ(document["exit_status"], EXIT_UPDATE_FAILED);
    EXPECT_EQ(document["counts"], nlohmann::json({{"ports", 4}, {"updated", 2}, {"failed", 1}, {"up-to-date", 1}}));
    const nlohmann::json &com1 = document["ports"][0];
    EXPECT_EQ(com1["result"], "updated");
    EXPECT_EQ(com1["attempts"], 2);
    EXPECT_EQ(com1["traces"].size(), 2u);
    EXPECT_EQ(com1["trace"], com1["traces"][1]);
    EXPECT_NE(readFile(com1["traces"][0].get<std::string>()).find("ERROR: flash write"), std::string::npos);
    const nlohmann::json &com2 = document["ports"][1];
    EXPECT_EQ(com2["attempts"], 3);
    EXPECT_EQ(com2["written"], true);
    EXPECT_EQ(com2["message"], "the unit answered \"ERROR: flash write\" instead of \"SUCCESS\"");
    EXPECT_EQ(document["ports"][3]["attempts"], 1);
    EXPECT_EQ(document["ports"][3]["written"], false);

    for (const std::vector<std::string> &bad :
         {std::vector<std::string>{"--all", "--retries", "6"}, {"--all", "--retries", "-1"}, {"--retries", "1"}}) {
        const ProcessResult refused = runProcess(toolCommand(bad), toolEnvironment(), std::nullopt, 10s);
        EXPECT_EQ(refused.status, EXIT_USAGE) << bad[1] << " " << bad.back();
    }
}

TEST_F(RackRun, SingleRunsWriteTheirReportAndALinkAtItsNameIsLeftAlone)
{
    addUnit(1, 9600, UnitType::Rx, {}, {"--mcu-version", "61.1.1"});
    const std::string report = traces.file("single.json");
    const std::string trace = traces.file("single.log");
    ProcessResult run = runProcess(toolCommand({"--port", "1", "--no-wait", "--log", trace, "--report", report}),
                                   toolEnvironment(), std::nullopt, 150s);
    EXPECT_EQ(run.status, EXIT_UPDATED) << run.out;
    EXPECT_EQ(reportSchemaFaults(report), "");
    nlohmann::json document = readReport(report);
    EXPECT_EQ(document["mode"], "update");
    EXPECT_EQ(document["complete"], true);
    EXPECT_EQ(document["exit_status"], 0);
    ASSERT_EQ(document["ports"].size(), 1u);
    EXPECT_EQ(document["ports"][0]["port"], "COM1");
    EXPECT_EQ(document["ports"][0]["result"], "updated");
    EXPECT_EQ(document["ports"][0]["type"], "RX");
    EXPECT_EQ(document["ports"][0]["versions_before"]["mcu"], "61.01.01");
    EXPECT_EQ(document["ports"][0]["versions_after"]["mcu"], "61.01.02");
    EXPECT_EQ(document["ports"][0]["trace"], trace);
    EXPECT_EQ(document["counts"], nlohmann::json({{"ports", 1}, {"updated", 1}}));

    run = runProcess(toolCommand({"--info", "--report", report}), toolEnvironment(), std::nullopt, 60s);
    EXPECT_EQ(run.status, EXIT_UPDATED) << run.out;
    EXPECT_EQ(reportSchemaFaults(report), "");
    document = readReport(report);
    EXPECT_EQ(document["mode"], "info");
    EXPECT_EQ(document["ports"][0]["result"], "identified");
    EXPECT_EQ(document["ports"][0]["verdict"], "up to date");
    EXPECT_EQ(document["ports"][0]["trace"], nullptr);

    // A link planted at the name: refused before any port is touched.
    writeFile(traces.file("target"), "keep");
    ASSERT_EQ(symlink(traces.file("target").c_str(), traces.file("planted.json").c_str()), 0);
    for (const std::vector<std::string> &args :
         {std::vector<std::string>{"--info"}, {"--all", "--no-wait"}, {"--all", "--info", "--no-wait"}}) {
        std::vector<std::string> command = args;
        if (args[0] == "--all") {
            command.insert(command.end(), {"--log-dir", traces.path()});
        }
        command.insert(command.end(), {"--report", traces.file("planted.json")});
        run = runProcess(toolCommand(command), toolEnvironment(), std::nullopt, 30s);
        EXPECT_EQ(run.status, EXIT_USAGE) << args[0];
        EXPECT_TRUE(contains(run.err, "is not a regular file")) << run.err;
    }
    EXPECT_EQ(readFile(traces.file("target")), "keep");
    char target[512] = "";
    ASSERT_GT(readlink(traces.file("planted.json").c_str(), target, sizeof target - 1), 0);
    EXPECT_EQ(std::string(target), traces.file("target"));
    EXPECT_EQ(runProcess(toolCommand({"--web-package", "--report", report})).status, EXIT_USAGE);
}

TEST_F(RackRun, ARackOrAnUpdateStoppedWithCtrlCLeavesItsReport)
{
    addUnit(1, 115200, UnitType::Tx, {}, {"--pace"});
    addUnit(2, 2400, UnitType::Rx, {"silent"});
    const std::string report = traces.file("stopped.json");
    int out[2];
    ASSERT_EQ(pipe2(out, O_CLOEXEC), 0);
    pid_t tool = startProcess(toolCommand({"--all", "--allow-reinstall", "--no-wait", "--log-dir", traces.path(),
                                           "--report", report}),
                              toolEnvironment(), -1, out[1], -1);
    close(out[1]);
    std::string shown;
    EXPECT_TRUE(waitUntil(
        [&] {
            readSome(out[0], shown);
            // Image bytes have gone out: the stream is at 10% at least.
            return contains(shown, "COM1     115200  TX  logic 10%");
        },
        120s))
        << shown;
    kill(tool, SIGINT);
    waitUntil([&] { return !readSome(out[0], shown); }, 30s);
    close(out[0]);
    std::optional<int> status = waitProcess(tool, 10s);
    ASSERT_TRUE(status.has_value());
    EXPECT_EQ(*status, -SIGINT);
    EXPECT_EQ(reportSchemaFaults(report), "");
    nlohmann::json document = readReport(report);
    EXPECT_EQ(document["complete"], true);
    EXPECT_EQ(document["exit_status"], 128 + SIGINT);
    EXPECT_EQ(document["ports"][0]["result"], "stopped");
    EXPECT_EQ(document["ports"][0]["written"], true);

    // A single update is stopped where it is: its report says so, as of its
    // last step. (A unit of its own: COM1 may still be taking the stopped
    // stream.)
    addUnit(3, 115200, UnitType::Tx, {}, {"--pace"});
    tool = startProcess(toolCommand({"--port", "3", "--allow-reinstall", "--if-needed", "--no-wait", "--report",
                                     report}),
                        toolEnvironment(), -1, -1, -1);
    EXPECT_TRUE(waitUntil(
        [&] {
            const nlohmann::json now = readReport(report);
            return !now.is_discarded() && now["complete"] == false && now["ports"][0].contains("type");
        },
        60s));
    kill(tool, SIGINT);
    status = waitProcess(tool, 10s);
    ASSERT_TRUE(status.has_value());
    EXPECT_EQ(*status, -SIGINT);
    EXPECT_EQ(reportSchemaFaults(report), "");
    document = readReport(report);
    EXPECT_EQ(document["complete"], false);
    EXPECT_EQ(document["exit_status"], nullptr);
    EXPECT_EQ(document["ports"][0]["result"], "stopped");
    EXPECT_EQ(document["ports"][0]["type"], "TX");
}
