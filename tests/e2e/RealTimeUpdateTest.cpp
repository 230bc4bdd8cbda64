// One whole update with the product's timing: the 46 x 3 s reboot wait of
// the real tool against a unit that takes its default 145 s to boot once
// the line has carried its image, so the prompt has to arrive inside the
// tool's one 11 s listening window.
// The unit takes the images as fast as the pseudo-terminal passes them, so
// after each stream the tool waits out what the line would still need, up
// to its 60 s write stall limit, before it reads the reply. A unit on a real
// line gets the last byte of the MCU image only then; this one gets it about
// 11 s (that image's line time) earlier, and boots that much later instead.
#include "e2e/UpdateRun.h"

#include "RavelinFwUpgrade.h"

using namespace std::chrono_literals;

TEST_F(UpdateRun, TxUnitIsUpdatedWithTheProductTiming)
{
    SimConfig config;
    config.extraArgs = {"--boot-ms", "156000"};
    startUnit(config);

    runAndCheck(ToolBuild::RealTiming, EXIT_UPDATED,
                banner() + discovered(1, 115200) + updateSteps(UnitType::Tx) + successLine() + exitPrompt(), 400s);
    expectImagesReceived(CATALOGUE_TX_LOGIC);
}
