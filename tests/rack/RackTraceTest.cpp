// What --all does with the files it names and the ports it cannot use: links
// planted at the coming trace names are passed over, a trace that stops
// taking records is marked in the summary, a trace folder that cannot be
// used and a rack whose ports are all held say why, and a big rack runs a
// bounded number of port processes at once.
#include "rack/RackRun.h"

#include "support/Files.h"

#include "e2e/UpdateRun.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <ctime>
#include <regex>
#include <set>
#include <stdexcept>

using namespace std::chrono_literals;

namespace {

bool contains(const std::string &text, const std::string &part) { return text.find(part) != std::string::npos; }

// The rack's start stamp `secondsFromNow` seconds from now, as it names traces.
std::string stampIn(int secondsFromNow)
{
    const std::time_t at = std::time(nullptr) + secondsFromNow;
    char text[32] = "";
    std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", std::localtime(&at));
    return text;
}

// A pseudo-terminal that nobody answers on, linked into a folder; held
// (locked, as another program holding it would) when asked.
class SilentPort {
public:
    SilentPort(const std::string &link, bool held)
    {
        master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        const char *slave =
            master_ >= 0 && grantpt(master_) == 0 && unlockpt(master_) == 0 ? ptsname(master_) : nullptr;
        if (slave == nullptr || symlink(slave, link.c_str()) != 0)
            throw std::runtime_error("cannot link a pseudo-terminal as " + link);
        if (held) {
            holder_ = open(slave, O_RDWR | O_NOCTTY | O_CLOEXEC);
            if (holder_ < 0 || flock(holder_, LOCK_EX | LOCK_NB) != 0)
                throw std::runtime_error("cannot hold " + link);
        }
    }
    ~SilentPort()
    {
        if (holder_ >= 0)
            close(holder_);
        close(master_);
    }
    SilentPort(const SilentPort &) = delete;
    SilentPort &operator=(const SilentPort &) = delete;

private:
    int master_ = -1;
    int holder_ = -1;
};

// The port a board line is about, and whether it is over.
struct BoardLine {
    std::string port;
    std::string step;
};

// The board's lines before the summary: port, rate, type, step.
std::vector<BoardLine> boardLines(const std::string &out)
{
    static const std::regex kLine("^(\\S+) +\\S+ +(TX|RX|--)  (.*)$");
    std::vector<BoardLine> lines;
    for (const std::string &line : linesOf(out.substr(0, out.find("\nPort ")))) {
        std::smatch parts;
        if (std::regex_match(line, parts, kLine))
            lines.push_back({parts[1], parts[3]});
    }
    return lines;
}

}  // namespace

// A user of a shared trace folder plants links at every name the rack could
// give its traces in the coming seconds. The rack, as root, writes through
// none of them: their target stays as it was, and the trace takes the next
// free name, which the summary shows. Run under a file size limit, the
// trace then stops taking records: the unit is updated all the same, and
// the summary says that its trace is incomplete and why.
TEST_F(RackRun, PlantedLinksAreNeverFollowedAndAnIncompleteTraceIsMarked)
{
    addUnit(1, 115200, UnitType::Tx);
    const std::string victim = saved.file("victim");
    writeFile(victim, "precious\n");
    for (int second = -2; second <= 15; ++second) {
        for (const char *port : {"COM1", "check"}) {
            const std::string name = std::string("RavelinFwUpgrade-") + port + "-" + stampIn(second) + ".log";
            ASSERT_EQ(symlink(victim.c_str(), traces.file(name).c_str()), 0) << name;
        }
    }

    std::vector<std::string> command = {"/bin/sh", "-c", "ulimit -f 8 && trap '' XFSZ && exec \"$0\" \"$@\""};
    for (const std::string &argument : toolCommand({"--all", "--allow-reinstall", "--no-wait", "--log-dir", traces.path()}))
        command.push_back(argument);
    const ProcessResult run = runProcess(command, toolEnvironment(), std::nullopt, 240s);
    EXPECT_FALSE(run.timedOut);
    EXPECT_EQ(run.status, EXIT_UPDATED) << run.out;
    EXPECT_EQ(run.err, "");
    expectImagesReceived(1, UnitType::Tx);
    EXPECT_EQ(readFile(victim), "precious\n");

    std::vector<std::string> created;
    for (const std::string &name : filesIn(traces.path())) {
        char target[4096];
        if (readlink(traces.file(name).c_str(), target, sizeof target) < 0)
            created.push_back(name);
    }
    ASSERT_EQ(created.size(), 1u) << "the folder check left its file, or a trace is missing";
    const std::string trace = traces.file(created[0]);
    EXPECT_EQ(created[0].substr(created[0].size() - 6), "-2.log") << created[0];
    const std::string records = readFile(trace);
    // The port's process writes to the file the rack created, handed to it open.
    EXPECT_TRUE(contains(records, "--port 1 --no-wait --progress json --log /dev/fd/3")) << records.substr(0, 300);
    EXPECT_LE(records.size(), 8u * 1024);

    const std::string summary = run.out.substr(run.out.find("\nPort "));
    EXPECT_TRUE(contains(summary, "  updated  ")) << summary;
    EXPECT_TRUE(contains(summary, "  " + trace + " (incomplete: File too large)\n")) << summary;
    EXPECT_TRUE(contains(summary, "\r\nAll 1 unit was updated.\r\n")) << summary;
}

