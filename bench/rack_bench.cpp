// rack_bench [--mixed | --info | --retries | --rack-only [TOOL]]
//
// Thirty-two simulated units on COM1..COM32 that take the streams no faster
// than the line carries them (unit-sim --pace), updated at once by the
// quick-boot tool with --all, against one such unit updated alone by the
// same tool (--no-wait, so verified after its reboot as every unit of the
// rack is). Every unit is a TX or RX unit at 115200 baud that runs an older
// MCU version than the carried one and boots in 8 s. With --mixed the rack
// is sixteen units, eight of which already run the carried versions and are
// left alone. Reports, from one run of each:
//   (a) the rack's wall time against the single update's (goal <= 1.05);
//   (b) the peak resident memory of the rack's parent and of each of its
//       per-port processes, their sum, and of the tool alone for comparison
//       (VmHWM, sampled every 100 ms; the peak comes with the image
//       assembly, early in each run);
//   (c) the CPU time (user + system) of the whole rack, parent and every
//       per-port process, a unit, and of the single update;
//   (d) the image streams of the rack: how many the tool sent (the per-port
//       traces), how many the units took whole and answered "SUCCESS" to
//       (their verbose logs), and how many answers the tool read (traces).
// Each run takes about eight and a half minutes. Exit status 0 when every
// unit was updated and verified (or left alone, with --mixed) and goal (a)
// was met, 1 otherwise; the figures are shown in either case, with the
// units that were not updated and why.
//
// `rack_bench --info` identifies thirty-two such units with --all --info
// against one with --info, same units, same run (a few seconds): goal a
// wall time ratio <= 1.5 and the rack under 10 s; exit status 0 when both
// goals are met and every unit was identified.
//
// `rack_bench --retries` updates a rack of eight where two units fail their
// first image stream (unit-sim --fault fail-first-stream) with --retries 1,
// against one unit updated alone, same run (about twelve minutes): goal all
// eight updated in at most 2.1 times the single update; exit status 0 when
// it is met.
//
// `rack_bench --rack-only [TOOL]` runs a rack of eight alone (about four
// minutes), with TOOL in place of the quick-boot build when given (another
// checkout's build, for a before-and-after), and shows (b) to (d); exit
// status 0 when every unit was updated and no stream's answer was missed.
#include "SpawnVectors.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#ifndef UNIT_SIM_PATH
#error "UNIT_SIM_PATH must name the unit-sim executable"
#endif
#ifndef RAVELIN_QUICKBOOT_TOOL_PATH
#error "RAVELIN_QUICKBOOT_TOOL_PATH must name the quick-boot build of the update tool"
#endif


namespace {

using Clock = std::chrono::steady_clock;

constexpr int RACK_UNITS = 32;
// The rack of --rack-only, the before-and-after of the stream replies.
constexpr int RACK_ONLY_UNITS = 8;
constexpr int MIXED_RACK_UNITS = 16;
constexpr int MIXED_RACK_CURRENT = 8;
// An MCU version below the carried 61.01.02; after the update the unit
// reports the carried one, unit-sim's default.
const char OUTDATED_MCU[] = "61.1.1";
constexpr double GOAL_WALL_RATIO = 1.05;
constexpr double GOAL_INFO_RATIO = 1.5;
constexpr double GOAL_INFO_SECONDS = 10;
constexpr int RETRY_RACK_UNITS = 8;
constexpr int RETRY_RACK_FAILING_ONCE = 2;
constexpr double GOAL_RETRY_RATIO = 2.1;
const char BOOT_MS[] = "8000";

double seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }
double cpuSeconds(const timeval &t) { return t.tv_sec + t.tv_usec / 1e6; }

// Starts argv with stdin on /dev/null and stdout and stderr on `outPath`.
pid_t spawn(const std::vector<std::string> &argv, const std::vector<std::string> &extraEnv, const std::string &outPath)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    SpawnVectors vectors(argv, extraEnv);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, vectors.args()[0], &actions, nullptr, vectors.args(), vectors.envp());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        std::fprintf(stderr, "rack_bench: cannot start %s: %s\n", argv[0].c_str(), std::strerror(rc));
        return -1;
    }
    return pid;
}

