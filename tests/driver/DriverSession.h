// What the driver tests share: a fixture that gives each test its own COM
// folder (RAVELIN_COM_DIR) and command buffer and puts the port records back
// afterwards, a console capture, and helpers for the simulated unit's wire log.
//
// The port records outlive the port and would carry one test's rate or
// window into the next; the fixture restores them as the module starts with
// them. Standard input is /dev/null, so that the console discards never wait.
#ifndef DRIVER_SESSION_H
#define DRIVER_SESSION_H

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "support/SimUnit.h"
#include "support/TempDir.h"

class DriverSession : public ::testing::Test {
protected:
    static void SetUpTestSuite();
    void SetUp() override;
    void TearDown() override;

    // A unit on COM `com` of this test's folder at `baud`.
    SimConfig unitAt(int com, int baud, std::vector<std::string> faults = {}) const;
    // The same, logging every byte it receives to the file returned.
    std::string withWireLog(SimConfig &config, const std::string &name) const;

    // Records the rate and the read window, then opens COM `com`.
    static bool openAt(int com, int baud, int windowMs);

    TempDir comDir_;
};

// Everything printed between construction and text(), byte for byte. Only
// one can be active at a time; the destructor ends a capture not yet read.
class ConsoleCapture {
public:
    ConsoleCapture();
    ~ConsoleCapture();
    ConsoleCapture(const ConsoleCapture &) = delete;
    ConsoleCapture &operator=(const ConsoleCapture &) = delete;
    std::string text();

private:
    std::optional<std::string> text_;
};

// The wire log once it holds at least `size` bytes and nothing more has come
// for a moment, so that a surplus shows too; what it holds after 5 s otherwise.
std::string settledWire(const std::string &path, std::size_t size);

using SteadyClock = std::chrono::steady_clock;
long long msSince(SteadyClock::time_point start);

#endif
