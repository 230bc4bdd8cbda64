#include "InfoMode.h"

#include <cstdio>
#include <optional>

#include "CarriedVersions.h"
#include "ComPortAPI.h"
#include "Console.h"
#include "Progress.h"
#include "RavelinFwUpgrade.h"
#include "UnitConnection.h"

namespace {

void field(const char *name, const std::string &value)
{
    Console_Print("%-21s: %s\r\n", name, value.c_str());
}

// A query has no key wait: its report ends the output, for scripts to read.
int finish(int status)
{
    ComPortAPI_CloseCOM();
    releaseSessionBuffers();
    return status;
}

}  // namespace

int runInfo(const CommandLine &line)
{
    Progress_Searching(chosenPortName(line));
    if (!allocateSessionBuffers()) {
        Progress_Finish(ProgressResult::Failed, "out of memory");
        return EXIT_STATUS_FAILED;
    }
    const std::optional<UnitLink> link = connectAsChosen(line);
    if (!link) {
        Console_Print("\r\nNo unit answered on %s.\r\n", searchedPlaces(line).c_str());
        reportUnusableChosenPort(line, "");
        reportRefusedPorts("");
        Progress_Finish(ProgressResult::NotFound, "no unit answered on " + searchedPlaces(line));
        return finish(EXIT_STATUS_FAILED);
    }
    Progress_Connected(ComPortAPI_PortName(link->port), link->baud);
    ComPortAPI_SetHardwareFlowControl(1);
    ComPortAPI_SetReadingTimeoutInMs(1000);

    field("Port", ComPortAPI_PortName(link->port));
    field("Baud rate", std::to_string(link->baud));
    UnitVersions unit;
    if (!queryUnitVersions(&unit)) {
        if (failedOnHeldOutput()) {
            Progress_Finish(ProgressResult::Failed);
            return finish(EXIT_STATUS_FAILED);
        }
        Console_Print("\r\nNOT SUPPORTED: the unit's version reply is not one this tool reads.\r\n");
        Progress_NotSupported("the unit's version reply is not one this tool reads");
        Progress_Finish(ProgressResult::Failed);
        return finish(EXIT_STATUS_FAILED);
    }
    char text[64];
    snprintf(text, sizeof text, "%d.%02d.%02d", unit.fw_ver, unit.fw_rev, unit.fw_sub);
    field("MCU firmware", text);
    snprintf(text, sizeof text, " %d.%02d", unit.fpga_ver, unit.fpga_rev);
    field("Programmable logic", shownUnitText(unit.model) + text);
    field("Device code", std::to_string(unit.fpga_type));
    Progress_Versions(unit);
    if (!isSupportedDevice(unit.fpga_type)) {
        Console_Print("\r\nNOT SUPPORTED: device code %d; this tool updates device code %d only.\r\n", unit.fpga_type,
               DEVICE_XC7A75_676);
        Progress_NotSupported("unknown product: device code " + std::to_string(unit.fpga_type));
        Progress_Finish(ProgressResult::Failed);
        return finish(EXIT_STATUS_FAILED);
    }
    const UnitKind kind = identifyUnit();
    if (kind == UnitKind::Unknown) {
        if (failedOnHeldOutput()) {
            Progress_Finish(ProgressResult::Failed);
            return finish(EXIT_STATUS_FAILED);
        }
        field("Unit", "unknown");
        Console_Print("\r\nNOT SUPPORTED: the unit's identification is neither the TX nor the RX unit's.\r\n");
        Progress_NotSupported("the unit's identification is neither the TX nor the RX unit's");
        Progress_Finish(ProgressResult::Failed);
        return finish(EXIT_STATUS_FAILED);
    }
    const bool isTx = kind == UnitKind::Tx;
    field("Unit", isTx ? "TX" : "RX");
    Progress_UnitType(isTx);

    const McuVersion carriedMcu = carriedMcuVersion();
    const LogicVersion carriedLogic = carriedLogicVersion(isTx);
    field("Carried MCU firmware", formatMcuVersion(carriedMcu));
    field("Carried logic", formatLogicVersion(carriedLogic));
    const VersionStanding standing = versionStanding(unit, isTx);
    Console_Print("%s\r\n", standing == VersionStanding::Current ? INFO_UP_TO_DATE
                             : standing == VersionStanding::Newer ? INFO_NEWER_THAN_CARRIED
                                                                   : INFO_UPDATE_NEEDED);
    Progress_FinishIdentified(standing == VersionStanding::Current, standing == VersionStanding::Newer);
    return finish(EXIT_STATUS_SUCCESS);
}
