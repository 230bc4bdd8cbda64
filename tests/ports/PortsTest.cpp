// Ports on Linux without RAVELIN_COM_DIR: USB serial adapters played by
// pseudo-terminals linked into a device folder (RAVELIN_DEV_DIR) as ttyUSB0
// and ttyACM1, found by the plain run and named by --port; the port
// listing of a device folder and of a COM folder; a port that the user may
// not open, and one that another instance of the tool holds.
#include "ports/PortsFixture.h"

#include "support/Files.h"
#include "support/Process.h"
#include "support/SimUnit.h"

#include "RavelinFwUpgrade.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

const char kPermissionHint[] =
    "To use serial ports without being root, add your user to the dialout group\r\n"
    "(sudo usermod -aG dialout $USER), then log out and in again.\r\n";

class DevicePorts : public UpdateRun {
protected:
    std::string device(const std::string &name) const { return comDir.file(name); }
};

// Runs the tool as the user nobody, outside every group.
ProcessResult runAsNobody(const std::vector<std::string> &args, const Environment &env)
{
    std::vector<std::string> argv = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups",
                                     toolPath(ToolBuild::QuickBoot)};
    argv.insert(argv.end(), args.begin(), args.end());
    return runProcess(argv, env, std::nullopt, 60s);
}

}  // namespace

// COM1..COM32 (ttyS0..ttyS31 of the folder) do not exist; ttyUSB0 comes
// before ttyACM1, whose unit must never hear a byte.
TEST_F(DevicePorts, PlainRunFindsAndUpdatesTheUnitOnTtyUSB0)
{
    SimConfig usb;
    usb.link = "ttyUSB0";
    usb.baud = 57600;
    startUnit(usb);
    SimConfig acm;
    acm.dir = comDir.path();
    acm.link = "ttyACM1";
    acm.type = "rx";
    TempDir logs;
    acm.extraArgs = {"--wire-log", logs.file("acm.log")};
    SimUnit other(acm);

    expectRun(runToolIn(ToolBuild::QuickBoot, {}, deviceFolder(comDir.path()), 120s), EXIT_UPDATED,
              banner() + "OK\r\nCOM PORT Number : " + device("ttyUSB0") + "\r\nBaud rate       : 57600 \r\n\r\n" +
                  updateSteps(UnitType::Tx) + successLine() + exitPrompt());
    expectImagesReceived(CATALOGUE_TX_LOGIC);
    EXPECT_EQ(readFile(logs.file("acm.log")), "");
}

