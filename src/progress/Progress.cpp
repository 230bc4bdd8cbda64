#include "Progress.h"

namespace {

FILE *gEvents = nullptr;
void (*gObserver)(const ProgressEvent &event) = nullptr;
ProgressEvent gState;
std::string gFailure;
bool gNotSupported = false;

void emit(void)
{
    if (gObserver != nullptr) {
        gObserver(gState);
    }
    if (gEvents == nullptr) {
        return;
    }
    fprintf(gEvents, "%s\n", formatProgressEvent(gState).c_str());
    // A reader waits on each line as it comes.
    fflush(gEvents);
}

std::string twoDigits(int number)
{
    char text[16];
    snprintf(text, sizeof text, "%02d", number);
    return text;
}

std::string mcuText(const UnitVersions &versions)
{
    return std::to_string(versions.fw_ver) + "." + twoDigits(versions.fw_rev) + "." + twoDigits(versions.fw_sub);
}

std::string logicText(const UnitVersions &versions)
{
    return std::string(versions.model) + " " + std::to_string(versions.fpga_ver) + "." + twoDigits(versions.fpga_rev);
}

}  // namespace

void Progress_WriteEventsTo(FILE *events)
{
    gEvents = events;
}

void Progress_Observe(void (*observer)(const ProgressEvent &event))
{
    gObserver = observer;
}

void Progress_Searching(const std::string &port)
{
    gState = ProgressEvent();
    gState.port = port;
    gFailure.clear();
    gNotSupported = false;
    emit();
}

void Progress_Connected(const std::string &port, int baud)
{
    gState.port = port;
    gState.baud = baud;
    gState.step = ProgressStep::Checking;
    gState.percent = -1;
    // What went wrong while searching is not why a found unit fails.
    gFailure.clear();
    gNotSupported = false;
    emit();
}

void Progress_Versions(const UnitVersions &versions)
{
    gState.versionsKnown = true;
    gState.mcuVersion = mcuText(versions);
    gState.logicVersion = logicText(versions);
    gState.deviceCode = versions.fpga_type;
    emit();
}

void Progress_VersionsAfter(const UnitVersions &versions, bool verified)
{
    // A reply that did not read holds no versions to show.
    gState.versionsAfterKnown = versions.complete != 0;
    if (gState.versionsAfterKnown) {
        gState.mcuVersionAfter = mcuText(versions);
        gState.logicVersionAfter = logicText(versions);
        gState.deviceCodeAfter = versions.fpga_type;
    }
    gState.verified = verified;
    emit();
}

void Progress_UnitType(bool isTx)
{
    gState.unitType = isTx ? "TX" : "RX";
    emit();
}

void Progress_Step(ProgressStep step)
{
    gState.step = step;
    gState.percent = step == ProgressStep::Verifying ? -1 : 0;
    emit();
}

void Progress_Percent(int percent)
{
    // Within a step the share only grows; the stream's display may show 1%
    // before the first piece's 0%, but a program reading events need not.
    if (percent <= gState.percent) {
        return;
    }
    gState.percent = percent;
    emit();
}

void Progress_Failed(const std::string &why)
{
    if (gFailure.empty()) {
        gFailure = why;
    }
}

void Progress_NotSupported(const std::string &why)
{
    if (gFailure.empty()) {
        gFailure = why;
        gNotSupported = true;
    }
}

void Progress_UnexpectedReply(const char *expected, const char *received)
{
    if (received[0] == '\0') {
        Progress_Failed(std::string("no answer where \"") + expected + "\" was expected");
    } else {
        Progress_Failed(std::string("the unit answered \"") + received + "\" instead of \"" + expected + "\"");
    }
}

void Progress_Finish(ProgressResult result, const std::string &fallback)
{
    const bool succeeded = result == ProgressResult::Updated || result == ProgressResult::Identified ||
                           result == ProgressResult::UpToDate || result == ProgressResult::Newer;
    if (!succeeded) {
        gState.during = gState.step;
        gState.message = gFailure.empty() ? fallback : gFailure;
        gState.notSupported = gNotSupported && result == ProgressResult::Failed;
    }
    gState.step = succeeded ? ProgressStep::Done : ProgressStep::Failed;
    if (succeeded) {
        gState.percent = -1;
    }
    gState.result = result;
    emit();
}

void Progress_FinishIdentified(bool upToDate, bool newerThanCarried)
{
    gState.upToDate = upToDate;
    gState.newerThanCarried = newerThanCarried;
    Progress_Finish(ProgressResult::Identified);
}
