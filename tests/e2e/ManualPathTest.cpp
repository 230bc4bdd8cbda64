// No unit answers discovery, so the operator is asked for the port and the
// baud rate on standard input. Only COM1 to COM32 are scanned: a unit on
// COM40 is reached by the manual path alone.
#include "e2e/UpdateRun.h"

#include "RavelinFwUpgrade.h"

using namespace std::chrono_literals;

namespace {

SimConfig unitOnCom40(int baud)
{
    SimConfig config;
    config.com = 40;
    config.baud = baud;
    return config;
}

}  // namespace

// The port opens at the 9600 baud the line settings start with and is then
// set to the typed 4800, the unit's rate.
TEST_F(UpdateRun, TypedPortAndBaudRateReachAUnitOutsideTheScan)
{
    startUnit(unitOnCom40(4800));
    runAndCheck(ToolBuild::QuickBoot, EXIT_UPDATED,
                banner() + manualPortPrompt(40) + manualBaudPrompt(4800) + lineOk() + updateSteps(UnitType::Tx) +
                    successLine() + exitPrompt(),
                120s, "40\n4800\n");
    expectImagesReceived(CATALOGUE_TX_LOGIC);
}

TEST_F(UpdateRun, TypedPortThatCannotBeOpenedEndsTheRun)
{
    runAndCheck(ToolBuild::QuickBoot, EXIT_NO_CONNECTION, banner() + manualPortPrompt(7) + openFailed(7) + exitPrompt(),
                20s, "7\n");
}

TEST_F(UpdateRun, TypedBaudRateThatCannotBeAppliedEndsTheRun)
{
    startUnit(unitOnCom40(9600));
    runAndCheck(ToolBuild::QuickBoot, EXIT_NO_CONNECTION,
                banner() + manualPortPrompt(40) + manualBaudPrompt(12345) + exitPrompt(), 20s, "40\n12345\n");
}

// Without a number the port stays at the 0 that discovery left, and COM0
// does not open; the run must end at once, not wait for input.
TEST_F(UpdateRun, PromptsWithoutANumberEndTheRunQuickly)
{
    const std::string expected = banner() + manualPortPrompt(0) + openFailed(0) + exitPrompt();
    runAndCheck(ToolBuild::QuickBoot, EXIT_NO_CONNECTION, expected, 10s);
    runAndCheck(ToolBuild::QuickBoot, EXIT_NO_CONNECTION, expected, 10s, "COM7\n");
}
