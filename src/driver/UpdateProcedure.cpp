#include "UpdateProcedure.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "ComPortAPI.h"
#include "Console.h"
#include "ImageAssembly.h"
#include "Progress.h"
#include "UnitExchange.h"
#include "UnitIdentification.h"

namespace {

void buildAnnouncement(char (&commandToSend)[100], const char *command)
{
    char stringNumber[15];
    snprintf(commandToSend, sizeof commandToSend, "%s", command);
    snprintf(stringNumber, sizeof stringNumber, "%u", gDataConcatenatedCheckSum);
    strcat(commandToSend, stringNumber);
    strcat(commandToSend, " ");
    snprintf(stringNumber, sizeof stringNumber, "%d", gDataConcatenatedLenght);
    strcat(commandToSend, stringNumber);
}

// What differs between the two image transfers.
struct ImageTransfer {
    const char *invalidTextLine;  // printed when the HEX text does not assemble
    const char *preparingLabel;
    const char *announcement;     // the command that precedes checksum and length
    int announcementTimeoutMs;
    const char *sendingLabel;
    ProgressStep step;
};

const ImageTransfer kLogicTransfer = {
    "\r\nERROR: Programmable Logic data is not valid !\r",
    "Preparing to Upload Programmable Logic ............ ",
    "%fw -l ",
    10000,
    "Sending Programmable Logic data ................... ",
    ProgressStep::Logic,
};

const ImageTransfer kFirmwareTransfer = {
    "\r\nERROR: uC Firmware data is not valid !\r",
    "Preparing to Upload Firmware ...................... ",
    "%fw -h ",
    5000,
    "Sending data ...................................... ",
    ProgressStep::Firmware,
};

// Assembles one HEX text, announces the image with its checksum and length,
// and streams it at 115200 baud. Prints each step's line, all but what
// follows a successful stream, which differs between the two images.
BOOL transferImage(char *hexText, const ImageTransfer &transfer)
{
    char commandToSend[100];
    Progress_Step(transfer.step);
    if (!ValidateFwAndConcatenateData(hexText)) {
        Console_Line(transfer.invalidTextLine);
        Progress_Failed("the image this tool carries is not valid");
        return 0;
    }
    Console_Print("%s", transfer.preparingLabel);
    computeImageCheckSum();
    buildAnnouncement(commandToSend, transfer.announcement);
    ComPortAPI_SetReadingTimeoutInMs(transfer.announcementTimeoutMs);
    if (!sendCommand(commandToSend, 0, 1, "Ready")) {
        if (failedOnHeldOutput("FAILED")) {
            return 0;
        }
        Console_Line("FAILED [Unit not ready]\r");
        Progress_Failed("the unit was not ready for the image");
        return 0;
    }
    Console_Line("OK\r");

    Console_Print("%s", transfer.sendingLabel);
    ComPortAPI_SetBaudRate(STREAM_BAUD_RATE);
    ComPortAPI_SetReadingTimeoutInMs(1000);
    Console_DiscardInput();
    if (!sendData(gDataConcatenated, gDataConcatenatedLenght, 1, "SUCCESS")) {
        Console_Line("FAILED\r");
        return 0;
    }
    return 1;
}

BOOL isUnitPrompt(const char *text)
{
    const size_t length = strlen(text);
    return length >= 2 && text[0] == '[' && text[length - 1] == '>' && text[length - 2] == '>';
}

// How the images and the prompt went.
enum class ImagesResult {
    Failed,        // a transfer failed and said so
    Confirmed,     // the unit showed its prompt after the reboot
    NotConfirmed,  // both images went through, no prompt came
};

// The version query and the product check with their console lines. On
// true, `unit` holds what the unit reported and `isTx` which unit it is.
bool checkUnitForUpdate(UnitVersions &unit, bool &isTx)
{
    ComPortAPI_SetReadingTimeoutInMs(1000);
    if (queryUnitVersions(&unit)) {
        Console_Print("Checking firmware version ..............  %d.%02d.%02d \r\n", unit.fw_ver, unit.fw_rev, unit.fw_sub);
        Console_Print("Checking fpga version ..................  %s %d.%02d  device:%d\r\n",
                      shownUnitText(unit.model).c_str(), unit.fpga_ver, unit.fpga_rev, unit.fpga_type);
        Progress_Versions(unit);
    } else if (failedOnHeldOutput()) {
        return false;
    }

    Console_Print("Checking product .......... ");
    if (!isSupportedDevice(unit.fpga_type)) {
        Console_Line("FAILED, Unknown product\r");
        Progress_NotSupported(unit.complete ? "unknown product: device code " + std::to_string(unit.fpga_type)
                                            : std::string("the unit's version reply is not one this tool reads"));
        return false;
    }
    const UnitKind kind = identifyUnitByTurns();
    if (kind == UnitKind::Unknown) {
        if (failedOnHeldOutput("FAILED")) {
            return false;
        }
        Console_Line("FAILED\r");
        Progress_NotSupported("the unit's identification is neither the TX nor the RX unit's");
        return false;
    }
    isTx = kind == UnitKind::Tx;
    Console_Line(isTx ? "TX OK\r" : "RX OK\r");
    Console_Print("%s", isTx ? VALIDATE_TX_PRODUCT_ID_STRING : VALIDATE_RX_PRODUCT_ID_STRING);
    Console_Line("\r");
    Progress_UnitType(isTx);
    return true;
}

// Both transfers, the reboot wait back at unitBaud and the prompt read.
ImagesResult transferImagesAndAwaitPrompt(int logicIndex, int unitBaud)
{
    const int max_cnt = REBOOT_WAIT_STEPS;

    free(gHexFPGA_Code);
    gHexFPGA_Code = newCatalogueTextCopy(logicIndex);
    if (gHexFPGA_Code == nullptr) {
        Console_Line("Memoire insuffisante");
        Progress_Failed("out of memory");
        return ImagesResult::Failed;
    }

    if (!transferImage(gHexFPGA_Code, kLogicTransfer)) {
        return ImagesResult::Failed;
    }
    Console_Line("OK\r");
    // The unit takes the firmware announcement at 115200 baud as well: the
    // port stays at the stream rate until both images are through.
    if (!transferImage(gHexFirmware, kFirmwareTransfer)) {
        return ImagesResult::Failed;
    }

    ComPortAPI_SetBaudRate(unitBaud);
    Console_Print(" OK\n\r\n\r");
    Console_Print("Please wait while the unit is rebooting ........... ");
    Progress_Step(ProgressStep::Rebooting);
    for (int i = 0; i < max_cnt; ++i) {
        Console_Print("%3d%%", i * 100 / max_cnt);
        Progress_Percent(i * 100 / max_cnt);
        Console_SleepMs(REBOOT_WAIT_STEP_MS);
        Console_Print("\b\b\b\b");
    }
    Console_Print("%3d%%", 100);
    Console_DiscardInput();

    // The first window catches what the unit says while it boots; only the
    // second one is expected to hold the prompt.
    readIntoDataBuffer();
    ComPortAPI_SetReadingTimeoutInMs(11000);
    readIntoDataBuffer();
    Console_Print("\b\b\b\b");
    Console_Print("100%%");
    Progress_Percent(100);

    return isUnitPrompt(gDataBuffer) ? ImagesResult::Confirmed : ImagesResult::NotConfirmed;
}

UpdateOutcome leftAlone(UpdateDecision decision)
{
    return decision == UpdateDecision::LeaveCurrent ? UpdateOutcome::LeftCurrent : UpdateOutcome::LeftNewer;
}

}  // namespace

