// unit-sim: plays a TX or RX extender unit on a pseudo-terminal, for
// rehearsing an update and for the tool's tests. See `unit-sim --help`.
#include "Log.h"
#include "Options.h"
#include "PtyLink.h"
#include "Simulator.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

int gStopWrite = -1;

void onStopSignal(int)
{
    char c = 0;
    ssize_t ignored = ::write(gStopWrite, &c, 1);
    (void)ignored;
}

// A signal becomes a byte on a pipe that the event loop polls, so that no
// signal can slip in between a check and the wait.
bool installStopSignals(int &stopRead)
{
    int fds[2];
    if (pipe(fds) != 0)
        return false;
    for (int fd : fds) {
        fcntl(fd, F_SETFD, FD_CLOEXEC);
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    }
    stopRead = fds[0];
    gStopWrite = fds[1];
    struct sigaction sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sa_handler = onStopSignal;
    sigemptyset(&sa.sa_mask);
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        sigaction(sig, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    return true;
}

bool writeReadyFile(const std::string &path, const std::string &linkPath)
{
    std::string temp = path + ".tmp." + std::to_string(getpid());
    std::FILE *f = std::fopen(temp.c_str(), "w");
    if (!f)
        return false;
    bool ok = std::fprintf(f, "%s\n", linkPath.c_str()) > 0;
    ok = std::fclose(f) == 0 && ok;
    if (ok && std::rename(temp.c_str(), path.c_str()) == 0)
        return true;
    std::remove(temp.c_str());
    return false;
}

}  // namespace

int main(int argc, char **argv)
{
    Options options;
    std::string error;
    switch (parseOptions(argc, argv, options, error)) {
    case ParseResult::Help:
        std::fputs(helpText(), stdout);
        return 0;
    case ParseResult::Error:
        std::fprintf(stderr, "unit-sim: %s (see unit-sim --help)\n", error.c_str());
        return 2;
    case ParseResult::Run:
        break;
    }
    setVerbose(options.verbose);

    int stopFd = -1;
    if (!installStopSignals(stopFd)) {
        std::fprintf(stderr, "unit-sim: cannot create a pipe: %s\n", std::strerror(errno));
        return 1;
    }
    int wireLog = -1;
    if (!options.wireLog.empty()) {
        wireLog = ::open(options.wireLog.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (wireLog < 0) {
            std::fprintf(stderr, "unit-sim: cannot open %s: %s\n", options.wireLog.c_str(), std::strerror(errno));
            return 1;
        }
    }

    PtyLink link;
    const std::string linkName = options.link.empty() ? "com" + std::to_string(options.com) : options.link;
    if (!(options.tty.empty() ? link.open(options.dir, linkName, error)
                              : link.attach(options.tty, options.unit.baud, error))) {
        std::fprintf(stderr, "unit-sim: %s\n", error.c_str());
        return 1;
    }
    if (!options.readyFile.empty() && !writeReadyFile(options.readyFile, link.linkPath())) {
        std::fprintf(stderr, "unit-sim: cannot write %s: %s\n", options.readyFile.c_str(), std::strerror(errno));
        return 1;
    }
    std::printf("unit-sim: %s unit on %s -> %s at %d baud\n", options.unit.rx ? "RX" : "TX", link.linkPath().c_str(),
                link.slavePath().c_str(), options.unit.baud);
    std::fflush(stdout);

    int status = runSimulator(options, link, wireLog, stopFd);
    link.close();
    return status;
}
