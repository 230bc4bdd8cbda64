#include "UpdateChecks.h"

#include <string>

#include "CarriedVersions.h"
#include "ComPortAPI.h"
#include "Console.h"
#include "Progress.h"
#include "RavelinFwUpgrade.h"
#include "UnitConnection.h"

UpdateDecision decideUpdate(const CommandLine &line, const UnitVersions &unit, bool isTx)
{
    if (!line.leavesCurrentUnits()) {
        return UpdateDecision::Update;
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
    // The prompt's 11 s window is still in force; the unit answers within
    // one window of the update's own queries.
    ComPortAPI_SetReadingTimeoutInMs(1000);
    UnitVersions after;
    queryUnitVersions(&after);
    const UnitKind kind = identifyUnit();
    const bool sameType = kind == (isTx ? UnitKind::Tx : UnitKind::Rx);
    if (!(after.complete && sameType) && failedOnHeldOutput("FAILED")) {
        return false;
    }
    const bool verified = after.complete && sameType && versionStanding(after, isTx) == VersionStanding::Current;
    Progress_VersionsAfter(after, verified);

    const std::string afterText = formatUnitVersions(after);
    Console_Print("%s  ", afterText.c_str());
    if (verified) {
        Console_Line("OK\r");
        return true;
    }
    Console_Line("FAILED\r");
    std::string why = "the unit restarted but does not run the carried versions: it runs " + afterText +
                      ", this tool carries " + formatCarriedVersions(isTx);
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
