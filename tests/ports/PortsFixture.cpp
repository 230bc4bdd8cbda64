#include "ports/PortsFixture.h"

#include <fcntl.h>
#include <stdexcept>
#include <stdlib.h>
#include <unistd.h>

LinkedPty::LinkedPty(const std::string &dir, const std::string &name) : link_(dir + "/" + name)
{
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    const char *slave = master_ >= 0 && grantpt(master_) == 0 && unlockpt(master_) == 0 ? ptsname(master_) : nullptr;
    if (slave == nullptr || symlink(slave, link_.c_str()) != 0) {
        if (master_ >= 0)
            close(master_);
        throw std::runtime_error("cannot link a pseudo-terminal as " + link_);
    }
    slave_ = slave;
}

LinkedPty::~LinkedPty()
{
    unlink(link_.c_str());
    close(master_);
}

ProcessResult runToolIn(ToolBuild build, const std::vector<std::string> &args, const Environment &env,
                          std::chrono::seconds timeout)
{
    std::vector<std::string> argv = {toolPath(build)};
    argv.insert(argv.end(), args.begin(), args.end());
    return runProcess(argv, env, std::nullopt, timeout);
}

int occurrences(const std::string &text, const std::string &part)
{
    int count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size()))
        ++count;
    return count;
}
