#include "support/SimUnit.h"

#include "support/Files.h"
#include "support/Process.h"

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <stdexcept>
#include <unistd.h>

#ifndef UNIT_SIM_PATH
#error "UNIT_SIM_PATH must name the unit-sim executable"
#endif

SimUnit::SimUnit(const SimConfig &config)
{
    const std::string readyFile = private_.file("ready");
    std::vector<std::string> argv = {UNIT_SIM_PATH,
                                     "--dir",
                                     config.dir,
                                     "--com",
                                     std::to_string(config.com),
                                     "--baud",
                                     std::to_string(config.baud),
                                     "--type",
                                     config.type,
                                     "--ready-file",
                                     readyFile};
    if (!config.link.empty()) {
        argv.push_back("--link");
        argv.push_back(config.link);
    }
    for (const std::string &fault : config.faults) {
        argv.push_back("--fault");
        argv.push_back(fault);
    }
    argv.insert(argv.end(), config.extraArgs.begin(), config.extraArgs.end());
    const char *verbose = std::getenv("UNIT_SIM_VERBOSE");
    if (verbose && *verbose)
        argv.push_back("--verbose");

    int devNull = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    pid_ = startProcess(argv, {}, devNull, -1, -1);
    if (devNull >= 0)
        ::close(devNull);

    bool ready = waitUntil(
        [&] {
            if (fileExists(readyFile))
                return true;
            status_ = waitProcess(pid_, std::chrono::milliseconds(0));
            return status_.has_value();
        },
        std::chrono::seconds(5));
    if (!ready || status_) {
        std::string why = status_ ? "exited with status " + std::to_string(*status_) : "was not ready within 5 s";
        stop();
        throw std::runtime_error("unit-sim " + why);
    }
    linkPath_ = config.dir + "/" + (config.link.empty() ? "com" + std::to_string(config.com) : config.link);
}

SimUnit::~SimUnit() { stop(); }

std::optional<int> SimUnit::waitExit(std::chrono::milliseconds timeout)
{
    if (!status_)
        status_ = waitProcess(pid_, timeout);
    return status_;
}

int SimUnit::stop()
{
    if (status_)
        return *status_;
    kill(pid_, SIGTERM);
    status_ = waitProcess(pid_, std::chrono::seconds(5));
    if (!status_) {
        kill(pid_, SIGKILL);
        status_ = waitProcess(pid_, std::chrono::seconds(5));
    }
    return status_ ? *status_ : -SIGKILL;
}
