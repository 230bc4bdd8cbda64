// The serial module on real pseudo-terminals. The test plays the unit on the
// master side and keeps its own slave descriptor open for the whole test, as
// a simulated unit does; through that descriptor it also sees the line
// settings that the module applied. COM N is a link named comN in a
// directory of the test's own, handed over in RAVELIN_COM_DIR.
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include "ComPortAPI.h"
#include "PortRecordsFixture.h"

namespace {

using Clock = std::chrono::steady_clock;

long long msSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

class ComPortPty : public PortRecordsTest {
protected:
    void SetUp() override
    {
        PortRecordsTest::SetUp();
        // Nothing here may hang the run: a stuck read or write ends the process.
        alarm(30);
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        ASSERT_GE(master_, 0);
        ASSERT_EQ(grantpt(master_), 0);
        ASSERT_EQ(unlockpt(master_), 0);
        slavePath_ = ptsname(master_);
        slave_ = open(slavePath_.c_str(), O_RDWR | O_NOCTTY);
        ASSERT_GE(slave_, 0);
        termios raw;
        ASSERT_EQ(tcgetattr(slave_, &raw), 0);
        cfmakeraw(&raw);
        ASSERT_EQ(tcsetattr(slave_, TCSANOW, &raw), 0);

        std::string dirTemplate = testing::TempDir() + "ravelin-com-XXXXXX";
        ASSERT_NE(mkdtemp(&dirTemplate[0]), nullptr);
        dir_ = dirTemplate;
        ASSERT_EQ(setenv("RAVELIN_COM_DIR", dir_.c_str(), 1), 0);
        linkPort(3);
    }

    void TearDown() override
    {
        PortRecordsTest::TearDown();
        closePeer();
        if (slave_ >= 0) {
            close(slave_);
        }
        for (const std::string &entry : entries_) {
            unlink(entry.c_str());
        }
        if (!dir_.empty()) {
            rmdir(dir_.c_str());
        }
        unsetenv("RAVELIN_COM_DIR");
        alarm(0);
    }

    std::string entryPath(const std::string &name)
    {
        const std::string path = dir_ + "/" + name;
        entries_.push_back(path);
        return path;
    }

    void linkPort(long long number, const std::string &target = "")
    {
        const std::string path = entryPath("com" + std::to_string(number));
        ASSERT_EQ(symlink(target.empty() ? slavePath_.c_str() : target.c_str(), path.c_str()), 0);
    }

    termios lineSettings()
    {
        termios tio{};
        EXPECT_EQ(tcgetattr(slave_, &tio), 0);
        return tio;
    }

    speed_t lineSpeed()
    {
        const termios tio = lineSettings();
        return cfgetospeed(&tio);
    }

    void peerWrite(const std::string &bytes)
    {
        ASSERT_EQ(write(master_, bytes.data(), bytes.size()), (ssize_t)bytes.size());
    }

    // What the module sent, collected until the line has been quiet for quietMs.
    std::string peerRead(size_t expected, int quietMs = 200)
    {
        std::string got;
        char chunk[4096];
        while (got.size() < expected) {
            pollfd entry = {master_, POLLIN, 0};
            if (poll(&entry, 1, quietMs) <= 0) {
                break;
            }
            const ssize_t n = read(master_, chunk, sizeof chunk);
            if (n <= 0) {
                break;
            }
            got.append(chunk, (size_t)n);
        }
        return got;
    }

    void closePeer()
    {
        if (master_ >= 0) {
            close(master_);
            master_ = -1;
        }
    }

