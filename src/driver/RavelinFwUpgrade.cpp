#include "RavelinFwUpgrade.h"

#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "BinImage.h"
#include "ComPortAPI.h"
#include "Console.h"
#include "Encoder.h"
#include "FileAPI.h"
#include "IntelHex.h"
#include "Progress.h"
#include "StringOperations.h"
#include "Trace.h"

char *gHexFirmware = nullptr;
char *gHexFPGA_Code = nullptr;
uint8_t *gDataConcatenated = nullptr;
char *gDataBuffer = nullptr;
uint32_t gDataConcatenatedCheckSum = 0;
int gDataConcatenatedLenght = 0;
int gComPortNumber = 0;
int gBaudRate = 0;
BOOL gUpdateConfirmed = 0;
BOOL gWaitForKeyAtExit = 1;

// A reply may be as long as a whole read; these work buffers are far too big
// for a Windows thread's 1 MiB stack, so they live here for the whole run.
static char responseReceivedCopy[DATA_BUFFER_SIZE];
static unsigned char bufferBase64[WEB_BASE64_BUFFER_SIZE];

#define READ_REQUEST_SIZE (DATA_BUFFER_SIZE - 1)
#define HEX_LINE_BUFFER_SIZE 100

const int kTrialBaudRates[TRIAL_BAUD_RATE_COUNT] = {115200, 9600, 57600, 4800, 2400, 1200};

BOOL StrRemoveNL(char *str, char ch)
{
    const size_t length = strlen(str);
    for (size_t i = 0; i < length; ++i) {
        if (str[i] == '\n' || str[i] == '\r') {
            str[i] = ch;
        }
    }
    return 1;
}

char *newCatalogueTextCopy(int index)
{
    if (index < 0 || index >= AUTOGEN_FILES_COUNT) {
        return nullptr;
    }
    const autogen_files &entry = AUTOGEN_FILES[index];
    char *copy = static_cast<char *>(calloc(static_cast<size_t>(entry.fileDataLength) + HEX_COPY_SPARE, 1));
    if (copy != nullptr) {
        memcpy(copy, entry.fileData, static_cast<size_t>(entry.fileDataLength));
    }
    return copy;
}

static void reportInvalidLine(const char *line)
{
    Console_Line("\r\n intel_hex_line_is_valid \r");
    Console_Print("%s", line);
    Console_Line("\r");
}

// Rebuilds ":" + token in `line`, ended right after the record's checksum:
// the token's first CR or LF ends the record, and what follows it (blank
// lines) is dropped, so only a record too long for the buffer is refused.
static BOOL rebuildHexLine(char (&line)[HEX_LINE_BUFFER_SIZE], const char *token)
{
    const size_t recordLength = strcspn(token, "\r\n");
    const size_t room = HEX_LINE_BUFFER_SIZE - 2;
    line[0] = ':';
    const size_t copied = recordLength < room ? recordLength : room;
    memcpy(line + 1, token, copied);
    line[1 + copied] = '\0';
    return recordLength <= room;
}

// Applies one rebuilt record to the image: data records are written at
// their offset, extended linear address records move the offset, other types
// are passed over. 0 when the record is invalid or cannot be placed: a bad
// checksum or start code, data reaching past the image buffer, or an extended
// linear address record without the second data byte the offset comes from.
// For data and address records the data array doubles as the validity check
// (it is null exactly for an invalid line) instead of a separate check as
// well; a data record is checked once more when its address is read.
static BOOL placeHexRecord(char *line, uint32_t &memory_offset)
{
    const BOOL isData = intel_hex_line_is_data_record(line);
    if (!isData && !intel_hex_line_is_extended_linear_address_record(line)) {
        return intel_hex_line_is_valid(line) == INTEL_HEX_STRING_OK;
    }

    uint8_t *data_contents = new_u8_data_array_from_intel_hex_string(line);
    if (data_contents == nullptr) {
        return 0;
    }
    const uint8_t data_length = intel_hex_line_data_length(line);
    BOOL placed = 1;
    if (!isData) {
        placed = data_length >= 2;
        if (placed) {
            memory_offset = static_cast<uint32_t>(data_contents[1]) << 16;
        }
    } else {
        const uint32_t address = memory_offset + intel_hex_line_address(line);
        placed = address + data_length <= CONCAT_BUFFER_SIZE;
        if (placed) {
            memcpy(gDataConcatenated + address, data_contents, data_length);
            gDataConcatenatedLenght = static_cast<int>(address + data_length);
        }
    }
    free(data_contents);
    return placed;
}

