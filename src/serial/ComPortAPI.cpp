#include "ComPortAPI.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>

#include "ComPortBackend.h"
#include "Console.h"
#include "Trace.h"

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

namespace {

std::vector<std::string> gNamedPorts;
PortOpenFailure gLastOpenFailure = PortOpenFailure::None;
std::map<int, PortOpenFailure> gRefusals;
int gOpenPortNumber = 0;

using StreamClock = std::chrono::steady_clock;
StreamClock::time_point gStreamStart;
long long gStreamBytesWritten = 0;

long long msUntil(StreamClock::time_point moment)
{
    return std::chrono::ceil<std::chrono::milliseconds>(moment - StreamClock::now()).count();
}

bool portIsOpen(void)
{
    return g_hCOM != nullptr && g_hCOM != INVALID_HANDLE_VALUE;
}

const std::string *namedDevice(int nId)
{
    // long is 32 bits on Windows, too narrow for INT_MIN - NAMED_PORT_FIRST.
    const long long index = (long long)nId - NAMED_PORT_FIRST;
    if (index < 0 || index >= (long long)gNamedPorts.size()) {
        return nullptr;
    }
    return &gNamedPorts[(size_t)index];
}

// The exclusive open of either kind of port, with what its failure says.
HANDLE openPort(int nId, const char *what)
{
    const std::string *device = namedDevice(nId);
    const HANDLE port = device != nullptr ? ComPortBackend_OpenDevice(device->c_str()) : ComPortBackend_Open(nId);
    gLastOpenFailure = port == INVALID_HANDLE_VALUE ? ComPortBackend_OpenFailure() : PortOpenFailure::None;
    if (gLastOpenFailure == PortOpenFailure::InUse || gLastOpenFailure == PortOpenFailure::NoPermission) {
        gRefusals[nId] = gLastOpenFailure;
    } else {
        gRefusals.erase(nId);
    }
    if (port == INVALID_HANDLE_VALUE) {
        Trace_Note(std::string(what) + " " + ComPortAPI_PortName(nId) + " FAILED: " + ComPortBackend_LastError());
    } else {
        gOpenPortNumber = nId;
    }
    return port;
}

std::string settingsText(void)
{
    return std::to_string(g_dcb.BaudRate) + " baud 8N1, CTS flow control " + (g_dcb.fOutxCtsFlow ? "on" : "off") +
           ", read time-out " + std::to_string(g_cto.ReadTotalTimeoutConstant) + " ms";
}

// A setter's record: applied to the open port, refused, or kept for the next open.
void traceSetting(const std::string &what, BOOL applied)
{
    if (!Trace_IsOn()) {
        return;
    }
    if (!portIsOpen()) {
        Trace_Note(what + ", for the next open (no port open)");
    } else {
        Trace_Note(what + (applied ? "" : " FAILED: " + ComPortBackend_LastError()));
    }
}

}  // namespace

BOOL ComPortAPI_OpenCOM(int nId)
{
    g_hCOM = openPort(nId, "open");
    if (g_hCOM == INVALID_HANDLE_VALUE) {
        Console_Print("ERROR: Opening %s failed !", ComPortAPI_PortName(nId).c_str());
        fflush(stdout);
        return 0;
    }
    ComPortBackend_SetupQueues(g_hCOM, RX_SIZE, TX_SIZE);
    if (!ComPortBackend_SetTimeouts(g_hCOM, &g_cto) || !ComPortBackend_SetState(g_hCOM, &g_dcb)) {
        Trace_Note("configure " + ComPortAPI_PortName(nId) + " at " + settingsText() +
                   " FAILED: " + ComPortBackend_LastError());
        Console_Print("ERROR: %s configuration failed !", ComPortAPI_PortName(nId).c_str());
        fflush(stdout);
        ComPortAPI_CloseCOM();
        return 0;
    }
    ComPortBackend_Purge(g_hCOM);
    ComPortBackend_RaiseDtr(g_hCOM);
    Trace_Note("open " + ComPortAPI_PortName(nId) + ": " + settingsText());
    return 1;
}

BOOL ComPortAPI_ProbeCOM(int nId)
{
    g_hCOM = openPort(nId, "probe");
    if (g_hCOM == INVALID_HANDLE_VALUE) {
        return 0;
    }
    Trace_Note("probe " + ComPortAPI_PortName(nId) + ": opened, not configured");
    return 1;
}

