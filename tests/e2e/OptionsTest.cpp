// The command line through the tool, against simulated units: --info, which
// writes nothing to the unit; --port and --baud, which reach only what they
// name; --no-wait; and the options that are refused before any port opens.
#include "e2e/UpdateRun.h"
#include "support/Files.h"

#include "RavelinFwUpgrade.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

using namespace std::chrono_literals;

namespace {

const std::string kProbe = "%%%help -c version\n\r";
const std::string kVersionQuery = "%%%fw -v\n\r";
const std::string kIdQuery = "%%%fw -p\n\r";

SimConfig unitAt(int com, int baud, const std::string &type = "tx", std::vector<std::string> extra = {})
{
    SimConfig config;
    config.com = com;
    config.baud = baud;
    config.type = type;
    config.extraArgs = std::move(extra);
    return config;
}

std::string repeated(const std::string &text, int times)
{
    std::string all;
    for (int i = 0; i < times; ++i)
        all += text;
    return all;
}

std::string report(int com, int baud, const std::string &mcu, const std::string &logic, int code)
{
    auto field = [](const std::string &name, const std::string &value) {
        std::string padded = name;
        padded.resize(21, ' ');
        return padded + ": " + value + "\r\n";
    };
    return field("Port", "COM" + std::to_string(com)) + field("Baud rate", std::to_string(baud)) +
           field("MCU firmware", mcu) + field("Programmable logic", logic) +
           field("Device code", std::to_string(code));
}

std::string carried(const std::string &unitType)
{
    return "Unit                 : " + unitType +
           "\r\nCarried MCU firmware : 61.01.02\r\nCarried logic        : XC7A75 1.02\r\n";
}

class Options : public UpdateRun {
protected:
    // A unit whose every received byte lands in the returned file.
    std::string startLoggedUnit(SimConfig config, const char *name = "wire")
    {
        const std::string path = logs_.file(name);
        config.extraArgs.insert(config.extraArgs.end(), {"--wire-log", path});
        startUnit(config);
        return path;
    }
    std::string log(const char *name) const { return logs_.file(name); }
    // What a unit received once it has stopped, so that nothing is in flight.
    std::string received(const std::string &path)
    {
        unit->stop();
        return fileExists(path) ? readFile(path) : "";
    }

