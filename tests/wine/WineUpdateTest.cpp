// The 32-bit Windows exe run under Wine against simulated units on
// pseudo-terminals linked into the Wine prefix as its COM ports.
//
// Needs RAVELIN_WINDOWS_EXE (the path of RavelinFwUpgrade.exe, with
// RavelinFwUpgrade-quickboot.exe beside it and the build's firmware/ folder
// one level up) and WINEPREFIX (a prefix without COM links and with a
// running wineserver, as scripts/wine-env makes it). Without them every test
// is skipped, unless RAVELIN_WINE_REQUIRED=1 makes that a failure.
//
// The tool scans COM1 upwards, so two runs in one prefix would probe each
// other's units: the tests take turns, and each removes its links at its end.
//
// The console checks are the native ones, seen through the Windows C
// runtime: its stdout is in text mode, so every "\n" the tool writes reaches
// the pipe as "\r\n".
#include "e2e/Transcript.h"
#include "e2e/UpdateRun.h"
#include "rack/RackRun.h"
#include "support/Files.h"
#include "support/PortUnderTest.h"
#include "support/PseudoTerminal.h"
#include "support/Process.h"
#include "support/SimUnit.h"
#include "support/TempDir.h"

#include "RavelinFwUpgrade.h"
#include "WebPackageMode.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#ifndef RAVELIN_MCU_IMAGE_NAME
#error "RAVELIN_MCU_IMAGE_NAME must name the MCU image file"
#endif
#ifndef RAVELIN_TX_LOGIC_IMAGE_NAME
#error "RAVELIN_TX_LOGIC_IMAGE_NAME must name the TX logic image file"
#endif
#ifndef RAVELIN_RX_LOGIC_IMAGE_NAME
#error "RAVELIN_RX_LOGIC_IMAGE_NAME must name the RX logic image file"
#endif

using namespace std::chrono_literals;

namespace {

std::string environment(const char *name)
{
    const char *value = std::getenv(name);
    return value ? value : "";
}

std::string folderOf(const std::string &path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

std::string windowsConsole(const std::string &text)
{
    std::string out;
    for (char c : text) {
        if (c == '\n')
            out += '\r';
        out += c;
    }
    return out;
}

// The image the exe builds from one of the files it embedded, assembled by
// the tool's own code.
std::string assembledImage(const std::string &file)
{
    std::string text = readFile(file);
    std::vector<char> copy(text.begin(), text.end());
    copy.resize(copy.size() + 16, '\0');
    std::string image;
    if (allocateSessionBuffers() && ValidateFwAndConcatenateData(copy.data()))
        image.assign(reinterpret_cast<const char *>(gDataConcatenated), static_cast<std::size_t>(gDataConcatenatedLenght));
    releaseSessionBuffers();
    return image;
}

// The COMn links in a dosdevices folder.
std::vector<std::string> comLinks(const std::string &folder)
{
    std::vector<std::string> links;
    for (const std::string &name : filesIn(folder)) {
        if (name.rfind("com", 0) == 0)
            links.push_back(name);
    }
    return links;
}

class WineRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        exe_ = environment("RAVELIN_WINDOWS_EXE");
        prefix_ = environment("WINEPREFIX");
        if (exe_.empty() || prefix_.empty()) {
            if (environment("RAVELIN_WINE_REQUIRED") == "1")
                FAIL() << "RAVELIN_WINDOWS_EXE and WINEPREFIX must be set (run under scripts/wine-env)";
            GTEST_SKIP() << "no Windows exe or Wine prefix given (RAVELIN_WINDOWS_EXE, WINEPREFIX)";
        }
        quickbootExe_ = folderOf(exe_) + "/RavelinFwUpgrade-quickboot.exe";
        firmwareDir_ = folderOf(folderOf(exe_)) + "/firmware";
        comDir_ = prefix_ + "/dosdevices";
        ASSERT_TRUE(fileExists(exe_)) << exe_;
        ASSERT_TRUE(fileExists(quickbootExe_)) << quickbootExe_;
        ASSERT_TRUE(fileExists(comDir_)) << "no dosdevices folder in " << prefix_;
        const std::vector<std::string> stray = comLinks(comDir_);
        ASSERT_TRUE(stray.empty()) << "the prefix already has COM links (" << stray.front()
                                   << "...): the tool would reach them";
    }

