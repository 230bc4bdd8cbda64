#include "UnitExchange.h"

#include <chrono>
#include <cstdio>
#include <cstring>

#include "ComPortAPI.h"
#include "Console.h"
#include "Progress.h"
#include "Trace.h"

char *gDataBuffer = nullptr;

// A reply may be as long as a whole read; this work buffer is far too big
// for a Windows thread's 1 MiB stack, so it lives here for the whole run.
static char responseReceivedCopy[DATA_BUFFER_SIZE];

#define READ_REQUEST_SIZE (DATA_BUFFER_SIZE - 1)

int readIntoDataBuffer(void)
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
                          std::chrono::milliseconds(static_cast<long long>(ComPortAPI_ReadingTimeoutInMs()) *
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
        if (*c == '\\') {
            shown += "\\\\";
        } else if (isShownEscaped(*c)) {
            char escaped[5];
            snprintf(escaped, sizeof escaped, "\\x%02x", *c);
            shown += escaped;
        } else {
            shown += static_cast<char>(*c);
        }
    }
    return shown;
}

static BOOL heldOutputReported = 0;

BOOL failedOnHeldOutput(const char *openStepVerdict)
{
    if (!ComPortAPI_OutputHeld()) {
        return 0;
    }
    heldOutputReported = 1;
    if (openStepVerdict != nullptr) {
        Console_Print("%s", openStepVerdict);
    }
    Console_Line("\r\nERROR: " COM_PORT_OUTPUT_HELD_TEXT " !\r");
    Progress_Failed(COM_PORT_OUTPUT_HELD_TEXT);
    return 1;
}

BOOL heldOutputWasReported(void)
{
    return heldOutputReported;
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
        if (failedOnHeldOutput()) {
            return 0;
        }
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
