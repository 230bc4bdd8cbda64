#include "DriverSession.h"

#include <cstdio>
#include <cstdlib>
#include <thread>

#include "ComPortAPI.h"
#include "RavelinFwUpgrade.h"
#include "support/Files.h"

namespace {

struct PortRecords {
    COMMTIMEOUTS timeouts;
    DCB settings;
};

// Taken before the first test has had a chance to change them.
const PortRecords &initialRecords()
{
    static const PortRecords records{g_cto, g_dcb};
    return records;
}

}  // namespace

void DriverSession::SetUpTestSuite()
{
    initialRecords();
    ASSERT_NE(freopen("/dev/null", "r", stdin), nullptr);
    // No test may reach a port of the machine, whatever it does first.
    ASSERT_EQ(setenv("RAVELIN_COM_DIR", "/nonexistent-ravelin-com-dir", 1), 0);
}

void DriverSession::SetUp()
{
    ASSERT_EQ(setenv("RAVELIN_COM_DIR", comDir_.path().c_str(), 1), 0);
    gDataBuffer = static_cast<char *>(calloc(DATA_BUFFER_SIZE, 1));
    ASSERT_NE(gDataBuffer, nullptr);
    gComPortNumber = 0;
    gBaudRate = 0;
}

void DriverSession::TearDown()
{
    ComPortAPI_CloseCOM();
    g_cto = initialRecords().timeouts;
    g_dcb = initialRecords().settings;
    free(gDataBuffer);
    gDataBuffer = nullptr;
    gComPortNumber = 0;
    gBaudRate = 0;
}

SimConfig DriverSession::unitAt(int com, int baud, std::vector<std::string> faults) const
{
    SimConfig config;
    config.dir = comDir_.path();
    config.com = com;
    config.baud = baud;
    config.faults = std::move(faults);
    return config;
}

std::string DriverSession::withWireLog(SimConfig &config, const std::string &name) const
{
    const std::string path = comDir_.file(name);
    config.extraArgs.insert(config.extraArgs.end(), {"--wire-log", path});
    return path;
}

bool DriverSession::openAt(int com, int baud, int windowMs)
{
    // No port is open yet, so these only record the values for the open.
    ComPortAPI_SetBaudRate(baud);
    ComPortAPI_SetReadingTimeoutInMs(windowMs);
    return ComPortAPI_OpenCOM(com) == 1;
}

ConsoleCapture::ConsoleCapture()
{
    fflush(stdout);
    testing::internal::CaptureStdout();
}

ConsoleCapture::~ConsoleCapture() { text(); }

std::string ConsoleCapture::text()
{
    if (!text_) {
        fflush(stdout);
        text_ = testing::internal::GetCapturedStdout();
    }
    return *text_;
}

std::string settledWire(const std::string &path, std::size_t size)
{
    const auto wire = [&] { return fileExists(path) ? readFile(path) : std::string(); };
    waitUntil([&] { return wire().size() >= size; }, std::chrono::seconds(5));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return wire();
}

long long msSince(SteadyClock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - start).count();
}
