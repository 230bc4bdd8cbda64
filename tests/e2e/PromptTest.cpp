// A reboot that ends without a proper prompt: the images went through, but
// the unit did not confirm, so the run shows no success line and ends with
// its own exit status, apart from a confirmed update.
#include "e2e/UpdateRun.h"

using namespace std::chrono_literals;

namespace {

SimConfig unitWith(const char *fault)
{
    SimConfig config;
    config.faults = {fault};
    return config;
}

}  // namespace

TEST_F(UpdateRun, PromptEndingInOneAngleBracketShowsNoSuccessLine)
{
    startUnit(unitWith("bad-prompt"));
    runAndCheck(ToolBuild::QuickBoot, EXIT_NOT_CONFIRMED,
                banner() + discovered(1, 115200) + updateSteps(UnitType::Tx) + exitPrompt(), 120s);
}

TEST_F(UpdateRun, SilenceAfterTheRebootShowsNoSuccessLine)
{
    startUnit(unitWith("no-prompt"));
    runAndCheck(ToolBuild::QuickBoot, EXIT_NOT_CONFIRMED,
                banner() + discovered(1, 115200) + updateSteps(UnitType::Tx) + exitPrompt(), 120s);
}
