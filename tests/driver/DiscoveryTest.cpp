// detectComPortAndBaudrate on real pseudo-terminals, several simulated units
// in one COM folder: no ports at all, a unit found behind two silent ports
// (with the probe lines and rates a silent unit sees), a unit that answers
// only the second try, the lowest-numbered of two units, and a unit at a rate
// outside the scan. Discovery runs with the initial 500 ms window, so every
// silent port costs about 6 s; the scenarios are chosen to keep that small.
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include "ComPortAPI.h"
#include "DriverSession.h"
#include "RavelinFwUpgrade.h"
#include "support/Files.h"

namespace {

const std::string kProbeLine = std::string("%%") + DISCOVERY_PROBE_COMMAND + "\n\r";

std::string repeated(const std::string &text, int times)
{
    std::string all;
    for (int i = 0; i < times; ++i) {
        all += text;
    }
    return all;
}

bool portIsOpen() { return g_hCOM != nullptr && g_hCOM != INVALID_HANDLE_VALUE; }

int rateOf(speed_t speed)
{
    static const std::pair<speed_t, int> kRates[] = {{B1200, 1200},   {B2400, 2400},   {B4800, 4800},
                                                     {B9600, 9600},   {B19200, 19200}, {B38400, 38400},
                                                     {B57600, 57600}, {B115200, 115200}};
    for (const auto &[code, rate] : kRates) {
        if (code == speed) {
            return rate;
        }
    }
    return 0;
}

// Which rate the line was set to when each part of a unit's wire log came
// in: samples the tty's speed (through a descriptor of its own that never
// reads) and the log's size every few milliseconds. The tool keeps each rate
// for two read windows, far longer than a sample.
class RateWatch {
public:
    RateWatch(const std::string &linkPath, const std::string &wireLog)
        : tty_(open(linkPath.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)), wireLog_(wireLog),
          thread_([this] { run(); })
    {
    }
    ~RateWatch() { stop(); }
    RateWatch(const RateWatch &) = delete;
    RateWatch &operator=(const RateWatch &) = delete;