    void TearDown() override
    {
        const bool hadUnits = !units_.empty();
        units_.clear();
        EXPECT_TRUE(!hadUnits || comLinks(comDir_).empty()) << "a unit left its link in the prefix";
    }

    // A unit on COM `com` that boots in QUICK_BOOT_MS and saves the images
    // it receives as logic<com>.bin and mcu<com>.bin in `saved`; `extraArgs`
    // are further unit-sim options.
    void startSavingUnit(int com, int baud, const char *type, std::vector<std::string> extraArgs = {})
    {
        SimConfig config;
        config.com = com;
        config.baud = baud;
        config.type = type;
        config.extraArgs = {"--boot-ms",   std::to_string(QUICK_BOOT_MS),
                            "--save-fpga", saved.file("logic" + std::to_string(com) + ".bin"),
                            "--save-mcu",  saved.file("mcu" + std::to_string(com) + ".bin")};
        config.extraArgs.insert(config.extraArgs.end(), extraArgs.begin(), extraArgs.end());
        startUnit(config);
    }

    // A unit on COM `config.com` of the prefix.
    void startUnit(SimConfig config)
    {
        config.dir = comDir_;
        units_.push_back(std::make_unique<SimUnit>(config));
    }

    ProcessResult runExe(ToolBuild build, std::chrono::seconds timeout,
                         const std::optional<std::string> &stdinText = std::nullopt,
                         const std::vector<std::string> &args = {})
    {
        std::vector<std::string> argv = {"wine", build == ToolBuild::RealTiming ? exe_ : quickbootExe_};
        argv.insert(argv.end(), args.begin(), args.end());
        return runProcess(argv, {}, stdinText, timeout);
    }

    // The real-timing exe run in `folder`, its standard input /dev/null.
    ProcessResult runExeIn(const std::string &folder, const std::vector<std::string> &args)
    {
        std::vector<std::string> argv = {"sh", "-c", "cd \"$0\" && exec wine \"$@\"", folder, exe_};
        argv.insert(argv.end(), args.begin(), args.end());
        return runProcess(argv, {}, std::nullopt, std::chrono::seconds(60));
    }

    // The exe with a terminal as its standard streams, which Wine turns into
    // a console.
    pid_t startExeAtConsole(int terminal, const std::vector<std::string> &args = {})
    {
        std::vector<std::string> argv = {"wine", exe_};
        argv.insert(argv.end(), args.begin(), args.end());
        return startProcess(argv, {}, terminal, terminal, terminal);
    }

    // The live processes of the exe in this prefix.
    std::vector<pid_t> exeProcesses() const
    {
        std::vector<pid_t> found;
        const std::string inPrefix = "WINEPREFIX=" + prefix_ + '\0';
        // A process may end between the listing and the reads: it then
        // reads as empty and is not counted.
        const auto readIfThere = [](const std::string &path) {
            std::ifstream in(path, std::ios::binary);
            return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        };
        for (const std::string &name : filesIn("/proc")) {
            if (name.find_first_not_of("0123456789") != std::string::npos)
                continue;
            const std::string stat = readIfThere("/proc/" + name + "/stat");
            const std::size_t commEnd = stat.rfind(") ");
            if (stat.find("(RavelinFwUpgrad") == std::string::npos || commEnd == std::string::npos ||
                stat.compare(commEnd + 2, 1, "Z") == 0)
                continue;
            if (readIfThere("/proc/" + name + "/environ").find(inPrefix) != std::string::npos)
                found.push_back(static_cast<pid_t>(std::stol(name)));
        }
        return found;
    }

    static void expectRun(const ProcessResult &run, int expectedStatus, const std::string &expectedConsole)
    {
        const std::string expected = windowsConsole(expectedConsole);
        EXPECT_FALSE(run.timedOut) << "the exe was killed at its time limit";
        EXPECT_EQ(run.status, expectedStatus);
        EXPECT_TRUE(run.out == expected) << firstDifference(expected, run.out);
        EXPECT_EQ(run.err, "");
    }

    std::string image(const char *name) const { return assembledImage(firmwareDir_ + "/" + name); }
    // The link through which Wine reaches COM `com` of the prefix.
    std::string comLink(int com) const { return comDir_ + "/com" + std::to_string(com); }

    TempDir saved;

private:
    std::string exe_;
    std::string prefix_;
    std::string quickbootExe_;
    std::string firmwareDir_;
    std::string comDir_;
    std::vector<std::unique_ptr<SimUnit>> units_;
};

