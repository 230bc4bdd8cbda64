// A whole update of an RX unit at 57600 baud on COM2: it is asked for its
// identification twice (first against the TX text), and gets the RX image.
#include "e2e/UpdateRun.h"

#include "RavelinFwUpgrade.h"

using namespace std::chrono_literals;

TEST_F(UpdateRun, RxUnitAt57600OnCom2IsUpdatedWithTheCatalogueImages)
{
    SimConfig config;
    config.com = 2;
    config.baud = 57600;
    config.type = "rx";
    startUnit(config);

    runAndCheck(ToolBuild::QuickBoot, EXIT_UPDATED,
                banner() + discovered(2, 57600) + updateSteps(UnitType::Rx) + successLine() + exitPrompt(), 120s);
    expectImagesReceived(CATALOGUE_RX_LOGIC);
}