std::string readWhole(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// A field of /proc/PID/status in kB ("VmHWM"), or -1.
long statusKiB(pid_t pid, const char *field)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    const std::string key = std::string(field) + ":";
    while (std::getline(status, line)) {
        if (line.compare(0, key.size(), key) == 0)
            return std::atol(line.c_str() + key.size());
    }
    return -1;
}

// The processes whose parent is `parent`.
std::vector<pid_t> childrenOf(pid_t parent)
{
    std::vector<pid_t> children;
    for (const auto &entry : std::filesystem::directory_iterator("/proc")) {
        const pid_t pid = static_cast<pid_t>(std::atoi(entry.path().filename().c_str()));
        if (pid <= 0)
            continue;
        std::ifstream stat(entry.path() / "stat");
        std::string text;
        std::getline(stat, text);
        const std::size_t close = text.rfind(')');
        if (close == std::string::npos)
            continue;
        std::istringstream fields(text.substr(close + 2));
        std::string state;
        long ppid = 0;
        fields >> state >> ppid;
        if (ppid == parent)
            children.push_back(pid);
    }
    return children;
}

struct Measured {
    double wallSeconds = 0;
    double cpuSeconds = 0;
    int status = -1;
    long toolPeakKiB = 0;
    std::map<pid_t, long> childPeakKiB;  // per-port process: its highest VmHWM seen
    std::string output;
};

// Runs the tool to its end, sampling the memory peaks of it and its
// children; CPU time from the rusage of the reaped tool and its reaped
// descendants.
Measured runTool(const std::vector<std::string> &argv, const std::string &comDir, const std::string &outPath)
{
    Measured run;
    rusage before{};
    getrusage(RUSAGE_CHILDREN, &before);
    const Clock::time_point start = Clock::now();
    const pid_t tool = spawn(argv, {"RAVELIN_COM_DIR=" + comDir}, outPath);
    if (tool < 0)
        return run;
    for (;;) {
        int raw = 0;
        const long toolPeak = statusKiB(tool, "VmHWM");
        run.toolPeakKiB = std::max(run.toolPeakKiB, toolPeak);
        for (const pid_t child : childrenOf(tool)) {
            long &peak = run.childPeakKiB[child];
            peak = std::max(peak, statusKiB(child, "VmHWM"));
        }
        if (waitpid(tool, &raw, WNOHANG) == tool) {
            run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
            break;
        }
        usleep(100 * 1000);
    }
    run.wallSeconds = seconds(Clock::now() - start);
    rusage after{};
    getrusage(RUSAGE_CHILDREN, &after);
    run.cpuSeconds = cpuSeconds(after.ru_utime) + cpuSeconds(after.ru_stime) - cpuSeconds(before.ru_utime) -
                     cpuSeconds(before.ru_stime);
    run.output = readWhole(outPath);
    return run;
}

// Paced units on COM1..COMn of `comDir`, alternately TX and RX, the first
// `current` of them on the carried versions and the others outdated, the
// first `failingOnce` failing their first image stream; their pids.
std::vector<pid_t> startUnits(const std::string &comDir, int count, int current = 0, int failingOnce = 0)
{
    std::vector<pid_t> units;
    for (int com = 1; com <= count; ++com) {
        const std::string ready = comDir + "/ready" + std::to_string(com);
        std::vector<std::string> argv = {UNIT_SIM_PATH, "--dir",  comDir,   "--com",   std::to_string(com),
                                         "--baud",      "115200", "--type", com % 2 == 1 ? "tx" : "rx",
                                         "--pace",      "--boot-ms", BOOT_MS, "--ready-file", ready, "--verbose"};
        if (com > current)
            argv.insert(argv.end(), {"--mcu-version", OUTDATED_MCU});
        if (com <= failingOnce)
            argv.insert(argv.end(), {"--fault", "fail-first-stream"});
        const pid_t pid = spawn(argv, {}, comDir + "/sim" + std::to_string(com) + ".log");
        if (pid < 0)
            break;
        units.push_back(pid);
        const Clock::time_point readyBy = Clock::now() + std::chrono::seconds(5);
        struct stat st;
        while (::stat(ready.c_str(), &st) != 0 && Clock::now() < readyBy)
            usleep(10000);
    }
    return units;
}