TEST_F(DevicePorts, PortPathNamesTheDeviceDirectly)
{
    SimConfig acm;
    acm.link = "ttyACM1";
    acm.type = "rx";
    acm.baud = 9600;
    startUnit(acm);

    const ProcessResult info =
        runToolIn(ToolBuild::QuickBoot, {"--info", "--port", device("ttyACM1")}, deviceFolder(comDir.path()));
    EXPECT_EQ(info.status, 0) << info.out;
    EXPECT_NE(info.out.find("Port                 : " + device("ttyACM1") + "\r\n"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("Baud rate            : 9600\r\n"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("Unit                 : RX\r\n"), std::string::npos) << info.out;
    EXPECT_EQ(info.err, "");

    const ProcessResult missing =
        runToolIn(ToolBuild::QuickBoot, {"--info", "--port", device("ttyUSB9")}, deviceFolder(comDir.path()));
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.out,
              "\r\nNo unit answered on " + device("ttyUSB9") + ".\r\n" + device("ttyUSB9") + ": no such device.\r\n");
}

// By kind, then by number (ttyUSB2 before ttyUSB10); the by-id link shows
// beside the device it leads to, the backslash of udev's own escapes in its
// name doubled; files that are no character device and names without a
// number are no ports.
TEST_F(DevicePorts, ListPortsShowsTheDeviceFolderInAStableOrder)
{
    const ProcessResult none = runToolIn(ToolBuild::QuickBoot, {"--list-ports"}, deviceFolder(comDir.path()));
    EXPECT_EQ(none.status, 0);
    EXPECT_EQ(none.out, "No serial port found.\n");

    LinkedPty usb10(comDir.path(), "ttyUSB10");
    LinkedPty acm1(comDir.path(), "ttyACM1");
    LinkedPty usb2(comDir.path(), "ttyUSB2");
    LinkedPty usb0(comDir.path(), "ttyUSB0");
    writeFile(device("ttyUSB5"), "not a device");
    LinkedPty unnumbered(comDir.path(), "ttyUSBx");
    ASSERT_EQ(mkdir(device("serial").c_str(), 0755), 0);
    ASSERT_EQ(mkdir(device("serial/by-id").c_str(), 0755), 0);
    const std::string byId = device("serial/by-id/usb-Maker_Adapter\\x20A1-if00-port0");
    ASSERT_EQ(symlink("../../ttyUSB2", byId.c_str()), 0);
    const std::string byIdShown = device("serial/by-id/usb-Maker_Adapter\\\\x20A1-if00-port0");

    const ProcessResult list = runToolIn(ToolBuild::QuickBoot, {"--list-ports"}, deviceFolder(comDir.path()));
    EXPECT_EQ(list.status, 0);
    EXPECT_EQ(list.err, "");
    EXPECT_EQ(list.out, device("ttyUSB0") + "\n" + device("ttyUSB2") + "   " + byIdShown + "\n" + device("ttyUSB10") +
                            "\n" + device("ttyACM1") + "\n");
}

TEST(ComFolderPorts, ListPortsShowsTheComLinksAndWhereTheyLead)
{
    TempDir comDir;
    LinkedPty com10(comDir.path(), "com10");
    LinkedPty com2(comDir.path(), "com2");
    ASSERT_EQ(symlink("/nonexistent/pts/99", comDir.file("com3").c_str()), 0);

    const ProcessResult list =
        runToolIn(ToolBuild::QuickBoot, {"--list-ports"}, comFolder(comDir.path()));
    EXPECT_EQ(list.status, 0);
    EXPECT_EQ(list.out, "COM2   " + com2.slavePath() + "\nCOM10  " + com10.slavePath() + "\n");
}

// Root opens any device, so the tool runs as nobody (setpriv), outside the
// tty group; the pseudo-terminal is root's with mode 0600.
TEST_F(DevicePorts, DeviceWithoutPermissionIsReportedOnceWithTheFix)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to run the tool as another user";
    ASSERT_EQ(chmod(comDir.path().c_str(), 0755), 0);
    LinkedPty usb0(comDir.path(), "ttyUSB0");
    ASSERT_EQ(chmod(usb0.slavePath().c_str(), 0600), 0);

    const ProcessResult list = runAsNobody({"--list-ports"}, deviceFolder(comDir.path()));
    EXPECT_EQ(list.status, 0) << list.err;
    EXPECT_EQ(list.out, device("ttyUSB0") + "  (no permission)\n\n" + kPermissionHint);

    const ProcessResult info = runAsNobody({"--info", "--port", device("ttyUSB0")}, deviceFolder(comDir.path()));
    EXPECT_EQ(info.status, 1);
    EXPECT_EQ(info.out, "\r\nNo unit answered on " + device("ttyUSB0") + ".\r\n" + device("ttyUSB0") +
                            ": permission denied.\r\n" + kPermissionHint);

    // The plain run's scan says nothing of it.
    const ProcessResult plain = runAsNobody({}, deviceFolder(comDir.path()));
    EXPECT_EQ(occurrences(plain.out, "permission"), 0) << plain.out;
    EXPECT_EQ(occurrences(plain.out, "dialout"), 0) << plain.out;
}

// A first instance updates the unit on ttyUSB0 with the product's timing,
// so it holds the port through the 138 s reboot wait; a second one finds
// the port in use.
TEST_F(DevicePorts, PortHeldBySecondInstanceIsShownInUse)
{
    SimConfig usb;
    usb.link = "ttyUSB0";
    usb.extraArgs = {"--wire-log", comDir.file("wire.log")};
    startUnit(usb);
    const int devNull = open("/dev/null", O_RDWR | O_CLOEXEC);
    ASSERT_GE(devNull, 0);
    const pid_t holder =
        startProcess({toolPath(ToolBuild::RealTiming), "--port", device("ttyUSB0"), "--baud", "115200", "--no-wait"},
                     deviceFolder(comDir.path()), devNull, devNull, devNull);
    close(devNull);
    const bool holding = waitUntil(
        [&] { return fileExists(comDir.file("wire.log")) && readFile(comDir.file("wire.log")).find("%fw -v") != std::string::npos; },
        20s);

    const ProcessResult list = runToolIn(ToolBuild::QuickBoot, {"--list-ports"}, deviceFolder(comDir.path()));
    const ProcessResult info =
        runToolIn(ToolBuild::QuickBoot, {"--info", "--port", device("ttyUSB0")}, deviceFolder(comDir.path()));
    kill(-holder, SIGKILL);
    waitProcess(holder, 10s);

    ASSERT_TRUE(holding) << "the first instance never reached the unit";
    EXPECT_EQ(list.status, 0);
    EXPECT_EQ(list.out, device("ttyUSB0") + "  (in use)\n");
    EXPECT_EQ(info.status, 1);
    EXPECT_EQ(info.out, "\r\nNo unit answered on " + device("ttyUSB0") + ".\r\n" + device("ttyUSB0") +
                            " is in use by another program.\r\n");
}
