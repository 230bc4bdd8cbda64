// A whole update of a TX unit that talks at 9600 baud on COM3: discovery has
// to pass over COM1 and COM2 and the 115200 trial, the unit answers the
// logic announcement at its own rate, the firmware announcement at 115200.
#include "e2e/UpdateRun.h"

#include "RavelinFwUpgrade.h"

using namespace std::chrono_literals;

TEST_F(UpdateRun, TxUnitAt9600OnCom3IsUpdatedWithTheCatalogueImages)
{
    SimConfig config;
    config.com = 3;
    config.baud = 9600;
    config.type = "tx";
    startUnit(config);

    runAndCheck(ToolBuild::QuickBoot, EXIT_UPDATED,
                banner() + discovered(3, 9600) + updateSteps(UnitType::Tx) + successLine() + exitPrompt(), 120s);
    expectImagesReceived(CATALOGUE_TX_LOGIC);
}
