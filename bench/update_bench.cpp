// update_bench
//
// One whole update of a simulated TX unit on COM1 at 115200 baud by the real
// tool, with the product's timing and a unit that takes stream bytes no
// faster than the line carries them (unit-sim --pace). Reports three figures
// against their goals:
//   (a) the logic stream's time against its line time (bytes x 10 / 115200),
//       from the tool's "1%" that precedes the first write to the unit's
//       "SUCCESS" after the last byte;
//   (b) the whole run against the protocol floor: the fixed read windows,
//       the 138 s reboot wait and the line time of both images;
//   (c) the tool's peak resident memory (wait4's ru_maxrss).
// It takes about six and a half minutes. Exit status 0 when the update went
// through and every goal was met, 1 otherwise.
#include "SpawnVectors.h"

#include <fcntl.h>
#include <poll.h>
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
#include <optional>
#include <string>
#include <vector>

#include "RavelinFwUpgrade.h"

#ifndef UNIT_SIM_PATH
#error "UNIT_SIM_PATH must name the unit-sim executable"
#endif
#ifndef RAVELIN_TOOL_PATH
#error "RAVELIN_TOOL_PATH must name the update tool"
#endif


namespace {

using Clock = std::chrono::steady_clock;

constexpr double LINE_RATE = 115200;
constexpr double BITS_PER_BYTE = 10;  // start, 8 data, stop
constexpr double GOAL_STREAM = 1.005;
constexpr double GOAL_UPDATE = 1.01;
constexpr double GOAL_MEMORY_MIB = 32;

const char LOGIC_LABEL[] = "Sending Programmable Logic data ................... 1%";
const char MCU_LABEL[] = "Sending data ...................................... 1%";
const char SUCCESS_LINE[] = "The update was successful, the unit is now operational";
// unit-sim --verbose logs this line when the last byte of an image is in.
const char SIM_SUCCESS[] = "reply \"SUCCESS\"";

double seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

int imageLength(int index)
{
    char *text = newCatalogueTextCopy(index);
    const bool valid = text != nullptr && ValidateFwAndConcatenateData(text);
    std::free(text);
    return valid ? gDataConcatenatedLenght : -1;
}

// The floor of a run that finds the unit on COM1 at 115200 at the first
// probe. A reply that comes costs its read window plus the empty window
// that ends it; the version query reads once.
double protocolFloor(int logicLength, int mcuLength)
{
    const double discovery = 2 * 0.5;
    const double versions = 1.0;
    const double identification = 2 * 1.0;
    const double logicAnnouncement = 2 * 10.0;
    const double mcuAnnouncement = 2 * 5.0;
    const double streamReplies = 2 * (2 * 1.0);
    const double rebootWait = 46 * 3.0;
    const double afterReboot = 1.0 + 11.0;
    const double lineTime = (logicLength + mcuLength) * BITS_PER_BYTE / LINE_RATE;
    return discovery + versions + identification + logicAnnouncement + mcuAnnouncement + streamReplies + rebootWait +
           afterReboot + lineTime;
}

struct Child {
    pid_t pid = -1;
    int out = -1;  // the read end of its stdout or stderr pipe
};

// Starts argv with stdin on /dev/null and the chosen stream (1 or 2) on a
// pipe; the other one stays the bench's own.
std::optional<Child> spawn(const std::vector<std::string> &argv, const std::vector<std::string> &extraEnv, int piped)
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return std::nullopt;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, fds[1], piped);

    SpawnVectors vectors(argv, extraEnv);

    Child child;
    const int rc = posix_spawn(&child.pid, vectors.args()[0], &actions, nullptr, vectors.args(), vectors.envp());
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    if (rc != 0) {
        ::close(fds[0]);
        std::fprintf(stderr, "update_bench: cannot start %s: %s\n", argv[0].c_str(), std::strerror(rc));
        return std::nullopt;
    }
    child.out = fds[0];
    return child;
}

// Text read off a pipe, with the time at which each byte was first seen.
struct TimedText {
    std::string text;
    std::vector<std::pair<std::size_t, Clock::time_point>> chunks;  // end offset, arrival

    bool readFrom(int fd)
    {
        char buffer[65536];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0)
            return false;
        text.append(buffer, static_cast<std::size_t>(n));
        chunks.emplace_back(text.size(), Clock::now());
        return true;
    }
    // When the text first held `needle` whole, searching from `from`.
    std::optional<Clock::time_point> timeOf(const std::string &needle, std::size_t from = 0) const
    {
        const std::size_t at = text.find(needle, from);
        if (at == std::string::npos)
            return std::nullopt;
        for (const auto &chunk : chunks)
            if (chunk.first >= at + needle.size())
                return chunk.second;
        return std::nullopt;
    }
};

struct Run {
    TimedText tool, sim;
    Clock::time_point start, end;
    int status = -1;
    long maxRssKiB = 0;
};

