#include "ComPortAPI.h"

#include <cstdio>

#include "ComPortBackend.h"

HANDLE g_hCOM = nullptr;

COMMTIMEOUTS g_cto = {
    MAX_WAIT_READ,  // ReadIntervalTimeout
    0,              // ReadTotalTimeoutMultiplier
    MAX_WAIT_READ,  // ReadTotalTimeoutConstant
    0,              // WriteTotalTimeoutMultiplier
    0,              // WriteTotalTimeoutConstant
};

DCB g_dcb = {
    sizeof(DCB),         // DCBlength
    BAUD_RATE,           // BaudRate
    1,                   // fBinary
    0,                   // fParity
    1,                   // fOutxCtsFlow
    0,                   // fOutxDsrFlow
    DTR_CONTROL_ENABLE,  // fDtrControl
    0,                   // fDsrSensitivity
    0,                   // fTXContinueOnXoff
    0,                   // fOutX
    0,                   // fInX
    0,                   // fErrorChar
    0,                   // fNull
    RTS_CONTROL_ENABLE,  // fRtsControl
    0,                   // fAbortOnError
    0,                   // fDummy2
    0,                   // wReserved
    256,                 // XonLim
    256,                 // XoffLim
    8,                   // ByteSize
    NOPARITY,            // Parity
    ONESTOPBIT,          // StopBits
    0x11,                // XonChar
    0x13,                // XoffChar
    0x3F,                // ErrorChar
    0x1A,                // EofChar
    0x10,                // EvtChar
    0,                   // wReserved1
};

static bool portIsOpen(void)
{
    return g_hCOM != nullptr && g_hCOM != INVALID_HANDLE_VALUE;
}

BOOL ComPortAPI_OpenCOM(int nId)
{
    g_hCOM = ComPortBackend_Open(nId);
    if (g_hCOM == INVALID_HANDLE_VALUE) {
        printf("ERROR: Opening COM%d failed !", nId);
        fflush(stdout);
        return 0;
    }
    ComPortBackend_SetupQueues(g_hCOM, RX_SIZE, TX_SIZE);
    if (!ComPortBackend_SetTimeouts(g_hCOM, &g_cto) || !ComPortBackend_SetState(g_hCOM, &g_dcb)) {
        printf("ERROR: COM%d configuration failed !", nId);
        fflush(stdout);
        ComPortAPI_CloseCOM();
        return 0;
    }
    ComPortBackend_Purge(g_hCOM);
    ComPortBackend_RaiseDtr(g_hCOM);
    return 1;
}

BOOL ComPortAPI_ProbeCOM(int nId)
{
    g_hCOM = ComPortBackend_Open(nId);
    return g_hCOM != INVALID_HANDLE_VALUE;
}

BOOL ComPortAPI_CloseCOM(void)
{
    if (portIsOpen()) {
        ComPortBackend_Close(g_hCOM);
    }
    // Forget the handle, so that a second close or a later setter can never
    // reach a descriptor that the system has since given to someone else.
    g_hCOM = nullptr;
    return 1;
}

BOOL ComPortAPI_ReadCOM(void *buffer, int nBytesToRead, int *pBytesRead)
{
    if (pBytesRead == nullptr) {
        return 0;
    }
    *pBytesRead = 0;
    if (!portIsOpen() || nBytesToRead < 0 || (buffer == nullptr && nBytesToRead > 0)) {
        return 0;
    }
    return ComPortBackend_Read(g_hCOM, buffer, nBytesToRead, pBytesRead);
}

BOOL ComPortAPI_WriteCOM(const void *buffer, int nBytesToWrite, int *pBytesWritten)
{
    if (pBytesWritten == nullptr) {
        return 0;
    }
    *pBytesWritten = 0;
    if (!portIsOpen() || nBytesToWrite < 0 || (buffer == nullptr && nBytesToWrite > 0)) {
        return 0;
    }
    return ComPortBackend_Write(g_hCOM, buffer, nBytesToWrite, pBytesWritten);
}

BOOL ComPortAPI_SetReadingTimeoutInMs(int timeoutInMs)
{
    // A negative time-out would turn into a window of about 49 days.
    if (timeoutInMs < 0) {
        return 0;
    }
    const DWORD timeout = (DWORD)timeoutInMs;
    if (g_cto.ReadIntervalTimeout == timeout) {
        return 1;
    }
    g_cto.ReadIntervalTimeout = timeout;
    g_cto.ReadTotalTimeoutConstant = timeout;
    return portIsOpen() && ComPortBackend_SetTimeouts(g_hCOM, &g_cto);
}

BOOL ComPortAPI_SetBaudRate(int baudrate)
{
    const DWORD rate = (DWORD)baudrate;
    if (g_dcb.BaudRate == rate) {
        return 1;
    }
    g_dcb.BaudRate = rate;
    return portIsOpen() && ComPortBackend_SetState(g_hCOM, &g_dcb);
}

BOOL ComPortAPI_SetHardwareFlowControl(BOOL isEnable)
{
    const DWORD ctsFlow = (DWORD)isEnable & 1u;
    if (g_dcb.fOutxCtsFlow == ctsFlow) {
        return 1;
    }
    g_dcb.fOutxCtsFlow = ctsFlow;
    return portIsOpen() && ComPortBackend_SetState(g_hCOM, &g_dcb);
}
