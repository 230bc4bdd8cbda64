// A simulated unit (the unit-sim program) running for one test.
//
// The constructor starts unit-sim on a COM folder and returns once the unit
// is ready; the destructor stops it (SIGTERM, then SIGKILL if it lingers),
// which removes its comN link. Its stdout and stderr are the test's own, so
// its ready line and, with UNIT_SIM_VERBOSE set in the environment, its log
// show in the test output.
#ifndef SUPPORT_SIM_UNIT_H
#define SUPPORT_SIM_UNIT_H

#include "support/TempDir.h"

#include <chrono>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

struct SimConfig {
    std::string dir;  // the COM folder: a TempDir, or a Wine prefix's dosdevices
    int com = 1;
    std::string link;                     // the link's name when not comN (--link)
    int baud = 115200;
    std::string type = "tx";              // "tx" or "rx"
    std::vector<std::string> faults;      // names for --fault
    std::vector<std::string> extraArgs;   // further unit-sim options, as given
};

class SimUnit {
public:
    // Throws std::runtime_error when unit-sim does not get ready within 5 s
    // (bad arguments included: it then exits at once).
    explicit SimUnit(const SimConfig &config);
    ~SimUnit();
    SimUnit(const SimUnit &) = delete;
    SimUnit &operator=(const SimUnit &) = delete;

    // DIR/comN (or DIR/link), the name the tool opens.
    const std::string &linkPath() const { return linkPath_; }
    pid_t pid() const { return pid_; }

    // Waits for unit-sim to end by itself: its exit status (or -signal), or
    // nothing when it still runs after `timeout`.
    std::optional<int> waitExit(std::chrono::milliseconds timeout);
    // Ends it and returns its exit status; a unit that already ended keeps
    // the status it ended with.
    int stop();

private:
    TempDir private_;
    std::string linkPath_;
    pid_t pid_ = -1;
    std::optional<int> status_;
};

#endif
