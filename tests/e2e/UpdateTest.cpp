// A whole update of each unit type, each on a port and at a rate that
// discovery has to work for:
// - a TX unit that talks at 9600 baud on COM3: discovery has to pass over
//   COM1 and COM2 and the 115200 trial, the unit answers the logic
//   announcement at its own rate, the firmware announcement at 115200;
// - an RX unit at 57600 baud on COM2: it is asked for its identification
//   twice (first against the TX text), and gets the RX image.
#include "e2e/UpdateRun.h"

#include "RavelinFwUpgrade.h"

#include <ostream>
#include <string>

using namespace std::chrono_literals;

namespace {

struct UnitOnItsPort {
    const char *name;
    const char *simType;  // unit-sim's --type
    UnitType type;
    int com;
    int baud;
    int logicIndex;  // the catalogue entry whose logic image it must receive
};

void PrintTo(const UnitOnItsPort &unit, std::ostream *out) { *out << unit.name; }

class WholeUpdate : public UpdateRun, public ::testing::WithParamInterface<UnitOnItsPort> {};

TEST_P(WholeUpdate, UnitIsUpdatedWithTheCatalogueImages)
{
    const UnitOnItsPort &given = GetParam();
    SimConfig config;
    config.com = given.com;
    config.baud = given.baud;
    config.type = given.simType;
    startUnit(config);

    runAndCheck(ToolBuild::QuickBoot, EXIT_UPDATED,
                banner() + discovered(given.com, given.baud) + updateSteps(given.type) + successLine() + exitPrompt(),
                120s);
    expectImagesReceived(given.logicIndex);
}

INSTANTIATE_TEST_SUITE_P(EachUnitType, WholeUpdate,
                         ::testing::Values(UnitOnItsPort{"TxAt9600OnCom3", "tx", UnitType::Tx, 3, 9600, CATALOGUE_TX_LOGIC},
                                           UnitOnItsPort{"RxAt57600OnCom2", "rx", UnitType::Rx, 2, 57600, CATALOGUE_RX_LOGIC}),
                         [](const ::testing::TestParamInfo<UnitOnItsPort> &info) { return std::string(info.param.name); });

}  // namespace
