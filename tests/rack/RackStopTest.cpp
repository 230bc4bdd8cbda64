// Ctrl-C in the middle of a rack: every process of the rack is stopped, the
// board says where each port was, and the tool ends as Ctrl-C ends a program.
#include "rack/RackRun.h"

#include "support/Files.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <csignal>

using namespace std::chrono_literals;

namespace {

bool contains(const std::string &text, const std::string &part) { return text.find(part) != std::string::npos; }

// Reads what the pipe has for up to 50 ms; false once it has ended.
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

TEST_F(RackRun, CtrlCStopsEveryProcessAndTheBoardSaysWhereEachWas)
{
    // Paced streams last minutes: the run is surely inside them when it is stopped.
    addUnit(1, 115200, UnitType::Tx, {}, {"--pace"});
    addUnit(2, 9600, UnitType::Rx, {}, {"--pace"});
    addUnit(3, 2400, UnitType::Tx, {"silent"});

    int out[2];
    ASSERT_EQ(pipe2(out, O_CLOEXEC), 0);
    const pid_t tool = startProcess(toolCommand({"--all", "--allow-reinstall", "--no-wait", "--log-dir", traces.path()}), toolEnvironment(), -1, out[1], -1);
    close(out[1]);

    std::string shown;
    const bool inStreams = waitUntil(
        [&] {
            readSome(out[0], shown);
            return contains(shown, "COM1     115200  TX  logic 0%\n") && contains(shown, "COM2     9600    RX  logic 0%\n");
        },
        60s);
    EXPECT_TRUE(inStreams) << shown;
    EXPECT_GE(toolProcesses().size(), 3u) << "the parent and a process for each of the three ports";

    kill(tool, SIGINT);
    waitUntil([&] { return !readSome(out[0], shown); }, 30s);
    close(out[0]);
    const std::optional<int> status = waitProcess(tool, 10s);
    ASSERT_TRUE(status.has_value()) << "the tool did not end on Ctrl-C";
    EXPECT_EQ(*status, -SIGINT);
    EXPECT_TRUE(toolProcesses().empty()) << "a process of the rack outlived it";

    EXPECT_EQ(lastBoardLine(shown, "COM1").rfind("COM1     115200  TX  STOPPED during logic ", 0), 0u) << shown;
    EXPECT_EQ(lastBoardLine(shown, "COM2").rfind("COM2     9600    RX  STOPPED during logic ", 0), 0u) << shown;
    const std::string com3 = lastBoardLine(shown, "COM3");
    EXPECT_TRUE(com3 == "COM3     -       --  no unit" || com3 == "COM3     -       --  STOPPED during searching")
        << com3;
    EXPECT_TRUE(contains(shown, "\nSTOPPED: every port's process was stopped where it was.\n")) << shown;
    EXPECT_TRUE(contains(shown, "\nCOM1: STOPPED during logic ")) << shown;
    EXPECT_FALSE(receivedImages(1));
    EXPECT_FALSE(receivedImages(2));
}

// Ctrl-\ is a stop as Ctrl-C is: the board and the summary say where the
// unit was, and the tool ends as SIGQUIT ends a program (without a core
// file here).
TEST_F(RackRun, QuitStopsTheRackAsCtrlCDoes)
{
    addUnit(1, 115200, UnitType::Tx, {}, {"--pace"});
    int out[2];
    ASSERT_EQ(pipe2(out, O_CLOEXEC), 0);
    std::vector<std::string> command = toolCommand({"--all", "--allow-reinstall", "--no-wait", "--log-dir", traces.path()});
    std::string shell = "ulimit -c 0; exec";
    for (const std::string &arg : command)
        shell += " '" + arg + "'";
    const pid_t tool = startProcess({"sh", "-c", shell}, toolEnvironment(), -1, out[1], -1);
    close(out[1]);

    std::string shown;
    EXPECT_TRUE(waitUntil(
        [&] {
            readSome(out[0], shown);
            return contains(shown, "COM1     115200  TX  logic 0%\n");
        },
        60s))
        << shown;
    kill(tool, SIGQUIT);
    waitUntil([&] { return !readSome(out[0], shown); }, 30s);
    close(out[0]);
    EXPECT_EQ(waitProcess(tool, 10s), std::optional<int>(-SIGQUIT));
    EXPECT_TRUE(toolProcesses().empty()) << "a process of the rack outlived it";
    EXPECT_EQ(lastBoardLine(shown, "COM1").rfind("COM1     115200  TX  STOPPED during logic ", 0), 0u) << shown;
    EXPECT_TRUE(contains(shown, "\nSTOPPED: every port's process was stopped where it was.\n")) << shown;
    EXPECT_TRUE(contains(shown, "\nCOM1: STOPPED during logic ")) << shown;
}
