#include "UpdateMode.h"

#include <cstdio>

#include "ComPortAPI.h"
#include "Console.h"
#include "Progress.h"
#include "RavelinFwUpgrade.h"
#include "UnitConnection.h"
#include "UpdateChecks.h"

namespace {

// Ends a run that never reached the update.
int endWithoutUpdate(const char *lastMessage, int status)
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

// The operator types the port and the rate. 1 when both could be used.
bool connectByOperator(void)
{
    Console_Print("FAILED");
    Console_Print("\n\r\n\rEnter the COM port number : ");
    if (!readAnswer(&gComPortNumber)) {
        return false;
    }
    Console_Print("\r\nOpening COM%d....................", gComPortNumber);
    if (!ComPortAPI_OpenCOM(gComPortNumber)) {
        return false;
    }
    Console_Line("OK\r");
    Console_Print("\n\r\n\rEnter the BAUD RATE       : ");
    if (!readAnswer(&gBaudRate)) {
        ComPortAPI_CloseCOM();
        return false;
    }
    Console_Print("\r\nSetting baud rate at %d..........", gBaudRate);
    if (!ComPortAPI_SetBaudRate(gBaudRate)) {
        ComPortAPI_CloseCOM();
        return false;
    }
    Console_Line("OK\r");
    return true;
}

void showConnection(void)
{
    Console_Print("COM PORT Number : %s", shownPortNumber(gComPortNumber).c_str());
    Console_Print("\r\nBaud rate       : %d \r\n\r\n", gBaudRate);
}

// The update as the plain run has always done it, line for line.
int seedUpdate(void)
{
    const BOOL updated = updateFirmware();
    ComPortAPI_CloseCOM();
    if (!updated) {
        Progress_Finish(ProgressResult::Failed, "the update was not successful");
    } else if (!gUpdateConfirmed) {
        Progress_Finish(ProgressResult::NotConfirmed, "no prompt after the reboot");
    } else {
        Progress_Finish(ProgressResult::Updated);
    }
    dipsplayLastMessageToUserBeforeExit(updated ? "" : "\n\rERROR: The update was not successful.\r\n");
    releaseSessionBuffers();
    if (!updated) {
        return EXIT_STATUS_FAILED;
    }
    return gUpdateConfirmed ? EXIT_STATUS_SUCCESS : EXIT_STATUS_NOT_CONFIRMED;
}

// The end of a checked update: the port closed, the last event, the last
// message and the buffers released.
int endCheckedUpdate(ProgressResult result, const char *lastMessage, int status)
{
    ComPortAPI_CloseCOM();
    Progress_Finish(result, "the update was not successful");
    return endWithoutUpdate(lastMessage, status);
}

// The same procedure in its parts, with the checks of --if-needed between
// the product check and the first image, and of the versions after the
// reboot before the success line.
int checkedUpdate(const CommandLine &line)
{
    UnitVersions before;
    int logicIndex = 0;
    if (!checkUnitForUpdate(&before, &logicIndex)) {
        return endCheckedUpdate(ProgressResult::Failed, "\n\rERROR: The update was not successful.\r\n",
                                EXIT_STATUS_FAILED);
    }
    const bool isTx = logicIndex == CATALOGUE_TX_LOGIC;
    switch (decideUpdate(line, before, isTx)) {
    case UpdateDecision::LeaveCurrent:
        return endCheckedUpdate(ProgressResult::UpToDate, "", EXIT_STATUS_SUCCESS);
    case UpdateDecision::LeaveNewer:
        return endCheckedUpdate(ProgressResult::Newer, "", EXIT_STATUS_SUCCESS);
    case UpdateDecision::Update:
        break;
    }
    if (!transferImagesAndAwaitPrompt(logicIndex)) {
        return endCheckedUpdate(ProgressResult::Failed, "\n\rERROR: The update was not successful.\r\n",
                                EXIT_STATUS_FAILED);
    }
    if (!gUpdateConfirmed) {
        Progress_Failed("no prompt after the reboot");
        return endCheckedUpdate(ProgressResult::NotConfirmed, "", EXIT_STATUS_NOT_CONFIRMED);
    }
    if (line.verifiesAfterReboot() && !verifyVersionsAfterUpdate(isTx)) {
        return endCheckedUpdate(ProgressResult::NotVerified,
                                "\n\rERROR: The unit restarted but does not run the carried versions.\r\n",
                                EXIT_STATUS_NOT_VERIFIED);
    }
    showUpdateSuccess();
    return endCheckedUpdate(ProgressResult::Updated, "", EXIT_STATUS_SUCCESS);
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
    if (connectsWithoutProbe(line)) {
        Console_Print("\n\r\n\rOpening %s....................", ComPortAPI_PortName(chosenPort(line)).c_str());
        if (!connectAsChosen(line)) {
            reportUnusableChosenPort(line, "\r\n");
            reportRefusedPorts("\r\n");
            Progress_Finish(ProgressResult::Failed, ComPortAPI_PortName(chosenPort(line)) + " could not be opened at " +
                                                        std::to_string(line.baud) + " baud");
            return endWithoutUpdate("\n\rERROR: The update was not successful.\r\n", EXIT_STATUS_FAILED);
        }
        Console_Line("OK\r");
        showConnection();
    } else {
        Console_Print("\n\r\n\rDetecting COM port and Baud Rate..................");
        if (connectAsChosen(line)) {
            Console_Line("OK\r");
            showConnection();
        } else if (line.unattended()) {
            Console_Print("FAILED\r\n\r\nERROR: no unit answered on %s.\r\n", searchedPlaces(line).c_str());
            if (line.namesPort()) {
                reportUnusableChosenPort(line, "");
                reportRefusedPorts("");
            }
            Progress_Finish(ProgressResult::NotFound, "no unit answered on " + searchedPlaces(line));
            return endWithoutUpdate("\n\rERROR: The update was not successful.\r\n", EXIT_STATUS_FAILED);
        } else if (!connectByOperator()) {
            return endWithoutUpdate("", EXIT_STATUS_NO_CONNECTION);
        }
    }
    Progress_Connected(ComPortAPI_PortName(gComPortNumber), gBaudRate);
    ComPortAPI_SetHardwareFlowControl(1);

    return line.leavesCurrentUnits() || line.verifiesAfterReboot() ? checkedUpdate(line) : seedUpdate();
}
