#include "Simulator.h"

#include "Log.h"
#include "Unit.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {

using std::chrono::milliseconds;

constexpr milliseconds PARENT_CHECK{250};
constexpr milliseconds FLOOD_LIMIT{60000};
constexpr milliseconds FLOOD_STALL{1000};
constexpr milliseconds DRIP_PERIOD{400};
const char DRIP_TEXT[] = "0123456789ABCDEF\r\n";
// After the last prompt byte went out, how long the unit waits before it
// trusts an empty slave queue (the pty moves bytes to the slave
// asynchronously), and how long it waits at most for the tool to read.
constexpr milliseconds DRAIN_SETTLE{100};
constexpr milliseconds DRAIN_LIMIT{15000};

// Lets stream bytes in at the line's pace: 10 bits a byte at the rate the
// line is set to, in batches of about 10 ms so that the loop wakes about a
// hundred times a second.
class Pace {
public:
    void reset(Clock::time_point now)
    {
        tokens_ = 0;
        last_ = now;
    }
    std::size_t available(Clock::time_point now, int baud)
    {
        perSecond_ = std::max(baud, 50) / 10.0;
        double batch = std::max(1.0, perSecond_ * 0.01);
        tokens_ = std::min(tokens_ + std::chrono::duration<double>(now - last_).count() * perSecond_, 2 * batch);
        last_ = now;
        return tokens_ >= batch ? static_cast<std::size_t>(tokens_) : 0;
    }
    void take(std::size_t n) { tokens_ -= static_cast<double>(n); }
    milliseconds untilAvailable() const
    {
        double batch = std::max(1.0, perSecond_ * 0.01);
        return milliseconds(static_cast<long>(std::ceil((batch - tokens_) / perSecond_ * 1000)));
    }

private:
    double tokens_ = 0;
    double perSecond_ = 11520;
    Clock::time_point last_;
};

bool writeAll(int fd, const char *data, std::size_t n)
{
    while (n > 0) {
        ssize_t w = ::write(fd, data, n);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            return false;
        data += w;
        n -= static_cast<std::size_t>(w);
    }
    return true;
}

// Written under a private name and renamed, so that a reader never sees half
// an image.
void saveImage(const std::string &path, const std::string &bytes)
{
    std::string temp = path + ".part";
    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    bool ok = fd >= 0 && writeAll(fd, bytes.data(), bytes.size());
    if (fd >= 0)
        ok = ::close(fd) == 0 && ok;
    if (ok && std::rename(temp.c_str(), path.c_str()) == 0) {
        logVerbose("saved %zu bytes to %s", bytes.size(), path.c_str());
        return;
    }
    std::fprintf(stderr, "unit-sim: cannot write %s: %s\n", path.c_str(), std::strerror(errno));
    ::unlink(temp.c_str());
}

int msUntil(Clock::time_point now, Clock::time_point when)
{
    if (when <= now)
        return 0;
    auto ms = std::chrono::ceil<milliseconds>(when - now).count();
    return static_cast<int>(std::min<long long>(ms, PARENT_CHECK.count()));
}

}  // namespace