void stopUnits(const std::vector<pid_t> &units)
{
    for (const pid_t pid : units)
        kill(pid, SIGTERM);
    for (const pid_t pid : units)
        waitpid(pid, nullptr, 0);
}

std::string makeFolder(const char *name)
{
    std::string pattern = std::string("/tmp/ravelin-bench-") + name + "-XXXXXX";
    std::vector<char> path(pattern.begin(), pattern.end());
    path.push_back('\0');
    return mkdtemp(path.data()) != nullptr ? std::string(path.data()) : "";
}

double mib(long kib) { return kib / 1024.0; }

// Lines of the files in `folder` whose names begin with `prefix` that hold
// every one of `marks`.
int countLines(const std::string &folder, const std::string &prefix, const std::vector<std::string> &marks)
{
    int count = 0;
    for (const auto &entry : std::filesystem::directory_iterator(folder)) {
        if (entry.path().filename().string().compare(0, prefix.size(), prefix) != 0)
            continue;
        std::istringstream text(readWhole(entry.path().string()));
        std::string line;
        while (std::getline(text, line)) {
            bool all = true;
            for (const std::string &mark : marks)
                all = all && line.find(mark) != std::string::npos;
            count += all ? 1 : 0;
        }
    }
    return count;
}

struct StreamCount {
    int sent = 0;      // streams the tool began to write
    int answered = 0;  // streams a unit took whole and answered "SUCCESS" to
    int read = 0;      // answers the tool read
};

// Before the rack's folder is removed.
StreamCount countStreams(const std::string &rackDir)
{
    StreamCount streams;
    streams.sent = countLines(rackDir, "RavelinFwUpgrade-", {"image stream of "});
    streams.answered = countLines(rackDir, "sim", {"reply \"SUCCESS\""});
    streams.read = countLines(rackDir, "RavelinFwUpgrade-", {"read ", "SUCCESS"});
    return streams;
}

void showRack(const Measured &rack, int rackUnits, const StreamCount &streams)
{
    std::printf("(b) peak memory: rack parent %.1f MiB; per-port processes:", mib(rack.toolPeakKiB));
    long largest = 0;
    long sum = rack.toolPeakKiB;
    for (const auto &child : rack.childPeakKiB) {
        std::printf(" %.1f", mib(child.second));
        largest = std::max(largest, child.second);
        sum += child.second;
    }
    std::printf(" MiB (%zu processes, largest %.1f MiB); sum over all processes %.1f MiB\n",
                rack.childPeakKiB.size(), mib(largest), mib(sum));
    std::printf("(c) CPU time: whole rack %.2f s (%.2f s a unit)\n", rack.cpuSeconds, rack.cpuSeconds / rackUnits);
    std::printf("(d) streams sent: %d; taken whole and answered by the units: %d; answers read by the tool: %d; "
                "missed: %d\n",
                streams.sent, streams.answered, streams.read, streams.sent - streams.read);
    std::printf("Rack exit status %d\n", rack.status);
    // The rack's summary says why a unit failed, one line for each.
    const std::size_t summary = rack.output.find("\nPort ");
    for (std::size_t at = rack.output.find("\nCOM", summary == std::string::npos ? rack.output.size() : summary);
         at != std::string::npos; at = rack.output.find("\nCOM", at + 1)) {
        const std::size_t end = rack.output.find('\n', at + 1);
        const std::string line = rack.output.substr(at + 1, end - at - 1);
        // "COM3: FAILED ...", where the table's rows have a blank after the port.
        if (line.find(':') < line.find(' '))
            std::printf("    %s\n", line.c_str());
    }
}

Measured runRack(const std::string &tool, const std::string &rackDir, int rackUnits, int currentUnits,
                 StreamCount &streams)
{
    std::printf("%d paced units (%d of them current) with --all, about 4 minutes...\n", rackUnits, currentUnits);
    const std::vector<pid_t> units = startUnits(rackDir, rackUnits, currentUnits);
    // Each per-port process keeps its trace, as in the field.
    const Measured rack = runTool({tool, "--all", "--no-wait", "--log-dir", rackDir}, rackDir, rackDir + "/tool.out");
    stopUnits(units);
    streams = countStreams(rackDir);
    return rack;
}