    std::string readCom(int count, BOOL *ok = nullptr)
    {
        std::vector<char> buffer((size_t)count + 1);
        int got = -1;
        const BOOL result = ComPortAPI_ReadCOM(buffer.data(), count, &got);
        if (ok != nullptr) {
            *ok = result;
        } else {
            EXPECT_EQ(result, 1);
        }
        EXPECT_GE(got, 0);
        return std::string(buffer.data(), got < 0 ? 0 : (size_t)got);
    }

    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
    std::string dir_;
    std::vector<std::string> entries_;
};

TEST_F(ComPortPty, OpenMakesTheLineRaw8N1AtTheRecordedRateWithCtsFlow)
{
    // Start from a cooked line, so that every raw flag must come from the open.
    termios cooked = lineSettings();
    cooked.c_iflag |= ICRNL | IXON | ISTRIP | INLCR;
    cooked.c_oflag |= OPOST | ONLCR;
    cooked.c_lflag |= ICANON | ECHO | ISIG | IEXTEN;
    cooked.c_cflag |= HUPCL | CSTOPB;
    cooked.c_cc[VMIN] = 1;
    cfsetspeed(&cooked, B38400);
    ASSERT_EQ(tcsetattr(slave_, TCSANOW, &cooked), 0);

    ASSERT_EQ(ComPortAPI_OpenCOM(3), 1);
    EXPECT_NE(g_hCOM, nullptr);
    EXPECT_NE(g_hCOM, INVALID_HANDLE_VALUE);

    const termios tio = lineSettings();
    EXPECT_EQ(cfgetospeed(&tio), B9600);
    EXPECT_EQ(cfgetispeed(&tio), B9600);
    EXPECT_EQ(tio.c_cflag & CSIZE, (tcflag_t)CS8);
    EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB | HUPCL), 0u);
    EXPECT_EQ(tio.c_cflag & (CLOCAL | CREAD), (tcflag_t)(CLOCAL | CREAD));
    EXPECT_NE(tio.c_cflag & CRTSCTS, 0u);
    EXPECT_EQ(tio.c_iflag & (ICRNL | IXON | IXOFF | ISTRIP | INLCR | IGNCR | BRKINT | PARMRK), 0u);
    EXPECT_EQ(tio.c_oflag & OPOST, 0u);
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(tio.c_cc[VMIN], 0);
    EXPECT_EQ(tio.c_cc[VTIME], 0);

    // Setters act on the open line, one field at a time.
    EXPECT_EQ(ComPortAPI_SetHardwareFlowControl(0), 1);
    EXPECT_EQ(lineSettings().c_cflag & CRTSCTS, 0u);
    EXPECT_EQ(ComPortAPI_SetBaudRate(115200), 1);
    EXPECT_EQ(lineSpeed(), B115200);
    EXPECT_EQ(ComPortAPI_SetHardwareFlowControl(1), 1);
    EXPECT_NE(lineSettings().c_cflag & CRTSCTS, 0u);
    EXPECT_EQ(ComPortAPI_SetBaudRate(4000000), 1);
    EXPECT_EQ(lineSpeed(), B4000000);

    // A rate outside the table is refused, recorded, and leaves the line as it was.
    EXPECT_EQ(ComPortAPI_SetBaudRate(12345), 0);
    EXPECT_EQ(g_dcb.BaudRate, 12345u);
    EXPECT_EQ(lineSpeed(), B4000000);
}

// A port that was not the unit must not be left raw at the last rate tried.
TEST_F(ComPortPty, CloseLeavesTheLineAsTheOpenFoundIt)
{
    termios found = lineSettings();
    found.c_iflag |= ICRNL | IXON;
    found.c_oflag |= OPOST | ONLCR;
    found.c_lflag |= ICANON | ECHO | ISIG | IEXTEN;
    found.c_cflag |= HUPCL;
    cfsetspeed(&found, B2400);
    ASSERT_EQ(tcsetattr(slave_, TCSANOW, &found), 0);
    found = lineSettings();

    ASSERT_EQ(ComPortAPI_OpenCOM(3), 1);
    ASSERT_EQ(ComPortAPI_SetBaudRate(115200), 1);
    ASSERT_EQ(lineSettings().c_lflag & ICANON, 0u);
    EXPECT_EQ(ComPortAPI_CloseCOM(), 1);

    const termios after = lineSettings();
    EXPECT_EQ(after.c_iflag, found.c_iflag);
    EXPECT_EQ(after.c_oflag, found.c_oflag);
    EXPECT_EQ(after.c_cflag, found.c_cflag);
    EXPECT_EQ(after.c_lflag, found.c_lflag);
    EXPECT_EQ(cfgetospeed(&after), B2400);
    EXPECT_EQ(memcmp(after.c_cc, found.c_cc, sizeof after.c_cc), 0);
}

