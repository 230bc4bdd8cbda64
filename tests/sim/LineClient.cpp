#include "LineClient.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <termios.h>
#include <unistd.h>

namespace {

speed_t speedCode(int baud)
{
    switch (baud) {
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    default: throw std::runtime_error("no such line rate: " + std::to_string(baud));
    }
}

}  // namespace

LineClient::LineClient(const std::string &path, int baud)
{
    // Non-blocking, so that a write into a full pty waits in poll, bounded.
    fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (fd_ < 0)
        throw std::runtime_error("cannot open " + path + ": " + std::strerror(errno));
    setBaud(baud);
}

LineClient::~LineClient() { ::close(fd_); }

void LineClient::setBaud(int baud)
{
    struct termios tio;
    if (tcgetattr(fd_, &tio) != 0)
        throw std::runtime_error(std::string("tcgetattr: ") + std::strerror(errno));
    cfmakeraw(&tio);
    tio.c_cflag &= ~HUPCL;
    tio.c_cflag |= CLOCAL | CREAD;
    cfsetispeed(&tio, speedCode(baud));
    cfsetospeed(&tio, speedCode(baud));
    if (tcsetattr(fd_, TCSANOW, &tio) != 0)
        throw std::runtime_error(std::string("tcsetattr: ") + std::strerror(errno));
}

bool LineClient::send(const std::string &bytes, std::chrono::milliseconds stall)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        pollfd p = {fd_, POLLOUT, 0};
        int ready = poll(&p, 1, static_cast<int>(stall.count()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0 || !(p.revents & POLLOUT))
            return false;
        ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

std::string LineClient::reply(std::chrono::milliseconds window)
{
    std::string text;
    std::chrono::milliseconds wait = std::max(window, std::chrono::milliseconds(1000));
    for (;;) {
        pollfd p = {fd_, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(wait.count())) <= 0 || !(p.revents & POLLIN))
            return text;
        wait = window;
        char buffer[65536];
        ssize_t n = ::read(fd_, buffer, sizeof buffer);
        if (n <= 0)
            return text;
        text.append(buffer, static_cast<std::size_t>(n));
    }
}
