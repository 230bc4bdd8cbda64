// A rack updated with --all: units at different rates, TX and RX, one that
// refuses its image, and a port where nothing answers, all at once.
#include "rack/RackRun.h"

#include "support/Files.h"

#include "e2e/UpdateRun.h"

#include "ProgressEvent.h"

using namespace std::chrono_literals;

namespace {

bool contains(const std::string &text, const std::string &part) { return text.find(part) != std::string::npos; }

}  // namespace

TEST_F(RackRun, UpdatesEveryUnitFoundAndReportsTheRefusalWithItsPort)
{
    addUnit(1, 115200, UnitType::Tx);
    addUnit(2, 9600, UnitType::Rx);
    addUnit(3, 57600, UnitType::Tx);
    addUnit(4, 115200, UnitType::Rx, {"bad-stream-reply"});
    addUnit(5, 115200, UnitType::Tx, {"silent"});

    const ProcessResult run =
        runProcess(toolCommand({"--all", "--allow-reinstall", "--no-wait", "--log-dir", traces.path()}), toolEnvironment(),
                   std::nullopt, 240s);
    EXPECT_TRUE(toolProcesses().empty()) << "a process of the rack outlived it";
    EXPECT_FALSE(run.timedOut);
    EXPECT_EQ(run.status, EXIT_UPDATE_FAILED);
    EXPECT_EQ(run.err, "");

    expectImagesReceived(1, UnitType::Tx);
    expectImagesReceived(2, UnitType::Rx);
    expectImagesReceived(3, UnitType::Tx);
    EXPECT_FALSE(receivedImages(5));

    EXPECT_EQ(lastBoardLine(run.out, "COM1"), "COM1     115200  TX  done");
    EXPECT_EQ(lastBoardLine(run.out, "COM2"), "COM2     9600    RX  done");
    EXPECT_EQ(lastBoardLine(run.out, "COM3"), "COM3     57600   TX  done");
    EXPECT_EQ(lastBoardLine(run.out, "COM4"),
              "COM4     115200  RX  FAILED during logic 100%: the unit answered \"ERROR: flash write\" instead of "
              "\"SUCCESS\"");
    EXPECT_EQ(lastBoardLine(run.out, "COM5"), "COM5     -       --  no unit");
    // Every port was searched and the units went through their steps.
    for (const char *line : {"COM1     -       --  searching", "COM2     9600    --  checking",
                             "COM3     57600   TX  logic 50%", "COM1     115200  TX  firmware 100%",
                             "COM2     9600    RX  rebooting 0%"}) {
        EXPECT_TRUE(contains(run.out, std::string(line) + "\n")) << line;
    }

    const std::string summary = run.out.substr(run.out.find("\nPort "));
    EXPECT_TRUE(contains(summary, "\nCOM1  TX    61.01.02, XC7A75 1.02  updated  ")) << summary;
    EXPECT_TRUE(contains(summary, "\nCOM2  RX    61.01.02, XC7A75 1.02  updated  ")) << summary;
    EXPECT_TRUE(contains(summary, "\nCOM3  TX    61.01.02, XC7A75 1.02  updated  ")) << summary;
    EXPECT_TRUE(contains(summary, "\nCOM4  RX    61.01.02, XC7A75 1.02  FAILED   ")) << summary;
    EXPECT_TRUE(contains(summary, "\nCOM5  -     -                      no unit  ")) << summary;
    EXPECT_TRUE(contains(summary, "\nCOM4: FAILED during logic 100%: the unit answered \"ERROR: flash write\""))
        << summary;

    // A trace for each port searched, named after the port and the start,
    // each in the summary; the refused unit's trace holds its refusal.
    const std::vector<std::string> traceFiles = filesIn(traces.path());
    ASSERT_EQ(traceFiles.size(), 5u);
    for (int com = 1; com <= 5; ++com) {
        const std::string &name = traceFiles[static_cast<size_t>(com - 1)];
        EXPECT_EQ(name.rfind("RavelinFwUpgrade-COM" + std::to_string(com) + "-", 0), 0u) << name;
        EXPECT_TRUE(contains(summary, "  " + traces.file(name) + "\n")) << name;
    }
    const std::string refusedTrace = readFile(traces.file(traceFiles[3]));
    EXPECT_TRUE(contains(refusedTrace, "--port 4 --no-wait --progress json --log ")) << refusedTrace.substr(0, 300);
    EXPECT_TRUE(contains(refusedTrace, "ERROR: flash write"));
    EXPECT_TRUE(contains(summary, "\r\nERROR: 1 of 4 units was not updated.\r\n\r\n")) << summary;
    EXPECT_EQ(summary.find("Press any key"), std::string::npos);
}

