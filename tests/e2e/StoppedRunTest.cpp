// Runs stopped from outside: Ctrl-C, a closed terminal or a termination
// request in the middle of a single update and of a rack, the rack killed
// outright, and signals and a stop request (SIGTSTP) at the exit prompt's
// key wait.
// Every port the run held must read back as it was before the run, and the
// terminal must be the operator's while the tool is stopped.
#include "e2e/UpdateRun.h"

#include "support/Files.h"
#include "support/PortUnderTest.h"
#include "support/PseudoTerminal.h"

#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

const std::string kLogicAnnouncement = "%%%fw -l ";

class StoppedRun : public UpdateRun {
protected:
    // A unit on COM `com` that logs what it receives to the file returned.
    std::string startUnitOn(int com, std::vector<std::string> extraArgs = {})
    {
        SimConfig config;
        config.dir = comDir.path();
        config.com = com;
        const std::string wire = comDir.file("wire" + std::to_string(com) + ".log");
        writeFile(wire, "");
        config.extraArgs = std::move(extraArgs);
        config.extraArgs.insert(config.extraArgs.end(), {"--wire-log", wire, "--boot-ms", std::to_string(QUICK_BOOT_MS)});
        units.push_back(std::make_unique<SimUnit>(config));
        return wire;
    }

    pid_t startTool(const std::vector<std::string> &args)
    {
        std::vector<std::string> argv = {toolPath(ToolBuild::QuickBoot)};
        argv.insert(argv.end(), args.begin(), args.end());
        const int devNull = ::open("/dev/null", O_RDWR | O_CLOEXEC);
        const pid_t tool = startProcess(argv, toolEnvironment(), devNull, devNull, devNull);
        ::close(devNull);
        return tool;
    }

    // The logic image has been announced: the tool holds the port, raw at
    // 115200, through the announcement's reply window.
    static bool reachesTheAnnouncement(const std::string &wire)
    {
        return waitUntil([&] { return readFile(wire).find(kLogicAnnouncement) != std::string::npos; }, 30s);
    }

    std::vector<std::unique_ptr<SimUnit>> units;
};

}  // namespace