// What a Wine console drew on a terminal, as text: Wine draws with cursor
// moves and skips over blanks, so its escape sequences and every blank go.
std::string consoleText(const std::string &screen)
{
    static const std::regex drawing("\x1b\\[[0-9;?]*[A-Za-z]|\x1b\\][^\x07]*\x07|[ \r\n]");
    return std::regex_replace(screen, drawing, "");
}

// A pseudo-terminal for the exe's standard streams; `shows` reads what the
// console drew on it until `text` is there.
class Terminal : public PseudoTerminal {
public:
    // Wine's console takes the terminal out of its line editing only while
    // the program reads; a key typed before that goes through the
    // terminal's own editing, which turns Enter into a line feed.
    bool isReading() const { return (settings().c_lflag & ICANON) == 0; }
    int fd() const { return terminal(); }
    bool shows(const std::string &text, std::chrono::milliseconds timeout)
    {
        return waitUntil(
            [&] {
                readScreen();
                return consoleText(screen).find(text) != std::string::npos;
            },
            timeout);
    }

    std::string screen;

private:
    void readScreen()
    {
        char chunk[4096];
        pollfd ready = {master(), POLLIN, 0};
        while (poll(&ready, 1, 0) == 1 && (ready.revents & POLLIN)) {
            const ssize_t n = read(master(), chunk, sizeof chunk);
            if (n <= 0)
                break;
            screen.append(chunk, static_cast<std::size_t>(n));
        }
    }
};

int count(const std::string &text, const std::string &part)
{
    int n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size()))
        ++n;
    return n;
}

}  // namespace

// COM1 answers nothing at any rate, COM2 does not exist, COM3 answers at
// 9600 only, and is turned away for its device code once found.
TEST_F(WineRun, FindsTheUnitAt9600OnCom3BehindASilentUnitOnCom1)
{
    SimConfig silent;
    silent.com = 1;
    silent.faults = {"silent"};
    silent.extraArgs = {"--wire-log", saved.file("com1.log")};
    startUnit(silent);
    SimConfig unit;
    unit.com = 3;
    unit.baud = 9600;
    unit.extraArgs = {"--device-code", "3"};
    startUnit(unit);

    expectRun(runExe(ToolBuild::RealTiming, 90s), EXIT_UPDATE_FAILED,
              banner() + discovered(3, 9600) + versionLines(simVersion(3)) + productCheck() + unknownProduct() +
                  exitPrompt(failedVerdict()));
    // Two tries at each of the six rates, each framed with the "%%" prefix.
    EXPECT_EQ(count(readFile(saved.file("com1.log")), "%%%help -c version\n\r"), 12);
}

// The unit talks at 57600, so the run goes from the unit's rate to 115200
// for the streams and the firmware announcement and back for the prompt.
TEST_F(WineRun, FullTxUpdateDeliversTheEmbeddedImages)
{
    startSavingUnit(1, 57600, "tx");
    const std::string logic = image(RAVELIN_TX_LOGIC_IMAGE_NAME);
    const std::string mcu = image(RAVELIN_MCU_IMAGE_NAME);
    ASSERT_FALSE(logic.empty());
    ASSERT_FALSE(mcu.empty());

    expectRun(runExe(ToolBuild::QuickBoot, 150s), EXIT_UPDATED,
              banner() + discovered(1, 57600) + versionLines(simVersion()) + productCheck() +
                  identified(UnitType::Tx) +
                  transfers(static_cast<int>(logic.size()), static_cast<int>(mcu.size())) + rebootWait() +
                  successLine() + exitPrompt());
    ASSERT_TRUE(fileExists(saved.file("logic1.bin")));
    ASSERT_TRUE(fileExists(saved.file("mcu1.bin")));
    EXPECT_TRUE(readFile(saved.file("logic1.bin")) == logic) << "the unit received another logic image";
    EXPECT_TRUE(readFile(saved.file("mcu1.bin")) == mcu) << "the unit received another MCU image";
}