int runSimulator(const Options &options, PtyLink &link, int wireLog, int stopFd)
{
    Unit::ImageSink sink;
    if (!options.saveLogic.empty() || !options.saveMcu.empty()) {
        sink = [&options](Image image, const std::string &bytes) {
            const std::string &path = image == Image::Logic ? options.saveLogic : options.saveMcu;
            if (!path.empty())
                saveImage(path, bytes);
        };
    }
    Unit unit(options.unit, sink);
    std::deque<Transmission> &outbox = unit.outbox();
    const pid_t parent = getppid();
    const int master = link.master();

    Pace pace;
    std::size_t headWritten = 0;  // bytes of outbox.front() already written
    bool headMangled = false;
    Clock::time_point lastWrite = Clock::now();
    bool floodStarted = false;
    bool floodOver = false;
    Clock::time_point floodStart, floodLastTaken;
    static const std::string FLOOD_BYTES = [] {
        std::string s;
        while (s.size() < 4096)
            s += "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ\r\n";
        return s;
    }();
    const bool dripping = options.unit.has(Fault::Drip);
    Clock::time_point nextDrip = Clock::now();
    std::size_t dripAt = 0;
    std::vector<char> buffer(65536);

    for (;;) {
        Clock::time_point now = Clock::now();
        unit.tick(now);
        if (getppid() != parent) {
            logVerbose("parent gone, stopping");
            return 0;
        }
        if (unit.hangupDue() && outbox.empty()) {
            logVerbose("hanging up in the middle of the stream");
            link.close();
            return 0;
        }
        if (options.exitAfterPrompt && unit.promptSent() && outbox.empty()) {
            bool settled = now - lastWrite >= DRAIN_SETTLE;
            if ((settled && link.unread() == 0) || now - lastWrite >= DRAIN_LIMIT) {
                logVerbose("prompt sent, exiting");
                return 0;
            }
        }
        if (unit.flooding() && !floodStarted) {
            floodStarted = true;
            floodStart = floodLastTaken = now;
        }
        if (floodStarted && !floodOver && (now - floodStart >= FLOOD_LIMIT || now - floodLastTaken >= FLOOD_STALL)) {
            logVerbose("flood over");
            floodOver = true;
        }

        int timeout = static_cast<int>(PARENT_CHECK.count());
        std::size_t intake = std::min(unit.intakeLimit(), buffer.size());
        if (options.pace && unit.streaming()) {
            intake = std::min(intake, pace.available(now, link.lineRate()));
            if (intake == 0)
                timeout = std::min<int>(timeout, static_cast<int>(pace.untilAvailable().count()));
        } else {
            pace.reset(now);
        }
        bool flooding = floodStarted && !floodOver;
        bool headDue = !outbox.empty() && outbox.front().due <= now;
        if (!outbox.empty() && !headDue)
            timeout = std::min(timeout, msUntil(now, outbox.front().due));
        if (std::optional<Clock::time_point> deadline = unit.nextDeadline())
            timeout = std::min(timeout, msUntil(now, *deadline));
        if (flooding)
            timeout = std::min(timeout, msUntil(now, floodLastTaken + FLOOD_STALL));
        bool dripDue = dripping && nextDrip <= now;
        if (dripping && !dripDue)
            timeout = std::min(timeout, msUntil(now, nextDrip));
        if (options.exitAfterPrompt && unit.promptSent())
            timeout = std::min(timeout, static_cast<int>(DRAIN_SETTLE.count()));

        pollfd fds[2] = {{stopFd, POLLIN, 0}, {master, 0, 0}};
        if (intake > 0)
            fds[1].events |= POLLIN;
        if (headDue || flooding || dripDue)
            fds[1].events |= POLLOUT;
        if (poll(fds, 2, std::max(timeout, 0)) < 0) {
            if (errno == EINTR)
                continue;
            std::fprintf(stderr, "unit-sim: poll: %s\n", std::strerror(errno));
            return 1;
        }
        if (fds[0].revents)
            return 0;
        if ((fds[1].revents & (POLLERR | POLLHUP | POLLNVAL)) && !(fds[1].revents & POLLIN)) {
            std::fprintf(stderr, "unit-sim: the pseudo-terminal failed\n");
            return 1;
        }

        if (fds[1].revents & POLLIN) {
            ssize_t n = ::read(master, buffer.data(), intake);
            if (n < 0 && errno != EAGAIN && errno != EINTR) {
                std::fprintf(stderr, "unit-sim: reading the line: %s\n", std::strerror(errno));
                return 1;
            }
            if (n > 0) {
                std::size_t got = static_cast<std::size_t>(n);
                if (wireLog >= 0 && !writeAll(wireLog, buffer.data(), got))
                    std::fprintf(stderr, "unit-sim: cannot append to the wire log: %s\n", std::strerror(errno));
                pace.take(got);
                unit.receive(buffer.data(), got, link.lineRate(), Clock::now());
            }
        }

        if (fds[1].revents & POLLOUT) {
            now = Clock::now();
            if (headDue) {
                const Transmission &t = outbox.front();
                std::string piece = t.bytes.substr(headWritten);
                int lineRate = link.lineRate();
                if (lineRate != t.rate) {
                    if (!headMangled)
                        logVerbose("line at %d baud, the reply at %d baud reaches it mangled", lineRate, t.rate);
                    headMangled = true;
                    for (char &c : piece)
                        c = static_cast<char>(c ^ 0x55);
                }
                ssize_t w = ::write(master, piece.data(), piece.size());
                if (w > 0) {
                    lastWrite = now;
                    headWritten += static_cast<std::size_t>(w);
                    if (headWritten == t.bytes.size()) {
                        outbox.pop_front();
                        headWritten = 0;
                        headMangled = false;
                    }
                }
            } else if (flooding) {
                if (::write(master, FLOOD_BYTES.data(), FLOOD_BYTES.size()) > 0)
                    floodLastTaken = lastWrite = now;
            } else if (dripDue) {
                if (::write(master, &DRIP_TEXT[dripAt % (sizeof DRIP_TEXT - 1)], 1) == 1) {
                    ++dripAt;
                    nextDrip = now + DRIP_PERIOD;
                    lastWrite = now;
                }
            }
        }
    }
}
