#include "UpdateMode.h"

#include <cstdio>

#include "ComPortAPI.h"
#include "Console.h"
#include "Progress.h"
#include "RavelinFwUpgrade.h"
#include "UnitConnection.h"

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
        printf("\r\nERROR: no answer, the input has ended !");
        return false;
    }
    return true;
}

// The operator types the port and the rate. 1 when both could be used.
bool connectByOperator(void)
{
    printf("FAILED");
    printf("\n\r\n\rEnter the COM port number : ");
    if (!readAnswer(&gComPortNumber)) {
        return false;
    }
    printf("\r\nOpening COM%d....................", gComPortNumber);
    if (!ComPortAPI_OpenCOM(gComPortNumber)) {
        return false;
    }
    puts("OK\r");
    printf("\n\r\n\rEnter the BAUD RATE       : ");
    if (!readAnswer(&gBaudRate)) {
        ComPortAPI_CloseCOM();
        return false;
    }
    printf("\r\nSetting baud rate at %d..........", gBaudRate);
    if (!ComPortAPI_SetBaudRate(gBaudRate)) {
        ComPortAPI_CloseCOM();
        return false;
    }
    puts("OK\r");
    return true;
}

void showConnection(void)
{
    printf("COM PORT Number : %d", gComPortNumber);
    printf("\r\nBaud rate       : %d \r\n\r\n", gBaudRate);
}

}  // namespace

int runUpdate(const CommandLine &line)
{
    Progress_Searching(chosenPortName(line));
    if (!allocateSessionBuffers()) {
        Progress_Finish(ProgressResult::Failed, "out of memory");
        return EXIT_STATUS_FAILED;
    }

    printf("\n\rYou are about to upload the firmware version %s", FIRMWARE_VERSION_TO_UPLOAD);
    if (connectsWithoutProbe(line)) {
        printf("\n\r\n\rOpening COM%d....................", line.port);
        if (!connectAsChosen(line)) {
            Progress_Finish(ProgressResult::Failed, comPortName(line.port) + " could not be opened at " +
                                                        std::to_string(line.baud) + " baud");
            return endWithoutUpdate("\n\rERROR: The update was not successful.\r\n", EXIT_STATUS_FAILED);
        }
        puts("OK\r");
        showConnection();
    } else {
        printf("\n\r\n\rDetecting COM port and Baud Rate..................");
        if (connectAsChosen(line)) {
            puts("OK\r");
            showConnection();
        } else if (line.unattended()) {
            printf("FAILED\r\n\r\nERROR: no unit answered on %s.\r\n", searchedPlaces(line).c_str());
            Progress_Finish(ProgressResult::NotFound, "no unit answered on " + searchedPlaces(line));
            return endWithoutUpdate("\n\rERROR: The update was not successful.\r\n", EXIT_STATUS_FAILED);
        } else if (!connectByOperator()) {
            return endWithoutUpdate("", EXIT_STATUS_NO_CONNECTION);
        }
    }
    Progress_Connected(comPortName(gComPortNumber), gBaudRate);
    ComPortAPI_SetHardwareFlowControl(1);

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