TEST_F(RackRun, WithoutAnyUnitTheRackFailsAndSaysWhereItLooked)
{
    addUnit(2, 9600, UnitType::Tx, {"silent"});
    addUnit(7, 9600, UnitType::Tx, {"silent"});

    const ProcessResult run =
        runProcess(toolCommand({"--all", "--log-dir", traces.path()}), toolEnvironment(), std::nullopt, 60s);
    EXPECT_EQ(run.status, EXIT_UPDATE_FAILED);
    EXPECT_TRUE(contains(run.out, "Searching COM2, COM7\n")) << run.out;
    EXPECT_EQ(lastBoardLine(run.out, "COM7"), "COM7     -       --  no unit");
    // Standard input is not a console: the key wait ends at once.
    EXPECT_TRUE(contains(run.out, "\r\nERROR: no unit answered on COM2, COM7.\r\n\r\nPress any key to exit"))
        << run.out;

    units.clear();
    const ProcessResult empty = runProcess(toolCommand({"--all", "--no-wait", "--log-dir", traces.path()}),
                                           toolEnvironment(), std::nullopt, 60s);
    EXPECT_EQ(empty.status, EXIT_UPDATE_FAILED);
    EXPECT_TRUE(contains(empty.out, "\r\nERROR: no serial port found.\r\n")) << empty.out;
}

// The parent relays its children's events, one port's after another's as
// they come; a program follows the rack without reading the board.
TEST_F(RackRun, JsonProgressOfARackIsEveryPortsEvents)
{
    addUnit(1, 57600, UnitType::Rx, {"not-ready"});
    addUnit(3, 4800, UnitType::Tx, {"silent"});

    const ProcessResult run = runProcess(toolCommand({"--all", "--allow-reinstall", "--progress", "json", "--log-dir", traces.path()}),
                                         toolEnvironment(), std::nullopt, 90s);
    EXPECT_EQ(run.status, EXIT_UPDATE_FAILED);
    EXPECT_EQ(run.err, "");
    std::vector<std::string> lines = linesOf(run.out);
    ASSERT_FALSE(lines.empty());
    std::string last1, last3;
    for (const std::string &line : lines) {
        ProgressEvent event;
        ASSERT_TRUE(parseProgressEvent(line, event)) << line;
        ASSERT_TRUE(event.port == "COM1" || event.port == "COM3") << line;
        (event.port == "COM1" ? last1 : last3) = line;
    }
    EXPECT_EQ(last1, "{\"port\":\"COM1\",\"baud\":57600,\"type\":\"RX\",\"versions\":{\"mcu\":\"61.01.02\",\"logic\":"
                     "\"XC7A75 1.02\",\"device\":7},\"step\":\"failed\",\"during\":\"logic\",\"percent\":0,"
                     "\"result\":\"failed\",\"message\":\"the unit was not ready for the image\"}");
    EXPECT_EQ(last3, "{\"port\":\"COM3\",\"step\":\"failed\",\"during\":\"searching\",\"result\":\"not-found\","
                     "\"message\":\"no unit answered on COM3\"}");
}

TEST_F(RackRun, AFolderThatCannotTakeTracesIsRefusedBeforeAnyPortIsTouched)
{
    addUnit(1, 115200, UnitType::Tx, {}, {"--wire-log", saved.file("wire.log")});
    const ProcessResult run = runProcess(toolCommand({"--all", "--log-dir", traces.file("missing/folder")}),
                                         toolEnvironment(), std::nullopt, 30s);
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_TRUE(contains(run.err, "--log-dir")) << run.err;
    EXPECT_TRUE(!fileExists(saved.file("wire.log")) || readFile(saved.file("wire.log")).empty());
}

// On Linux the rack searches the USB serial devices after COM1..COM32, as
// the plain run does, and names them by their paths.
TEST_F(RackRun, UsbSerialDevicesAreSearchedAndUpdatedBesideTheComPorts)
{
    addDeviceUnit("ttyS2", 57600, UnitType::Tx);
    addDeviceUnit("ttyUSB0", 115200, UnitType::Rx);
    addDeviceUnit("ttyACM1", 9600, UnitType::Tx);

    const ProcessResult run =
        runProcess(toolCommand({"--all", "--allow-reinstall", "--no-wait", "--log-dir", traces.path()}),
                   deviceEnvironment(), std::nullopt, 240s);
    EXPECT_TRUE(toolProcesses().empty()) << "a process of the rack outlived it";
    EXPECT_EQ(run.status, EXIT_UPDATED) << run.out;
    expectImagesReceived("ttyS2", UnitType::Tx);
    expectImagesReceived("ttyUSB0", UnitType::Rx);
    expectImagesReceived("ttyACM1", UnitType::Tx);

    const std::string usb = comDir.file("ttyUSB0");
    const std::string acm = comDir.file("ttyACM1");
    EXPECT_TRUE(contains(run.out, "Searching COM3, " + usb + ", " + acm + "\n")) << run.out;
    const std::string padding(usb.size() + 1 - 4, ' ');
    EXPECT_EQ(lastBoardLine(run.out, "COM3"), "COM3" + padding + " 57600   TX  done");
    EXPECT_EQ(lastBoardLine(run.out, usb), usb + "  115200  RX  done");
    EXPECT_EQ(lastBoardLine(run.out, acm), acm + "  9600    TX  done");
    EXPECT_TRUE(contains(run.out, "\r\nAll 3 units were updated.\r\n")) << run.out;
    const std::vector<std::string> traceFiles = filesIn(traces.path());
    ASSERT_EQ(traceFiles.size(), 3u);
    EXPECT_EQ(traceFiles[0].rfind("RavelinFwUpgrade-COM3-", 0), 0u);
    EXPECT_EQ(traceFiles[1].rfind("RavelinFwUpgrade-ttyACM1-", 0), 0u);
    EXPECT_EQ(traceFiles[2].rfind("RavelinFwUpgrade-ttyUSB0-", 0), 0u);
}