TEST_F(WineRun, UnitRejectingTheLogicStreamFailsTheUpdate)
{
    SimConfig unit;
    unit.faults = {"bad-stream-reply"};
    startUnit(unit);
    const std::string logic = image(RAVELIN_TX_LOGIC_IMAGE_NAME);
    ASSERT_FALSE(logic.empty());

    // The reply is read once the line could have carried the whole image:
    // up to the 60 s write stall limit after the last write.
    expectRun(runExe(ToolBuild::RealTiming, 180s), EXIT_UPDATE_FAILED,
              banner() + discovered(1, 115200) + versionLines(simVersion()) + productCheck() +
                  identified(UnitType::Tx) + logicAnnouncement() + lineOk() + logicStreamLabel() +
                  streamDisplay(static_cast<int>(logic.size())) + streamMismatch("ERROR: flash write") +
                  stepFailed() + exitPrompt(failedVerdict()));
}

// A unit that stops taking the stream half way: the exe's write gives up
// after the stall limit, in one-second write time-outs, and says why.
TEST_F(WineRun, UnitThatStopsTakingTheStreamFailsTheUpdate)
{
    SimConfig unit;
    unit.faults = {"stop-reading-mid-stream"};
    startUnit(unit);
    const int logicLength = static_cast<int>(image(RAVELIN_TX_LOGIC_IMAGE_NAME).size());
    ASSERT_GT(logicLength, 0);

    const ProcessResult run = runExe(ToolBuild::QuickBoot, 90s);
    const std::string beforeStream = banner() + discovered(1, 115200) + versionLines(simVersion()) + productCheck() +
                                     identified(UnitType::Tx) + logicAnnouncement() + lineOk() + logicStreamLabel();
    const int written = piecesShownAboutHalfWay(run.out, windowsConsole(beforeStream), "\r\r\n", logicLength);
    expectRun(run, EXIT_UPDATE_FAILED,
              beforeStream + streamDisplayCut(logicLength, written) +
                  unitStoppedTakingData(QUICKBOOT_WRITE_STALL_LIMIT_MS) + stepFailed() + exitPrompt(failedVerdict()));
}

// The exe starts a copy of itself per port (found through its own module
// path, a Windows path under Wine) and reads their events through pipes.
TEST_F(WineRun, AllUpdatesTwoUnitsAtOnce)
{
    startSavingUnit(1, 115200, "tx");
    startSavingUnit(2, 9600, "rx");
    const std::string mcu = image(RAVELIN_MCU_IMAGE_NAME);
    ASSERT_FALSE(mcu.empty());

    const ProcessResult run =
        runExe(ToolBuild::QuickBoot, 200s, std::nullopt, {"--all", "--allow-reinstall", "--no-wait", "--log-dir", "Z:" + saved.path()});
    EXPECT_FALSE(run.timedOut);
    EXPECT_EQ(run.status, EXIT_UPDATED) << run.out;
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(lastBoardLine(run.out, "COM1"), "COM1     115200  TX  done") << run.out;
    EXPECT_EQ(lastBoardLine(run.out, "COM2"), "COM2     9600    RX  done") << run.out;
    EXPECT_NE(run.out.find("\r\nAll 2 units were updated.\r"), std::string::npos) << run.out;
    EXPECT_TRUE(readFile(saved.file("logic1.bin")) == image(RAVELIN_TX_LOGIC_IMAGE_NAME)) << "COM1: logic image";
    EXPECT_TRUE(readFile(saved.file("logic2.bin")) == image(RAVELIN_RX_LOGIC_IMAGE_NAME)) << "COM2: logic image";
    EXPECT_TRUE(readFile(saved.file("mcu1.bin")) == mcu) << "COM1: MCU image";
    EXPECT_TRUE(readFile(saved.file("mcu2.bin")) == mcu) << "COM2: MCU image";
    // Each port's process kept its own trace in the folder given.
    int traces = 0;
    for (const std::string &name : filesIn(saved.path())) {
        if (name.rfind("RavelinFwUpgrade-COM", 0) == 0) {
            ++traces;
            EXPECT_NE(readFile(saved.file(name)).find("exit status 0"), std::string::npos) << name;
        }
    }
    EXPECT_EQ(traces, 2);
}

// No port at all: the manual path reads the port number from the pipe, fails
// to open it, and ends without a key wait, since standard input is no
// console; at end of input it ends at the prompt itself.
TEST_F(WineRun, NoKeyWaitWithStandardInputFromAPipe)
{
    expectRun(runExe(ToolBuild::RealTiming, 30s), EXIT_NO_CONNECTION,
              banner() + "FAILED\n\r\n\rEnter the COM port number : " + inputEnded() + exitPrompt());
    expectRun(runExe(ToolBuild::RealTiming, 30s, std::string("5\n")), EXIT_NO_CONNECTION,
              banner() + manualPortPrompt(5) + openFailed(5) + exitPrompt());
}

