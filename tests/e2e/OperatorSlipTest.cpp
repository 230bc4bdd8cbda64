// An operator's slips on the command line: a --log that names a serial port
// or another terminal is refused before anything is opened, and the bytes
// the operator typed (a port, a file name) come back escaped like a unit's.
#include "e2e/UpdateRun.h"
#include "support/Files.h"
#include "support/PseudoTerminal.h"

#include <climits>
#include <cstdlib>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

bool contains(const std::string &text, const std::string &part) { return text.find(part) != std::string::npos; }

class OperatorSlip : public UpdateRun {
protected:
    std::string startLoggedUnit()
    {
        SimConfig config;
        config.extraArgs = {"--wire-log", wire()};
        startUnit(config);
        return unit->linkPath();
    }
    std::string wire() const { return logs_.file("wire"); }
    std::string received()
    {
        unit->stop();
        return fileExists(wire()) ? readFile(wire()) : "";
    }

private:
    TempDir logs_;
};

}  // namespace

TEST_F(OperatorSlip, ALogNamingASerialPortOrTerminalIsRefusedBeforeAnythingOpens)
{
    const std::string link = startLoggedUnit();
    char device[PATH_MAX];
    ASSERT_NE(realpath(link.c_str(), device), nullptr);
    PseudoTerminal other;
    const char *otherTerminal = ttyname(other.terminal());
    ASSERT_NE(otherTerminal, nullptr);

    const std::vector<std::vector<std::string>> slips = {
        {"--port", "1", "--log", link},      // the unit's own port, through its COM link
        {"--port", link, "--log", device},   // the device the named port leads to
        {"--log", device},                   // a port the scan would open
        {"--info", "--log", link},
        {"--log", otherTerminal},            // a terminal that is not the tool's own
    };
    for (const auto &args : slips) {
        SCOPED_TRACE(args.back());
        const ProcessResult run = runToolWith(ToolBuild::QuickBoot, args, 30s);
        EXPECT_EQ(run.status, EXIT_USAGE);
        EXPECT_EQ(run.out, "");
        EXPECT_TRUE(contains(run.err, "--log")) << run.err;
    }
    EXPECT_EQ(received(), "") << "the tool opened the unit's port or wrote a trace into it";

    // A device that is no terminal is a file like any other.
    startLoggedUnit();
    const ProcessResult info = runToolWith(ToolBuild::QuickBoot, {"--info", "--log", "/dev/null"}, 60s);
    EXPECT_EQ(info.status, EXIT_UPDATED);
}

TEST_F(OperatorSlip, OperatorTextComesBackEscaped)
{
    // A name that clears the screen and rings the bell when printed raw.
    const std::string port = comDir.file("tty\x1b[2J\x07");
    const std::string log = comDir.file("none\x1b]0;x\x07/trace.log");
    const std::vector<std::vector<std::string>> runs = {
        {"--port", port, "--no-wait"},
        {"--port", port, "--baud", "9600", "--no-wait"},
        {"--info", "--port", port},
        {"--all", "--port", port, "--no-wait"},
        {"--info", "--log", log},
        {"--baud", "96\x1b[2J"},
        {"--port", "\x1b[2J"},
    };
    for (const auto &args : runs) {
        SCOPED_TRACE(args[0] + " " + args[1]);
        const ProcessResult run = runToolWith(ToolBuild::QuickBoot, args, 60s);
        EXPECT_NE(run.status, EXIT_UPDATED);
        EXPECT_FALSE(contains(run.out, "\x1b")) << run.out;
        EXPECT_FALSE(contains(run.err, "\x1b")) << run.err;
        EXPECT_FALSE(contains(run.out, "\x07")) << run.out;
        EXPECT_FALSE(contains(run.err, "\x07")) << run.err;
        EXPECT_TRUE(contains(run.out + run.err, "\\x1b")) << run.out << run.err;
    }
}