bool runUpdate(const std::string &comDir, Run &run)
{
    const std::string ready = comDir + "/ready";
    std::optional<Child> sim = spawn({UNIT_SIM_PATH, "--dir", comDir, "--com", "1", "--baud", "115200", "--type",
                                      "tx", "--pace", "--verbose", "--ready-file", ready},
                                     {}, 2);
    if (!sim)
        return false;
    struct stat st;
    const Clock::time_point readyBy = Clock::now() + std::chrono::seconds(5);
    while (::stat(ready.c_str(), &st) != 0 && Clock::now() < readyBy)
        ::usleep(10000);
    if (::stat(ready.c_str(), &st) != 0) {
        std::fprintf(stderr, "update_bench: unit-sim did not get ready\n");
        ::kill(sim->pid, SIGKILL);
        ::waitpid(sim->pid, nullptr, 0);
        return false;
    }

    run.start = Clock::now();
    std::optional<Child> tool = spawn({RAVELIN_TOOL_PATH}, {"RAVELIN_COM_DIR=" + comDir}, 1);
    bool ok = tool.has_value();
    bool toolOpen = ok;
    int simLog = sim->out;
    while (toolOpen) {
        pollfd fds[2] = {{tool->out, POLLIN, 0}, {simLog, POLLIN, 0}};
        if (::poll(fds, 2, 1000) < 0)
            continue;
        if (fds[0].revents && !run.tool.readFrom(tool->out))
            toolOpen = false;
        if (fds[1].revents && !run.sim.readFrom(simLog))
            simLog = -1;
    }
    if (ok) {
        int raw = 0;
        rusage usage{};
        ::wait4(tool->pid, &raw, 0, &usage);
        run.end = Clock::now();
        run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        run.maxRssKiB = usage.ru_maxrss;
        ::close(tool->out);
    }
    ::kill(sim->pid, SIGTERM);
    while (run.sim.readFrom(sim->out)) {
    }
    ::waitpid(sim->pid, nullptr, 0);
    ::close(sim->out);
    return ok;
}

const char *verdict(bool met) { return met ? "goal met" : "GOAL MISSED"; }

}  // namespace

int main()
{
    setvbuf(stdout, nullptr, _IONBF, 0);
    if (!allocateSessionBuffers()) {
        std::fprintf(stderr, "update_bench: out of memory\n");
        return 1;
    }
    const int logicLength = imageLength(CATALOGUE_TX_LOGIC);
    const int mcuLength = imageLength(CATALOGUE_MCU_FIRMWARE);
    releaseSessionBuffers();
    if (logicLength < 0 || mcuLength < 0) {
        std::fprintf(stderr, "update_bench: the catalogue images do not assemble\n");
        return 1;
    }

    char pattern[] = "/tmp/ravelin-bench-XXXXXX";
    if (!mkdtemp(pattern)) {
        std::perror("update_bench: mkdtemp");
        return 1;
    }
    const std::string comDir = pattern;
    std::printf("Paced update with the product timing, about 6.5 minutes...\n");
    Run run;
    const bool started = runUpdate(comDir, run);
    std::error_code ignored;
    std::filesystem::remove_all(comDir, ignored);
    if (!started)
        return 1;

    const auto logicStart = run.tool.timeOf(LOGIC_LABEL);
    const auto logicEnd = run.sim.timeOf(SIM_SUCCESS);
    const std::size_t firstSuccess = run.sim.text.find(SIM_SUCCESS);
    const auto mcuStart = run.tool.timeOf(MCU_LABEL);
    const auto mcuEnd = firstSuccess == std::string::npos
                            ? std::nullopt
                            : run.sim.timeOf(SIM_SUCCESS, firstSuccess + std::strlen(SIM_SUCCESS));
    const bool updated = run.status == 0 && run.tool.text.find(SUCCESS_LINE) != std::string::npos;
    if (!updated || !logicStart || !logicEnd || !mcuStart || !mcuEnd) {
        std::fprintf(stderr, "update_bench: the update did not go through (exit status %d). Tool output:\n%s\n",
                     run.status, run.tool.text.c_str());
        return 1;
    }

    const double logicLine = logicLength * BITS_PER_BYTE / LINE_RATE;
    const double mcuLine = mcuLength * BITS_PER_BYTE / LINE_RATE;
    const double logicTime = seconds(*logicEnd - *logicStart);
    const double mcuTime = seconds(*mcuEnd - *mcuStart);
    const double total = seconds(run.end - run.start);
    const double floor = protocolFloor(logicLength, mcuLength);
    const double memoryMiB = run.maxRssKiB / 1024.0;

    const bool streamMet = logicTime / logicLine <= GOAL_STREAM;
    const bool updateMet = total / floor <= GOAL_UPDATE;
    const bool memoryMet = memoryMiB <= GOAL_MEMORY_MIB;
    std::printf("(a) logic stream: %d bytes in %.3f s, line time %.3f s: ratio %.4f (goal <= %.3f, %s)\n",
                logicLength, logicTime, logicLine, logicTime / logicLine, GOAL_STREAM, verdict(streamMet));
    std::printf("    MCU stream:   %d bytes in %.3f s, line time %.3f s: ratio %.4f\n", mcuLength, mcuTime, mcuLine,
                mcuTime / mcuLine);
    std::printf("(b) whole update: %.3f s, protocol floor %.3f s: ratio %.4f (goal <= %.2f, %s)\n", total, floor,
                total / floor, GOAL_UPDATE, verdict(updateMet));
    std::printf("(c) peak memory of the tool: %.1f MiB (goal <= %.0f MiB, %s)\n", memoryMiB, GOAL_MEMORY_MIB,
                verdict(memoryMet));
    return streamMet && updateMet && memoryMet ? 0 : 1;
}
