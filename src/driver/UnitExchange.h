// The command and data exchange with the unit: a command line out, an image
// streamed, and the reply gathered until the line stays silent.
#ifndef UNIT_EXCHANGE_H
#define UNIT_EXCHANGE_H

#include <cstdint>
#include <string>

#include "Platform.h"

#define DATA_BUFFER_SIZE (1024 * 1000)

#define STREAM_BAUD_RATE 115200
#define STREAM_PIECE_SIZE 10240

extern char *gDataBuffer;  // command line out, every read in

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

// One read of the time-out in force into gDataBuffer, ended by a NUL behind
// what arrived; the number of bytes read.
int readIntoDataBuffer(void);

// Text from the unit as the console shows it: control characters other than
// CR and LF (C0, DEL, C1) as \xNN, so that a confused unit cannot clear,
// recolour or retitle the operator's terminal, and a backslash as \\, so that
// a text holding "\x07" cannot be read as one holding a BEL. Anything else
// stays as it came.
std::string shownUnitText(const char *text);

// Asked where a reply window has ended without the reply, before the verdict
// on the reply: 1 when the port still holds what the tool wrote (a line whose
// CTS stays low while CTS flow control is on), after saying so on the
// console, "ERROR: " COM_PORT_OUTPUT_HELD_TEXT " !", preceded by
// `openStepVerdict` (such as "FAILED") where a step's label waits for its
// word, and as the reason of the failure for the progress events. The unit
// has heard nothing then: a verdict on its reply would send the operator
// after the unit's firmware when the cable is at fault.
BOOL failedOnHeldOutput(const char *openStepVerdict = nullptr);
// 1 once failedOnHeldOutput has said so in this run.
BOOL heldOutputWasReported(void);

// The reply that the last sendCommand or sendData collected, NUL-terminated.
const char *lastCollectedReply(void);

#endif