bool rackUpdated(const Measured &rack, int rackUnits, int currentUnits)
{
    const std::string verdict = currentUnits == 0
                                    ? "All " + std::to_string(rackUnits) + " units were updated."
                                    : "Every unit found is done: " + std::to_string(rackUnits - currentUnits) +
                                          " updated, " + std::to_string(currentUnits) + " left alone.";
    return rack.status == 0 && rack.output.find(verdict) != std::string::npos;
}

int runRackOnly(const std::string &tool)
{
    const std::string rackDir = makeFolder("rack");
    if (rackDir.empty()) {
        std::perror("rack_bench: mkdtemp");
        return 1;
    }
    StreamCount streams;
    const Measured rack = runRack(tool, rackDir, RACK_ONLY_UNITS, 0, streams);
    std::error_code ignored;
    std::filesystem::remove_all(rackDir, ignored);
    std::printf("(a) wall time: rack of %d %.3f s\n", RACK_ONLY_UNITS, rack.wallSeconds);
    showRack(rack, RACK_ONLY_UNITS, streams);
    return rackUpdated(rack, RACK_ONLY_UNITS, 0) && streams.sent == streams.read ? 0 : 1;
}

// Runs `argv` on one unit alone, then `rackArgs` on a rack of `rackUnits`
// (`failingOnce` of them failing their first stream), each in a folder of
// its own; the rack's output in `rack.output`.
void aloneAndRack(const std::vector<std::string> &argv, const std::vector<std::string> &rackArgs, int rackUnits,
                  int failingOnce, Measured &alone, Measured &rack)
{
    const std::string aloneDir = makeFolder("alone");
    const std::string rackDir = makeFolder("rack");
    std::vector<pid_t> units = startUnits(aloneDir, 1);
    alone = runTool(argv, aloneDir, aloneDir + "/tool.out");
    stopUnits(units);
    units = startUnits(rackDir, rackUnits, 0, failingOnce);
    std::vector<std::string> rackCommand = rackArgs;
    rackCommand.insert(rackCommand.end(), {"--log-dir", rackDir});
    rack = runTool(rackCommand, rackDir, rackDir + "/tool.out");
    stopUnits(units);
    std::error_code ignored;
    std::filesystem::remove_all(aloneDir, ignored);
    std::filesystem::remove_all(rackDir, ignored);
}

int runInfoRack(void)
{
    std::printf("One paced unit identified with --info, then %d with --all --info...\n", RACK_UNITS);
    Measured alone;
    Measured rack;
    aloneAndRack({RAVELIN_QUICKBOOT_TOOL_PATH, "--info"}, {RAVELIN_QUICKBOOT_TOOL_PATH, "--all", "--info", "--no-wait"},
                 RACK_UNITS, 0, alone, rack);
    const double ratio = rack.wallSeconds / alone.wallSeconds;
    const bool met = ratio <= GOAL_INFO_RATIO && rack.wallSeconds < GOAL_INFO_SECONDS;
    const std::string verdict = "Every unit found was identified: " + std::to_string(RACK_UNITS) + " update needed.";
    const bool identified = alone.status == 0 && rack.status == 0 && rack.output.find(verdict) != std::string::npos;
    std::printf("--all --info on %d units %.3f s, --info on one %.3f s: ratio %.3f (goal <= %.1f and under %.0f s, "
                "%s)\n",
                RACK_UNITS, rack.wallSeconds, alone.wallSeconds, ratio, GOAL_INFO_RATIO, GOAL_INFO_SECONDS,
                met ? "goal met" : "GOAL MISSED");
    std::printf("CPU time: rack %.2f s, one unit %.2f s; every unit identified: %s (exit statuses %d, %d)\n",
                rack.cpuSeconds, alone.cpuSeconds, identified ? "yes" : "NO", rack.status, alone.status);
    if (!identified)
        std::printf("%s\n", rack.output.c_str());
    return met && identified ? 0 : 1;
}

