#include "support/PortUnderTest.h"

#include <fcntl.h>
#include <stdexcept>
#include <unistd.h>

PortUnderTest::PortUnderTest(const std::string &path)
    : fd_(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC))
{
    termios settings{};
    if (fd_ < 0 || tcgetattr(fd_, &settings) != 0) {
        if (fd_ >= 0)
            ::close(fd_);
        throw std::runtime_error("cannot open " + path);
    }
    settings.c_lflag |= ICANON | ECHO | ISIG | IEXTEN;
    settings.c_iflag |= ICRNL;
    settings.c_oflag |= OPOST;
    cfsetispeed(&settings, B4800);
    cfsetospeed(&settings, B4800);
    tcsetattr(fd_, TCSANOW, &settings);
    tcgetattr(fd_, &before_);
}

PortUnderTest::~PortUnderTest() { ::close(fd_); }

std::string PortUnderTest::changes() const
{
    termios now{};
    if (tcgetattr(fd_, &now) != 0) {
        return "tcgetattr failed";
    }
    std::string differs;
    if (cfgetospeed(&now) != cfgetospeed(&before_) || cfgetispeed(&now) != cfgetispeed(&before_)) {
        differs += " speed";
    }
    if (now.c_lflag != before_.c_lflag) {
        differs += " local modes";
    }
    if (now.c_iflag != before_.c_iflag || now.c_oflag != before_.c_oflag || now.c_cflag != before_.c_cflag) {
        differs += " input, output or control modes";
    }
    return differs;
}