    // (rate, bytes) in order of arrival, neighbours at the same rate merged.
    std::vector<std::pair<int, long>> stop()
    {
        if (thread_.joinable()) {
            done_ = true;
            thread_.join();
            sample();
            close(tty_);
        }
        return segments_;
    }

private:
    void run()
    {
        while (!done_) {
            sample();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }

    void sample()
    {
        termios tio;
        struct stat st;
        if (tcgetattr(tty_, &tio) != 0 || stat(wireLog_.c_str(), &st) != 0 || st.st_size <= seen_) {
            return;
        }
        const int rate = rateOf(cfgetospeed(&tio));
        if (segments_.empty() || segments_.back().first != rate) {
            segments_.emplace_back(rate, 0);
        }
        segments_.back().second += st.st_size - seen_;
        seen_ = st.st_size;
    }

    int tty_;
    std::string wireLog_;
    long seen_ = 0;
    std::vector<std::pair<int, long>> segments_;
    std::atomic<bool> done_{false};
    std::thread thread_;
};

class Discovery : public DriverSession {};

TEST_F(Discovery, NoPortsFailsFastAndQuietly)
{
    gComPortNumber = 77;
    gBaudRate = 77;

    ConsoleCapture console;
    const auto start = SteadyClock::now();
    EXPECT_EQ(detectComPortAndBaudrate(), 0);
    EXPECT_LT(msSince(start), 300);
    EXPECT_EQ(console.text(), "");
    EXPECT_EQ(gComPortNumber, 0);
    EXPECT_EQ(gBaudRate, 0);
    EXPECT_EQ(g_dcb.BaudRate, 9600u);
    EXPECT_FALSE(portIsOpen());
}

TEST_F(Discovery, UnitBehindTwoSilentPortsIsFoundAtItsRate)
{
    SimConfig first = unitAt(1, 9600, {"silent"});
    const std::string firstWire = withWireLog(first, "wire1");
    SimConfig third = unitAt(3, 9600);
    const std::string thirdWire = withWireLog(third, "wire3");
    SimUnit silent1(first);
    SimUnit silent2(unitAt(2, 9600, {"silent"}));
    SimUnit unit(third);
    RateWatch watch(silent1.linkPath(), firstWire);

    ConsoleCapture console;
    const auto start = SteadyClock::now();
    EXPECT_EQ(detectComPortAndBaudrate(), 1);
    // Two silent ports at twelve windows each, then two silent windows at
    // 115200 and a reply and its closing window at 9600 on COM3.
    EXPECT_GE(msSince(start), 2 * 12 * 500 + 4 * 500);
    EXPECT_EQ(console.text(), "");
    EXPECT_EQ(gComPortNumber, 3);
    EXPECT_EQ(gBaudRate, 9600);
    EXPECT_EQ(g_dcb.BaudRate, 9600u);
    ASSERT_TRUE(portIsOpen());

    const std::vector<std::pair<int, long>> perRate = {{115200, 40}, {9600, 40}, {57600, 40},
                                                       {4800, 40},   {2400, 40}, {1200, 40}};
    EXPECT_EQ(watch.stop(), perRate);
    EXPECT_EQ(settledWire(firstWire, 12 * kProbeLine.size()), repeated(kProbeLine, 12));
    EXPECT_EQ(settledWire(thirdWire, 3 * kProbeLine.size()), repeated(kProbeLine, 3));

    // The port is left open at the unit's rate, ready for the update.
    EXPECT_EQ(sendCommand("%fw -p", 0, 1, VALIDATE_TX_PRODUCT_ID_STRING), 1);
}

TEST_F(Discovery, UnitAnsweringOnlyTheSecondTryIsAccepted)
{
    SimConfig config = unitAt(1, 115200, {"second-try"});
    const std::string wire = withWireLog(config, "wire");
    SimUnit unit(config);

    EXPECT_EQ(detectComPortAndBaudrate(), 1);
    EXPECT_EQ(gComPortNumber, 1);
    EXPECT_EQ(gBaudRate, 115200);
    EXPECT_TRUE(portIsOpen());
    EXPECT_EQ(settledWire(wire, 2 * kProbeLine.size()), repeated(kProbeLine, 2));
}

TEST_F(Discovery, LowestNumberedUnitWinsAndTheScanStops)
{
    SimConfig fifth = unitAt(5, 115200);
    const std::string fifthWire = withWireLog(fifth, "wire5");
    SimUnit second(unitAt(2, 115200));
    SimUnit unit5(fifth);

    EXPECT_EQ(detectComPortAndBaudrate(), 1);
    EXPECT_EQ(gComPortNumber, 2);
    EXPECT_EQ(gBaudRate, 115200);
    EXPECT_TRUE(portIsOpen());
    EXPECT_EQ(settledWire(fifthWire, 0), "");
}

// COM32, the last port scanned, so that what it leaves behind shows.
TEST_F(Discovery, UnitAtARateOutsideTheScanIsNeverFound)
{
    SimConfig config = unitAt(32, 19200);
    const std::string wire = withWireLog(config, "wire");
    SimUnit unit(config);

    ConsoleCapture console;
    const auto start = SteadyClock::now();
    EXPECT_EQ(detectComPortAndBaudrate(), 0);
    EXPECT_GE(msSince(start), 12 * 500);
    EXPECT_EQ(console.text(), "");
    EXPECT_FALSE(portIsOpen());
    EXPECT_EQ(gComPortNumber, 32);
    EXPECT_EQ(gBaudRate, 1200);
    EXPECT_EQ(g_dcb.BaudRate, 1200u);
    EXPECT_EQ(settledWire(wire, 12 * kProbeLine.size()), repeated(kProbeLine, 12));

    // Nothing of the scan still holds the port.
    EXPECT_EQ(ComPortAPI_OpenCOM(32), 1);
}

}  // namespace
