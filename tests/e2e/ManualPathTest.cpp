// No unit answers discovery, so the operator is asked for the port and the
// baud rate on standard input. Only COM1 to COM32 are scanned: a unit on
// COM40 is reached by the manual path alone.
#include "e2e/UpdateRun.h"
#include "support/Files.h"

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

// A typed answer that is not a number leaves the port at the 0 that
// discovery left, and COM0 does not open.
TEST_F(UpdateRun, TypedAnswerThatIsNotANumberKeepsThePortDiscoveryLeft)
{
    runAndCheck(ToolBuild::QuickBoot, EXIT_NO_CONNECTION, banner() + manualPortPrompt(0) + openFailed(0) + exitPrompt(),
                10s, "COM7\n");
}

// Nobody is there to answer: the run ends as a failed manual connection and
// sends nothing more, not even to the port discovery scanned last (COM32,
// where a unit listens at a rate outside the scan).
TEST_F(UpdateRun, EndOfInputAtThePromptsEndsTheRunAndSendsNothing)
{
    const std::string probe = "%%%help -c version\n\r";
    std::string scan;
    for (int i = 0; i < 12; ++i)
        scan += probe;
    const std::string portPrompt = "FAILED\n\r\n\rEnter the COM port number : ";
    const struct {
        std::optional<std::string> typed;
        std::string prompts;
    } runs[] = {
        {std::nullopt, portPrompt},
        {std::string("32\n"), portPrompt + "\r\nOpening COM32....................OK\r\n\n\r\n\rEnter the BAUD RATE       : "},
    };
    for (const auto &run : runs) {
        TempDir wire;
        SimConfig config = unitOnCom40(19200);
        config.com = 32;
        config.extraArgs = {"--wire-log", wire.file("wire")};
        startUnit(config);
        runAndCheck(ToolBuild::QuickBoot, EXIT_NO_CONNECTION, banner() + run.prompts + inputEnded() + exitPrompt(), 30s,
                    run.typed);
        unit->stop();
        EXPECT_EQ(readFile(wire.file("wire")), scan);
    }
}
