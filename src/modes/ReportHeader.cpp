#include "ReportHeader.h"

#include "CarriedVersions.h"
#include "HostName.h"
#include "RavelinFwUpgrade.h"

RunReport reportHeader(const CommandLine &line, int argc, const char *const *argv)
{
    RunReport report;
    report.toolVersion = FIRMWARE_VERSION_TO_UPLOAD;
    report.carried.mcu = formatMcuVersion(carriedMcuVersion());
    report.carried.logicTx = formatLogicVersion(carriedLogicVersion(true));
    report.carried.logicRx = formatLogicVersion(carriedLogicVersion(false));
    report.carried.device = DEVICE_XC7A75_676;
    report.host = HostName_Get();
    report.started = reportTimeNow();
    for (int i = 0; i < argc; ++i) {
        report.commandLine.push_back(argv[i] != nullptr ? argv[i] : "");
    }
    report.mode = line.mode == RunMode::Info || (line.mode == RunMode::All && line.allInfo) ? "info" : "update";
    return report;
}