int runRetryRack(void)
{
    std::printf("One paced unit updated alone, then a rack of %d where %d fail their first stream, with --retries 1 "
                "(about twelve minutes)...\n",
                RETRY_RACK_UNITS, RETRY_RACK_FAILING_ONCE);
    Measured alone;
    Measured rack;
    aloneAndRack({RAVELIN_QUICKBOOT_TOOL_PATH, "--no-wait"},
                 {RAVELIN_QUICKBOOT_TOOL_PATH, "--all", "--retries", "1", "--no-wait"}, RETRY_RACK_UNITS,
                 RETRY_RACK_FAILING_ONCE, alone, rack);
    const double ratio = rack.wallSeconds / alone.wallSeconds;
    const bool updated = alone.status == 0 && rack.status == 0 &&
                         rack.output.find("All " + std::to_string(RETRY_RACK_UNITS) + " units were updated.") !=
                             std::string::npos;
    const bool met = ratio <= GOAL_RETRY_RATIO && updated;
    std::printf("rack of %d with 2 retried %.3f s, one unit alone %.3f s: ratio %.3f (goal <= %.1f, %s); all "
                "updated: %s (exit statuses %d, %d)\n",
                RETRY_RACK_UNITS, rack.wallSeconds, alone.wallSeconds, ratio, GOAL_RETRY_RATIO,
                met ? "goal met" : "GOAL MISSED", updated ? "yes" : "NO", rack.status, alone.status);
    const std::size_t summary = rack.output.find("\nPort ");
    if (summary != std::string::npos)
        std::printf("%s", rack.output.substr(summary + 1).c_str());
    return met ? 0 : 1;
}

}  // namespace

int main(int argc, char **argv)
{
    setvbuf(stdout, nullptr, _IONBF, 0);
    if (argc >= 2 && std::strcmp(argv[1], "--info") == 0)
        return runInfoRack();
    if (argc >= 2 && std::strcmp(argv[1], "--retries") == 0)
        return runRetryRack();
    const bool mixed = argc > 1 && std::strcmp(argv[1], "--mixed") == 0;
    const int rackUnits = mixed ? MIXED_RACK_UNITS : RACK_UNITS;
    const int currentUnits = mixed ? MIXED_RACK_CURRENT : 0;
    if (argc >= 2 && std::strcmp(argv[1], "--rack-only") == 0)
        return runRackOnly(argc >= 3 ? argv[2] : RAVELIN_QUICKBOOT_TOOL_PATH);
    const std::string aloneDir = makeFolder("alone");
    const std::string rackDir = makeFolder("rack");
    if (aloneDir.empty() || rackDir.empty()) {
        std::perror("rack_bench: mkdtemp");
        return 1;
    }

    std::printf("One paced unit updated alone, about 4 minutes...\n");
    std::vector<pid_t> units = startUnits(aloneDir, 1);
    const Measured alone = runTool({RAVELIN_QUICKBOOT_TOOL_PATH, "--no-wait"}, aloneDir, aloneDir + "/tool.out");
    stopUnits(units);

    StreamCount streams;
    const Measured rack = runRack(RAVELIN_QUICKBOOT_TOOL_PATH, rackDir, rackUnits, currentUnits, streams);

    const bool aloneUpdated =
        alone.status == 0 && alone.output.find("The update was successful") != std::string::npos;
    std::error_code ignored;
    std::filesystem::remove_all(aloneDir, ignored);
    std::filesystem::remove_all(rackDir, ignored);

    const double ratio = rack.wallSeconds / alone.wallSeconds;
    const bool wallMet = ratio <= GOAL_WALL_RATIO;
    std::printf("(a) wall time: rack of %d %.3f s, one unit alone %.3f s: ratio %.4f (goal <= %.2f, %s)\n",
                rackUnits, rack.wallSeconds, alone.wallSeconds, ratio, GOAL_WALL_RATIO,
                wallMet ? "goal met" : "GOAL MISSED");
    showRack(rack, rackUnits, streams);
    std::printf("One unit alone: peak memory %.1f MiB, CPU time %.2f s, updated %s (exit status %d)\n",
                mib(alone.toolPeakKiB), alone.cpuSeconds, aloneUpdated ? "yes" : "NO", alone.status);
    if (!aloneUpdated)
        std::printf("The unit alone was not updated:\n%s\n", alone.output.c_str());
    return wallMet && aloneUpdated && rackUpdated(rack, rackUnits, currentUnits) ? 0 : 1;
}