UpdateOutcome updateFirmware(int unitBaud, const UpdatePolicy &policy)
{
    UnitVersions unit;
    bool isTx = false;
    if (!checkUnitForUpdate(unit, isTx)) {
        return UpdateOutcome::Failed;
    }
    if (policy.beforeImages) {
        const UpdateDecision decision = policy.beforeImages(unit, isTx);
        if (decision != UpdateDecision::Update) {
            return leftAlone(decision);
        }
    }
    switch (transferImagesAndAwaitPrompt(isTx ? CATALOGUE_TX_LOGIC : CATALOGUE_RX_LOGIC, unitBaud)) {
    case ImagesResult::Failed:
        return UpdateOutcome::Failed;
    case ImagesResult::NotConfirmed:
        Progress_Failed("no prompt after the reboot");
        return UpdateOutcome::NotConfirmed;
    case ImagesResult::Confirmed:
        break;
    }
    if (policy.afterPrompt && !policy.afterPrompt(isTx)) {
        // A line that held the check's queries says nothing of what the unit runs.
        return heldOutputWasReported() ? UpdateOutcome::Failed : UpdateOutcome::NotVerified;
    }
    Console_Line("\n\r\n\rThe update was successful, the unit is now operational\r");
    return UpdateOutcome::Updated;
}
