// The tool's only door to the serial line: one port at a time, addressed by
// its COM number, configured from two records that outlive the port.
//
// Opening applies both records whole. Each setter compares the requested
// value with its record, returns 1 at once when it is already there, and
// otherwise stores it and applies the record to the open port; with no port
// open the apply fails (0) and the value waits in the record for the next
// open. Reads are windows of T ms (T = the read time-out in force): they
// return when the requested count has arrived or T ms after they started,
// with what arrived. Writes never time out. Every function returns 1 or 0.
// With no port open, reads and writes fail with a count of 0; so do negative
// counts, and a negative read time-out is refused without being recorded.
#ifndef COM_PORT_API_H
#define COM_PORT_API_H

#include "Platform.h"

#define RX_SIZE 8192
#define TX_SIZE 8192
#define MAX_WAIT_READ 500
#define BAUD_RATE 9600

extern HANDLE g_hCOM;        // null at start and after a close; INVALID_HANDLE_VALUE after a failed open
extern COMMTIMEOUTS g_cto;   // both read members hold T; no write time-out
extern DCB g_dcb;            // 8N1, binary, DTR and RTS raised, switchable CTS output flow control

// Prints "ERROR: Opening COM%d failed !" or "ERROR: COM%d configuration failed !"
// (no line end) on failure. Does not close a port that is already open.
BOOL ComPortAPI_OpenCOM(int nId);
// The exclusive open of discovery's probe, without any configuration; the
// result goes to g_hCOM as for an open. Prints nothing.
BOOL ComPortAPI_ProbeCOM(int nId);
// Closes the port if one is open and forgets it (g_hCOM null), so that a
// second close or a later setter never touches a stale descriptor. Always 1.
BOOL ComPortAPI_CloseCOM(void);
BOOL ComPortAPI_ReadCOM(void *buffer, int nBytesToRead, int *pBytesRead);
BOOL ComPortAPI_WriteCOM(const void *buffer, int nBytesToWrite, int *pBytesWritten);
BOOL ComPortAPI_SetReadingTimeoutInMs(int timeoutInMs);
BOOL ComPortAPI_SetBaudRate(int baudrate);
BOOL ComPortAPI_SetHardwareFlowControl(BOOL isEnable);

#endif