BOOL ValidateFwAndConcatenateData(char *gHexData)
{
    memset(gDataConcatenated, 0xFF, CONCAT_BUFFER_SIZE);
    gDataConcatenatedLenght = 0;
    uint32_t memory_offset = 0;

    char **extractedHexLine = str_split(gHexData, ":");
    if (extractedHexLine == nullptr) {
        Console_Line("\r\nNUL extractedHexLine \r");
        return 0;
    }

    BOOL valid = 1;
    char intelHexStringLine[HEX_LINE_BUFFER_SIZE];
    for (int index = 0; valid && extractedHexLine[index] != nullptr; ++index) {
        valid = rebuildHexLine(intelHexStringLine, extractedHexLine[index]) &&
                placeHexRecord(intelHexStringLine, memory_offset);
        if (!valid) {
            reportInvalidLine(intelHexStringLine);
        }
    }

    free(extractedHexLine);
    return valid;
}

uint32_t computeImageCheckSum(void)
{
    uint32_t checkSum = 0;
    for (int index = 0; index < gDataConcatenatedLenght; ++index) {
        checkSum -= gDataConcatenated[index];
    }
    gDataConcatenatedCheckSum = checkSum;
    return checkSum;
}

// Reads once into gDataBuffer and ends the text behind what arrived.
static int readIntoDataBuffer(void)
{
    int nBytesRead = 0;
    ComPortAPI_ReadCOM(gDataBuffer, READ_REQUEST_SIZE, &nBytesRead);
    if (nBytesRead < 0 || nBytesRead > READ_REQUEST_SIZE) {
        nBytesRead = 0;
    }
    gDataBuffer[nBytesRead] = '\0';
    return nBytesRead;
}

// Whether the text collected so far can still turn out to be `expected`.
static bool canStillEqual(const char *reply, size_t replyLength, const char *expected)
{
    return replyLength <= strlen(expected) && memcmp(reply, expected, replyLength) == 0;
}

// Gathers the reply into `reply` until a whole read window stays silent. Each
// chunk counts up to its first NUL. The reply is taken as it stands, without
// waiting for silence, as soon as one of these holds:
// - `comparedWith` is given and the text can no longer equal it (it is
//   longer, or differs from its beginning): the mismatch is decided, and a
//   port that talks without pause costs one window, as a silent one does;
// - the accumulator holds READ_REQUEST_SIZE characters;
// - REPLY_COLLECTION_LIMIT_WINDOWS windows of the read time-out in force have
//   passed, counted in wall time from the first read, so that nothing (a
//   dribble of NULs, a reply that is not compared) keeps the tool reading for
//   ever. A reply, split or not, and its closing silent window fit well inside.
// What the unit sends after that stays on the line for the next read.
static void collectReply(char *reply, const char *comparedWith)
{
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::milliseconds(static_cast<long long>(g_cto.ReadTotalTimeoutConstant) *
                                                    REPLY_COLLECTION_LIMIT_WINDOWS);
    size_t replyLength = 0;
    long totalBytesRead = 0;
    reply[0] = '\0';
    for (;;) {
        const int nBytesRead = readIntoDataBuffer();
        if (nBytesRead == 0) {
            return;
        }
        size_t chunkLength = strlen(gDataBuffer);
        const size_t room = READ_REQUEST_SIZE - replyLength;
        if (chunkLength > room) {
            chunkLength = room;
        }
        memcpy(reply + replyLength, gDataBuffer, chunkLength);
        replyLength += chunkLength;
        reply[replyLength] = '\0';
        totalBytesRead += nBytesRead;
        if ((comparedWith != nullptr && !canStillEqual(reply, replyLength, comparedWith)) ||
            totalBytesRead >= READ_REQUEST_SIZE || std::chrono::steady_clock::now() >= deadline) {
            return;
        }
    }
}

BOOL sendCommand(const char *commandToSend, BOOL isEchoON, BOOL validateResponse, const char *expectedResponse)
{
    Console_DiscardInput();

    const int written = (isEchoON == 1)
                            ? snprintf(gDataBuffer, DATA_BUFFER_SIZE, "%s\n\r", commandToSend)
                            : snprintf(gDataBuffer, DATA_BUFFER_SIZE, "%%%%%s\n\r", commandToSend);
    int nBytesWritten = 0;
    if (written < 0 || written >= DATA_BUFFER_SIZE ||
        !ComPortAPI_WriteCOM(gDataBuffer, static_cast<int>(strlen(gDataBuffer)), &nBytesWritten)) {
        Console_Line("\r\nError occurred when sending data !\r");
        return 0;
    }
    if (expectedResponse == nullptr) {
        return 1;
    }

    collectReply(responseReceivedCopy, validateResponse == 1 ? expectedResponse : nullptr);
    if (validateResponse == 1 && strcmp(responseReceivedCopy, expectedResponse) != 0) {
        return 0;
    }
    return 1;
}

