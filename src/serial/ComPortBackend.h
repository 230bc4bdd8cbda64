// What ComPortAPI needs from the operating system, one call per kernel32
// operation it uses. Each platform implements this in its own file; nothing
// outside ComPortAPI (and its tests) includes it.
//
// A port is a HANDLE that is never null: null is ComPortAPI's "no port yet".
// The Windows file is a thin pass-through to kernel32. The POSIX file meets
// the same calls on a tty: COM N is $RAVELIN_COM_DIR/comN when that variable
// is set (and not empty), else $RAVELIN_DEV_DIR/ttyS<N-1>, RAVELIN_DEV_DIR
// being /dev unless set (and not empty); the open is exclusive through flock and
// TIOCEXCL; the line is always raw 8N1, and only BaudRate, fOutxCtsFlow,
// fDtrControl and fRtsControl are taken from the DCB; a read is a window of
// ReadTotalTimeoutConstant ms; a write waits as long as the line keeps taking
// bytes; the close puts back the termios settings that the open found.
#ifndef COM_PORT_BACKEND_H
#define COM_PORT_BACKEND_H

#include <cstdio>
#include <string>

#include "ComPortAPI.h"
#include "Platform.h"

// Forms the Windows device name of COM nId ("\\.\COMn") in the 16-character
// buffer that the open uses. 0 for a number below 1 or one whose name would
// not fit; every platform treats such a port as missing.
inline BOOL ComPortBackend_DeviceName(int nId, char (&szCOM)[16])
{
    if (nId < 1) {
        return 0;
    }
    const int length = snprintf(szCOM, sizeof szCOM, "\\\\.\\COM%d", nId);
    return length > 0 && length < (int)sizeof szCOM;
}

// Exclusive open of COM nId; INVALID_HANDLE_VALUE when the port is missing,
// held, not a serial device, or its name would not fit (see above).
HANDLE ComPortBackend_Open(int nId);
// The same for a device named by its path (POSIX) or its device name (Windows).
HANDLE ComPortBackend_OpenDevice(const char *device);
// Why the last open failed, from the system's error.
PortOpenFailure ComPortBackend_OpenFailure(void);
// The system's words, with its error number, for the last failed call of an
// open, a setting, a read or a write; to be asked right after that call.
std::string ComPortBackend_LastError(void);
void ComPortBackend_SetupQueues(HANDLE port, DWORD rxSize, DWORD txSize);
BOOL ComPortBackend_SetTimeouts(HANDLE port, const COMMTIMEOUTS *timeouts);
// Applies the whole record at once; 0 when the driver refuses a value, such
// as a baud rate it does not support.
BOOL ComPortBackend_SetState(HANDLE port, const DCB *settings);
// Drops everything pending or queued in either direction.
void ComPortBackend_Purge(HANDLE port);
void ComPortBackend_RaiseDtr(HANDLE port);
// Returns when nBytesToRead bytes have arrived or the read time-out has run
// out, with what arrived (1, possibly 0 bytes); 0 when the line failed.
BOOL ComPortBackend_Read(HANDLE port, void *buffer, int nBytesToRead, int *pBytesRead);
// How long a write waits while the line takes not one byte. A unit holds the
// line (CTS low) while it erases flash, but not for a whole minute: a line
// that stays shut that long has stopped for good. Test builds shorten it.
#ifndef WRITE_STALL_LIMIT_MS
#define WRITE_STALL_LIMIT_MS 60000
#endif

enum class PortWrite {
    Done,     // every byte was taken
    Failed,   // the line failed
    Stalled,  // not one byte was taken for WRITE_STALL_LIMIT_MS
};
// Waits as long as the line keeps taking bytes, however slowly; the count
// taken goes to *pBytesWritten whatever the outcome.
PortWrite ComPortBackend_Write(HANDLE port, const void *buffer, int nBytesToWrite, int *pBytesWritten);
// Waits up to timeoutMs for the system's output queue of the port to be
// empty. 1 when it emptied or the system does not tell its fill, 0 when
// bytes were still queued at the end of the wait.
BOOL ComPortBackend_WaitOutputDrained(HANDLE port, int timeoutMs);
// Whether the port holds written bytes the line has not sent yet (see
// ComPortAPI_OutputHeld); 0 when the system does not tell. `what` gets the
// system's figures, for the trace.
BOOL ComPortBackend_OutputHeld(HANDLE port, std::string &what);
void ComPortBackend_Close(HANDLE port);

#endif
