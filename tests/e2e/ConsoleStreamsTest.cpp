// Runs started the way scripts, services and impatient operators start them:
// without one of the standard streams, and with stdout into a pipe whose
// reader goes away in the middle of a stream.
#include "e2e/UpdateRun.h"

#include "support/Files.h"

#include "RavelinFwUpgrade.h"

#include <climits>
#include <fcntl.h>
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