// At a console, the manual path reads the port number typed at its prompt
// and the exit prompt waits for a key: the exe ends only once one is pressed.
TEST_F(WineRun, AtAConsoleTheExitPromptWaitsForAKey)
{
    Terminal console;
    const pid_t exe = startExeAtConsole(console.fd());

    EXPECT_TRUE(console.shows("EntertheCOMportnumber:", 60s)) << console.screen;
    EXPECT_TRUE(waitUntil([&] { return console.isReading(); }, 10s));
    ASSERT_TRUE(console.type("5\r"));
    EXPECT_TRUE(console.shows("ERROR:OpeningCOM5failed!Pressanykeytoexit", 30s)) << console.screen;
    EXPECT_EQ(waitProcess(exe, 2s), std::nullopt) << "the exe ended without a key";
    EXPECT_TRUE(console.isReading());
    ASSERT_TRUE(console.type("x"));
    EXPECT_EQ(waitOrKillProcess(exe, 30s), std::optional<int>(EXIT_NO_CONNECTION)) << console.screen;
}

// Ctrl-C at the console in the middle of the streams stops every port's
// process; the board and the summary say where each was, and each port's
// rate is put back (all that a Windows port's settings keep: Wine sets the
// rest of the terminal's modes raw). Wine turns the terminal's SIGINT into
// the console's Ctrl-C, and hands the shell the low byte of the status a
// Ctrl-C gives on Windows.
TEST_F(WineRun, CtrlCAtTheConsoleStopsTheRack)
{
    constexpr int CONTROL_C_EXIT_LOW_BYTE = 0xC000013A & 0xFF;
    // Paced streams last minutes: the run is surely inside them when it is stopped.
    startSavingUnit(1, 115200, "tx", {"--pace"});
    startSavingUnit(2, 9600, "rx", {"--pace"});
    PortUnderTest port1(comLink(1));
    PortUnderTest port2(comLink(2));
    Terminal console;
    const pid_t exe = startExeAtConsole(console.fd(), {"--all", "--allow-reinstall", "--no-wait", "--log-dir", "Z:" + saved.path()});

    EXPECT_TRUE(console.shows("COM1115200TXlogic0%", 60s) && console.shows("COM29600RXlogic0%", 60s))
        << console.screen;
    EXPECT_EQ(exeProcesses().size(), 3u) << "the rack and a process for each port";
    // What a terminal does with Ctrl-C; the terminal here is not the exe's
    // controlling terminal, so it is done by hand.
    kill(-exe, SIGINT);
    EXPECT_TRUE(console.shows("STOPPED:everyport'sprocesswasstoppedwhereitwas.", 30s)) << console.screen;
    EXPECT_EQ(waitOrKillProcess(exe, 30s), std::optional<int>(CONTROL_C_EXIT_LOW_BYTE)) << console.screen;
    EXPECT_TRUE(exeProcesses().empty()) << "a process of the rack outlived it";
    EXPECT_TRUE(console.shows("COM1:STOPPEDduringlogic", 1s)) << console.screen;
    EXPECT_TRUE(console.shows("COM2:STOPPEDduringlogic", 1s)) << console.screen;
    EXPECT_EQ(port1.changes().find("speed"), std::string::npos) << port1.changes();
    EXPECT_EQ(port2.changes().find("speed"), std::string::npos) << port2.changes();
    for (const char *image : {"logic1.bin", "logic2.bin", "mcu1.bin", "mcu2.bin"})
        EXPECT_FALSE(fileExists(saved.file(image))) << image;
}

// The exe writes the native tool's web package byte for byte, and a second
// run replaces the first, leaving nothing else in the folder.
TEST_F(WineRun, WebPackageIsTheNativeToolsByteForByte)
{
    TempDir native;
    const ProcessResult reference = runProcess(
        {"sh", "-c", "cd \"$0\" && exec \"$1\" --web-package --no-wait", native.path(), toolPath(ToolBuild::RealTiming)});
    ASSERT_EQ(reference.status, 0) << reference.out << reference.err;
    const std::string expected = readFile(native.file(FIRMWARE_FILE_NAME_FOR_WEB));
    ASSERT_GT(expected.size(), 100000u);

    TempDir windows;
    for (int run = 1; run <= 2; ++run) {
        SCOPED_TRACE("run " + std::to_string(run));
        const ProcessResult written = runExeIn(windows.path(), {"--web-package", "--no-wait"});
        EXPECT_EQ(written.status, 0) << written.out << written.err;
        EXPECT_TRUE(readFile(windows.file(FIRMWARE_FILE_NAME_FOR_WEB)) == expected) << "not the native package";
        EXPECT_EQ(filesIn(windows.path()), std::vector<std::string>{FIRMWARE_FILE_NAME_FOR_WEB});
    }
}