TEST_F(ComPortPty, ValuesRecordedWithoutPortTakeEffectAtTheNextOpen)
{
    const speed_t found = lineSpeed();
    ASSERT_NE(found, B57600);
    EXPECT_EQ(ComPortAPI_SetBaudRate(57600), 0);
    EXPECT_EQ(ComPortAPI_SetHardwareFlowControl(0), 0);
    ASSERT_EQ(ComPortAPI_OpenCOM(3), 1);
    const termios tio = lineSettings();
    EXPECT_EQ(cfgetospeed(&tio), B57600);
    EXPECT_EQ(tio.c_cflag & CRTSCTS, 0u);

    // Setters after a close only record again; the line stays as the close left it.
    EXPECT_EQ(ComPortAPI_CloseCOM(), 1);
    EXPECT_EQ(g_hCOM, nullptr);
    EXPECT_EQ(ComPortAPI_CloseCOM(), 1);
    EXPECT_EQ(ComPortAPI_SetBaudRate(19200), 0);
    EXPECT_EQ(ComPortAPI_SetHardwareFlowControl(1), 0);
    EXPECT_EQ(lineSpeed(), found);
    EXPECT_EQ(lineSettings().c_cflag & CRTSCTS, 0u);
}

TEST_F(ComPortPty, MissingAndNonSerialPortsFailToOpen)
{
    const std::string plainFile = entryPath("com6");
    FILE *file = fopen(plainFile.c_str(), "w");
    ASSERT_NE(file, nullptr);
    fclose(file);
    linkPort(7, dir_ + "/nowhere");

    const int numbers[] = {4, 6, 7};
    for (int number : numbers) {
        testing::internal::CaptureStdout();
        EXPECT_EQ(ComPortAPI_OpenCOM(number), 0) << number;
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "ERROR: Opening COM" + std::to_string(number) + " failed !");
        EXPECT_EQ(g_hCOM, INVALID_HANDLE_VALUE);
    }
}

TEST_F(ComPortPty, PortNumbersUpToTheDeviceNameLimitOpen)
{
    linkPort(12345678);
    linkPort(123456789);
    linkPort(0);
    linkPort(-1);
    EXPECT_EQ(ComPortAPI_ProbeCOM(12345678), 1);
    EXPECT_EQ(ComPortAPI_CloseCOM(), 1);
    EXPECT_EQ(ComPortAPI_ProbeCOM(123456789), 0);
    EXPECT_EQ(ComPortAPI_ProbeCOM(0), 0);
    EXPECT_EQ(ComPortAPI_ProbeCOM(-1), 0);
}