// C0 controls other than CR and LF, DEL, and the C1 controls, which some
// terminals take as the start of an escape sequence.
static bool isShownEscaped(unsigned char c)
{
    return (c < 0x20 && c != '\r' && c != '\n') || (c >= 0x7f && c <= 0x9f);
}

std::string shownUnitText(const char *text)
{
    std::string shown;
    for (const unsigned char *c = reinterpret_cast<const unsigned char *>(text); *c != '\0'; ++c) {
        if (isShownEscaped(*c)) {
            char escaped[5];
            snprintf(escaped, sizeof escaped, "\\x%02x", *c);
            shown += escaped;
        } else {
            shown += static_cast<char>(*c);
        }
    }
    return shown;
}

static void erasePercentage(int percentage)
{
    Console_Print(percentage <= 9 ? "\b\b" : "\b\b\b");
}

BOOL sendData(const uint8_t *dataToSend, int dataToSendLength, BOOL validateResponse, const char *expectedResponse)
{
    if (dataToSendLength < 0) {
        Console_Line("\r\nError occurred when sending data !\r");
        return 0;
    }
    Console_DiscardInput();
    Console_Print("1%%");
    Progress_Percent(1);
    if (dataToSendLength == 0) {
        return 1;
    }
    Trace_StreamBegin(dataToSendLength);
    ComPortAPI_BeginStream();

    int dataSent = 0;
    int percentage = 0;
    while (dataSent < dataToSendLength) {
        int nBytesWritten = 0;
        const int remaining = dataToSendLength - dataSent;
        if (remaining > STREAM_PIECE_SIZE) {
            if (!ComPortAPI_WriteCOM(dataToSend + dataSent, STREAM_PIECE_SIZE, &nBytesWritten)) {
                Progress_Failed("the image could not be written to the port");
                return 0;
            }
            dataSent += STREAM_PIECE_SIZE;
            erasePercentage(percentage);
            percentage = static_cast<int>(static_cast<long long>(dataSent) * 100 / dataToSendLength);
            Console_Print("%d%%", percentage);
            Progress_Percent(percentage);
        } else {
            if (!ComPortAPI_WriteCOM(dataToSend + dataSent, remaining, &nBytesWritten)) {
                Progress_Failed("the image could not be written to the port");
                return 0;
            }
            erasePercentage(percentage);
            Console_Print("100%%");
            Progress_Percent(100);
            Console_DiscardInput();
            dataSent = dataToSendLength;
        }
    }

    if (expectedResponse == nullptr) {
        return 1;
    }
    // The reply can only come once the unit has the whole stream.
    ComPortAPI_AwaitStreamCarried();
    collectReply(responseReceivedCopy, validateResponse == 1 ? expectedResponse : nullptr);
    if (validateResponse == 1 && strcmp(responseReceivedCopy, expectedResponse) != 0) {
        Console_Print("\r\nExpected : %s  received : %s\r\n", expectedResponse,
                      shownUnitText(responseReceivedCopy).c_str());
        Console_Line("\r\nError: Expected response did  not matched !\r");
        Progress_UnexpectedReply(expectedResponse, responseReceivedCopy);
        return 0;
    }
    return 1;
}

const char *lastCollectedReply(void)
{
    return responseReceivedCopy;
}

BOOL detectUnitAmong(int firstPort, int lastPort, const int *rates, int rateCount)
{
    char ResponseExpected[100];
    snprintf(ResponseExpected, sizeof ResponseExpected, "%s", DISCOVERY_EXPECTED_REPLY);

    for (int i = firstPort; i <= lastPort; ++i) {
        if (!ComPortAPI_ProbeCOM(i)) {
            gComPortNumber = 0;
            gBaudRate = 0;
            continue;
        }
        gComPortNumber = i;
        ComPortAPI_CloseCOM();

        for (int r = 0; r < rateCount; ++r) {
            const int rate = rates[r];
            // No port is open here: the rate is only recorded, and the open applies it.
            ComPortAPI_SetBaudRate(rate);
            if (!ComPortAPI_OpenCOM(i)) {
                continue;
            }
            gBaudRate = rate;
            if (sendCommand(DISCOVERY_PROBE_COMMAND, 0, 1, ResponseExpected)) {
                return 1;
            }
            if (sendCommand(DISCOVERY_PROBE_COMMAND, 0, 1, ResponseExpected)) {
                return 1;
            }
            ComPortAPI_CloseCOM();
        }
    }
    return 0;
}