// Every port held by another program: the rack says so instead of finding
// no port. A trace folder that is missing or is a file is refused with the
// system's reason before any port is touched.
TEST_F(RackRun, PortsAllInUseAndUnusableTraceFoldersSayWhy)
{
    SilentPort com1(comDir.file("com1"), true);
    SilentPort com2(comDir.file("com2"), true);
    const ProcessResult held =
        runProcess(toolCommand({"--all", "--no-wait", "--log-dir", traces.path()}), toolEnvironment(), std::nullopt, 60s);
    EXPECT_EQ(held.status, EXIT_UPDATE_FAILED);
    EXPECT_TRUE(contains(held.out, "COM1 is in use by another program.\r\nCOM2 is in use by another program.\r\n"))
        << held.out;
    EXPECT_TRUE(contains(held.out, "\r\nERROR: every serial port found is in use by another program.\r\n"))
        << held.out;
    EXPECT_FALSE(contains(held.out, "no serial port found")) << held.out;
    EXPECT_TRUE(filesIn(traces.path()).empty());

    writeFile(traces.file("plain-file"), "");
    const std::vector<std::pair<std::string, std::string>> folders = {
        {traces.file("missing"), "No such file or directory"}, {traces.file("plain-file"), "Not a directory"}};
    for (const auto &[folder, reason] : folders) {
        const ProcessResult run =
            runProcess(toolCommand({"--all", "--log-dir", folder}), toolEnvironment(), std::nullopt, 30s);
        EXPECT_EQ(run.status, EXIT_USAGE) << folder;
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, "ERROR: --log-dir: no trace can be written in \"" + folder + "\": " + reason + ".\n");
    }
}

// Forty ports, more than the 32 processes that run at once: the last ones
// wait their turn, each starts only when another has ended, and the unit
// on the very last port is still found and updated.
TEST_F(RackRun, ABigRackRunsAtMost32PortProcessesAtOnce)
{
    std::vector<std::unique_ptr<SilentPort>> silent;
    for (int n = 0; n < 32; ++n)
        silent.push_back(std::make_unique<SilentPort>(comDir.file("ttyS" + std::to_string(n)), false));
    for (int n = 0; n < 7; ++n)
        silent.push_back(std::make_unique<SilentPort>(comDir.file("ttyUSB" + std::to_string(n)), false));
    addDeviceUnit("ttyUSB7", 115200, UnitType::Rx);

    const ProcessResult run = runProcess(toolCommand({"--all", "--allow-reinstall", "--no-wait", "--log-dir", traces.path()}),
                                         deviceEnvironment(), std::nullopt, 300s);
    EXPECT_FALSE(run.timedOut);
    EXPECT_TRUE(toolProcesses().empty()) << "a process of the rack outlived it";
    EXPECT_EQ(run.status, EXIT_UPDATED) << run.out;
    expectImagesReceived("ttyUSB7", UnitType::Rx);

    // Each board line, in order, is a port's change: from "waiting" to
    // running, and from running to over.
    std::set<std::string> waiting, running, over;
    size_t mostRunning = 0;
    for (const BoardLine &line : boardLines(run.out)) {
        if (line.step == "waiting") {
            EXPECT_FALSE(running.count(line.port) || over.count(line.port)) << line.port << " waits again";
            waiting.insert(line.port);
        } else if (line.step == "no unit" || line.step == "done") {
            running.erase(line.port);
            over.insert(line.port);
        } else if (!over.count(line.port)) {
            running.insert(line.port);
        }
        mostRunning = std::max(mostRunning, running.size());
    }
    EXPECT_EQ(mostRunning, 32u);
    EXPECT_EQ(waiting.size(), 8u);
    EXPECT_TRUE(waiting.count(comDir.file("ttyUSB7"))) << run.out;
    EXPECT_EQ(over.size(), 40u) << run.out;
    EXPECT_EQ(filesIn(traces.path()).size(), 40u);
    EXPECT_TRUE(contains(run.out, "\r\nAll 1 unit was updated.\r\n")) << run.out;
}
