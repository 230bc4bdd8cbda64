// The tool's only door to the serial line: one port at a time, addressed by
// its COM number, configured from two records that outlive the port.
//
// A device without a COM number (a USB serial adapter on Linux, a device
// named on the command line) is added as a named port and gets a number of
// its own from NAMED_PORT_FIRST on: a number whose Windows COM name would not
// fit, so it never stands for a COM port. The driver addresses it like any.
//
// Opening applies both records whole. Each setter compares the requested
// value with its record, returns 1 at once when it is already there, and
// otherwise stores it and applies the record to the open port; with no port
// open the apply fails (0) and the value waits in the record for the next
// open. Reads are windows of T ms (T = the read time-out in force): they
// return when the requested count has arrived or T ms after they started,
// with what arrived. Writes wait as long as the line keeps taking bytes,
// however slowly; when it takes not one byte for 60 s (WRITE_STALL_LIMIT_MS)
// the write fails with the line "ERROR: The unit stopped taking data: nothing
// was accepted for 60 s !", the only console line besides those of the open.
// Every function returns 1 or 0.
// With no port open, reads and writes fail with a count of 0; so do negative
// counts, and a negative read time-out is refused without being recorded.
#ifndef COM_PORT_API_H
#define COM_PORT_API_H

#include <string>
#include <vector>

#include "Platform.h"

// On Windows, where a process without a console of its own cannot be sent a
// Ctrl-C, a rack asks each port's process to stop through an event: the
// rack puts the inherited event's handle, as a decimal number, in this
// environment variable, and once it is set the process puts back the
// settings of the ports it holds and ends as Ctrl-C ends it.
#define COM_PORT_STOP_EVENT_VARIABLE "RAVELIN_PORT_STOP_EVENT"

#define RX_SIZE 8192
#define TX_SIZE 8192
#define MAX_WAIT_READ 500
#define BAUD_RATE 9600
#define NAMED_PORT_FIRST 100000000

// Why an open or a probe failed.
enum class PortOpenFailure {
    None,          // it did not fail
    Missing,       // no such port
    InUse,         // another program holds it
    NoPermission,  // it exists, but this user may not open it
    Other,         // anything else: not a serial port, a driver error...
};

// A port that exists but refused this run's last attempt to open it.
struct PortRefusal {
    int port;
    PortOpenFailure why;
};

extern HANDLE g_hCOM;        // null at start and after a close; INVALID_HANDLE_VALUE after a failed open
extern COMMTIMEOUTS g_cto;   // both read members hold T; no write time-out
extern DCB g_dcb;            // 8N1, binary, DTR and RTS raised, switchable CTS output flow control

// Prints "ERROR: Opening COM%d failed !" or "ERROR: COM%d configuration failed !"
// (no line end) on failure, with the device in place of COM%d for a named port. Does not close a port that is already open.
BOOL ComPortAPI_OpenCOM(int nId);
// The exclusive open of discovery's probe, without any configuration; the
// result goes to g_hCOM as for an open. Prints nothing.
BOOL ComPortAPI_ProbeCOM(int nId);
// Closes the port if one is open and forgets it (g_hCOM null), so that a
// second close or a later setter never touches a stale descriptor. Always 1.
BOOL ComPortAPI_CloseCOM(void);
BOOL ComPortAPI_ReadCOM(void *buffer, int nBytesToRead, int *pBytesRead);
BOOL ComPortAPI_WriteCOM(const void *buffer, int nBytesToWrite, int *pBytesWritten);
// The bytes written from now on make up one stream, whose reply is awaited
// with ComPortAPI_AwaitStreamCarried.
void ComPortAPI_BeginStream(void);
// Returns once the line has carried the stream: its reply window must not
// open while the driver or the adapter still holds the end of it. Waits for
// the output queue to drain where the system tells its fill, and in any case
// until the bytes written since ComPortAPI_BeginStream could have crossed
// the line at its rate (10 bits a byte), counted from the stream's start;
// never longer than WRITE_STALL_LIMIT_MS, so that a line held shut by its
// CTS cannot hang the run here.
void ComPortAPI_AwaitStreamCarried(void);
// 1 when the open port still holds bytes written to it that the line has not
// sent: the driver's output queue on Linux; on Windows the bytes it queues,
// or its word that CTS holds the output. Asked where a reply window ends
// without the reply: a line whose CTS stays low (a cable without CTS, an
// adapter that does not wire it, a unit held in reset) holds every command
// while CTS flow control is on, and the unit has then heard nothing. 0 with
// no port open, and where the system does not tell.
BOOL ComPortAPI_OutputHeld(void);
// What the tool says of such a line, as the reason of a failure.
#define COM_PORT_OUTPUT_HELD_TEXT \
    "the port could not send: CTS stays low (check that the cable carries CTS, and that the unit is powered)"
BOOL ComPortAPI_SetReadingTimeoutInMs(int timeoutInMs);
// Drops what the port has received and nobody has read yet (and anything
// not yet sent), so that a late tail of one reply is not read as part of
// the next. 0 when no port is open.
BOOL ComPortAPI_DiscardPending(void);
// The read window in force (or recorded for the next open), in milliseconds.
int ComPortAPI_ReadingTimeoutInMs(void);
BOOL ComPortAPI_SetBaudRate(int baudrate);
BOOL ComPortAPI_SetHardwareFlowControl(BOOL isEnable);

// The number by which the device is opened; the same device added twice
// gets the same number.
int ComPortAPI_AddNamedPort(const std::string &device);
// "COM3" for a COM number, the device itself for a named port.
std::string ComPortAPI_PortName(int nId);
// Why the last open or probe failed (None when it succeeded).
PortOpenFailure ComPortAPI_LastOpenFailure(void);
// The ports, in number order, that were in use or not open to this user at
// the last attempt to open them in this run.
std::vector<PortRefusal> ComPortAPI_RefusedPorts(void);

#endif
