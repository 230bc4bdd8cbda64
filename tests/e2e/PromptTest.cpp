// A reboot that ends without a proper prompt: the update itself went
// through, so the run ends as a success, only without the success line.
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
    runAndCheck(ToolBuild::QuickBoot, EXIT_UPDATED,
                banner() + discovered(1, 115200) + updateSteps(UnitType::Tx) + exitPrompt(), 120s);
}

TEST_F(UpdateRun, SilenceAfterTheRebootShowsNoSuccessLine)
{
    startUnit(unitWith("no-prompt"));
    runAndCheck(ToolBuild::QuickBoot, EXIT_UPDATED,
                banner() + discovered(1, 115200) + updateSteps(UnitType::Tx) + exitPrompt(), 120s);
}