BOOL ComPortAPI_CloseCOM(void)
{
    if (portIsOpen()) {
        ComPortBackend_Close(g_hCOM);
        Trace_Note("close " + ComPortAPI_PortName(gOpenPortNumber));
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
    const long long started = Trace_Millis();
    const BOOL ok = ComPortBackend_Read(g_hCOM, buffer, nBytesToRead, pBytesRead);
    Trace_Read(buffer, *pBytesRead, Trace_Millis() - started, ok ? "" : ComPortBackend_LastError());
    return ok;
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
    const long long started = Trace_Millis();
    const PortWrite outcome = ComPortBackend_Write(g_hCOM, buffer, nBytesToWrite, pBytesWritten);
    gStreamBytesWritten += *pBytesWritten;
    const std::string failure = outcome == PortWrite::Failed    ? ComPortBackend_LastError()
                                : outcome == PortWrite::Stalled ? "nothing taken for " +
                                                                      std::to_string(WRITE_STALL_LIMIT_MS) + " ms"
                                                                : "";
    Trace_Written(buffer, nBytesToWrite, *pBytesWritten, Trace_Millis() - started, failure);
    if (outcome == PortWrite::Stalled) {
        Console_Print("\r\nERROR: The unit stopped taking data: nothing was accepted for %d s !\r\n",
                      WRITE_STALL_LIMIT_MS / 1000);
    }
    return outcome == PortWrite::Done;
}

void ComPortAPI_BeginStream(void)
{
    gStreamStart = StreamClock::now();
    gStreamBytesWritten = 0;
}

void ComPortAPI_AwaitStreamCarried(void)
{
    if (!portIsOpen() || g_dcb.BaudRate == 0) {
        return;
    }
    const StreamClock::time_point limit = StreamClock::now() + std::chrono::milliseconds(WRITE_STALL_LIMIT_MS);
    // A write is accepted once the driver holds the bytes, which can be
    // seconds of line time ahead of the unit (a pseudo-terminal takes about
    // 18 KB, a USB adapter several KB).
    const long long lineTimeMs = (gStreamBytesWritten * 10 * 1000 + g_dcb.BaudRate - 1) / g_dcb.BaudRate;
    const StreamClock::time_point carried = gStreamStart + std::chrono::milliseconds(lineTimeMs);
    const BOOL drained = ComPortBackend_WaitOutputDrained(g_hCOM, (int)std::max(0LL, msUntil(limit)));
    const long long rest = msUntil(std::min(carried, limit));
    if (rest > 0) {
        Console_SleepMs((unsigned int)rest);
    }
    if (!drained || carried > limit) {
        Trace_Note("the line had not carried the stream of " + std::to_string(gStreamBytesWritten) + " bytes after " +
                   std::to_string(WRITE_STALL_LIMIT_MS) + " ms; reading its reply all the same");
    }
}

BOOL ComPortAPI_OutputHeld(void)
{
    if (!portIsOpen()) {
        return 0;
    }
    std::string what;
    const BOOL held = ComPortBackend_OutputHeld(g_hCOM, what);
    if (held) {
        Trace_Note("the port still holds what was written to it: " + what);
    }
    return held;
}

BOOL ComPortAPI_DiscardPending(void)
{
    if (!portIsOpen()) {
        return 0;
    }
    ComPortBackend_Purge(g_hCOM);
    Trace_Note("discard pending input");
    return 1;
}

int ComPortAPI_ReadingTimeoutInMs(void)
{
    return static_cast<int>(g_cto.ReadTotalTimeoutConstant);
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
    const BOOL applied = portIsOpen() && ComPortBackend_SetTimeouts(g_hCOM, &g_cto);
    traceSetting("set read time-out " + std::to_string(timeout) + " ms", applied);
    return applied;
}

BOOL ComPortAPI_SetBaudRate(int baudrate)
{
    const DWORD rate = (DWORD)baudrate;
    if (g_dcb.BaudRate == rate) {
        return 1;
    }
    g_dcb.BaudRate = rate;
    const BOOL applied = portIsOpen() && ComPortBackend_SetState(g_hCOM, &g_dcb);
    traceSetting("set " + std::to_string(rate) + " baud", applied);
    return applied;
}

BOOL ComPortAPI_SetHardwareFlowControl(BOOL isEnable)
{
    const DWORD ctsFlow = (DWORD)isEnable & 1u;
    if (g_dcb.fOutxCtsFlow == ctsFlow) {
        return 1;
    }
    g_dcb.fOutxCtsFlow = ctsFlow;
    const BOOL applied = portIsOpen() && ComPortBackend_SetState(g_hCOM, &g_dcb);
    traceSetting(std::string("set CTS flow control ") + (ctsFlow ? "on" : "off"), applied);
    return applied;
}

int ComPortAPI_AddNamedPort(const std::string &device)
{
    for (size_t i = 0; i < gNamedPorts.size(); ++i) {
        if (gNamedPorts[i] == device) {
            return NAMED_PORT_FIRST + (int)i;
        }
    }
    gNamedPorts.push_back(device);
    return NAMED_PORT_FIRST + (int)(gNamedPorts.size() - 1);
}

std::string ComPortAPI_PortName(int nId)
{
    const std::string *device = namedDevice(nId);
    return device != nullptr ? *device : "COM" + std::to_string(nId);
}

PortOpenFailure ComPortAPI_LastOpenFailure(void)
{
    return gLastOpenFailure;
}

std::vector<PortRefusal> ComPortAPI_RefusedPorts(void)
{
    std::vector<PortRefusal> refusals;
    for (const auto &refusal : gRefusals) {
        refusals.push_back({refusal.first, refusal.second});
    }
    return refusals;
}