TEST_F(WineRun, VersionNamesTheToolAndTheImagesItCarries)
{
    expectRun(runExe(ToolBuild::RealTiming, 30s, std::nullopt, {"--version"}), EXIT_UPDATED,
              "RavelinFwUpgrade 1.0.2\nMCU firmware 61.01.02\nTX programmable logic XC7A75 1.02\n"
              "RX programmable logic XC7A75 1.02\n");
}

// A unit on COM1 that --port 2 must leave alone, and the RX unit on COM2
// identified at 4800 without a write beyond the three queries.
TEST_F(WineRun, InfoOnOnePortIdentifiesTheUnitAndWritesNothingToIt)
{
    SimConfig other;
    other.com = 1;
    other.extraArgs = {"--wire-log", saved.file("com1.log")};
    startUnit(other);
    SimConfig unit;
    unit.com = 2;
    unit.baud = 4800;
    unit.type = "rx";
    unit.extraArgs = {"--wire-log", saved.file("com2.log")};
    startUnit(unit);

    expectRun(runExe(ToolBuild::RealTiming, 60s, std::nullopt, {"--info", "--port", "2"}), EXIT_UPDATED,
              "Port                 : COM2\r\nBaud rate            : 4800\r\n"
              "MCU firmware         : 61.01.02\r\nProgrammable logic   : XC7A75 1.02\r\n"
              "Device code          : 7\r\nUnit                 : RX\r\n"
              "Carried MCU firmware : 61.01.02\r\nCarried logic        : XC7A75 1.02\r\nUP TO DATE\r\n");
    EXPECT_FALSE(fileExists(saved.file("com1.log")) && !readFile(saved.file("com1.log")).empty());
    std::string expectedWire;
    for (int i = 0; i < 7; ++i)
        expectedWire += "%%%help -c version\n\r";
    expectedWire += "%%%fw -v\n\r%%%fw -p\n\r";
    EXPECT_TRUE(waitUntil([&] { return readFile(saved.file("com2.log")) == expectedWire; }, 2s))
        << readFile(saved.file("com2.log"));
}

// The prefix's COM links are the ports: each listed once, by its COM name.
TEST_F(WineRun, ListPortsShowsThePrefixComLinks)
{
    SimConfig two;
    two.com = 2;
    startUnit(two);
    SimConfig five;
    five.com = 5;
    startUnit(five);

    const ProcessResult run = runExe(ToolBuild::RealTiming, 60s, std::nullopt, {"--list-ports"});
    EXPECT_FALSE(run.timedOut);
    EXPECT_EQ(run.status, 0);
    std::vector<std::string> names;
    std::size_t start = 0;
    for (std::size_t end = run.out.find("\r\n"); end != std::string::npos; end = run.out.find("\r\n", start)) {
        const std::string line = run.out.substr(start, end - start);
        names.push_back(line.substr(0, line.find(' ')));
        start = end + 2;
    }
    EXPECT_EQ(names, (std::vector<std::string>{"COM2", "COM5"})) << run.out;
}

// The trace is written by the Windows C runtime as by the native one.
TEST_F(WineRun, LogTracesAnIdentification)
{
    SimConfig unit;
    startUnit(unit);
    const std::string trace = saved.file("trace.txt");

    const ProcessResult run = runExe(ToolBuild::RealTiming, 60s, std::nullopt, {"--info", "--port", "COM1", "--log", "Z:" + trace});
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    ASSERT_TRUE(fileExists(trace));
    const std::string text = readFile(trace);
    for (const char *part : {"run as: ", "open COM1: 115200 baud 8N1, CTS flow control off, read time-out 500 ms",
                             "bytes in ", "\"%%%help -c version\\n\\r\"", "\"%%%fw -v\\n\\r\"",
                             "console \"UP TO DATE\\r\"", "close COM1", "exit status 0"}) {
        EXPECT_NE(text.find(part), std::string::npos) << part;
    }
}