    void runAndCheckWith(const std::vector<std::string> &args, int status, const std::string &out)
    {
        expectRun(runToolWith(ToolBuild::QuickBoot, args, 120s), status, out);
    }

private:
    TempDir logs_;
};

TEST_F(Options, InfoReportsTxAndRxUnitsUpToDateAndWritesNothingElse)
{
    for (const char *type : {"tx", "rx"}) {
        SCOPED_TRACE(type);
        const std::string wire = startLoggedUnit(unitAt(2, 57600, type), type);
        const ProcessResult run = runToolWith(ToolBuild::QuickBoot, {"--info"}, 60s);
        EXPECT_EQ(run.status, EXIT_UPDATED);
        const std::string unitType = std::string(type) == "tx" ? "TX" : "RX";
        EXPECT_EQ(run.out, report(2, 57600, "61.01.02", "XC7A75 1.02", 7) + carried(unitType) + "UP TO DATE\r\n");
        EXPECT_EQ(run.err, "");
        // Two tries at 115200 and 9600 each, one at 57600; no announcement, no image.
        EXPECT_EQ(received(wire), repeated(kProbe, 5) + kVersionQuery + kIdQuery);
    }
}

TEST_F(Options, InfoComparesTheVersionsAsNumbers)
{
    // "61.01.002" is 61.1.2 all the same; a newer logic revision is newer;
    // versions of another logic model are not placed, whatever its MCU's.
    startUnit(unitAt(1, 115200, "tx", {"--mcu-version", "61.01.002"}));
    ProcessResult run = runToolWith(ToolBuild::QuickBoot, {"--info", "--no-wait"}, 60s);
    EXPECT_EQ(run.status, EXIT_UPDATED);
    EXPECT_EQ(run.out, report(1, 115200, "61.01.02", "XC7A75 1.02", 7) + carried("TX") + "UP TO DATE\r\n");

    startUnit(unitAt(1, 115200, "tx", {"--logic-version", "1.3"}));
    run = runToolWith(ToolBuild::QuickBoot, {"--info"}, 60s);
    EXPECT_EQ(run.status, EXIT_UPDATED);
    EXPECT_EQ(run.out, report(1, 115200, "61.01.02", "XC7A75 1.03", 7) + carried("TX") + "NEWER THAN CARRIED\r\n");

    startUnit(unitAt(1, 115200, "tx", {"--mcu-version", "62.0.0", "--model", "XC7A50"}));
    run = runToolWith(ToolBuild::QuickBoot, {"--info"}, 60s);
    EXPECT_EQ(run.status, EXIT_UPDATED);
    EXPECT_EQ(run.out, report(1, 115200, "62.00.00", "XC7A50 1.02", 7) + carried("TX") + "UPDATE NEEDED\r\n");
}

TEST_F(Options, InfoRefusesAnUnsupportedUnitAndSaysWhenNoneAnswered)
{
    const std::string wire = startLoggedUnit(unitAt(1, 115200, "tx", {"--device-code", "3"}));
    ProcessResult run = runToolWith(ToolBuild::QuickBoot, {"--info"}, 60s);
    EXPECT_EQ(run.status, EXIT_UPDATE_FAILED);
    EXPECT_EQ(run.out, report(1, 115200, "61.01.02", "XC7A75 1.02", 3) +
                           "\r\nNOT SUPPORTED: device code 3; this tool updates device code 7 only.\r\n");
    EXPECT_EQ(received(wire), kProbe + kVersionQuery);

    run = runToolWith(ToolBuild::QuickBoot, {"--info", "--port", "4"}, 30s);
    EXPECT_EQ(run.status, EXIT_UPDATE_FAILED);
    EXPECT_EQ(run.out, "\r\nNo unit answered on COM4.\r\nCOM4: no such device.\r\n");
}

TEST_F(Options, PortLeavesAUnitOnAnotherComNumberUntouched)
{
    SimConfig first = unitAt(1, 115200);
    const std::string firstWire = log("wire1");
    first.dir = comDir.path();
    first.extraArgs = {"--wire-log", firstWire};
    SimUnit other(first);
    const std::string wire = startLoggedUnit(unitAt(5, 4800, "rx"));

    const ProcessResult run = runToolWith(ToolBuild::QuickBoot, {"--port", "5", "--info"}, 60s);
    EXPECT_EQ(run.status, EXIT_UPDATED);
    EXPECT_EQ(run.out, report(5, 4800, "61.01.02", "XC7A75 1.02", 7) + carried("RX") + "UP TO DATE\r\n");
    // All six rates tried in discovery's order, two tries each, up to 4800.
    EXPECT_EQ(received(wire), repeated(kProbe, 7) + kVersionQuery + kIdQuery);
    other.stop();
    EXPECT_FALSE(fileExists(firstWire) && !readFile(firstWire).empty());
}

TEST_F(Options, PortAndBaudOpenAtThatRateAndProbeNothing)
{
    const std::string wire = startLoggedUnit(unitAt(3, 2400));
    const ProcessResult run = runToolWith(ToolBuild::QuickBoot, {"--baud=2400", "--info", "--port=3"}, 60s);
    EXPECT_EQ(run.status, EXIT_UPDATED);
    EXPECT_EQ(run.out, report(3, 2400, "61.01.02", "XC7A75 1.02", 7) + carried("TX") + "UP TO DATE\r\n");
    EXPECT_EQ(received(wire), kVersionQuery + kIdQuery);
}

TEST_F(Options, BaudAloneScansThePortsAtThatRateOnly)
{
    const std::string wire = startLoggedUnit(unitAt(2, 1200));
    const ProcessResult run = runToolWith(ToolBuild::QuickBoot, {"--baud", "1200", "--info"}, 60s);
    EXPECT_EQ(run.status, EXIT_UPDATED);
    EXPECT_EQ(run.out, report(2, 1200, "61.01.02", "XC7A75 1.02", 7) + carried("TX") + "UP TO DATE\r\n");
    EXPECT_EQ(received(wire), kProbe + kVersionQuery + kIdQuery);
}

TEST_F(Options, WholeUpdateThroughPortAndBaudWithoutAKeyWait)
{
    startUnit(unitAt(7, 9600, "rx"));
    runAndCheckWith({"--port", "7", "--baud", "9600", "--no-wait"}, EXIT_UPDATED,
                    "\n\rYou are about to upload the firmware version 1.0.2\n\r\n\rOpening COM7...................." +
                        discovered(7, 9600) + updateSteps(UnitType::Rx) +
                        versionsAfterLine("61.01.02, XC7A75 1.02", true) + successLine() + "\r\n");
    expectImagesReceived(CATALOGUE_RX_LOGIC);
}

TEST_F(Options, UnattendedRunThatFindsNoUnitAsksNothing)
{
    runAndCheckWith({"--port", "9"}, EXIT_UPDATE_FAILED,
                    banner() + "FAILED\r\n\r\nERROR: no unit answered on COM9.\r\nCOM9: no such device.\r\n" +
                        exitPrompt("\n\rERROR: The update was not successful.\r\n"));
    runAndCheckWith({"--port", "9", "--baud", "4800", "--no-wait"}, EXIT_UPDATE_FAILED,
                    "\n\rYou are about to upload the firmware version 1.0.2\n\r\n\rOpening COM9...................." +
                        openFailed(9) + "\r\nCOM9: no such device.\r\n\n\rERROR: The update was not successful.\r\n\r\n");
}

// --port naming a path that is no serial port: the console says why, for
// the update (with and without --baud) and for --info alike.
TEST_F(Options, PortNamingNoSerialDeviceSaysWhy)
{
    const std::string missing = comDir.file("ttyUSB9");
    const std::string plainFile = comDir.file("notes.txt");
    writeFile(plainFile, "not a port\n");
    const std::vector<std::pair<std::string, std::string>> cases = {
        {missing, ": no such device."}, {comDir.path(), ": not a serial device."}, {plainFile, ": not a serial device."}};
    for (const auto &[path, why] : cases) {
        const ProcessResult update = runToolWith(ToolBuild::QuickBoot, {"--port", path, "--no-wait"}, 30s);
        EXPECT_EQ(update.status, EXIT_UPDATE_FAILED) << path;
        EXPECT_NE(update.out.find("FAILED\r\n\r\nERROR: no unit answered on " + path + ".\r\n" + path + why + "\r\n"),
                  std::string::npos)
            << update.out;
        const ProcessResult opened =
            runToolWith(ToolBuild::QuickBoot, {"--port", path, "--baud", "9600", "--no-wait"}, 30s);
        EXPECT_EQ(opened.status, EXIT_UPDATE_FAILED) << path;
        EXPECT_NE(opened.out.find("ERROR: Opening " + path + " failed !\r\n" + path + why + "\r\n"),
                  std::string::npos)
            << opened.out;
        const ProcessResult info = runToolWith(ToolBuild::QuickBoot, {"--info", "--port", path}, 30s);
        EXPECT_EQ(info.status, EXIT_UPDATE_FAILED) << path;
        EXPECT_EQ(info.out, "\r\nNo unit answered on " + path + ".\r\n" + path + why + "\r\n");
    }
    EXPECT_EQ(readFile(plainFile), "not a port\n");
}

TEST_F(Options, MalformedOptionsExitTwoAndOpenNothing)
{
    const std::string wire = startLoggedUnit(unitAt(1, 115200));
    const std::vector<std::vector<std::string>> refused = {
        {"--bogus"},           {"--port"},          {"--port", "x"},      {"--port", "0"},
        {"--port", "256"},     {"--port", "-3"},    {"--port", "3x"},     {"--baud", "0"},
        {"--baud", "9600.5"},  {"--baud="},         {"--port", "1", "--port", "2"},
        {"--info", "--web-package"},                {"--version", "--help"},
        {"--web-package", "--port", "1"},           {"--version", "--no-wait"},
        {"--no-wait=1"},       {"-p", "1"},         {"info"},
    };
    for (const auto &args : refused) {
        std::string shown;
        for (const std::string &arg : args)
            shown += arg + " ";
        SCOPED_TRACE(shown);
        const ProcessResult run = runToolWith(ToolBuild::QuickBoot, args, 10s);
        EXPECT_EQ(run.status, EXIT_USAGE);
        EXPECT_EQ(run.out, "");
        // The error's own line and where help is, not the whole usage.
        const size_t hint = run.err.find("\nTry 'RavelinFwUpgrade --help' for more information.\n");
        EXPECT_NE(hint, std::string::npos) << run.err;
        EXPECT_EQ(run.err.find('\n'), hint) << run.err;
        EXPECT_EQ(run.err.find("Usage: "), std::string::npos);
    }
    EXPECT_EQ(received(wire), "");
}

TEST_F(Options, HelpAndVersionGoToStandardOutput)
{
    ProcessResult run = runToolWith(ToolBuild::QuickBoot, {"--help"}, 10s);
    EXPECT_EQ(run.status, EXIT_UPDATED);
    for (const char *option : {"--port N", "--baud B", "--info", "--no-wait", "--web-package", "--version", "--help"})
        EXPECT_NE(run.out.find(option), std::string::npos) << option;
    for (const char *status : {"  0 ", "  1 ", "  2 ", "  3 ", "  255 "})
        EXPECT_NE(run.out.find(status), std::string::npos) << status;
    EXPECT_EQ(run.err, "");

    run = runToolWith(ToolBuild::QuickBoot, {"--version"}, 10s);
    EXPECT_EQ(run.status, EXIT_UPDATED);
    EXPECT_EQ(run.out, "RavelinFwUpgrade 1.0.2\nMCU firmware 61.01.02\nTX programmable logic XC7A75 1.02\n"
                       "RX programmable logic XC7A75 1.02\n");
}

// With a terminal as standard input and keys typed ahead, --no-wait ends the
// run by itself, and the keys are still there afterwards: nothing read them.
TEST_F(Options, NoWaitNeverReadsStandardInput)
{
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const int terminal = open(ptsname(master), O_RDWR | O_NOCTTY);
    ASSERT_GE(terminal, 0);
    ASSERT_EQ(write(master, "5\n", 2), 2);

    const int out = open(log("out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(out, 0);
    const pid_t pid = startProcess({toolPath(ToolBuild::QuickBoot), "--no-wait"},
                                   toolEnvironment(), terminal, out, out);
    const std::optional<int> status = waitOrKillProcess(pid, 20s);
    close(out);
    ASSERT_TRUE(status.has_value()) << "the run waited on its terminal";
    EXPECT_EQ(*status, EXIT_UPDATE_FAILED);
    EXPECT_EQ(readFile(log("out")), banner() + "FAILED\r\n\r\nERROR: no unit answered on COM1..COM32.\r\n" +
                                        "\n\rERROR: The update was not successful.\r\n\r\n");

    // The typed line is still waiting in the terminal.
    pollfd ready = {terminal, POLLIN, 0};
    EXPECT_EQ(poll(&ready, 1, 1000), 1);
    char typed[8] = {};
    EXPECT_EQ(read(terminal, typed, sizeof typed), 2);
    EXPECT_STREQ(typed, "5\n");
    close(terminal);
    close(master);
}

}  // namespace
