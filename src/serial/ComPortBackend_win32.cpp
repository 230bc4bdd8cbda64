// The serial port through kernel32, synchronous (no overlapped I/O).
#include "ComPortBackend.h"

#include <cstdint>
#include <cstdlib>

namespace {

// The ports open now, with the settings each had when it was opened: put
// back at the close, and by the console's Ctrl-C, Ctrl-Break and close
// events, which end the process right after the handlers have run. A slot
// is in use while its handle is not null; the settings are written first.
#define HELD_PORT_SLOTS 8
struct HeldPort {
    HANDLE volatile port;
    DCB found;
};
HeldPort gHeldPorts[HELD_PORT_SLOTS];
bool gConsoleGuardSet = false;

// Runs on a thread of its own; a port busy with a read or a write takes the
// settings once that call has come back. FALSE lets the next handler (the
// system's: end the process) have the event.
BOOL WINAPI putBackHeldPorts(DWORD)
{
    for (HeldPort &held : gHeldPorts) {
        const HANDLE port = held.port;
        if (port != NULL) {
            DCB copy = held.found;
            SetCommState(port, &copy);
        }
    }
    return FALSE;
}

// What a console program ended by Ctrl-C exits with.
#define EXIT_CODE_CONTROL_C 0xC000013AUL

DWORD WINAPI awaitStopEvent(LPVOID event)
{
    if (WaitForSingleObject(static_cast<HANDLE>(event), INFINITE) == WAIT_OBJECT_0) {
        putBackHeldPorts(CTRL_BREAK_EVENT);
        ExitProcess(EXIT_CODE_CONTROL_C);
    }
    return 0;
}

// A rack's stop event (see ComPortAPI.h), watched from the process's start,
// so that a process stopped before it opens any port ends at once too. A
// value that is not an event of this process is never signalled: the watch
// ends on its own.
bool watchStopEvent(void)
{
    char value[32] = "";
    const DWORD length = GetEnvironmentVariableA(COM_PORT_STOP_EVENT_VARIABLE, value, sizeof value);
    if (length == 0 || length >= sizeof value) {
        return false;
    }
    SetEnvironmentVariableA(COM_PORT_STOP_EVENT_VARIABLE, NULL);
    char *end = NULL;
    const unsigned long long handleValue = strtoull(value, &end, 10);
    if (end == value || *end != '\0' || handleValue == 0) {
        return false;
    }
    const HANDLE event = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(handleValue));
    const HANDLE watcher = CreateThread(NULL, 0, awaitStopEvent, event, 0, NULL);
    if (watcher == NULL) {
        return false;
    }
    CloseHandle(watcher);
    return true;
}
const bool gStopEventWatched = watchStopEvent();

void holdPort(HANDLE port)
{
    if (!gConsoleGuardSet) {
        gConsoleGuardSet = true;
        SetConsoleCtrlHandler(putBackHeldPorts, TRUE);
    }
    DCB found = {};
    found.DCBlength = sizeof found;
    if (!GetCommState(port, &found)) {
        return;
    }
    for (HeldPort &held : gHeldPorts) {
        if (held.port == NULL) {
            held.found = found;
            held.port = port;
            return;
        }
    }
}

// Puts the port's settings back and forgets it.
void releasePort(HANDLE port)
{
    for (HeldPort &held : gHeldPorts) {
        if (held.port == port) {
            DCB copy = held.found;
            SetCommState(port, &copy);
            held.port = NULL;
        }
    }
}

}  // namespace

HANDLE ComPortBackend_Open(int nId)
{
    char szCOM[16];
    if (!ComPortBackend_DeviceName(nId, szCOM)) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    return ComPortBackend_OpenDevice(szCOM);
}

HANDLE ComPortBackend_OpenDevice(const char *device)
{
    const HANDLE port =
        CreateFileA(device, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_SYSTEM, NULL);
    if (port != INVALID_HANDLE_VALUE) {
        holdPort(port);
    }
    return port;
}

PortOpenFailure ComPortBackend_OpenFailure(void)
{
    switch (GetLastError()) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return PortOpenFailure::Missing;
    // A COM port that another program holds refuses a second open as access denied.
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
        return PortOpenFailure::InUse;
    default:
        return PortOpenFailure::Other;
    }
}