TEST_F(ComPortPty, AHeldPortCannotBeOpenedAgainUntilItIsClosed)
{
    linkPort(5);
    ASSERT_EQ(ComPortAPI_OpenCOM(3), 1);
    const HANDLE held = g_hCOM;

    EXPECT_EQ(ComPortAPI_ProbeCOM(3), 0);
    EXPECT_EQ(g_hCOM, INVALID_HANDLE_VALUE);
    // The lock is on the device, not on the name it was opened by.
    EXPECT_EQ(ComPortAPI_ProbeCOM(5), 0);

    // Exclusive use also keeps out programs that do not lock, but it is a
    // flag of the tty, which the unit's side keeps alive: a close must clear it.
    int exclusive = -1;
    ASSERT_EQ(ioctl(slave_, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 1);
    g_hCOM = held;
    EXPECT_EQ(ComPortAPI_CloseCOM(), 1);
    ASSERT_EQ(ioctl(slave_, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0);
    EXPECT_EQ(ComPortAPI_ProbeCOM(5), 1);
    EXPECT_EQ(ComPortAPI_CloseCOM(), 1);
    EXPECT_EQ(ComPortAPI_OpenCOM(3), 1);
}

TEST_F(ComPortPty, ARefusedRateFailsTheOpenAndReleasesThePort)
{
    EXPECT_EQ(ComPortAPI_SetBaudRate(12345), 0);
    testing::internal::CaptureStdout();
    EXPECT_EQ(ComPortAPI_OpenCOM(3), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "ERROR: COM3 configuration failed !");
    EXPECT_EQ(g_hCOM, nullptr);

    EXPECT_EQ(ComPortAPI_ProbeCOM(3), 1);
    EXPECT_EQ(ComPortAPI_CloseCOM(), 1);
    EXPECT_EQ(ComPortAPI_SetBaudRate(2400), 0);
    EXPECT_EQ(ComPortAPI_OpenCOM(3), 1);
}

TEST_F(ComPortPty, AReadIsAWindowOfTheReadTimeout)
{
    ComPortAPI_SetReadingTimeoutInMs(60);
    ASSERT_EQ(ComPortAPI_OpenCOM(3), 1);

    auto start = Clock::now();
    EXPECT_EQ(readCom(10), "");
    EXPECT_GE(msSince(start), 55);
    EXPECT_LT(msSince(start), 1000);

    // Two pieces inside one window come back as one reply, at the window's end.
    ASSERT_EQ(ComPortAPI_SetReadingTimeoutInMs(200), 1);
    peerWrite("hel");
    std::thread secondPiece([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(40));
        peerWrite("lo");
    });
    start = Clock::now();
    EXPECT_EQ(readCom(100), "hello");
    EXPECT_GE(msSince(start), 190);
    secondPiece.join();

    // A read whose count is met returns at once and leaves the rest queued.
    ASSERT_EQ(ComPortAPI_SetReadingTimeoutInMs(5000), 1);
    peerWrite("abcdef");
    start = Clock::now();
    EXPECT_EQ(readCom(4), "abcd");
    EXPECT_EQ(readCom(2), "ef");
    EXPECT_EQ(readCom(0), "");
    EXPECT_LT(msSince(start), 1000);

    // A zero window is one look at what is there.
    ASSERT_EQ(ComPortAPI_SetReadingTimeoutInMs(0), 1);
    EXPECT_EQ(readCom(10), "");
}

TEST_F(ComPortPty, BytesPassUnchangedInBothDirections)
{
    ComPortAPI_SetReadingTimeoutInMs(200);
    ASSERT_EQ(ComPortAPI_OpenCOM(3), 1);
    std::string everyByte;
    for (int value = 0; value < 256; ++value) {
        everyByte.push_back((char)value);
    }

    peerWrite(everyByte);
    EXPECT_EQ(readCom(256), everyByte);

    int written = -1;
    EXPECT_EQ(ComPortAPI_WriteCOM(everyByte.data(), 256, &written), 1);
    EXPECT_EQ(written, 256);
    EXPECT_EQ(peerRead(256), everyByte);
}

TEST_F(ComPortPty, AWriteLargerThanTheLineHoldsWaitsUntilAllIsTaken)
{
    ASSERT_EQ(ComPortAPI_OpenCOM(3), 1);
    std::string image(256 * 1024, '\0');
    for (size_t i = 0; i < image.size(); ++i) {
        image[i] = (char)(i * 7 + i / 251);
    }
    std::string received;
    std::thread reader([&] { received = peerRead(image.size(), 2000); });
    int written = -1;
    EXPECT_EQ(ComPortAPI_WriteCOM(image.data(), (int)image.size(), &written), 1);
    EXPECT_EQ(written, (int)image.size());
    reader.join();
    EXPECT_TRUE(received == image) << received.size() << " of " << image.size() << " bytes arrived";
}

TEST_F(ComPortPty, OpeningDropsStaleInput)
{
    peerWrite("stale");
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ComPortAPI_SetReadingTimeoutInMs(50);
    ASSERT_EQ(ComPortAPI_OpenCOM(3), 1);
    EXPECT_EQ(readCom(100), "");
    peerWrite("fresh");
    EXPECT_EQ(readCom(100), "fresh");
}

TEST_F(ComPortPty, AVanishedPeerFailsReadsAndWritesInsteadOfHanging)
{
    ComPortAPI_SetReadingTimeoutInMs(5000);
    ASSERT_EQ(ComPortAPI_OpenCOM(3), 1);
    peerWrite("par");
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::thread vanish([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        closePeer();
    });
    auto start = Clock::now();
    BOOL ok = 1;
    EXPECT_EQ(readCom(100, &ok), "par");
    EXPECT_EQ(ok, 0);
    EXPECT_LT(msSince(start), 2000);
    vanish.join();

    start = Clock::now();
    EXPECT_EQ(readCom(100, &ok), "");
    EXPECT_EQ(ok, 0);
    int written = -1;
    EXPECT_EQ(ComPortAPI_WriteCOM("abc", 3, &written), 0);
    EXPECT_EQ(written, 0);
    EXPECT_LT(msSince(start), 2000);
    EXPECT_EQ(ComPortAPI_CloseCOM(), 1);
}

TEST_F(ComPortPty, AWriteBlockedByAPeerThatStoppedReadingFailsWhenThePeerGoes)
{
    ASSERT_EQ(ComPortAPI_OpenCOM(3), 1);
    const std::string image(256 * 1024, 'x');
    std::thread vanish([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        closePeer();
    });
    int written = -1;
    EXPECT_EQ(ComPortAPI_WriteCOM(image.data(), (int)image.size(), &written), 0);
    EXPECT_GT(written, 0);
    EXPECT_LT(written, (int)image.size());
    vanish.join();
}

}  // namespace