TEST_F(StoppedRun, SignalDuringAnUpdatePutsThePortBack)
{
    // No core file from SIGQUIT.
    const rlimit noCore = {0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
    // And every other kind of signal that ends a process by default: a user
    // signal, a timer, a resource limit, a trap, a real-time signal.
    for (int sig : {SIGTERM, SIGINT, SIGHUP, SIGQUIT, SIGUSR2, SIGVTALRM, SIGXCPU, SIGTRAP, SIGRTMIN}) {
        SCOPED_TRACE(strsignal(sig));
        // A unit left waiting for the announced image would take the next probe for it.
        units.clear();
        const std::string wire = startUnitOn(1);
        PortUnderTest port(units[0]->linkPath());
        const pid_t tool = startTool({"--no-wait"});
        EXPECT_TRUE(reachesTheAnnouncement(wire));
        EXPECT_NE(port.changes(), "") << "the port was never set up by the tool";
        kill(tool, sig);
        EXPECT_EQ(waitOrKillProcess(tool, 10s), std::optional<int>(-sig)) << "not ended as the signal ends it";
        EXPECT_EQ(port.changes(), "");
    }
}

// A user signal or a timer's in the middle of a paced stream: the port is
// put back and the tool still ends as the signal ends it.
TEST_F(StoppedRun, EveryEndingSignalMidStreamPutsThePortBack)
{
    const rlimit noCore = {0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
    for (int sig : {SIGUSR1, SIGALRM}) {
        SCOPED_TRACE(strsignal(sig));
        units.clear();
        const std::string wire = startUnitOn(1, {"--pace"});
        PortUnderTest port(units[0]->linkPath());
        const pid_t tool = startTool({"--no-wait"});
        EXPECT_TRUE(reachesTheAnnouncement(wire));
        // 115200 baud carries about 11 KB a second.
        EXPECT_TRUE(waitUntil(
            [&] {
                const std::string sent = readFile(wire);
                return sent.size() > sent.find(kLogicAnnouncement) + 8000;
            },
            30s))
            << "the stream never began";
        kill(tool, sig);
        EXPECT_EQ(waitOrKillProcess(tool, 10s), std::optional<int>(-sig)) << "not ended as the signal ends it";
        EXPECT_EQ(port.changes(), "");
    }
}

// The rack's processes for each port end with it: stopped by the rack on a
// termination request or a closed terminal, or by their parent-death signal
// when the rack is killed outright.
TEST_F(StoppedRun, RackStoppedOrKilledPutsEveryPortBack)
{
    for (int sig : {SIGTERM, SIGHUP, SIGUSR1, SIGALRM, SIGKILL}) {
        SCOPED_TRACE(strsignal(sig));
        units.clear();
        const std::string wire1 = startUnitOn(1);
        const std::string wire2 = startUnitOn(2);
        PortUnderTest port1(units[0]->linkPath());
        PortUnderTest port2(units[1]->linkPath());
        const pid_t rack = startTool({"--all", "--allow-reinstall", "--no-wait", "--log-dir", comDir.path()});
        EXPECT_TRUE(reachesTheAnnouncement(wire1));
        EXPECT_TRUE(reachesTheAnnouncement(wire2));
        kill(rack, sig);
        EXPECT_EQ(waitOrKillProcess(rack, 15s), std::optional<int>(-sig));
        // Killed outright, the rack does not wait for its processes.
        waitUntil([&] { return port1.changes().empty() && port2.changes().empty(); }, 10s);
        EXPECT_EQ(port1.changes(), "");
        EXPECT_EQ(port2.changes(), "");
    }
}

// The web package writer ends with the exit prompt: the shortest way to the
// key wait. A signal from another process there leaves the terminal as it
// was and ends the tool as the signal would have. Stopped there (SIGTSTP),
// the tool gives the terminal back; continued, it takes it again and still
// ends with a key.
TEST_F(StoppedRun, TheKeyWaitGivesTheTerminalBack)
{
    PseudoTerminal console;
    const termios before = console.settings();
    ASSERT_TRUE(console.inLineMode());
    const auto startAtTheKeyWait = [&](const TempDir &work) {
        const int devNull = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        // No core file from SIGQUIT.
        const pid_t tool = startProcess({"sh", "-c", "ulimit -c 0; cd '" + work.path() + "' && exec '" +
                                                        toolPath(ToolBuild::RealTiming) + "' --web-package"},
                                        {}, console.terminal(), devNull, devNull);
        ::close(devNull);
        EXPECT_TRUE(waitUntil([&] { return (console.settings().c_lflag & ICANON) == 0; }, 30s))
            << "the tool never reached the key wait";
        return tool;
    };

    for (int sig : {SIGTERM, SIGHUP, SIGQUIT, SIGINT, SIGUSR1, SIGALRM, SIGUSR2, SIGPROF, SIGRTMIN}) {
        SCOPED_TRACE(strsignal(sig));
        TempDir work;
        const pid_t tool = startAtTheKeyWait(work);
        kill(tool, sig);
        EXPECT_EQ(waitProcess(tool, 10s), std::optional<int>(-sig));
        const termios after = console.settings();
        EXPECT_EQ(after.c_lflag, before.c_lflag);
        EXPECT_EQ(after.c_iflag, before.c_iflag);
        EXPECT_EQ(after.c_oflag, before.c_oflag);
        EXPECT_EQ(after.c_cc[VMIN], before.c_cc[VMIN]);
        EXPECT_EQ(after.c_cc[VTIME], before.c_cc[VTIME]);
    }

    TempDir work;
    const pid_t tool = startAtTheKeyWait(work);
    kill(tool, SIGTSTP);
    EXPECT_TRUE(waitUntil([&] { return console.inLineMode(); }, 10s)) << "stopped with the terminal in single-key mode";
    kill(tool, SIGCONT);
    EXPECT_TRUE(waitUntil([&] { return !console.inLineMode(); }, 10s)) << "continued without taking the terminal again";
    EXPECT_TRUE(console.type("k"));
    EXPECT_EQ(waitOrKillProcess(tool, 10s), std::optional<int>(0));
    EXPECT_TRUE(console.inLineMode());
}