std::string ComPortBackend_LastError(void)
{
    const DWORD error = GetLastError();
    char text[256] = "";
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, NULL, error, 0,
                                        text, sizeof text, NULL);
    std::string words(text, length);
    while (!words.empty() && (words.back() == '\r' || words.back() == '\n' || words.back() == ' ')) {
        words.pop_back();
    }
    return (words.empty() ? "system error" : words) + " (error " + std::to_string(error) + ")";
}

void ComPortBackend_SetupQueues(HANDLE port, DWORD rxSize, DWORD txSize)
{
    SetupComm(port, rxSize, txSize);
}

// The record has no write time-out. The port gets one of a second, so that
// each WriteFile comes back in time to tell a slow line (some bytes taken)
// from one that takes nothing.
#define WRITE_SLICE_MS 1000

BOOL ComPortBackend_SetTimeouts(HANDLE port, const COMMTIMEOUTS *timeouts)
{
    COMMTIMEOUTS copy = *timeouts;
    copy.WriteTotalTimeoutMultiplier = 0;
    copy.WriteTotalTimeoutConstant = WRITE_SLICE_MS < WRITE_STALL_LIMIT_MS ? WRITE_SLICE_MS : WRITE_STALL_LIMIT_MS;
    return SetCommTimeouts(port, &copy) ? 1 : 0;
}

BOOL ComPortBackend_SetState(HANDLE port, const DCB *settings)
{
    DCB copy = *settings;
    return SetCommState(port, &copy) ? 1 : 0;
}

void ComPortBackend_Purge(HANDLE port)
{
    PurgeComm(port, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
}

void ComPortBackend_RaiseDtr(HANDLE port)
{
    EscapeCommFunction(port, SETDTR);
}

BOOL ComPortBackend_Read(HANDLE port, void *buffer, int nBytesToRead, int *pBytesRead)
{
    DWORD bytesRead = 0;
    const BOOL ok = ReadFile(port, buffer, (DWORD)nBytesToRead, &bytesRead, NULL);
    *pBytesRead = (int)bytesRead;
    return ok ? 1 : 0;
}

// A write time-out ends WriteFile with the bytes taken so far; depending on
// the driver it reports success or one of the time-out errors.
static bool isWriteTimeout(DWORD error)
{
    return error == ERROR_TIMEOUT || error == ERROR_SEM_TIMEOUT || error == WAIT_TIMEOUT;
}

PortWrite ComPortBackend_Write(HANDLE port, const void *buffer, int nBytesToWrite, int *pBytesWritten)
{
    const char *bytes = static_cast<const char *>(buffer);
    int sent = 0;
    *pBytesWritten = 0;
    DWORD lastTaken = GetTickCount();
    while (sent < nBytesToWrite) {
        DWORD taken = 0;
        const BOOL ok = WriteFile(port, bytes + sent, (DWORD)(nBytesToWrite - sent), &taken, NULL);
        const DWORD error = ok ? ERROR_SUCCESS : GetLastError();
        sent += (int)taken;
        *pBytesWritten = sent;
        if (!ok && !isWriteTimeout(error)) {
            return PortWrite::Failed;
        }
        if (taken > 0) {
            lastTaken = GetTickCount();
        } else if (GetTickCount() - lastTaken >= WRITE_STALL_LIMIT_MS) {
            return PortWrite::Stalled;
        }
    }
    return PortWrite::Done;
}

BOOL ComPortBackend_WaitOutputDrained(HANDLE port, int timeoutMs)
{
    const DWORD started = GetTickCount();
    for (;;) {
        DWORD errors = 0;
        COMSTAT status = {};
        if (!ClearCommError(port, &errors, &status) || status.cbOutQue == 0) {
            return 1;
        }
        if (GetTickCount() - started >= (DWORD)timeoutMs) {
            return 0;
        }
        Sleep(2);
    }
}

BOOL ComPortBackend_OutputHeld(HANDLE port, std::string &what)
{
    DWORD errors = 0;
    COMSTAT status = {};
    // A write that timed out leaves nothing queued with some drivers, but
    // the CTS hold is still said.
    if (!ClearCommError(port, &errors, &status) || (status.cbOutQue == 0 && !status.fCtsHold)) {
        return 0;
    }
    what = std::to_string(status.cbOutQue) + " bytes in the output queue" + (status.fCtsHold ? ", held by CTS" : "");
    return 1;
}

void ComPortBackend_Close(HANDLE port)
{
    releasePort(port);
    CloseHandle(port);
}
