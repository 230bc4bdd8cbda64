#include "UpdateChecks.h"

#include <string>

#include "CarriedVersions.h"
#include "Console.h"
#include "Progress.h"
#include "QueriesAfterReboot.h"
#include "RavelinFwUpgrade.h"
#include "UnitConnection.h"

UpdateDecision decideUpdate(const CommandLine &line, const UnitVersions &unit, bool isTx)
{
    if (!line.leavesCurrentUnits()) {
        return UpdateDecision::Update;
    }
    // Flashing a unit of another logic model never makes it current: every
    // later checked run would flash it again.
    const std::string otherModel = otherLogicModel(unit, isTx);
    if (!otherModel.empty()) {
        Console_Print("\r\nERROR: not supported: %s.\r\n", otherModel.c_str());
        Progress_Failed("not supported: " + otherModel);
        return UpdateDecision::NotSupported;
    }
    const VersionStanding standing = versionStanding(unit, isTx);
    if (standing == VersionStanding::Current && !line.allowReinstall) {
        Console_Print("\r\nNothing to do: the unit already runs the carried versions %s.\r\n",
                      formatCarriedVersions(isTx).c_str());
        return UpdateDecision::LeaveCurrent;
    }
    if (standing == VersionStanding::Newer && !line.allowOlder) {
        Console_Print("\r\nLeft alone: the unit runs %s, newer than the carried versions %s "
                      "(--allow-older installs them).\r\n",
                      formatUnitVersions(unit).c_str(), formatCarriedVersions(isTx).c_str());
        return UpdateDecision::LeaveNewer;
    }
    return UpdateDecision::Update;
}

bool verifyVersionsAfterUpdate(bool isTx)
{
    Progress_Step(ProgressStep::Verifying);
    Console_Print("\n\r\n\rChecking the versions after the update ......  ");
    UnitVersions after;
    if (queryUnitVersionsAfterReboot(&after) == VersionAnswer::NoAnswer) {
        // A line that holds the query back is the cable's fault, not the unit's.
        if (failedOnHeldOutput("FAILED")) {
            return false;
        }
        // Silence is not a unit on other versions: it may well run the
        // carried ones, and saying otherwise would have it flashed again.
        Progress_VersionsAfter(after, false);
        Console_Line("no answer  FAILED\r");
        const std::string why = "the unit did not answer its version query after the reboot";
        Console_Print("ERROR: %s.\r\n", why.c_str());
        Progress_Failed(why);
        return false;
    }
    const UnitKind kind = identifyUnitAfterReboot();
    const bool sameType = kind == (isTx ? UnitKind::Tx : UnitKind::Rx);
    const bool sameDevice = isSupportedDevice(after.fpga_type);
    if (!(after.complete && sameType) && failedOnHeldOutput("FAILED")) {
        return false;
    }
    const bool verified =
        after.complete && sameType && sameDevice && versionStanding(after, isTx) == VersionStanding::Current;
    Progress_VersionsAfter(after, verified);

    const std::string afterText = formatUnitVersions(after);
    Console_Print("%s  ", afterText.c_str());
    if (verified) {
        Console_Line("OK\r");
        return true;
    }
    Console_Line("FAILED\r");
    std::string why;
    if (versionStanding(after, isTx) == VersionStanding::Current) {
        why = "the unit restarted and runs the carried versions " + afterText;
    } else {
        why = "the unit restarted but does not run the carried versions: it runs " + afterText +
              ", this tool carries " + formatCarriedVersions(isTx);
    }
    if (after.complete && !sameDevice) {
        why += "; it reports device code " + std::to_string(after.fpga_type) + ", which this tool has no image for";
    }
    if (!sameType) {
        why += "; it no longer identifies as the " + std::string(isTx ? "TX" : "RX") + " unit";
    }
    Console_Print("ERROR: %s.\r\n", why.c_str());
    Progress_Failed(why);
    return false;
}

UpdatePolicy updatePolicyFor(const CommandLine &line)
{
    UpdatePolicy policy;
    if (line.leavesCurrentUnits()) {
        policy.beforeImages = [&line](const UnitVersions &unit, bool isTx) { return decideUpdate(line, unit, isTx); };
    }
    if (line.verifiesAfterReboot()) {
        policy.afterPrompt = verifyVersionsAfterUpdate;
    }
    return policy;
}
