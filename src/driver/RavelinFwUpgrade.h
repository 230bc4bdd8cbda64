// The update tool's driver: the command and data exchange with the unit,
// discovery of its port and baud rate, binary image assembly, the update
// procedure, the web package writer and the console flow around them.
#ifndef RAVELIN_FW_UPGRADE_H
#define RAVELIN_FW_UPGRADE_H

#include <cstdint>
#include <string>

#include "Platform.h"

#include "ToolVersion.h"  // FIRMWARE_VERSION_TO_UPLOAD
#include "UnitVersions.h"

#define DATA_BUFFER_SIZE (1024 * 1000)
#define CONCAT_BUFFER_SIZE (4 * 1024 * 1024)
#define CONCAT_BUFFER_SPARE 16
#define HEX_COPY_SPARE 16

// Device codes in the last field of the unit's version reply.
#define DEVICE_NONE 0
#define DEVICE_XC7A35_484 1
#define DEVICE_XC7A50_484 2
#define DEVICE_XC7A75_484 3
#define DEVICE_XC7A100_484 4
#define DEVICE_XC7A200_S484 5
#define DEVICE_XC7A200_F484 6
#define DEVICE_XC7A75_676 7
#define DEVICE_XC7A100_676 8
#define DEVICE_XC7A15_484 9

#define VALIDATE_TX_PRODUCT_ID_STRING "Korvan 6G SDI EXTENDER TX OVER FIBER WITH RETURN CHANNEL\r\n>>"
#define VALIDATE_RX_PRODUCT_ID_STRING "Korvan 6G SDI EXTENDER RX OVER FIBER WITH RETURN CHANNEL\r\n>>"

#define DISCOVERY_PROBE_COMMAND "%help -c version"
#define DISCOVERY_EXPECTED_REPLY \
    "version\n\r   version <no parameters> {Get the current firmware version}\r\n>>"
#define DISCOVERY_LAST_COM_PORT 32

#define STREAM_BAUD_RATE 115200
#define STREAM_PIECE_SIZE 10240

// One step of the reboot wait; 46 steps make the wait. Test builds shorten it.
#ifndef REBOOT_WAIT_STEP_MS
#define REBOOT_WAIT_STEP_MS 3000
#endif
#define REBOOT_WAIT_STEPS 46

#define FIRMWARE_FILE_HEADER_FOR_WEB "KorVan\r\n418260\r\n"
#define FIRMWARE_CHUNCK_SIZE_FOR_WEB 928
#define FIRMWARE_FILE_NAME_FOR_WEB "FwToUpload.bin"
#define WEB_BASE64_BUFFER_SIZE (600 * 1024)

// Catalogue indices.
#define CATALOGUE_MCU_FIRMWARE 0
#define CATALOGUE_TX_LOGIC 1
#define CATALOGUE_RX_LOGIC 2

extern char *gHexFirmware;          // MCU HEX text, a private copy of catalogue entry 0
extern char *gHexFPGA_Code;         // programmable-logic HEX text, copied when the unit type is known
extern uint8_t *gDataConcatenated;  // the binary image: CONCAT_BUFFER_SIZE bytes + 16 spare
extern char *gDataBuffer;           // command line out, every read in
extern uint32_t gDataConcatenatedCheckSum;
extern int gDataConcatenatedLenght;
extern int gComPortNumber;
extern int gBaudRate;
// Set by updateFirmware (transferImagesAndAwaitPrompt): 1 when the unit showed its prompt after the reboot.
extern BOOL gUpdateConfirmed;
// 0 ends a run without the "Press any key to exit" wait (an unattended run).
extern BOOL gWaitForKeyAtExit;

// Overwrites every CR and LF up to the NUL that ended str on entry with ch.
BOOL StrRemoveNL(char *str, char ch);

// A writable copy of catalogue entry `index`: its length plus 16 zero bytes,
// so NUL-terminated. Null when out of memory.
char *newCatalogueTextCopy(int index);

// Assembles a whole HEX text (consumed in place) into gDataConcatenated,
// 0xFF-filled, and sets gDataConcatenatedLenght to the end of the last data
// record in text order. Stops at the first invalid line. A record reaching
// past CONCAT_BUFFER_SIZE, a line too long for the 100-character line buffer
// and an extended linear address record with fewer than two data bytes are
// invalid lines too.
BOOL ValidateFwAndConcatenateData(char *gHexData);
// 0 minus the byte sum of the image, modulo 2^32, into gDataConcatenatedCheckSum.
uint32_t computeImageCheckSum(void);

