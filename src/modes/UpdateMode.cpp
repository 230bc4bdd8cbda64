#include "UpdateMode.h"

#include <cstdio>
#include <optional>

#include "ComPortAPI.h"
#include "Console.h"
#include "Progress.h"
#include "RavelinFwUpgrade.h"
#include "UnitConnection.h"
#include "UpdateChecks.h"

namespace {

// The end of every run: its last message and the buffers released.
int endRun(const char *lastMessage, int status)
{
    dipsplayLastMessageToUserBeforeExit(lastMessage);
    releaseSessionBuffers();
    return status;
}

// Reads one answer at a prompt. End of input means nobody is there to
// answer: the run must end rather than go on with a number nobody typed.
bool readAnswer(int *value)
{
    if (!Console_ReadDecimal(value) && Console_InputEnded()) {
        Console_Print("\r\nERROR: no answer, the input has ended !");
        return false;
    }
    return true;
}

// The operator types the port and the rate, into the records discovery
// keeps. The link when both could be used.
std::optional<UnitLink> connectByOperator(void)
{
    Console_Print("FAILED");
    Console_Print("\n\r\n\rEnter the COM port number : ");
    if (!readAnswer(&gComPortNumber)) {
        return std::nullopt;
    }
    Console_Print("\r\nOpening COM%d....................", gComPortNumber);
    if (!ComPortAPI_OpenCOM(gComPortNumber)) {
        return std::nullopt;
    }
    Console_Line("OK\r");
    Console_Print("\n\r\n\rEnter the BAUD RATE       : ");
    if (!readAnswer(&gBaudRate)) {
        ComPortAPI_CloseCOM();
        return std::nullopt;
    }
    Console_Print("\r\nSetting baud rate at %d..........", gBaudRate);
    if (!ComPortAPI_SetBaudRate(gBaudRate)) {
        ComPortAPI_CloseCOM();
        return std::nullopt;
    }
    Console_Line("OK\r");
    return UnitLink{gComPortNumber, gBaudRate};
}

void showConnection(const UnitLink &link)
{
    Console_Print("COM PORT Number : %s", shownPortNumber(link.port).c_str());
    Console_Print("\r\nBaud rate       : %d \r\n\r\n", link.baud);
}

// The update of the connected unit, with the checks the command line asks
// for (none on the plain run), then the port closed, the last event, the
// last message and the buffers released.
int updateConnectedUnit(const CommandLine &line, const UnitLink &link)
{
    const UpdateOutcome outcome = updateFirmware(link.baud, updatePolicyFor(line));
    ComPortAPI_CloseCOM();
    ProgressResult result = ProgressResult::Failed;
    const char *lastMessage = "";
    int status = EXIT_STATUS_FAILED;
    switch (outcome) {
    case UpdateOutcome::Failed:
        lastMessage = "\n\rERROR: The update was not successful.\r\n";
        break;
    case UpdateOutcome::LeftCurrent:
        result = ProgressResult::UpToDate;
        status = EXIT_STATUS_SUCCESS;
        break;
    case UpdateOutcome::LeftNewer:
        result = ProgressResult::Newer;
        status = EXIT_STATUS_SUCCESS;
        break;
    case UpdateOutcome::NotConfirmed:
        result = ProgressResult::NotConfirmed;
        status = EXIT_STATUS_NOT_CONFIRMED;
        break;
    case UpdateOutcome::NotVerified:
        result = ProgressResult::NotVerified;
        lastMessage = "\n\rERROR: The unit restarted but does not run the carried versions.\r\n";
        status = EXIT_STATUS_NOT_VERIFIED;
        break;
    case UpdateOutcome::Updated:
        result = ProgressResult::Updated;
        status = EXIT_STATUS_SUCCESS;
        break;
    }
    Progress_Finish(result, "the update was not successful");
    return endRun(lastMessage, status);
}

}  // namespace

int runUpdate(const CommandLine &line)
{
    Progress_Searching(chosenPortName(line));
    if (!allocateSessionBuffers()) {
        Progress_Finish(ProgressResult::Failed, "out of memory");
        return EXIT_STATUS_FAILED;
    }

    Console_Print("\n\rYou are about to upload the firmware version %s", FIRMWARE_VERSION_TO_UPLOAD);
    std::optional<UnitLink> link;
    if (connectsWithoutProbe(line)) {
        Console_Print("\n\r\n\rOpening %s....................", ComPortAPI_PortName(chosenPort(line)).c_str());
        link = connectAsChosen(line);
        if (!link) {
            reportUnusableChosenPort(line, "\r\n");
            reportRefusedPorts("\r\n");
            Progress_Finish(ProgressResult::Failed, ComPortAPI_PortName(chosenPort(line)) + " could not be opened at " +
                                                        std::to_string(line.baud) + " baud");
            return endRun("\n\rERROR: The update was not successful.\r\n", EXIT_STATUS_FAILED);
        }
        Console_Line("OK\r");
        showConnection(*link);
    } else {
        Console_Print("\n\r\n\rDetecting COM port and Baud Rate..................");
        link = connectAsChosen(line);
        if (link) {
            Console_Line("OK\r");
            showConnection(*link);
        } else if (line.unattended()) {
            Console_Print("FAILED\r\n\r\nERROR: no unit answered on %s.\r\n", searchedPlaces(line).c_str());
            if (line.namesPort()) {
                reportUnusableChosenPort(line, "");
                reportRefusedPorts("");
            }
            Progress_Finish(ProgressResult::NotFound, "no unit answered on " + searchedPlaces(line));
            return endRun("\n\rERROR: The update was not successful.\r\n", EXIT_STATUS_FAILED);
        } else if (!(link = connectByOperator())) {
            return endRun("", EXIT_STATUS_NO_CONNECTION);
        }
    }
    Progress_Connected(ComPortAPI_PortName(link->port), link->baud);
    ComPortAPI_SetHardwareFlowControl(1);
    return updateConnectedUnit(line, *link);
}
