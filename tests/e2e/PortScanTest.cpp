// Discovery as the tool meets ports in the field: a terminal that is not
// the unit must be left as it was found, a device that talks without pause
// must not hold up the scan, and the environment variable that moves the
// COM ports must not move them to the root folder when it is empty.
#include "e2e/UpdateRun.h"

#include "support/Files.h"

#include <climits>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

std::string linkTarget(const std::string &path)
{
    char target[PATH_MAX];
    const ssize_t n = readlink(path.c_str(), target, sizeof target - 1);
    return n > 0 ? std::string(target, static_cast<std::size_t>(n)) : std::string();
}

}  // namespace

// A terminal on COM1 that never answers: discovery tries all six rates on it,
// raw, and writes its twelve probe lines, then ends at the prompts.
TEST_F(UpdateRun, ProbedTerminalIsLeftAsItWasFound)
{
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const std::string ttyPath = ptsname(master);
    const int tty = ::open(ttyPath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(tty, 0);
    termios found{};
    ASSERT_EQ(tcgetattr(tty, &found), 0);
    found.c_lflag |= ICANON | ECHO | ISIG;
    found.c_oflag |= OPOST | ONLCR;
    found.c_cflag |= HUPCL;
    cfsetspeed(&found, B2400);
    ASSERT_EQ(tcsetattr(tty, TCSANOW, &found), 0);
    ASSERT_EQ(tcgetattr(tty, &found), 0);
    ASSERT_EQ(symlink(ttyPath.c_str(), comDir.file("com1").c_str()), 0);

    const ProcessResult run = runTool(ToolBuild::QuickBoot, 60s);
    EXPECT_FALSE(run.timedOut);
    EXPECT_EQ(run.status, EXIT_NO_CONNECTION);

    termios after{};
    ASSERT_EQ(tcgetattr(tty, &after), 0);
    EXPECT_EQ(after.c_iflag, found.c_iflag);
    EXPECT_EQ(after.c_oflag, found.c_oflag);
    EXPECT_EQ(after.c_cflag, found.c_cflag);
    EXPECT_EQ(after.c_lflag, found.c_lflag);
    EXPECT_EQ(cfgetospeed(&after), B2400);
    EXPECT_EQ(std::memcmp(after.c_cc, found.c_cc, sizeof after.c_cc), 0);
    ::close(tty);
    ::close(master);
}

// A device on COM1 that sends a byte every 400 ms, and so never leaves a
// 500 ms window silent: each probe reply is refused at its first byte, and
// the scan moves on to the unit on COM2 as it would past a silent port.
TEST_F(UpdateRun, DevicePrattlingAheadOfTheUnitIsPassedOver)
{
    SimConfig prattler;
    prattler.faults = {"drip"};
    startUnit(prattler);
    SimConfig config;
    config.dir = comDir.path();
    config.com = 2;
    config.extraArgs = {"--device-code", "3"};
    SimUnit refused(config);

    runAndCheck(ToolBuild::QuickBoot, EXIT_UPDATE_FAILED,
                banner() + discovered(2, 115200) + versionLines(simVersion(3)) + productCheck() + unknownProduct() +
                    exitPrompt(failedVerdict()),
                60s);
}

// With RAVELIN_COM_DIR empty the tool must scan ttyS<N-1> in the device
// folder, not /comN. The device folder is one of the test's own, whose ttyS0
// is the simulated unit's terminal: the machine's own ports stay untouched.
TEST_F(UpdateRun, EmptyComFolderVariableMeansTheDevicePorts)
{
    SimConfig config;
    config.extraArgs = {"--device-code", "3"};
    startUnit(config);
    TempDir dev;
    ASSERT_EQ(symlink(linkTarget(unit->linkPath()).c_str(), dev.file("ttyS0").c_str()), 0);
    const ProcessResult run = runProcess({toolPath(ToolBuild::QuickBoot)},
                                         {{"RAVELIN_COM_DIR", ""}, {"RAVELIN_DEV_DIR", dev.path()}}, std::nullopt, 60s);
    expectRun(run, EXIT_UPDATE_FAILED,
              banner() + discovered(1, 115200) + versionLines(simVersion(3)) + productCheck() + unknownProduct() +
                  exitPrompt(failedVerdict()));
}
