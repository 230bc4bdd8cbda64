// An operator's slips on the command line: a --log that names a serial port
// or another terminal is refused before anything is opened.
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
