// Updates that the unit stops: each failure shows its own line, then the
// verdict, and the run ends with exit status 1. Units sit on COM1 at
// 115200, found by the first probe.
#include "e2e/UpdateRun.h"

#include "RavelinFwUpgrade.h"

using namespace std::chrono_literals;

namespace {

SimConfig unitWith(std::vector<std::string> faults, std::vector<std::string> extraArgs = {})
{
    SimConfig config;
    config.faults = std::move(faults);
    config.extraArgs = std::move(extraArgs);
    return config;
}

std::string found() { return banner() + discovered(1, 115200); }
std::string failed() { return exitPrompt(failedVerdict()); }
std::string identifiedTx() { return versionLines(simVersion()) + productCheck() + identified(UnitType::Tx); }
int logicLength() { return static_cast<int>(catalogueImage(CATALOGUE_TX_LOGIC).size()); }

}  // namespace

TEST_F(UpdateRun, UnitWithAnotherDeviceCodeIsRefusedAfterShowingItsVersions)
{
    startUnit(unitWith({}, {"--device-code", "3"}));
    runAndCheck(ToolBuild::QuickBoot, EXIT_UPDATE_FAILED,
                found() + versionLines(simVersion(3)) + productCheck() + unknownProduct() + failed(), 60s);
}

TEST_F(UpdateRun, VersionReplyWithFewerThanSevenFieldsShowsNoVersionsAndIsRefused)
{
    startUnit(unitWith({"short-version"}));
    runAndCheck(ToolBuild::QuickBoot, EXIT_UPDATE_FAILED, found() + productCheck() + unknownProduct() + failed(),
                60s);
}

TEST_F(UpdateRun, UnknownIdentificationIsRefused)
{
    startUnit(unitWith({"unknown-id"}));
    runAndCheck(ToolBuild::QuickBoot, EXIT_UPDATE_FAILED,
                found() + versionLines(simVersion()) + productCheck() + stepFailed() + failed(), 60s);
}

TEST_F(UpdateRun, UnitThatIsNotReadyForTheLogicImageGetsNoStream)
{
    startUnit(unitWith({"not-ready"}));
    runAndCheck(ToolBuild::QuickBoot, EXIT_UPDATE_FAILED,
                found() + identifiedTx() + logicAnnouncement() + unitNotReady() + failed(), 60s);
}

TEST_F(UpdateRun, WrongReplyAfterTheLogicStreamShowsWhatCameBack)
{
    startUnit(unitWith({"bad-stream-reply"}));
    runAndCheck(ToolBuild::QuickBoot, EXIT_UPDATE_FAILED,
                found() + identifiedTx() + logicAnnouncement() + lineOk() + logicStreamLabel() +
                    streamDisplay(logicLength()) + streamMismatch("ERROR: flash write") + stepFailed() + failed(),
                60s);
}

// Escape sequences from a confused unit must not reach the terminal: they
// are shown as \xNN, and only CR and LF pass as they came.
TEST_F(UpdateRun, ControlCharactersInAWrongStreamReplyAreShownEscaped)
{
    startUnit(unitWith({"escape-stream-reply"}));
    runAndCheck(ToolBuild::QuickBoot, EXIT_UPDATE_FAILED,
                found() + identifiedTx() + logicAnnouncement() + lineOk() + logicStreamLabel() +
                    streamDisplay(logicLength()) +
                    streamMismatch("\\x1b[2J\\x1b[31mERROR: flash\r\nwrite\\x07\\x1b[0m") + stepFailed() + failed(),
                60s);
}

// The unit takes half the image and vanishes. How many more pieces the tool
// got out depends on what the pseudo-terminal buffered, so the display may
// stop a few pieces past the half; it must stop there and fail the update.
TEST_F(UpdateRun, HangupInTheMiddleOfTheLogicStreamFailsTheUpdate)
{
    startUnit(unitWith({"hangup-mid-stream"}));
    const ProcessResult run = runTool(ToolBuild::QuickBoot, 60s);

    const std::string beforeStream = found() + identifiedTx() + logicAnnouncement() + lineOk() + logicStreamLabel();
    const int written = piecesShownAboutHalfWay(run.out, beforeStream, stepFailed(), logicLength());
    expectRun(run, EXIT_UPDATE_FAILED,
              beforeStream + streamDisplayCut(logicLength(), written) + stepFailed() + failed());
}

// The unit stops reading half way through the logic image and keeps the
// line open, as a unit that holds CTS low would: the write must give up and
// say why, not wait for ever. The quick build gives up sooner than 60 s.
TEST_F(UpdateRun, UnitThatStopsTakingTheStreamFailsTheUpdate)
{
    startUnit(unitWith({"stop-reading-mid-stream"}));
    const ProcessResult run = runTool(ToolBuild::QuickBoot, 60s);

    const std::string beforeStream = found() + identifiedTx() + logicAnnouncement() + lineOk() + logicStreamLabel();
    const int written = piecesShownAboutHalfWay(run.out, beforeStream, "\r\n", logicLength());
    expectRun(run, EXIT_UPDATE_FAILED,
              beforeStream + streamDisplayCut(logicLength(), written) +
                  unitStoppedTakingData(QUICKBOOT_WRITE_STALL_LIMIT_MS) + stepFailed() + failed());
}