// A reply collection never reads past this many windows of the read time-out
// in force (see sendCommand).
#define REPLY_COLLECTION_LIMIT_WINDOWS 4

// Frames the command as "%%" + command + "\n\r" (bare + "\n\r" when isEchoON
// is 1), writes it and, when expectedResponse is given, collects the reply
// until one silent read window and compares it whole when validateResponse is 1.
// The collection ends sooner, with what it holds: when the reply is compared
// and the text can no longer equal expectedResponse (longer, or differing
// from its beginning); when 1,023,999 bytes have come; and at the latest
// after REPLY_COLLECTION_LIMIT_WINDOWS windows, in wall time. So a port that
// talks without pause ends a compared collection after one window, and no
// collection is endless.
BOOL sendCommand(const char *commandToSend, BOOL isEchoON, BOOL validateResponse, const char *expectedResponse);
// Streams the bytes in 10240-byte pieces with a percentage display, then
// collects and compares the reply as sendCommand does. A negative length is
// refused. A reply that differs is shown with control characters other than
// CR and LF (C0, DEL, C1) written as \xNN.
BOOL sendData(const uint8_t *dataToSend, int dataToSendLength, BOOL validateResponse, const char *expectedResponse);

// Text from the unit as the console shows it: control characters other than
// CR and LF (C0, DEL, C1) as \xNN, so that a confused unit cannot clear,
// recolour or retitle the operator's terminal. Anything else stays as it came.
std::string shownUnitText(const char *text);

// The reply that the last sendCommand or sendData collected, NUL-terminated.
const char *lastCollectedReply(void);

// Sends "%fw -v" and reads its reply with one read of the time-out in force.
// 1 when all seven fields were read.
BOOL queryUnitVersions(UnitVersions *versions);

// The six trial rates, in the order discovery tries them.
extern const int kTrialBaudRates[];
#define TRIAL_BAUD_RATE_COUNT 6

// Scans COM firstPort to COM lastPort at each of the rates, in order, two
// tries each, with the probe open, the close and the records of discovery;
// on 1 the port is left open at the unit's rate and gComPortNumber and
// gBaudRate name it. On 0 they hold what the last port scanned left.
BOOL detectUnitAmong(int firstPort, int lastPort, const int *rates, int rateCount);
// Scans COM1 to COM32 at 115200, 9600, 57600, 4800, 2400 and 1200 baud; on 1
// the port is left open at the unit's rate.
BOOL detectComPortAndBaudrate(void);

// Version query, product check, both transfers, reboot wait and prompt check.
BOOL updateFirmware(void);
// The same in its parts, so that a run can decide between the product check
// and the first image, and check the unit after the reboot before it says
// the update was successful.
// The version query and the product check with their console lines; on 1,
// `versions` holds what the unit reported and `logicIndex` the catalogue
// entry of its logic image (CATALOGUE_TX_LOGIC or CATALOGUE_RX_LOGIC).
BOOL checkUnitForUpdate(UnitVersions *versions, int *logicIndex);
// Both transfers, the reboot wait and the prompt read; sets gUpdateConfirmed
// and prints no success line.
BOOL transferImagesAndAwaitPrompt(int logicIndex);
// "The update was successful, the unit is now operational".
void showUpdateSuccess(void);

// Writes "FwToUpload.bin" from gHexFirmware. 1 when the package was written.
// The package goes into a new file beside it that takes the name only when
// every write, the flush, the sync and the close succeeded; on any failure
// (an image too large to encode included) the new file is removed, an
// existing package, FIFO or link of that name is left as it was, and the
// system's reason is shown.
BOOL createFirmwareFileForWeb(void);

// Prints lastMessage, then "\r\nPress any key to exit", waits for one key.
// With gWaitForKeyAtExit at 0 it ends lastMessage with "\r\n" instead and
// returns -1 without reading anything.
int dipsplayLastMessageToUserBeforeExit(const char *lastMessage);

// The long-lived buffers and the MCU text copy of program entry. Out of
// memory prints "Memoire insuffisante", releases what was allocated and gives 0.
BOOL allocateSessionBuffers(void);
void releaseSessionBuffers(void);

#endif
