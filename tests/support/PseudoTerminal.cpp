#include "support/PseudoTerminal.h"

#include <cstdlib>
#include <fcntl.h>
#include <stdexcept>
#include <unistd.h>

PseudoTerminal::PseudoTerminal()
{
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ >= 0 && grantpt(master_) == 0 && unlockpt(master_) == 0)
        terminal_ = ::open(ptsname(master_), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (terminal_ < 0) {
        if (master_ >= 0)
            ::close(master_);
        throw std::runtime_error("no pseudo-terminal");
    }
}

PseudoTerminal::~PseudoTerminal()
{
    ::close(terminal_);
    ::close(master_);
}

termios PseudoTerminal::settings() const
{
    termios now{};
    tcgetattr(terminal_, &now);
    return now;
}

bool PseudoTerminal::inLineMode() const
{
    return (settings().c_lflag & (ICANON | ECHO)) == (ICANON | ECHO);
}

bool PseudoTerminal::type(const std::string &keys)
{
    return ::write(master_, keys.data(), keys.size()) == static_cast<ssize_t>(keys.size());
}