BOOL detectComPortAndBaudrate(void)
{
    return detectUnitAmong(1, DISCOVERY_LAST_COM_PORT, kTrialBaudRates, TRIAL_BAUD_RATE_COUNT);
}

static void buildAnnouncement(char (&commandToSend)[100], const char *command)
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

static const ImageTransfer kLogicTransfer = {
    "\r\nERROR: Programmable Logic data is not valid !\r",
    "Preparing to Upload Programmable Logic ............ ",
    "%fw -l ",
    10000,
    "Sending Programmable Logic data ................... ",
    ProgressStep::Logic,
};

static const ImageTransfer kFirmwareTransfer = {
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
static BOOL transferImage(char *hexText, const ImageTransfer &transfer)
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

static BOOL isUnitPrompt(const char *text)
{
    const size_t length = strlen(text);
    return length >= 2 && text[0] == '[' && text[length - 1] == '>' && text[length - 2] == '>';
}

namespace {

// Reads the version reply field by field, as "%d.%d.%d %7s %d.%d %d" would,
// but a number is taken only when it fits an int: a device code such as
// 4294967303 must not wrap round to a supported one. Each reader skips the
// white space before its field and leaves the cursor behind what it took;
// false when the field is not there or its number is out of range.
class VersionReplyReader {
public:
    explicit VersionReplyReader(const char *text) : at_(text) {}

    bool number(int *value)
    {
        skipSpace();
        const char *p = at_;
        const bool negative = *p == '-';
        if (*p == '-' || *p == '+') {
            ++p;
        }
        if (!isDigit(*p)) {
            return false;
        }
        // Gathered as a negative number, which reaches INT_MIN as well.
        long long magnitude = 0;
        for (; isDigit(*p); ++p) {
            magnitude = magnitude * 10 + (*p - '0');
            if (magnitude > static_cast<long long>(INT_MAX) + 1) {
                return false;
            }
        }
        if (!negative && magnitude > INT_MAX) {
            return false;
        }
        *value = static_cast<int>(negative ? -magnitude : magnitude);
        at_ = p;
        return true;
    }

    bool literal(char expected)
    {
        if (*at_ != expected) {
            return false;
        }
        ++at_;
        return true;
    }

    // At most `size` - 1 characters up to the next white space.
    template <size_t size>
    bool word(char (&out)[size])
    {
        skipSpace();
        size_t length = 0;
        while (length + 1 < size && at_[length] != '\0' && !isSpace(at_[length])) {
            out[length] = at_[length];
            ++length;
        }
        out[length] = '\0';
        at_ += length;
        return length > 0;
    }

private:
    static bool isDigit(char c) { return c >= '0' && c <= '9'; }
    static bool isSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
    void skipSpace()
    {
        while (isSpace(*at_)) {
            ++at_;
        }
    }

    const char *at_;
};

}  // namespace

BOOL queryUnitVersions(UnitVersions *versions)
{
    *versions = UnitVersions{0, 0, 0, "", 0, 0, -1, 0};
    sendCommand("%fw -v", 0, 0, nullptr);
    readIntoDataBuffer();
    StrRemoveNL(gDataBuffer, ' ');
    VersionReplyReader reply(gDataBuffer);
    versions->complete = reply.number(&versions->fw_ver) && reply.literal('.') && reply.number(&versions->fw_rev) &&
                         reply.literal('.') && reply.number(&versions->fw_sub) && reply.word(versions->model) &&
                         reply.number(&versions->fpga_ver) && reply.literal('.') &&
                         reply.number(&versions->fpga_rev) && reply.number(&versions->fpga_type);
    return versions->complete;
}

BOOL checkUnitForUpdate(UnitVersions *versions, int *logicIndex)
{
    int page_idx = 0;
    UnitVersions &unit = *versions;

    gUpdateConfirmed = 0;
    ComPortAPI_SetReadingTimeoutInMs(1000);
    if (queryUnitVersions(&unit)) {
        Console_Print("Checking firmware version ..............  %d.%02d.%02d \r\n", unit.fw_ver, unit.fw_rev, unit.fw_sub);
        Console_Print("Checking fpga version ..................  %s %d.%02d  device:%d\r\n",
               shownUnitText(unit.model).c_str(), unit.fpga_ver,
               unit.fpga_rev, unit.fpga_type);
        Progress_Versions(unit);
    }

    Console_Print("Checking product .......... ");
    if (unit.fpga_type != DEVICE_XC7A75_676) {
        Console_Line("FAILED, Unknown product\r");
        Progress_Failed(unit.complete ? "unknown product: device code " + std::to_string(unit.fpga_type)
                                      : std::string("the unit's version reply is not one this tool reads"));
        return 0;
    }
    if (sendCommand("%fw -p", 0, 1, VALIDATE_TX_PRODUCT_ID_STRING)) {
        Console_Line("TX OK\r");
        Console_Print("%s", VALIDATE_TX_PRODUCT_ID_STRING);
        Console_Line("\r");
        page_idx = CATALOGUE_TX_LOGIC;
        Progress_UnitType(true);
    } else if (sendCommand("%fw -p", 0, 1, VALIDATE_RX_PRODUCT_ID_STRING)) {
        Console_Line("RX OK\r");
        Console_Print("%s", VALIDATE_RX_PRODUCT_ID_STRING);
        Console_Line("\r");
        page_idx = CATALOGUE_RX_LOGIC;
        Progress_UnitType(false);
    } else {
        Console_Line("FAILED\r");
        Progress_Failed("the unit's identification is neither the TX nor the RX unit's");
        return 0;
    }
    *logicIndex = page_idx;
    return 1;
}

BOOL transferImagesAndAwaitPrompt(int logicIndex)
{
    const int max_cnt = REBOOT_WAIT_STEPS;

    gUpdateConfirmed = 0;
    free(gHexFPGA_Code);
    gHexFPGA_Code = newCatalogueTextCopy(logicIndex);
    if (gHexFPGA_Code == nullptr) {
        Console_Line("Memoire insuffisante");
        Progress_Failed("out of memory");
        return 0;
    }

    if (!transferImage(gHexFPGA_Code, kLogicTransfer)) {
        return 0;
    }
    Console_Line("OK\r");
    // The unit takes the firmware announcement at 115200 baud as well: the
    // port stays at the stream rate until both images are through.
    if (!transferImage(gHexFirmware, kFirmwareTransfer)) {
        return 0;
    }

    ComPortAPI_SetBaudRate(gBaudRate);
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

    gUpdateConfirmed = isUnitPrompt(gDataBuffer);
    return 1;
}

void showUpdateSuccess(void)
{
    Console_Line("\n\r\n\rThe update was successful, the unit is now operational\r");
}

BOOL updateFirmware(void)
{
    UnitVersions unit;
    int logicIndex = 0;
    if (!checkUnitForUpdate(&unit, &logicIndex) || !transferImagesAndAwaitPrompt(logicIndex)) {
        return 0;
    }
    if (gUpdateConfirmed) {
        showUpdateSuccess();
    }
    return 1;
}

int dipsplayLastMessageToUserBeforeExit(const char *lastMessage)
{
    Console_Print("%s", lastMessage);
    if (!gWaitForKeyAtExit) {
        Console_Print("\r\n");
        return -1;
    }
    Console_Print("\r\nPress any key to exit");
    return Console_ReadKey();
}

static void appendLine(char (&header)[100], const char *text)
{
    strcat(header, text);
    strcat(header, "\r\n");
}

// The header, then the Base64 text in lines of 928 characters with CR LF
// between them, into a replacement of the package that takes its name only
// when every byte reached the disk. 0 after the file module's error line.
static BOOL writeWebPackage(const char *header, int bodyLength)
{
    unsigned char tempBufferBase64[FIRMWARE_CHUNCK_SIZE_FOR_WEB + 2];
    if (!FileAPI_CreateReplacement(FIRMWARE_FILE_NAME_FOR_WEB)) {
        return 0;
    }
    BOOL written =
        FileAPI_writeToFileBinary(reinterpret_cast<const uint8_t *>(header), static_cast<uint32_t>(strlen(header)));
    int remainingByte = bodyLength;
    int currentIndex = 0;
    while (written && remainingByte > FIRMWARE_CHUNCK_SIZE_FOR_WEB) {
        memcpy(tempBufferBase64, bufferBase64 + currentIndex, FIRMWARE_CHUNCK_SIZE_FOR_WEB);
        currentIndex += FIRMWARE_CHUNCK_SIZE_FOR_WEB;
        remainingByte -= FIRMWARE_CHUNCK_SIZE_FOR_WEB;
        tempBufferBase64[FIRMWARE_CHUNCK_SIZE_FOR_WEB] = '\r';
        tempBufferBase64[FIRMWARE_CHUNCK_SIZE_FOR_WEB + 1] = '\n';
        written = FileAPI_writeToFileBinary(tempBufferBase64, FIRMWARE_CHUNCK_SIZE_FOR_WEB + 2);
    }
    if (written && remainingByte > 0) {
        memcpy(tempBufferBase64, bufferBase64 + currentIndex, static_cast<size_t>(remainingByte));
        written = FileAPI_writeToFileBinary(tempBufferBase64, static_cast<uint32_t>(remainingByte));
    }
    if (!written) {
        FileAPI_DiscardReplacement();
        return 0;
    }
    return FileAPI_CommitReplacement();
}

BOOL createFirmwareFileForWeb(void)
{
    char tempString[25];
    char header[100];
    int dataLengthBase64 = WEB_BASE64_BUFFER_SIZE;

    snprintf(header, sizeof header, "%s", FIRMWARE_FILE_HEADER_FOR_WEB);
    appendLine(header, FIRMWARE_VERSION_TO_UPLOAD);

    if (!ValidateFwAndConcatenateData(gHexFirmware)) {
        Console_Line("\r\nERROR: Firmware data is not valid !\r");
        return 0;
    }
    Console_Line("\r\n Firmware data is valid !\r");

    computeImageCheckSum();
    snprintf(tempString, sizeof tempString, "%u", gDataConcatenatedCheckSum);
    appendLine(header, tempString);
    Console_Print("\r\n Firmware CheckSum = %s !\r\n", tempString);
    Console_Print("\r\n Firmware CheckSum u = %u !\r\n", gDataConcatenatedCheckSum);
    snprintf(tempString, sizeof tempString, "%d", gDataConcatenatedLenght);
    appendLine(header, tempString);
    Console_Print("\r\n Firmware data length = %d !\r\n", gDataConcatenatedLenght);

    // The whole package is known before any of it is written. An empty image
    // encodes to nothing and the encoder then leaves the length untouched,
    // so the body is empty by definition.
    int bodyLength = 0;
    if (gDataConcatenatedLenght > 0) {
        if (base64_encode(bufferBase64, &dataLengthBase64, gDataConcatenated, gDataConcatenatedLenght) != 0) {
            Console_Line("\r\n ERROR BASE 64 !\r");
            dipsplayLastMessageToUserBeforeExit("");
            return 0;
        }
        bodyLength = dataLengthBase64;
    }
    for (int back = 1; back <= 4 && back <= bodyLength; ++back) {
        if (bufferBase64[bodyLength - back] == '=') {
            bufferBase64[bodyLength - back] = 'A';
        }
    }

    const BOOL written = writeWebPackage(header, bodyLength);
    if (!written) {
        Console_Line("\r\nERROR: The web package was not written; an existing " FIRMWARE_FILE_NAME_FOR_WEB
             " is left as it was.\r");
    }
    dipsplayLastMessageToUserBeforeExit("");
    return written;
}

BOOL allocateSessionBuffers(void)
{
    gHexFirmware = newCatalogueTextCopy(CATALOGUE_MCU_FIRMWARE);
    gDataConcatenated = static_cast<uint8_t *>(calloc(CONCAT_BUFFER_SIZE + CONCAT_BUFFER_SPARE, 1));
    if (gDataConcatenated != nullptr) {
        memset(gDataConcatenated, 0xFF, CONCAT_BUFFER_SIZE);
    }
    gDataBuffer = static_cast<char *>(calloc(DATA_BUFFER_SIZE, 1));
    if (gHexFirmware == nullptr || gDataConcatenated == nullptr || gDataBuffer == nullptr) {
        Console_Line("Memoire insuffisante");
        releaseSessionBuffers();
        return 0;
    }
    return 1;
}

void releaseSessionBuffers(void)
{
    free(gDataBuffer);
    free(gDataConcatenated);
    free(gHexFirmware);
    free(gHexFPGA_Code);
    gDataBuffer = nullptr;
    gDataConcatenated = nullptr;
    gHexFirmware = nullptr;
    gHexFPGA_Code = nullptr;
}
