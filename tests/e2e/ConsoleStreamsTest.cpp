// Runs started the way scripts, services and impatient operators start them:
// without one of the standard streams, with stdout into a pipe whose reader
// goes away in the middle of a stream, and ended by a signal while the exit
// prompt waits for a key on a terminal.
#include "e2e/UpdateRun.h"

#include "support/Files.h"

#include "RavelinFwUpgrade.h"

#include <climits>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <stdexcept>
#include <termios.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

const std::string kProbeLine = std::string("%%") + DISCOVERY_PROBE_COMMAND + "\n\r";
const std::string kVersionLine = "%%%fw -v\n\r";

std::string linkTarget(const std::string &path)
{
    char target[PATH_MAX];
    const ssize_t n = readlink(path.c_str(), target, sizeof target - 1);
    return n > 0 ? std::string(target, static_cast<std::size_t>(n)) : std::string();
}

const char *streamName(int fd) { return fd == 0 ? "stdin" : fd == 1 ? "stdout" : "stderr"; }

}  // namespace

// A unit that is refused for its device code makes a short run in which the
// port is open while the console prints. Whichever stream is missing, the
// port must not take its descriptor: console lines would go to the unit,
// and the discarding of typed-ahead input would flush the serial line.
TEST_F(UpdateRun, ClosedStandardStreamIsNeverThePort)
{
    SimConfig config;
    const std::string wire = comDir.file("wire.log");
    config.extraArgs = {"--device-code", "3", "--wire-log", wire};
    startUnit(config);
    const std::string unitTty = linkTarget(unit->linkPath());
    ASSERT_FALSE(unitTty.empty());
    const std::string console = banner() + discovered(1, 115200) + versionLines(simVersion(3)) + productCheck() +
                                unknownProduct() + exitPrompt(failedVerdict());

    for (int closed = 0; closed < 3; ++closed) {
        SCOPED_TRACE(std::string(streamName(closed)) + " closed");
        writeFile(wire, "");
        const int devNull = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        Pipe out, err;
        const pid_t tool = startProcess({toolPath(ToolBuild::QuickBoot)}, toolEnvironment(),
                                        closed == 0 ? CLOSED_STREAM : devNull, closed == 1 ? CLOSED_STREAM : out.write,
                                        closed == 2 ? CLOSED_STREAM : err.write);
        ::close(devNull);
        out.closeWrite();
        err.closeWrite();

        // The version request is out: the port stays open for its reply window.
        EXPECT_TRUE(waitUntil([&] { return readFile(wire).find(kVersionLine) != std::string::npos; }, 20s));
        const std::string procFds = "/proc/" + std::to_string(tool) + "/fd/";
        for (int fd = 0; fd < 3; ++fd) {
            const std::string target = linkTarget(procFds + std::to_string(fd));
            EXPECT_NE(target, unitTty) << "the port took " << streamName(fd);
            if (fd == closed) {
                EXPECT_EQ(target, "/dev/null");
            }
        }

        const std::string printed = out.read >= 0 ? out.drain() : "";
        const std::string errors = err.read >= 0 ? err.drain() : "";
        EXPECT_EQ(waitProcess(tool, 30s), std::optional<int>(EXIT_UPDATE_FAILED));
        EXPECT_EQ(readFile(wire), kProbeLine + kVersionLine) << "nothing but commands reaches the unit";
        if (closed != 1) {
            EXPECT_TRUE(printed == console) << firstDifference(console, printed);
        }
        EXPECT_EQ(errors, "");
    }
}

// The reader of stdout goes away in the middle of the logic stream, as
// `| head` would. The update must go on to the end, unseen.
TEST_F(UpdateRun, StdoutPipeClosedDuringTheStreamDoesNotStopTheUpdate)
{
    startUnit(SimConfig{});
    const int devNull = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    Pipe out;
    const pid_t tool = startProcess({toolPath(ToolBuild::QuickBoot)}, toolEnvironment(), devNull, out.write, -1);
    ::close(devNull);
    out.closeWrite();

    std::string seen;
    const std::string streaming = logicStreamLabel() + "1%";
    char chunk[256];
    ssize_t n;
    while (seen.find(streaming) == std::string::npos && (n = ::read(out.read, chunk, sizeof chunk)) > 0)
        seen.append(chunk, static_cast<std::size_t>(n));
    ASSERT_NE(seen.find(streaming), std::string::npos) << seen;
    out.closeRead();

    EXPECT_EQ(waitProcess(tool, 150s), std::optional<int>(EXIT_UPDATED));
    expectImagesReceived(CATALOGUE_TX_LOGIC);
}

// The web package writer ends with the exit prompt, so it is the shortest
// way to the key wait. A signal from another process during the wait must
// leave the terminal as it was and still end the tool as it would have.
TEST_F(UpdateRun, SignalDuringTheKeyWaitRestoresTheTerminal)
{
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const int terminal = ::open(ptsname(master), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(terminal, 0);
    termios before{};
    ASSERT_EQ(tcgetattr(terminal, &before), 0);
    ASSERT_NE(before.c_lflag & ICANON, 0u);
    ASSERT_NE(before.c_lflag & ECHO, 0u);
    const int devNull = ::open("/dev/null", O_WRONLY | O_CLOEXEC);

    for (int sig : {SIGTERM, SIGHUP, SIGQUIT, SIGINT}) {
        SCOPED_TRACE(strsignal(sig));
        TempDir work;
        // No core file from SIGQUIT.
        const std::string command = "ulimit -c 0; cd '" + work.path() + "' && exec '" +
                                    toolPath(ToolBuild::RealTiming) + "' --web-package";
        const pid_t tool = startProcess({"sh", "-c", command}, {}, terminal, devNull, devNull);
        const bool waiting = waitUntil(
            [&] {
                termios now{};
                return tcgetattr(terminal, &now) == 0 && (now.c_lflag & ICANON) == 0;
            },
            30s);
        EXPECT_TRUE(waiting) << "the tool never reached the key wait";
        kill(tool, sig);
        EXPECT_EQ(waitProcess(tool, 10s), std::optional<int>(-sig));

        termios after{};
        ASSERT_EQ(tcgetattr(terminal, &after), 0);
        EXPECT_EQ(after.c_lflag, before.c_lflag);
        EXPECT_EQ(after.c_iflag, before.c_iflag);
        EXPECT_EQ(after.c_oflag, before.c_oflag);
        EXPECT_EQ(after.c_cc[VMIN], before.c_cc[VMIN]);
        EXPECT_EQ(after.c_cc[VTIME], before.c_cc[VTIME]);
    }
    ::close(devNull);
    ::close(terminal);
    ::close(master);
}
