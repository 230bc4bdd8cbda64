#include "PtyLink.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

struct RateCode {
    speed_t code;
    int baud;
};

const RateCode RATES[] = {
    {B50, 50},         {B75, 75},         {B110, 110},       {B134, 134},       {B150, 150},
    {B200, 200},       {B300, 300},       {B600, 600},       {B1200, 1200},     {B1800, 1800},
    {B2400, 2400},     {B4800, 4800},     {B9600, 9600},     {B19200, 19200},   {B38400, 38400},
    {B57600, 57600},   {B115200, 115200}, {B230400, 230400}, {B460800, 460800}, {B500000, 500000},
    {B576000, 576000}, {B921600, 921600}, {B1000000, 1000000},
};

std::string systemError(const std::string &what) { return what + ": " + std::strerror(errno); }

}  // namespace

bool PtyLink::open(const std::string &dir, const std::string &name, std::string &error)
{
    struct stat st;
    if (::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        error = "COM folder " + dir + " is not a directory";
        return false;
    }

    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
        error = systemError("cannot create a pseudo-terminal");
        return false;
    }
    const char *slaveName = ptsname(master_);
    if (!slaveName) {
        error = systemError("cannot name the pseudo-terminal");
        return false;
    }
    slavePath_ = slaveName;
    slave_ = ::open(slaveName, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave_ < 0) {
        error = systemError("cannot open " + slavePath_);
        return false;
    }
    fcntl(master_, F_SETFD, FD_CLOEXEC);
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);

    // Raw until the tool applies its own settings; HUPCL off so that no
    // close of the port drops the line.
    struct termios tio;
    if (tcgetattr(slave_, &tio) != 0) {
        error = systemError("cannot read the settings of " + slavePath_);
        return false;
    }
    cfmakeraw(&tio);
    tio.c_cflag &= ~HUPCL;
    tio.c_cflag |= CLOCAL | CREAD;
    if (tcsetattr(slave_, TCSANOW, &tio) != 0) {
        error = systemError("cannot set " + slavePath_ + " raw");
        return false;
    }

    std::string link = dir + "/" + name;
    struct stat existing;
    if (lstat(link.c_str(), &existing) == 0 && !S_ISLNK(existing.st_mode)) {
        error = link + " exists and is not a symbolic link";
        return false;
    }
    // Made under a private name and renamed over the old one, so the name
    // never points nowhere and a stale link is simply replaced.
    std::string temp = dir + "/." + name + ".unit-sim." + std::to_string(getpid());
    ::unlink(temp.c_str());
    if (symlink(slavePath_.c_str(), temp.c_str()) != 0) {
        error = systemError("cannot create a link in " + dir);
        return false;
    }
    if (rename(temp.c_str(), link.c_str()) != 0) {
        error = systemError("cannot create " + link);
        ::unlink(temp.c_str());
        return false;
    }
    linkPath_ = link;
    return true;
}

bool PtyLink::attach(const std::string &path, int baud, std::string &error)
{
    master_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master_ < 0) {
        error = systemError("cannot open " + path);
        return false;
    }
    struct termios tio;
    speed_t code = B0;
    for (const RateCode &r : RATES)
        if (r.baud == baud)
            code = r.code;
    if (tcgetattr(master_, &tio) != 0) {
        error = systemError("cannot read the settings of " + path);
        return false;
    }
    cfmakeraw(&tio);
    tio.c_cflag &= ~HUPCL;
    tio.c_cflag |= CLOCAL | CREAD;
    if (cfsetispeed(&tio, code) != 0 || cfsetospeed(&tio, code) != 0 || tcsetattr(master_, TCSANOW, &tio) != 0) {
        error = systemError("cannot set " + path + " raw at the unit's rate");
        return false;
    }
    slave_ = ::dup(master_);
    slavePath_ = path;
    attached_ = true;
    return true;
}

void PtyLink::close()
{
    if (!linkPath_.empty()) {
        char target[4096];
        ssize_t n = readlink(linkPath_.c_str(), target, sizeof target - 1);
        if (n >= 0 && std::string(target, static_cast<std::size_t>(n)) == slavePath_)
            ::unlink(linkPath_.c_str());
        linkPath_.clear();
    }
    if (slave_ >= 0)
        ::close(slave_);
    if (master_ >= 0)
        ::close(master_);
    slave_ = master_ = -1;
}

int PtyLink::lineRate() const
{
    struct termios tio;
    if (tcgetattr(slave_, &tio) != 0)
        return 0;
    speed_t code = cfgetospeed(&tio);
    for (const RateCode &r : RATES)
        if (r.code == code)
            return r.baud;
    return 0;
}

bool PtyLink::isLineRate(int baud)
{
    for (const RateCode &r : RATES)
        if (r.baud == baud)
            return true;
    return false;
}

int PtyLink::unread() const
{
    int n = 0;
    // On an attached terminal the unit's own output queue holds what the
    // far end has not taken yet.
    if (ioctl(slave_, attached_ ? TIOCOUTQ : FIONREAD, &n) != 0)
        return 0;
    return n;
}
